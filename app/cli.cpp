#include "app/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <filesystem>

#include "app/run_options.h"
#include "compiler/compiler.h"
#include "core/pack.h"
#include "platform/fs.h"
#include "platform/ini.h"
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

// A command line that cannot be carried out: what was wrong, and where to look. Status 2.
int UsageError(const std::string& what) {
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
  if (FsReadRegularFile(path, bytes, count, true) != FsRead::kOk) bytes.clear();
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

// The file argument of a command: present, and not an option.
bool FileArgument(const std::vector<std::string>& args, const char* what, std::string* error) {
  if (args.size() >= 2 && !args[1].empty() && args[1][0] != '-') return true;
  *error = args[0] + " needs " + what;
  return false;
}

int Exec(const std::vector<std::string>& args) {
  std::string error;
  RunOptions o;
  if (!FileArgument(args, "a program image", &error) || !ParseRunOptions(args, 2, o, &error) ||
      !CheckOptionFiles(o, &error))
    return UsageError(error);
  o.errorTexts = LanguageErrorTexts();
  if (!FsFileExists(args[1])) {
    struct stat st;
    const bool there = stat(FsResolve(args[1]).c_str(), &st) == 0;
    const char* what = !there ? "no such file" : S_ISDIR(st.st_mode) ? "is a folder" : "is not a regular file";
    std::fprintf(stderr, "vellumark: %s: %s\n", args[1].c_str(), what);
    return kExitCompileError;
  }
  if (!LooksLikeImage(args[1])) {
    if (HasSourceExtension(args[1]))
      return UsageError(args[1] + " is a source file: run it with \"vellumark run " + args[1] + "\"");
    return UsageError(args[1] + " is not a program image" +
                      (LooksLikeText(args[1]) ? " (a source file runs with \"vellumark run " + args[1] + "\")" : ""));
  }
  return RunImageFile(args[1], o);
}

std::string ExeFolder() {
  std::string folder = FsFolderOf(SelfExecutablePath());
  return folder.empty() ? "" : folder + "/";
}

std::string AbsolutePath(const std::string& path) {
  std::string resolved = FsResolveForWrite(path);
  if (!resolved.empty() && resolved[0] == '/') return resolved;
  return FsCurrentFolder() + "/" + resolved;
}

// The name under which messages show a file of the compiled text: the source as it was given,
// or an included file beside it ("" is the source itself).
std::string NameInMessages(const std::string& source, const std::string& file) {
  if (file.empty()) return source;
  if (file[0] == '/') return file;
  const std::string folder = FsFolderOf(source);
  return folder.empty() ? file : folder == "/" ? "/" + file : folder + "/" + file;
}

// What a run needs of a compile to name the lines of its errors.
SourceMap SourceMapOf(const Compiler& compiler, const std::string& source) {
  SourceMap map;
  map.lineOfWord = compiler.CodeLines();
  for (const Compiler::SourceFile& f : compiler.SourceFiles())
    map.files.push_back({f.firstLine, NameInMessages(source, f.name)});
  const KeywordTable& keywords = compiler.Keywords();
  for (const auto& [number, index] : keywords.byNumber)
    map.keywords.push_back({number, {keywords.main[size_t(index)].name, keywords.main[size_t(index)].params}});
  std::sort(map.keywords.begin(), map.keywords.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  return map;
}

// Compiles a source file into an image file (none: check only) with the source's folder as
// the current folder, so that included files are read relative to it. Errors go to stderr
// as FILE:LINE: message, after a warning for each included file that could not be read.
// A run gets the source map of the compile.
bool CompileFile(const std::string& source, const std::string& image, SourceMap* map = nullptr) {
  LoadLanguageTables(ExeFolder());
  Compiler compiler;
  compiler.ResetCompiler();
  std::string overrideList;
  if (FsFileExists(ExeFolder() + "keywords.txt") && FsReadFile(ExeFolder() + "keywords.txt", overrideList)) {
    std::vector<std::string> skipped;
    compiler.LoadKeywordTableFromText(overrideList, &skipped);
    const std::string& what = g_language.compiler[0];
    for (const std::string& line : skipped)
      std::fprintf(stderr, "vellumark: keywords.txt: %s %s\n", what.c_str(), line.c_str());
  } else {
    compiler.LoadKeywordTable();
  }
  compiler.SetMessageTexts(g_language.compiler);
  const std::string sourcePath = AbsolutePath(source);
  const std::string imagePath = image.empty() ? "" : AbsolutePath(image);
  const std::string keep = FsCurrentFolder();
  std::string folder = FsFolderOf(sourcePath);
  FsChangeFolder(folder.empty() ? "/" : folder);
  // RUNTIMETEST in the source folder's settings asks for the numbered listing.
  compiler.SetDebugListing(IniGetString("SETUP.INI", "SETTINGS", "RUNTIMETEST", "0") == "1");
  bool ok = compiler.CompileToImageFile(sourcePath, imagePath);
  FsChangeFolder(keep);
  SourceMap sourceMap = SourceMapOf(compiler, source);
  for (const Compiler::MissingInclude& missing : compiler.MissingIncludes()) {
    std::string file;
    int32_t line = 0;
    if (!sourceMap.Locate(missing.line, &file, &line)) continue;
    std::fprintf(stderr, "%s:%d: warning: the included file %s cannot be read\n", file.c_str(), line,
                 NameInMessages(source, missing.name).c_str());
  }
  if (!ok) {
    if (compiler.ErrorLine() > 0)
      std::fprintf(stderr, "%s:%d: %s\n", source.c_str(), compiler.ErrorLine(), compiler.ErrorMessage().c_str());
    else
      std::fprintf(stderr, "%s: %s\n", source.c_str(), compiler.ErrorMessage().c_str());
  } else if (map) {
    *map = std::move(sourceMap);
  }
  compiler.FreeCompilerBuffers();
  return ok;
}

std::string DefaultImageName(const std::string& source) {
  std::string base = source;
  size_t dot = base.rfind('.');
  size_t slash = base.find_last_of("/\\");
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
  return base + ".img";
}

int Compile(const std::vector<std::string>& args) {
  std::string error;
  if (!FileArgument(args, "a source file", &error)) return UsageError(error);
  std::string output = DefaultImageName(args[1]);
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) output = args[++i];
    else if (args[i] == "-o") return UsageError("-o needs a file name");
    else return UsageError("unexpected argument \"" + args[i] + "\"");
  }
  return CompileFile(args[1], output) ? kExitOk : kExitCompileError;
}

