// The file, folder and stream commands as programs use them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/errors.h"
#include "platform/fs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/program_run.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FilesProgram, SaveGameStreamReadsBackIntoVariablesAndElements) {
  TempDir dir;
  const std::string source = "cd \"" + dir.path() + "\"\nprint get dir$()\n" +
                             R"(open to write 1, "save.dat"
write byte 1, 255
write word 1, 65536
write long 1, -2
write float 1, 2.5
write string 1, "hello"
close file 1
print file exist("SAVE.DAT")
print file size("save.dat")
dim v(3)
open to read 1, "save.dat"
read byte 1, a
read word 1, v(2)
read long 1, b
read float 1, f#
read string 1, s$
print a
print v(2)
print b
print f#
print s$
print file end(1)
read long 1, c
print file end(1)
print c
close file 1
print file open(1)
print read byte from file("save.dat", 0)
write byte to file "save.dat", 0, 65
print read byte from file("save.dat", 0)
print read byte from file("save.dat", 99)
write to clipboard "clip"
print get clipboard$()
end
)";
  RunOutcome r = RunVkaSource(source, 200);
  ASSERT_EQ(r.status, 0) << r.err << r.transcript;
  EXPECT_EQ(r.transcript, FsToProgramPath(dir.path()) + "\n1\n18\n255\n0\n-2\n2.5\nhello\n0\n1\n0\n0\n-1\n65\n0\nclip\n");
  EXPECT_EQ(dir.Read("save.dat").substr(0, 3), std::string("A\0\0", 3));
}

TEST(FilesProgram, ListingsSearchesAndWarnings) {
  TempDir dir;
  dir.Write("a.txt", "x");
  fs::create_directory(dir.File("sub"));
  const std::string source = "cd \"" + dir.path() + "\"\n" + R"(find first
n = 0
while get file type() <> -1
  if get file name$() = "sub" then print "sub "; get file type()
  n = n + 1
  find next
endwhile
print n
checklist files
print checklist count()
copy file "a.txt", "b.txt"
copy file "a.txt", "b.txt"
print "after"
end
)";
  RunOutcome r = RunVkaSource(source, 200);
  ASSERT_NE(r.status, 2) << r.err;
  EXPECT_EQ(r.transcript, "sub 1\n4\n4\n");  // ".", "..", "a.txt", "sub"; the second copy stops the run
  EXPECT_EQ(r.errorCode, 106);
  EXPECT_EQ(r.errorKind, 1);
  // A built game ignores the warning and goes on; the target is left as it was.
  dir.Write("b.txt", "keep");
  r = RunVkaSource("cd \"" + dir.path() + "\"\ncopy file \"a.txt\", \"b.txt\"\nmove file \"a.txt\", \"b.txt\"\nprint \"after\"\nend\n", 20, "", true);
  EXPECT_EQ(r.transcript, "after\n");
  EXPECT_EQ(dir.Read("b.txt"), "keep");
  EXPECT_TRUE(fs::exists(dir.File("a.txt")));
}

TEST(FilesProgram, FolderBlocksPackAndUnpackThroughCommands) {
  TempDir dir;
  fs::create_directories(dir.File("game/levels"));
  dir.Write("game/levels/one.lvl", "1111");
  dir.Write("game/title.txt", "Title");
  const std::string source = "cd \"" + dir.path() + "\"\n" + R"(open to write 2, "pack.dat"
write dirblock 2, "game"
write fileblock 2, "game\title.txt"
close file 2
open to read 2, "pack.dat"
read dirblock 2, "copy\of\game"
read fileblock 2, "extra\title.txt"
close file 2
execute file "true", "", ""
execute file "true", "", "", 1
print path exist("copy\of\game\levels")
end
)";
  RunOutcome r = RunVkaSource(source, 200);
  ASSERT_EQ(r.status, 0) << r.err << r.transcript;
  EXPECT_EQ(r.transcript, "1\n");
  EXPECT_EQ(dir.Read("copy/of/game/levels/one.lvl"), "1111");
  EXPECT_EQ(dir.Read("copy/of/game/title.txt"), "Title");
  EXPECT_EQ(dir.Read("extra/title.txt"), "Title");
}

