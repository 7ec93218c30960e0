// The files of the command line: opened at the host paths given, never written over an input,
// and a write that fails is said with its cause and fails the command.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <atomic>
#include <set>
#include <thread>
#include <tuple>
#include <string>
#include <vector>

#include "app/cli.h"
#include "platform/fs.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kNotPrepared = 125;

// Runs the tool in folder (its stdout and stderr in err). prepare runs in the child first; when
// it returns false the result's status is kNotPrepared. exe: the executable ("" this build's).
ProcessResult RunTool(const std::vector<std::string>& args, const std::string& folder,
                      const std::function<bool()>& prepare = {}, std::string exe = "") {
  ProcessResult result;
  if (exe.empty()) exe = VellumarkExe();
  int out[2];
  if (pipe(out) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(out[1], 2);
    close(out[0]);
    close(out[1]);
    const int none = open("/dev/null", O_RDONLY);
    if (none >= 0) dup2(none, 0);
    DefaultSignals();
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    if (chdir(folder.c_str()) != 0 || (prepare && !prepare())) _exit(kNotPrepared);
    std::vector<char*> argv{const_cast<char*>("vellumark")};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  char buf[4096];
  ssize_t n;
  while (pid > 0 && (n = read(out[0], buf, sizeof buf)) > 0) result.err.append(buf, size_t(n));
  close(out[0]);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

std::vector<std::string> RunArgs(const std::string& file, std::vector<std::string> more = {}) {
  std::vector<std::string> args{"run", file, "--headless", "--clock", "virtual", "--frames", "2"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

std::set<std::string> Names(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.insert(e.path().filename().string());
  return names;
}

// A UTF-8 and a Latin-1 name of one letter are two files: each is compiled to the image beside
// it, and that image runs; each is built into the game of its name.
TEST(CommandFiles, NamesAreTheBytesGiven) {
  TempDir dir;
  const std::pair<std::string, std::string> kNames[] = {{"\xc3\xa9", "utf8"}, {"\xe9", "latin1"}};
  for (const auto& [name, text] : kNames) dir.Write(name + ".vka", "print \"" + text + "\"\n");
  std::set<std::string> expected;
  for (const auto& [name, text] : kNames) {
    ProcessResult compiled = RunTool({"compile", name + ".vka"}, dir.path());
    EXPECT_EQ(compiled.status, 0) << text << compiled.err;
    ProcessResult ran = RunTool({"exec", name + ".img", "--headless", "--frames", "2", "--transcript", name + ".txt"},
                                dir.path());
    EXPECT_EQ(ran.status, 0) << text << ran.err;
    EXPECT_EQ(dir.Read(name + ".txt"), text + "\n");
    EXPECT_EQ(RunTool({"build", name + ".vka"}, dir.path()).status, 0) << text;
    expected.insert({name + ".vka", name + ".img", name + ".txt", name});
  }
  EXPECT_EQ(Names(dir), expected);
}

// edit opens and saves the file named: a name that is not UTF-8 beside its UTF-8 twin, and a name
// not there yet, which F3 makes. A name in a folder that is not there, or of a folder, is refused.
TEST(CommandFiles, EditOpensAndSavesTheFileNamed) {
  TempDir dir;
  dir.Write("caf\xe9.vka", "rem raw\r\n");
  dir.Write("caf\xc3\xa9.vka", "rem twin\r\n");
  std::filesystem::create_directories(dir.File("config/vellumark"));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  dir.Write("keys.txt", "2 type x\n10 key F3 down\n11 key F3 up\n");
  const auto settings = [&] { return setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1) == 0; };
  for (const char* name : {"caf\xe9.vka", "new.vka"}) {
    ProcessResult r = RunTool({"edit", name, "--headless", "--clock", "virtual", "--input", "keys.txt", "--frames", "20"},
                              dir.path(), settings);
    EXPECT_EQ(r.status, 0) << name << r.err;
  }
  EXPECT_EQ(dir.Read("caf\xe9.vka"), "xrem raw\r\n");
  EXPECT_EQ(dir.Read("caf\xc3\xa9.vka"), "rem twin\r\n");
  EXPECT_EQ(dir.Read("new.vka"), "x\r\n");
  for (const char* says : {"none/new.vka: no such folder", "config: is a folder"}) {
    const std::string name = std::string(says).substr(0, std::string(says).find(':'));
    ProcessResult r = RunTool({"edit", name, "--headless", "--frames", "2"}, dir.path(), settings);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("none")));
}

// An output is written at the name given, not over a file whose name differs in case; an input
// not there as written is still found ignoring case.
TEST(CommandFiles, OutputsAreWrittenAtTheNameGiven) {
  TempDir dir;
  dir.Write("one.vka", "print \"one\"\n");
  dir.Write("two.vka", "print \"two\"\n");
  dir.Write("notes.txt", "kept");
  ASSERT_EQ(RunTool({"compile", "one.vka", "-o", "game.img"}, dir.path()).status, 0);
  const std::string first = dir.Read("game.img");
  EXPECT_EQ(RunTool({"compile", "two.vka", "-o", "Game.img"}, dir.path()).status, 0);
  EXPECT_EQ(dir.Read("game.img"), first);
  EXPECT_NE(dir.Read("Game.img"), first);
  EXPECT_EQ(RunTool(RunArgs("one.vka", {"--transcript", "NOTES.TXT"}), dir.path()).status, 0);
  EXPECT_EQ(dir.Read("notes.txt"), "kept");
  EXPECT_EQ(dir.Read("NOTES.TXT"), "one\n");
  ProcessResult found = RunTool(RunArgs("ONE.VKA", {"--transcript", "out.txt"}), dir.path());
  EXPECT_EQ(found.status, 0) << found.err;
  EXPECT_EQ(dir.Read("out.txt"), "one\n");
}

// An output that is an input of the command (by its name or another link to it: the source, an
// included file, a packed media file) or its other output is refused and the input left as it
// was.
TEST(CommandFiles, AnOutputThatIsAnInputIsRefused) {
  TempDir dir;
  dir.Write("a.vka", "#include \"inc\\lib.vka\"\nprint 1\n");
  std::filesystem::create_directories(dir.File("inc"));
  dir.Write("inc/lib.vka", "function f()\nendfunction\n");
  dir.Write("in.txt", "1 key A down\n");
  dir.Write("inc/pic.png", "picture");
  dir.Write("same.out", "kept");
  dir.Write("VK.LOG", "1 key A down\n");
  dir.Write("SETUP.INI", "[SETTINGS]\r\nTEXTLANGUAGE-CHARSET=204\r\n");
  std::filesystem::create_directories(dir.File("lg"));
  dir.Write("lg/d.vka", "#include \"VK.LOG\"\nprint 1\n");
  dir.Write("lg/VK.LOG", "function g()\nendfunction\n");
  std::filesystem::create_directories(dir.File("ls"));
  dir.Write("ls/SETUP.INI", "[SETTINGS]\nRUNTIMETEST=1\n");
  dir.Write("ls/a.vka", "print 1\n");
  dir.Write("ls/i.vka", "#include \"VK.VKA\"\nprint 1\n");
  dir.Write("ls/VK.VKA", "function h()\nendfunction\n");
  ASSERT_EQ(RunTool({"compile", "a.vka", "-o", "a.img"}, dir.path()).status, 0);
  ASSERT_EQ(link(dir.File("a.vka").c_str(), dir.File("other.vka").c_str()), 0);
  const std::string source = dir.Read("a.vka"), image = dir.Read("a.img");
  const std::vector<std::string> kCases[] = {
      {"compile", "a.vka", "-o", "a.vka"},
      {"compile", "a.vka", "-o", "other.vka"},
      {"build", "a.vka", "-o", "a.vka"},
      {"build", "--image", "a.img", "-o", "a.img"},
      RunArgs("a.vka", {"--transcript", "a.vka"}),
      RunArgs("a.vka", {"--grab", "a.vka"}),
      RunArgs("a.vka", {"--input", "in.txt", "--transcript", "in.txt"}),
      {"exec", "a.img", "--headless", "--frames", "2", "--transcript", "a.img"},
      {"edit", "a.vka", "--headless", "--frames", "2", "--transcript", "a.vka"},
      RunArgs("a.vka", {"--transcript", "inc/lib.vka"}),
      RunArgs("a.vka", {"--grab", "./inc/../inc/lib.vka"}),
      {"edit", "a.vka", "--headless", "--frames", "2", "--transcript", "inc/lib.vka"},
      {"compile", "a.vka", "-o", "inc/lib.vka"},
      {"build", "a.vka", "-o", "inc/lib.vka"},
      {"build", "a.vka", "--media", "-o", "inc/pic.png"},
      RunArgs("a.vka", {"--transcript", "same.out", "--grab", "same.out"}),
      {"exec", "a.img", "--headless", "--frames", "2", "--grab", "same.out", "--transcript", "same.out"},
      RunArgs("a.vka", {"--transcript", "new.out", "--grab", "inc/../new.out"}),
      RunArgs("a.vka", {"--debug", "--input", "VK.LOG"}),
      RunArgs("a.vka", {"--debug", "--transcript", "VK.LOG"}),
      {"exec", "a.img", "--headless", "--frames", "2", "--debug", "--grab", "VK.LOG"},
      RunArgs("lg/d.vka", {"--debug"}),
      {"edit", "lg/d.vka", "--headless", "--frames", "2", "--debug"},
      {"compile", "a.vka", "-o", "SETUP.INI"},
      {"build", "a.vka", "-o", "SETUP.INI"},
      RunArgs("a.vka", {"--transcript", "SETUP.INI"}),
      {"compile", "ls/a.vka", "-o", "ls/VK.VKA"},
      RunArgs("ls/i.vka"),
      RunArgs("ls/a.vka", {"--transcript", "ls/VK.VKA"}),
  };
  for (const auto& args : kCases) {
    ProcessResult r = RunTool(args, dir.path());
    EXPECT_EQ(r.status, 2) << args[0] << " " << args.back() << r.err;
    EXPECT_NE(r.err.find("would write over the "), std::string::npos) << r.err;
    EXPECT_EQ(dir.Read("a.vka"), source);
    EXPECT_EQ(dir.Read("a.img"), image);
    EXPECT_EQ(dir.Read("in.txt"), "1 key A down\n");
    EXPECT_EQ(dir.Read("inc/lib.vka"), "function f()\nendfunction\n");
    EXPECT_EQ(dir.Read("inc/pic.png"), "picture");
    EXPECT_EQ(dir.Read("same.out"), "kept");
    EXPECT_FALSE(std::filesystem::exists(dir.File("new.out")));
    EXPECT_EQ(dir.Read("VK.LOG"), "1 key A down\n");
    EXPECT_EQ(dir.Read("lg/VK.LOG"), "function g()\nendfunction\n");
    EXPECT_EQ(dir.Read("ls/VK.VKA"), "function h()\nendfunction\n");
    EXPECT_EQ(dir.Read("SETUP.INI"), "[SETTINGS]\r\nTEXTLANGUAGE-CHARSET=204\r\n");
  }
  // Standard output is known by the file it opens, "-" as /dev/stdout: appended to the image,
  // it is an input. The game begins with the executable that builds it: never written over.
  for (const char* option : {"--transcript", "--grab"}) {
    ProcessResult r = RunTool({"exec", "a.img", "--headless", "--frames", "2", option, "-"}, dir.path(), [] {
      const int image = open("a.img", O_WRONLY | O_APPEND);
      return image >= 0 && dup2(image, 1) == 1;
    });
    EXPECT_EQ(r.status, 2) << option << r.err;
    EXPECT_NE(r.err.find(std::string(option) + " - would write over the program image a.img"), std::string::npos) << r.err;
    EXPECT_EQ(dir.Read("a.img"), image);
  }
  std::filesystem::copy_file(VellumarkExe(), dir.File("vellumark"));
  const auto runtime = std::filesystem::file_size(dir.File("vellumark"));
  ProcessResult self = RunProcess(dir.File("vellumark"), {"build", "a.vka", "-o", "vellumark"}, dir.path());
  EXPECT_EQ(self.status, 2) << self.err;
  EXPECT_NE(self.err.find("-o vellumark would write over the runtime "), std::string::npos) << self.err;
  EXPECT_EQ(std::filesystem::file_size(dir.File("vellumark")), runtime);
  // The settings beside the executable are read where the source's folder has none.
  ProcessResult settings = RunProcess(dir.File("vellumark"), {"compile", "inc/lib.vka", "-o", "SETUP.INI"}, dir.path());
  EXPECT_EQ(settings.status, 2) << settings.err;
  EXPECT_EQ(dir.Read("SETUP.INI"), "[SETTINGS]\r\nTEXTLANGUAGE-CHARSET=204\r\n");
  // A device is written into, never over: it may be both outputs, and an input too.
  EXPECT_EQ(RunTool(RunArgs("a.vka", {"--input", "/dev/null", "--transcript", "/dev/null", "--grab", "/dev/null"}),
                    dir.path()).status, 0);
  // Without debug mode (or the settings that ask for the log) VK.LOG is a file as any other.
  EXPECT_EQ(RunTool(RunArgs("a.vka", {"--transcript", "VK.LOG"}), dir.path()).status, 0);
  EXPECT_EQ(dir.Read("VK.LOG"), "1\n");
}

// A debug log that is a link, to the source even, is no output of the run: the start replaces it.
TEST(CommandFiles, ADebugLogThatIsALinkIsReplaced) {
  TempDir dir;
  dir.Write("p.vka", "print 1\n");
  std::filesystem::create_symlink("p.vka", dir.File("VK.LOG"));
  ProcessResult r = RunTool(RunArgs("p.vka", {"--debug"}), dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Read("p.vka"), "print 1\n");
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("VK.LOG")));
}