int Check(const std::vector<std::string>& args) {
  std::string error;
  if (!FileArgument(args, "a source file", &error)) return UsageError(error);
  if (args.size() > 2) return UsageError("unexpected argument \"" + args[2] + "\"");
  return CompileFile(args[1], "") ? kExitOk : kExitCompileError;
}

int Run(const std::vector<std::string>& args) {
  std::string error;
  RunOptions o;
  if (!FileArgument(args, "a source file", &error) || !ParseRunOptions(args, 2, o, &error) ||
      !CheckOptionFiles(o, &error))
    return UsageError(error);
  if (LooksLikeImage(args[1]))
    return UsageError(args[1] + " is a program image: run it with \"vellumark exec " + args[1] + "\"");
  const std::string image = FsTempFolder() + "/program.img";
  if (!CompileFile(args[1], image, &o.source)) {
    FsRemoveTempFolder();
    return kExitCompileError;
  }
  o.errorTexts = g_language.errors;
  // The source is the running file: its folder is the program folder (SETUP.INI, VK.LOG).
  o.programFile = AbsolutePath(args[1]);
  // The program runs with its source's folder as the current folder.
  const std::string keep = FsCurrentFolder();
  std::string folder = FsFolderOf(AbsolutePath(args[1]));
  FsChangeFolder(folder.empty() ? "/" : folder);
  int status = RunImageFile(image, o);
  FsChangeFolder(keep);
  return status;
}

bool IsMediaFile(const std::string& name) {
  static const char* const kExtensions[] = {"bmp", "rle", "dib", "dds", "jpg", "pcx", "png", "psd", "tga", "tif",
                                            "wav", "mp2", "mp3", "avi", "mpg", "mid", "arr", "dat", "txt", "3ds"};
  if (name.empty()) return false;
  if (name.back() == 'x' || name.back() == 'X') return true;
  if (name.size() < 3) return false;
  std::string last = name.substr(name.size() - 3);
  for (char& c : last) c = char(std::tolower(static_cast<unsigned char>(c)));
  for (const char* e : kExtensions)
    if (last == e) return true;
  return false;
}

// Whether a canonical path is the canonical folder root or lies below it.
bool InsideTree(const std::filesystem::path& path, const std::filesystem::path& root) {
  return !root.empty() && std::mismatch(root.begin(), root.end(), path.begin(), path.end()).first == root.end();
}

