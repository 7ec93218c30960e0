#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "core/command_table.h"
#include "core/loader.h"
#include "runtime/command_families.h"
#include "tests/support/image_builder.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

class LoaderTest : public testing::Test {
 protected:
  void SetUp() override { InitCommandTable(); }
  void TearDown() override {
    FreeProgramStrings();
    InitCommandTable();
  }
  bool Load(const std::vector<uint8_t>& image) { return LoadProgramFromBytes(image.data(), image.size(), &why); }
  std::string why;
};

TEST_F(LoaderTest, EmptyProgramHasTheSmallestLayout) {
  ImageBuilder b;
  std::vector<uint8_t> image = b.Build();
  EXPECT_EQ(ImageWord(image, 1), 1024u);
  EXPECT_EQ(ImageWord(image, 3), 1024u);
  EXPECT_EQ(ImageWord(image, 5), 1025u);
  EXPECT_EQ(ImageWord(image, 7), 1029u);
  ASSERT_TRUE(Load(image)) << why;
  EXPECT_EQ(g_codeWordCount, 1);
  EXPECT_EQ(CommandStream[0], 0);
  EXPECT_EQ(CommandStream[1], 0);  // guard
}

TEST_F(LoaderTest, LiteralsDataAndStringVariablesFillTheirCells) {
  ImageBuilder b;
  b.Int(-5);
  b.Int(7);
  b.Float(1.5f);
  b.Text("ab");
  b.Text("");
  b.Text("c");
  b.DataText("abc");   // 2 words
  b.DataInt(11);
  b.DataText("abcd");  // 2 words
  b.DataText("");      // 1 word
  b.DataFloat(-0.25f);
  b.StringVar();
  b.StringVar();
  b.IntVar(3);
  ASSERT_TRUE(Load(b.Build())) << why;
  EXPECT_EQ(g_cells[9000].i, -5);
  EXPECT_EQ(g_cells[9001].i, 7);
  EXPECT_EQ(g_cells[11000].f, 1.5f);
  EXPECT_STREQ(g_cells[13000].s, "ab");
  ASSERT_NE(g_cells[13001].s, nullptr);  // an empty text is a real empty string
  EXPECT_STREQ(g_cells[13001].s, "");
  EXPECT_STREQ(g_cells[13002].s, "c");
  EXPECT_EQ(g_cells[13003].s, nullptr);
  EXPECT_STREQ(g_cells[15000].s, "abc");
  EXPECT_EQ(g_cells[15001].i, 11);
  EXPECT_STREQ(g_cells[15002].s, "abcd");
  ASSERT_NE(g_cells[15003].s, nullptr);
  EXPECT_STREQ(g_cells[15003].s, "");
  EXPECT_EQ(g_cells[15004].f, -0.25f);
  EXPECT_EQ(g_program.dataTypes, "slssf");
  EXPECT_STREQ(g_cells[7000].s, "");
  EXPECT_STREQ(g_cells[7001].s, "");
  EXPECT_EQ(g_cells[7002].s, nullptr);
  ASSERT_EQ(g_program.scopeTables[0].size(), 1u);
  EXPECT_EQ(g_program.scopeTables[0][0], 3);
  ProgramCounter = CommandStream;
  FreeProgramStrings();
  EXPECT_EQ(g_cells, nullptr);
  EXPECT_EQ(CommandStream, nullptr);
  EXPECT_EQ(ProgramCounter, nullptr);
}

// A hand-made image may hold longer texts than the compiler writes: they are cut to the 255
// characters every string command keeps, and the walk over the DATA words stays in step.
TEST_F(LoaderTest, LongTextsAreCutTo255Characters) {
  ImageBuilder b;
  b.Text(std::string(300, 'a'));
  b.DataText(std::string(400, 'b'));
  b.DataInt(9);
  ASSERT_TRUE(Load(b.Build())) << why;
  EXPECT_EQ(std::strlen(g_cells[13000].s), 255u);
  EXPECT_EQ(std::strlen(g_cells[15000].s), 255u);
  EXPECT_EQ(g_cells[15001].i, 9);
}

