// Programs whose folders and files are named in other alphabets, run by the real executable.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

ProcessResult RunIn(const std::string& folder, const std::string& transcript) {
  return RunProcess(VellumarkExe(), {"run", "game.vka", "--headless", "--frames", "5", "--transcript", transcript},
                    folder);
}

// In a folder a program cannot spell (папка reads "?????"), the program reaches it by the
// name it is given back, and a lone file there by its listed name.
TEST(Names, AProgramInAFolderOfAnotherAlphabetSavesThereAndReadsBack) {
  TempDir dir;
  const std::string folder = dir.File("\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0");
  std::filesystem::create_directories(folder);
  dir.Write("\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0/\xD1\x83\xD1\x80.lvl", "abc");  // ур.lvl
  dir.Write("\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0/game.vka", R"(d$ = get dir$()
open to write 1, d$ + "\save.txt"
write string 1, "kept"
close file 1
open to read 1, d$ + "\save.txt"
read string 1, s$
close file 1
print s$; path exist(d$)
checklist files
for i = 1 to checklist count()
  n$ = checklist string$(i)
  if right$(n$, 4) = ".lvl" then print n$; file size(n$)
next i
set dir d$
print right$(get dir$(), 6)
end
)");
  ProcessResult r = RunIn(folder, dir.File("out.txt"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Read("out.txt"), "kept1\n??.lvl3\n\\?????\n");
  EXPECT_TRUE(std::filesystem::exists(folder + "/save.txt"));
}

// With the Cyrillic character set, names are Windows-1251 text: read, made and listed in it.
TEST(Names, ACyrillicProgramNamesFilesInCyrillic) {
  TempDir dir;
  dir.Write("SETUP.INI", "[SETTINGS]\r\nTEXTLANGUAGE-CHARSET=204\r\n");
  dir.Write("\xD0\xB2\xD0\xB3.txt", "12345");  // вг.txt
  dir.Write("game.vka",
            "print file size(\"\xC2\xC3.TXT\")\n"  // ВГ.TXT
            "open to write 1, \"\xE4.txt\"\n"       // д.txt
            "close file 1\n"
            "checklist files\n"
            "for i = 1 to checklist count()\n"
            "  if checklist string$(i) = \"\xE2\xE3.txt\" then c = c + 1\n"
            "  if checklist string$(i) = \"\xE4.txt\" then c = c + 1\n"
            "next i\n"
            "print c\n"
            "end\n");
  ProcessResult r = RunIn(dir.path(), dir.File("out.txt"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir.File("\xD0\xB4.txt")));
  EXPECT_EQ(dir.Read("out.txt"), "5\n2\n");
}

// Two files that one '?' name fits: the program is told so, and neither is touched.
TEST(Names, ANameThatFitsTwoFilesIsRefusedAndBothAreKept) {
  TempDir dir;
  dir.Write("\xD0\xB0\xD0\xB1.txt", "ab");
  dir.Write("\xD0\xB2\xD0\xB3.txt", "vg");
  dir.Write("game.vka", "delete file \"??.txt\"\nend\n");
  ProcessResult r = RunIn(dir.path(), dir.File("out.txt"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("??.txt: fits more than one file"), std::string::npos) << r.err;
  EXPECT_EQ(dir.Read("\xD0\xB0\xD0\xB1.txt"), "ab");
  EXPECT_EQ(dir.Read("\xD0\xB2\xD0\xB3.txt"), "vg");
}

}  // namespace
