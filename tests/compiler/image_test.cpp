// Golden program images: the compiler's image equals the test builder's image of the same
// program byte for byte, and the loader reads it.
#include <gtest/gtest.h>

#include <cstring>

#include "core/loader.h"
#include "platform/fs.h"
#include "tests/support/compile_helpers.h"
#include "tests/support/image_builder.h"

namespace {

std::vector<uint8_t> Compiled(const std::string& source) {
  Compiler& c = TestCompiler();
  EXPECT_TRUE(c.CompileText(source)) << c.ResultText();
  return c.BuildImage();
}

}  // namespace

TEST(Image, EmptyProgram) {
  std::vector<uint8_t> image = Compiled("");
  ImageBuilder b;
  b.Emit({213});
  EXPECT_EQ(image, b.Build());
  EXPECT_EQ(ImageWord(image, 1), 1024u);
  EXPECT_EQ(ImageWord(image, 3), 1024u);
  EXPECT_EQ(ImageWord(image, 5), 1025u);
  EXPECT_EQ(ImageWord(image, 7), 1029u);
  EXPECT_EQ(image.size(), size_t(4 * (1029 + 2)));
}

TEST(Image, LiteralsAndVariables) {
  std::vector<uint8_t> image = Compiled("a=7\nb#=2.5\nc$=\"ab\"\nd$=\"c\"\n");
  ImageBuilder b;
  int32_t a = b.IntVar(), seven = b.Int(7);
  b.Emit({151, a, seven});
  int32_t bf = b.FloatVar(), half = b.Float(2.5f);
  b.Emit({152, bf, half});
  int32_t c = b.StringVar(), ab = b.Text("ab");
  b.Emit({153, c, ab});
  int32_t d = b.StringVar(), cc = b.Text("c");
  b.Emit({153, d, cc, 213});
  EXPECT_EQ(image, b.Build());
  // The string block: bytes 61 62 00 63 00 00 00 00.
  const uint8_t* texts = image.data() + 4 * ImageWord(image, 3);
  EXPECT_EQ(std::memcmp(texts, "ab\0c\0\0\0\0", 8), 0);
  EXPECT_EQ(ImageWord(image, 5) - ImageWord(image, 3), 2u);
}

// Integer literals and DATA items beyond 32 bits are clamped to its range, also far below it.
TEST(Image, IntegerLiteralsAreClampedTo32Bits) {
  std::vector<uint8_t> image =
      Compiled("a=-3000000000\nb=-2147483649\nc=-99999999999999999999\nd=3000000000\ndata -3000000000,3000000000\n");
  ImageBuilder b;
  b.DataInt(INT32_MIN);
  b.DataInt(INT32_MAX);
  const int32_t low = b.Int(INT32_MIN);
  for (int k = 0; k < 3; ++k) b.Emit({151, b.IntVar(), low});
  const int32_t d = b.IntVar();
  b.Emit({151, d, b.Int(INT32_MAX), 213});
  EXPECT_EQ(image, b.Build());
}

TEST(Image, DataItemsAndRestore) {
  std::vector<uint8_t> image = Compiled("data 1,2.5,\"abc\",\"\"\nx:\ndata -4\nrestore x\nread a\n");
  ImageBuilder b;
  b.DataInt(1);
  b.DataFloat(2.5f);
  b.DataText("abc");
  b.DataText("");
  b.DataInt(-4);
  int32_t a = b.IntVar();
  b.Emit({31, 25004, 33, a, 213});
  EXPECT_EQ(image, b.Build());
}

TEST(Image, LabelsJumpsAndBlocks) {
  std::vector<uint8_t> image = Compiled("x:\ngoto x\nwhile 1\nendwhile\n");
  ImageBuilder b;
  int32_t one = b.Int(1);
  b.Emit({42, 37000, 9, one, 37007, 10, 37002, 213});
  EXPECT_EQ(image, b.Build());
}

TEST(Image, FunctionsOwnTheirVariables) {
  std::vector<uint8_t> image = Compiled("a=f(2)\nend\nfunction f(n)\nm=n\nendfunction m\n");
  ImageBuilder b;
  int32_t count = b.Int(1), two = b.Int(2), a = b.IntVar(0), n = b.IntVar(1), m = b.IntVar(1);
  b.Emit({21, 37010, 10000, count, two, 151, a, 10000, 213});
  b.Emit({26, n, 1, 151, m, n, 23, m, 213});
  EXPECT_EQ(image, b.Build());
}

TEST(Image, ArraysAndEveryBlockForm) {
  const char* source =
      "dim a$(3)\na$(1)=\"x\"\nfor i=1 to 3\nif i=2\nprint a$(i)\nelse\nprint i\nendif\nnext i\n"
      "do\nexit\nloop\nrepeat\nuntil 1\n";
  std::vector<uint8_t> image = Compiled(source);
  EXPECT_EQ(ImageWord(image, 0), 1u);
  // The loader takes the compiled image whole.
  std::string why;
  EXPECT_TRUE(LoadProgramFromBytes(image.data(), image.size(), &why)) << why;
  FreeProgramStrings();
}

TEST(Image, WriterWritesTheImageFileAndFailsClearly) {
  Compiler& c = TestCompiler();
  std::string path = TempFolder() + "/out.img";
  ASSERT_TRUE(c.CompileText("print 1\n", path));
  std::string bytes;
  ASSERT_TRUE(FsReadFile(path, bytes));
  std::vector<uint8_t> expected = c.BuildImage();
  EXPECT_EQ(bytes, std::string(expected.begin(), expected.end()));
  EXPECT_FALSE(c.CompileText("print 1\n", TempFolder() + "/no/such/folder/out.img"));
  EXPECT_NE(c.ResultText().find("Cannot write the program image"), std::string::npos);
}

TEST(Image, CodeDumpAppendsNumberedWords) {
  Compiler& c = TestCompiler();
  ASSERT_TRUE(c.CompileText("a=1\n"));
  std::string file = WriteTempFile("dump.txt", "before\r\n");
  ASSERT_TRUE(c.DumpCode(file));
  std::string text;
  ASSERT_TRUE(FsReadFile(file, text));
  EXPECT_EQ(text, "before\r\n0: 151\r\n1: 13000\r\n2: 19000\r\n3: 213\r\n4: 0\r\n5: ");
  EXPECT_FALSE(c.DumpCode(TempFolder() + "/no_such_dump.txt"));
}

TEST(Image, KeywordNamesByNumber) {
  const KeywordTable& k = TestCompiler().Keywords();
  int index = -1;
  EXPECT_EQ(k.GetKeywordName(303, &index), "print");
  EXPECT_EQ(k.GetKeywordParamChar(index, 0), 's');
  EXPECT_EQ(k.GetKeywordName(9999, &index), "");
  EXPECT_EQ(index, 0);
}