// A name that stands for a descriptor is written through it, at its place: a log the output is
// appended to keeps what it held and stays the file it was.
TEST(CommandFiles, ADescriptorsNameIsWrittenThroughIt) {
  TempDir dir;
  dir.Write("a.vka", "print \"hi\"\n");
  const std::tuple<std::string, std::string, int> kCases[] = {
      {"--transcript", "/dev/stdout", 1}, {"--grab", "/dev/stdout", 1}, {"--transcript", "/dev/stderr", 2},
      {"--transcript", "/dev/fd/5", 5},   {"--grab", "/proc/self/fd/5", 5}, {"--transcript", "/dev/fd/0", 0},
      {"--transcript", "//dev/stdout", 1}, {"--grab", "/dev/./stdout", 1}, {"--transcript", "/proc/thread-self/fd/1", 1},
      {"--transcript", "to-stdout", 1},   {"--grab", "to-stdout", 1},       {"--transcript", "/dev/stdin", 0},
      {"--grab", "-", 1}, {"--transcript", "/dev/fd/./1", 1}, {"--grab", "/dev/fd//1", 1},
      {"--transcript", "/proc/self/fd//1", 1}, {"--grab", "/dev/fd/../fd/1", 1}};
  std::filesystem::create_symlink("/dev/stdout", dir.File("to-stdout"));
  for (const auto& [option, name, fd] : kCases) {
    dir.Write("log", "old\n");
    struct stat before {}, after {};
    ASSERT_EQ(stat(dir.File("log").c_str(), &before), 0);
    ProcessResult r = RunTool(RunArgs("a.vka", {option, name}), dir.path(), [&, fd = fd] {
      const int log = open("log", O_WRONLY | O_APPEND);  // kept open across exec as fd too
      return log >= 0 && dup2(log, fd) == fd;
    });
    EXPECT_EQ(r.status, 0) << option << " " << name << r.err;
    EXPECT_EQ(dir.Read("log").substr(0, 8), option == "--grab" ? "old\n\x89PNG" : "old\nhi\n") << option << " " << name;
    ASSERT_EQ(stat(dir.File("log").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << option << " " << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("-")));
}

// A standard stream closed at start is no output, however it is named: refused, as any closed
// descriptor is, instead of the text going nowhere. The others stay outputs.
TEST(CommandFiles, AClosedStandardStreamIsRefused) {
  TempDir dir;
  dir.Write("a.vka", "print \"hi\"\n");
  const std::tuple<std::string, std::string, int, bool> kCases[] = {
      {"--transcript", "/dev/stdout", 1, true}, {"--transcript", "-", 1, true}, {"--grab", "-", 1, true},
      {"--grab", "/dev/fd/1", 1, true},         {"--transcript", "/dev/stdin", 0, true},
      {"--transcript", "-", 0, false}};
  for (const auto& [option, name, closed, refused] : kCases) {
    ProcessResult r = RunTool(RunArgs("a.vka", {option, name}), dir.path(), [fd = closed] { return close(fd) == 0; });
    EXPECT_EQ(r.status, refused ? 2 : 0) << option << " " << name << r.err;
    EXPECT_EQ(r.err.find("cannot write the " + option + " file " + name + ": no such descriptor is open") !=
                  std::string::npos,
              refused)
        << r.err;
  }
  EXPECT_EQ(Names(dir), std::set<std::string>{"a.vka"});
}

// Every output keeps a read-only file as it was, root's too; a link is written through to its
// target, there yet or not, and stays a link.
TEST(CommandFiles, EveryOutputKeepsAReadOnlyFileAndWritesThroughALink) {
  TempDir dir;
  dir.Write("a.vka", "print \"hi\"\n");
  dir.Write("ro", "kept");
  ASSERT_EQ(chmod(dir.File("ro").c_str(), 0444), 0);
  const std::vector<std::string> kRefused[] = {
      {"compile", "a.vka", "-o", "ro"}, {"build", "a.vka", "-o", "ro"},
      RunArgs("a.vka", {"--transcript", "ro"}), RunArgs("a.vka", {"--grab", "ro"})};
  for (const auto& args : kRefused) {
    ProcessResult r = RunTool(args, dir.path());
    EXPECT_EQ(r.status, 2) << args[0] << " " << args.back() << r.err;
    EXPECT_NE(r.err.find("ro: it is read-only"), std::string::npos) << r.err;
    EXPECT_TRUE(dir.Read("ro") == "kept") << args[0] << " " << args.back();
  }
  std::filesystem::create_symlink("loop", dir.File("loop"));
  ProcessResult loop = RunTool(RunArgs("a.vka", {"--grab", "loop"}), dir.path());
  EXPECT_EQ(loop.status, 2) << loop.err;
  EXPECT_NE(loop.err.find("loop: " + std::string(std::strerror(ELOOP))), std::string::npos) << loop.err;
  std::filesystem::create_symlink("shot.png", dir.File("grab-link"));
  std::filesystem::create_symlink("text.txt", dir.File("text-link"));
  ProcessResult r = RunTool(RunArgs("a.vka", {"--grab", "grab-link", "--transcript", "text-link"}), dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Read("shot.png").substr(0, 4), "\x89PNG");
  EXPECT_EQ(dir.Read("text.txt"), "hi\n");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("grab-link")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("text-link")));
}

