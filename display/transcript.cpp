// --transcript: the text of every text drawing operation as it is drawn.
#include <cstdio>

#include "core/run_state.h"
#include "display/display.h"
#include "platform/fs.h"

namespace {
FILE* g_file = nullptr;
bool g_failed = false;
}  // namespace

void TranscriptWrite(const char* text, size_t length, bool newLine) {
  const std::string& name = g_runtime.options.transcriptFile;
  if (name.empty() || g_failed) return;
  if (!g_file) {
    g_file = name == "-" ? stdout : std::fopen(FsResolveForWrite(name).c_str(), "wb");
    if (!g_file) {
      std::fprintf(stderr, "vellumark: cannot write %s\n", name.c_str());
      g_failed = true;
      return;
    }
  }
  std::fwrite(text, 1, length, g_file);
  if (newLine) std::fputc('\n', g_file);
  std::fflush(g_file);
}

void TranscriptClose() {
  if (g_file && g_file != stdout) std::fclose(g_file);
  g_file = nullptr;
  g_failed = false;
}
