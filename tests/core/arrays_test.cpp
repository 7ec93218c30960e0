// Arrays of one to five dimensions and array files.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/arrays.h"
#include "core/errors.h"
#include "core/pack.h"
#include "platform/fs.h"
#include "tests/support/program_run.h"

namespace {

TEST(Arrays, CreateGivesZeroedElementsUpToTheHighestIndex) {
  ProgramRun run;
  ImageBuilder b;
  int32_t a = b.IntVar(), ten = b.Int(10), x = b.IntVar();
  b.Emit({501, a, ten});
  b.Emit({661, x, a, ten});
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(g_arrays[0].total, 11);
  EXPECT_EQ(ProgramRun::Int(x), 0);
  EXPECT_EQ(ProgramRun::Cell(a).p, g_arrays[0].data);
}

TEST(Arrays, FlatIndexIsFirstIndexFastest) {
  ProgramRun run;
  ImageBuilder b;
  int32_t a = b.IntVar(), x = b.IntVar(), y = b.IntVar();
  int32_t zero = b.Int(0), one = b.Int(1), two = b.Int(2), three = b.Int(3), v = b.Int(77);
  b.Emit({502, a, two, three});      // sizes 3 by 4
  b.Emit({562, a, zero, one, v});    // (0, 1)
  b.Emit({662, x, a, three, zero});  // (3, 0) is the same element
  b.Emit({661, y, a, three});        // element 3 of the block
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(ProgramRun::Int(x), 77);
  EXPECT_EQ(ProgramRun::Int(y), 77);
}

TEST(Arrays, FiveDimensionsOfEveryType) {
  ProgramRun run;
  ImageBuilder b;
  int32_t ia = b.IntVar(), fa = b.FloatVar(), sa = b.StringVar(), x = b.IntVar(), f = b.FloatVar(), s = b.StringVar();
  int32_t one = b.Int(1), two = b.Int(2);
  b.Emit({505, ia, one, one, one, one, two});
  b.Emit({515, fa, one, one, one, one, two});
  b.Emit({525, sa, one, one, one, one, two});
  b.Emit({565, ia, one, one, one, one, two, b.Int(-5)});
  b.Emit({580, fa, one, one, one, one, two, b.Int(3)});
  b.Emit({575, sa, one, one, one, one, two, b.Text("deep")});
  b.Emit({665, x, ia, one, one, one, one, two});
  b.Emit({670, f, fa, one, one, one, one, two});
  b.Emit({675, s, sa, one, one, one, one, two});
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(g_arrays[0].total, 48);
  EXPECT_EQ(ProgramRun::Int(x), -5);
  EXPECT_EQ(ProgramRun::Float(f), 3.0f);
  EXPECT_EQ(ProgramRun::Text(s), "deep");
}

TEST(Arrays, MissingArraysAndMissingTexts) {
  ProgramRun run;
  ImageBuilder b;
  int32_t a = b.IntVar(), sa = b.StringVar(), x = b.IntVar(), s1 = b.StringVar(), s2 = b.StringVar();
  int32_t s0 = b.StringVar();
  int32_t one = b.Int(1), five = b.Int(5);
  b.Emit({561, a, one, five});  // never created: nothing happens
  b.Emit({661, x, a, one});
  b.Emit({671, s0, sa, one});
  b.Emit({522, sa, one, one});
  b.Emit({671, s1, sa, one});
  b.Emit({672, s2, sa, one, one});
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(ProgramRun::Int(x), 0);
  EXPECT_EQ(ProgramRun::Text(s0), "");
  EXPECT_EQ(ProgramRun::Text(s1), "");
  EXPECT_EQ(ProgramRun::Text(s2), " ");
}

int32_t RunAndGetError(const std::function<void(ImageBuilder&)>& body) {
  ProgramRun run;
  ImageBuilder b;
  body(b);
  run.LoadAndRun(b);
  return LastErrorCode();
}

TEST(Arrays, BadSizesAndIndices) {
  // Index beyond the block.
  EXPECT_EQ(RunAndGetError([](ImageBuilder& b) {
              int32_t a = b.IntVar(), three = b.Int(3);
              b.Emit({501, a, three});
              b.Emit({561, a, b.Int(4), three});
            }),
            102);
  EXPECT_EQ(RunAndGetError([](ImageBuilder& b) {
              int32_t a = b.IntVar(), three = b.Int(3);
              b.Emit({501, a, three});
              b.Emit({661, 10000, a, b.Int(-1)});
            }),
            102);
  // Indices whose flat index would overflow 32 and 64 bits.
  EXPECT_EQ(RunAndGetError([](ImageBuilder& b) {
              int32_t a = b.IntVar(), one = b.Int(1), big = b.Int(2147483647);
              b.Emit({505, a, one, one, one, one, one});
              b.Emit({665, 10000, a, big, big, big, big, big});
            }),
            102);
  // Negative and oversized totals.
  EXPECT_EQ(RunAndGetError([](ImageBuilder& b) {
              int32_t a = b.IntVar();
              b.Emit({501, a, b.Int(-5)});
            }),
            101);
  EXPECT_EQ(RunAndGetError([](ImageBuilder& b) {
              int32_t a = b.IntVar(), m = b.Int(-2);
              b.Emit({502, a, m, m});  // two negative sizes must not make a positive total
            }),
            101);
  EXPECT_EQ(RunAndGetError([](ImageBuilder& b) {
              int32_t a = b.IntVar(), big = b.Int(100000);
              b.Emit({505, a, big, big, big, big, big});
            }),
            101);
  // An empty array (highest index -1) exists but holds nothing.
  EXPECT_EQ(RunAndGetError([](ImageBuilder& b) {
              int32_t a = b.IntVar(), zero = b.Int(0);
              b.Emit({502, a, b.Int(2147483646), b.Int(-1)});
              b.Emit({562, a, zero, zero, zero});
            }),
            102);
  // An array operand that is not an array variable is a damaged program.
  EXPECT_EQ(RunAndGetError([](ImageBuilder& b) { b.Emit({501, 10000, b.Int(3)}); }), 10010);
}

TEST(Arrays, ReleaseAndRecreate) {
  ProgramRun run;
  ImageBuilder b;
  int32_t sa = b.StringVar(), s = b.StringVar(), two = b.Int(2), one = b.Int(1);
  b.Emit({521, sa, two});
  b.Emit({571, sa, one, b.Text("old")});
  b.Emit({521, sa, two});  // a new create discards the contents
  b.Emit({671, s, sa, one});
  b.Emit({526, sa});
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(ProgramRun::Text(s), "");
  EXPECT_EQ(g_arrays[4000].data, nullptr);
  EXPECT_EQ(ProgramRun::Text(sa), "");
}

class ArrayFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = FsTempFolder() + "/arrays";
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string Path(const char* name) { return folder_ + "/" + name; }
  static std::string Read(const std::string& path) {
    std::string s;
    FsReadFile(path, s);
    return s;
  }
  // DIM a(size - 1), then the command on the array as the compiler emits it: the
  // one-index fetch of the array, then the file command.
  void Emit(ImageBuilder& b, int32_t command, int32_t array, const std::string& path) {
    int32_t dest = command == 5003 || command == 5006 ? 12000 : command == 5002 || command == 5005 ? 11000 : 10000;
    int32_t fetch = dest == 12000 ? 671 : dest == 11000 ? 666 : 661;
    b.Emit({fetch, dest, array, b.Int(0)});
    b.Emit({command, b.Text(path), dest});
  }
  std::string folder_;
};

