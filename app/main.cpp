// The vellumark executable: a built game when a pack is appended to it, the tool otherwise.
#include <signal.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/cli.h"
#include "core/pack.h"
#include "runtime/game_build.h"
#include "runtime/startup.h"

// Every load path reports its own failures; an exception that still gets here (memory running
// out outside them) ends the process as a failed load rather than an abort.
int main(int argc, char** argv) try {
  // Under a file-size limit a write past it fails with EFBIG and takes the reported path (its
  // temporary file removed) instead of the process being killed.
  signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string self = SelfExecutablePath();
  if (!self.empty() && FileHasPack(self)) return RunBuiltGame(self, args, LanguageErrorTexts());
  // A renamed copy without a readable pack is a game whose pack is damaged: it ends silently
  // instead of acting as the tool.
  std::string name = self.substr(self.find_last_of('/') + 1);
  if (name.rfind("vellumark", 0) != 0 && !IsToolCommand(args)) return kExitLoadError;
  return ToolMain(args);
} catch (const std::exception& e) {
  std::fprintf(stderr, "vellumark: %s\n", e.what());
  return kExitLoadError;
}
