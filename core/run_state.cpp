#include "core/run_state.h"

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
