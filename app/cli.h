#pragma once
#include <string>
#include <vector>

// The tool's command line: run, compile, check, exec, build, edit.
int ToolMain(const std::vector<std::string>& args);
// True when the arguments start with one of the tool's commands.
bool IsToolCommand(const std::vector<std::string>& args);
// The run-time error texts of the language file (beside the executable, else built in).
std::vector<std::string> LanguageErrorTexts();
// Path of the running executable ("" when unknown).
std::string SelfExecutablePath();
// Writes a stand-alone game: the runtime executable followed by a pack whose first entry is
// the program image and whose other entries are media files (name in the pack, file path).
bool WriteGameFile(const std::string& runtimeExe, const std::string& imageFile,
                   const std::vector<std::pair<std::string, std::string>>& media, const std::string& output,
                   std::string* error);
