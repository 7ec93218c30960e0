// SIGINT, SIGTERM and a hang-up end a run as closing its window does.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// Polls until ready, giving up after a deadline that a starved machine does not reach.
bool WaitUntil(const std::function<bool()>& ready) {
  for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60); std::chrono::steady_clock::now() < end;) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// The value of a field of the process's status file (rchar: of its io file); "" once it is gone.
std::string StatusField(pid_t pid, const std::string& name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + (name == "rchar" ? "io" : "status"));
  for (std::string line; std::getline(in, line);)
    if (line.rfind(name + ":", 0) == 0) return line.substr(name.size() + 1);
  return "";
}

bool SignalBit(pid_t pid, const std::string& field, int signal) {
  const std::string mask = StatusField(pid, field);
  return !mask.empty() && (std::stoull(mask, nullptr, 16) >> (signal - 1)) & 1;
}

// True once the process catches the signal (its handler is in place).
bool Catches(pid_t pid, int signal) { return SignalBit(pid, "SigCgt", signal); }

// Exit status once the signal is sent; a process that does not end is killed (-1).
int StatusAfter(pid_t pid, int signal) {
  kill(pid, signal);
  int status = 0;
  if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; })) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// A program the tests start takes every signal as by default, whatever this process ignores or
// blocks (as under nohup, or after a test of its own left one so): the cases above rely on it.
TEST(StopSignals, AStartedProgramIgnoresAndBlocksNone) {
  struct sigaction ignore {}, hangup {}, pipe {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGHUP, &ignore, &hangup);
  sigaction(SIGPIPE, &ignore, &pipe);
  sigset_t term, before;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &before);
  int out = -1;
  const pid_t headless = StartHeadless("/bin/cat", {"/proc/self/status"}, "/", &out);
  const ProcessResult run = RunProcess("/bin/sh", {"-c", "cat /proc/self/status >&2"});
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  sigaction(SIGHUP, &hangup, nullptr);
  sigaction(SIGPIPE, &pipe, nullptr);
  ASSERT_GT(headless, 0);
  std::string status;
  char buf[4096];
  for (ssize_t n; (n = read(out, buf, sizeof buf)) > 0;) status.append(buf, size_t(n));
  close(out);
  waitpid(headless, nullptr, 0);
  for (const std::string& text : {status, run.err}) {
    EXPECT_NE(text.find("\nSigBlk:\t0000000000000000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nSigIgn:\t0000000000000000\n"), std::string::npos) << text;
  }
}

TEST(StopSignals, EndARunAsClosingTheWindowDoes) {
  TempDir dir;
  dir.Write("loop.vka", "print \"ready\"\ndo\nsync\nloop\n");
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    std::filesystem::remove(dir.File("out.txt"));
    std::filesystem::remove(dir.File("out.png"));
    pid_t pid = StartHeadless(VellumarkExe(), {"run", "loop.vka", "--headless", "--transcript", "out.txt", "--grab", "out.png"},
                              dir.path());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir.File("out.txt")) && dir.Read("out.txt") == "ready\n"; }));
    EXPECT_EQ(StatusAfter(pid, signal), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.File("out.png")));
  }
}

// A signal ignored from the start (as a shell's trap '' leaves it) stays ignored by a run and by
// the environment, even one the process takes for its own writes: sent, it stops nothing. Each
// is checked once its program draws (the environment's in an F5 run), and the program is seen
// to draw on once the signal is no longer pending.
TEST(StopSignals, ASignalIgnoredAtTheStartStaysIgnored) {
  TempDir dir;
  dir.Write("loop.vka", "do\nprint \"tick\"\nsync\nloop\n");
  std::filesystem::create_directories(dir.File("config/vellumark"));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  dir.Write("f5.txt", "5 key F5 down\n6 key F5 up\n");
  const struct {
    int signal;
    const char* command;
  } cases[] = {{SIGXFSZ, "trap '' XFSZ; exec \"$0\" run loop.vka --headless --transcript out.txt"},
               {SIGPIPE, "trap '' PIPE; XDG_CONFIG_HOME=\"$PWD/config\" exec \"$0\" edit loop.vka --headless "
                         "--input f5.txt --transcript out.txt"}};
  const auto ticks = [&] {
    const std::string text = dir.Read("out.txt");
    return size_t(std::count(text.begin(), text.end(), '\n'));
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    std::filesystem::remove(dir.File("out.txt"));
    const pid_t pid = StartHeadless("/bin/sh", {"-c", c.command, VellumarkExe()}, dir.path());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitUntil([&] { return ticks() > 0; }));
    EXPECT_TRUE(SignalBit(pid, "SigIgn", c.signal));
    kill(pid, c.signal);
    EXPECT_TRUE(WaitUntil([&] { return !SignalBit(pid, "ShdPnd", c.signal); }));
    const size_t before = ticks();
    int status = 0;
    bool ended = false;
    EXPECT_TRUE(WaitUntil([&] { return (ended = waitpid(pid, &status, WNOHANG) == pid) || ticks() >= before + 5; }));
    EXPECT_FALSE(ended) << "ended by the signal: " << status;
    if (!ended) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
}

