#include "runtime/game_build.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <algorithm>
#include <filesystem>

#include "compiler/compiler.h"
#include "core/errors.h"
#include "core/loader.h"
#include "core/run_state.h"
#include "core/pack.h"
#include "platform/codepage.h"
#include "platform/charset_setting.h"
#include "platform/codepage_tables.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "platform/ini.h"
#include "runtime/command_families.h"
#include "runtime/elf_image.h"
#include "runtime/language_file.h"

namespace {

std::string ExeFolder() {
  std::string folder = FsFolderOf(SelfExecutablePath());
  return folder.empty() ? "" : folder + "/";
}

// The name under which messages show a file of the compiled text: the source as it was given,
// or an included file beside it ("" is the source itself), named in the source's code page and
// shown as the disk spells it.
std::string NameInMessages(const std::string& source, const std::string& included) {
  if (included.empty()) return source;
  const std::string file = CodePageToUtf8(TextCodePage(), included);
  if (file[0] == '/') return file;
  const std::string folder = FsFolderOf(source);
  return folder.empty() ? file : folder == "/" ? "/" + file : folder + "/" + file;
}

// What a run needs of a compile to name the lines of its errors: the source as source, the
// files it includes beside shownAs (the file the source stands for).
SourceMap SourceMapOf(const Compiler& compiler, const std::string& source, const std::string& shownAs) {
  SourceMap map;
  map.lineOfWord = compiler.CodeLines();
  for (const Compiler::SourceFile& f : compiler.SourceFiles())
    map.files.push_back({f.firstLine, f.name.empty() ? source : NameInMessages(shownAs, f.name)});
  const KeywordTable& keywords = compiler.Keywords();
  for (const auto& [number, index] : keywords.byNumber)
    map.keywords.push_back({number, {keywords.main[size_t(index)].name, keywords.main[size_t(index)].params}});
  std::sort(map.keywords.begin(), map.keywords.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  return map;
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

// The longest name of a pack entry, in bytes.
constexpr size_t kPackNameBytes = 255;

// The first media file at any depth of a folder (links not followed); false when there is none.
bool FirstMediaFileIn(const std::filesystem::path& folder, std::filesystem::path* file) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec) || !IsMediaFile(it->path().filename().string())) continue;
    *file = it->path();
    return true;
  }
  return false;
}

// Whether a canonical path is the canonical folder root or lies below it.
bool InsideTree(const std::filesystem::path& path, const std::filesystem::path& root) {
  return !root.empty() && std::mismatch(root.begin(), root.end(), path.begin(), path.end()).first == root.end();
}

// Every media file under a folder, in name order, named by its path relative to it with "\"
// between folders. Only regular files are taken: a pipe or a device with a media name would hold the build. The
// game being built is left out: a name ending in "x" would otherwise pack the previous build.
// A folder linked back to one being walked (an ancestor) is not walked again, and a link whose
// target lies outside the top folder's tree is skipped: a link to "/" would pack the whole disk.
// What must fit is the name in the pack, not the path on disk: a folder whose name in the pack
// is too long for any file is not walked, but a media file anywhere in it is listed by its
// name, which refuses the build when the game is written.
// real: the folder's canonical path. Only links are looked up: a plain folder's canonical path
// is its parent's and its name (a lookup a folder costs the depth on disk squared). Links that
// reach one folder by many routes (two links to the next folder, and so on down) would be
// walked once a route: past kMostLinkedWalks folders entered through a link, no more are.
constexpr int kMostLinkedWalks = 4096;
void CollectMedia(const std::filesystem::path& folder, const std::filesystem::path& real, const std::string& prefix,
                  const std::string& game, std::vector<MediaFile>& out, std::vector<std::filesystem::path>& walking,
                  int& linkedWalks) {
  std::error_code ec;
  walking.push_back(real);
  std::vector<std::filesystem::directory_entry> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) entries.push_back(entry);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  for (const auto& entry : entries) {
    std::string name = entry.path().filename().string();
    const bool linked = entry.is_symlink(ec);
    std::filesystem::path target;
    if (linked) {
      target = std::filesystem::canonical(entry.path(), ec);
      if (ec || !InsideTree(target, walking.front())) continue;
    }
    if (entry.is_directory(ec)) {
      if (linked && (std::find(walking.begin(), walking.end(), target) != walking.end() ||
                     ++linkedWalks > kMostLinkedWalks))
        continue;
      const std::string inner = prefix + name + "\\";
      std::filesystem::path file;
      if (inner.size() < kPackNameBytes) {
        CollectMedia(entry.path(), linked ? target : real / name, inner, game, out, walking, linkedWalks);
      } else if (FirstMediaFileIn(entry.path(), &file)) {
        std::string below = file.lexically_relative(entry.path()).string();
        std::replace(below.begin(), below.end(), '/', '\\');
        out.emplace_back(inner + below, file.string());
      }
    } else if (entry.is_regular_file(ec) && IsMediaFile(name) && !std::filesystem::equivalent(entry.path(), game, ec)) {
      out.emplace_back(prefix + name, entry.path().string());
    }
  }
  walking.pop_back();
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
  std::string resolved = FsResolve(path);
  if (!resolved.empty() && resolved[0] == '/') return resolved;
  return FsCurrentFolder() + "/" + resolved;
}

