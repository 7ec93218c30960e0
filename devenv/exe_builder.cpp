// The executable builder over the runtime's compile-and-package functions.
#include "devenv/exe_builder.h"

#include "platform/fs.h"
#include "runtime/game_build.h"

bool IdeBuildExecutable(const ExeBuild& b, std::string* error) {
  const std::string image = FsTempFolderFile("_exefile.dat");
  if (image.empty()) {
    if (error) *error = "no temporary folder can be made";
    return false;
  }
  const std::string folder = b.projectFolder.empty() ? FsCurrentFolder() : b.projectFolder;
  CompileOutcome outcome;
  if (!CompileFile(b.source, image, nullptr, folder, &outcome)) {
    if (error) *error = outcome.message;
    return false;
  }
  std::vector<MediaFile> media;
  if (b.withMedia) media = CollectMediaFiles(folder, FsResolve(b.output));
  const auto adding = [&b](const std::string& name) {
    if (b.escape && b.escape()) return false;
    if (b.report) b.report("Adding " + name + "...");
    return true;
  };
  const bool ok = WriteGameFile(b.runtimeExe.empty() ? SelfExecutablePath() : b.runtimeExe, image, media, b.output,
                                error, adding);
  FsDeleteFile(image);
  return ok;
}
