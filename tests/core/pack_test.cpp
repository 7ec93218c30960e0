#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "core/pack.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file of a 100-byte stub followed by a pack.
std::vector<uint8_t> GameBytes(const std::vector<PackInput>& entries) {
  std::vector<uint8_t> file(100, 0x90);
  std::vector<uint8_t> pack = BuildPack(entries, 100);
  file.insert(file.end(), pack.begin(), pack.end());
  return file;
}

class PackTest : public testing::Test {
 protected:
  void TearDown() override { FsRemoveTempFolder(); }
};

TEST_F(PackTest, EntriesAreFoundByAnyCaseAndEitherSlash) {
  VirtualFiles vf;
  auto file = GameBytes({{"program.img", Bytes("IMAGE")}, {"Media\\Tree.JPG", Bytes("TREE")}});
  ASSERT_TRUE(vf.LoadPackFromBytes(file.data(), file.size()));
  ASSERT_EQ(vf.Entries().size(), 2u);
  EXPECT_EQ(vf.Entries()[1].name, "media\\tree.jpg");

  std::string name = "Media/Tree.JPG";
  ASSERT_TRUE(vf.MapVirtualFile(name, "dat"));
  EXPECT_EQ(ReadAll(name), "TREE");
  EXPECT_EQ(std::filesystem::path(name).filename(), "_virtual.dat");

  std::string base = "tree.jpg";
  EXPECT_FALSE(vf.MapVirtualFile(base, "dat"));
  EXPECT_EQ(base, "tree.jpg");
  EXPECT_TRUE(vf.MapVirtualFileByBaseName(base, "jpg"));
  EXPECT_EQ(ReadAll(base), "TREE");

  std::string program = vf.ExtractPackedProgram();
  EXPECT_EQ(ReadAll(program), "IMAGE");
}

// A program's name (code-page text) means the packed file the disk would give it: in any
// case of its code page; a '?' for a letter the code page lacks fits one such name alone.
TEST_F(PackTest, NamesAreMatchedAsTheDiskMatchesThem) {
  const std::string ab = "\xD0\xB0\xD0\xB1.txt", vg = "\xD0\xB2\xD0\xB3.txt";  // аб.txt, вг.txt
  struct Case {
    int32_t codePage;
    std::vector<std::string> packed;
    std::string asked;
    bool baseName;
    int found;  // index in packed, -1 none
  } cases[] = {
      {1252, {"media\\CAF\xC3\x89.png"}, "MEDIA/caf\xE9.png", false, 0},
      {1251, {"x\\" + ab, "x\\" + vg}, "X\\\xC2\xC3.TXT", false, 1},
      {1251, {"tex\\" + ab}, "\xE0\xE1.txt", true, 0},
      {1252, {"a\\b.txt"}, "b.txt", true, 0},  // a one-letter folder
      {1252, {"CAF\xC3\x89.txt", "caf\xC3\xA9.txt"}, "caf\xE9.txt", false, 1},  // its own spelling first
      {1252, {ab}, "??.txt", false, 0},
      {1252, {ab, vg}, "??.txt", false, -1},
  };
  for (const Case& c : cases) {
    std::vector<PackInput> entries{{"program.img", Bytes("IMAGE")}};
    for (const std::string& name : c.packed) entries.push_back({name, Bytes(name)});
    VirtualFiles vf;
    auto file = GameBytes(entries);
    ASSERT_TRUE(vf.LoadPackFromBytes(file.data(), file.size()));
    SetTextCodePage(c.codePage);
    std::string name = c.asked;
    const bool mapped = c.baseName ? vf.MapVirtualFileByBaseName(name, "txt") : vf.MapVirtualFile(name, "txt");
    SetTextCodePage(1252);
    EXPECT_EQ(mapped, c.found >= 0) << c.asked;
    if (mapped && c.found >= 0) {
      EXPECT_EQ(ReadAll(name), c.packed[size_t(c.found)]) << c.asked;
    }
  }
}