// With the current folder deleted, a relative name has no folder: refused, never taken from "/".
TEST(CommandFiles, ARelativeNameWithoutACurrentFolderIsRefused) {
  TempDir dir;
  dir.Write("a.vka", "print 1\n");
  const std::string out = "vk-out-" + std::to_string(getpid());
  const auto gone = [&] {
    const std::string folder = dir.File("gone");
    return mkdir(folder.c_str(), 0700) == 0 && chdir(folder.c_str()) == 0 && rmdir(folder.c_str()) == 0;
  };
  const std::vector<std::string> kCases[] = {
      {"compile", dir.File("a.vka"), "-o", out + ".img"},
      RunArgs(dir.File("a.vka"), {"--transcript", out + ".txt"}),
      RunArgs(dir.File("a.vka"), {"--grab", out + ".png"}),
      {"check", "a.vka"},
  };
  for (const auto& args : kCases) {
    ProcessResult r = RunTool(args, dir.path(), gone);
    EXPECT_EQ(r.status, 2) << args[0] << r.err;
    EXPECT_NE(r.err.find("the current folder no longer exists"), std::string::npos) << r.err;
  }
  for (const char* ext : {".img", ".txt", ".png"}) EXPECT_NE(unlink(("/" + out + ext).c_str()), 0) << "/" << out << ext;
}

