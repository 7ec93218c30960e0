#pragma once
// Compiling a source and packing a stand-alone game: the tool's compile, check, run and build
// use it, and so will the development environment.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/run_state.h"

// Path of the running executable ("" when unknown).
std::string SelfExecutablePath();
// A path made absolute against the current folder.
std::string AbsolutePath(const std::string& path);
// The run-time error texts of the language file (beside the executable, else built in).
std::vector<std::string> LanguageErrorTexts();

// Compiles a source file into an image file (none: check only), both host paths (the source
// found as FsFindHostFile finds it, the image written at its path as it is), with folder as
// the current folder, so that included files are read relative to it and its SETUP.INI may
// ask for the numbered listing ("": the source's folder). Errors go to stderr as FILE:LINE: message, after
// a warning for each included file that could not be read. map, when given, gets the source
// map of a successful compile, which a run needs to name the lines of its errors.
// outcome, when given, gets a failed compile's message and line, and the files the compile read.
struct CompileOutcome {
  std::string message;
  int32_t errorLine = 0;  // 0 when the error has no line
  // The absolute host paths of the files the compile read, after a success or a failure: the
  // source first (when it could be read), then each included file that could be read, then the
  // settings files (SETUP.INI), language file and keywords.txt that exist where it read them.
  std::vector<std::string> files;
  // Given by the caller: asked, with files, before the image is written; when it answers false
  // no image is written and the compile fails without a message (the caller says why).
  std::function<bool(const std::vector<std::string>& files)> mayWriteImage;
  // Given by the caller: the messages on stderr name the source as shownAs and count its lines
  // after its first hiddenLines (a work file standing in for the user's file).
  std::string shownAs;
  int32_t hiddenLines = 0;
  // Given by the caller: the name the messages give the image (a game built from it) when the
  // image is a work file of its own; "" names the image.
  std::string imageShownAs;
};
bool CompileFile(const std::string& source, const std::string& image, SourceMap* map = nullptr,
                 const std::string& folder = "", CompileOutcome* outcome = nullptr);
// The files a compile of the source (found as CompileFile finds it, in folder as CompileFile
// takes it) reads, as CompileOutcome::files names them, found without a word on stderr and
// without writing anything.
std::vector<std::string> FilesOfSource(const std::string& source, const std::string& folder = "");

// Whether a program image loads as a run loads it (the loader's checks, nothing kept loaded);
// false, and why, when it does not.
bool CheckProgramImage(const std::string& image, std::string* why);

// A media file to pack: its name in the pack ("\" between folders) and its path.
using MediaFile = std::pair<std::string, std::string>;
// Every media file under a folder and the folders in it, in name order, leaving out the file
// leaveOut (the game being built).
std::vector<MediaFile> CollectMediaFiles(const std::string& folder, const std::string& leaveOut);
// The media files under folder that a game written at output packs: a game built before at
// that name is replaced, never packed; any other media file there is packed, and so is an
// input the game must not be written over.
std::vector<MediaFile> MediaFilesOfGame(const std::string& folder, const std::string& output);
// The bytes of a stand-alone game: the runtime executable followed by a pack whose first
// entry is the program image and whose other entries are media files (name in the pack, file
// path); the files are named by host paths. adding, when given, is told each media file's pack
// name before it is read; false from it abandons the build. False, and why, when the game
// cannot be made.
bool MakeGame(const std::string& runtimeExe, const std::string& imageFile, const std::vector<MediaFile>& media,
              std::string* game, std::string* error, const std::function<bool(const std::string&)>& adding = {});
// Writes the game MakeGame makes to output (a program's name) (nothing is written when it
// cannot be made). outputFailed, when given, is set when the failure was the writing of the
// output.
bool WriteGameFile(const std::string& runtimeExe, const std::string& imageFile, const std::vector<MediaFile>& media,
                   const std::string& output, std::string* error,
                   const std::function<bool(const std::string&)>& adding = {}, bool* outputFailed = nullptr);