// A wrapper (timeout, a shell) may pass one Ctrl+C on twice: a repeat at once is the same
// request, and the run still ends as a window close does.
TEST(StopSignals, ARepeatAtOnceIsTheSameRequest) {
  TempDir dir;
  dir.Write("loop.vka", "print \"ready\"\ndo\nsync\nloop\n");
  pid_t pid = StartHeadless(VellumarkExe(), {"run", "loop.vka", "--headless", "--transcript", "out.txt", "--grab", "out.png"},
                            dir.path());
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir.File("out.txt")) && dir.Read("out.txt") == "ready\n"; }));
  kill(pid, SIGINT);
  // The repeat follows as soon as the first has been taken (sent while it is still pending,
  // the two would be one signal).
  EXPECT_TRUE(WaitUntil([&] { return !SignalBit(pid, "ShdPnd", SIGINT); }));
  EXPECT_EQ(StatusAfter(pid, SIGINT), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.File("out.png")));
}

TEST(StopSignals, EndABuiltGame) {
  TempDir dir;
  dir.Write("loop.vka", "do\nsync\nloop\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("loop.vka"), "-o", dir.File("game")}).status, 0);
  pid_t pid = StartHeadless(dir.File("game"), {}, dir.path());
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(WaitUntil([&] { return Catches(pid, SIGTERM); }));
  EXPECT_EQ(StatusAfter(pid, SIGTERM), 0);
}

// A built game takes its stop signals before it reads its pack, which takes a while for a large
// one: its handlers are in place while the pack is still unread. A try whose look came only
// after the read tells nothing and is made again.
TEST(StopSignals, ABuiltGameTakesItsSignalsBeforeItReadsItsPack) {
  TempDir dir;
  dir.Write("loop.vka", "do\nsync\nloop\n");
  dir.Write("big.dat", std::string(48 << 20, 'x'));
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("loop.vka"), "--media", "-o", dir.File("game")}).status, 0);
  bool before = false;
  for (int attempt = 0; attempt < 10 && !before; ++attempt) {
    const pid_t pid = StartHeadless(dir.File("game"), {}, dir.path());
    ASSERT_GT(pid, 0);
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60); std::chrono::steady_clock::now() < end;)
      if (Catches(pid, SIGTERM)) break;
    const std::string read = StatusField(pid, "rchar");
    before = !read.empty() && std::stoull(read) < (48u << 20);
    EXPECT_EQ(StatusAfter(pid, SIGTERM), 0);
  }
  EXPECT_TRUE(before) << "the handlers came only once the pack was read";
}

// A model of many limbs takes a while to build once its file is read (near a second of work):
// one SIGTERM during the load ends the run, as a window close does, with its transcript and
// grab.
TEST(StopSignals, EndALongLoad) {
  TempDir dir;
  std::string model = "xof 0303txt 0032\n";
  for (int k = 0; k < 40000; ++k)
    model += "Frame f" + std::to_string(k) + " {\nMesh m" + std::to_string(k) +
             " {\n3;\n0.0;0.0;0.0;,\n1.0;0.0;0.0;,\n0.0;1.0;0.0;;\n1;\n3;0,1,2;;\n}\n}\n";
  dir.Write("many.x", model);
  dir.Write("load.vka", "print \"loading\"\nsync\nload object \"many.x\", 1\nprint \"loaded\"\nsync\n"
                        "do\nsync\nloop\n");
  pid_t pid = StartHeadless(VellumarkExe(), {"run", "load.vka", "--headless", "--transcript", "out.txt", "--grab", "out.png"},
                            dir.path());
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(WaitUntil([&] { return dir.Read("out.txt") == "loading\n"; }));
  // Into the load: the process has read as many bytes as the model holds.
  const uint64_t size = std::filesystem::file_size(dir.File("many.x"));
  EXPECT_TRUE(WaitUntil([&] {
    const std::string read = StatusField(pid, "rchar");
    return !read.empty() && std::stoull(read) >= size;
  }));
  EXPECT_EQ(StatusAfter(pid, SIGTERM), 0);
  EXPECT_EQ(dir.Read("out.txt"), "loading\n");
  EXPECT_TRUE(std::filesystem::exists(dir.File("out.png")));
}

