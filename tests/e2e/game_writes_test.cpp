// A built game keeps what it writes over the files of its pack, and says every write it loses.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr uid_t kNobody = 65534;

// Runs the program in the folder as a user who may not write there: user nobody when the test
// runs as root, the test's own user otherwise (the folder is then made read-only by the caller).
// input goes to its stdin through a pipe of that user's; state is its XDG_STATE_HOME. Returns its
// status and stderr.
ProcessResult RunAsAnotherUser(const std::string& program, const std::vector<std::string>& args,
                               const std::string& folder, const std::string& input = "",
                               const std::string& state = "/tmp") {
  ProcessResult result;
  int err[2];
  if (pipe(err) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(err[1], 2);
    close(err[0]);
    close(err[1]);
    UseDefaultSignals();
    if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(126);
    int in[2];
    if (pipe(in) != 0) _exit(125);
    if (fork() == 0) {
      close(in[0]);
      _exit(write(in[1], input.data(), input.size()) == ssize_t(input.size()) ? 0 : 1);
    }
    dup2(in[0], 0);
    close(in[0]);
    close(in[1]);
    for (const char* e : {"HOME=/nonexistent", "XDG_CONFIG_HOME=/nonexistent", "ASAN_OPTIONS=detect_leaks=0"})
      putenv(const_cast<char*>(e));
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    if (chdir(folder.c_str()) != 0) _exit(127);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(err[1]);
  char buf[4096];
  for (ssize_t n; (n = read(err[0], buf, sizeof buf)) > 0;) result.err.append(buf, size_t(n));
  close(err[0]);
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

// Lets another user reach the folder (and read what is in it).
void OpenToOthers(const std::string& folder) {
  for (std::filesystem::path p = folder; p.has_relative_path() && p != "/tmp"; p = p.parent_path()) {
    struct stat st;
    if (stat(p.c_str(), &st) == 0) chmod(p.c_str(), st.st_mode | 0005);
  }
}

ProcessResult RunGame(const TempDir& dir) {
  return RunProcess(dir.File("play/game"), {}, dir.File("play"), {"ASAN_OPTIONS=detect_leaks=0"});
}

// A folder block of the game's own folder, named "." or "", takes every file its pack holds there.
TEST(GameWrites, AFolderBlockOfTheGamesFolderTakesItsPackedFiles) {
  TempDir dir;
  for (const char* folder : {"src", "play"}) std::filesystem::create_directories(dir.File(folder));
  dir.Write("src/only.txt", "packed only\r\n");
  std::filesystem::create_directories(dir.File("src/pk/sub"));
  dir.Write("src/pk/sub/deep.txt", "deep\r\n");
  dir.Write("src/pk/sub/gone.txt", "gone\r\n");
  // A folder named with '/' as with '\'; a packed file the program deleted is not in the block.
  dir.Write("src/prog.vka",
            "open to write 1, \"../b1.dat\"\nwrite dirblock 1, \".\"\nclose file 1\n"
            "open to write 2, \"../b2.dat\"\nwrite dirblock 2, \"\"\nclose file 2\n"
            "open to read 1, \"../b1.dat\"\nread dirblock 1, \"../out1\"\nclose file 1\n"
            "open to read 2, \"../b2.dat\"\nread dirblock 2, \"../out2\"\nclose file 2\n"
            "delete file \"pk\\sub\\gone.txt\"\n"
            "open to write 3, \"../b3.dat\"\nwrite dirblock 3, \"pk/sub\"\nclose file 3\n"
            "open to read 3, \"../b3.dat\"\nread dirblock 3, \"../out3\"\nclose file 3\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("src/prog.vka"), "--media", "-o", dir.File("play/game")}).status,
            0);
  const ProcessResult r = RunGame(dir);
  EXPECT_EQ(r.status, 1) << r.err;  // the deleted packed file comes back at the next start: said
  EXPECT_NE(r.err.find("cannot delete pk\\sub\\gone.txt"), std::string::npos) << r.err;
  EXPECT_EQ(dir.Read("out1/only.txt"), "packed only\r\n");
  EXPECT_EQ(dir.Read("out2/only.txt"), "packed only\r\n");
  EXPECT_EQ(dir.Read("out3/deep.txt"), "deep\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("out3/gone.txt")));
}

// A game built with its project's files packed writes over them: each write goes to disk, a
// delete makes the name not found, and the next start reads the disk's copy before the pack's.
TEST(GameWrites, WritesOverPackedFilesAreKeptAndFoundFirst) {
  TempDir dir;
  for (const char* folder : {"src/pk", "src/pm", "play/pm"}) std::filesystem::create_directories(dir.File(folder));
  const struct {
    const char* file;      // packed with the text "packed"
    const char* commands;  // write the file
    std::string kept;      // what the disk holds after the first start ("" none)
  } rows[] = {
      {"o.txt", "open to write 1, \"o.txt\"\nwrite string 1, \"open\"\nclose file 1\n", "open\r\n"},
      {"m.txt", "make file \"m.txt\"\n", ""},
      {"c.txt", "copy file \"from.txt\", \"c.txt\"\n", "packed source\r\n"},
      {"r.txt", "make file \"w.txt\"\nrename file \"w.txt\", \"r.txt\"\n", ""},
      {"a.arr", "dim a(1)\na(0) = 7\nsave array \"a.arr\", a(0)\n", std::string("\7\0\0\0\0\0\0\0", 8)},
      {"b.txt", "open to write 2, \"blk.dat\"\nwrite fileblock 2, \"from.txt\"\nclose file 2\n"
                "open to read 2, \"blk.dat\"\nread fileblock 2, \"b.txt\"\nclose file 2\n", "packed source\r\n"},
      {"y.txt", "write byte to file \"y.txt\", 0, 80\n", "Packed\r\n"},
      // A folder only the pack holds, and one on disk too: the block takes the packed files,
      // the disk's first.
      {"pk/a.txt", "open to write 4, \"dir.blk\"\nwrite dirblock 4, \"pk\"\nwrite dirblock 4, \"pm\"\nclose file 4\n"
                   "open to read 4, \"dir.blk\"\nread dirblock 4, \"out1\"\nread dirblock 4, \"out2\"\nclose file 4\n", ""},
  };
  std::string program = "sync on\n";
  for (const auto& row : rows) {
    dir.Write(std::string("src/") + row.file, "packed\r\n");
    program += row.commands;
  }
  dir.Write("src/from.txt", "packed source\r\n");
  dir.Write("src/d.txt", "packed\r\n");
  dir.Write("src/pm/a.txt", "packed\r\n");
  dir.Write("src/pm/b.txt", "packed b\r\n");
  dir.Write("play/pm/a.txt", "disk\r\n");
  // A packed file the program deletes is not found afterwards in that run.
  program += "delete file \"d.txt\"\nopen to write 3, \"seen.txt\"\nwrite string 3, str$(file exist(\"d.txt\"))\n"
             "write string 3, str$(file size(\"m.txt\"))\nclose file 3\nmake file \"d.txt\"\n";

  dir.Write("src/prog.vka", program);
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("src/prog.vka"), "--media", "-o", dir.File("play/game")}).status,
            0);
  ProcessResult r = RunGame(dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("cannot"), std::string::npos) << r.err;
  for (const auto& row : rows) EXPECT_EQ(dir.Read(std::string("play/") + row.file), row.kept) << row.file;
  EXPECT_EQ(dir.Read("play/seen.txt"), "0\r\n0\r\n");
  EXPECT_EQ(dir.Read("play/out1/a.txt"), "packed\r\n");
  EXPECT_EQ(dir.Read("play/out2/a.txt"), "disk\r\n");
  EXPECT_EQ(dir.Read("play/out2/b.txt"), "packed b\r\n");
  // A copy of a packed file is made as any new file is: 0666 less the umask.
  const mode_t mask = umask(0);
  umask(mask);
  struct stat st;
  ASSERT_EQ(stat(dir.File("play/c.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

  // A high score is kept from start to start, the packed one the first start's.
  dir.Write("src/best.txt", "10\r\n");
  dir.Write("src/prog.vka",
            "open to read 1, \"best.txt\"\nread string 1, a$\nclose file 1\ndelete file \"best.txt\"\n"
            "open to write 1, \"best.txt\"\nwrite string 1, str$(val(a$) + 1)\nclose file 1\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("src/prog.vka"), "--media", "-o", dir.File("play/game")}).status,
            0);
  std::filesystem::remove(dir.File("play/best.txt"));
  for (const char* score : {"11\r\n", "12\r\n", "13\r\n"}) {
    r = RunGame(dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.Read("play/best.txt"), score);
  }

  // A packed file deleted, then written again under a folder made since in another case: kept,
  // so nothing is said.
  std::filesystem::create_directories(dir.File("src/pk2"));
  dir.Write("src/pk2/q.txt", "packed\r\n");
  dir.Write("src/prog.vka", "delete file \"PK2/q.txt\"\nmake directory \"pk2\"\nopen to write 3, \"PK2/q.txt\"\n"
                            "write string 3, \"mine\"\nclose file 3\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("src/prog.vka"), "--media", "-o", dir.File("play/game")}).status,
            0);
  r = RunGame(dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Read("play/pk2/q.txt"), "mine\r\n");

  // A packed file deleted and not written again is found again at the next start: that is said.
  dir.Write("src/prog.vka", "delete file \"best.txt\"\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("src/prog.vka"), "--media", "-o", dir.File("play/game")}).status,
            0);
  std::filesystem::remove(dir.File("play/best.txt"));
  r = RunGame(dir);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("game: cannot delete best.txt: it is packed in the game"), std::string::npos) << r.err;
}

// A built game in a folder it may not write goes on past each write it loses, says each once
// with the file and the cause, under its own name, and ends with status 1.
TEST(GameWrites, AWriteLostInAFolderThatCannotBeWrittenIsSaidOnce) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("play/open"));
  const struct {
    const char* commands;
    const char* said;
  } rows[] = {
      {"open to write 1, \"o.txt\"\nwrite string 1, \"a\"\nwrite string 1, \"b\"\nclose file 1\n", "cannot write o.txt: permission denied"},
      {"make file \"m.txt\"\n", "cannot write m.txt: permission denied"},
      {"copy file \"kept.txt\", \"c.txt\"\n", "cannot write c.txt: permission denied"},
      {"rename file \"kept.txt\", \"r.txt\"\n", "cannot write r.txt: permission denied"},
      {"delete file \"kept.txt\"\n", "cannot delete kept.txt: permission denied"},
      {"make directory \"d\"\n", "cannot make the folder d: permission denied"},
      {"open to read 2, \"blk.dat\"\nread fileblock 2, \"b.txt\"\nclose file 2\n", "cannot write b.txt: permission denied"},
      {"write byte to file \"byte.dat\", 0, 66\n", "cannot write byte.dat: it is read-only"},
      {"open to read 3, \"dir.blk\"\nread dirblock 3, \"dbout\"\nclose file 3\n", "cannot write dbout: permission denied"},
      {"delete directory \"sub\"\n", "cannot delete the folder sub: permission denied"},
  };
  std::string program;
  for (const auto& row : rows) program += row.commands;
  // The game goes on past them.
  program += "make file \"open/after.txt\"\n";
  dir.Write("play/prog.vka", program);
  dir.Write("play/kept.txt", "kept\r\n");
  std::filesystem::create_directories(dir.File("play/sub"));
  dir.Write("play/blk.dat", std::string("\2\0\0\0ab", 6));
  dir.Write("play/byte.dat", "b");
  chmod(dir.File("play/byte.dat").c_str(), 0444);
  dir.Write("play/dir.blk", std::string("\1\0\0\0\6\0\0\0a.txt\0\1\0\0\0a", 19));
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("play/prog.vka"), "-o", dir.File("play/game")}).status, 0);
  OpenToOthers(dir.File("play"));
  // Made under any umask: the other user runs the game and reads its files.
  chmod(dir.File("play/game").c_str(), 0755);
  for (const char* file : {"play/kept.txt", "play/blk.dat", "play/dir.blk"}) chmod(dir.File(file).c_str(), 0644);
  chmod(dir.File("play").c_str(), 0555);
  chmod(dir.File("play/open").c_str(), 0777);
  const ProcessResult r = RunAsAnotherUser(dir.File("play/game"), {}, dir.File("play"));
  chmod(dir.File("play").c_str(), 0755);
  EXPECT_EQ(r.status, 1) << r.err;
  for (const auto& row : rows) {
    const size_t at = r.err.find(std::string("game: ") + row.said + "\n");
    EXPECT_NE(at, std::string::npos) << row.said << "\n" << r.err;
    EXPECT_EQ(r.err.find(row.said, r.err.find(row.said) + 1), std::string::npos) << "said twice: " << row.said;
  }
  EXPECT_TRUE(std::filesystem::exists(dir.File("play/open/after.txt")));
  EXPECT_EQ(dir.Read("play/kept.txt"), "kept\r\n");
  EXPECT_EQ(dir.Read("play/byte.dat"), "b");

  // A byte written into a file only the pack holds needs its disk copy first: where that cannot
  // be made, the write is lost and said.
  std::filesystem::create_directories(dir.File("src2"));
  std::filesystem::create_directories(dir.File("play2"));
  dir.Write("src2/pk.dat", "packed");
  dir.Write("src2/prog.vka", "write byte to file \"pk.dat\", 0, 66\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("src2/prog.vka"), "--media", "-o", dir.File("play2/game")}).status,
            0);
  OpenToOthers(dir.File("play2"));
  chmod(dir.File("play2/game").c_str(), 0755);
  chmod(dir.File("play2").c_str(), 0555);
  const ProcessResult packed = RunAsAnotherUser(dir.File("play2/game"), {}, dir.File("play2"));
  chmod(dir.File("play2").c_str(), 0755);
  EXPECT_EQ(packed.status, 1) << packed.err;
  EXPECT_NE(packed.err.find("game: cannot write pk.dat: permission denied\n"), std::string::npos) << packed.err;

  // A source that cannot be read, its run's --input piped, is said with its cause, and the run
  // folder that holds the input read goes.
  chmod(dir.File("play/prog.vka").c_str(), 0);
  const std::string state = dir.File("state");
  std::filesystem::create_directory(state);
  ASSERT_EQ(chown(state.c_str(), getuid() == 0 ? kNobody : getuid(), getuid() == 0 ? kNobody : getgid()), 0);
  const ProcessResult unread = RunAsAnotherUser(VellumarkExeForAnyUser(), {"run", "prog.vka", "--headless", "--input", "/dev/stdin"},
                                                dir.File("play"), "5 key A down\n", state);
  EXPECT_EQ(unread.status, 2);
  EXPECT_NE(unread.err.find("vellumark: prog.vka: cannot be read: permission denied\n"), std::string::npos) << unread.err;
  ASSERT_TRUE(std::filesystem::is_directory(state + "/vellumark")) << unread.err;
  EXPECT_TRUE(std::filesystem::is_empty(state + "/vellumark"));
}

