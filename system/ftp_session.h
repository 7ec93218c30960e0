#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ftp.h"

// The program's one FTP connection: the last connect's texts, the current entry of a folder
// listing, one stepped download, and the failure flag with the server's response at the
// first failure since the flag was last read.
struct FtpState {
  std::unique_ptr<FtpClient> client;  // kept between connections
  std::string server, user, password;
  int32_t connected = 0;

  bool findOpen = false;
  std::vector<FtpEntry> findEntries;
  size_t findIndex = 0;
  std::string findName;
  int32_t findType = -1;  // -1 none, 1 folder, 0 file
  uint32_t findSize = 0;

  // Stepped download: the local target and the temporary file it is written to.
  std::string localName, localTemp;
  int localFd = -1;
  int32_t progress = -1, lastProgress = -1;
  // When bytes last arrived: real time, whatever the run's clock, as a server that stops
  // sending stops in real time.
  std::chrono::steady_clock::time_point lastData;
  int64_t transferred = 0;
  int32_t total = 0;
  uint8_t inSteps = 0;

  int32_t failed = 0;
  std::string response;
  // The file and the cause of the last failed get, for its warning.
  std::string failedFile, cause;
};
extern FtpState g_ftp;

inline constexpr size_t kFtpDefaultChunk = 3072;
// A stepped download that receives nothing for this long (real time) is abandoned.
inline constexpr uint32_t kFtpStallMs = 5000;
// How long one step waits for bytes to arrive.
inline constexpr int kFtpStepWaitMs = 50;

// Clears the connection's state (the client object stays).
void FtpResetState();
bool FtpConnect(const std::string& server, const std::string& user, const std::string& password);
// Connects again with the texts of the last connect.
bool FtpReconnect();
void FtpRecordFailure();
// A failure of the local side (the local file): the server's reply does not stand for it, so
// the response text is empty; file and cause are kept for the warning.
void FtpRecordLocalFailure(const std::string& file, const std::string& cause);
void FtpCheckConnection();
bool FtpSetDirectory(const std::string& path);
bool FtpFindFirst();
bool FtpFindNext();
// Direct (in one call, replacing the local file when done) or stepped (started here, driven
// by FtpContinueTransfer; total gives the percentage, 0 when unknown). A local name that is a
// folder, not a regular file, or a read-only file is refused before anything is transferred.
// A failure leaves its file and cause in failedFile and cause.
bool FtpGetFile(const std::string& remote, const std::string& local, int32_t total, bool inSteps);
void FtpContinueTransfer(size_t chunk);
// Ends a stepped download; its partial file is deleted.
void FtpAbortTransfer();
bool FtpPutFile(const std::string& name);
bool FtpDeleteFile(const std::string& name);
void FtpDisconnect(int32_t hangUp);
// End of a run: disconnects and releases the client.
void FtpShutdown();
