#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "app/cli.h"
#include "platform/fs.h"
#include "runtime/game_build.h"
#include "tests/support/image_builder.h"
#include "tests/support/program_run.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// The run folders left in a folder of run folders.
size_t LeftoverRunFolders(const std::string& root) {
  size_t n = 0;
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator(root, ec)) n += e.path().filename().string().rfind("run-", 0) == 0;
  return n;
}

TEST(GameFile, ABuiltGameRunsItsPackedProgramAndCleansUp) {
  TempDir dir;
  ImageBuilder b;
  b.Text("unused literal");
  ASSERT_TRUE(b.WriteFile(dir.File("game.img")));
  std::string error;
  ASSERT_TRUE(WriteGameFile(VellumarkExe(), dir.File("game.img"), {{"media\\a.txt", dir.File("game.img")}},
                            dir.File("game"), &error))
      << error;
  EXPECT_EQ(std::filesystem::status(dir.File("game")).permissions() & std::filesystem::perms::owner_exec,
            std::filesystem::perms::owner_exec);
  // A game's start, as any start, keeps the text of an environment killed before it.
  const std::string root = dir.File("state/vellumark"), ended = root + "/run-2147483647-ended";
  std::filesystem::create_directories(ended);
  std::filesystem::permissions(root, std::filesystem::perms::owner_all);
  dir.Write("state/vellumark/run-2147483647-ended/owner.lock", "");
  dir.Write("state/vellumark/run-2147483647-ended/workfile.tmp", "typed\r\n");
  std::string record;  // file, source, folder, name, header bytes, the source's header
  for (const std::string& field : {ended + "/workfile.tmp", std::string(), dir.path(), std::string("prog.vka"),
                                   std::string("0"), std::string()})
    record += field + '\0';
  dir.Write("state/vellumark/run-2147483647-ended/work.rec", record);
  // A built game opens the real video driver, whose libraries keep some memory until exit:
  // the leak check of sanitizer builds is for our own code, which the in-process tests cover.
  const std::string noLeakCheck = "ASAN_OPTIONS=detect_leaks=0";
  ProcessResult r = RunProcess(dir.File("game"), {"--not-an-option"}, dir.path(),
                               {"XDG_STATE_HOME=" + dir.File("state"), "XDG_CONFIG_HOME=" + dir.File("config"),
                                noLeakCheck});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("kept in " + dir.File("prog.vka.recovered")), std::string::npos) << r.err;
  EXPECT_EQ(dir.Read("prog.vka.recovered"), "typed\r\n");
  EXPECT_TRUE(std::filesystem::exists(root));
  EXPECT_EQ(LeftoverRunFolders(root), 0u);

  // A game built from a game keeps one runtime part and one pack.
  ASSERT_TRUE(WriteGameFile(dir.File("game"), dir.File("game.img"), {}, dir.File("game2"), &error)) << error;
  EXPECT_EQ(std::filesystem::file_size(dir.File("game2")) < std::filesystem::file_size(dir.File("game")), true);
  EXPECT_EQ(RunProcess(dir.File("game2"), {}, dir.path(), {noLeakCheck}).status, 0);
}

