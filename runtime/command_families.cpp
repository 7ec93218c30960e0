#include "runtime/command_families.h"

#include "core/command_table.h"
#include "core/commands.h"
#include "display/commands.h"
#include "system/commands.h"

namespace {
bool g_tableFilled = false;
}

void EnsureCommandTable() {
  if (!g_tableFilled) InitCommandTable();
}

void InitCommandTable() {
  ClearCommandTable();
  g_tableFilled = true;
  InstallCommands(CoreCommands());
  InstallCommands(TimingCommands());
  InstallCommands(InputCommands());
  InstallCommands(ForceCommands());
  InstallCommands(ChecklistCommands());
  InstallCommands(MouseCommands());
  InstallCommands(FileCommands());
  InstallCommands(StreamCommands());
  InstallCommands(FtpCommands());
  InstallCommands(WindowCommands());
  InstallCommands(DisplayCommands());
}
