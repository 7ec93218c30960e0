// FTP against a real server started on 127.0.0.1 for each test and always stopped.
#include <gtest/gtest.h>

#include <functional>

#include <fcntl.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "platform/clock.h"
#include "platform/events.h"
#include "system/ftp_session.h"
#include "tests/support/ftp_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/program_run.h"

namespace fs = std::filesystem;

namespace {

TEST(FtpListing, UnixAndDosFormsAreParsed) {
  std::vector<FtpEntry> entries;
  ASSERT_TRUE(ParseFtpListing(
      "drwxr-xr-x   2 owner group        0 Jan 01 12:00 a folder\r\n"
      "-rw-r--r--   1 owner group     1234 Jan 01  2020 file one.txt\r\n"
      "lrwxrwxrwx   1 owner group        4 Jan 01 12:00 link -> file\r\n"
      "drwxr-xr-x   2 owner group        0 Jan 01 12:00 ..\r\n"
      "01-01-20  12:00PM       <DIR>          dosdir\r\n"
      "01-01-20  12:00PM                  77 dos file.bin\r\n"
      "total 12\r\n", entries));
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].name, "a folder");
  EXPECT_TRUE(entries[0].folder);
  EXPECT_EQ(entries[1].name, "file one.txt");
  EXPECT_EQ(entries[1].size, 1234u);
  EXPECT_EQ(entries[2].name, "link");
  EXPECT_TRUE(entries[3].folder);
  EXPECT_EQ(entries[4].name, "dos file.bin");
  EXPECT_EQ(entries[4].size, 77u);

  std::string many;
  for (size_t k = 0; k <= kFtpMaxEntries; ++k) many += "01-01-20  12:00PM  1 f" + std::to_string(k) + "\n";
  EXPECT_FALSE(ParseFtpListing(many, entries));
  EXPECT_TRUE(entries.empty());
}

class Ftp : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root.File("pub/sub"));
    root.Write("pub/hello.txt", "hello world");
    root.Write("pub/big.bin", std::string(100000, 'b'));
    root.Write("pub/stall.bin", std::string(200000, 's'));
    server = std::make_unique<FtpTestServer>(root.path());
    ASSERT_TRUE(server->Running());
    EventsReset();  // no stop request left by an earlier run
    FtpResetState();
  }
  void TearDown() override {
    FtpShutdown();
    ClockUseVirtual(false);
    server.reset();
  }
  bool Connect() { return FtpConnect(server->Address(), "user", "pass"); }
  // Steps a download until it ends; the progress values seen.
  std::vector<int32_t> StepToEnd() {
    std::vector<int32_t> seen;
    for (int guard = 0; guard < 10000 && g_ftp.progress != -1; ++guard) {
      FtpContinueTransfer(0);
      seen.push_back(g_ftp.progress);
    }
    return seen;
  }
  // Seconds an FTP call takes.
  template <typename F>
  static double Timed(F call) {
    auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  TempDir root, local;
  std::unique_ptr<FtpTestServer> server;
};

