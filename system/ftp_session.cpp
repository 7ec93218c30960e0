#include "system/ftp_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/pack.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "system/files.h"

FtpState g_ftp;

namespace {

FtpClient& Client() {
  if (!g_ftp.client) g_ftp.client = std::make_unique<FtpClient>();
  return *g_ftp.client;
}

void Decode(const FtpEntry& e) {
  g_ftp.findType = e.folder ? 1 : 0;
  g_ftp.findName = e.name.substr(0, 255);
  g_ftp.findSize = e.size > 0xFFFFFFFFu ? 0 : uint32_t(e.size);
}

// The cause of a failure on the server's side: its refusal, when it sent one, else fallback.
std::string ServerCause(const char* fallback) {
  const std::string reply = g_ftp.client ? g_ftp.client->LastResponse() : std::string();
  return !reply.empty() && (reply[0] == '4' || reply[0] == '5') ? reply.substr(0, reply.find('\r')) : fallback;
}

// The file and the cause a failure's warning names.
void NoteCause(const std::string& file, const std::string& cause) {
  g_ftp.failedFile = file;
  g_ftp.cause = cause;
}

void CloseFind() {
  g_ftp.findOpen = false;
  g_ftp.findEntries.clear();
  g_ftp.findIndex = 0;
}

bool WriteAll(int fd, const std::string& data) {
  for (size_t done = 0; done < data.size();) {
    ssize_t w = write(fd, data.data() + done, data.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += size_t(w);
  }
  return true;
}

// Closes the local file, kept under its name or deleted; false when a kept file could not be.
bool CloseLocal(bool keep) {
  if (g_ftp.localFd < 0) return !keep;
  const bool closed = close(g_ftp.localFd) == 0;
  g_ftp.localFd = -1;
  bool kept = false;
  if (keep && closed) kept = FsCommitTemp(g_ftp.localTemp, g_ftp.localName);
  else unlink(g_ftp.localTemp.c_str());
  g_ftp.localTemp.clear();
  g_ftp.localName.clear();
  return kept == keep;
}

void CloseRemote() {
  if (g_ftp.client) g_ftp.client->CloseRead();
  g_ftp.progress = -1;
  g_ftp.inSteps = 0;
}

}  // namespace

void FtpResetState() {
  CloseFind();
  if (g_ftp.client) g_ftp.client->CloseRead();
  if (g_ftp.localFd >= 0) CloseLocal(false);
  g_ftp.findName.clear();
  g_ftp.localName.clear();
  g_ftp.findType = -1;
  g_ftp.findSize = 0;
  g_ftp.progress = g_ftp.lastProgress = -1;
  g_ftp.lastData = std::chrono::steady_clock::now();
  g_ftp.transferred = 0;
  g_ftp.total = 0;
  g_ftp.inSteps = 0;
  g_ftp.connected = 0;
  g_ftp.failed = 0;
  g_ftp.response.clear();
  g_ftp.failedFile.clear();
  g_ftp.cause.clear();
}

void FtpRecordFailure() {
  if (g_ftp.failed) return;
  g_ftp.response = g_ftp.client ? g_ftp.client->LastResponse() : std::string();
  g_ftp.failed = 1;
}

void FtpRecordLocalFailure(const std::string& file, const std::string& cause) {
  if (!g_ftp.failed) g_ftp.response.clear();
  g_ftp.failed = 1;
  g_ftp.failedFile = file;
  g_ftp.cause = cause;
}

void FtpCheckConnection() {
  if (!g_ftp.connected || !Client().CheckFolder()) FtpDisconnect(0);
}

bool FtpConnect(const std::string& server, const std::string& user, const std::string& password) {
  g_ftp.server = server.substr(0, 255);
  g_ftp.user = user.substr(0, 255);
  g_ftp.password = password.substr(0, 255);
  // A second connect is refused, not recorded as a failure.
  if (g_ftp.connected) {
    NoteCause(server, "already connected");
    return false;
  }
  if (!Client().Connect(server, user, password)) {
    FtpRecordFailure();
    NoteCause(server, ServerCause("the server cannot be reached"));
    return false;
  }
  g_ftp.connected = 1;
  return true;
}

bool FtpReconnect() { return FtpConnect(g_ftp.server, g_ftp.user, g_ftp.password); }

bool FtpSetDirectory(const std::string& path) {
  if (!g_ftp.connected) {
    FtpRecordLocalFailure(path, "not connected");
    return false;
  }
  if (Client().ChangeFolder(path)) return true;
  FtpRecordFailure();
  NoteCause(path, ServerCause("the server did not answer"));
  FtpCheckConnection();
  return false;
}

bool FtpFindFirst() {
  CloseFind();
  std::vector<FtpEntry> entries;
  if (!g_ftp.connected || !Client().List(entries)) {
    FtpRecordFailure();
    FtpCheckConnection();
    return false;
  }
  if (entries.empty()) {
    g_ftp.findType = -1;
    return false;
  }
  g_ftp.findOpen = true;
  g_ftp.findEntries = std::move(entries);
  g_ftp.findIndex = 0;
  Decode(g_ftp.findEntries[0]);
  return true;
}

bool FtpFindNext() {
  if (!g_ftp.findOpen) return false;
  if (g_ftp.findIndex + 1 < g_ftp.findEntries.size()) {
    Decode(g_ftp.findEntries[++g_ftp.findIndex]);
    return true;
  }
  CloseFind();
  g_ftp.findType = -1;
  FtpCheckConnection();
  return false;
}

namespace {

// A failure of the server's side of a get: its refusal, when it sent one, is the cause.
bool RemoteGetFailed(const std::string& remote) {
  FtpRecordFailure();
  NoteCause(remote, ServerCause("the server did not send it"));
  return false;
}

bool LocalGetFailed(const std::string& local, const std::string& cause) {
  FtpRecordLocalFailure(local, cause);
  return false;
}

// A download that did not reach the local file: a write lost, which a built game says.
bool LocalWriteLost(const std::string& local, const std::string& cause) {
  SayLost("write " + local, cause);
  return LocalGetFailed(local, cause);
}

// Why a get may not write the local name, before anything is transferred ("" when it may).
std::string LocalTargetRefusal(const std::string& local) {
  const std::string path = FsResolveForWrite(local);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "";
  if (S_ISDIR(st.st_mode)) return "is a folder";
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  return FsHostFileReadOnly(path) ? "it is read-only" : "";
}

}  // namespace

bool FtpGetFile(const std::string& remote, const std::string& local, int32_t total, bool inSteps) {
  if (!g_ftp.connected) return LocalGetFailed(remote, "not connected");
  if (local.empty()) return LocalGetFailed(local, "no name given");
  MakePackedFoldersFor(local);
  if (const std::string refusal = LocalTargetRefusal(local); !refusal.empty()) return LocalWriteLost(local, refusal);
  FtpClient& c = Client();
  if (!inSteps) {
    std::string temp;
    int fd = FsCreateTempBeside(local, temp);
    if (fd < 0) return LocalWriteLost(local, FsWriteCause(errno));
    const bool got = c.Get(remote, fd);
    const int writeError = c.LocalError();
    const int closeError = close(fd) == 0 ? 0 : errno;
    if (got && !closeError && FsCommitTemp(temp, local)) return true;
    const int commitError = errno;
    unlink(temp.c_str());
    if (writeError || (got && closeError)) return LocalWriteLost(local, FileErrorCause(writeError ? writeError : closeError));
    return got ? LocalWriteLost(local, FsWriteCause(commitError)) : RemoteGetFailed(remote);
  }
  // One stepped download at a time: a second one is refused while the first runs.
  if (!c.OpenRead(remote)) {
    RemoteGetFailed(remote);
    FtpCheckConnection();
    return false;
  }
  g_ftp.localFd = FsCreateTempBeside(local, g_ftp.localTemp);
  if (g_ftp.localFd < 0) {
    const int error = errno;
    c.CloseRead();
    return LocalWriteLost(local, FsWriteCause(error));
  }
  g_ftp.localName = local.substr(0, 255);
  g_ftp.inSteps = 1;
  g_ftp.progress = g_ftp.lastProgress = 0;
  g_ftp.lastData = std::chrono::steady_clock::now();
  g_ftp.transferred = 0;
  g_ftp.total = total;
  return true;
}

void FtpContinueTransfer(size_t chunk) {
  if (!g_ftp.client || !g_ftp.client->Reading()) return;
  std::string data;
  switch (g_ftp.client->ReadSome(data, chunk ? chunk : kFtpDefaultChunk, kFtpStepWaitMs)) {
    case FtpClient::Step::kFailed:
      FtpRecordFailure();
      FtpAbortTransfer();
      FtpCheckConnection();
      return;
    case FtpClient::Step::kDone: {
      const std::string local = g_ftp.localName;
      CloseRemote();
      if (!CloseLocal(true)) LocalWriteLost(local, FsWriteCause(errno));
      return;
    }
    case FtpClient::Step::kData:
      if (!WriteAll(g_ftp.localFd, data)) {
        // A full disk is a failed download, not a finished one.
        LocalWriteLost(g_ftp.localName, FileErrorCause(errno));
        FtpAbortTransfer();
        return;
      }
      g_ftp.transferred += int64_t(data.size());
      g_ftp.lastData = std::chrono::steady_clock::now();
      break;
    case FtpClient::Step::kWaiting:
      break;
  }
  if (g_ftp.total >= 1) {
    const double percent = 100.0 * double(g_ftp.transferred) / double(g_ftp.total);
    g_ftp.progress = percent >= 100.0 ? 100 : int32_t(percent);
  } else {
    g_ftp.progress = 1;
  }
  g_ftp.lastProgress = g_ftp.progress;
  if (std::chrono::steady_clock::now() - g_ftp.lastData > std::chrono::milliseconds(kFtpStallMs)) {
    FtpAbortTransfer();
    FtpCheckConnection();
  }
}

void FtpAbortTransfer() {
  CloseLocal(false);
  if (g_ftp.client && g_ftp.client->Reading()) CloseRemote();
}

bool FtpPutFile(const std::string& name) {
  if (name.empty()) {
    FtpRecordLocalFailure(name, "no name given");
    return false;
  }
  const int fd = open(FsResolve(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  std::string local = fd < 0 ? FileErrorCause(errno) : "";
  if (local.empty() && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) local = "not a regular file";
  if (local.empty() && !g_ftp.connected) local = "not connected";
  if (!local.empty()) {
    if (fd >= 0) close(fd);
    FtpRecordLocalFailure(name, local);
    return false;
  }
  // The file keeps its own name in the current remote folder.
  const size_t slash = name.find_last_of("\\/:");
  const bool ok = Client().Put(fd, uint64_t(st.st_size), slash == std::string::npos ? name : name.substr(slash + 1));
  close(fd);
  if (!ok) {
    FtpRecordFailure();
    NoteCause(name, ServerCause("the server did not take it"));
  }
  return ok;
}

// A failed delete is not recorded as a failure; its warning names the cause.
bool FtpDeleteFile(const std::string& name) {
  if (!g_ftp.connected) NoteCause(name, "not connected");
  else if (Client().Delete(name)) return true;
  else NoteCause(name, ServerCause("the server did not delete it"));
  return false;
}

void FtpDisconnect(int32_t) {
  FtpAbortTransfer();
  if (g_ftp.client) g_ftp.client->Disconnect();
  FtpResetState();
}

void FtpShutdown() {
  FtpDisconnect(0);
  g_ftp.client.reset();
}
