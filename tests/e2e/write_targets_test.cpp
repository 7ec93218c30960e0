// What a program's file commands do with what stands at a name (a read-only file, a link, a
// folder, a missing folder, a file a save replaces), through the tool and a built game; and, in
// a built game, with a name its pack holds, the disk holds, both or neither.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// One program for every write: its command line is the case (two digits) and the name.
const char kWrites[] =
    "a$ = command line$()\n"
    "c = val(left$(a$, 2))\n"
    "t$ = right$(a$, len(a$) - 2)\n"
    "sync on\n"
    "dim a(1)\n"
    "if c = 1\ncls rgb(0,255,0)\nsync\nsave bitmap t$\nsync\nsync\nendif\n"
    "if c = 2\ncreate bitmap 1,8,8\nsave bitmap t$,1\nsync\nendif\n"
    "if c = 3\ncreate bitmap 1,8,8\nget image 1,0,0,8,8\nsave image t$,1\nsync\nsync\nendif\n"
    "if c = 4 then save array t$, a(0)\n"
    "if c = 5\nload sound \"s.wav\",1\nsave sound t$,1\nendif\n"
    "if c = 6\nmake object cube 1,10\nsave object animation t$,1\nendif\n"
    "if c = 7\nmake static collision box -1,-1,-1,1,1,1\nsave static objects t$\nendif\n"
    "if c = 8 then write byte to file t$, 0, 65\n"
    "if c = 9 then copy file \"src.txt\", t$\n"
    "if c = 10 then rename file \"src.txt\", t$\n"
    "if c = 11 then move file \"src.txt\", t$\n"
    "if c = 12 then make file t$\n"
    "if c = 13 then make directory t$\n"
    "if c = 14\nopen to write 1, t$\nwrite string 1, \"x\"\nclose file 1\nendif\n"
    "if c = 15\nopen to read 1, \"blk.dat\"\nread fileblock 1, t$\nclose file 1\nendif\n";

// A WAV file of a few silent 16-bit mono samples.
std::string SilentWav() {
  std::string h = "RIFF";
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) h += char(v >> (8 * i)); };
  auto u16 = [&](uint16_t v) { h += char(v), h += char(v >> 8); };
  u32(36 + 8), h += "WAVEfmt ", u32(16), u16(1), u16(1), u32(22050), u32(44100), u16(2), u16(16);
  h += "data", u32(8);
  return h + std::string(8, '\0');
}

// The names each case meets: a read-only file, a link to it, a folder, a link to a missing
// file, a file a save replaces, and (nof/) a missing folder.
void PrepareTargets(const TempDir& dir) {
  for (const char* name : {"ro.bmp", "rolnk.bmp", "dir.bmp", "dlnk.bmp", "ex.bmp", "missing.txt", "src.txt"})
    std::filesystem::remove_all(dir.File(name));
  dir.Write("ro.bmp", "old");
  chmod(dir.File("ro.bmp").c_str(), 0444);
  std::filesystem::create_symlink("ro.bmp", dir.File("rolnk.bmp"));
  std::filesystem::create_directory(dir.File("dir.bmp"));
  std::filesystem::create_symlink("missing.txt", dir.File("dlnk.bmp"));
  dir.Write("ex.bmp", "old");
  dir.Write("src.txt", "src");
}

// How a case runs: through the tool, the tool as a built game runs (--standalone), a built game.
enum Ways { kRun = 1, kStandalone = 2, kGame = 4 };

struct WriteCase {
  int command;  // the case of kWrites
  const char* target;
  int ways;
  std::string said;      // in the run's message (and the game's, for an error); "" none, status 0
  std::string gameSaid;  // the lost write a game says for a warning ("" as the run; "-" nothing)
};