TEST(FilesProgram, FailuresNameTheFileAndTheCause) {
  TempDir dir;
  fs::create_directory(dir.File("afolder"));
  dir.Write("\xD0\xB0\xD0\xB1.txt", "a");  // аб.txt and вг.txt, both listed to a program as "??.txt"
  dir.Write("\xD0\xB2\xD0\xB3.txt", "b");
  dir.Write("a.dat", "a");
  // The home folder is one of the test's own, kept by the refusal.
  fs::create_directories(dir.File("p/home"));
  dir.Write("p/home/keep.txt", "k");
  const char* home = std::getenv("HOME");
  const std::string oldHome = home ? home : "";
  setenv("HOME", dir.File("p/home").c_str(), 1);
  const struct {
    std::string lines;
    const char* says;
  } cases[] = {
      {"open to read 1, \"nope.dat\"", "File not found. nope.dat: not found"},
      {"open to read 1, \"??.txt\"", "File not found. ??.txt: fits more than one file"},
      {"open to write 1, \"??.TXT\"", "??.TXT: fits more than one file"},
      {"open to write 1, \"??.txt\\x.dat\"", "??.txt\\x.dat: fits more than one file"},
      {"delete file \"??.txt\"", "??.txt: fits more than one file"},
      {"make file \"??.txt\"", "??.txt: fits more than one file"},
      {"copy file \"a.dat\", \"??.txt\"", "??.txt: fits more than one file"},
      {"set dir \"??.txt\"", "??.txt: fits more than one file"},
      {"open to read 1, \"afolder\"", "afolder: is a folder"},
      {"open to write 1, \"nodir\\x.dat\"", "nodir\\x.dat: its folder does not exist"},
      {"copy file \"nope.dat\", \"b.dat\"", "nope.dat: not found"},
      {"copy file \"a.dat\", \"nodir\\b.dat\"", "Cannot copy the file. nodir\\b.dat: its folder does not exist"},
      {"open to write 1, \"w.dat\"\nread byte 1, b", "w.dat: open for writing"},
      {"execute file \"a.dat\\prog\", \"\", \"\"", "Cannot run the program. a.dat\\prog: not found"},
      {"delete directory \"nodir\"", "Cannot delete the folder. nodir: not found"},
      // An empty file there is there all the same: never written over.
      {"make file \"empty.dat\"\nopen to write 1, \"empty.dat\"", "empty.dat: already exists"},
      {"make file \"empty2.dat\"\nrename file \"a.dat\", \"empty2.dat\"", "empty2.dat: already exists"},
      {"delete directory \"" + dir.File("p/home") + "\"", "home: the root folder, the home folder and the folders that hold it are never deleted"},
      {"delete directory \"" + dir.File("p") + "\"", "p: the root folder, the home folder and the folders that hold it are never deleted"},
  };
  for (const auto& c : cases) {
    fs::remove(dir.File("w.dat"));
    RunOutcome r = RunVkaSource("cd \"" + dir.path() + "\"\n" + c.lines + "\nend\n", 20);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.lines << " gave: " << r.err;
  }
  if (home) setenv("HOME", oldHome.c_str(), 1);
  else unsetenv("HOME");
  EXPECT_EQ(dir.Read("p/home/keep.txt"), "k");
  EXPECT_EQ(dir.Read("\xD0\xB0\xD0\xB1.txt"), "a");
  EXPECT_EQ(dir.Read("\xD0\xB2\xD0\xB3.txt"), "b");
}

// Listings are the same on every machine: "." and "..", then the names ignoring case.
TEST(FilesProgram, ChecklistsAndSearchesListInNameOrder) {
  TempDir dir;
  for (const char* name : {"b.txt", "C.txt", "a.txt", "\xC3\xA9.txt", "Z"}) dir.Write(name, "x");
  const std::string source = "cd \"" + dir.path() + "\"\n" + R"(checklist files
for i = 1 to checklist count()
  print checklist string$(i); " ";
next i
print
find first
while get file type() <> -1
  print get file name$(); " ";
  find next
endwhile
end
)";
  RunOutcome r = RunVkaSource(source, 200);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string order = ". .. a.txt b.txt C.txt Z \xC3\xA9.txt ";  // the transcript is UTF-8
  EXPECT_EQ(r.transcript.find(order), 0u) << r.transcript;
  EXPECT_NE(r.transcript.find(order, order.size()), std::string::npos) << r.transcript;
}

TEST(FilesProgram, TheExampleSavesReadsBackAndLists) {
  TempDir dir;
  const fs::path old = fs::current_path();
  fs::current_path(dir.path());
  RunOutcome r = RunVkaSource(ReadAll(std::string(VK_SOURCE_DIR) + "/examples/files.vka"), 300);
  fs::current_path(old);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.transcript.starts_with(
      "Saved 31 bytes to savegame.dat\nVellumark save game\nLevel 3, score 1250.5, lives 42\n \nFolder "))
      << r.transcript;
  EXPECT_NE(r.transcript.find("  savegame.dat\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.File("savegame.dat")));
}

}  // namespace
