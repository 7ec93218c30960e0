#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Runs a program with arguments, without a shell; returns its exit status (-1 when it could
// not run or died of a signal) and what it wrote to stderr.
struct ProcessResult {
  int status = -1;
  std::string err;
};
// env: extra environment variables for the child ("NAME=value").
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir = "", const std::vector<std::string>& env = {});
// Starts a program in the background with no display to reach, so that a run is headless
// whatever it asks for; its stdout goes to a pipe whose read end is put in stdoutFd (when
// given; /dev/null otherwise). It starts with every signal at its default action and none
// blocked. Returns the process id (-1 on failure).
int StartHeadless(const std::string& program, const std::vector<std::string>& args, const std::string& workingDir,
                  int* stdoutFd = nullptr);
// Sets every ignored signal back to its default disposition (an exec keeps an ignored one) and
// unblocks all: what a test starts then behaves as from a shell, however the suite was started
// (under nohup, in the background, by a runner that ignores SIGPIPE or blocks signals).
// Handlers in place (a sanitizer's) are kept; an exec ends them anyway.
void DefaultSignals();
// Puts every signal, handlers too, at its default action and unblocks all (in a child, so the signals a test
// sends act whatever the test's own parent ignores or blocks).
void UseDefaultSignals();
// The vellumark executable of this build.
std::string VellumarkExe();
// A copy of it that any user can run, for a test that starts it as another user, who may not
// reach the build folder (one made under umask 077): in a folder of /tmp others may pass through,
// made once a process and removed at its end. "" where it cannot be made. Ask for it before a
// fork: a child ends without removing what it made.
std::string VellumarkExeForAnyUser();
// Runs body in a forked child whose files may not grow past limitBytes (a full disk, as the
// writer meets it: SIGXFSZ ignored, so writes fail with EFBIG); returns body's result as the
// child's exit status, or -1 when the child died.
int RunWithFileSizeLimit(size_t limitBytes, const std::function<int()>& body);
