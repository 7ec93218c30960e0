#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One FTP connection (passive mode) over libcurl. Calls block until the server answers, each
// bounded by the time-out and the whole call by the deadline, and a stop request (StopRequested)
// ends one as a failure; only the stepped download reads a little at a time.
struct FtpEntry {
  std::string name;
  bool folder = false;
  uint64_t size = 0;
};

// A listing longer than either bound is refused.
inline constexpr size_t kFtpMaxListingBytes = 16u << 20;
inline constexpr size_t kFtpMaxEntries = 100000;
// The overall deadline of one blocking call (10 minutes by default).
inline constexpr int kFtpDeadlineMs = 10 * 60 * 1000;
// Servers delay the refusal of a login, often by seconds: its answer is waited for at least this long.
inline constexpr int kFtpLoginAnswerMs = 10000;

// Parses a folder listing in the Unix or DOS form ("." and ".." are left out); false when it
// holds more than kFtpMaxEntries entries.
bool ParseFtpListing(const std::string& text, std::vector<FtpEntry>& out);

class FtpClient {
 public:
  enum class Step { kData, kWaiting, kDone, kFailed };

  FtpClient();
  ~FtpClient();
  FtpClient(const FtpClient&) = delete;
  FtpClient& operator=(const FtpClient&) = delete;

  // Logs in. The server is "host" (port 21) or "host:port"; an empty user logs in anonymously.
  bool Connect(const std::string& server, const std::string& user, const std::string& password);
  // Ends a stepped download and closes the connection.
  void Disconnect();
  bool Connected() const { return connected_; }
  // Changes the remote folder ("/" or "\" separate, ".." goes up, a leading separator starts
  // from the server's root); false leaves it unchanged.
  bool ChangeFolder(const std::string& path);
  // True when the current remote folder can still be entered (or a download is running).
  bool CheckFolder();
  bool List(std::vector<FtpEntry>& out);
  // Downloads into the descriptor / uploads size bytes from it, in the current folder.
  bool Get(const std::string& remote, int fd);
  bool Put(int fd, uint64_t size, const std::string& remote);
  bool Delete(const std::string& remote);

  // A stepped download: OpenRead starts it (false when the server refuses the file), ReadSome
  // hands over up to max bytes, waiting at most waitMs for them.
  bool OpenRead(const std::string& remote);
  Step ReadSome(std::string& out, size_t max, int waitMs);
  void CloseRead();
  bool Reading() const { return reading_; }

  // The errno of the local file's failed write (Get) or read (Put) that ended the last call; 0
  // when the local file was not the cause.
  int LocalError() const { return localError_; }
  // The server's last complete response (up to 255 characters).
  const std::string& LastResponse() const { return lastResponse_; }
  // Time-out of each connect, answer and stalled blocking transfer (3000 ms by default).
  void SetTimeoutMs(int ms) { timeoutMs_ = ms; }
  void SetDeadlineMs(int ms) { deadlineMs_ = ms; }

  // Used by the libcurl callbacks.
  void OnHeader(const char* data, size_t size);
  size_t OnStepData(const char* data, size_t size);

 private:
  bool Ensure();
  void Prepare(const std::string& url, bool blocking);
  bool Perform();
  std::string Url(const std::vector<std::string>& path, bool folder) const;
  std::vector<std::string> RemotePath(const std::string& name) const;

  void* multi_ = nullptr;  // CURLM
  void* easy_ = nullptr;   // CURL
  std::string host_, user_, password_;
  int port_ = 21;
  bool connected_ = false;
  bool absolute_ = false;          // the folder path starts at the server's root
  std::vector<std::string> folder_;  // the current remote folder, relative to the login folder
  std::string lastResponse_, partialResponse_;
  int localError_ = 0;
  int timeoutMs_ = 3000;
  int deadlineMs_ = kFtpDeadlineMs;
  void* quote_ = nullptr;  // curl_slist of a delete

  // Stepped download.
  bool reading_ = false, readDone_ = false, readOk_ = false, paused_ = false;
  std::string pending_;
  size_t pendingStart_ = 0;
};
