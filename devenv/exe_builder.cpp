// The executable builder over the runtime's compile-and-package functions.
#include "devenv/exe_builder.h"

#include <sys/stat.h>

#include <cerrno>

#include "devenv/ide_texts.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "runtime/game_build.h"

namespace {

// The host paths of the files a compile included: the map names each beside the source, as its
// include line gave it, and the compiler found it from folder as a program's name.
std::vector<std::string> IncludedFiles(const SourceMap& map, const std::string& source, const std::string& folder) {
  const std::string beside = FsFolderOf(source) + "/";
  const std::string keep = FsCurrentFolder();
  FsChangeFolder(folder);
  std::vector<std::string> out;
  for (size_t i = 1; i < map.files.size(); ++i) {
    std::string name = map.files[i].name;
    if (name.compare(0, beside.size(), beside) == 0) name.erase(0, beside.size());
    std::string path;
    FsHostAbsolute(FsResolve(name), path);
    out.push_back(path);
  }
  FsChangeFolder(keep);
  return out;
}

bool OneOf(const std::string& output, const std::vector<std::string>& files) {
  for (const std::string& f : files)
    if (FsSameHostFile(output, f)) return true;
  return false;
}

std::string FolderOf(const ExeBuild& b) { return b.projectFolder.empty() ? FsCurrentFolder() : b.projectFolder; }

// Whether the game's name is one of the build's inputs or a file the compile included.
bool NamesAnInput(const ExeBuild& b, const SourceMap& map) {
  return OneOf(b.output, b.inputs) || OneOf(b.output, IncludedFiles(map, b.source, FolderOf(b)));
}

}  // namespace

bool IdeBuildWritesInput(const ExeBuild& b) {
  if (OneOf(b.output, b.inputs)) return true;
  // Only a file that is there can have been included.
  struct stat st;
  SourceMap map;
  return stat(b.output.c_str(), &st) == 0 && CompileFile(b.source, "", &map, FolderOf(b)) && NamesAnInput(b, map);
}

bool IdeBuildExecutable(const ExeBuild& b, std::string* error) {
  const std::string image = FsTempFolderFile("_exefile.dat");
  if (image.empty()) {
    if (error) *error = "no temporary folder can be made";
    return false;
  }
  const std::string folder = FolderOf(b);
  CompileOutcome outcome;
  SourceMap map;
  if (!CompileFile(b.source, image, &map, folder, &outcome)) {
    if (error) *error = outcome.message;
    return false;
  }
  if (NamesAnInput(b, map)) {
    FsDeleteFile(image);
    if (error) *error = IdeText(IdeSection::Desc, kDescOutputIsInput);
    return false;
  }
  std::vector<MediaFile> media;
  if (b.withMedia) media = CollectMediaFiles(folder, b.output);
  const auto adding = [&b](const std::string& name) {
    if (b.escape && b.escape()) return false;
    if (b.report) b.report("Adding " + name + "...");
    return true;
  };
  std::string game;
  bool ok = MakeGame(b.runtimeExe.empty() ? SelfExecutablePath() : b.runtimeExe, image, media, &game, error, adding);
  // Written whole beside the name and renamed over it, at the host path as it is named; a game
  // is run like any program: 0777 less the umask.
  const FsAccess access = FsNewProgramAccess();
  if (ok && !FsWriteHostFileAtomic(b.output, game, &access)) {
    if (error) *error = "cannot write " + b.output + ": " + FileErrorCause(errno);
    ok = false;
  }
  FsDeleteFile(image);
  return ok;
}