// Every media file under a folder, named by its path relative to it with "\" between folders.
// Only regular files are taken: a pipe or a device with a media name would hold the build. The
// game being built is left out: a name ending in "x" would otherwise pack the previous build.
// A folder linked back to one being walked (an ancestor) is not walked again, and a link whose
// target lies outside the top folder's tree is skipped: a link to "/" would pack the whole disk.
void CollectMedia(const std::filesystem::path& folder, const std::string& prefix, const std::string& game,
                  std::vector<std::pair<std::string, std::string>>& out,
                  std::vector<std::filesystem::path>& walking) {
  std::error_code ec;
  walking.push_back(std::filesystem::canonical(folder, ec));
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    std::string name = entry.path().filename().string();
    if (entry.is_symlink(ec)) {
      const std::filesystem::path target = std::filesystem::canonical(entry.path(), ec);
      if (ec || !InsideTree(target, walking.front())) continue;
    }
    if (entry.is_directory(ec)) {
      const std::filesystem::path real = std::filesystem::canonical(entry.path(), ec);
      if (ec || std::find(walking.begin(), walking.end(), real) != walking.end()) continue;
      if (entry.path().string().size() <= 255) CollectMedia(entry.path(), prefix + name + "\\", game, out, walking);
    } else if (entry.is_regular_file(ec) && IsMediaFile(name) && !std::filesystem::equivalent(entry.path(), game, ec)) {
      out.emplace_back(prefix + name, entry.path().string());
    }
  }
  walking.pop_back();
}

int Build(const std::vector<std::string>& args) {
  std::string image, output, source;
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
  if (output.empty()) {
    if (source.empty()) return UsageError("build --image needs -o GAME");
    output = DefaultImageName(source);
    output.resize(output.size() - 4);
  }
  if (!source.empty()) {
    image = FsTempFolder() + "/_exefile.dat";
    if (!CompileFile(source, image)) {
      FsRemoveTempFolder();
      return kExitCompileError;
    }
  }
  std::vector<std::pair<std::string, std::string>> files;
  std::vector<std::filesystem::path> walking;
  if (media && !source.empty()) CollectMedia(FsFolderOf(AbsolutePath(source)), "", FsResolve(output), files, walking);
  std::string error;
  bool ok = WriteGameFile(SelfExecutablePath(), image, files, output, &error);
  if (!source.empty()) FsRemoveTempFolder();
  if (!ok) {
    std::fprintf(stderr, "vellumark: build: %s\n", error.c_str());
    return kExitLoadError;
  }
  return kExitOk;
}

}  // namespace

std::vector<std::string> LanguageErrorTexts() {
  LoadLanguageTables(ExeFolder());
  return g_language.errors;
}

std::string SelfExecutablePath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  buf[n] = 0;
  return buf;
}

bool WriteGameFile(const std::string& runtimeExe, const std::string& imageFile,
                   const std::vector<std::pair<std::string, std::string>>& media, const std::string& output,
                   std::string* error) {
  std::string runtime, image;
  if (!FsReadFile(runtimeExe, runtime)) {
    if (error) *error = "cannot read the runtime " + runtimeExe;
    return false;
  }
  // A runtime that is itself a built game contributes only its own part.
  VirtualFiles existing;
  if (existing.LoadPack(runtimeExe)) {
    uint32_t stub = 0;
    std::memcpy(&stub, runtime.data() + runtime.size() - 4, 4);
    runtime.resize(stub);
  }
  if (!FsReadFile(imageFile, image)) {
    if (error) *error = "cannot read the program image " + imageFile;
    return false;
  }
  std::vector<PackInput> entries;
  entries.push_back({"program.img", std::vector<uint8_t>(image.begin(), image.end())});
  for (const auto& [name, path] : media) {
    if (name.size() > 255) {  // a pack entry's name has at most 255 bytes
      if (error) *error = "the media file name " + name + " is longer than 255 bytes";
      return false;
    }
    std::string data;
    if (!FsReadFile(path, data)) {
      if (error) *error = "cannot read " + path;
      return false;
    }
    entries.push_back({name, std::vector<uint8_t>(data.begin(), data.end())});
  }
  std::vector<uint8_t> pack = BuildPack(entries, uint32_t(runtime.size()));
  runtime.append(reinterpret_cast<const char*>(pack.data()), pack.size());
  if (!FsWriteFileAtomic(output, runtime) || chmod(FsResolve(output).c_str(), 0755) != 0) {
    if (error) *error = "cannot write " + output;
    return false;
  }
  return true;
}

bool IsToolCommand(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  for (const char* c : {"run", "compile", "check", "exec", "build", "edit", "help", "--help", "-h", "--version"})
    if (args[0] == c) return true;
  return false;
}

int ToolMain(const std::vector<std::string>& args) {
  if (args.empty()) return Usage();
  const std::string& cmd = args[0];
  if (cmd == "exec") return Exec(args);
  if (cmd == "run") return Run(args);
  if (cmd == "compile") return Compile(args);
  if (cmd == "check") return Check(args);
  if (cmd == "build") return Build(args);
  if (cmd == "--help" || cmd == "-h" || cmd == "help") return Help();
  if (cmd == "edit") return UsageError("the development environment (edit) is not built yet");
  if (cmd == "--version") {
    std::printf("vellumark %s\n", VK_VERSION);
    return kExitOk;
  }
  return UsageError("unknown command \"" + cmd + "\"");
}
