#include "platform/ftp.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/events.h"
#include "platform/libs/curl_api.h"

namespace {

constexpr size_t kMaxPending = 256 * 1024;
constexpr long kBufferBytes = 256 * 1024;

CURLM* Multi(void* p) { return static_cast<CURLM*>(p); }
CURL* Easy(void* p) { return static_cast<CURL*>(p); }

// Every socket of a connection (control and data) is closed when a program is started.
curl_socket_t OpenSocket(void*, curlsocktype, curl_sockaddr* address) {
  const int fd = socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  return fd < 0 ? CURL_SOCKET_BAD : fd;
}

// The open descriptors of this process (not the one listing them).
std::vector<int> OpenDescriptors() {
  std::vector<int> fds;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (const dirent* e = readdir(d))
      if (e->d_name[0] >= '0' && e->d_name[0] <= '9' && std::atoi(e->d_name) != dirfd(d)) fds.push_back(std::atoi(e->d_name));
    closedir(d);
  }
  return fds;
}

// libcurl makes a multi handle's wake-up socket pair without close-on-exec: what the call
// opened is given it.
void* NewMultiHandle() {
  const std::vector<int> before = OpenDescriptors();
  void* multi = g_curl.curl_multi_init();
  for (int fd : OpenDescriptors())
    if (std::find(before.begin(), before.end(), fd) == before.end()) {
      const int flags = fcntl(fd, F_GETFD);
      if (flags >= 0) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
  return multi;
}

size_t HeaderCallback(char* data, size_t size, size_t count, void* client) {
  static_cast<FtpClient*>(client)->OnHeader(data, size * count);
  return size * count;
}

size_t StepCallback(char* data, size_t size, size_t count, void* client) {
  return static_cast<FtpClient*>(client)->OnStepData(data, size * count);
}

// The local file of a transfer and the errno of its failed write or read (0: none).
struct LocalFile {
  int fd;
  int error = 0;
};

size_t WriteFdCallback(char* data, size_t size, size_t count, void* client) {
  LocalFile& file = *static_cast<LocalFile*>(client);
  size_t n = size * count, done = 0;
  while (done < n) {
    ssize_t w = write(file.fd, data + done, n - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      file.error = w < 0 ? errno : ENOSPC;
      return 0;  // libcurl ends the transfer with a write error
    }
    done += size_t(w);
  }
  return n;
}

size_t ReadFdCallback(char* data, size_t size, size_t count, void* client) {
  LocalFile& file = *static_cast<LocalFile*>(client);
  for (;;) {
    ssize_t r = read(file.fd, data, size * count);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) file.error = errno;
    return r < 0 ? CURL_READFUNC_ABORT : size_t(r);
  }
}

// Gathers a listing; one past the byte bound ends the transfer with a write error.
size_t ListingCallback(char* data, size_t size, size_t count, void* client) {
  std::string& text = *static_cast<std::string*>(client);
  if (size * count > kFtpMaxListingBytes - text.size()) return 0;
  text.append(data, size * count);
  return size * count;
}

std::string Encode(const std::string& part) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : part) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '/' || c == '\\') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

bool HasControl(const std::string& s) {
  for (unsigned char c : s)
    if (c < 32 || c == 127) return true;
  return false;
}

bool ValidHost(const std::string& host) {
  if (host.empty()) return false;
  for (unsigned char c : host)
    if (!std::isalnum(c) && c != '.' && c != '-' && c != '_' && c != ':') return false;
  return true;
}

uint64_t ToSize(const std::string& s) {
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + uint64_t(c - '0');
  }
  return v;
}

}  // namespace

bool ParseFtpListing(const std::string& text, std::vector<FtpEntry>& out) {
  out.clear();
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Fields and where each starts: the name is the rest of the line after its last field.
    std::vector<std::pair<std::string, size_t>> fields;
    for (size_t i = 0; i < line.size() && fields.size() < 9;) {
      while (i < line.size() && line[i] == ' ') ++i;
      size_t start = i;
      while (i < line.size() && line[i] != ' ') ++i;
      if (i > start) fields.push_back({line.substr(start, i - start), start});
    }
    FtpEntry e;
    if (fields.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0]))) {
      // DOS: date, time, "<DIR>" or size, name.
      e.folder = fields[2].first == "<DIR>";
      e.size = e.folder ? 0 : ToSize(fields[2].first);
      e.name = line.substr(fields[3].second);
    } else if (fields.size() == 9 && std::strchr("-dlbcps", line[0])) {
      e.folder = line[0] == 'd';
      e.size = line[0] == '-' ? ToSize(fields[4].first) : 0;
      e.name = line.substr(fields[8].second);
      if (line[0] == 'l') {
        size_t arrow = e.name.find(" -> ");
        if (arrow != std::string::npos) e.name.resize(arrow);
      }
    } else {
      continue;
    }
    if (e.name.empty() || e.name == "." || e.name == "..") continue;
    if (out.size() == kFtpMaxEntries) {
      out.clear();
      return false;
    }
    out.push_back(std::move(e));
  }
  return true;
}

