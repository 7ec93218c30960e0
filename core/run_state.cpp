#include "core/run_state.h"

#include <algorithm>

#include "core/arrays.h"
#include "core/call_stack.h"
#include "core/checklist.h"
#include "core/errors.h"
#include "core/interp.h"
#include "core/language.h"
#include "core/loader.h"
#include "platform/fs.h"

RuntimeState g_runtime;

int32_t SourceMap::LineOfWord(int64_t word) const {
  return word >= 0 && size_t(word) < lineOfWord.size() ? lineOfWord[size_t(word)] : 0;
}

bool SourceMap::Locate(int32_t line, std::string* file, int32_t* lineInFile) const {
  if (line <= 0) return false;
  auto after = std::upper_bound(files.begin(), files.end(), line,
                                [](int32_t l, const File& f) { return l < f.firstLine; });
  if (after == files.begin()) return false;
  --after;
  *file = after->name;
  *lineInFile = line - after->firstLine + 1;
  return true;
}

const SourceMap::Keyword* SourceMap::KeywordOf(int64_t command) const {
  auto at = std::lower_bound(keywords.begin(), keywords.end(), command,
                             [](const std::pair<int32_t, Keyword>& k, int64_t c) { return k.first < c; });
  return at != keywords.end() && at->first == command ? &at->second : nullptr;
}

std::string SideFileIn(const std::string& folder, const std::string& name) {
  if (FsFolderWritable(folder.empty() ? "." : folder)) return folder + name;
  return FsConfigFile(name);
}

std::string ProgramSideFile(const std::string& name) { return SideFileIn(g_runtime.programFolder, name); }

std::string SettingsFileIn(const std::string& folder) {
  const std::string beside = folder + "SETUP.INI";
  return FsFileExists(beside) ? beside : SideFileIn(folder, "SETUP.INI");
}

std::string ProgramSettingsFile() { return SettingsFileIn(g_runtime.programFolder); }

void ResetCoreState() {
  FreeProgramStrings();
  ResetInterpreterState();
  ResetCallStack();
  ResetLoopChains();
  StartCoreRun();
  ClearChecklist();
  g_errorCode = 0;
  g_errorKind = 0;
  g_errorWord = g_queuedOpWord = -1;
  g_lastEngineError.clear();
  g_lastEngineErrorOnDisk = {};
}

void StartCoreRun() {
  g_dataReadPosition = 0;
  g_randomState = 1;
  ClearArrayTable();
}
