#include "app/run_options.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/fs.h"
#include "platform/fs_walk.h"
#include "platform/host_files.h"
#include "platform/input_script.h"

const char kRunOptionsHelp[] =
    "options of run and exec:\n"
    "  --window           run in a window instead of full screen\n"
    "  --headless         no window and no devices: the program draws into memory only\n"
    "  --frames N         end after N frames, as closing the window does\n"
    "  --clock virtual    a clock that moves only as the program runs: a run repeats exactly,\n"
    "                     except sound: the mix (SOUND PLAYING, MUSIC PLAYING) keeps real time\n"
    "  --grab FILE        write the last frame shown to FILE as PNG when the run ends (- for\n"
    "                     standard output)\n"
    "  --transcript FILE  write the text the program draws to FILE (- for standard output)\n"
    "  --input FILE       feed keys, characters and mouse events by frame number from FILE\n"
    "  --debug            debug mode: VK.LOG records errors (beside the program) and every\n"
    "                     command (in the folder the run starts in; for run, the source's)\n"
    "  --standalone       run as a built game does: warnings do not stop the program\n"
    "  -- ARGS            the rest is the program's own command line\n"
    "\n"
    "the --input file: one event a line, its frame first, counted as --frames counts from 1 (an\n"
    "event of frame N reaches the program in its frame N); a line starting with # is a comment\n"
    "  FRAME key NAME down|up   a key by name (Left, A, Space, Left Ctrl) or code 1-255; only\n"
    "                           Backspace, Tab, Return and Escape type a character\n"
    "  FRAME type TEXT          the characters of TEXT (UTF-8), one a frame from FRAME on, each\n"
    "                           key released the frame after\n"
    "  FRAME char CODE          one character 1-255 without a key, released the frame after\n"
    "  FRAME mouse X Y          the pointer moves to X, Y of the picture\n"
    "  FRAME button B down|up   B: left, right, middle or fourth\n"
    "  FRAME wheel N            N notches of the wheel (positive: away from the user)\n";

namespace {

bool Fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

// Whether a run could write the file, found out without changing anything: an existing file
// is opened for writing without being cut, a new one is created and removed again.
bool Writable(const std::string& real, std::string* why) {
  // A descriptor's name is written through the descriptor, which must be open for writing (a
  // standard stream closed at start is held open on /dev/null only to keep its number).
  const int given = FsDescriptorOfName(real);
  if (given >= 0) {
    const int mode = fcntl(given, F_GETFL);
    if (mode < 0 || FsClosedAtStart(given)) return Fail(why, "no such descriptor is open");
    return (mode & O_ACCMODE) != O_RDONLY || Fail(why, "the descriptor is open for reading only");
  }
  // A link is written through to its target, there yet or not (never another user's in a
  // folder others can write).
  const std::string target = FsHostWriteTarget(real);
  if (target.empty()) return Fail(why, FsOthersLinkInTheWay() ? FileErrorCause(ELOOP) : std::strerror(ELOOP));
  struct stat st {};
  if (stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return Fail(why, "it is a folder");
    if (!S_ISREG(st.st_mode)) return access(target.c_str(), W_OK) == 0 || Fail(why, std::strerror(errno));
    if (FsHostFileReadOnly(target)) return Fail(why, "it is read-only");
    const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Fail(why, std::strerror(errno));
    close(fd);
    return true;
  }
  // Made and removed in the folder the walk judged.
  FsWriteFolder at;
  const int fd = FsWalkForWrite(real, true, at)
                     ? openat(at.fd, at.leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)
                     : -1;
  if (fd < 0) return Fail(why, errno == ELOOP && FsOthersLinkInTheWay() ? FileErrorCause(ELOOP) : std::strerror(errno));
  close(fd);
  unlinkat(at.fd, at.leaf.c_str(), 0);
  return true;
}

}  // namespace

bool CommandLinePath(const std::string& given, bool input, std::string* path, std::string* error) {
  std::string absolute;
  if (!FsHostAbsolute(given, absolute))
    return Fail(error, "the current folder no longer exists: give " + given + " as a full path");
  *path = input ? FsFindHostFile(absolute) : absolute;
  return true;
}

