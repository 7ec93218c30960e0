// --transcript: the text of every text drawing operation as it is drawn, in UTF-8.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/run_state.h"
#include "display/display.h"
#include "platform/codepage.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/fs_walk.h"
#include "platform/host_files.h"
#include "platform/stop_request.h"

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
bool g_runOutputFailed = false;

// A transcript that lost text: said once, and written no further. One that took text before
// (its reader gone, the disk full) ends the run.
void TranscriptFailed(int error, bool writing = false) {
  Transcript& t = g_transcript;
  SayRunOutputFailed(t.name, error);
  if (writing || error == EPIPE) EventsOutputReaderGone();
  if (t.file && t.file != stdout) std::fclose(t.file);
  t.file = nullptr;
  t.failed = true;
}

// A write a stop interrupted, or one a stopping run would wait for (a FIFO whose reader takes
// nothing): the run stops as usual, and the rest of the text is not waited for.
void TranscriptStopped() {
  Transcript& t = g_transcript;
  if (t.file && t.file != stdout) {
    fcntl(fileno(t.file), F_SETFL, fcntl(fileno(t.file), F_GETFL) | O_NONBLOCK);
    std::fclose(t.file);
  }
  t.file = nullptr;
  t.failed = true;
}

// Opens name for writing from its start, unless it is the one open already. A descriptor's name
// is written through a copy of the descriptor, at its place, as "-" is: never cut.
bool OpenTranscript(const std::string& name) {
  Transcript& t = g_transcript;
  if (t.name == name && (t.file || t.failed)) return t.file != nullptr;
  TranscriptClose();
  t.name = name;
  const int given = FsDescriptorOfName(name);
  if (name == "-") {
    t.file = stdout;
  } else if (given < 0) {
    // Links are followed as a save follows them (never another user's in a folder others can
    // write); the file found is opened in the folder judged, never through a link put there since.
    FsWriteFolder at;
    const int fd = !FsWalkForWrite(name, true, at)
                       ? -1
                       : openat(at.fd, at.leaf.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                                0666);
    if (fd >= 0 && !(t.file = fdopen(fd, "wb"))) {
      const int error = errno;
      close(fd);
      errno = error;
    }
  } else if (const int copy = fcntl(given, F_DUPFD_CLOEXEC, 3); copy >= 0 && !(t.file = fdopen(copy, "wb"))) {
    const int error = errno;
    close(copy);
    errno = error;
  }
  // A FIFO waits for its reader; a stop signal ends the wait, and the run stops as usual.
  if (!t.file && errno == EINTR) t.failed = true;
  else if (!t.file) TranscriptFailed(errno);
  return t.file != nullptr;
}
}  // namespace

void SayRunOutputFailed(const std::string& file, int error) {
  const std::string name = file == "-" ? "the standard output" : file;
  std::fprintf(stderr, "vellumark: cannot write %s: %s\n", name.c_str(), FileErrorCause(error).c_str());
  g_runOutputFailed = true;
}

bool RunOutputFailed() { return g_runOutputFailed; }

void ClearRunOutputFailure() { g_runOutputFailed = false; }

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
  FILE* f = g_transcript.file;
  const bool stopping = StopSignalReceived();
  if (stopping && f != stdout) fcntl(fileno(f), F_SETFL, fcntl(fileno(f), F_GETFL) | O_NONBLOCK);
  if (std::fwrite(utf8.data(), 1, utf8.size(), f) != utf8.size() || (newLine && std::fputc('\n', f) == EOF) ||
      std::fflush(f) != 0) {
    const int error = errno;
    if ((error == EINTR || error == EAGAIN) && (stopping || StopSignalReceived())) TranscriptStopped();
    else TranscriptFailed(error, true);
  }
}

void TranscriptEndRun() {
  if (!g_transcript.wholeSession) TranscriptClose();
}

void TranscriptClose() {
  FILE* f = g_transcript.file;
  if (f && (f == stdout ? std::fflush(f) : std::fclose(f)) != 0) SayRunOutputFailed(g_transcript.name, errno);
  g_transcript = Transcript{};
}
