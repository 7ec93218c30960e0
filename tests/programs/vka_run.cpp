#include "tests/programs/vka_run.h"

#include <gtest/gtest.h>

#include <vector>

#include "display/bitmaps.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

VkaRun RunVka(const std::string& program, int64_t frames, const std::string& input, bool builtGame) {
  std::string path = program.find('/') == std::string::npos ? std::string(VK_SOURCE_DIR) + "/tests/programs/" + program
                                                            : program;
  TempDir dir;
  dir.Write("input.txt", input);
  std::vector<std::string> args = {"run", path};
  VkaRun r;
  if (builtGame) {
    ProcessResult c = RunProcess(VellumarkExe(), {"compile", path, "-o", dir.File("program.img")}, dir.path());
    if (c.status != 0) {
      r.err = c.err;
      r.status = c.status;
      return r;
    }
    args = {"exec", dir.File("program.img"), "--standalone"};
  }
  const std::vector<std::string> options = {"--headless",   "--clock",           "virtual",
                                            "--frames",     std::to_string(frames), "--input",
                                            dir.File("input.txt"), "--transcript", dir.File("transcript.txt"),
                                            "--grab",       dir.File("grab.png")};
  args.insert(args.end(), options.begin(), options.end());
  ProcessResult p = RunProcess(VellumarkExe(), args, dir.path());
  r.status = p.status;
  r.err = p.err;
  r.transcript = dir.Read("transcript.txt");
  r.grab = LoadImageByExtension(dir.File("grab.png"), 32);
  return r;
}

VkaRun RunVkaSource(const std::string& source, int64_t frames, const std::string& input, bool builtGame) {
  TempDir dir;
  dir.Write("program.vka", source);
  return RunVka(dir.File("program.vka"), frames, input, builtGame);
}
