#pragma once
#include <cstdint>
#include <string>

// The environment's settings and its memory between runs.
//
// "SETUP.INI", section "SETTINGS": the language of the words and of the help pages, each with a
// character set. "WIN.INI" (the per-user settings file), section "VellumarkStateData": the recent
// files, the media editors and the first-run mark.

struct IdeSettings {
  std::string textLanguage = "English", helpLanguage = "English";
  int32_t textCharset = 0, helpCharset = 0;
  std::string helpFolder;  // ends in '/'
};

// Reads the four settings of a settings file (missing keys give their defaults) and derives the
// help folder under the program folder (which ends in '/').
IdeSettings ReadIdeSettings(const std::string& setupFile, const std::string& programFolder);
// Reads the settings from the program's "SETUP.INI" into the environment's state, then the
// language tables. False when no language file could be read.
bool IdeLoadLanguageTables();

// The per-user "WIN.INI" and its section of the environment's state.
std::string IdeStateFile();
inline constexpr const char* kIdeStateSection = "VellumarkStateData";

// Reads the recent files and the media editors' programs; a session starts here.
void LoadRecentFiles();
// SaveRecentFiles writes them; a file that cannot take them is left as it was, and the first
// failure of a session is said on stderr with the cause (false).
bool SaveRecentFiles();
// Puts the pair at the top of the recent list: a pair already listed moves up, otherwise the
// oldest of four entries is dropped. An empty name is ignored.
void AddRecentFile(const std::string& name, const std::string& folder);
// The pair is in the list (both compared without regard to case).
bool IsRecentFile(const std::string& name, const std::string& folder);

// The first-run mark: true the first time on this machine (and the mark is then written).
bool IdeTakeFirstRunMark();

// The status text: the project and the file, or the "no file" text; second status colour.
void IdeUpdateStatusText();
