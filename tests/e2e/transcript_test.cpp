// --transcript: made even when nothing is drawn, and holding every run of an environment session.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// A run that draws no text still leaves its transcript, empty: a script tells it from a run
// that failed.
TEST(Transcript, ARunWithoutTextLeavesAnEmptyFile) {
  TempDir dir;
  dir.Write("quiet.vka", "make object cube 1, 10\ndo\nsync\nloop\n");
  ProcessResult r = RunProcess(VellumarkExe(),
                               {"run", "quiet.vka", "--headless", "--frames", "2", "--transcript", "out.txt"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(std::filesystem::exists(dir.File("out.txt")));
  EXPECT_EQ(dir.Read("out.txt"), "");
}

// A transcript whose reader went away ends the run as a stop signal does, also where SIGPIPE is
// ignored: the file the program left open is kept, the lost output is said in one line, and the
// status is that of an output that cannot be written. (Its long lines fill the pipe within a few
// frames; an ignored reader's loss would run on to "late".)
TEST(Transcript, AReaderGoneEndsTheRunKeepingItsFiles) {
  TempDir dir;
  std::string program = "open to write 1, \"save.txt\"\n", expected;
  for (int k = 0; k < 100; ++k) {
    program += "write string 1, \"line " + std::to_string(k) + "\"\n";
    expected += "line " + std::to_string(k) + "\r\n";
  }
  dir.Write("save.vka", program + "sync on\na$ = \"x\"\nfor i = 1 to 7\na$ = a$ + a$\nnext i\ndo\nfor i = 1 to 32\nprint a$\nnext i\n"
                        "sync\ninc n\nif n = 100 then make file \"late\"\nloop\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"compile", "save.vka", "-o", "save.img"}, dir.path()).status, 0);
  std::filesystem::create_directories(dir.File("config/vellumark"));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  dir.Write("f5.txt", "5 key F5 down\n6 key F5 up\n");
  const std::string pipeGone = "vellumark: cannot write the standard output: broken pipe\n";
  // A transcript that can no longer be written ends the run as its reader gone does: a full disk too.
  const struct {
    const char* command;
    const char* transcript;
    std::string said;
  } cases[] = {
      {"\"$0\" run save.vka", "-", pipeGone},
      {"trap '' PIPE; \"$0\" exec save.img", "-", pipeGone},
      {"XDG_CONFIG_HOME=\"$PWD/config\" \"$0\" edit save.vka --input f5.txt", "-", pipeGone},
      {"ulimit -f 8; \"$0\" exec save.img", "t.txt", "t.txt: file too large\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    std::filesystem::remove(dir.File("save.txt"));
    // The reader ends without reading; the shell notes the run's status.
    const ProcessResult r = RunProcess(
        "/bin/sh",
        {"-c",
         std::string("{ ") + c.command + " --headless --frames 200 --transcript " + c.transcript + "; echo $? >status; } | true",
         VellumarkExe()},
        dir.path());
    EXPECT_EQ(dir.Read("status"), "2\n") << r.err;
    EXPECT_EQ(dir.Read("save.txt"), expected);
    EXPECT_FALSE(std::filesystem::exists(dir.File("late")));
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("cannot write", r.err.find("cannot write") + 1), std::string::npos) << r.err;
  }
}

// Two F5 runs of one environment session: the transcript holds the text of both.
TEST(Transcript, AnEnvironmentSessionKeepsTheTextOfEveryRun) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("config/vellumark"));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  dir.Write("game.vka", "print \"ran\"\ndo\nsync\nloop\n");
  dir.Write("script.txt",
            "10 key F5 down\n11 key F5 up\n40 key Escape down\n41 key Escape up\n"
            "60 key F5 down\n61 key F5 up\n90 key Escape down\n91 key Escape up\n");
  ProcessResult r = RunProcess(VellumarkExe(),
                               {"edit", dir.File("game.vka"), "--headless", "--clock", "virtual", "--input",
                                dir.File("script.txt"), "--frames", "120", "--transcript", dir.File("out.txt")},
                               dir.path(), {"XDG_CONFIG_HOME=" + dir.File("config"), "ASAN_OPTIONS=detect_leaks=0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Read("out.txt"), "ran\nran\n");
}

// Shell loops (a minute at most) that wait for the program of the run $p to make the file
// "ready", or for the run to be blocked writing into a pipe.
const std::string kUntilReady = "i=0; until [ -e ready ] || [ $i -ge 1200 ]; do sleep 0.05; i=$((i+1)); done; ";
const std::string kUntilBlocked =
    "i=0; until grep -q pipe_w /proc/$p/wchan 2>/dev/null || [ $i -ge 1200 ]; do sleep 0.05; i=$((i+1)); done; ";

// A FIFO output waits for its reader; a stop signal during the wait ends the run as a stop
// does, status 0 and nothing said. The signal comes once the run waits in the open.
TEST(Transcript, AStopEndsTheWaitForAFifosReader) {
  TempDir dir;
  dir.Write("loop.vka", "make file \"ready\"\ndo\nsync\nloop\n");
  dir.Write("short.vka", "print 1\n");
  const char* kRuns[] = {"\"$0\" run loop.vka --headless --transcript f", "\"$0\" run short.vka --headless --frames 2 --grab f"};
  for (const char* run : kRuns) {
    SCOPED_TRACE(run);
    std::filesystem::remove(dir.File("f"));
    const ProcessResult r = RunProcess(
        "/bin/sh",
        {"-c",
         std::string("mkfifo f && { ") + run + " 2>err & p=$!; i=0; "
             "until grep -q wait_for_partner /proc/$p/wchan 2>/dev/null || [ $i -ge 600 ]; do sleep 0.05; i=$((i+1)); done; "
             "kill -TERM $p; wait $p; echo $? >status; }",
         VellumarkExe()},
        dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.Read("status"), "0\n");
    EXPECT_EQ(dir.Read("err"), "");
  }
  // A run stopped before it writes its grab: a FIFO with no reader is not waited for. The signal
  // comes once the program runs.
  std::filesystem::remove(dir.File("f"));
  std::filesystem::remove(dir.File("ready"));
  const ProcessResult r = RunProcess(
      "/bin/sh",
      {"-c",
       std::string("mkfifo f && { \"$0\" run loop.vka --headless --grab f 2>err & p=$!; ") + kUntilReady +
           "kill -TERM $p; "
       "i=0; while kill -0 $p 2>/dev/null && [ $i -lt 1200 ]; do sleep 0.05; i=$((i+1)); done; "
       "kill -KILL $p 2>/dev/null; wait $p; echo $? >status; }",
       VellumarkExe()},
      dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Read("status"), "0\n");
  EXPECT_EQ(dir.Read("err"), "");
  // A reader that opens the FIFO and takes nothing: a stop ends the blocked write of the text or
  // of the grab (a screen of noise, far more than a pipe holds) as the usual stop.
  dir.Write("noisy.vka", "sync on\nfor i = 1 to 12000\nprint \"line \"; i\nnext i\ncls\n"
                         "for i = 1 to 100000\nink rgb(rnd(255), rnd(255), rnd(255)), 0\ndot rnd(639), rnd(479)\nnext i\n"
                         "sync\nmake file \"ready\"\ndo\nsync\nloop\n");
  // The signal comes once the text's write is blocked in the pipe; the grab is written after
  // the stop, so that one comes once the noise is drawn.
  const struct {
    const char* option;
    std::string until;
  } kHeld[] = {{"--transcript", kUntilBlocked}, {"--grab", kUntilReady}};
  for (const auto& [option, until] : kHeld) {
    SCOPED_TRACE(option);
    std::filesystem::remove(dir.File("f"));
    std::filesystem::remove(dir.File("ready"));
    const ProcessResult held = RunProcess(
        "/bin/sh",
        {"-c",
         std::string("mkfifo f && { sleep 60 <f & s=$!; \"$0\" run noisy.vka --headless ") + option +
             " f 2>err & p=$!; " + until + "kill -TERM $p; "
             "i=0; while kill -0 $p 2>/dev/null && [ $i -lt 1200 ]; do sleep 0.05; i=$((i+1)); done; "
             "kill -KILL $p $s 2>/dev/null; wait $p; echo $? >status; }",
         VellumarkExe()},
        dir.path());
    ASSERT_EQ(held.status, 0) << held.err;
    EXPECT_EQ(dir.Read("status"), "0\n");
    EXPECT_EQ(dir.Read("err"), "");
  }
}

}  // namespace
