#include "app/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <algorithm>

#include "app/run_options.h"
#include "devenv/ide_shell.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "platform/ini.h"
#include "core/errors.h"
#include "core/run_state.h"
#include "runtime/game_build.h"
#include "runtime/language_file.h"
#include "runtime/startup.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  vellumark run FILE.vka [options] [-- ARGS]     compile the source, then run it\n"
    "  vellumark compile FILE.vka [-o IMAGE]          write the program image (default FILE.img)\n"
    "  vellumark check FILE.vka                       compile and report errors, write nothing\n"
    "  vellumark exec IMAGE [options] [-- ARGS]       run a program image\n"
    "  vellumark build FILE.vka [-o GAME] [--media]   write a stand-alone game\n"
    "  vellumark build --image IMAGE -o GAME          the same from a program image\n"
    "  vellumark edit [FILE.vka] [options]            open the development environment\n"
    "  vellumark --help | --version\n";

const char kBuildHelp[] =
    "options of build:\n"
    "  -o GAME            the game file (default: the source's name without its extension)\n"
    "  --media            also pack the media files of the source's folder and the folders in it\n"
    "  --image IMAGE      build from a compiled program image instead of a source\n";

#ifndef VK_VERSION
#define VK_VERSION "unknown"
#endif

int Usage() {
  std::fputs(kUsage, stderr);
  return kExitCompileError;
}

// A command line that cannot be carried out: what was wrong, and where to look. Status 2. The
// temporary folder the checks made (an --input pipe's copy) goes with it.
int UsageError(const std::string& what) {
  FsRemoveTempFolder();
  std::fprintf(stderr, "vellumark: %s\nRun \"vellumark --help\" for the commands and their options.\n", what.c_str());
  return kExitCompileError;
}

int Help() {
  std::printf("%s\n%s\n%s", kUsage, kRunOptionsHelp, kBuildHelp);
  return kExitOk;
}

// The first bytes of a file (fewer when it is shorter; none when it cannot be read).
std::string FileStart(const std::string& path, size_t count) {
  std::string bytes;
  if (FsReadHostRegularFile(path, bytes, count, true) != FsRead::kOk) bytes.clear();
  return bytes;
}

// A program image begins with its format version 1 and the header size 1024 in words.
bool LooksLikeImage(const std::string& path) {
  return FileStart(path, 8) == std::string("\x01\0\0\0\0\x04\0\0", 8);
}

bool HasSourceExtension(const std::string& path) {
  std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : "";
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".vka";
}

// Whether the file's start is text (it may be a source under another name).
bool LooksLikeText(const std::string& path) {
  const std::string start = FileStart(path, 4096);
  return !start.empty() && std::all_of(start.begin(), start.end(), [](char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return b >= 32 || b == '\t' || b == '\r' || b == '\n';
  });
}

// The file of a command may stand anywhere among its options: the first argument before "--"
// that is neither an option nor an option's value is moved to just after the command. A
// second one stays where it was, and the command reports it.
std::vector<std::string> FileFirst(const std::vector<std::string>& args) {
  std::vector<std::string> out = args;
  for (size_t i = 1; i < out.size() && out[i] != "--"; ++i) {
    const std::string& a = out[i];
    if (a == "-o" || a == "--image" || RunOptionTakesValue(a)) {
      ++i;
    } else if (a.empty() || a[0] != '-') {
      std::rotate(out.begin() + 1, out.begin() + long(i), out.begin() + long(i) + 1);
      break;
    }
  }
  return out;
}