// Runs each case the ways it names against freshly made targets: the status and the words said,
// the read-only file as it was, no file made through the link to a missing one, and a file a
// save replaces written.
void CheckWrites(const std::vector<WriteCase>& cases) {
  TempDir dir;
  dir.Write("w.vka", kWrites);
  dir.Write("s.wav", SilentWav());
  dir.Write("blk.dat", std::string("\2\0\0\0ab", 6));
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", "w.vka", "-o", "game"}, dir.path()).status, 0);
  for (const WriteCase& c : cases) {
    const std::string arg = (c.command < 10 ? "0" : "") + std::to_string(c.command) + c.target;
    for (const int way : {kRun, kStandalone, kGame}) {
      if (!(c.ways & way)) continue;
      SCOPED_TRACE(arg + (way == kRun ? " run" : way == kStandalone ? " --standalone" : " game"));
      PrepareTargets(dir);
      // Headless where no sound is saved: a start without a window is twice as fast.
      const bool sound = c.command == 5;
      std::vector<std::string> args{"run", "w.vka", sound ? "--frames" : "--headless", "50", "--", arg};
      if (!sound) args.erase(args.begin() + 3);
      if (way == kStandalone) args.insert(args.begin() + 2, "--standalone");
      const ProcessResult r =
          way == kGame ? RunProcess(dir.File("game"), {arg}, dir.path(),
                                    {"ASAN_OPTIONS=detect_leaks=0", sound ? "SDL_VIDEODRIVER=offscreen" : "SDL_VIDEODRIVER=none"})
                       : RunProcess(VellumarkExe(), args, dir.path());
      std::string said = c.said;
      if (way != kRun && !c.gameSaid.empty()) said = c.gameSaid == "-" ? "" : (way == kGame ? "game: " : "vellumark: ") + c.gameSaid + "\n";
      EXPECT_EQ(r.status, said.empty() ? 0 : 1) << r.err;
      if (!said.empty()) {
        EXPECT_NE(r.err.find(said), std::string::npos) << said << "\n" << r.err;
      }
      EXPECT_EQ(dir.Read("ro.bmp"), "old");
      struct stat st;
      EXPECT_TRUE(stat(dir.File("ro.bmp").c_str(), &st) == 0 && (st.st_mode & 0777) == 0444);
      if (c.command >= 12) {
        EXPECT_FALSE(std::filesystem::exists(dir.File("missing.txt")));
      }
      if (std::string(c.target) == "ex.bmp") {
        EXPECT_NE(dir.Read("ex.bmp"), "old");
      }
    }
  }
}

// No save writes over a read-only file (judged by its mode, so also as root), directly or through
// a link; each says the file and the cause through its own error, which ends a built game with
// status 1 too. A file that may be written is replaced.
TEST(WriteTargets, NoSaveWritesOverAReadOnlyFileAndEachSaysWhy) {
  const std::string bitmap = "Runtime Error : Cannot save the bitmap. ", image = "Runtime Error : Image command failed. ",
                    array = "Runtime Error : Cannot open or create the array file. ",
                    sound = "Runtime Error : Cannot save the sound. ",
                    file = "Runtime Error : Cannot write to the file. ";  // an animation, the static world
  CheckWrites({
      {1, "ro.bmp", kRun | kGame, bitmap + "ro.bmp: it is read-only", ""},
      {2, "ro.bmp", kRun, bitmap + "ro.bmp: it is read-only", ""},
      {2, "rolnk.bmp", kRun, bitmap + "rolnk.bmp: it is read-only", ""},
      {3, "ro.bmp", kRun, "Runtime Error : File already exists. ro.bmp: already exists", ""},
      {3, "dir.bmp", kRun, image + "dir.bmp: is a folder", ""},
      {3, "nof/x.bmp", kRun, image + "nof/x.bmp: its folder does not exist", ""},
      {4, "ro.bmp", kRun | kGame, array + "ro.bmp: it is read-only", ""},
      {4, "rolnk.bmp", kRun, array + "rolnk.bmp: it is read-only", ""},
      {4, "nof/x.bmp", kRun, array + "nof/x.bmp: its folder does not exist", ""},
      {5, "ro.bmp", kRun | kGame, sound + "ro.bmp: it is read-only", ""},
      {5, "dir.bmp", kRun, sound + "dir.bmp: is a folder", ""},
      {6, "ro.bmp", kRun | kGame, file + "ro.bmp: it is read-only", ""},
      {6, "dir.bmp", kRun, file + "dir.bmp: is a folder", ""},
      {6, "nof/x.bmp", kRun, file + "nof/x.bmp: its folder does not exist", ""},
      {7, "ro.bmp", kRun | kGame, file + "ro.bmp: it is read-only", ""},
      {7, "nof/x.bmp", kRun, file + "nof/x.bmp: its folder does not exist", ""},
      {2, "ex.bmp", kRun, "", ""},
      {4, "ex.bmp", kRun, "", ""},
      {6, "ex.bmp", kRun, "", ""},
  });
}