// An image or bitmap save waits for the next refresh; a program that ends before it has its
// saves done all the same, as a built game and as a run.
TEST(GameWrites, SavesLeftForTheNextRefreshAreDoneAtTheEnd) {
  TempDir dir;
  const std::string saves = "sync on\ncls rgb(0,255,0)\ncreate bitmap 1,8,8\nsync\nget image 1,0,0,8,8\nsync\n"
                            "save bitmap \"y.bmp\",0\nsave bitmap \"z.bmp\",1\nsave image \"x.png\",1\n";
  const struct {
    bool built;
    const char* ending;
  } rows[] = {{true, "end\n"}, {true, ""}, {false, "end\n"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.built ? "game " : "run ") + row.ending);
    dir.Write("prog.vka", saves + row.ending);
    ProcessResult r;
    if (row.built) {
      ASSERT_EQ(RunProcess(VellumarkExe(), {"build", "prog.vka", "-o", "game"}, dir.path()).status, 0);
      r = RunProcess(dir.File("game"), {}, dir.path(), {"ASAN_OPTIONS=detect_leaks=0"});
    } else {
      r = RunProcess(VellumarkExe(), {"run", "prog.vka", "--headless"}, dir.path());
    }
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* file : {"x.png", "y.bmp", "z.bmp"}) EXPECT_TRUE(std::filesystem::remove(dir.File(file))) << file;
  }
}

}  // namespace
