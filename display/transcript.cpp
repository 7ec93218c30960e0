// --transcript: the text of every text drawing operation as it is drawn, in UTF-8.
#include <cstdio>

#include "core/run_state.h"
#include "display/display.h"
#include "platform/codepage.h"
#include "platform/fs.h"

namespace {
// The open transcript. A session's stays open across its runs, so it holds the text of them
// all; a run's own is closed at the run's end.
struct Transcript {
  FILE* file = nullptr;
  std::string name;
  bool wholeSession = false;
  bool failed = false;  // name cannot be written: said once, not tried again
};
Transcript g_transcript;

// Opens name for writing from its start, unless it is the one open already.
bool OpenTranscript(const std::string& name) {
  Transcript& t = g_transcript;
  if (t.name == name && (t.file || t.failed)) return t.file != nullptr;
  TranscriptClose();
  t.name = name;
  t.file = name == "-" ? stdout : std::fopen(FsResolveForWrite(name).c_str(), "wb");
  if (!t.file) {
    std::fprintf(stderr, "vellumark: cannot write %s\n", name.c_str());
    t.failed = true;
  }
  return t.file != nullptr;
}
}  // namespace

void TranscriptStart(const std::string& name, bool wholeSession) {
  if (name.empty()) return;
  // The file is there from the start, empty when nothing is drawn: a run without text is told
  // from a run that failed.
  OpenTranscript(name);
  // Kept for the session also when it cannot be written, so that is said once.
  if (wholeSession) g_transcript.wholeSession = true;
}

void TranscriptWrite(const char* text, size_t length, bool newLine) {
  const std::string& name = g_runtime.options.transcriptFile;
  if (name.empty() || !OpenTranscript(name)) return;
  // The language's texts are 8-bit code-page bytes; the transcript is UTF-8.
  const std::string utf8 = Cp1252ToUtf8(std::string(text, length));
  std::fwrite(utf8.data(), 1, utf8.size(), g_transcript.file);
  if (newLine) std::fputc('\n', g_transcript.file);
  std::fflush(g_transcript.file);
}

void TranscriptEndRun() {
  if (!g_transcript.wholeSession) TranscriptClose();
}

void TranscriptClose() {
  if (g_transcript.file && g_transcript.file != stdout) std::fclose(g_transcript.file);
  g_transcript = Transcript{};
}
