#pragma once
// The executable builder: a stand-alone game made from a source, as the tool's build makes it.
#include <functional>
#include <string>

struct ExeBuild {
  std::string output;         // the game file; its name is kept as given (no extension added)
  std::string source;         // the source to compile (the environment's work file)
  std::string projectFolder;  // the compile runs here; with media, its media files are packed
  bool withMedia = false;
  std::string runtimeExe;     // the runtime to copy ("": this executable)
  // Asked before each media file: true stops the build (the environment passes Escape).
  std::function<bool()> escape;
  // Told "Adding NAME..." before each media file is packed.
  std::function<void(const std::string&)> report;
};

// Compiles the source into the temporary "_exefile.dat", then writes the runtime, the program
// as the pack's first entry "program.img" and, with media, every media file of the project
// folder in name order; the game is executable (0777 less the umask). The game is written
// beside its name and put in place only once whole: a build that fails in any way (a compile
// error, Escape, a file that cannot be read or written) leaves whatever stood at the name as it
// was. False, and why in error, when it fails.
bool IdeBuildExecutable(const ExeBuild& build, std::string* error);