TEST_F(PackTest, ASecondCopyWithTheSameExtensionReplacesTheFirst) {
  VirtualFiles vf;
  auto file = GameBytes({{"a.txt", Bytes("first entry")}, {"b.txt", Bytes("2nd")}});
  ASSERT_TRUE(vf.LoadPackFromBytes(file.data(), file.size()));
  std::string a = "a.txt", b = "b.txt";
  ASSERT_TRUE(vf.MapVirtualFile(a, "dat"));
  std::ifstream reader(a, std::ios::binary);  // a reader of the old copy keeps its data
  ASSERT_TRUE(vf.MapVirtualFile(b, "dat"));
  EXPECT_EQ(a, b);
  EXPECT_EQ(ReadAll(a), "2nd");  // replaced and truncated
  std::string old(std::istreambuf_iterator<char>(reader), {});
  EXPECT_EQ(old, "first entry");
}

TEST_F(PackTest, OnlyPlainExtensionsAreAccepted) {
  VirtualFiles vf;
  auto file = GameBytes({{"a.txt", Bytes("x")}});
  ASSERT_TRUE(vf.LoadPackFromBytes(file.data(), file.size()));
  for (const char* ext : {"", "../x", "a/b", "d.t", "x y"}) {
    std::string name = "a.txt";
    EXPECT_FALSE(vf.MapVirtualFile(name, ext)) << ext;
  }
}

TEST(PackedCopyExtension, KeepsTheWholeEndingOfTheFileName) {
  const std::pair<const char*, const char*> kCases[] = {
      {"media\\pic.jpeg", "jpeg"}, {"Pic.JPG", "JPG"}, {"old.dir/readme", "dme"}};
  for (const auto& [name, ext] : kCases) EXPECT_EQ(PackedCopyExtension(name), ext) << name;
}

TEST_F(PackTest, ListEndingAtTheTrailerWithoutAZeroWordIsRead) {
  std::vector<uint8_t> file = GameBytes({{"x", Bytes("12345678")}});
  // Drop the zero word: the entry list now ends exactly 4 bytes before the end.
  file.erase(file.end() - 8, file.end() - 4);
  VirtualFiles vf;
  ASSERT_TRUE(vf.LoadPackFromBytes(file.data(), file.size()));
  EXPECT_EQ(vf.Entries().size(), 1u);
}

TEST_F(PackTest, InconsistentPacksAreNoPack) {
  const std::vector<uint8_t> good = GameBytes({{"program.img", Bytes("IMAGE")}, {"x", Bytes("DATA")}});
  auto refused = [](std::vector<uint8_t> f) {
    VirtualFiles vf;
    return !vf.LoadPackFromBytes(f.data(), f.size()) && vf.Entries().empty();
  };
  std::vector<uint8_t> f = good;
  f[f.size() - 4] = 0xFF;  // stub size past the end
  EXPECT_TRUE(refused(f));
  f = good;
  f[f.size() - 4] = 99;  // stub one byte short: the walk is misaligned
  EXPECT_TRUE(refused(f));
  f = good;
  f[100] = 200;  // name length runs into the data
  EXPECT_TRUE(refused(f));
  f = good;
  f[100 + 4 + 11] = 'X';  // name not terminated
  EXPECT_TRUE(refused(f));
  f = good;
  f[100 + 4 + 12] = 0xFF;  // data size past the end
  EXPECT_TRUE(refused(f));
  f = good;
  f.insert(f.end() - 8, {0, 0, 0, 0, 1, 2, 3, 4});  // bytes after the zero word
  EXPECT_TRUE(refused(f));
  EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + 6)));
}

TEST_F(PackTest, ReaderReadsOnlyThePackOfAFileAndCleansUp) {
  TempDir dir;
  auto bytes = GameBytes({{"program.img", Bytes("IMAGE")}});
  dir.Write("game", std::string(bytes.begin(), bytes.end()));
  EXPECT_TRUE(FileHasPack(dir.File("game")));
  dir.Write("plain", "just some file without a pack at all");
  EXPECT_FALSE(FileHasPack(dir.File("plain")));
  EXPECT_FALSE(FileHasPack(dir.File("missing")));

  std::string copy;
  {
    VirtualFiles vf;
    ASSERT_TRUE(vf.LoadPack(dir.File("game")));
    copy = vf.ExtractPackedProgram();
    EXPECT_TRUE(std::filesystem::exists(copy));
    struct stat st;
    ASSERT_EQ(stat(FsTempFolder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
  EXPECT_FALSE(std::filesystem::exists(copy));
}

}  // namespace
