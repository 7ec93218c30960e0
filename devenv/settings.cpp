#include "devenv/settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

#include "core/run_state.h"
#include "devenv/ide_state.h"
#include "devenv/ide_texts.h"
#include "platform/codepage.h"
#include "platform/charset_setting.h"
#include "platform/codepage_tables.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "platform/ini.h"
#include "platform/process.h"
#include "runtime/language_file.h"

namespace {

constexpr size_t kFieldLength = 255;

// The recent files could not be saved, and stderr said so (once a session, from its start).
bool g_recentFailureSaid = false;

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A settings value as the fixed fields held it: at most 255 characters.
std::string ReadField(const std::string& file, const char* section, const std::string& key,
                      const std::string& def = "") {
  std::string v = IniGetString(file, section, key, def);
  if (v.size() > kFieldLength) v.resize(kFieldLength);
  return v;
}

// Folder names with '/' separators and no trailing one, for comparing.
std::string PlainFolder(std::string s) {
  std::replace(s.begin(), s.end(), '\\', '/');
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

IdeSettings ReadIdeSettings(const std::string& setupFile, const std::string& programFolder) {
  IdeSettings s;
  s.textLanguage = ReadField(setupFile, "SETTINGS", "TEXTLANGUAGE", "English");
  s.textCharset = CharsetOfSetting(ReadField(setupFile, "SETTINGS", "TEXTLANGUAGE-CHARSET"));
  s.helpLanguage = ReadField(setupFile, "SETTINGS", "HELPLANGUAGE", "English");
  s.helpCharset = CharsetOfSetting(ReadField(setupFile, "SETTINGS", "HELPLANGUAGE-CHARSET"));
  s.helpFolder = FsEqualsNoCase(s.helpLanguage, "English")
                     ? programFolder + "HELP/"
                     : programFolder + "LANG/" + Upper(s.helpLanguage) + "/HELP/";
  return s;
}

bool IdeLoadLanguageTables() {
  g_ide.settings = ReadIdeSettings(ProgramSettingsFile(), g_runtime.programFolder);
  const std::string file = ProgramSettingsFile();
  SetTextCodePage(CodePageOfCharsetSetting(ReadField(file, "SETTINGS", "TEXTLANGUAGE-CHARSET"), file));
  return LoadLanguageTables(g_runtime.programFolder);
}

std::string IdeStateFile() { return FsConfigFile("WIN.INI"); }

void LoadRecentFiles() {
  const std::string ini = IdeStateFile();
  g_recentFailureSaid = false;
  g_ide.recent.clear();
  for (int i = 1; i <= kRecentFileCount; ++i) {
    RecentFile r{ReadField(ini, kIdeStateSection, "RECENTFILE" + std::to_string(i)),
                 ReadField(ini, kIdeStateSection, "RECENTPATH" + std::to_string(i))};
    if (!r.name.empty()) g_ide.recent.push_back(r);
  }
  for (int i = 0; i < kMediaEditorCount; ++i) {
    MediaEditor& m = g_ide.mediaEditors[i];
    m.path = ReadField(ini, kIdeStateSection, "MEDITOR" + std::to_string(i + 1));
    m.exists = ProgramFound(m.path);
    m.processId = 0;
  }
}

bool SaveRecentFiles() {
  const std::string ini = IdeStateFile();
  // Places beyond the list are written empty, so an entry that was skipped on reading does not
  // come back as a second copy of a moved one.
  std::vector<std::pair<std::string, std::string>> keys;
  for (int i = 1; i <= kRecentFileCount; ++i) {
    const bool present = size_t(i) <= g_ide.recent.size();
    keys.emplace_back("RECENTFILE" + std::to_string(i), present ? g_ide.recent[size_t(i - 1)].name : "");
    keys.emplace_back("RECENTPATH" + std::to_string(i), present ? g_ide.recent[size_t(i - 1)].folder : "");
  }
  for (int i = 0; i < kMediaEditorCount; ++i)
    keys.emplace_back("MEDITOR" + std::to_string(i + 1), g_ide.mediaEditors[i].path);
  // Each key is written whole or not at all; the first that fails ends the saving. Said once a
  // session: every run from the environment saves them again.
  for (const auto& [key, value] : keys) {
    errno = 0;
    if (IniWriteString(ini, kIdeStateSection, key, value)) continue;
    // A settings file that is no file is left as it is, and said so; one the user locked was said
    // by the writing.
    struct stat st {};
    const int error = errno;
    const std::string folder = FsHostFolderOf(ini);
    const bool locked = error == EACCES && (FsHostFileReadOnly(ini) || FsConfigFolderLocked(folder));
    const std::string why = ini.empty() ? "there is no settings folder"
                            : stat(ini.c_str(), &st) != 0 || S_ISREG(st.st_mode) ? IniWriteCause(ini, error)
                            : S_ISDIR(st.st_mode) ? "it is a folder"
                                                  : "it is not a regular file";
    if (!g_recentFailureSaid && !locked)
      std::fprintf(stderr, "vellumark: edit: the recent files could not be saved in %s: %s\n",
                   ini.empty() ? "WIN.INI" : ini.c_str(), why.c_str());
    g_recentFailureSaid = true;
    return false;
  }
  return true;
}

void AddRecentFile(const std::string& name, const std::string& folder) {
  if (name.empty()) return;
  auto& list = g_ide.recent;
  auto same = [&](const RecentFile& r) { return FsEqualsNoCase(r.name, name) && FsEqualsNoCase(r.folder, folder); };
  auto at = std::find_if(list.begin(), list.end(), same);
  if (at != list.end()) list.erase(at);
  else if (list.size() == size_t(kRecentFileCount)) list.pop_back();
  list.insert(list.begin(), RecentFile{name.substr(0, kFieldLength), folder.substr(0, kFieldLength)});
}

bool IsRecentFile(const std::string& name, const std::string& folder) {
  for (const RecentFile& r : g_ide.recent)
    if (FsEqualsNoCase(r.name, name) && FsEqualsNoCase(r.folder, folder)) return true;
  return false;
}

bool IdeTakeFirstRunMark() {
  const std::string ini = IdeStateFile();
  if (IniGetString(ini, kIdeStateSection, "INTRO", "0") != "0") return false;
  IniWriteString(ini, kIdeStateSection, "INTRO", "1");
  return true;
}

void IdeUpdateStatusText() {
  if (g_ide.fileName.empty()) {
    g_ide.statusText = IdeText(IdeSection::Desc, kDescNoFile);
  } else {
    std::string project = PlainFolder(g_ide.projectFolder);
    std::string label = project;
    const size_t slash = project.rfind('/');
    const std::string parent = slash == std::string::npos ? "" : project.substr(0, slash);
    if (slash != std::string::npos && slash + 1 < project.size() &&
        FsEqualsNoCase(parent, PlainFolder(g_runtime.programFolder + "MYPROJ"))) {
      label = project.substr(slash + 1);
      label[0] = char(std::toupper(static_cast<unsigned char>(label[0])));
    }
    // Host names, drawn as text of the code page.
    g_ide.statusText = IdeText(IdeSection::General, kGeneralProject) + ": " + FsToProgramName(label) + "  " +
                       IdeText(IdeSection::General, kGeneralFile) + ": " + FsToProgramName(g_ide.fileName);
  }
  g_ide.statusColour = 256;
}