namespace {

// The code page of a program compiled in the current folder: the text character set that the
// SETUP.INI there names, else the one the settings beside the executable name (the
// environment's), else Windows-1252.
int32_t CompiledCodePage() {
  std::string file = AbsolutePath("SETUP.INI");
  std::string charset = IniGetString("SETUP.INI", "SETTINGS", "TEXTLANGUAGE-CHARSET", "");
  if (charset.empty()) {
    file = SettingsFileIn(ExeFolder());
    charset = IniGetString(file, "SETTINGS", "TEXTLANGUAGE-CHARSET", "");
  }
  return CodePageOfCharsetSetting(charset, file);
}

// Compiles the source (a host path) with the compile's folder as the current folder, and writes
// the image when one is named and mayWrite allows it (refused: set, and false). files gets the
// host paths of the files read. quiet: the lines keywords.txt skips are not said, and no
// numbered listing is written where the folder's settings ask for it.
bool CompileIn(Compiler& compiler, const std::string& sourcePath, const std::string& image, const std::string& folder,
               bool quiet, std::vector<std::string>* files,
               const std::function<bool(const std::vector<std::string>&)>& mayWrite, bool* refused) {
  LoadLanguageTables(ExeFolder());
  compiler.ResetCompiler();
  std::string overrideList;
  if (FsFileExists(ExeFolder() + "keywords.txt") && FsReadFile(ExeFolder() + "keywords.txt", overrideList)) {
    std::vector<std::string> skipped;
    compiler.LoadKeywordTableFromText(overrideList, &skipped);
    const std::string& what = g_language.compiler[0];
    if (!quiet)
      for (const std::string& line : skipped)
        std::fprintf(stderr, "vellumark: keywords.txt: %s %s\n", what.c_str(), line.c_str());
  } else {
    compiler.LoadKeywordTable();
  }
  compiler.SetMessageTexts(g_language.compiler);
  // The image is written as it is named.
  std::string imagePath = image;
  if (!image.empty()) FsHostAbsolute(image, imagePath);
  const std::string keep = FsCurrentFolder();
  if (folder.empty()) FsEnterHostFolder(FsHostFolderOf(sourcePath));
  else FsChangeFolder(AbsolutePath(folder));
  // RUNTIMETEST in the source folder's settings asks for the numbered listing.
  compiler.SetDebugListing(!quiet && IniGetString("SETUP.INI", "SETTINGS", "RUNTIMETEST", "0") == "1");
  // The program's code page is fixed here and travels in its image; included files are named
  // in it too.
  const int32_t codePage = CompiledCodePage(), keepCodePage = TextCodePage();
  compiler.SetCodePage(codePage);
  SetTextCodePage(codePage);
  // Compiled in memory: the image is written once the files read are known.
  bool ok = compiler.CompileToImageFile(sourcePath, "");
  SetTextCodePage(keepCodePage);
  // Included files are named as a program names files, relative to the compile's folder.
  files->clear();
  for (const Compiler::SourceFile& f : compiler.SourceFiles())
    files->push_back(f.name.empty() ? sourcePath : AbsolutePath(f.name));
  // The settings, language and keyword files the compile read are read by it too.
  for (const std::string& read :
       {AbsolutePath("SETUP.INI"), SettingsFileIn(ExeFolder()), LanguageFileOf(ExeFolder()), ExeFolder() + "keywords.txt"})
    if (FsFileExists(read)) files->push_back(read);
  // The listing never replaces a file the compile read (the command line refuses that).
  const std::string& listing = compiler.DebugListingText();
  if (!listing.empty() &&
      std::none_of(files->begin(), files->end(), [](const std::string& f) { return FsSameHostFile(f, ProgramSideFile("VK.VKA")); }))
    WriteDebugListing(listing.data(), uint32_t(listing.size()));
  *refused = ok && !image.empty() && mayWrite && !mayWrite(*files);
  if (ok && !image.empty()) ok = !*refused && compiler.WriteImageFile(imagePath);
  FsEnterHostFolder(keep);
  return ok;
}

// The source as a host path: found as FsFindHostFile finds it.
std::string SourcePath(const std::string& source) {
  std::string path = source;
  if (FsHostAbsolute(source, path)) path = FsFindHostFile(path);
  return path;
}

}  // namespace

