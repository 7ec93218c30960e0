#include "devenv/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/pack.h"
#include "core/startup.h"
#include "platform/fs.h"

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
    } else if (a == "--transcript") {
      if (!value(o.transcriptFile)) return false;
    } else if (a == "--input") {
      if (!value(o.inputFile)) return false;
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
  if (!FsFileExists(args[1])) {
    std::fprintf(stderr, "vellumark: %s: no such file\n", args[1].c_str());
    return kExitLoadError;
  }
  return RunImageFile(args[1], o);
}

int Build(const std::vector<std::string>& args) {
  std::string image, output;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--image" && i + 1 < args.size()) image = args[++i];
    else if (args[i] == "-o" && i + 1 < args.size()) output = args[++i];
    else return Usage();
  }
  if (image.empty() || output.empty()) return Usage();
  std::string error;
  if (!WriteGameFile(SelfExecutablePath(), image, {}, output, &error)) {
    std::fprintf(stderr, "vellumark: build: %s\n", error.c_str());
    return kExitLoadError;
  }
  return kExitOk;
}

}  // namespace

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
  if (cmd == "build") return Build(args);
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return Usage();
}
