// The vellumark executable: a built game when a pack is appended to it, the tool otherwise.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "app/cli.h"
#include "core/pack.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "platform/message_name.h"
#include "runtime/game_build.h"
#include "runtime/startup.h"

namespace {

// Ends the process after a failure that unwound the run: the threads it started (the sound
// engine's) may still be up, and the static objects' destructors would end the process with an
// abort instead.
[[noreturn]] void EndAtOnce() {
  std::fflush(nullptr);
  std::_Exit(kExitLoadError);
}

}  // namespace

// Every load path reports its own failures; an exception that still gets here (memory running
// out outside them) ends the process as a failed load rather than an abort.
int main(int argc, char** argv) try {
  // Under a file-size limit a write past it fails with EFBIG and takes the reported path (its
  // temporary file removed) instead of the process being killed.
  EventsLeaveOwnWriteSignal(SIGXFSZ);
  // A standard stream closed at start would hand its number to the next file opened, and the
  // messages for it would go into that file (a recovery file, a saved source): each is held
  // open on /dev/null instead.
  FsHoldClosedStandardStreams();
  std::vector<std::string> args(argv + 1, argv + argc);
  // A run takes its stop signals before its slow start (the compile, the image's load): one
  // that comes meanwhile ends the run as a stop does once it starts, never by its default.
  if (!args.empty() && (args[0] == "run" || args[0] == "exec")) EventsCatchStopSignals();
  std::string self = SelfExecutablePath(), damage;
  // A built game takes them before its pack is read whole, which takes long for a large one.
  const bool packed = !self.empty() && FileMayHavePack(self);
  if (packed) EventsCatchStopSignals();
  if (packed && FileHasPack(self, &damage)) return RunBuiltGame(self, args, LanguageErrorTexts());
  if (packed && (args.empty() || (args[0] != "run" && args[0] != "exec"))) EventsReleaseStopSignals();
  // A renamed copy without a readable pack is a game whose pack is damaged: it says so under
  // its own name instead of acting as the tool.
  std::string name = self.substr(self.find_last_of('/') + 1);
  if (name.rfind("vellumark", 0) != 0 && !IsToolCommand(args)) {
    SetMessageName(name);
    if (damage.empty()) FileHasPack(self, &damage);
    std::fprintf(stderr, "%s: %s: the game's pack is damaged: %s\n", MessageName(), self.c_str(), damage.c_str());
    return kExitLoadError;
  }
  // Text left by an environment that was killed is kept and named before anything else.
  FsRecoverEndedRuns();
  return ToolMain(args);
} catch (const std::bad_alloc&) {
  std::fprintf(stderr, "%s: not enough memory\n", MessageName());
  EndAtOnce();
} catch (const std::exception& e) {
  std::fprintf(stderr, "%s: %s\n", MessageName(), e.what());
  EndAtOnce();
}