bool CompileFile(const std::string& source, const std::string& image, SourceMap* map, const std::string& folder,
                 CompileOutcome* outcome) {
  Compiler compiler;
  std::vector<std::string> files;
  bool refused = false;
  const bool ok = CompileIn(compiler, SourcePath(source), image, folder, false, &files,
                            outcome ? outcome->mayWriteImage : nullptr, &refused);
  if (outcome) outcome->files = files;
  // Included files are named beside the file the source stands for, not beside a work file.
  const std::string shownAs = outcome && !outcome->shownAs.empty() ? outcome->shownAs : source;
  SourceMap sourceMap = SourceMapOf(compiler, source, shownAs);
  // Where a message points: the user's file and line when a work file stands in for it.
  const auto shown = [&](std::string* file, int32_t* line) {
    if (!outcome || outcome->shownAs.empty() || *file != source) return;
    *file = outcome->shownAs;
    *line = std::max(1, *line - outcome->hiddenLines);
  };
  for (const Compiler::MissingInclude& missing : compiler.MissingIncludes()) {
    std::string file;
    int32_t line = 0;
    if (!sourceMap.Locate(missing.line, &file, &line)) continue;
    shown(&file, &line);
    std::fprintf(stderr, "%s:%d: warning: the included file %s cannot be read\n", file.c_str(), line,
                 NameInMessages(shownAs, missing.name).c_str());
  }
  for (const Compiler::Warning& warning : compiler.Warnings()) {
    std::string file;
    int32_t line = 0;
    if (!sourceMap.Locate(warning.line, &file, &line)) continue;
    shown(&file, &line);
    std::fprintf(stderr, "%s:%d: warning: %s\n", file.c_str(), line,
                 CodePageToUtf8(TextCodePage(), warning.text).c_str());
  }
  // A work file standing in for the image is not named: what it is for is.
  std::string errorMessage = compiler.ErrorMessage();
  if (!ok && outcome && !outcome->imageShownAs.empty() && !image.empty())
    if (const size_t at = errorMessage.find(image); at != std::string::npos)
      errorMessage.replace(at, image.size(), outcome->imageShownAs);
  if (!ok && outcome) {
    outcome->message = errorMessage;
    outcome->errorLine = compiler.ErrorLine();
  }
  if (!ok && !refused) {
    std::string file = source;
    int32_t line = compiler.ErrorLine();
    if (line > 0) shown(&file, &line);
    // The message quotes the source: code-page text.
    const std::string message = CodePageToUtf8(TextCodePage(), errorMessage);
    if (line > 0)
      std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, message.c_str());
    else if (file == source && outcome && !outcome->shownAs.empty())  // the stand-in is no file of the user's
      std::fprintf(stderr, "vellumark: %s\n", message.c_str());
    else
      std::fprintf(stderr, "%s: %s\n", file.c_str(), message.c_str());
  } else if (ok && map) {
    *map = std::move(sourceMap);
  }
  compiler.FreeCompilerBuffers();
  return ok;
}