// A game whose pack or program is damaged runs nothing and ends with status 3, saying its
// file and the cause under its own name.
TEST(GameFile, AGameWithADamagedPackOrImageSaysWhyWithStatus3) {
  TempDir dir;
  ImageBuilder b;
  ASSERT_TRUE(b.WriteFile(dir.File("game.img")));
  dir.Write("m.dat", std::string(300, 'm'));
  std::string error;
  ASSERT_TRUE(WriteGameFile(VellumarkExe(), dir.File("game.img"), {{"m.dat", dir.File("m.dat")}}, dir.File("game"),
                            &error))
      << error;
  const std::string good = dir.Read("game");
  const auto word = [](const std::string& s, size_t at) {
    uint32_t w;
    std::memcpy(&w, s.data() + at, 4);
    return w;
  };
  const size_t stub = word(good, good.size() - 4), nameLen = word(good, stub), sizeAt = stub + 4 + nameLen;
  const auto with = [&](size_t at, uint32_t value) {
    std::string s = good;
    std::memcpy(s.data() + at, &value, 4);
    return s;
  };
  std::string unterminated = good;
  unterminated[sizeAt - 1] = 'x';
  const std::string outside = "its last word does not place the pack inside the file";
  const std::pair<std::string, std::string> kCases[] = {
      {with(sizeAt, 0x7FFFFFFF), "an entry's data runs past the end of the pack"},
      {with(sizeAt, word(good, sizeAt) - 4), "its entry list ends before the pack does"},
      {with(stub, 0), "its entry list ends before the pack does"},
      {with(stub, 100000), "an entry's name is longer than 256 bytes"},
      {unterminated, "an entry's name has no end"},
      {with(good.size() - 4, 0), outside},
      {with(good.size() - 4, uint32_t(good.size())), outside},
      {good.substr(0, good.size() - 4), outside},
      {good.substr(0, good.size() - 100), outside},
  };
  for (const auto& [bytes, cause] : kCases) {
    dir.Write("broken", bytes);
    std::filesystem::permissions(dir.File("broken"), std::filesystem::perms::owner_all);
    ProcessResult r = RunProcess(dir.File("broken"), {}, dir.path(), {"ASAN_OPTIONS=detect_leaks=0"});
    EXPECT_EQ(r.status, 3) << cause;
    EXPECT_EQ(r.err, "broken: " + dir.File("broken") + ": the game's pack is damaged: " + cause + "\n");
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("_virtual.dat")));
  // A sound pack whose program image is damaged ends the same way.
  dir.Write("bad.img", std::string(4100, '\x01'));
  ASSERT_TRUE(WriteGameFile(VellumarkExe(), dir.File("bad.img"), {}, dir.File("badimage"), &error)) << error;
  ProcessResult r = RunProcess(dir.File("badimage"), {}, dir.path(), {"ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "badimage: " + dir.File("badimage") + ": the program image has an unknown format version\n");
}

TEST(GameFile, ExecOfADamagedImageEndsWithStatus3) {
  TempDir dir;
  dir.Write("bad.img", std::string("\x01\0\0\0\0\x04\0\0", 8) + std::string(4092, '\x01'));
  ProcessResult r = RunProcess(VellumarkExe(), {"exec", dir.File("bad.img"), "--headless"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("bad.img"), std::string::npos);
  // A file that is no program image at all does not load either; a missing one is a bad input file.
  dir.Write("text.img", std::string(4100, '\x01'));
  EXPECT_EQ(RunProcess(VellumarkExe(), {"exec", dir.File("text.img"), "--headless"}).status, 3);
  EXPECT_EQ(RunProcess(VellumarkExe(), {"exec", dir.File("missing.img"), "--headless"}).status, 2);
}

// `build` makes its game as any program is made: 0777 less the umask, new or replacing one.
TEST(GameFile, ABuiltGameFollowsTheUmask) {
  TempDir dir;
  dir.Write("g.vka", "end\n");
  const std::string exe = VellumarkExe(), source = dir.File("g.vka"), game = dir.File("game");
  for (const auto& [mask, mode] : {std::pair{022u, 0755u}, {077u, 0700u}, {002u, 0775u}}) {
    const pid_t pid = fork();
    if (pid == 0) {
      umask(mask);
      execl(exe.c_str(), exe.c_str(), "build", source.c_str(), "-o", game.c_str(), nullptr);
      _exit(127);
    }
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::filesystem::status(game).permissions(), std::filesystem::perms(mode)) << std::oct << mask;
  }
}

// A build killed (kill -9) while it wrote its game leaves its hidden temporary beside it; the
// next build into that folder removes it at once: its writer is gone and holds no lock on it.
TEST(GameFile, TheNextBuildRemovesAKilledBuildsTemporary) {
  TempDir dir;
  dir.Write("g.vka", "end\n");
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
  const std::string temp = ".vk-" + std::to_string(ended) + "-abcdef-ghijkl.tmp";
  dir.Write(temp, std::string(1 << 20, 'x'));
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("g.vka"), "-o", dir.File("game")}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File(temp)));
}

TEST(GameFile, ExecRunsAnImageAndReportsBadOptions) {
  TempDir dir;
  ImageBuilder b;
  ASSERT_TRUE(b.WriteFile(dir.File("ok.img")));
  EXPECT_EQ(RunProcess(VellumarkExe(), {"exec", dir.File("ok.img"), "--headless", "--frames", "3"}).status, 0);
  EXPECT_EQ(RunProcess(VellumarkExe(), {"exec", dir.File("ok.img"), "--frames"}).status, 2);
  EXPECT_EQ(RunProcess(VellumarkExe(), {"exec", dir.File("ok.img"), "--clock", "fast"}).status, 2);
}