// The file commands never write over a read-only file either; a built game (and --standalone)
// says each write it lost and ends with status 1. MAKE FILE or MAKE DIRECTORY that finds
// something else than what it makes at the name made nothing: a lost write; the same kind of
// thing there is no loss. A block is never unpacked over a file that is there.
TEST(WriteTargets, TheFileCommandsKeepAReadOnlyFileAndSayWhatTheyDidNotMake) {
  const std::string exists = "Runtime Warning : File already exists. ", notMade = "Runtime Warning : Cannot make the file. ",
                    folderNotMade = "Runtime Warning : Cannot create the folder. ";
  CheckWrites({
      {8, "ro.bmp", kRun | kGame, "Runtime Warning : Cannot write to the file. ro.bmp: it is read-only",
       "cannot write ro.bmp: it is read-only"},
      {8, "rolnk.bmp", kRun, "Runtime Warning : Cannot write to the file. rolnk.bmp: it is read-only", ""},
      {9, "ro.bmp", kRun | kGame, exists + "ro.bmp: already exists", "cannot write ro.bmp: already exists"},
      {10, "ro.bmp", kRun, exists + "ro.bmp: already exists", ""},
      {11, "rolnk.bmp", kRun, exists + "rolnk.bmp: already exists", ""},
      {12, "ro.bmp", kRun | kStandalone | kGame, notMade + "ro.bmp: already exists", "-"},
      {12, "dlnk.bmp", kRun | kStandalone | kGame, notMade + "dlnk.bmp: a link to a missing file is there",
       "cannot write dlnk.bmp: a link to a missing file is there"},
      {12, "dir.bmp", kStandalone, "", "cannot write dir.bmp: a folder of that name is there"},
      {13, "ro.bmp", kRun | kStandalone | kGame, folderNotMade + "ro.bmp: a file of that name is there",
       "cannot make the folder ro.bmp: a file of that name is there"},
      {13, "rolnk.bmp", kStandalone, "", "cannot make the folder rolnk.bmp: a file of that name is there"},
      {13, "dlnk.bmp", kStandalone | kGame, "", "cannot make the folder dlnk.bmp: a link to a missing file is there"},
      {13, "dir.bmp", kRun | kStandalone | kGame, folderNotMade + "dir.bmp: already exists", "-"},
      {14, "ro.bmp", kRun | kGame, exists + "ro.bmp: already exists", "cannot write ro.bmp: already exists"},
      {15, "ro.bmp", kRun | kGame, "", ""},
  });
}