// A grab or transcript that cannot be written whole is said with its cause and fails the run;
// an older grab stays as it was.
TEST(CommandFiles, AGrabOrTranscriptThatCannotBeWrittenFailsTheRun) {
  TempDir dir;
  dir.Write("a.vka", "print \"" + std::string(200, 'a') + "\"\n");
  dir.Write("old.png", "old");
  ASSERT_EQ(RunTool({"compile", "a.vka", "-o", "a.img"}, dir.path()).status, 0);
  // A socket's name opens as no file.
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  dir.File("sock").copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(listener);
  // Files of this process may not grow past 1000 bytes: the frame's picture is larger.
  const auto limited = [] {
    const rlimit limit{1000, 1000};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
  };
  const struct {
    std::string option, file, cause;
    std::function<bool()> prepare;
  } kCases[] = {
      {"--transcript", "/dev/full", "disk full", {}},
      {"--grab", "/dev/full", "disk full", {}},
      {"--grab", "sock", "no such device or address", {}},
      {"--grab", "old.png", "file too large", limited},
  };
  for (const auto& c : kCases) {
    ProcessResult r = RunTool({"exec", "a.img", "--headless", "--frames", "2", c.option, c.file}, dir.path(), c.prepare);
    EXPECT_EQ(r.status, 2) << c.option << " " << c.file << r.err;
    EXPECT_NE(r.err.find("cannot write " + (c.file[0] == '/' ? c.file : dir.File(c.file)) + ": " + c.cause),
              std::string::npos)
        << r.err;
  }
  EXPECT_EQ(dir.Read("old.png"), "old");
}