TEST(GameFile, ARunTimeErrorEndsWithStatus1AndItsMessage) {
  TempDir dir;
  ProcessResult r;
  // A command whose subsystem is not built stops the program naming it.
  if (const int unbuilt = UnbuiltCommand()) {
    ImageBuilder b;
    b.Emit({unbuilt});
    ASSERT_TRUE(b.WriteFile(dir.File("err.img")));
    r = RunProcess(VellumarkExe(), {"exec", dir.File("err.img"), "--headless"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(std::to_string(unbuilt)), std::string::npos);
  }

  // With a window whose video driver shows no message box, the message reaches stderr once.
  dir.Write("div.vka", "a = 1 / 0\r\n");
  r = RunProcess(VellumarkExe(), {"run", dir.File("div.vka"), "--frames", "20"}, dir.path(),
                 {"SDL_VIDEODRIVER=offscreen", "ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(r.status, 1);
  size_t first = r.err.find("Error In Program: Runtime ");
  ASSERT_NE(first, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Error In Program", first + 1), std::string::npos) << r.err;
}

// A game carries the runtime without its debug information and symbol tables, and still finds
// its pack and runs: built by the tool, and built again from that game.
TEST(GameFile, ABuiltGameLeavesTheDebugInformationBehind) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("src"));
  dir.Write("src/prog.vka", "load bitmap \"pic.png\", 1\nif bitmap exist(1) = 1 then make file \"ran.txt\"\n");
  std::filesystem::copy_file(std::string(VK_SOURCE_DIR) + "/examples/media/backdrop.png", dir.File("src/pic.png"));
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("src/prog.vka"), "-o", dir.File("game"), "--media"}).status,
            0);
  ASSERT_EQ(RunProcess(VellumarkExe(), {"compile", dir.File("src/prog.vka"), "-o", dir.File("game.img")}).status, 0);
  std::string error;
  ASSERT_TRUE(WriteGameFile(dir.File("game"), dir.File("game.img"), {{"pic.png", dir.File("src/pic.png")}},
                            dir.File("again"), &error))
      << error;
  std::string runtime;
  ASSERT_TRUE(FsReadFile(VellumarkExe(), runtime));
  const bool debugInformation = runtime.find(".debug_info") != std::string::npos;
  for (const char* game : {"game", "again"}) {
    if (debugInformation) {
      EXPECT_LT(std::filesystem::file_size(dir.File(game)), runtime.size()) << game;
    }
    std::filesystem::remove(dir.File("ran.txt"));
    ProcessResult r = RunProcess(dir.File(game), {}, dir.path(), {"ASAN_OPTIONS=detect_leaks=0"});
    EXPECT_EQ(r.status, 0) << game << ": " << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.File("ran.txt"))) << game;
  }
}

// A game reads its packed data file through a file stream, and as a file block, where no real
// file of that name is.
TEST(GameFile, ABuiltGameReadsItsPackedDataFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("src"));
  dir.Write("src/prog.vka",
            "open to read 1, \"level.txt\"\nread string 1, a$\nclose file 1\n"
            "open to write 2, \"out.txt\"\nwrite string 2, a$\nwrite fileblock 2, \"level.txt\"\nclose file 2\n");
  dir.Write("src/level.txt", "level one\r\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("src/prog.vka"), "-o", dir.File("game"), "--media"}).status,
            0);
  ProcessResult r = RunProcess(dir.File("game"), {}, dir.path(), {"ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Read("out.txt"), std::string("level one\r\n\x0b\0\0\0level one\r\n", 26));
}

}  // namespace

namespace {

TEST(RunCommand, OutputFilesAreRelativeToTheCallersFolder) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("src"));
  std::filesystem::create_directory(dir.File("work"));
  dir.Write("src/prog.vka", "print \"hi\"\r\n");
  ProcessResult r = RunProcess(VellumarkExe(),
                               {"run", dir.File("src/prog.vka"), "--headless", "--clock", "virtual", "--frames", "5",
                                "--transcript", "out.txt", "--grab", "out.png"},
                               dir.File("work"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Read("work/out.txt"), "hi\n");
  EXPECT_TRUE(std::filesystem::exists(dir.File("work/out.png")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("src/out.txt")));
}