TEST_F(LoaderTest, OperandsBecomeCellAddressesCodeAddressesAndDataIndices) {
  ImageBuilder b;
  int32_t lit = b.Int(3);
  int32_t data = b.DataInt(1);
  b.DataInt(2);
  b.Emit({9999, lit, 37000, data + 1, -4});
  ASSERT_TRUE(Load(b.Build())) << why;
  EXPECT_EQ(CommandStream[0], 9999);
  EXPECT_EQ(reinterpret_cast<VarCell*>(CommandStream[1]), &g_cells[9000]);
  EXPECT_EQ(reinterpret_cast<CodeWord*>(CommandStream[2]), &CommandStream[0]);
  EXPECT_EQ(CommandStream[3], kDataPositionBase + 1);  // never taken for a command number
  EXPECT_EQ(CommandStream[4], -4);
}

TEST_F(LoaderTest, DamagedImagesLoadNothing) {
  ImageBuilder b;
  b.Text("hello");
  b.DataText("world");
  b.Emit({9999, 10000, 10001});  // a number without a handler, then two cell words
  const std::vector<uint8_t> good = b.Build();
  ASSERT_TRUE(Load(good));

  auto expectRefused = [&](std::vector<uint8_t> image, const char* what) {
    EXPECT_FALSE(Load(image)) << what;
    EXPECT_EQ(g_cells, nullptr) << what;
    EXPECT_EQ(CommandStream, nullptr) << what;
    EXPECT_FALSE(why.empty()) << what;
  };
  std::vector<uint8_t> img = good;
  SetImageWord(img, 0, 2);
  expectRefused(img, "format version");
  expectRefused(std::vector<uint8_t>(good.begin(), good.begin() + 4000), "shorter than a header");
  expectRefused(std::vector<uint8_t>(good.begin(), good.end() - 1), "not whole words");
  img = good;
  SetImageWord(img, 7, uint32_t(good.size() / 4 + 1));
  expectRefused(img, "code start past the end");
  img = good;
  SetImageWord(img, 4, 5000);
  expectRefused(img, "too many string literals");
  img = good;
  SetImageWord(img, 6, 100000);
  expectRefused(img, "too many DATA items");
  img = good;
  SetImageWord(img, 11, 2000);
  expectRefused(img, "scope tables before the data");
  img = good;
  SetImageWord(img, ImageWord(good, 7), 37000 + 50);
  expectRefused(img, "jump outside the code");
  img = good;
  SetImageWord(img, ImageWord(good, 7), 35000);
  expectRefused(img, "unresolved name");
  img = good;
  SetImageWord(img, ImageWord(good, 7), 25000 + 2);
  expectRefused(img, "DATA position past the items");
  expectRefused(std::vector<uint8_t>(good.begin(), good.end() - 4), "cut after a whole instruction");
  img = good;
  SetImageWord(img, 8, 1);
  expectRefused(img, "variable count unlike its scope table");
  img = good;
  SetImageWord(img, 12, 1234);
  expectRefused(img, "a code page without a table");
}

// Every count is checked against what its block and the code hold, and the code against the
// file's end, each refusal with its own cause.
TEST_F(LoaderTest, CountsMustMatchTheBlocksAndTheCode) {
  ImageBuilder b;
  const int32_t text = b.Text("hello");
  b.DataText("world");
  b.Emit({153, b.StringVar(), text});  // a = "hello"
  const std::vector<uint8_t> good = b.Build();
  ASSERT_TRUE(Load(good)) << why;
  const auto with = [&](size_t word, uint32_t value) {
    std::vector<uint8_t> image = good;
    SetImageWord(image, word, value);
    return image;
  };
  std::vector<uint8_t> appended = good, extraValue = with(7, ImageWord(good, 7) + 1);
  appended.insert(appended.end(), {'j', 'u', 'n', 'k'});
  const size_t scopeStart = ImageWord(good, 7) - ImageWord(good, 11);
  extraValue.insert(extraValue.begin() + std::ptrdiff_t(scopeStart * 4), 4, 0);
  const auto code = [](int32_t var, int32_t literal) {
    ImageBuilder c;
    c.StringVar();
    c.Text("x");
    c.Emit({153, var, literal});
    return c.Build();
  };
  const auto intCode = [](int32_t literal) {  // an integer literal: a = literal
    ImageBuilder c;
    const int32_t var = c.IntVar();
    c.Int(7);
    c.Emit({151, var, literal});
    return c.Build();
  };
  const std::pair<std::vector<uint8_t>, const char*> kCases[] = {
      {with(4, 0), "the program image holds more string literals than its count gives"},
      {with(6, 0), "the program image holds more DATA items than its count gives"},
      {extraValue, "the program image holds more DATA values than its count gives"},
      {code(17001, 23000), "the code uses a variable past the image's counts"},
      {code(17000, 23001), "the code uses a literal past the image's counts"},
      {intCode(19001), "the code uses a literal past the image's counts"},
      {appended, "the program image holds more data than its counts give: 4 bytes follow the end of its code"},
      {std::vector<uint8_t>(good.begin(), good.end() - 4), "the program image is cut short: its code does not end as written"},
  };
  for (const auto& [image, cause] : kCases) {
    EXPECT_FALSE(Load(image)) << cause;
    EXPECT_EQ(why, cause);
    EXPECT_EQ(g_cells, nullptr) << cause;
  }
}