// A file the program leaves open whose buffered bytes do not fit on the disk when the run closes
// it: said, naming the file as the disk spells it and the cause, and the run fails.
TEST(CommandFiles, AFileLeftOpenThatCannotBeWrittenFailsTheRun) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("disk"));
  dir.Write("a.vka", "open to write 1, \"disk/d\xE9ta.bin\"\nfor i = 1 to 5600\nwrite long 1, i\nnext i\n");
  // A disk of 12 KB, in a mount namespace of the child's own.
  const std::string disk = dir.File("disk");
  const auto small = [&] {
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=12k") == 0;
  };
  ProcessResult r = RunTool({"run", "a.vka", "--headless"}, dir.path(), small);
  if (r.status == kNotPrepared) GTEST_SKIP() << "no file system of its own can be mounted here";
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("disk/d\xC3\xA9ta.bin: the file left open could not be written whole: disk full"),
            std::string::npos)
      << r.err;
}

// --debug where the debug log cannot be made (a read-only folder) is a command line that cannot
// be carried out: said once, with the log and the cause, before the run.
TEST(CommandFiles, DebugWhereTheLogCannotBeMadeIsRefused) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("ro"));
  dir.Write("ro/a.vka", "print 1\n");
  const std::string ro = dir.File("ro");
  const auto readOnly = [&] {
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(ro.c_str(), ro.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           mount(nullptr, ro.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  };
  ProcessResult r = RunTool(RunArgs("ro/a.vka", {"--debug", "--transcript", "out.txt"}), dir.path(), readOnly);
  if (r.status == kNotPrepared) GTEST_SKIP() << "no read-only mount can be made here";
  EXPECT_EQ(r.status, 2) << r.err;
  const std::string says = "vellumark: cannot write the debug log " + ro + "/VK.LOG: read-only file system\n";
  EXPECT_EQ(r.err.find(says), r.err.rfind(says)) << r.err;
  EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.txt")));
  // DEBUGMODE in the program's settings there is said, and the run goes on without the log.
  dir.Write("ro/SETUP.INI", "[SETTINGS]\r\nDEBUGMODE=1\r\n");
  r = RunTool(RunArgs("ro/a.vka", {"--transcript", "out.txt"}), dir.path(), readOnly);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string goesOn = "vellumark: DEBUGMODE=1: the debug log " + ro +
                             "/VK.LOG cannot be written (read-only file system); the run goes on without it\n";
  EXPECT_NE(r.err.find(goesOn), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(goesOn), r.err.rfind(goesOn)) << r.err;
  EXPECT_EQ(dir.Read("out.txt"), "1\n");
}

// A debug log the user locked (a read-only VK.LOG, or a folder its owner made read-only, the
// settings folder too) is judged by its mode, by root too: --debug is refused as where the log
// cannot be made, DEBUGMODE there is said once and the run goes on, and a built game says its own
// notice once. The log stays as it was, and no settings line is said: no setting was written.
TEST(CommandFiles, ADebugLogTheUserLockedIsNeitherWrittenNorReplaced) {
  const struct {
    const char* name;
    const char* folder;  // the program's, where the run starts
    mode_t mode;
    bool logThere;  // a read-only VK.LOG there
  } rows[] = {
      {"a read-only VK.LOG", "p", 0755, true},
      {"a folder made read-only", "p", 0555, false},
      {"the settings folder made read-only", "config/vellumark", 0555, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const std::string folder = dir.File(row.folder), log = folder + "/VK.LOG";
    std::filesystem::create_directories(folder);
    const auto settings = [&] {
      return setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1) == 0 &&
             setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1) == 0 && setenv("TMPDIR", dir.path().c_str(), 1) == 0;
    };
    dir.Write(std::string(row.folder) + "/a.vka", "print 1\n");
    ASSERT_EQ(RunTool({"build", "a.vka"}, folder, settings).status, 0);
    if (row.logThere) {
      dir.Write(std::string(row.folder) + "/VK.LOG", "old");
      chmod(log.c_str(), 0444);
    }
    struct stat before {};
    stat(log.c_str(), &before);
    const auto once = [](const std::string& err, const std::string& line) {
      return err.find(line) != std::string::npos && err.find(line) == err.rfind(line) &&
             err.find("debug log") == err.rfind("debug log") && err.find("no settings") == std::string::npos;
    };
    ASSERT_EQ(chmod(folder.c_str(), row.mode), 0);
    ProcessResult r = RunTool(RunArgs("a.vka", {"--debug", "--transcript", "-"}), folder, settings);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(once(r.err, "vellumark: cannot write the debug log " + log + ": it is read-only\n")) << r.err;
    chmod(folder.c_str(), 0755);
    dir.Write(std::string(row.folder) + "/SETUP.INI", "[SETTINGS]\r\nDEBUGMODE=1\r\n");
    ASSERT_EQ(chmod(folder.c_str(), row.mode), 0);
    r = RunTool(RunArgs("a.vka", {"--transcript", "-"}), folder, settings);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(once(r.err, "vellumark: DEBUGMODE=1: the debug log " + log +
                                " cannot be written (it is read-only); the run goes on without it\n"))
        << r.err;
    r = RunTool({}, folder, settings, folder + "/a");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(once(r.err, "a: cannot write the debug log " + log + ": it is read-only; the run goes on without it\n"))
        << r.err;
    struct stat after {};
    EXPECT_EQ(stat(log.c_str(), &after) == 0, row.logThere);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    chmod(folder.c_str(), 0755);
  }
}

