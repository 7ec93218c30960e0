// --transcript: the text of every text drawing operation as it is drawn, in UTF-8.
#include <cstdio>

#include "core/run_state.h"
#include "display/display.h"
#include "platform/codepage.h"
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
  // The language's texts are 8-bit code-page bytes; the transcript is UTF-8.
  const std::string utf8 = Cp1252ToUtf8(std::string(text, length));
  std::fwrite(utf8.data(), 1, utf8.size(), g_file);
  if (newLine) std::fputc('\n', g_file);
  std::fflush(g_file);
}

void TranscriptClose() {
  if (g_file && g_file != stdout) std::fclose(g_file);
  g_file = nullptr;
  g_failed = false;
}