FtpClient::FtpClient() = default;

FtpClient::~FtpClient() {
  Disconnect();
  if (quote_) g_curl.curl_slist_free_all(static_cast<curl_slist*>(quote_));
}

bool FtpClient::Ensure() {
  if (!OpenCurl()) return false;
  if (!multi_) {
    static bool initialised = g_curl.curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!initialised) return false;
    multi_ = NewMultiHandle();
  }
  if (!easy_) easy_ = g_curl.curl_easy_init();
  return multi_ && easy_;
}

void FtpClient::OnHeader(const char* data, size_t size) {
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.size() < 3 || !std::isdigit(static_cast<unsigned char>(line[0])) ||
      !std::isdigit(static_cast<unsigned char>(line[1])) || !std::isdigit(static_cast<unsigned char>(line[2])))
    return;  // libcurl's own header lines, not the server's
  if (!partialResponse_.empty()) partialResponse_ += "\r\n";
  partialResponse_ += line;
  if (line.size() == 3 || line[3] == ' ') {
    lastResponse_ = partialResponse_.substr(0, 255);
    partialResponse_.clear();
  }
}

size_t FtpClient::OnStepData(const char* data, size_t size) {
  if (pending_.size() - pendingStart_ >= kMaxPending) {
    paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  pending_.append(data, size);
  return size;
}

std::string FtpClient::Url(const std::vector<std::string>& path, bool folder) const {
  std::string host = host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_;
  std::string url = "ftp://" + host + ":" + std::to_string(port_) + "/";
  if (absolute_) url += path.empty() && folder ? "%2F/" : "%2F";  // a first part from the root
  for (size_t i = 0; i < path.size(); ++i) {
    url += Encode(path[i]);
    if (folder || i + 1 < path.size()) url += "/";
  }
  return url;
}

// The current folder followed by the parts of a remote name.
std::vector<std::string> FtpClient::RemotePath(const std::string& name) const {
  std::vector<std::string> path = folder_;
  for (std::string& p : SplitPath(name)) path.push_back(std::move(p));
  return path;
}

void FtpClient::Prepare(const std::string& url, bool blocking) {
  CURL* e = Easy(easy_);
  localError_ = 0;
  g_curl.curl_easy_reset(e);
  g_curl.curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  g_curl.curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp");
  g_curl.curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  g_curl.curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
  if (!user_.empty()) {
    g_curl.curl_easy_setopt(e, CURLOPT_USERNAME, user_.c_str());
    g_curl.curl_easy_setopt(e, CURLOPT_PASSWORD, password_.c_str());
  }
  g_curl.curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, HeaderCallback);
  g_curl.curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  g_curl.curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(timeoutMs_));
  g_curl.curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, long((timeoutMs_ + 999) / 1000));
  g_curl.curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kBufferBytes);
  g_curl.curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, kBufferBytes);
  if (blocking) {
    // A blocking transfer that moves nothing for the time-out fails.
    g_curl.curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    g_curl.curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, long((timeoutMs_ + 999) / 1000));
  }
  partialResponse_.clear();
}

