// File streams: typed values, lines, blocks and folder blocks, byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "system/streams.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string U32(uint32_t v) {
  uint8_t b[4];
  StoreU32(b, v);
  return std::string(reinterpret_cast<char*>(b), 4);
}

// A folder-block entry as it is stored.
std::string Entry(const std::string& name, const std::string& data) {
  return U32(uint32_t(name.size() + 1)) + name + std::string(1, '\0') + U32(uint32_t(data.size())) + data;
}

class Streams : public testing::Test {
 protected:
  void TearDown() override { ResetStreams(); }
  StreamSlot& Slot(int n) { return g_fileStreams.slots[n]; }
  int32_t ReadInt(int n, size_t size) {
    uint8_t b[4] = {};
    EXPECT_EQ(StreamRead(Slot(n), b, size), 0);
    uint32_t v = LoadU32(b);
    return int32_t(v);
  }
  TempDir dir;
};

TEST_F(Streams, TypedValuesAreLittleEndianAndWordsKeepTheirLowBits) {
  ASSERT_EQ(StreamOpenWrite(1, dir.File("v.dat")), 0);
  const uint8_t byte = 0xFF;
  const uint32_t word = 65536, integer = 0x12345678;
  const float f = 1.5f;
  StreamWrite(Slot(1), &byte, 1);
  StreamWrite(Slot(1), &word, 2);
  StreamWrite(Slot(1), &integer, 4);
  StreamWrite(Slot(1), &f, 4);
  StreamWrite(Slot(1), "AB\r\n", 4);
  ASSERT_EQ(StreamClose(1), 0);
  EXPECT_EQ(dir.Read("v.dat"), std::string("\xFF\x00\x00\x78\x56\x34\x12\x00\x00\xC0\x3F" "AB\r\n", 15));

  ASSERT_EQ(StreamOpenRead(1, dir.File("V.DAT")), 0);
  EXPECT_EQ(ReadInt(1, 1), 255);
  EXPECT_EQ(ReadInt(1, 2), 0);
  EXPECT_EQ(ReadInt(1, 4), 0x12345678);
  float back = 0;
  StreamRead(Slot(1), &back, 4);
  EXPECT_EQ(back, 1.5f);
  std::string line;
  EXPECT_EQ(StreamReadLine(Slot(1), line), 0);
  EXPECT_EQ(line, "AB");
  EXPECT_FALSE(StreamAtEnd(1));
  // At the end a typed read keeps what was there and zeros for the rest.
  EXPECT_EQ(ReadInt(1, 4), 0);
  EXPECT_TRUE(StreamAtEnd(1));
}

TEST_F(Streams, ShortReadsKeepTheBytesThatWereThere) {
  dir.Write("short.dat", "\x34\x12");
  ASSERT_EQ(StreamOpenRead(2, dir.File("short.dat")), 0);
  EXPECT_EQ(ReadInt(2, 4), 0x1234);
  EXPECT_TRUE(StreamAtEnd(2));
  EXPECT_EQ(StreamClose(2), 0);
  EXPECT_FALSE(StreamAtEnd(2));
}

TEST_F(Streams, LinesEndAtControlBytesAndKeep255Characters) {
  dir.Write("lines.txt", "AB\r\nCD\r\n\r\nEF\rGH\n" + std::string(300, 'x') + "\r\nlast");
  ASSERT_EQ(StreamOpenRead(3, dir.File("lines.txt")), 0);
  const char* expected[] = {"AB", "CD", "", "EF", "GH"};
  std::string line;
  for (const char* e : expected) {
    EXPECT_EQ(StreamReadLine(Slot(3), line), 0);
    EXPECT_EQ(line, e);
  }
  StreamReadLine(Slot(3), line);
  EXPECT_EQ(line, std::string(255, 'x'));
  StreamReadLine(Slot(3), line);
  EXPECT_EQ(line, "last");
  EXPECT_TRUE(StreamAtEnd(3));
}