// Header word 12 carries the code page of the program's texts; an image made before it was
// carried has 0 there, and loads as it always did.
TEST_F(LoaderTest, TheImageCarriesItsCodePage) {
  ImageBuilder b;
  std::vector<uint8_t> image = b.Build();
  for (uint32_t page : {0u, 1251u, 874u}) {
    SetImageWord(image, 12, page);
    ASSERT_TRUE(Load(image)) << page << why;
    EXPECT_EQ(g_program.codePage, int32_t(page));
  }
}

// An image file is judged by its size before it is read: a sparse 3 GB file is refused at
// once, and neither a pipe nor a device is ever read.
TEST_F(LoaderTest, ImageFilesAreCheckedBeforeTheyAreRead) {
  TempDir dir;
  int fd = open(dir.File("huge.img").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, off_t(3) << 30), 0);
  close(fd);
  EXPECT_FALSE(LoadProgram(dir.File("huge.img"), &why));
  EXPECT_EQ(why, "the program image is too large");
  ASSERT_EQ(mkfifo(dir.File("pipe.img").c_str(), 0600), 0);
  EXPECT_FALSE(LoadProgram(dir.File("pipe.img"), &why));
  EXPECT_FALSE(LoadProgram("/dev/zero", &why));
  EXPECT_EQ(why, "the program image is not a regular file");
}

void CmdTestNothing() { SkipOperands(2); }

TEST_F(LoaderTest, OperandKindsOfDeclaredCommandsAreChecked) {
  g_commandTable[42] = CmdTestNothing;
  g_commandOperands[42] = "la";
  ImageBuilder b;
  int32_t i = b.IntVar(), f = b.FloatVar();
  int32_t start = b.Emit({42, i, 37000});
  ASSERT_TRUE(Load(b.Build())) << why;
  EXPECT_TRUE(g_program.checkedWholeCode);

  ImageBuilder wrongType;
  wrongType.IntVar();
  f = wrongType.FloatVar();
  wrongType.Emit({42, f, 37000});
  EXPECT_FALSE(Load(wrongType.Build()));

  ImageBuilder intoOperand;
  i = intoOperand.IntVar();
  intoOperand.Emit({42, i, 37001});  // lands on the operand word
  EXPECT_FALSE(Load(intoOperand.Build()));

  ImageBuilder truncated;
  i = truncated.IntVar();
  truncated.Emit({42, i});
  EXPECT_FALSE(Load(truncated.Build(true)));
  (void)start;
}

TEST_F(LoaderTest, UndeclaredCommandsAreWalkedWordByWord) {
  const int unbuilt = UnbuiltCommand();
  if (unbuilt == 0) GTEST_SKIP() << "every command is built";
  ImageBuilder b;
  int32_t v = b.IntVar();
  b.Emit({unbuilt, v, 37000});  // a placeholder: its operand words are walked as instructions
  ASSERT_TRUE(Load(b.Build())) << why;
  EXPECT_TRUE(g_program.checkedWholeCode);
  ImageBuilder hidden;
  hidden.Emit({unbuilt, 1, 0});  // a built command (1) hidden behind it still has its operands checked
  EXPECT_FALSE(Load(hidden.Build()));
}

TEST_F(LoaderTest, ADataPositionIsNeverRunAsACommand) {
  ImageBuilder b;
  b.DataInt(1);
  b.Emit({25000});  // would be 0 after taking the base off
  ASSERT_TRUE(Load(b.Build())) << why;
  EXPECT_GE(CommandStream[0], kCommandSlots);
}

}  // namespace
