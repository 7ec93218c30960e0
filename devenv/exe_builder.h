#pragma once
// The executable builder: a stand-alone game made from a source, as the tool's build makes it.
#include <functional>
#include <string>
#include <vector>

struct ExeBuild {
  std::string output;         // the game file's host path, taken as it is (no extension added)
  std::string source;         // the source to compile (the environment's work file)
  std::string shownAs;        // the user's file the source stands for, as messages name it ("": source)
  std::string projectFolder;  // the compile runs here; with media, its media files are packed
  bool withMedia = false;
  // Files the game must never be written over besides the included and packed files (the
  // sources open in the environment).
  std::vector<std::string> inputs;
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
// was. False, and why in error, when it fails (a compile error: "NAME:LINE: message", NAME the
// last part of the file's name, in the code page).
// A game named as one of the build's inputs, as the runtime, as a file the source includes or
// as a media file it packs (a game built before at the name is replaced, not packed) is never
// written:
// the build fails with the environment's text for it.
bool IdeBuildExecutable(const ExeBuild& build, std::string* error);
// Whether the game's name is one of the build's inputs (there or not), the runtime, a media
// file it packs or a file the source includes (found by a compile that writes nothing; a source that does not compile includes
// nothing).
bool IdeBuildWritesInput(const ExeBuild& build);