// exec and a built game report a run-time error with the language file's text, as run does.
TEST(GameFile, ExecAndBuiltGamesShowTheErrorTexts) {
  TempDir dir;
  dir.Write("index.vka", "dim a(3)\na(5) = 1\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"compile", dir.File("index.vka"), "-o", dir.File("index.img")}).status, 0);
  const std::string text = "Runtime Error : Array index out of range.";
  ProcessResult r = RunProcess(VellumarkExe(), {"exec", dir.File("index.img"), "--headless"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
  std::string error;
  ASSERT_TRUE(WriteGameFile(VellumarkExe(), dir.File("index.img"), {}, dir.File("game"), &error)) << error;
  r = RunProcess(dir.File("game"), {}, dir.path(), {"ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
}

// A run that stops at a compile error or is ended by a hang-up leaves no temporary folder,
// and a run removes the folders of runs whose process has ended. A live owner is told by the
// lock it holds on its folder's lock file, not by its pid (which another pid namespace would
// not have); only a folder without that file (an earlier version's) by its pid.
TEST(GameFile, RunsLeaveNoTemporaryFolders) {
  TempDir dir;
  const std::string state = dir.File("state"), root = state + "/vellumark";
  // Where run folders were kept before (and are when the state folder cannot be made).
  const std::string tmp = dir.File("tmp"), tmpRoot = tmp + "/vellumark-" + std::to_string(getuid());
  std::filesystem::create_directories(tmpRoot + "/run-2147483647-earlier");
  std::filesystem::permissions(tmpRoot, std::filesystem::perms::owner_all);
  const std::string alive = root + "/run-2147483646-alive";
  std::filesystem::create_directories(root + "/run-2147483647-gone");
  dir.Write("state/vellumark/run-2147483647-gone/input.txt", "");
  std::filesystem::create_directories(alive);
  std::filesystem::create_directories(root + "/run-" + std::to_string(getppid()) + "-unlocked");
  std::filesystem::create_directory(root + "/run-" + std::to_string(getpid()) + "-earlier");
  std::filesystem::create_directory(root + "/new-2147483645-making");  // being made, not yet locked
  std::filesystem::permissions(root, std::filesystem::perms::owner_all);
  dir.Write("state/vellumark/run-" + std::to_string(getppid()) + "-unlocked/owner.lock", "");
  const int lock = open((alive + "/owner.lock").c_str(), O_RDONLY | O_CREAT, 0600);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  dir.Write("bad.vka", "for i=1 to\n");
  const std::vector<std::string> env = {"XDG_STATE_HOME=" + state, "TMPDIR=" + tmp, "ASAN_OPTIONS=detect_leaks=0"};
  EXPECT_EQ(RunProcess(VellumarkExe(), {"run", dir.File("bad.vka"), "--headless"}, dir.path(), env).status, 2);
  EXPECT_FALSE(std::filesystem::exists(root + "/run-2147483647-gone"));
  EXPECT_EQ(LeftoverRunFolders(tmpRoot), 0u);
  EXPECT_EQ(LeftoverRunFolders(root), 2u);  // the locked one and the earlier version's of a live pid
  EXPECT_TRUE(std::filesystem::exists(alive));
  EXPECT_TRUE(std::filesystem::exists(root + "/new-2147483645-making"));

  dir.Write("loop.vka", "print \"ready\"\ndo\nsync\nloop\n");
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // A hang-up ignored or blocked by this process (nohup, a service) would be the child's too.
    signal(SIGHUP, SIG_DFL);
    sigset_t hangup;
    sigemptyset(&hangup);
    sigaddset(&hangup, SIGHUP);
    sigprocmask(SIG_UNBLOCK, &hangup, nullptr);
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    execl(VellumarkExe().c_str(), "vellumark", "run", dir.File("loop.vka").c_str(), "--headless", "--transcript", "-",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  const auto msLeft = [&] {
    return int(std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now()).count()));
  };
  std::string seen;
  char buf[256];
  for (pollfd p{out[0], POLLIN, 0}; seen.find("ready") == std::string::npos && poll(&p, 1, msLeft()) > 0;) {
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    seen.append(buf, size_t(n));
  }
  EXPECT_EQ(LeftoverRunFolders(root), 3u);
  kill(pid, SIGHUP);
  int status = 0;
  pid_t ended = 0;
  while ((ended = waitpid(pid, &status, WNOHANG)) == 0 && msLeft() > 0) usleep(5000);
  if (ended != pid) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "the hang-up did not end the run";
  }
  close(out[0]);
  // A hang-up ends the run as a stop signal does.
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(LeftoverRunFolders(root), 2u);
  close(lock);
}

}  // namespace