TEST_F(Ftp, ConnectChangeFolderListPutAndDelete) {
  EXPECT_FALSE(FtpConnect(server->Address(), "user", "wrong"));
  EXPECT_EQ(g_ftp.failed, 1);
  EXPECT_EQ(g_ftp.response.substr(0, 3), "530");
  g_ftp.failed = 0;
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(Connect());  // a second connect leaves the first one alone
  EXPECT_EQ(g_ftp.connected, 1);
  EXPECT_FALSE(FtpSetDirectory("nowhere"));
  EXPECT_EQ(g_ftp.failed, 1);
  EXPECT_EQ(g_ftp.response.substr(0, 3), "550");
  EXPECT_EQ(g_ftp.connected, 1);
  ASSERT_TRUE(FtpSetDirectory("pub"));

  std::map<std::string, std::pair<int32_t, uint32_t>> seen;
  for (bool more = FtpFindFirst(); more; more = FtpFindNext()) seen[g_ftp.findName] = {g_ftp.findType, g_ftp.findSize};
  EXPECT_EQ(g_ftp.findType, -1);
  EXPECT_FALSE(g_ftp.findName.empty());  // the last name stays
  EXPECT_EQ(seen["sub"].first, 1);
  EXPECT_EQ(seen["hello.txt"], std::make_pair(0, 11u));
  EXPECT_EQ(seen.size(), 4u);

  local.Write("up.txt", "uploaded");
  ASSERT_TRUE(FtpSetDirectory("sub"));
  g_ftp.failed = 0;
  const auto openFiles = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
  const auto filesBefore = openFiles();
  EXPECT_TRUE(FtpPutFile(local.File("up.txt")));
  EXPECT_EQ(openFiles(), filesBefore);  // the local file is closed again
  EXPECT_EQ(root.Read("pub/sub/up.txt"), "uploaded");
  EXPECT_EQ(g_ftp.failed, 0);
  EXPECT_FALSE(FtpPutFile(local.File("missing.txt")));
  EXPECT_TRUE(FtpDeleteFile("up.txt"));
  EXPECT_FALSE(fs::exists(root.File("pub/sub/up.txt")));
  EXPECT_FALSE(FtpDeleteFile("up.txt"));
  ASSERT_TRUE(FtpSetDirectory("..\\sub\\..\\..\\pub"));
  EXPECT_TRUE(FtpGetFile("hello.txt", local.File("h.txt"), 0, false));
  EXPECT_EQ(local.Read("h.txt"), "hello world");

  FtpDisconnect(0);
  EXPECT_EQ(g_ftp.connected, 0);
  EXPECT_FALSE(FtpGetFile("hello.txt", local.File("h2.txt"), 0, false));
  ASSERT_TRUE(FtpReconnect());  // again, with the texts of the last connect
  EXPECT_TRUE(FtpSetDirectory("/pub/sub"));
  EXPECT_TRUE(FtpSetDirectory("\\"));
  EXPECT_TRUE(FtpSetDirectory("pub"));
  EXPECT_TRUE(FtpGetFile("hello.txt", local.File("h3.txt"), 0, false));
}

TEST_F(Ftp, DirectAndSteppedGets) {
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(FtpSetDirectory("pub"));
  local.Write("big.bin", "old contents");
  EXPECT_FALSE(FtpGetFile("missing.bin", local.File("big.bin"), 0, false));
  EXPECT_EQ(local.Read("big.bin"), "old contents");  // a failed get leaves the file alone
  ASSERT_TRUE(FtpGetFile("big.bin", local.File("big.bin"), 0, false));
  EXPECT_EQ(local.Read("big.bin"), std::string(100000, 'b'));

  // Unknown total: progress 1 until the end, then -1.
  ASSERT_TRUE(FtpGetFile("big.bin", local.File("s0.bin"), 0, true));
  std::vector<int32_t> seen = StepToEnd();
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen.back(), -1);
  for (size_t i = 0; i + 1 < seen.size(); ++i) EXPECT_EQ(seen[i], 1);
  EXPECT_EQ(local.Read("s0.bin"), std::string(100000, 'b'));

  // Total = size: the percentage climbs to 100.
  ASSERT_TRUE(FtpGetFile("big.bin", local.File("s1.bin"), 100000, true));
  seen = StepToEnd();
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end() - 1));
  EXPECT_EQ(seen[0], 3);  // 3072 of 100000 bytes
  EXPECT_EQ(seen[seen.size() - 2], 100);
  EXPECT_EQ(local.Read("s1.bin"), std::string(100000, 'b'));

  EXPECT_FALSE(FtpGetFile("missing.bin", local.File("s2.bin"), 0, true));
  EXPECT_EQ(g_ftp.progress, -1);
  EXPECT_EQ(g_ftp.connected, 1);

  // An abort deletes the partial file, and the connection goes on.
  ASSERT_TRUE(FtpGetFile("big.bin", local.File("s3.bin"), 0, true));
  FtpContinueTransfer(0);
  EXPECT_FALSE(FtpGetFile("hello.txt", local.File("x.bin"), 0, true));  // one at a time
  EXPECT_FALSE(FtpSetDirectory("sub"));  // refused while downloading, but still connected
  EXPECT_EQ(g_ftp.connected, 1);
  EXPECT_GT(g_ftp.progress, -1);
  FtpAbortTransfer();
  EXPECT_EQ(g_ftp.progress, -1);
  EXPECT_TRUE(fs::is_empty(local.path()) || !fs::exists(local.File("s3.bin")));
  for (auto& e : fs::directory_iterator(local.path())) EXPECT_NE(e.path().filename().string()[0], '.');
  EXPECT_TRUE(FtpGetFile("hello.txt", local.File("h.txt"), 0, false));
}

