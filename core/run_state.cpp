#include "core/run_state.h"

#include "core/arrays.h"
#include "core/call_stack.h"
#include "core/checklist.h"
#include "core/errors.h"
#include "core/interp.h"
#include "core/language.h"
#include "core/loader.h"
#include "platform/fs.h"

RuntimeState g_runtime;
int32_t g_environmentMode = 0;

std::string ProgramSideFile(const std::string& name) {
  const std::string& folder = g_runtime.programFolder;
  if (FsFolderWritable(folder.empty() ? "." : folder)) return folder + name;
  return FsConfigFolder() + "/" + name;
}

std::string ProgramSettingsFile() {
  const std::string beside = g_runtime.programFolder + "SETUP.INI";
  return FsFileExists(beside) ? beside : ProgramSideFile("SETUP.INI");
}

void ResetCoreState() {
  FreeProgramStrings();
  ResetInterpreterState();
  ResetCallStack();
  ResetLoopChains();
  StartCoreRun();
  ClearChecklist();
  g_errorCode = 0;
  g_errorKind = 0;
  g_lastEngineError.clear();
}

void StartCoreRun() {
  g_dataReadPosition = 0;
  g_randomState = 1;
  ClearArrayTable();
}