TEST_F(ArrayFiles, IntegerArraysSaveAndLoadByteForByte) {
  ProgramRun run;
  ImageBuilder b;
  int32_t a = b.IntVar(), c = b.IntVar(), f = b.FloatVar();
  b.Emit({501, a, b.Int(2)});
  b.Emit({561, a, b.Int(0), b.Int(0x01020304)});
  b.Emit({561, a, b.Int(2), b.Int(-2)});
  Emit(b, 5004, a, Path("ints.dat"));
  b.Emit({511, f, b.Int(1)});
  b.Emit({566, f, b.Int(1), b.Float(1.5f)});
  Emit(b, 5005, f, Path("floats.dat"));
  b.Emit({501, c, b.Int(4)});
  Emit(b, 5001, c, Path("ints.dat"));
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(Read(Path("ints.dat")), std::string("\x04\x03\x02\x01\0\0\0\0\xfe\xff\xff\xff", 12));
  EXPECT_EQ(Read(Path("floats.dat")), std::string("\0\0\0\0\0\0\xc0\x3f", 8));
  const int32_t* loaded = static_cast<const int32_t*>(g_arrays[1].data);
  EXPECT_EQ(loaded[0], 0x01020304);
  EXPECT_EQ(loaded[2], -2);
  EXPECT_EQ(loaded[3], 0);
}