TEST_F(Ftp, AGetWhoseLocalFileCannotBeMadeIsAFailure) {
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(FtpSetDirectory("pub"));
  for (bool inSteps : {false, true}) {
    g_ftp.failed = 0;
    EXPECT_FALSE(FtpGetFile("hello.txt", local.File("no/such/h.txt"), 0, inSteps)) << inSteps;
    EXPECT_EQ(g_ftp.failed, 1) << inSteps;
    EXPECT_EQ(g_ftp.progress, -1) << inSteps;
  }
  EXPECT_TRUE(FtpGetFile("hello.txt", local.File("h.txt"), 0, false));  // the connection goes on
}

// A stepped get counts its stall from its own start, not from an earlier one's last data.
TEST_F(Ftp, ASteppedGetCountsItsStallFromItsStart) {
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(FtpSetDirectory("pub"));
  g_ftp.lastData = std::chrono::steady_clock::now() - std::chrono::hours(1);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(FtpGetFile("hello.txt", local.File("h.txt"), 11, true));
  EXPECT_GE(g_ftp.lastData, start);
  StepToEnd();
  EXPECT_EQ(local.Read("h.txt"), "hello world");
}

// Five seconds of real time, on the virtual clock too (which moves only as a program runs).
TEST_F(Ftp, AStalledSteppedGetIsAbandonedAfterFiveSeconds) {
  ClockUseVirtual(true, 1000);
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(FtpSetDirectory("pub"));
  ASSERT_TRUE(FtpGetFile("stall.bin", local.File("stall.bin"), 200000, true));
  for (int guard = 0; guard < 1000 && g_ftp.transferred < 65536; ++guard) FtpContinueTransfer(0);
  ASSERT_EQ(g_ftp.transferred, 65536);
  const auto stalled = std::chrono::steady_clock::now();
  ClockAdvanceMs(6000);  // the run's clock is not the server's
  FtpContinueTransfer(0);
  EXPECT_EQ(g_ftp.progress, 32);
  for (int guard = 0; guard < 400 && g_ftp.progress != -1; ++guard) FtpContinueTransfer(0);  // 50 ms a step
  EXPECT_EQ(g_ftp.progress, -1);
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - stalled).count();
  EXPECT_GE(waited, 4.9);
  EXPECT_LT(waited, 15);
  EXPECT_FALSE(fs::exists(local.File("stall.bin")));
  for (auto& e : fs::directory_iterator(local.path())) ADD_FAILURE() << "left behind: " << e.path();
}

// The sockets of a connection and of a download are closed when a program is started.
TEST_F(Ftp, TheSocketsCloseOnExec) {
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(FtpSetDirectory("pub"));
  ASSERT_TRUE(FtpGetFile("stall.bin", local.File("stall.bin"), 0, true));
  FtpContinueTransfer(0);
  int sockets = 0;
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = fs::read_symlink(e.path(), error).string();
    if (target.rfind("socket:", 0) != 0) continue;
    ++sockets;
    EXPECT_NE(fcntl(std::stoi(e.path().filename().string()), F_GETFD) & FD_CLOEXEC, 0) << target;
  }
  EXPECT_GE(sockets, 2);
}

