#include "platform/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/stop_request.h"

extern char** environ;

namespace {

std::vector<pid_t> g_running;
int g_openerError = 0;  // why the opener of the last ProcessStart's document did not start

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

pid_t Spawn(const std::string& program, bool searchPath, const std::vector<std::string>& args,
            const std::string& folder) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  // The child gets the standard streams only: no file, socket or pipe of this run (a library's
  // too, whether or not it asked for close-on-exec).
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  // The child starts with default signal handling and nothing blocked.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  int rc = searchPath ? posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ)
                      : posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) errno = rc;
  return rc == 0 ? pid : -1;
}

void ReapFinished() {
  std::erase_if(g_running, [](pid_t pid) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    return r == pid || (r < 0 && errno == ECHILD);
  });
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& parameters) {
  std::vector<std::string> out;
  std::string cur;
  bool inWord = false, quoted = false;
  for (char c : parameters) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inWord) out.push_back(cur);
      cur.clear();
      inWord = false;
    } else {
      cur += c;
      inWord = true;
    }
  }
  if (inWord) out.push_back(cur);
  return out;
}

int ProcessOpenerError() { return g_openerError; }

int ProcessStart(const std::string& file, const std::string& parameters, const std::string& folder) {
  ReapFinished();
  g_openerError = 0;
  errno = ENOENT;
  if (file.empty()) return -1;
  std::string workFolder;
  if (!folder.empty()) {
    workFolder = FsResolve(folder);
    if (!FsFolderExists(workFolder)) {
      errno = ENOENT;
      return -1;
    }
  }
  // The parameters are the program's text; the started program takes UTF-8 (names it makes
  // are spelled on disk as the program's own are).
  std::vector<std::string> args = SplitCommandLine(CodePageToUtf8(TextCodePage(), parameters));
  const bool hasFolderPart = file.find_first_of("/\\:") != std::string::npos;
  std::string path = FsResolve(file);
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && (hasFolderPart || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
    if (IsExecutableFile(path)) {
      if (path.find('/') == std::string::npos) path = "./" + path;
      args.insert(args.begin(), path);
      return Spawn(path, false, args, workFolder);
    }
    // A document or a folder: the desktop's opener shows it.
    const pid_t pid = Spawn(kDocumentOpener, true, {kDocumentOpener, path}, workFolder);
    if (pid < 0) g_openerError = errno;
    return pid;
  }
  if (hasFolderPart) {
    errno = ENOENT;
    return -1;
  }
  const std::string command = CodePageToUtf8(TextCodePage(), file);
  args.insert(args.begin(), command);
  return Spawn(command, true, args, workFolder);
}

bool ProcessRunning(int pid) {
  if (pid <= 0) return false;
  int status = 0;
  pid_t r = waitpid(pid, &status, WNOHANG);
  if (r == 0) return true;
  std::erase(g_running, pid);
  return false;
}

int ProcessStartWithArguments(const std::string& file, const std::vector<std::string>& arguments) {
  ReapFinished();
  if (file.empty()) return -1;
  std::vector<std::string> args = arguments;
  if (file.find_first_of("/\\:") != std::string::npos) {
    const std::string path = FsResolve(file);
    if (!IsExecutableFile(path)) return -1;
    args.insert(args.begin(), path);
    return Spawn(path, false, args, "");
  }
  args.insert(args.begin(), file);
  return Spawn(file, true, args, "");
}

bool ProgramFound(const std::string& file) {
  if (file.empty()) return false;
  if (file.find_first_of("/\\:") != std::string::npos) return IsExecutableFile(FsResolve(file));
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "";
  for (size_t from = 0; from <= list.size();) {
    size_t end = list.find(':', from);
    if (end == std::string::npos) end = list.size();
    const std::string folder = end > from ? list.substr(from, end - from) : ".";
    if (IsExecutableFile(folder + "/" + file)) return true;
    from = end + 1;
  }
  return false;
}

void ProcessWait(int pid) {
  // Polled, so a stop signal is seen whichever thread it reached; the program is then left
  // running, as a detached one is.
  for (int status = 0; pid > 0;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) return;
    if (StopSignalReceived()) return ProcessDetach(pid);
    usleep(5000);
  }
}

void ProcessDetach(int pid) {
  if (pid > 0) g_running.push_back(pid);
  ReapFinished();
}