TEST_F(Streams, NumbersOpenStatesAndExistingFilesAreChecked) {
  dir.Write("there.dat", "x");
  int32_t error = 0;
  EXPECT_EQ(StreamOpenRead(33, dir.File("there.dat")), 8213);
  EXPECT_EQ(StreamOpenRead(0, dir.File("there.dat")), 8213);
  EXPECT_EQ(StreamOpenRead(1, dir.File("none.dat")), 105);
  EXPECT_EQ(StreamOpenWrite(1, dir.File("THERE.dat")), 106);
  EXPECT_EQ(StreamOpenRead(1, dir.path()), 105);
  EXPECT_EQ(StreamClose(1), 8204);
  EXPECT_EQ(OpenStream(32, &error), nullptr);
  EXPECT_EQ(error, 8204);
  ASSERT_EQ(StreamOpenRead(1, dir.File("there.dat")), 0);
  EXPECT_EQ(StreamOpenRead(1, dir.File("there.dat")), 8203);
  EXPECT_TRUE(StreamIsOpen(1));
}

TEST_F(Streams, BlocksGoIntoNewFilesOnly) {
  dir.Write("in.bin", "hello");
  dir.Write("kept.bin", "old");
  ASSERT_EQ(StreamOpenWrite(1, dir.File("blocks.dat")), 0);
  EXPECT_EQ(StreamAppendFile(Slot(1), dir.File("in.bin"), false), 0);
  EXPECT_EQ(StreamAppendFile(Slot(1), dir.File("in.bin"), false), 0);
  EXPECT_EQ(StreamAppendFile(Slot(1), dir.File("in.bin"), true), 0);
  EXPECT_EQ(StreamAppendFile(Slot(1), dir.File("missing"), false), 0);  // nothing written
  StreamClose(1);
  EXPECT_EQ(dir.Read("blocks.dat"), U32(5) + "hello" + U32(5) + "hello" + "hello");

  ASSERT_EQ(StreamOpenRead(1, dir.File("blocks.dat")), 0);
  EXPECT_EQ(StreamExtractBlock(Slot(1), dir.File("made\\deep\\out.bin")), 0);
  EXPECT_EQ(dir.Read("made/deep/out.bin"), "hello");
  EXPECT_EQ(StreamExtractBlock(Slot(1), dir.File("kept.bin")), 0);  // read past, file kept
  EXPECT_EQ(dir.Read("kept.bin"), "old");
  EXPECT_EQ(ReadInt(1, 1), 'h');
  EXPECT_EQ(StreamSkip(Slot(1), 1000), 0);
  EXPECT_TRUE(StreamAtEnd(1));
}

TEST_F(Streams, FolderBlocksAreByteExactAndUnpackElsewhere) {
  fs::create_directories(dir.File("src/sub"));
  dir.Write("src/sub/b.txt", "bee");
  ASSERT_EQ(StreamOpenWrite(1, dir.File("one.dat")), 0);
  ASSERT_EQ(StreamPackFolder(Slot(1), dir.File("src")), 0);
  StreamClose(1);
  EXPECT_EQ(dir.Read("one.dat"), U32(1) + Entry("sub\\b.txt", "bee"));

  dir.Write("src/a.txt", "ay");
  fs::create_directory_symlink(dir.File("src/sub"), dir.File("src/link"));  // not followed
  ASSERT_EQ(StreamOpenWrite(2, dir.File("two.dat")), 0);
  ASSERT_EQ(StreamPackFolder(Slot(2), dir.File("src")), 0);
  EXPECT_EQ(StreamPackFolder(Slot(2), dir.File("no-folder")), 105);
  StreamClose(2);
  ASSERT_EQ(StreamOpenRead(2, dir.File("two.dat")), 0);
  ASSERT_EQ(StreamUnpackFolder(Slot(2), dir.File("dest\\copy")), 0);
  EXPECT_EQ(dir.Read("dest/copy/a.txt"), "ay");
  EXPECT_EQ(dir.Read("dest/copy/sub/b.txt"), "bee");
  EXPECT_FALSE(fs::exists(dir.File("dest/copy/link")));
}