bool RunOptionTakesValue(const std::string& option) {
  for (const char* o : {"--frames", "--grab", "--transcript", "--input", "--clock"})
    if (option == o) return true;
  return false;
}

bool CheckOptionFiles(RunOptions& o, std::string* error) {
  std::string why;
  if (!o.grabFile.empty() && !Writable(o.grabFile, &why))
    return Fail(error, "cannot write the --grab file " + o.grabFile + ": " + why);
  if (!o.transcriptFile.empty() && !Writable(o.transcriptFile, &why))
    return Fail(error, "cannot write the --transcript file " + o.transcriptFile + ": " + why);
  if (!o.inputFile.empty()) {
    std::string text;
    std::vector<ScriptEvent> events;
    // A pipe or a device can be read once only: it is read here, as far as a file may go, and
    // the run reads a copy.
    bool stream = false;
    const std::string noMemory = "not enough memory to read the --input file " + o.inputFile;
    try {
      FsRead read = FsReadHostRegularFile(o.inputFile, text, kMostInputFileBytes, false);
      struct stat st {};
      stream = read == FsRead::kNotRegular && stat(o.inputFile.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
      if (stream) read = FsReadHostStream(o.inputFile, text, kMostInputFileBytes);
      if (read == FsRead::kFailed && errno == ENOMEM) return Fail(error, noMemory);
      if (read != FsRead::kOk)
        return Fail(error, "cannot read the --input file " + o.inputFile + ": " + FsReadCause(read, "an input file"));
      if (!ParseInputScript(text, events, &why)) return Fail(error, "--input file " + o.inputFile + ": " + why);
    } catch (const std::bad_alloc&) {
      return Fail(error, noMemory);
    }
    if (stream) {
      const std::string copy = FsCreateTempFile("input.txt", text.data(), text.size());
      if (copy.empty()) return Fail(error, "the --input file " + o.inputFile + " cannot be kept without a temporary folder");
      o.inputFile = copy;
    }
  }
  return true;
}

bool ParseRunOptions(const std::vector<std::string>& args, size_t from, RunOptions& o, std::string* error) {
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string v;
    // The option's value: the next argument, which must be there.
    auto value = [&](std::string& out, const char* what) {
      if (i + 1 >= args.size()) return Fail(error, a + " needs " + what);
      out = args[++i];
      return true;
    };
    if (a == "--") {
      o.args.assign(args.begin() + long(i) + 1, args.end());
      return true;
    } else if (a == "--window") {
      o.windowMode = true;
    } else if (a == "--debug") {
      o.debug = true;
    } else if (a == "--standalone") {
      o.standalone = true;
    } else if (a == "--headless") {
      o.headless = true;
    } else if (a == "--frames") {
      if (!value(v, "a number of frames")) return false;
      char* end = nullptr;
      long long n = std::strtoll(v.c_str(), &end, 10);
      if (v.empty() || !end || *end || n < 0) return Fail(error, "--frames needs a number of frames, not \"" + v + "\"");
      o.frames = n;
    } else if (a == "--grab") {
      if (!value(v, "a file name")) return false;
      o.grabFile = v;
      if (v != "-" && !CommandLinePath(v, false, &o.grabFile, error)) return false;
    } else if (a == "--transcript") {
      if (!value(v, "a file name (or - for standard output)")) return false;
      o.transcriptFile = v;
      if (v != "-" && !CommandLinePath(v, false, &o.transcriptFile, error)) return false;
    } else if (a == "--input") {
      if (!value(v, "a file name") || !CommandLinePath(v, true, &o.inputFile, error)) return false;
    } else if (a == "--clock") {
      if (!value(v, "\"virtual\"")) return false;
      if (v != "virtual") return Fail(error, "--clock takes only \"virtual\", not \"" + v + "\"");
      o.virtualClock = true;
    } else if (a.empty() || a[0] != '-') {
      return Fail(error, "unexpected argument \"" + a + "\"");
    } else {
      return Fail(error, "unknown option \"" + a + "\"");
    }
  }
  return true;
}