bool FtpClient::Perform() {
  CURLM* m = Multi(multi_);
  CURL* e = Easy(easy_);
  if (g_curl.curl_multi_add_handle(m, e) != CURLM_OK) return false;
  CURLcode result = CURLE_OK;
  bool done = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs_);
  while (!done) {
    if (std::chrono::steady_clock::now() >= deadline || StopRequested()) {
      result = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    int running = 0;
    if (g_curl.curl_multi_perform(m, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    int left = 0;
    while (CURLMsg* msg = g_curl.curl_multi_info_read(m, &left)) {
      if (msg->msg == CURLMSG_DONE) {
        result = msg->data.result;
        done = true;
      }
    }
    if (!done && running) g_curl.curl_multi_poll(m, nullptr, 0, 100, nullptr);
    else if (!running) done = true;
  }
  g_curl.curl_multi_remove_handle(m, e);
  return result == CURLE_OK;
}

bool FtpClient::Connect(const std::string& server, const std::string& user, const std::string& password) {
  if (connected_) return false;
  lastResponse_.clear();
  std::string host = server;
  int port = 21;
  size_t colon = server.find(':');
  if (colon != std::string::npos && server.find(':', colon + 1) == std::string::npos) {
    std::string digits = server.substr(colon + 1);
    uint64_t p = ToSize(digits);
    if (digits.empty() || p == 0 || p > 65535) return false;
    host = server.substr(0, colon);
    port = int(p);
  }
  if (!ValidHost(host) || HasControl(user) || HasControl(password) || !Ensure()) return false;
  host_ = host;
  port_ = port;
  user_ = user;
  password_ = password;
  folder_.clear();
  absolute_ = false;
  Prepare(Url({}, true), true);
  g_curl.curl_easy_setopt(Easy(easy_), CURLOPT_NOBODY, 1L);
  const long loginSeconds = long((std::max(timeoutMs_, kFtpLoginAnswerMs) + 999) / 1000);
  g_curl.curl_easy_setopt(Easy(easy_), CURLOPT_SERVER_RESPONSE_TIMEOUT, loginSeconds);
  g_curl.curl_easy_setopt(Easy(easy_), CURLOPT_LOW_SPEED_TIME, loginSeconds);
  g_curl.curl_easy_setopt(Easy(easy_), CURLOPT_CONNECTTIMEOUT, loginSeconds);  // it covers the login too
  connected_ = Perform();
  if (!connected_) {
    Disconnect();
    // The recorded text is the reply that refused; an earlier positive one does not stand for it.
    if (lastResponse_.empty() || (lastResponse_[0] != '4' && lastResponse_[0] != '5')) lastResponse_.clear();
  }
  return connected_;
}

void FtpClient::Disconnect() {
  CloseRead();
  if (easy_) g_curl.curl_easy_cleanup(Easy(easy_));
  if (multi_) g_curl.curl_multi_cleanup(Multi(multi_));  // closes the connection (QUIT)
  easy_ = multi_ = nullptr;
  connected_ = false;
  folder_.clear();
  absolute_ = false;
}

bool FtpClient::ChangeFolder(const std::string& path) {
  if (!connected_ || reading_ || HasControl(path)) return false;
  std::vector<std::string> folder = folder_;
  bool absolute = absolute_;
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) {
    folder.clear();
    absolute = true;
  }
  for (const std::string& p : SplitPath(path)) {
    if (p == ".") continue;
    if (p == ".." && !folder.empty() && folder.back() != "..") folder.pop_back();
    else if (!(p == ".." && absolute)) folder.push_back(p);
  }
  std::swap(folder, folder_);
  std::swap(absolute, absolute_);
  if (CheckFolder()) return true;
  folder_ = std::move(folder);
  absolute_ = absolute;
  return false;
}

bool FtpClient::CheckFolder() {
  if (!connected_) return false;
  if (reading_) return true;  // a download is using the connection, so it lives
  Prepare(Url(folder_, true), true);
  g_curl.curl_easy_setopt(Easy(easy_), CURLOPT_NOBODY, 1L);
  return Perform();
}

bool FtpClient::List(std::vector<FtpEntry>& out) {
  out.clear();
  if (!connected_ || reading_) return false;
  std::string text;
  Prepare(Url(folder_, true), true);
  g_curl.curl_easy_setopt(Easy(easy_), CURLOPT_WRITEFUNCTION, ListingCallback);
  g_curl.curl_easy_setopt(Easy(easy_), CURLOPT_WRITEDATA, &text);
  return Perform() && ParseFtpListing(text, out);
}

bool FtpClient::Get(const std::string& remote, int fd) {
  if (!connected_ || reading_ || HasControl(remote) || SplitPath(remote).empty()) return false;
  Prepare(Url(RemotePath(remote), false), true);
  LocalFile file{fd};
  g_curl.curl_easy_setopt(Easy(easy_), CURLOPT_WRITEFUNCTION, WriteFdCallback);
  g_curl.curl_easy_setopt(Easy(easy_), CURLOPT_WRITEDATA, &file);
  const bool ok = Perform();
  localError_ = file.error;
  return ok;
}

bool FtpClient::Put(int fd, uint64_t size, const std::string& remote) {
  if (!connected_ || reading_ || HasControl(remote) || SplitPath(remote).empty()) return false;
  Prepare(Url(RemotePath(remote), false), true);
  CURL* e = Easy(easy_);
  g_curl.curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
  g_curl.curl_easy_setopt(e, CURLOPT_READFUNCTION, ReadFdCallback);
  LocalFile file{fd};
  g_curl.curl_easy_setopt(e, CURLOPT_READDATA, &file);
  g_curl.curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, curl_off_t(size));
  const bool ok = Perform();
  localError_ = file.error;
  return ok;
}

