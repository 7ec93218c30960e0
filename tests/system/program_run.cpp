#include "tests/system/program_run.h"

#include <filesystem>

#include "compiler/compiler.h"
#include "runtime/startup.h"
#include "tests/support/temp_dir.h"

SourceRun RunSource(const std::string& source, int64_t frames, bool windowed, const std::function<void()>& afterRun,
                    bool standalone) {
  SourceRun result;
  TempDir dir;
  Compiler compiler;
  compiler.ResetCompiler();
  if (!compiler.LoadKeywordTable() || !compiler.CompileText(source, dir.File("program.img"))) {
    result.status = 2;
    result.compileError = compiler.ErrorMessage() + " (line " + std::to_string(compiler.ErrorLine()) + ")";
    return result;
  }
  compiler.FreeCompilerBuffers();
  RunOptions o;
  o.headless = !windowed;
  o.windowMode = windowed;
  o.virtualClock = true;
  o.frames = frames;
  o.standalone = standalone;
  o.transcriptFile = dir.File("transcript.txt");
  g_afterRunHook = afterRun;
  // The program's own folder changes stay inside this run.
  const std::filesystem::path folder = std::filesystem::current_path();
  result.status = RunImageFile(dir.File("program.img"), o);
  std::filesystem::current_path(folder);
  g_afterRunHook = nullptr;
  result.transcript = dir.Read("transcript.txt");
  return result;
}
