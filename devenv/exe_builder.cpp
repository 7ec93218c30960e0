// The executable builder over the runtime's compile-and-package functions.
#include "devenv/exe_builder.h"

#include <sys/stat.h>

#include <cerrno>

#include "devenv/ide_texts.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "runtime/game_build.h"

namespace {

bool OneOf(const std::string& output, const std::vector<std::string>& files) {
  for (const std::string& f : files)
    if (FsSameHostFile(output, f)) return true;
  return false;
}

std::string FolderOf(const ExeBuild& b) { return b.projectFolder.empty() ? FsCurrentFolder() : b.projectFolder; }

std::string RuntimeOf(const ExeBuild& b) { return b.runtimeExe.empty() ? SelfExecutablePath() : b.runtimeExe; }

// The media files a build packs (none without media).
std::vector<MediaFile> MediaOf(const ExeBuild& b) {
  return b.withMedia ? MediaFilesOfGame(FolderOf(b), b.output) : std::vector<MediaFile>{};
}

bool PacksOutput(const ExeBuild& b, const std::vector<MediaFile>& media) {
  for (const MediaFile& file : media)
    if (FsSameHostFile(b.output, file.second)) return true;
  return false;
}

// A compile's error as the status line says it: the file's name and the line before the message.
std::string CompileError(const ExeBuild& b, const CompileOutcome& outcome) {
  if (outcome.errorLine <= 0) return outcome.message;
  const std::string file = b.shownAs.empty() ? b.source : b.shownAs;
  const size_t slash = file.rfind('/');
  const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  return FsToProgramName(name) + ":" + std::to_string(outcome.errorLine) + ": " + outcome.message;
}

}  // namespace

bool IdeBuildWritesInput(const ExeBuild& b) {
  if (OneOf(b.output, b.inputs) || FsSameHostFile(b.output, RuntimeOf(b)) || PacksOutput(b, MediaOf(b))) return true;
  // Only a file that is there can have been included.
  struct stat st;
  return stat(b.output.c_str(), &st) == 0 && OneOf(b.output, FilesOfSource(b.source, FolderOf(b)));
}

bool IdeBuildExecutable(const ExeBuild& b, std::string* error) {
  const std::string image = FsTempFolderFile("_exefile.dat");
  if (image.empty()) {
    if (error) *error = "no temporary folder can be made";
    return false;
  }
  const std::string folder = FolderOf(b);
  // The image is written only when the game's name is none of the files the compile read.
  CompileOutcome outcome;
  outcome.shownAs = b.shownAs;
  outcome.imageShownAs = FsToProgramName(b.output);
  bool madeFrom = OneOf(b.output, b.inputs);
  outcome.mayWriteImage = [&](const std::vector<std::string>& files) {
    madeFrom = OneOf(b.output, files);
    return !madeFrom;
  };
  const std::vector<MediaFile> media = MediaOf(b);
  madeFrom = madeFrom || FsSameHostFile(b.output, RuntimeOf(b)) || PacksOutput(b, media);
  if (madeFrom || !CompileFile(b.source, image, nullptr, folder, &outcome)) {
    if (error) *error = madeFrom ? IdeText(IdeSection::Desc, kDescOutputIsInput) : CompileError(b, outcome);
    return false;
  }
  const auto adding = [&b](const std::string& name) {
    if (b.escape && b.escape()) return false;
    if (b.report) b.report("Adding " + FsToProgramName(name) + "...");
    return true;
  };
  std::string game;
  // Texts for the environment's lines, which show names in the code page as programs do.
  bool ok = MakeGame(RuntimeOf(b), image, media, &game, error, adding);
  if (!ok && error) *error = FsToProgramName(*error);
  // Written whole beside the name and renamed over it, at the host path as it is named; a game
  // is run like any program: 0777 less the umask.
  const FsAccess access = FsNewProgramAccess();
  if (ok && !FsWriteHostFileAtomic(b.output, game, &access)) {
    if (error) *error = "cannot write " + FsToProgramName(b.output) + ": " + FileErrorCause(errno);
    ok = false;
  }
  FsDeleteFile(image);
  return ok;
}
