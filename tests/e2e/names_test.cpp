// Programs whose folders and files are named in other alphabets, run by the real executable.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/fs.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// Writes the files (names as on disk, '/' between folders), their folders made first.
void WriteFiles(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& [name, data] : files) {
    std::filesystem::create_directories(std::filesystem::path(dir.File(name)).parent_path());
    dir.Write(name, data);
  }
}

const char* const kCyrillicSetup = "[SETTINGS]\r\nTEXTLANGUAGE-CHARSET=204\r\n";

ProcessResult RunIn(const std::string& folder, const std::string& transcript) {
  return RunProcess(VellumarkExe(), {"run", "game.vka", "--headless", "--clock", "virtual", "--frames", "50", "--transcript", transcript},
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

// A game built with its media finds each packed file by the name its program gives, in the
// code page it was compiled in, run from an empty folder without the source's SETUP.INI.
TEST(Names, ABuiltGameLoadsPackedFilesOfAnyAlphabetFromAnEmptyFolder) {
  std::string png;
  ASSERT_TRUE(FsReadFile(std::string(VK_SOURCE_DIR) + "/examples/media/backdrop.png", png));
  const std::string wav = std::string("RIFF\x28\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0\x01\0\x08\0data\x04\0\0\0\x00\x80\xff\x10", 48);
  struct Case {
    std::string setup;
    std::vector<std::pair<std::string, std::string>> media;
    std::string program, loaded;
  } cases[] = {
      {"", {{"media/caf\xC3\xA9.png", png}}, "load image \"media\\caf\xE9.png\", 1\nr$ = str$(image exist(1))\n", "1"},
      // фон.png and звуки\бип.wav, in Windows-1251.
      {kCyrillicSetup,
       {{"\xD1\x84\xD0\xBE\xD0\xBD.png", png}, {"\xD0\xB7\xD0\xB2\xD1\x83\xD0\xBA\xD0\xB8/\xD0\xB1\xD0\xB8\xD0\xBF.wav", wav}},
       "load image \"\xF4\xEE\xED.png\", 1\nload sound \"\xE7\xE2\xF3\xEA\xE8\\\xE1\xE8\xEF.wav\", 1\n"
       "r$ = str$(image exist(1)) + str$(sound exist(1))\n",
       "11"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("src"));
    std::filesystem::create_directories(dir.File("play"));
    for (const auto& [name, data] : c.media) WriteFiles(dir, {{"src/" + name, data}});
    if (!c.setup.empty()) dir.Write("src/SETUP.INI", c.setup);
    dir.Write("src/prog.vka", c.program + "open to write 1, \"out.txt\"\nwrite string 1, r$\nclose file 1\nend\n");
    ProcessResult built = RunProcess(VellumarkExe(), {"build", dir.File("src/prog.vka"), "-o", dir.File("game"), "--media"});
    ASSERT_EQ(built.status, 0) << built.err;
    ProcessResult r = RunProcess(dir.File("game"), {}, dir.File("play"), {"ASAN_OPTIONS=detect_leaks=0"});
    EXPECT_EQ(r.status, 0) << c.program << r.err;
    EXPECT_EQ(dir.Read("play/out.txt"), c.loaded + "\r\n") << c.program;
  }
}

// A folder block gives each name back as it was; a name the code page cannot spell is said,
// never made into another or merged with one.
TEST(Names, AFolderBlockGivesNamesBackAsTheyWere) {
  const std::string cafe = "caf\xC3\xA9.txt", ab = "\xD0\xB0\xD0\xB1.txt", vg = "\xD0\xB2\xD0\xB3.txt";
  struct Case {
    std::string setup;
    std::vector<std::string> files;
    std::vector<std::string> said;  // none: every file comes back; else what stderr holds, as on disk
  } cases[] = {
      {"", {cafe}, {}},
      {kCyrillicSetup, {ab, vg}, {}},
      {"", {ab, vg}, {ab, vg, ": left out: the text code page cannot spell the name"}},
      {"", {"sub/" + ab}, {"sub\\" + ab + ": left out"}},  // said with the program's separator
  };
  for (const Case& c : cases) {
    TempDir dir;
    if (!c.setup.empty()) dir.Write("SETUP.INI", c.setup);
    for (const std::string& name : c.files) WriteFiles(dir, {{"src/" + name, name}});
    dir.Write("game.vka",
              "open to write 1, \"b.dat\"\nwrite dirblock 1, \"src\"\nclose file 1\n"
              "open to read 1, \"b.dat\"\nread dirblock 1, \"dst\"\nclose file 1\nend\n");
    ProcessResult r = RunIn(dir.path(), dir.File("out.txt"));
    if (!c.said.empty()) {
      EXPECT_EQ(r.status, 1);
      for (const std::string& part : c.said) EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find('?'), std::string::npos) << r.err;
      EXPECT_FALSE(std::filesystem::exists(dir.File("dst")));
      EXPECT_EQ(dir.Read("b.dat"), std::string(4, '\0'));  // a block of no files, none under '?'
      continue;
    }
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& name : c.files) EXPECT_EQ(dir.Read("dst/" + name), name);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("dst")), {}), long(c.files.size()));
  }
}