TEST_F(ArrayFiles, PartialValuesAreIgnored) {
  std::FILE* file = std::fopen(Path("ten.dat").c_str(), "wb");
  std::fwrite("\x01\0\0\0\x02\0\0\0\x03\0", 1, 10, file);
  std::fclose(file);
  ProgramRun run;
  ImageBuilder b;
  int32_t a = b.IntVar();
  b.Emit({501, a, b.Int(4)});
  b.Emit({561, a, b.Int(3), b.Int(9)});
  Emit(b, 5001, a, Path("ten.dat"));
  EXPECT_TRUE(run.LoadAndRun(b));
  const int32_t* v = static_cast<const int32_t*>(g_arrays[0].data);
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], 2);
  EXPECT_EQ(v[2], 0);
  EXPECT_EQ(v[3], 0);
  EXPECT_EQ(v[4], 0);
}

TEST_F(ArrayFiles, StringArraysAreLines) {
  ProgramRun run;
  ImageBuilder b;
  int32_t a = b.StringVar(), c = b.StringVar(), d = b.StringVar();
  b.Emit({521, a, b.Int(2)});
  b.Emit({571, a, b.Int(0), b.Text("a")});
  b.Emit({571, a, b.Int(2), b.Text("c")});
  Emit(b, 5006, a, Path("lines.txt"));
  b.Emit({521, c, b.Int(4)});
  Emit(b, 5003, c, Path("lines.txt"));
  b.Emit({521, d, b.Int(2)});
  Emit(b, 5003, d, Path("missing.txt"));
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(Read(Path("lines.txt")), "a\r\n\r\nc\r\n");
  char** t = static_cast<char**>(g_arrays[4001].data);
  EXPECT_STREQ(t[0], "a");
  EXPECT_STREQ(t[1], "");
  EXPECT_STREQ(t[2], "c");
  EXPECT_STREQ(t[3], "");
  EXPECT_STREQ(t[4], "");
  EXPECT_TRUE(FsFileExists(Path("missing.txt")));  // created empty
  EXPECT_STREQ(static_cast<char**>(g_arrays[4002].data)[0], "");
}

TEST_F(ArrayFiles, LongLinesContinueAndLoneBreaksStay) {
  std::string text = std::string(300, 'x') + "\r\nb\rc\n\n\nd";
  FsWriteFileAtomic(Path("long.txt"), text);
  ProgramRun run;
  ImageBuilder b;
  int32_t a = b.StringVar();
  b.Emit({521, a, b.Int(3)});
  Emit(b, 5003, a, Path("long.txt"));
  EXPECT_TRUE(run.LoadAndRun(b));
  char** t = static_cast<char**>(g_arrays[4000].data);
  EXPECT_EQ(std::string(t[0]), std::string(255, 'x'));
  EXPECT_EQ(std::string(t[1]), std::string(45, 'x'));
  EXPECT_EQ(std::string(t[2]), "b\rc\n\n\nd");
  EXPECT_EQ(std::string(t[3]), "");
}

