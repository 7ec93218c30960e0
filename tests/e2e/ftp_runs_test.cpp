// FTP from a program run by the executable: what a started program inherits, what a stop leaves.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "tests/support/ftp_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

class FtpRuns : public testing::Test {
 protected:
  void SetUp() override {
    root.Write("stall.bin", std::string(200000, 's'));  // 64 KB, then the server stops sending
    server = std::make_unique<FtpTestServer>(root.path());
    ASSERT_TRUE(server->Running());
  }
  std::string Connect() const { return "ftp connect \"" + server->Address() + "\", \"user\", \"pass\"\n"; }
  TempDir root, dir;
  std::unique_ptr<FtpTestServer> server;
};

// A program started while the transcript, the FTP control connection and a download's data
// connection are open gets the standard streams and nothing else.
TEST_F(FtpRuns, AStartedProgramInheritsNoDescriptorOfTheRun) {
  dir.Write("fds.sh", "exec ls -l /proc/self/fd > fds.txt\n");
  dir.Write("p.vka", Connect() + "ftp get file \"stall.bin\", \"part.bin\", 200000\nftp proceed\n"
                                 "execute file \"/bin/sh\", \"fds.sh\", \"\", 1\nprint get ftp status()\nend\n");
  const ProcessResult r = RunProcess(VellumarkExe(), {"run", "p.vka", "--headless", "--transcript", "t.txt"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Read("t.txt"), "1\n");
  std::istringstream listing(dir.Read("fds.txt"));
  int listed = 0;
  for (std::string line; std::getline(listing, line);) {
    const size_t arrow = line.find(" -> ");
    if (arrow == std::string::npos) continue;
    const std::string fd = line.substr(line.rfind(' ', arrow - 1) + 1, arrow - line.rfind(' ', arrow - 1) - 1);
    ++listed;
    // ls's own folder of descriptors aside, only 0, 1 and 2.
    if (line.find("/fd", arrow) == std::string::npos) {
      EXPECT_LE(std::stoi(fd), 2) << line;
    }
  }
  EXPECT_GE(listed, 3);
}

// A built game whose download does not reach its local file, direct or in steps, says the write
// it lost and ends with a failure, as for any write it loses.
TEST_F(FtpRuns, ABuiltGameSaysADownloadItLost) {
  root.Write("r.txt", "remote");
  dir.Write("p.vka", Connect() + "ftp get file \"r.txt\", \"nowhere/a.txt\"\n"
                                 "ftp get file \"r.txt\", \"nowhere/b.txt\", 6\nftp proceed\nftp disconnect\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", "p.vka", "-o", "game"}, dir.path()).status, 0);
  const ProcessResult r = RunProcess(dir.File("game"), {}, dir.path(), {"ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("game: cannot write nowhere/a.txt: its folder does not exist\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("game: cannot write nowhere/b.txt: its folder does not exist\n"), std::string::npos) << r.err;
}

// A download in steps ended by SIGTERM leaves no temporary beside the program.
TEST_F(FtpRuns, AStopRemovesTheTemporaryOfADownloadInSteps) {
  dir.Write("p.vka", Connect() + "ftp get file \"stall.bin\", \"part.bin\", 200000\nprint \"started\"\nsync\n"
                                 "do\nftp proceed\nsync\nloop\n");
  const pid_t pid = StartHeadless(VellumarkExe(), {"run", "p.vka", "--headless", "--transcript", "t.txt"}, dir.path());
  ASSERT_GT(pid, 0);
  for (int k = 0; k < 600 && dir.Read("t.txt") != "started\n"; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(dir.Read("t.txt"), "started\n");
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status)) << status;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "p.vka" || name == "t.txt") << "left behind: " << name;
  }
}

}  // namespace