// The code page is the program's: fixed where it is compiled (the source's SETUP.INI, else the
// one beside the executable) and carried by its image wherever that runs. An image that carries
// none, as those made before, takes the SETUP.INI beside it as it always did.
TEST(Names, TheCodePageTravelsWithTheProgram) {
  const std::string cyrillic = "\xD0\xB4.txt", western = "\xC3\xA4.txt";  // byte E4: д or ä
  struct Case {
    const char* what;
    bool setupBesideExecutable, carried;
    std::string made;
  } cases[] = {
      {"an image compiled beside a Cyrillic SETUP.INI, run elsewhere", false, true, cyrillic},
      {"the same image without its code page", false, false, western},
      {"a source compiled by an executable beside a Cyrillic SETUP.INI", true, true, cyrillic},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const char* folder : {"src", "play", "bin"}) std::filesystem::create_directories(dir.File(folder));
    dir.Write("src/prog.vka", "open to write 1, \"\xE4.txt\"\nclose file 1\nend\n");
    std::string exe = VellumarkExe();
    if (c.setupBesideExecutable) {
      dir.Write("bin/SETUP.INI", kCyrillicSetup);
      std::error_code ec;
      std::filesystem::create_hard_link(exe, dir.File("bin/vellumark"), ec);
      if (ec) std::filesystem::copy_file(exe, dir.File("bin/vellumark"));
      exe = dir.File("bin/vellumark");
    } else {
      dir.Write("src/SETUP.INI", kCyrillicSetup);
    }
    ProcessResult r = RunProcess(exe, {"compile", dir.File("src/prog.vka"), "-o", dir.File("play/prog.img")});
    ASSERT_EQ(r.status, 0) << r.err;
    if (!c.carried) {
      std::string image = dir.Read("play/prog.img");
      image.replace(48, 4, 4, '\0');
      dir.Write("play/prog.img", image);
    }
    r = RunProcess(exe, {"exec", dir.File("play/prog.img"), "--headless"}, dir.File("play"));
    EXPECT_EQ(r.status, 0) << c.what << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.File("play/" + c.made))) << c.what;
  }
}

// A program's included files are named in its code page too, and a source written in UTF-8 is
// read in it: the Cyrillic names reach the disk either way.
TEST(Names, ACyrillicSourceIncludesAndNamesFilesInItsCodePage) {
  const std::string cp1251 = "#include \xE8\xED.vka\nopen to write 1, \"\xE4.txt\"\nwrite long 1, five()\nclose file 1\n";
  const std::string utf8 =
      "\xEF\xBB\xBF#include \xD0\xB8\xD0\xBD.vka\nopen to write 1, \"\xD0\xB4.txt\"\nwrite long 1, five()\nclose file 1\n";
  for (const std::string& source : {cp1251, utf8}) {
    TempDir dir;
    dir.Write("SETUP.INI", kCyrillicSetup);
    dir.Write("\xD0\xB8\xD0\xBD.vka", "function five()\nendfunction 5\n");  // ин.vka
    dir.Write("game.vka", source);
    ProcessResult r = RunIn(dir.path(), dir.File("out.txt"));
    EXPECT_EQ(r.status, 0) << source << r.err;
    EXPECT_EQ(dir.Read("\xD0\xB4.txt"), std::string("\x05\0\0\0", 4)) << source;  // д.txt
  }
}

// F5 runs a program in its own code page, as run does, whatever the environment's is; the
// environment's own comes back after it: the é typed then is byte E9, which the program reads
// as й.
TEST(Names, TheEnvironmentRunsAProgramInItsOwnCodePage) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("config/vellumark"));
  std::filesystem::create_directories(dir.File("project"));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  dir.Write("project/SETUP.INI", kCyrillicSetup);
  dir.Write("project/game.vka", "open to write 1, \"\xE4.txt\"\nclose file 1\n");
  dir.Write("script.txt",
            "10 key F5 down\n11 key F5 up\n40 type make file \"\xC3\xA9.txt\"\n60 key Return down\n"
            "61 key Return up\n70 key F5 down\n71 key F5 up\n");
  ProcessResult r = RunProcess(VellumarkExe(),
                               {"edit", dir.File("project/game.vka"), "--headless", "--clock", "virtual", "--input",
                                dir.File("script.txt"), "--frames", "110"},
                               dir.path(), {"XDG_CONFIG_HOME=" + dir.File("config"), "ASAN_OPTIONS=detect_leaks=0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir.File("project/\xD0\xB4.txt")));  // д.txt
  EXPECT_TRUE(std::filesystem::exists(dir.File("project/\xD0\xB9.txt")));  // й.txt
}

}  // namespace