std::vector<std::string> FilesOfSource(const std::string& source, const std::string& folder) {
  Compiler compiler;
  std::vector<std::string> files;
  bool refused = false;
  CompileIn(compiler, SourcePath(source), "", folder, true, &files, nullptr, &refused);
  compiler.FreeCompilerBuffers();
  return files;
}

bool CheckProgramImage(const std::string& image, std::string* why) {
  // The loader checks each instruction's operands against the command table.
  EnsureCommandTable();
  const bool loaded = LoadProgram(image, why);
  FreeProgramStrings();
  return loaded;
}

std::vector<MediaFile> CollectMediaFiles(const std::string& folder, const std::string& leaveOut) {
  std::vector<MediaFile> files;
  std::vector<std::filesystem::path> walking;
  std::error_code ec;
  int linkedWalks = 0;
  CollectMedia(folder, std::filesystem::canonical(folder, ec), "", leaveOut, files, walking, linkedWalks);
  return files;
}

std::vector<MediaFile> MediaFilesOfGame(const std::string& folder, const std::string& output) {
  return CollectMediaFiles(folder, FileHasPack(output) ? output : "");
}

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

bool MakeGame(const std::string& runtimeExe, const std::string& imageFile, const std::vector<MediaFile>& media,
              std::string* game, std::string* error, const std::function<bool(const std::string&)>& adding) {
  std::string& runtime = *game;
  std::string image;
  if (!FsReadHostFile(runtimeExe, runtime)) {
    if (error) *error = "cannot read the runtime " + runtimeExe + ": " + FileErrorCause(errno);
    return false;
  }
  // A runtime that is itself a built game contributes only its own part.
  VirtualFiles existing;
  if (existing.LoadPack(runtimeExe)) {
    uint32_t stub = 0;
    std::memcpy(&stub, runtime.data() + runtime.size() - 4, 4);
    runtime.resize(stub);
  }
  // A game carries only what the loader maps: no debug information, no symbol tables. A file
  // that is not an executable of the kind read here is copied as it is.
  CutToLoadedImage(runtime);
  if (!FsReadHostFile(imageFile, image)) {
    if (error) *error = "cannot read the program image " + imageFile + ": " + FileErrorCause(errno);
    return false;
  }
  std::vector<PackInput> entries;
  entries.push_back({"program.img", std::vector<uint8_t>(image.begin(), image.end())});
  for (const auto& [name, path] : media) {
    if (name.size() > kPackNameBytes) {
      if (error) *error = "the media file name " + name + " is longer than 255 bytes";
      return false;
    }
    if (adding && !adding(name)) {
      if (error) *error = "abandoned";
      return false;
    }
    std::string data;
    if (!FsReadHostFile(path, data)) {
      if (error) *error = "cannot read " + path + ": " + FileErrorCause(errno);
      return false;
    }
    entries.push_back({name, std::vector<uint8_t>(data.begin(), data.end())});
  }
  std::vector<uint8_t> pack = BuildPack(entries, uint32_t(runtime.size()));
  runtime.append(reinterpret_cast<const char*>(pack.data()), pack.size());
  return true;
}

bool WriteGameFile(const std::string& runtimeExe, const std::string& imageFile, const std::vector<MediaFile>& media,
                   const std::string& output, std::string* error,
                   const std::function<bool(const std::string&)>& adding, bool* outputFailed) {
  if (outputFailed) *outputFailed = false;
  std::string runtime;
  if (!MakeGame(runtimeExe, imageFile, media, &runtime, error, adding)) return false;
  // Written whole beside the name and renamed over it: a game there stays as it was until the
  // new one is complete. A game is run like any program: 0777 less the umask.
  if (!FsWriteFileAtomicAs(output, runtime, FsNewProgramAccess())) {
    if (error) *error = "cannot write " + output + ": " + FileErrorCause(errno);
    if (outputFailed) *outputFailed = true;
    return false;
  }
  return true;
}