// A local name a get may not write is refused before anything is transferred, with its cause,
// and the server's last (positive) reply does not stand for it.
TEST_F(Ftp, AGetRefusesALocalNameItMayNotWriteFirst) {
  root.Write("pub/drip.bin", std::string(1 << 20, 'd'));  // never ends: a transfer would show
  fs::create_directory(local.File("afolder"));
  local.Write("ro.txt", "kept");
  fs::permissions(local.File("ro.txt"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(FtpSetDirectory("pub"));
  g_ftp.client->SetDeadlineMs(3000);
  const struct {
    const char* local;
    bool inSteps;
    const char* cause;
  } rows[] = {
      {"afolder", false, "is a folder"},
      {"afolder", true, "is a folder"},
      {"ro.txt", false, "it is read-only"},
      {"ro.txt", true, "it is read-only"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.local) + (row.inSteps ? " in steps" : ""));
    ASSERT_TRUE(FtpGetFile("hello.txt", local.File("h.txt"), 0, false));
    EXPECT_LT(Timed([&] { EXPECT_FALSE(FtpGetFile("drip.bin", local.File(row.local), 0, row.inSteps)); }), 1.5);
    EXPECT_EQ(g_ftp.failed, 1);
    EXPECT_EQ(g_ftp.response, "");
    EXPECT_EQ(g_ftp.failedFile, local.File(row.local));
    EXPECT_EQ(g_ftp.cause, row.cause);
    EXPECT_EQ(g_ftp.progress, -1);
    g_ftp.failed = 0;
  }
  EXPECT_EQ(local.Read("ro.txt"), "kept");
  EXPECT_TRUE(fs::is_directory(local.File("afolder")) && fs::is_empty(local.File("afolder")));
  for (auto& e : fs::directory_iterator(local.path())) EXPECT_NE(e.path().filename().string()[0], '.');
}

// The warning of a failed get names the file and the cause, the server's refusal included.
TEST_F(Ftp, AFailedGetWarnsWithItsFileAndCause) {
  FtpShutdown();
  local.Write("ro.txt", "kept");
  fs::permissions(local.File("ro.txt"), fs::perms::owner_read);
  const struct {
    std::string command;
    const char* says;
  } rows[] = {
      {"ftp get file \"hello.txt\", \"" + local.File("ro.txt") + "\"", "ro.txt: it is read-only"},
      {"ftp get file \"hello.txt\", \"" + local.File("ro.txt") + "\", 11", "ro.txt: it is read-only"},
      {"ftp get file \"missing.txt\", \"" + local.File("m.txt") + "\"", "missing.txt: 550 "},
      {"ftp get file \"missing.txt\", \"" + local.File("m.txt") + "\", 11", "missing.txt: 550 "},
  };
  for (const auto& row : rows) {
    const RunOutcome r = RunVkaSource("ftp connect \"" + server->Address() + "\", \"user\", \"pass\"\nftp set dir \"pub\"\n" +
                                          row.command + "\nend\n", 100);
    EXPECT_NE(r.err.find(row.says), std::string::npos) << row.command << " gave: " << r.err;
  }
  // No connection, or no local name: said so.
  RunOutcome r = RunVkaSource("ftp get file \"hello.txt\", \"" + local.File("h.txt") + "\"\nend\n", 100);
  EXPECT_NE(r.err.find("hello.txt: not connected"), std::string::npos) << r.err;
  r = RunVkaSource("ftp connect \"" + server->Address() + "\", \"user\", \"pass\"\nftp get file \"pub/hello.txt\", \"\"\nend\n", 100);
  EXPECT_NE(r.err.find(": no name given"), std::string::npos) << r.err;
  EXPECT_EQ(local.Read("ro.txt"), "kept");
}

// Every FTP command's failed warning names what failed and why, and a failure the server had no
// part in leaves no reply of the server's as the failure's text.
TEST_F(Ftp, EveryFailureWarnsWithItsCause) {
  const std::string connect = "ftp connect \"" + server->Address() + "\", \"user\", \"pass\"\n";
  const struct {
    std::string program;
    std::string says;
  } rows[] = {
      {"ftp connect \"" + server->Address() + "\", \"user\", \"wrong\"\n", server->Address() + ": 530 "},
      {connect + connect, server->Address() + ": already connected"},
      {connect + "ftp set dir \"nowhere\"\n", "nowhere: 550 "},
      {"ftp set dir \"pub\"\n", "pub: not connected"},
      {connect + "ftp put file \"" + local.File("none.txt") + "\"\n", "none.txt: not found"},
      {connect + "ftp put file \"" + local.path() + "\"\n", ": not a regular file"},
      {connect + "ftp put file \"\"\n", ": no name given"},
      {"ftp put file \"" + local.File("up.txt") + "\"\n", "up.txt: not connected"},
      {"ftp connect \"" + server->Address() + "\", \"anonymous\", \"x\"\nftp put file \"" + local.File("up.txt") +
           "\"\n",
       "up.txt: 550 "},
      {connect + "ftp delete file \"nosuch.txt\"\n", "nosuch.txt: 550 "},
      {"ftp delete file \"nosuch.txt\"\n", "nosuch.txt: not connected"},
      {connect + "ftp get file \"pub/hello.txt\", \"" + local.File("nodir/h.txt") + "\"\n", "h.txt: its folder does not exist"},
  };
  local.Write("up.txt", "up");
  for (const auto& row : rows) {
    const RunOutcome r = RunVkaSource(row.program + "end\n", 100);
    EXPECT_NE(r.err.find(row.says), std::string::npos) << row.program << " gave: " << r.err;
  }
  FtpShutdown();
  EventsReset();  // the runs' ends
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(FtpGetFile("nosuch.txt", local.File("n.txt"), 0, false));
  EXPECT_EQ(g_ftp.response.substr(0, 3), "550");
  for (const auto& failing : {std::function<bool()>([&] { return FtpPutFile(local.File("none.txt")); }),
                              std::function<bool()>([&] {
                                FtpDisconnect(0);
                                return FtpGetFile("hello.txt", local.File("h.txt"), 0, false);
                              })}) {
    g_ftp.failed = 0;
    EXPECT_FALSE(failing());
    EXPECT_EQ(g_ftp.failed, 1);
    EXPECT_EQ(g_ftp.response, "");
  }
}

TEST_F(Ftp, ARefusalThatComesLateIsTheRecordedResponse) {
  TempDir other;
  FtpTestServer slow(other.path(), 1.5);
  ASSERT_TRUE(slow.Running());
  g_ftp.client = std::make_unique<FtpClient>();
  g_ftp.client->SetTimeoutMs(1000);
  EXPECT_FALSE(FtpConnect(slow.Address(), "user", "wrong"));
  EXPECT_EQ(g_ftp.response.substr(0, 3), "530");
}

TEST_F(Ftp, EndlessListingsAndTricklingGetsEndAsFailures) {
  fs::create_directories(root.File("pub/endless"));
  root.Write("pub/drip.bin", std::string(1 << 20, 'd'));
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(FtpSetDirectory("pub/endless"));
  EXPECT_LT(Timed([] { EXPECT_FALSE(FtpFindFirst()); }), 30);
  EXPECT_EQ(g_ftp.failed, 1);
  EXPECT_TRUE(g_ftp.findEntries.empty());
  g_ftp.failed = 0;

  ASSERT_TRUE(FtpSetDirectory(".."));
  g_ftp.client->SetDeadlineMs(1500);
  EXPECT_LT(Timed([&] { EXPECT_FALSE(FtpGetFile("drip.bin", local.File("drip.bin"), 0, false)); }), 10);
  EXPECT_EQ(g_ftp.failed, 1);
  g_ftp.failed = 0;

  // A stop signal ends the blocking call, whatever the deadline.
  g_ftp.client->SetDeadlineMs(kFtpDeadlineMs);
  EventsCatchStopSignals();
  std::thread stopper([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(getpid(), SIGTERM);
  });
  EXPECT_LT(Timed([&] { EXPECT_FALSE(FtpGetFile("drip.bin", local.File("drip.bin"), 0, false)); }), 10);
  stopper.join();
  EventsReleaseStopSignals();
  EventsReset();
  EXPECT_EQ(g_ftp.failed, 1);
  EXPECT_TRUE(fs::is_empty(local.path()));
}

TEST_F(Ftp, ASteppedGetOnAFullDiskIsAFailure) {
  const int status = RunWithFileSizeLimit(32768, [&] {
    if (!Connect() || !FtpSetDirectory("pub") || !FtpGetFile("big.bin", local.File("big.bin"), 100000, true)) return 2;
    StepToEnd();
    return g_ftp.failed == 1 ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(fs::is_empty(local.path()));
}

TEST_F(Ftp, ProgramsDriveASteppedGetAndReadTheFailureOnce) {
  FtpShutdown();
  const std::string source = "ftp connect \"" + server->Address() + "\", \"user\", \"pass\"\n" +
                             "ftp connect \"" + server->Address() + "\", \"user\", \"pass\"\n" + R"(print get ftp status()
ftp set dir "pub"
ftp find first
while get ftp file type() <> -1
  n = n + 1
  ftp find next
endwhile
print n
)" + "ftp get file \"big.bin\", \"" + local.File("big.bin") + "\", 100000\n" + R"(while get ftp progress() <> -1
  ftp proceed
endwhile
ftp set dir "nowhere"
print get ftp failure()
print get ftp failure()
print left$(get ftp error$(), 3)
ftp disconnect
print get ftp status()
end
)";
  RunOutcome r = RunVkaSource(source, 1000, "", true);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "1\n4\n1\n0\n550\n0\n");
  EXPECT_EQ(local.Read("big.bin"), std::string(100000, 'b'));
}

}  // namespace