// A stop while a run compiles its source, or loads its image, before its session has opened:
// the run ends as a stop does once it starts (status 0), never by the signal. The signal comes
// once the process has read as many bytes as the input holds and before the session makes the
// transcript; a try that came too late tells nothing and is made again.
TEST(StopSignals, EndARunBeforeItStarts) {
  TempDir dir;
  std::string source = "print \"ran\"\n";
  for (int k = 0; k < 30000; ++k) source += "a = a + 1\n";
  dir.Write("big.vka", source + "do\nsync\nloop\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"compile", "big.vka", "-o", "big.img"}, dir.path()).status, 0);
  for (const char* command : {"run", "exec"}) {
    SCOPED_TRACE(command);
    const std::string input = command == std::string("run") ? "big.vka" : "big.img";
    const uint64_t size = std::filesystem::file_size(dir.File(input));
    bool during = false;
    for (int attempt = 0; attempt < 20 && !during; ++attempt) {
      std::filesystem::remove(dir.File("out.txt"));
      const pid_t pid = StartHeadless(VellumarkExe(), {command, input, "--headless", "--transcript", "out.txt"}, dir.path());
      ASSERT_GT(pid, 0);
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      for (std::string read; std::chrono::steady_clock::now() < end;)
        if (!(read = StatusField(pid, "rchar")).empty() && std::stoull(read) >= size) break;
      during = !std::filesystem::exists(dir.File("out.txt"));
      EXPECT_EQ(StatusAfter(pid, SIGTERM), 0) << (during ? "during the start" : "once started");
    }
    EXPECT_TRUE(during) << "no signal came before the session opened";
  }
}

// A stop signal or a hang-up keeps what the program wrote to a file it left open, in every way
// a program runs; a file that cannot then be written whole (past the file-size limit) fails the
// run, as at the program's end. Every signal whose default would end the process is a stop.
TEST(StopSignals, KeepWhatTheProgramWroteToAFileLeftOpen) {
  TempDir dir;
  std::string program = "open to write 1, \"save.txt\"\n", expected;
  for (int k = 0; k < 100; ++k) {
    const std::string line = "line " + std::to_string(k) + " of the save";
    program += "write string 1, \"" + line + "\"\n";
    expected += line + "\r\n";
  }
  dir.Write("save.vka", program + "make file \"ready\"\ndo\nsync\nloop\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"compile", "save.vka", "-o", "save.img"}, dir.path()).status, 0);
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", "save.vka", "-o", "game"}, dir.path()).status, 0);
  const std::string exe = VellumarkExe();
  const std::vector<std::string> run = {exe, "run", "save.vka", "--headless"}, exec = {exe, "exec", "save.img", "--headless"},
                                 game = {dir.File("game")};
  struct Case {
    std::vector<std::string> command;
    int signal;
    bool limited = false;  // under a file-size limit the save does not fit
  };
  const Case cases[] = {
      {run, SIGTERM}, {run, SIGINT}, {run, SIGHUP},   {exec, SIGTERM}, {exec, SIGINT},
      {exec, SIGHUP}, {game, SIGTERM}, {game, SIGINT}, {game, SIGHUP}, {exec, SIGTERM, true},
      {run, SIGQUIT}, {exec, SIGUSR1}, {game, SIGUSR2}, {run, SIGALRM}, {exec, SIGXCPU},
      {game, SIGVTALRM}, {run, SIGPROF}, {exec, SIGPIPE}, {game, SIGPWR}, {run, SIGRTMIN},
      {game, SIGXFSZ}, {exec, SIGXFSZ, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command[0] + " " + (c.command.size() > 1 ? c.command[1] : "") + " signal " + std::to_string(c.signal) +
                 (c.limited ? " limited" : ""));
    std::filesystem::remove(dir.File("save.txt"));
    std::filesystem::remove(dir.File("ready"));
    std::vector<std::string> args(c.command.begin() + 1, c.command.end());
    std::string program = c.command[0];
    if (c.limited) {
      // Two blocks: 1 KB or 2 KB as the shell counts them, less than the save either way.
      args.insert(args.begin(), {"-c", "ulimit -f 2 && exec \"$@\"", "sh", program});
      program = "/bin/sh";
    }
    const pid_t pid = StartHeadless(program, args, dir.path());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir.File("ready")) && Catches(pid, c.signal); }));
    EXPECT_EQ(StatusAfter(pid, c.signal), c.limited ? 1 : 0);
    const std::string saved = dir.Read("save.txt");
    if (c.limited) {
      EXPECT_TRUE(saved.size() >= 1024 && saved.size() < expected.size() && expected.rfind(saved, 0) == 0) << saved.size();
    } else {
      EXPECT_EQ(saved, expected);
    }
  }
}