// A file without a CR LF ends its lines at the line end it has first; texts SAVE ARRAY wrote
// with a lone LF or CR in them still come back whole; a UTF-8 mark is skipped; a UTF-16 text is
// refused with its form, the array kept.
TEST_F(ArrayFiles, LineEndFormsAndByteOrderMarks) {
  using L = std::vector<std::string>;
  const struct {
    std::string bytes;
    L lines;
    const char* cause;
  } kCases[] = {
      {"alpha\nbeta\n\ngamma\n", {"alpha", "beta", "", "gamma"}, nullptr},
      {"alpha\rbeta\nb\rgamma", {"alpha", "beta\nb", "gamma", ""}, nullptr},
      {"\xEF\xBB\xBF" "alpha\r\nbeta\r\n", {"alpha", "beta", "", ""}, nullptr},
      {"\xEF\xBB\xBF" "alpha\nbeta", {"alpha", "beta", "", ""}, nullptr},
      {"a\nb\r\n\rc\r\n", {"a\nb", "\rc", "", ""}, nullptr},
      {std::string(255, 'x') + "\ny", {std::string(255, 'x'), "y", "", ""}, nullptr},
      {std::string("\xFF\xFE" "a\0\n\0", 6), {"old", "", "", ""}, "its text is UTF-16 (little-endian)"},
      {std::string("\xFE\xFF\0a\0\n", 6), {"old", "", "", ""}, "its text is UTF-16 (big-endian)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.bytes);
    FsWriteFileAtomic(Path("t.txt"), c.bytes);
    ProgramRun run;
    ImageBuilder b;
    int32_t a = b.StringVar();
    b.Emit({521, a, b.Int(3)});
    b.Emit({571, a, b.Int(0), b.Text("old")});
    Emit(b, 5003, a, Path("t.txt"));
    EXPECT_TRUE(run.LoadAndRun(b));
    EXPECT_EQ(LastErrorCode(), c.cause ? 104 : 0);
    if (c.cause) {
      EXPECT_EQ(g_lastEngineError.rfind(Path("t.txt") + ": " + c.cause, 0), 0u) << g_lastEngineError;
    }
    char** t = static_cast<char**>(g_arrays[4000].data);
    L got;
    for (int k = 0; k < 4; ++k) got.push_back(t[k] ? t[k] : "");
    EXPECT_EQ(got, c.lines);
  }
}

TEST_F(ArrayFiles, LoadingReadsPackedFilesFirst) {
  VirtualFiles reader;
  std::vector<uint8_t> pack = BuildPack({{"program.img", {0}}, {"scores.dat", {7, 0, 0, 0, 8, 0, 0, 0}}}, 0);
  ASSERT_TRUE(reader.LoadPackFromBytes(pack.data(), pack.size()));
  g_packReader = &reader;
  ProgramRun run;
  ImageBuilder b;
  int32_t a = b.IntVar();
  b.Emit({501, a, b.Int(1)});
  Emit(b, 5001, a, "SCORES.DAT");
  EXPECT_TRUE(run.LoadAndRun(b));
  g_packReader = nullptr;
  const int32_t* v = static_cast<const int32_t*>(g_arrays[0].data);
  EXPECT_EQ(v[0], 7);
  EXPECT_EQ(v[1], 8);
}

TEST_F(ArrayFiles, ErrorsOfArrayFiles) {
  EXPECT_EQ(RunAndGetError([this](ImageBuilder& b) {  // no array
              int32_t a = b.IntVar();
              Emit(b, 5004, a, Path("none.dat"));
            }),
            109);
  // A save that fails names the file and the cause, and leaves the file there as it was.
  std::FILE* old = std::fopen(Path("full.dat").c_str(), "wb");
  std::fputs("old", old);
  std::fclose(old);
  const struct {
    const char* name;
    int32_t faults;
    const char* cause;
  } cases[] = {{"no/such/folder/x.dat", 0, "its folder does not exist"}, {"full.dat", 1, "disk full"}};
  for (const auto& c : cases) {
    g_fsWriteFaults = c.faults;
    EXPECT_EQ(RunAndGetError([&](ImageBuilder& b) {
                int32_t a = b.IntVar();
                b.Emit({501, a, b.Int(1)});
                Emit(b, 5004, a, Path(c.name));
              }),
              104);
    g_fsWriteFaults = 0;
    EXPECT_EQ(g_lastEngineError, Path(c.name) + ": " + c.cause);
  }
  EXPECT_EQ(Read(Path("full.dat")), "old");
}

// Loads read only regular files and never create or replace anything but a missing name;
// a device such as /dev/zero (which never ends) gives the load error too.
TEST_F(ArrayFiles, LoadsReadOnlyRegularFilesAndOnlyWhatTheArrayTakes) {
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink(Path("nowhere"), Path("dangling"));
  // The message names the file and the cause after the error's text.
  const std::pair<const char*, const char*> kCases[] = {
      {"pipe", "not a regular file"},
      {"dangling", "not a regular file"},
      {"no/x.dat", "not found, and cannot be made"}};
  for (const auto& c : kCases) {
    const char* name = c.first;
    SCOPED_TRACE(name);
    EXPECT_EQ(RunAndGetError([&](ImageBuilder& b) {
                int32_t a = b.IntVar();
                b.Emit({501, a, b.Int(1)});
                Emit(b, 5001, a, Path(name));
              }),
              104);
    EXPECT_EQ(g_lastEngineError.rfind(Path(name) + ": " + c.second, 0), 0u) << g_lastEngineError;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(Path("pipe")));
  EXPECT_TRUE(std::filesystem::is_symlink(Path("dangling")));
  EXPECT_FALSE(std::filesystem::exists(Path("nowhere")));
  ProgramRun run;
  ImageBuilder b;
  int32_t a = b.IntVar();
  b.Emit({501, a, b.Int(3)});
  b.Emit({561, a, b.Int(0), b.Int(5)});
  Emit(b, 5001, a, "/dev/zero");
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 104);
  EXPECT_EQ(static_cast<const int32_t*>(g_arrays[0].data)[0], 5);  // unchanged
}

}  // namespace