bool FtpClient::Delete(const std::string& remote) {
  if (!connected_ || reading_ || HasControl(remote)) return false;
  std::vector<std::string> path = RemotePath(remote);
  if (path.size() <= folder_.size()) return false;
  std::string name = path.back();
  path.pop_back();
  g_curl.curl_slist_free_all(static_cast<curl_slist*>(quote_));
  quote_ = g_curl.curl_slist_append(nullptr, ("DELE " + name).c_str());
  Prepare(Url(path, true), true);
  g_curl.curl_easy_setopt(Easy(easy_), CURLOPT_NOBODY, 1L);
  g_curl.curl_easy_setopt(Easy(easy_), CURLOPT_POSTQUOTE, quote_);
  return Perform();
}

bool FtpClient::OpenRead(const std::string& remote) {
  if (!connected_ || reading_ || HasControl(remote) || SplitPath(remote).empty()) return false;
  Prepare(Url(RemotePath(remote), false), false);
  CURL* e = Easy(easy_);
  g_curl.curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, StepCallback);
  g_curl.curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  pending_.clear();
  pendingStart_ = 0;
  readDone_ = readOk_ = paused_ = false;
  if (g_curl.curl_multi_add_handle(Multi(multi_), e) != CURLM_OK) return false;
  reading_ = true;
  // The transfer has begun once data arrives or it ends; a refused file ends it at once.
  std::string none;
  Step s = Step::kWaiting;
  auto start = std::chrono::steady_clock::now();
  while (s == Step::kWaiting && pending_.empty() &&
         std::chrono::steady_clock::now() - start < std::chrono::milliseconds(timeoutMs_) && !StopRequested())
    s = ReadSome(none, 0, 50);
  if (readDone_ && !readOk_) {
    CloseRead();
    return false;
  }
  return true;
}

FtpClient::Step FtpClient::ReadSome(std::string& out, size_t max, int waitMs) {
  out.clear();
  if (!reading_) return Step::kFailed;
  CURLM* m = Multi(multi_);
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (paused_ && pending_.size() - pendingStart_ < kMaxPending / 2) {
      paused_ = false;
      g_curl.curl_easy_pause(Easy(easy_), CURLPAUSE_CONT);
    }
    if (!readDone_) {
      int running = 0;
      g_curl.curl_multi_perform(m, &running);
      int left = 0;
      while (CURLMsg* msg = g_curl.curl_multi_info_read(m, &left)) {
        if (msg->msg == CURLMSG_DONE) {
          readDone_ = true;
          readOk_ = msg->data.result == CURLE_OK;
        }
      }
    }
    const size_t available = pending_.size() - pendingStart_;
    const int waited = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start).count());
    if (readDone_ || available >= std::max<size_t>(max, 1) || waited >= waitMs || paused_) break;
    g_curl.curl_multi_poll(m, nullptr, 0, waitMs - waited, nullptr);
  }
  const size_t take = std::min(max, pending_.size() - pendingStart_);
  out.assign(pending_, pendingStart_, take);
  pendingStart_ += take;
  if (pendingStart_ > kMaxPending && pendingStart_ * 2 > pending_.size()) {
    pending_.erase(0, pendingStart_);
    pendingStart_ = 0;
  }
  if (take > 0) return Step::kData;
  if (readDone_) return readOk_ ? Step::kDone : Step::kFailed;
  return Step::kWaiting;
}

void FtpClient::CloseRead() {
  if (!reading_) return;
  g_curl.curl_multi_remove_handle(Multi(multi_), Easy(easy_));
  reading_ = false;
  pending_.clear();
  pendingStart_ = 0;
}