// A compile ends on a stop signal at once while it writes its output (its own handler, which
// leaves no temporary), and puts back the handler that was there when it is done, each time.
struct sigaction g_whileWriting;
TEST(CommandFiles, ACompileTakesTheStopSignalsWhileItWorksAndGivesThemBack) {
  TempDir dir;
  dir.Write("a.vka", "print 1\n");
  struct sigaction before {};
  sigaction(SIGTERM, nullptr, &before);
  g_fsWritingTempMade = [] { sigaction(SIGTERM, nullptr, &g_whileWriting); };
  for (int round = 0; round < 2; ++round) {
    g_whileWriting = before;
    EXPECT_EQ(ToolMain({"compile", dir.File("a.vka"), "-o", dir.File("a.img")}), 0);
    struct sigaction after {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_NE(g_whileWriting.sa_handler, before.sa_handler) << round;
    EXPECT_EQ(after.sa_handler, before.sa_handler) << round;
  }
  g_fsWritingTempMade = nullptr;
}

// compile and build say why their output cannot be written.
TEST(CommandFiles, AnOutputThatCannotBeWrittenSaysWhy) {
  TempDir dir;
  dir.Write("a.vka", "print 1\n");
  std::filesystem::create_directory(dir.File("folder"));
  const std::pair<std::vector<std::string>, std::string> kCases[] = {
      {{"compile", "a.vka", "-o", "none/a.img"},  // a whole-program failure: no line
       "a.vka: Cannot write the program image " + dir.File("none/a.img") + ": its folder does not exist"},
      {{"compile", "a.vka", "-o", "/dev/null"}, "image /dev/null: not a regular file"},
      {{"build", "a.vka", "-o", "folder"}, "cannot write folder: is a folder"},
  };
  for (const auto& [args, what] : kCases) {
    ProcessResult r = RunTool(args, dir.path());
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
  }
}

// The environment is nothing without its window: with no display (and no --headless) it ends
// with status 3 instead of running unseen.
TEST(CommandFiles, EditWithoutADisplayEnds) {
  TempDir dir;
  dir.Write("a.vka", "print 1\n");
  const std::string config = dir.File("config");
  const auto noDisplay = [&] {
    for (const char* name : {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    return setenv("XDG_CONFIG_HOME", config.c_str(), 1) == 0;
  };
  ProcessResult r = RunTool({"edit", "a.vka", "--clock", "virtual", "--frames", "5"}, dir.path(), noDisplay);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("no display available"), std::string::npos) << r.err;
  // A program runs on all the same, headless.
  r = RunTool({"run", "a.vka", "--window", "--frames", "5", "--transcript", "out.txt"}, dir.path(), noDisplay);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Read("out.txt"), "1\n");
  EXPECT_NE(r.err.find("no display available; running headless"), std::string::npos) << r.err;
}

// edit of a source it cannot read says why rather than opening an empty text.
TEST(CommandFiles, EditOfAnUnreadableSourceSaysWhy) {
  TempDir dir;
  dir.Write("a.vka", "print 1\n");
  ASSERT_EQ(chmod(dir.File("a.vka").c_str(), 0), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0711), 0);
  const std::string config = dir.File("config");
  // Permissions do not stop root: the tool runs as user nobody then.
  const auto unprivileged = [&] {
    const passwd* nobody = geteuid() == 0 ? getpwnam("nobody") : nullptr;
    if (geteuid() == 0 && (!nobody || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)) return false;
    return setenv("XDG_CONFIG_HOME", config.c_str(), 1) == 0;
  };
  // nobody runs a copy of the tool it can reach, wherever the build is.
  const std::string exe = geteuid() == 0 ? VellumarkExeForAnyUser() : VellumarkExe();
  if (exe.empty()) GTEST_SKIP() << "no copy of the tool another user can run can be made";
  ProcessResult r = RunTool({"edit", "a.vka", "--headless", "--frames", "2"}, dir.path(), unprivileged, exe);
  if (r.status == kNotPrepared) GTEST_SKIP() << "the tool cannot run as another user here";
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("vellumark: a.vka: cannot be read: permission denied"), std::string::npos) << r.err;
}

}  // namespace

