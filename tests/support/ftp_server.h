#pragma once
#include <string>

// A real FTP server for tests and benchmarks: Debian's pyftpdlib, started on 127.0.0.1 with a
// free port over the given root folder, and stopped when the object goes. It knows the user
// "user" (password "pass", all rights) and anonymous (read only). A file named "stall.bin"
// sends its first 64 KB and then nothing more; one named "drip.bin" sends a byte every 0.1 s
// for ever; a folder named "endless" lists without end. A refused login is answered after
// refusalDelay seconds.
class FtpTestServer {
 public:
  explicit FtpTestServer(const std::string& root, double refusalDelay = 0.05);
  ~FtpTestServer();
  FtpTestServer(const FtpTestServer&) = delete;
  FtpTestServer& operator=(const FtpTestServer&) = delete;

  bool Running() const { return port_ > 0; }
  // "127.0.0.1:port", the server name the FTP commands take.
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  int Port() const { return port_; }
  void Stop();

 private:
  int pid_ = -1;
  int port_ = 0;
  std::string script_;
};