TEST_F(Streams, HostileFolderBlockNamesAreReadPast) {
  TempDir outside;
  std::string block = U32(7) + Entry("..\\escape.txt", "no") + Entry("C:\\drive.txt", "no") +
                      Entry("\\rooted.txt", "no") + Entry("a\\..\\..\\up.txt", "no") +
                      Entry(std::string(5000, 'n'), "no") + Entry("sub\\ok.txt", "yes") +
                      Entry("sub\\ok.txt", "again");
  dir.Write("evil.dat", block);
  fs::create_directories(dir.File("into/sub"));
  fs::create_directory_symlink(outside.path(), dir.File("into/sub2"));
  ASSERT_EQ(StreamOpenRead(1, dir.File("evil.dat")), 0);
  EXPECT_EQ(StreamUnpackFolder(Slot(1), dir.File("into")), 8211);
  EXPECT_EQ(dir.Read("into/sub/ok.txt"), "yes");  // the second copy does not replace it
  EXPECT_FALSE(fs::exists(dir.File("escape.txt")));
  EXPECT_TRUE(fs::is_empty(outside.path()));
  EXPECT_EQ(ReadInt(1, 1), 0);
  EXPECT_TRUE(StreamAtEnd(1));  // every entry was read past

  // A link inside the target folder is never followed, and a huge count ends with the data.
  dir.Write("link.dat", U32(0xFFFFFFFF) + Entry("sub2\\x.txt", "no"));
  ASSERT_EQ(StreamOpenRead(2, dir.File("link.dat")), 0);
  EXPECT_EQ(StreamUnpackFolder(Slot(2), dir.File("into")), 0);
  EXPECT_TRUE(fs::is_empty(outside.path()));
  EXPECT_TRUE(StreamAtEnd(2));
}

TEST_F(Streams, EachStreamServesOnlyItsOwnDirection) {
  dir.Write("in.dat", "abcd");
  ASSERT_EQ(StreamOpenRead(1, dir.File("in.dat")), 0);
  ASSERT_EQ(StreamOpenWrite(2, dir.File("out.dat")), 0);
  EXPECT_EQ(StreamWrite(Slot(1), "XY", 2), 8212);
  EXPECT_EQ(ReadInt(1, 2), 'a' | 'b' << 8);  // the file's bytes, not the refused ones
  EXPECT_EQ(StreamWrite(Slot(2), "xy", 2), 0);
  uint8_t b[2] = {};
  std::string line;
  EXPECT_EQ(StreamRead(Slot(2), b, 2), 8211);
  EXPECT_EQ(StreamReadLine(Slot(2), line), 8211);
  EXPECT_EQ(StreamSkip(Slot(2), 1), 8211);
  EXPECT_EQ(StreamClose(2), 0);
  EXPECT_EQ(dir.Read("out.dat"), "xy");
}

TEST_F(Streams, BlocksTheDiskRefusesLeaveNoFileAndAreReported) {
  const std::string big(100000, 'b');
  dir.Write("block.dat", U32(uint32_t(big.size())) + big + "after");
  dir.Write("folder.dat", U32(2) + Entry("big.bin", big) + Entry("small.txt", "ok"));
  const int status = RunWithFileSizeLimit(32768, [&] {
    int code = 0;
    if (StreamOpenRead(1, dir.File("block.dat")) || StreamExtractBlock(Slot(1), dir.File("out.bin")) != 8212) code |= 1;
    if (ReadInt(1, 1) != 'a') code |= 2;  // the stream stays in step
    if (StreamOpenRead(2, dir.File("folder.dat")) || StreamUnpackFolder(Slot(2), dir.File("into")) != 8212) code |= 4;
    return code;
  });
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(fs::exists(dir.File("out.bin")));
  EXPECT_FALSE(fs::exists(dir.File("into/big.bin")));
  EXPECT_EQ(dir.Read("into/small.txt"), "ok");

  if (geteuid() != 0) {  // permissions do not stop root
    fs::create_directories(dir.File("locked"));
    chmod(dir.File("locked").c_str(), 0555);
    ASSERT_EQ(StreamOpenRead(1, dir.File("block.dat")), 0);
    EXPECT_EQ(StreamExtractBlock(Slot(1), dir.File("locked/out.bin")), 8202);
    chmod(dir.File("locked").c_str(), 0755);
  }
}

TEST_F(Streams, AFolderBlockWhoseOnlyBadEntryClimbsOutIsARefusal) {
  TempDir outside;
  const std::string into = outside.File("into");
  dir.Write("up.dat", U32(1) + Entry("..\\x.txt", "no"));
  ASSERT_EQ(StreamOpenRead(1, dir.File("up.dat")), 0);
  EXPECT_EQ(StreamUnpackFolder(Slot(1), into), 8211);
  for (auto& e : fs::directory_iterator(outside.path())) EXPECT_EQ(e.path().string(), into);
  EXPECT_TRUE(fs::is_empty(into));
}

}  // namespace
