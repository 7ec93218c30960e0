// Model file commands: converting a 3DS file to an X file.
#include <string>

#include "core/errors.h"
#include "core/handler.h"
#include "core/pack.h"
#include "model/commands.h"
#include "model/convert3ds/writer_x.h"
#include "platform/fs.h"

namespace {

// The text after the last '.', searched down to index 1; "" when there is none.
std::string Extension(const std::string& name) {
  for (size_t i = name.size(); i-- > 1;)
    if (name[i] == '.') return name.substr(i + 1);
  return {};
}

// A file of that name exists, in the pack or on disk; mapped gets the path to open.
bool Exists(const std::string& name, std::string* mapped) {
  *mapped = name;
  MapThroughPack(*mapped, "dat");
  return FsFileExists(*mapped);
}

// CONVERT 3DS TO X source, target: errors 7931 (source not .3ds), 7932 (target not .x), 105
// (source missing), 106 (target exists), checked in that order. A conversion that cannot read
// its source or write its target (its folder missing, no right to write) is warning 8021, as
// other failed file operations are, not a silent success; so is a model past the limits of a
// model load. Each names the file and the cause.
void CmdConvert3dsToX() {
  const std::string source = OpString(0), target = OpString(1);
  SkipOperands(2);
  std::string from, to, why;
  if (!FsEqualsNoCase(Extension(source), "3ds"))
    return RunFileError(kErrConvertSourceNot3ds, source, "only .3ds files are converted");
  if (!FsEqualsNoCase(Extension(target), "x"))
    return RunFileError(kErrConvertTargetNotX, target, "not an .x file name");
  // A folder, device or FIFO of that name is there: the conversion's read says it is no regular file.
  if (!Exists(source, &from) && !FsPathExists(from)) return RunFileError(kErrFileNotFound, source, "not found");
  if (Exists(target, &to)) return RunFileError(kErrFileExists, target, "already exists");
  // Memory running out while the model is read and written is the conversion's failure,
  // naming the source.
  const FileLoadScope load(kErrFileNotMade, source);
  const int32_t result = Convert3dsToX(from, target, &why);
  if (result < 0) RunFileWarning(kErrFileNotMade, result == -4 ? source : target, why);
}

const CommandDef kModelFileCommands[] = {
    {7941, CmdConvert3dsToX, "ss"},
};

}  // namespace

std::span<const CommandDef> ModelFileCommands() { return kModelFileCommands; }
