#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

void DefaultSignals() {
  for (int s = 1; s < NSIG; ++s) {
    struct sigaction now {};
    if (sigaction(s, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) signal(s, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir, const std::vector<std::string>& env) {
  ProcessResult result;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return result;
  pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    dup2(pipeFds[1], 2);
    close(pipeFds[0]);
    close(pipeFds[1]);
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    DefaultSignals();
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    if (!workingDir.empty() && chdir(workingDir.c_str()) != 0) _exit(127);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  char buf[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) result.err.append(buf, size_t(n));
  close(pipeFds[0]);
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

int StartHeadless(const std::string& program, const std::vector<std::string>& args, const std::string& workingDir,
                  int* stdoutFd) {
  int out[2] = {-1, -1};
  if (stdoutFd && pipe(out) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    const int target = stdoutFd ? out[1] : open("/dev/null", O_WRONLY);
    if (target < 0 || dup2(target, 1) < 0) _exit(127);
    if (stdoutFd) close(out[0]);
    close(target);
    UseDefaultSignals();
    for (const char* name : {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    // The video driver's libraries keep some memory until exit: the leak check is for our code.
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    if (chdir(workingDir.c_str()) != 0) _exit(127);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (stdoutFd) {
    close(out[1]);
    if (pid < 0) close(out[0]);
    else *stdoutFd = out[0];
  }
  return pid;
}

void UseDefaultSignals() {
  for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
  DefaultSignals();
}

std::string VellumarkExe() { return std::string(VK_BINARY_DIR) + "/vellumark"; }

std::string VellumarkExeForAnyUser() {
  static const struct Copy {
    std::string folder, exe;
    pid_t maker = getpid();
    Copy() {
      std::string made = "/tmp/vkexe-XXXXXX";
      if (!mkdtemp(made.data())) return;
      folder = made;
      const std::string copy = folder + "/vellumark";
      std::error_code ec;
      if (chmod(folder.c_str(), 0711) == 0 && std::filesystem::copy_file(VellumarkExe(), copy, ec) &&
          chmod(copy.c_str(), 0755) == 0)
        exe = copy;
    }
    ~Copy() {
      std::error_code ec;
      if (!folder.empty() && getpid() == maker) std::filesystem::remove_all(folder, ec);
    }
  } copy;
  return copy.exe;
}

int RunWithFileSizeLimit(size_t limitBytes, const std::function<int()>& body) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{limitBytes, limitBytes};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    _exit(body());
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
