#include "app/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <filesystem>

#include "compiler/compiler.h"
#include "core/pack.h"
#include "platform/fs.h"
#include "platform/ini.h"
#include "runtime/language_file.h"
#include "runtime/startup.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  vellumark run FILE.vka [options] [-- args]     compile, then run\n"
    "  vellumark compile FILE.vka [-o IMAGE]          write the program image\n"
    "  vellumark check FILE.vka                       compile and report, write nothing\n"
    "  vellumark exec IMAGE [options] [-- args]       run a program image\n"
    "  vellumark build FILE.vka [-o GAME] [--media]   stand-alone game\n"
    "  vellumark build --image IMAGE -o GAME          stand-alone game from an image\n"
    "options: --window --debug --standalone --headless --frames N --grab FILE\n"
    "         --transcript FILE --input FILE --clock virtual\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

// Parses run options from args[from...]; false on an unknown or incomplete option.
// Files named on the command line are relative to the caller's folder, also when the run
// then changes into the program's folder.
std::string FromCallersFolder(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  return FsCurrentFolder() + "/" + path;
}

bool ParseRunOptions(const std::vector<std::string>& args, size_t from, RunOptions& o) {
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
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
      if (!value(v)) return false;
      char* end = nullptr;
      long long n = std::strtoll(v.c_str(), &end, 10);
      if (!end || *end || n < 0) return false;
      o.frames = n;
    } else if (a == "--grab") {
      if (!value(o.grabFile)) return false;
      o.grabFile = FromCallersFolder(o.grabFile);
    } else if (a == "--transcript") {
      if (!value(o.transcriptFile)) return false;
      if (o.transcriptFile != "-") o.transcriptFile = FromCallersFolder(o.transcriptFile);
    } else if (a == "--input") {
      if (!value(o.inputFile)) return false;
      o.inputFile = FromCallersFolder(o.inputFile);
    } else if (a == "--clock") {
      if (!value(v) || v != "virtual") return false;
      o.virtualClock = true;
    } else {
      std::fprintf(stderr, "vellumark: unknown option %s\n", a.c_str());
      return false;
    }
  }
  return true;
}

int Exec(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage();
  RunOptions o;
  if (!ParseRunOptions(args, 2, o)) return Usage();
  o.errorTexts = LanguageErrorTexts();
  if (!FsFileExists(args[1])) {
    std::fprintf(stderr, "vellumark: %s: no such file\n", args[1].c_str());
    return kExitLoadError;
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

// Compiles a source file into an image file (none: check only) with the source's folder as
// the current folder, so that included files are read relative to it. Errors go to stderr
// as FILE:LINE: message.
bool CompileFile(const std::string& source, const std::string& image) {
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
  if (!ok) {
    if (compiler.ErrorLine() > 0)
      std::fprintf(stderr, "%s:%d: %s\n", source.c_str(), compiler.ErrorLine(), compiler.ErrorMessage().c_str());
    else
      std::fprintf(stderr, "%s: %s\n", source.c_str(), compiler.ErrorMessage().c_str());
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
  if (args.size() < 2) return Usage();
  std::string output = DefaultImageName(args[1]);
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) output = args[++i];
    else return Usage();
  }
  return CompileFile(args[1], output) ? kExitOk : kExitCompileError;
}

int Check(const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage();
  return CompileFile(args[1], "") ? kExitOk : kExitCompileError;
}

int Run(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage();
  RunOptions o;
  if (!ParseRunOptions(args, 2, o)) return Usage();
  const std::string image = FsTempFolder() + "/program.img";
  if (!CompileFile(args[1], image)) {
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

// Every media file under a folder, named by its path relative to it with "\" between folders.
void CollectMedia(const std::filesystem::path& folder, const std::string& prefix,
                  std::vector<std::pair<std::string, std::string>>& out) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    std::string name = entry.path().filename().string();
    if (entry.is_directory(ec)) {
      if (entry.path().string().size() <= 255) CollectMedia(entry.path(), prefix + name + "\\", out);
    } else if (IsMediaFile(name)) {
      out.emplace_back(prefix + name, entry.path().string());
    }
  }
}

int Build(const std::vector<std::string>& args) {
  std::string image, output, source;
  bool media = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--image" && i + 1 < args.size()) image = args[++i];
    else if (args[i] == "-o" && i + 1 < args.size()) output = args[++i];
    else if (args[i] == "--media") media = true;
    else if (source.empty() && image.empty() && args[i][0] != '-') source = args[i];
    else return Usage();
  }
  if (image.empty() == source.empty()) return Usage();
  if (output.empty()) {
    if (source.empty()) return Usage();
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
  if (media && !source.empty()) CollectMedia(FsFolderOf(AbsolutePath(source)), "", files);
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
  for (const char* c : {"run", "compile", "check", "exec", "build", "edit", "help", "--help", "-h"})
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
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return Usage();
}