// The file argument of a command: present, and not an option.
bool FileArgument(const std::vector<std::string>& args, const char* what, std::string* error) {
  if (args.size() >= 2 && !args[1].empty() && args[1][0] != '-') return true;
  *error = args[0] + " needs " + what;
  return false;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Why a path given as a file (given: as the command line named it) cannot be read as one.
// Status 2, as UsageError.
int NotAFile(const std::string& given, const std::string& path) {
  FsRemoveTempFolder();
  struct stat st;
  const bool there = stat(path.c_str(), &st) == 0;
  const std::string what = there ? S_ISDIR(st.st_mode) ? "is a folder" : "is not a regular file"
                           : errno == ENOENT                         ? "no such file"
                           : errno == ENOTDIR && given.back() == '/' ? "not a folder"
                                                                     : FileErrorCause(errno);
  std::fprintf(stderr, "vellumark: %s: %s\n", given.c_str(), what.c_str());
  return kExitCompileError;
}

// A file of a command: what it is, its name as given and its host path.
struct CommandFile {
  std::string what, given, path;
};

// A source a command compiles is a file that can be read, or the cause is said (the compile
// would only say that it could not read it): 0, or status 2 as UsageError.
int SourceNotReadable(const std::string& given, const std::string& path) {
  if (!IsRegularFile(path)) return NotAFile(given, path);
  std::string none;
  const FsRead read = FsReadHostRegularFile(path, none, 0, true);
  if (read == FsRead::kOk) return kExitOk;
  // The cause is taken before the run folder's removal changes errno.
  const std::string cause = FsReadCause(read, "a source");
  FsRemoveTempFolder();
  std::fprintf(stderr, "vellumark: %s: %s\n", given.c_str(), cause.c_str());
  return kExitCompileError;
}

// Whether a file given as a program image loads as a run loads it; if not, why, in the same
// words for every command that takes an image (command: the one that takes a source instead).
bool ImageLoads(const CommandFile& image, const std::string& command, std::string* why) {
  const std::string fits = " with \"vellumark " + command + " " + image.given + "\"";
  std::string cause;
  if (!LooksLikeImage(image.path) && HasSourceExtension(image.given)) {
    *why = image.given + " is a source file: " + command + " it" + fits;
    return false;
  }
  if (!LooksLikeImage(image.path)) *why = image.given + " is not a program image";
  else if (!CheckProgramImage(image.path, &cause)) *why = image.given + ": " + cause;
  else return true;
  if (LooksLikeText(image.path)) *why += " (a source file " + command + "s" + fits + ")";
  return false;
}

// An image that does not load: status 3, whichever command was given it.
int ImageNotLoaded(const std::string& why) {
  FsRemoveTempFolder();
  std::fprintf(stderr, "vellumark: %s\n", why.c_str());
  return kExitLoadError;
}

// The files the run options name: --input is read, --grab and --transcript written ("-" is
// standard output, as /dev/stdout is).
void OptionFiles(const RunOptions& o, std::vector<CommandFile>* inputs, std::vector<CommandFile>* outputs) {
  if (!o.inputFile.empty()) inputs->push_back({"--input file", o.inputFile, o.inputFile});
  for (const auto& [option, file] : {std::pair{"--grab", &o.grabFile}, std::pair{"--transcript", &o.transcriptFile}})
    if (!file->empty()) outputs->push_back({option, *file, *file == "-" ? "/dev/stdout" : *file});
}

// Whether a settings file turns a key on, as the run's start takes it: "1", in a file no other
// user can have planted.
bool SettingTakenOn(const std::string& settings, const char* key) {
  return IniGetString(settings, "SETTINGS", key, "0") == "1" && FsHostFileTrusted(FsResolve(settings));
}

// The debug log of a run: in debug mode (--debug, or DEBUGMODE in the program's settings) or with
// TRACEMODE or RUNTIMETEST in the settings of the folder the run starts in, the start removes
// "VK.LOG" there and the run writes the one beside the program (program, current: those folders,
// ending in '/'). Both are outputs; a link there is replaced, never written through.
void DebugLogFiles(const RunOptions& o, const std::string& program, const std::string& current,
                   std::vector<CommandFile>* outputs) {
  const bool debug = o.debug || SettingTakenOn(SettingsFileIn(program), "DEBUGMODE");
  if (!debug && !SettingTakenOn(current + "SETUP.INI", "TRACEMODE") &&
      !SettingTakenOn(current + "SETUP.INI", "RUNTIMETEST"))
    return;
  std::vector<std::string> logs{current + "VK.LOG"};
  if (const std::string written = SideFileIn(program, "VK.LOG"); !FsSameHostFile(written, logs[0]))
    logs.push_back(written);
  for (const std::string& log : logs) {
    struct stat st;
    if (lstat(log.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) outputs->push_back({"debug log", "VK.LOG", log});
  }
}

// In debug mode every command is traced into the "VK.LOG" of the folder the run starts in
// (current) and the errors into the one beside the program (program; both ending in '/'). A log
// that cannot be made there, or may not be replaced (read-only, or in a folder its owner made
// read-only), is a command line that cannot be carried out for --debug, as any output's is; for
// DEBUGMODE in the program's settings it is said and the run goes on without it.
bool DebugLogWritable(const RunOptions& o, const std::string& program, const std::string& current,
                      std::string* error) {
  if (!o.debug && !SettingTakenOn(SettingsFileIn(program), "DEBUGMODE")) return true;
  for (const std::string& folder : {current, program}) {
    const std::string log = folder + "VK.LOG", cause = FsReplaceHostFileRefusal(log);
    if (cause.empty()) continue;
    if (o.debug) {
      *error = "cannot write the debug log " + log + ": " + cause;
      return false;
    }
    static bool said = false;  // the files are checked before and after the compile
    if (!std::exchange(said, true))
      std::fprintf(stderr, "vellumark: DEBUGMODE=1: the debug log %s cannot be written (%s); the run goes on without it\n",
                   log.c_str(), cause.c_str());
    DebugLogLostSaid(log);
    return true;
  }
  return true;
}

// The debug listing "VK.VKA" a compile writes beside its source (source: a host path) where the
// settings there have RUNTIMETEST on: an output, as the debug log is.
void ListingFile(const std::string& source, std::vector<CommandFile>* outputs) {
  const std::string folder = FsHostFolderOf(source) + "/";
  if (IniGetString(folder + "SETUP.INI", "SETTINGS", "RUNTIMETEST", "0") != "1") return;
  const std::string listing = SideFileIn(folder, "VK.VKA");
  struct stat st;
  if (lstat(listing.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
    outputs->push_back({"debug listing", "VK.VKA", listing});
}

// Whether a file is written into rather than over: a device or a pipe.
bool WrittenInto(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

// An output that is one of the command's inputs, or another of its outputs, is refused: writing
// it would destroy what the command reads, or what it wrote first. A device or a pipe, which is
// written into, may be any of them.
bool OutputsApart(const std::vector<CommandFile>& inputs, const std::vector<CommandFile>& outputs, std::string* error) {
  for (size_t k = 0; k < outputs.size(); ++k) {
    const CommandFile& out = outputs[k];
    if (WrittenInto(out.path)) continue;
    std::vector<CommandFile> before = inputs;
    for (size_t j = 0; j < k; ++j) before.push_back({outputs[j].what + " file", outputs[j].given, outputs[j].path});
    for (const CommandFile& in : before)
      if (FsSameHostFile(out.path, in.path)) {
        *error = out.what + " " + out.given + " would write over the " + in.what + " " + in.given;
        return false;
      }
  }
  return true;
}

// An image or a game is a file of its own: "-o -" and a descriptor's name are refused, never
// made into a file named "-" (status 2).
bool NotAStream(const CommandFile& out, const char* what, std::string* error) {
  if (out.given != "-" && FsDescriptorOfName(out.path) < 0) return true;
  *error = "cannot write " + out.given + ": " + what + " is written to a file, not to standard output or another descriptor";
  return false;
}

// An output that would replace a read-only file is refused, as every output is (status 2); so is
// one behind a link no write follows (another user's in a folder others can write, or endless).
bool NotReadOnly(const CommandFile& out, std::string* error) {
  if (FsHostWriteTarget(out.path).empty()) *error = "cannot write " + out.given + ": " + FileErrorCause(ELOOP);
  else if (FsHostFileReadOnly(out.path)) *error = "cannot write " + out.given + ": it is read-only";
  else return true;
  return false;
}

// The inputs of a compile: the source as the command line named it, and each included file it
// read by its path, and the settings and language files it read (files: as CompileOutcome gives
// them, the source first).
std::vector<CommandFile> CompileInputs(const CommandFile& source, const std::vector<std::string>& files) {
  std::vector<CommandFile> inputs{source};
  for (size_t k = 1; k < files.size(); ++k) {
    std::string name = files[k].substr(files[k].find_last_of('/') + 1);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    const char* what = name == "SETUP.INI"      ? "settings file"
                       : name == "WORDS.TXT"    ? "language file"
                       : name == "KEYWORDS.TXT" ? "keyword file"
                                                : "included file";
    inputs.push_back({what, files[k], files[k]});
  }
  return inputs;
}

// The files of a run, exec or edit, checked: the options' files and the debug log, and none
// written over an input (read: the files a compile of the source reads, the source first) or
// over another output.
// The debug log is written in the program's folder; the run starts in current ("": that one).
bool RunFilesApart(const CommandFile& file, const RunOptions& o, std::string* error,
                   const std::vector<std::string>& read = {}, const std::string& current = "") {
  std::vector<CommandFile> inputs = CompileInputs(file, read), outputs;
  if (file.what == "source file") ListingFile(file.path, &outputs);
  OptionFiles(o, &inputs, &outputs);
  const std::string program = FsHostFolderOf(file.path) + "/";
  if (!DebugLogWritable(o, program, current.empty() ? program : current, error)) return false;
  DebugLogFiles(o, program, current.empty() ? program : current, &outputs);
  return OutputsApart(inputs, outputs, error);
}

// The outputs of a compile of the source: the debug listing where one is written, then out.
std::vector<CommandFile> Written(const CommandFile& source, const CommandFile& out) {
  std::vector<CommandFile> outputs;
  ListingFile(source.path, &outputs);
  outputs.push_back(out);
  return outputs;
}

// The same for the source the environment opens: its included files are found by a compile,
// where there is an output they could be.
bool EditFilesApart(const CommandFile& source, const RunOptions& o, std::string* error) {
  if (source.path.empty()) return true;
  std::vector<CommandFile> inputs, outputs;
  OptionFiles(o, &inputs, &outputs);
  const std::string folder = FsHostFolderOf(source.path) + "/";
  DebugLogFiles(o, folder, folder, &outputs);
  return outputs.empty() || RunFilesApart(source, o, error, FilesOfSource(source.path));
}

// A command whose files need a temporary folder where none can be made (the start said why).
int NoTemporaryFolder(const std::string& command) {
  std::fprintf(stderr, "vellumark: %s: cannot be carried out without a temporary folder\n", command.c_str());
  return kExitCompileError;
}

int Exec(const std::vector<std::string>& args) {
  std::string error, image;
  RunOptions o;
  if (!FileArgument(args, "a program image", &error) || !ParseRunOptions(args, 2, o, &error) ||
      !CommandLinePath(args[1], true, &image, &error) || !CheckOptionFiles(o, &error) ||
      !RunFilesApart({"program image", args[1], image}, o, &error, {}, FsCurrentFolder() + "/"))
    return UsageError(error);
  o.errorTexts = LanguageErrorTexts();
  if (!IsRegularFile(image)) return NotAFile(args[1], image);
  if (!ImageLoads({"program image", args[1], image}, "run", &error)) return ImageNotLoaded(error);
  return RunImageFile(image, o);
}

// While a command that runs no program is at work, a stop signal or a hang-up ends it at once
// and leaves no temporary behind.
struct TidyEnding {
  TidyEnding() { EventsEndTidilyOnSignals(true); }
  ~TidyEnding() { EventsEndTidilyOnSignals(false); }
};

std::string DefaultImageName(const std::string& source) {
  std::string base = source;
  size_t dot = base.rfind('.');
  size_t slash = base.find_last_of("/\\");
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
  return base + ".img";
}

int Compile(const std::vector<std::string>& args) {
  const TidyEnding tidy;
  std::string error;
  if (!FileArgument(args, "a source file", &error)) return UsageError(error);
  CommandFile out{"the program image", DefaultImageName(args[1]), ""};
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) out = {"-o", args[++i], ""};
    else if (args[i] == "-o") return UsageError("-o needs a file name");
    else return UsageError("unexpected argument \"" + args[i] + "\"");
  }
  CommandFile source{"source file", args[1], ""};
  if (!CommandLinePath(source.given, true, &source.path, &error) ||
      !CommandLinePath(out.given, false, &out.path, &error) || !OutputsApart({source}, Written(source, out), &error) ||
      !NotAStream(out, "a program image", &error) || !NotReadOnly(out, &error))
    return UsageError(error);
  if (const int status = SourceNotReadable(source.given, source.path)) return status;
  // The compile names the source as given in its messages; it finds it as the check above did.
  // The image is written only once the included files are known to be apart from it.
  CompileOutcome outcome;
  outcome.mayWriteImage = [&](const std::vector<std::string>& files) {
    return OutputsApart(CompileInputs(source, files), Written(source, out), &error);
  };
  if (CompileFile(source.given, out.path, nullptr, "", &outcome)) return kExitOk;
  return error.empty() ? kExitCompileError : UsageError(error);
}

int Check(const std::vector<std::string>& args) {
  std::string error, source;
  if (!FileArgument(args, "a source file", &error)) return UsageError(error);
  if (args.size() > 2) return UsageError("unexpected argument \"" + args[2] + "\"");
  if (!CommandLinePath(args[1], true, &source, &error)) return UsageError(error);
  if (const int status = SourceNotReadable(args[1], source)) return status;
  return CompileFile(args[1], "") ? kExitOk : kExitCompileError;
}

int Run(const std::vector<std::string>& args) {
  std::string error, source;
  RunOptions o;
  if (!FileArgument(args, "a source file", &error) || !ParseRunOptions(args, 2, o, &error) ||
      !CommandLinePath(args[1], true, &source, &error) || !CheckOptionFiles(o, &error) ||
      !RunFilesApart({"source file", args[1], source}, o, &error))
    return UsageError(error);
  if (const int status = SourceNotReadable(args[1], source)) return status;
  if (LooksLikeImage(source))
    return UsageError(args[1] + " is a program image: run it with \"vellumark exec " + args[1] + "\"");
  const std::string image = FsTempFolderFile("program.img");
  if (image.empty()) return NoTemporaryFolder(args[0]);
  CompileOutcome outcome;
  if (!CompileFile(args[1], image, &o.source, "", &outcome)) {
    FsRemoveTempFolder();
    return kExitCompileError;
  }
  if (!RunFilesApart({"source file", args[1], source}, o, &error, outcome.files)) return UsageError(error);
  o.errorTexts = g_language.errors;
  // The source is the running file: its folder is the program folder (SETUP.INI, VK.LOG).
  o.programFile = source;
  // The program runs with its source's folder as the current folder.
  const std::string keep = FsCurrentFolder();
  FsEnterHostFolder(FsHostFolderOf(source));
  int status = RunImageFile(image, o);
  FsEnterHostFolder(keep);
  return status;
}

int Build(const std::vector<std::string>& args) {
  const TidyEnding tidy;
  std::string image, output, source, error;
  bool media = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if ((args[i] == "--image" || args[i] == "-o") && i + 1 >= args.size()) return UsageError(args[i] + " needs a file name");
    if (args[i] == "--image") image = args[++i];
    else if (args[i] == "-o") output = args[++i];
    else if (args[i] == "--media") media = true;
    else if (args[i][0] == '-') return UsageError("unknown option \"" + args[i] + "\"");
    else if (source.empty()) source = args[i];
    else return UsageError("unexpected argument \"" + args[i] + "\"");
  }
  if (image.empty() && source.empty()) return UsageError("build needs a source file or --image IMAGE");
  if (!image.empty() && !source.empty()) return UsageError("build takes a source file or --image IMAGE, not both");
  if (media && source.empty()) return UsageError("--media packs the media of the source's folder: give the source file");
  CommandFile out{output.empty() ? "the game" : "-o", output, ""};
  if (output.empty()) {
    if (source.empty()) return UsageError("build --image needs -o GAME");
    out.given = DefaultImageName(source);
    out.given.resize(out.given.size() - 4);
  }
  CommandFile in{source.empty() ? "program image" : "source file", source.empty() ? image : source, ""};
  // The game begins with this executable, which it must not replace.
  const std::string self = SelfExecutablePath();
  const CommandFile runtime{"runtime", self, self};
  if (!CommandLinePath(in.given, true, &in.path, &error) || !CommandLinePath(out.given, false, &out.path, &error) ||
      !OutputsApart({in, runtime}, source.empty() ? std::vector{out} : Written(in, out), &error) ||
      !NotAStream(out, "a game", &error) || !NotReadOnly(out, &error))
    return UsageError(error);
  // An image is loaded as a run loads it: one that would not run makes no game.
  if (source.empty() && !IsRegularFile(in.path)) return NotAFile(in.given, in.path);
  if (source.empty() && !ImageLoads(in, "build", &error)) return ImageNotLoaded(error);
  if (const int status = source.empty() ? kExitOk : SourceNotReadable(in.given, in.path)) return status;
  CompileOutcome outcome;
  if (!source.empty()) {
    image = FsTempFolderFile("_exefile.dat");
    if (image.empty()) return NoTemporaryFolder(args[0]);
    outcome.imageShownAs = out.given;
    if (!CompileFile(source, image, nullptr, "", &outcome)) {
      FsRemoveTempFolder();
      return kExitCompileError;
    }
  }
  // A game built before is replaced, never packed; any other media file is an input.
  std::vector<MediaFile> files;
  if (media && !source.empty()) files = MediaFilesOfGame(FsHostFolderOf(in.path), out.path);
  std::vector<CommandFile> inputs = CompileInputs(in, outcome.files);
  for (const MediaFile& file : files) inputs.push_back({"media file", file.second, file.second});
  if (!OutputsApart(inputs, source.empty() ? std::vector{out} : Written(in, out), &error)) return UsageError(error);
  std::string game;
  const bool made = MakeGame(self, source.empty() ? in.path : image, files, &game, &error);
  if (!source.empty()) FsRemoveTempFolder();
  if (!made) {
    std::fprintf(stderr, "vellumark: build: %s\n", error.c_str());
    return kExitLoadError;
  }
  // An output that cannot be written is a command line that cannot be carried out.
  // A game is run like any program: 0777 less the umask, new or replaced.
  const FsAccess access = FsNewProgramAccess();
  if (!FsWriteHostFileAtomic(out.path, game, &access)) {
    std::fprintf(stderr, "vellumark: build: cannot write %s: %s\n", out.given.c_str(), FsWriteCause(errno).c_str());
    return kExitCompileError;
  }
  return kExitOk;
}

// The project's version as major.minor, for the environment's status line.
double MajorMinorVersion() {
  const std::string v = VK_VERSION;
  const size_t second = v.find('.', v.find('.') + 1);
  return std::strtod(v.substr(0, second).c_str(), nullptr);
}

int Edit(const std::vector<std::string>& args) {
  std::string error, file;
  RunOptions o;
  size_t from = 1;
  if (args.size() >= 2 && !args[1].empty() && args[1][0] != '-') {
    file = args[1];
    from = 2;
  }
  if (!ParseRunOptions(args, from, o, &error) || !CheckOptionFiles(o, &error)) return UsageError(error);
  std::string path;
  if (!file.empty()) {
    if (!CommandLinePath(file, true, &path, &error) || !RunFilesApart({"source file", file, path}, o, &error))
      return UsageError(error);
    // A name that is not there yet is a new source, made by the first save, in a folder that is.
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 && errno == ENOENT) {
      if (stat(FsHostFolderOf(path).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "vellumark: %s: no such folder\n", file.c_str());
        return kExitCompileError;
      }
    } else if (const int status = SourceNotReadable(file, path)) {
      // Said here: the environment would open an empty text.
      return status;
    }
  }
  if (!EditFilesApart({"source file", file, path}, o, &error)) return UsageError(error);
  if (FsTempFolder().empty()) return NoTemporaryFolder(args[0]);
  return RunEnvironment(path, o, MajorMinorVersion());
}

}  // namespace

bool IsToolCommand(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  for (const char* c : {"run", "compile", "check", "exec", "build", "edit", "help", "--help", "-h", "--version"})
    if (args[0] == c) return true;
  return false;
}

int ToolMain(const std::vector<std::string>& given) {
  if (given.empty()) return Usage();
  const std::vector<std::string> args = FileFirst(given);
  const std::string& cmd = args[0];
  if (cmd == "exec") return Exec(args);
  if (cmd == "run") return Run(args);
  if (cmd == "compile") return Compile(args);
  if (cmd == "check") return Check(args);
  if (cmd == "build") return Build(args);
  if (cmd == "--help" || cmd == "-h" || cmd == "help") return Help();
  if (cmd == "edit") return Edit(args);
  if (cmd == "--version") {
    std::printf("vellumark %s\n", VK_VERSION);
    return kExitOk;
  }
  return UsageError("unknown command \"" + cmd + "\"");
}
