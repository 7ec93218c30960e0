#pragma once
#include <cstdint>
#include <functional>
#include <string>

// A program compiled from source in this process and run by the exec path on the virtual
// clock: headless, or in a window of the video driver the tests use. afterRun runs when the
// run loop ends, before anything is released.
struct SourceRun {
  int status = -1;  // exit status of the run (2: the source did not compile)
  std::string compileError;
  std::string transcript;
};
SourceRun RunSource(const std::string& source, int64_t frames, bool windowed = false,
                    const std::function<void()>& afterRun = nullptr, bool standalone = false);
