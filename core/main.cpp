// The vellumark executable: a built game when a pack is appended to it, the tool otherwise.
#include <string>
#include <vector>

#include "core/pack.h"
#include "core/startup.h"
#include "devenv/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string self = SelfExecutablePath();
  if (!self.empty() && FileHasPack(self)) return RunBuiltGame(self, args);
  return ToolMain(args);
}