// An --input that is a pipe is read once, before the run, which reads what came: the check never
// takes it for a file that cannot be read.
TEST(CommandFiles, AnInputPipeIsReadByTheRun) {
  TempDir dir;
  dir.Write("a.vka", "print 1\n");
  const std::string fifo = dir.File("keys");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> done{false};
  const auto pipeSignal = signal(SIGPIPE, SIG_IGN);
  std::thread writer([&] {
    // Whoever opens the pipe to read gets a line, until the run has ended.
    while (!done) {
      const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        [[maybe_unused]] const ssize_t n = write(fd, "1 type x\n", 9);  // a reader gone meanwhile takes none
        close(fd);
      }
      usleep(10000);
    }
  });
  const ProcessResult r =
      RunTool({"run", "a.vka", "--headless", "--frames", "3", "--input", "keys", "--transcript", "out.txt"}, dir.path());
  done = true;
  writer.join();
  signal(SIGPIPE, pipeSignal);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Read("out.txt"), "1\n");
}

// A program image or a game is a file of its own: "-o -" makes no file named "-", and a
// descriptor's name is refused alike, with the cause.
TEST(CommandFiles, AnImageOrAGameIsNeverWrittenToADescriptor) {
  TempDir dir;
  dir.Write("a.vka", "print 1\n");
  for (const char* command : {"compile", "build"})
    for (const char* name : {"-", "/dev/stdout", "/dev/fd/1"}) {
      const ProcessResult r = RunTool({command, "a.vka", "-o", name}, dir.path());
      EXPECT_EQ(r.status, 2) << command << " " << name << r.err;
      EXPECT_NE(r.err.find(std::string("cannot write ") + name + ": a " +
                           (command == std::string("compile") ? "program image" : "game") + " is written to a file"),
                std::string::npos)
          << r.err;
    }
  EXPECT_EQ(Names(dir), std::set<std::string>{"a.vka"});
}