// The temporaries of atomic writes (".vk-...") in the folder.
size_t Temporaries(const std::string& folder) {
  size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) n += e.path().filename().string().rfind(".vk-", 0) == 0;
  return n;
}

// A build or a compile ended by a signal while it writes its output leaves no temporary beside
// it, and the old output as it was. The signal is sent once the temporary is there; a try whose
// signal came after the output was replaced tells nothing and is made again.
TEST(StopSignals, AWriteEndedLeavesNoTemporary) {
  TempDir dir;
  std::string source;
  for (int k = 0; k < 400000; ++k) source += "a = a + 1\n";
  dir.Write("big.vka", source);
  for (const char* command : {"build", "compile"}) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGXFSZ}) {
      SCOPED_TRACE(std::string(command) + " signal " + std::to_string(signal));
      bool during = false;
      for (int attempt = 0; attempt < 20 && !during; ++attempt) {
        dir.Write("out", "the old output");
        const pid_t pid = StartHeadless(VellumarkExe(), {command, "big.vka", "-o", "out"}, dir.path());
        ASSERT_GT(pid, 0);
        int status = 0;
        bool ended = false;
        while (!(ended = waitpid(pid, &status, WNOHANG) == pid) && Temporaries(dir.path()) == 0) {
        }
        if (!ended) {
          kill(pid, signal);
          waitpid(pid, &status, 0);
        }
        during = WIFSIGNALED(status) && dir.Read("out") == "the old output";
        if (during) {
          EXPECT_EQ(Temporaries(dir.path()), 0u);
        }
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
          if (e.path().filename().string().rfind(".vk-", 0) == 0) std::filesystem::remove(e.path());
      }
      EXPECT_TRUE(during) << "no signal came during the write";
    }
  }
}

// A run waiting for a program it started ends on one SIGTERM; the program is left running.
TEST(StopSignals, EndAWaitForAProgram) {
  TempDir dir;
  // The program it waits for keeps no output of the test's open and is ended by the test.
  dir.Write("nap.sh", "echo $$ > nap.pid\nexec sleep 300 >/dev/null 2>&1\n");
  dir.Write("wait.vka", "print \"waiting\"\nsync\nexecute file \"/bin/sh\", \"nap.sh\", \"\", 1\n"
                        "print \"after\"\nsync\ndo\nsync\nloop\n");
  pid_t pid = StartHeadless(VellumarkExe(), {"run", "wait.vka", "--headless", "--transcript", "out.txt"}, dir.path());
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(WaitUntil([&] { return dir.Read("out.txt") == "waiting\n"; }));
  // Into the wait: the program waited for has started.
  const bool started = WaitUntil([&] { return dir.Read("nap.pid").find('\n') != std::string::npos; });
  EXPECT_TRUE(started);
  EXPECT_EQ(StatusAfter(pid, SIGTERM), 0);
  EXPECT_EQ(dir.Read("out.txt"), "waiting\n");
  ASSERT_TRUE(started);
  const std::string nap = dir.Read("nap.pid");
  EXPECT_EQ(kill(pid_t(std::stol(nap)), SIGKILL), 0);  // still running: the wait was given up
}

}  // namespace