namespace {

// Strides of huge sizes (an empty array, or sizes left from a failed creation) must not
// overflow the flat index: every access is outside.
TEST(Arrays, LeftOverSizesNeverReachOutside) {
  ProgramRun run;
  ImageBuilder b;
  int32_t a = b.IntVar(), big = b.Int(2147483646);
  b.Emit({505, a, big, big, big, big, big});  // fails: error 101 ends the run
  ASSERT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 101);
  ImageBuilder c;
  int32_t a2 = c.IntVar(), big2 = c.Int(2147483646), two = c.Int(2), m = c.Int(-1);
  c.Emit({505, a2, big2, big2, big2, big2, m});  // total 0: an empty array
  c.Emit({665, 10000, a2, two, two, two, two, two});
  ASSERT_TRUE(run.Load(c));
  run.Run();
  EXPECT_EQ(LastErrorCode(), 102);
}

}  // namespace

namespace {

// A string array variable's cell keeps a text of its own: used as a plain string (a damaged
// program), it is never taken for the element block.
TEST(Arrays, StringArrayCellsStayTexts) {
  ProgramRun run;
  ImageBuilder b;
  int32_t sa = b.StringVar(), s = b.StringVar(), one = b.Int(1);
  b.Emit({521, sa, one});
  b.Emit({571, sa, one, b.Text("kept")});
  b.Emit({153, sa, b.Text("plain")});
  b.Emit({671, s, sa, one});
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(ProgramRun::Text(s), "kept");
  EXPECT_EQ(ProgramRun::Text(sa), "plain");
}

}  // namespace

// The three array files in their written form, compiled from source and run: each type is
// saved, its array made anew and loaded back.
TEST(ArrayFilesProgram, EveryTypeRoundTripsFromSource) {
  const char* source =
      "dim a(3)\ndim b#(2)\ndim c$(2)\n"
      "a(0) = -7\na(3) = 65536\nb#(1) = 2.5\nc$(0) = \"one\"\nc$(2) = \"three\"\n"
      "save array \"a.arr\", a(0)\nsave array \"b.arr\", b#(0)\nsave array \"c.arr\", c$(0)\n"
      "dim a(3)\ndim b#(2)\ndim c$(2)\n"
      "load array \"a.arr\", a(0)\nload array \"b.arr\", b#(0)\nload array \"c.arr\", c$(0)\n"
      "print a(0)\nprint a(3)\nprint b#(1)\nprint c$(0) + \"/\" + c$(1) + \"/\" + c$(2)\nend\n";
  const RunOutcome r = RunVkaSource(source, 10);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.transcript, "-7\n65536\n2.5\none//three\n");
}
