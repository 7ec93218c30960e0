// The vellumark executable: a built game when a pack is appended to it, the tool otherwise.
#include <string>
#include <vector>

#include "app/cli.h"
#include "core/pack.h"
#include "runtime/startup.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string self = SelfExecutablePath();
  if (!self.empty() && FileHasPack(self)) return RunBuiltGame(self, args);
  // A renamed copy without a readable pack is a game whose pack is damaged: it ends silently
  // instead of acting as the tool.
  std::string name = self.substr(self.find_last_of('/') + 1);
  if (name.rfind("vellumark", 0) != 0 && !IsToolCommand(args)) return 0;
  return ToolMain(args);
}
