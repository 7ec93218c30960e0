#include "tests/support/ftp_server.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

extern char** environ;

namespace {

const char* kScript = R"(import logging, os, sys, time
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import ThreadedFTPServer

class DrippingFile:
    def __init__(self, f):
        self.f = f
    def read(self, n):
        time.sleep(0.1)
        return b"d"
    def __getattr__(self, name):
        return getattr(self.f, name)

class StallingFile:
    def __init__(self, f):
        self.f, self.sent = f, 0
    def read(self, n):
        if self.sent >= 65536:
            time.sleep(60)
            return b""
        data = self.f.read(min(n, 65536 - self.sent))
        self.sent += len(data)
        return data
    def __getattr__(self, name):
        return getattr(self.f, name)

class TestFS(AbstractedFS):
    def open(self, filename, mode):
        f = AbstractedFS.open(self, filename, mode)
        if "r" in mode and os.path.basename(filename) == "stall.bin":
            return StallingFile(f)
        if "r" in mode and os.path.basename(filename) == "drip.bin":
            return DrippingFile(f)
        return f
    def format_list(self, basedir, listing, ignore_err=True):
        if os.path.basename(basedir.rstrip("/")) != "endless":
            yield from AbstractedFS.format_list(self, basedir, listing, ignore_err)
            return
        line = "-rw-r--r--   1 owner group        1 Jan 01 12:00 %08d\r\n"
        n = 0
        while True:
            yield "".join(line % (n + k) for k in range(1000)).encode()
            n += 1000

logging.basicConfig(level=logging.ERROR)
auth = DummyAuthorizer()
auth.add_user("user", "pass", sys.argv[1], perm="elradfmwMT")
auth.add_anonymous(sys.argv[1])
handler = FTPHandler
handler.authorizer = auth
handler.abstracted_fs = TestFS
handler.use_sendfile = False
handler.auth_failed_timeout = float(sys.argv[2])
handler.passive_ports = None
server = ThreadedFTPServer(("127.0.0.1", 0), handler)
print(server.socket.getsockname()[1], flush=True)
server.serve_forever()
)";

}  // namespace

FtpTestServer::FtpTestServer(const std::string& root, double refusalDelay) {
  char tmpl[] = "/tmp/vk-ftpd-XXXXXX.py";
  int fd = mkstemps(tmpl, 3);
  if (fd < 0) return;
  script_ = tmpl;
  if (write(fd, kScript, std::char_traits<char>::length(kScript)) < 0) {
    close(fd);
    return;
  }
  close(fd);
  int out[2];
  if (pipe(out) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> args = {"/usr/bin/python3", script_, root, std::to_string(refusalDelay)};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  // The server prints its port once it listens.
  std::string line;
  auto start = std::chrono::steady_clock::now();
  while (pid_ > 0 && line.find('\n') == std::string::npos &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[64];
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, size_t(n));
  }
  close(out[0]);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) Stop();
}

FtpTestServer::~FtpTestServer() { Stop(); }

void FtpTestServer::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  port_ = 0;
  if (!script_.empty()) unlink(script_.c_str());
  script_.clear();
}