// A built game sees its packed files as the disk's for every read (a file on disk first), writes
// below a folder only its pack holds (the folders on the way made on disk, as `run` finds them
// there), and a write it refuses changes nothing.
TEST(WriteTargets, AGamesPackAndTheDiskForEveryReadAndWrite) {
  TempDir dir;
  for (const char* folder : {"src/pk", "play"}) std::filesystem::create_directories(dir.File(folder));
  dir.Write("src/packed.dat", "Packed\r\n");
  dir.Write("src/both.dat", "PackedBoth\r\n");
  dir.Write("src/pk/a.txt", "InPk\r\n");
  std::filesystem::create_directories(dir.File("src/pf"));
  dir.Write("src/pf/b.txt", "InPf\r\n");
  dir.Write("play/disk.dat", "Disk\r\n");
  dir.Write("play/both.dat", "DiskBoth\r\n");
  dir.Write("play/src.txt", "src");
  dir.Write("play/tool.sh", "pwd > ran.txt\n");
  dir.Write("play/blk.dat", std::string("\2\0\0\0ab", 6));
  std::string program = "open to write 32, \"log.txt\"\n";
  for (const char* name : {"packed.dat", "disk.dat", "both.dat", "pk", "pk/a.txt", "none.dat"})
    program += std::string("w(str$(file exist(\"") + name + "\")) + str$(path exist(\"" + name + "\")) + \" \" + str$(file size(\"" +
               name + "\")))\n";
  for (const char* name : {"packed.dat", "disk.dat", "both.dat", "pk/a.txt"}) {
    program += std::string("w(str$(read byte from file(\"") + name + "\", 0)))\n";
    program += std::string("open to read 1, \"") + name + "\"\nread string 1, a$\nclose file 1\nw(a$)\n";
  }
  // Each write below a folder of its own that only the pack holds.
  const char* writes[] = {
      "open to write 1, \"f1/new.txt\"\nwrite string 1, \"o\"\nclose file 1\n",
      "make file \"f2/new.txt\"\n",
      "copy file \"src.txt\", \"f3/new.txt\"\n",
      "rename file \"src.txt\", \"f4/new.txt\"\n",
      "make directory \"f5/new\"\n",
      "dim a(1)\nsave array \"f6/new.arr\", a(0)\n",
      "write byte to file \"f7/k.txt\", 0, 66\n",
      "create bitmap 1,8,8\nsave bitmap \"f8/new.bmp\", 1\nget image 1,0,0,8,8\nsave image \"f9/new.bmp\", 1\n",
      "make static collision box -1,-1,-1,1,1,1\nsave static objects \"f10/new.dat\"\n",
      "make object cube 1,10\nsave object animation \"f11/new.x\", 1\n",
      "open to read 2, \"blk.dat\"\nread fileblock 2, \"f12/new.txt\"\nclose file 2\n",
      "load sound \"s.wav\", 1\nsave sound \"f13/new.wav\", 1\n",
  };
  dir.Write("src/s.wav", SilentWav());
  for (int f = 1; f <= 13; ++f) {
    std::filesystem::create_directory(dir.File("src/f" + std::to_string(f)));
    dir.Write("src/f" + std::to_string(f) + "/k.txt", "keep");
  }
  for (const char* w : writes) program += w;
  // A packed name is the game's to write; a refused write onto a name on disk opens nothing.
  program += "open to write 3, \"packed.dat\"\nwrite string 3, \"mine\"\nclose file 3\ncopy file \"packed.dat\", \"pcopy.txt\"\n"
             "open to write 3, \"both.dat\"\nw(str$(file open(3)))\n"
             // A packed folder is a folder to a write at its name; its files are still read.
             "open to write 4, \"pk\"\nw(str$(file open(4)))\ncopy file \"disk.dat\", \"pk\"\nw(str$(file exist(\"pk/a.txt\")))\n"
             "rename file \"pf\", \"pf2\"\n"
             // A program runs in a folder only the pack holds, made on disk for it.
             "execute file \"/bin/sh\", \"" + dir.File("play/tool.sh") + "\", \"pf\", 1\n"
             "close file 32\nend\n"
             "function w(a$)\nwrite string 32, a$\nendfunction\n";
  dir.Write("src/prog.vka", program);
  const ProcessResult built = RunProcess(VellumarkExe(), {"build", dir.File("src/prog.vka"), "--media", "-o", dir.File("play/game")});
  ASSERT_EQ(built.status, 0) << built.err;
  // With a window (offscreen), so that the game has a sound device for the sound it saves.
  const ProcessResult r = RunProcess(dir.File("play/game"), {}, dir.File("play"),
                                     {"ASAN_OPTIONS=detect_leaks=0", "SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy"});
  EXPECT_EQ(r.status, 1) << r.err;  // the refused writes onto both.dat and pk
  EXPECT_NE(r.err.find("game: cannot write both.dat: already exists\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("game: cannot write pk: already exists\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("game: cannot rename pf to pf2: it is packed in the game and cannot be moved\n"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("play/pk")));
  EXPECT_NE(dir.Read("play/pf/ran.txt"), "");
  EXPECT_EQ(r.err.find("cannot write f"), std::string::npos) << r.err;
  EXPECT_EQ(dir.Read("play/log.txt"),
            "11 8\r\n11 6\r\n11 10\r\n01 0\r\n11 6\r\n00 0\r\n"
            "80\r\nPacked\r\n68\r\nDisk\r\n68\r\nDiskBoth\r\n73\r\nInPk\r\n0\r\n0\r\n1\r\n");
  EXPECT_EQ(dir.Read("play/f1/new.txt"), "o\r\n");
  EXPECT_EQ(dir.Read("play/f2/new.txt"), "");
  EXPECT_EQ(dir.Read("play/f3/new.txt"), "src");
  EXPECT_EQ(dir.Read("play/f4/new.txt"), "src");
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("play/f5/new")));
  EXPECT_EQ(dir.Read("play/f6/new.arr").size(), 8u);
  EXPECT_EQ(dir.Read("play/f7/k.txt"), "Beep");
  for (const char* file : {"play/f8/new.bmp", "play/f9/new.bmp", "play/f10/new.dat", "play/f11/new.x"})
    EXPECT_TRUE(std::filesystem::exists(dir.File(file))) << file;
  EXPECT_EQ(dir.Read("play/f12/new.txt"), "ab");
  EXPECT_EQ(dir.Read("play/f13/new.wav"), SilentWav());
  EXPECT_EQ(dir.Read("play/packed.dat"), "mine\r\n");
  EXPECT_EQ(dir.Read("play/pcopy.txt"), "mine\r\n");
  EXPECT_EQ(dir.Read("play/both.dat"), "DiskBoth\r\n");
}

}  // namespace