// A character set the system does not serve is said where the setting is read, once a command,
// with the value and what is used instead; one it serves, or none, is not.
TEST(CommandFiles, ACharacterSetThatIsNotServedIsSaidOnce) {
  TempDir dir;
  dir.Write("a.vka", "print 1\n");
  std::filesystem::copy_file(VellumarkExe(), dir.File("vellumark"));
  auto said = [](const std::string& err, const std::string& value) {
    const std::string line = "TEXTLANGUAGE-CHARSET=" + value + " ";
    size_t count = 0;
    for (size_t at = err.find(line); at != std::string::npos; at = err.find(line, at + 1)) ++count;
    return count;
  };
  const struct {
    const char* value;
    const char* what;  // "" when nothing is said
  } kCases[] = {{"128", "the Japanese character set"}, {"129", "the Korean character set"},
                {"134", "the Chinese character set"},  {"136", "the Chinese character set"},
                {"999", "names no character set"},     {"2", "names no character set"},
                {"255", "names no character set"},     {"-1", "names no character set"},
                {"abc", "names no character set"},     {"204", ""}, {"0", ""}, {"1", ""}, {" 161", ""}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    dir.Write("SETUP.INI", std::string("[SETTINGS]\r\nTEXTLANGUAGE-CHARSET=") + c.value + "\r\n");
    const std::vector<std::vector<std::string>> commands = {
        {"compile", "a.vka"}, {"build", "a.vka", "-o", "game"}, RunArgs("a.vka"),
        {"edit", "a.vka", "--headless", "--frames", "3"}};
    for (const auto& args : commands) {
      SCOPED_TRACE(args[0]);
      const ProcessResult r = RunProcess(dir.File("vellumark"), args, dir.path());
      EXPECT_EQ(r.status, 0) << r.err;
      if (*c.what == 0) {
        EXPECT_EQ(r.err.find("TEXTLANGUAGE-CHARSET"), std::string::npos) << r.err;
        continue;
      }
      EXPECT_EQ(said(r.err, c.value), 1u) << r.err;
      EXPECT_NE(r.err.find(dir.File("SETUP.INI") + ": TEXTLANGUAGE-CHARSET=" + c.value + " "), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(c.what), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("Western (code page 1252) is used instead"), std::string::npos) << r.err;
    }
  }
  // An image carries the code page it was compiled in: settings beside it that name no set are
  // not said to change it.
  dir.Write("SETUP.INI", "[SETTINGS]\r\nTEXTLANGUAGE-CHARSET=204\r\n");
  ASSERT_EQ(RunProcess(dir.File("vellumark"), {"compile", "a.vka"}, dir.path()).status, 0);
  dir.Write("SETUP.INI", "[SETTINGS]\r\nTEXTLANGUAGE-CHARSET=999\r\n");
  const ProcessResult r = RunProcess(dir.File("vellumark"), {"exec", "a.img", "--headless", "--frames", "2"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("TEXTLANGUAGE-CHARSET"), std::string::npos) << r.err;
  // An image made before images carried their code page takes the settings' set, and says it.
  std::filesystem::copy_file(std::string(VK_SOURCE_DIR) + "/examples/empty.img", dir.File("old.img"));
  const ProcessResult old = RunProcess(dir.File("vellumark"), {"exec", "old.img", "--headless", "--frames", "2"}, dir.path());
  EXPECT_EQ(old.status, 0) << old.err;
  EXPECT_EQ(said(old.err, "999"), 1u) << old.err;
}
