#include <SDL.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>
#include <utility>

#include "platform/clock.h"
#include "platform/charset_setting.h"
#include "platform/codepage.h"
#include "platform/codepage_tables.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/unsaved_copies.h"
#include "platform/fs_name_index.h"
#include "platform/host_files.h"
#include "platform/stop_request.h"
#include "tests/support/file_flags.h"
#include "platform/ini.h"
#include "platform/libs/sdl_api.h"
#include "platform/text.h"
#include "platform/zeroed_pages.h"
#include "platform/window.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(Ini, SectionsAndKeysIgnoreCaseAndWritesKeepTheRest) {
  TempDir dir;
  dir.Write("SETUP.INI", "; comment\r\n[Settings]\r\nWindowMode=1\r\nDebugMode = 0 \r\n\r\n[OTHER]\r\nA=b\r\n");
  std::string f = dir.File("setup.ini");  // found by any case
  EXPECT_EQ(IniGetString(f, "SETTINGS", "WINDOWMODE", "0"), "1");
  EXPECT_EQ(IniGetString(f, "settings", "debugmode", "x"), " 0");  // leading blanks are kept
  EXPECT_EQ(IniGetString(f, "SETTINGS", "MISSING", "dflt"), "dflt");
  EXPECT_EQ(IniGetString(dir.File("none.ini"), "S", "K", "d"), "d");

  EXPECT_TRUE(IniWriteString(f, "settings", "WINDOWMODE", "0"));
  EXPECT_TRUE(IniWriteString(f, "SETTINGS", "NEW", "v"));
  EXPECT_TRUE(IniWriteString(f, "FRESH", "K", "1"));
  EXPECT_EQ(IniGetString(f, "SETTINGS", "WINDOWMODE", ""), "0");
  EXPECT_EQ(IniGetString(f, "SETTINGS", "NEW", ""), "v");
  EXPECT_EQ(IniGetString(f, "OTHER", "A", ""), "b");
  EXPECT_EQ(IniGetString(f, "FRESH", "K", ""), "1");
  std::string text = dir.Read("SETUP.INI");
  EXPECT_NE(text.find("; comment"), std::string::npos);
  EXPECT_LT(text.find("NEW=v"), text.find("[OTHER]"));  // a new key joins its own section
}

TEST(Ini, KeysJoinTheirSectionInOrderAndQuotesAreStripped) {
  TempDir dir;
  dir.Write("t.ini", "[EMPTY]\r\n[B]\r\nx=1\r\nq=\"\"\r\nr=\"v w\"\r\ns=\"\r\n");
  const std::string f = dir.File("t.ini");
  for (const char* k : {"c", "a", "b"}) EXPECT_TRUE(IniWriteString(f, "empty", k, k));
  EXPECT_EQ(dir.Read("t.ini"), "[EMPTY]\r\nc=c\r\na=a\r\nb=b\r\n[B]\r\nx=1\r\nq=\"\"\r\nr=\"v w\"\r\ns=\"\r\n");
  EXPECT_EQ(IniGetString(f, "EMPTY", "a", "d"), "a");
  EXPECT_EQ(IniGetString(f, "B", "x", "d"), "1");
  EXPECT_EQ(IniGetString(f, "B", "q", "d"), "");  // a quoted empty value
  EXPECT_EQ(IniGetString(f, "B", "r", "d"), "v w");
  EXPECT_EQ(IniGetString(f, "B", "s", "d"), "\"");
}

TEST(Ini, FilesThatAreNotSmallRegularFilesReadAsEmptyAndAreNeverWrittenOver) {
  TempDir dir;
  const std::string big = "[S]\r\nK=1\r\n;" + std::string(size_t(5) << 20, 'x') + "\r\n";
  dir.Write("big.ini", big);
  ASSERT_EQ(mkfifo(dir.File("pipe.ini").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir.File("zero.ini"));
  for (const char* name : {"big.ini", "pipe.ini", "zero.ini"}) {
    EXPECT_EQ(IniGetString(dir.File(name), "S", "K", "d"), "d") << name;
    EXPECT_FALSE(IniWriteString(dir.File(name), "S", "K", "2")) << name;
  }
  EXPECT_EQ(dir.Read("big.ini"), big);
  EXPECT_EQ(std::filesystem::status(dir.File("pipe.ini")).type(), std::filesystem::file_type::fifo);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("zero.ini")));
}

// A settings file reached through a link is read and written through it, to its target; only
// the debug log's writer replaces a link at its name, and reads nothing through it.
TEST(Ini, ALinkToASettingsFileIsReadAndWrittenThroughIt) {
  TempDir dir;
  const std::string target = "[S]\r\nK=1\r\n";
  dir.Write("real.ini", target);
  std::filesystem::create_symlink(dir.File("real.ini"), dir.File("link.ini"));
  EXPECT_EQ(IniGetString(dir.File("link.ini"), "S", "K", "d"), "1");
  EXPECT_TRUE(IniWriteString(dir.File("link.ini"), "S", "J", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.ini")));
  EXPECT_EQ(dir.Read("real.ini"), "[S]\r\nK=1\r\nJ=2\r\n");
  dir.Write("log.ini", target);
  std::filesystem::create_symlink(dir.File("log.ini"), dir.File("VK.LOG"));
  EXPECT_TRUE(IniWriteHostString(dir.File("VK.LOG"), "S", "J", "2"));
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("VK.LOG")));
  EXPECT_EQ(dir.Read("VK.LOG"), "[S]\r\nJ=2\r\n");
  EXPECT_EQ(dir.Read("log.ini"), target);
}

// Text as UTF-16 of one byte order, its mark first.
std::string Utf16(const std::u16string& text, bool bigEndian) {
  std::string out;
  for (char16_t u : u"\uFEFF" + text) {
    const char hi = char(u >> 8), lo = char(u & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

TEST(Ini, MarksLineEndsAndUtf16AreReadAndKeptByAWrite) {
  const struct {
    const char* form;
    std::string before;
    std::string value;  // K as read
    std::string after;  // once K=2 is written; "" when the write is refused
  } rows[] = {
      {"UTF-8 mark", "\xEF\xBB\xBF[S]\r\nK=1\r\n", "1", "\xEF\xBB\xBF[S]\r\nK=2\r\n"},
      {"LF", "[S]\nK=1\n", "1", "[S]\nK=2\n"},
      {"CR alone", "[S]\rK=1\rJ=0", "1", "[S]\rK=2\rJ=0\r"},
      {"mark and CR", "\xEF\xBB\xBF[S]\rK=1\r", "1", "\xEF\xBB\xBF[S]\rK=2\r"},
      {"UTF-16 LE", Utf16(u"[S]\r\nN=\u00E9\r\nK=1\r\n", false), "1", Utf16(u"[S]\r\nN=\u00E9\r\nK=2\r\n", false)},
      {"UTF-16 BE", Utf16(u"[S]\nK=1\n", true), "1", Utf16(u"[S]\nK=2\n", true)},
      {"UTF-16 cut", Utf16(u"[S]\r\nK=1", false) + "x", "d", ""},
      {"UTF-16 lone surrogate", Utf16(u"[S]\r\nK=1\xD800", false), "d", ""},
      {"UTF-16 without a mark", Utf16(u"[S]\r\nK=1\r\n", false).substr(2), "d", ""},
  };
  for (const auto& row : rows) {
    TempDir dir;
    dir.Write("t.ini", row.before);
    const std::string f = dir.File("t.ini");
    EXPECT_EQ(IniGetString(f, "S", "K", "d"), row.value) << row.form;
    EXPECT_EQ(IniWriteString(f, "S", "K", "2"), !row.after.empty()) << row.form;
    EXPECT_EQ(dir.Read("t.ini"), row.after.empty() ? row.before : row.after) << row.form;
  }
  TempDir dir;
  // UTF-16 reads as UTF-8, characters of two, three and four bytes whole, and is written back.
  for (const auto& [text, utf8] : {std::pair{u"\u00E9", "\xC3\xA9"}, {u"\u20AC", "\xE2\x82\xAC"},
                                   {u"\U0001F600", "\xF0\x9F\x98\x80"}}) {
    const std::string bytes = Utf16(u"[S]\r\nN=" + std::u16string(text) + u"\r\n", false);
    dir.Write("t.ini", bytes);
    EXPECT_EQ(IniGetString(dir.File("t.ini"), "S", "N", "d"), utf8);
    EXPECT_TRUE(IniWriteString(dir.File("t.ini"), "S", "N", utf8));
    EXPECT_TRUE(IniWriteString(dir.File("t.ini"), "S", "M", "1"));
    EXPECT_EQ(dir.Read("t.ini"), Utf16(u"[S]\r\nN=" + std::u16string(text) + u"\r\nM=1\r\n", false));
  }
  dir.Write("t.ini", Utf16(u"[S]\r\nN=\u00E9\r\n", false));
  errno = 0;
  EXPECT_FALSE(IniWriteString(dir.File("t.ini"), "S", "N", "\xE9"));  // no UTF-8: no UTF-16 either
  EXPECT_EQ(errno, EILSEQ);
  EXPECT_FALSE(IniWriteString(dir.File("t.ini"), "S", "N", "a\x80"));  // nor a byte that only continues one
  EXPECT_EQ(dir.Read("t.ini"), Utf16(u"[S]\r\nN=\u00E9\r\n", false));
}

// Where one byte drawn alone with the font has ink.
std::vector<bool> Ink(const FontRequest& request, unsigned char c) {
  SurfacePtr s = SurfaceCreate(32, 32, FormatForDepth(32));
  TextContext dc{s.get(), TextCreateFont(request), 0xFFFFFF, 0, false};
  const char ch = char(c);
  TextOut(dc, 0, 0, &ch, 1);
  std::vector<bool> ink;
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) ink.push_back(s->GetPixel(x, y) != 0);
  return ink;
}

TEST(Text, TheCharacterSetPicksTheCodePageOfTheBytes) {
  const struct {
    int32_t charset, codePage;
  } pages[] = {{238, 1250}, {204, 1251}, {161, 1253}, {162, 1254}, {177, 1255}, {178, 1256}, {186, 1257},
               {163, 1258}, {222, 874},  {0, 1252},   {1, 1252},   {2, 1252},   {128, 1252}, {255, 1252},
               {-1, 1252}};
  for (const auto& p : pages) EXPECT_EQ(CodePageOfCharset(p.charset), p.codePage) << p.charset;
  for (const char* face : {"fixedsys", "Arial"}) {
    SCOPED_TRACE(face);
    FontRequest western{face, 16}, cyrillic{face, 16}, greek{face, 16};
    cyrillic.charset = 204;
    greek.charset = 161;
    // 0xC0 is "\u00C0" in 1252, "\u0410" (drawn as "A") in 1251; 0xC1 is a Greek alpha in 1253.
    EXPECT_NE(Ink(cyrillic, 0xC0), Ink(western, 0xC0));
    EXPECT_EQ(Ink(cyrillic, 0xC0), Ink(western, 'A'));
    EXPECT_EQ(Ink(cyrillic, 'b'), Ink(western, 'b'));
    EXPECT_NE(Ink(greek, 0xC1), Ink(western, 0xC1));
  }
  // The bundled font has no Thai: those bytes draw its missing-glyph box, as byte 0x7F does.
  FontRequest western{"fixedsys", 16}, thai{"fixedsys", 16};
  thai.charset = 222;
  const std::vector<bool> blank(32 * 32, false);
  EXPECT_EQ(Ink(thai, 0xA1), Ink(western, 0x7F));
  EXPECT_NE(Ink(thai, 0xA1), blank);
  EXPECT_EQ(Ink(thai, 0xFC), blank);  // a byte 874 leaves undefined
  EXPECT_FALSE(TextHasEveryCharacter(TextCreateFont(thai).get()));
  EXPECT_TRUE(TextHasEveryCharacter(TextCreateFont(western).get()));
}

// A character set not served is said once for each settings file that names it, however that
// file is spelled when read again; the quiet reading says nothing and gives the same page.
TEST(Text, ACharacterSetNotServedIsSaidOnceForEachFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("a"));
  std::filesystem::create_directory(dir.File("b"));
  dir.Write("a/SETUP.INI", "");
  dir.Write("b/SETUP.INI", "");
  const std::string a = dir.File("a/SETUP.INI"), b = dir.File("b/SETUP.INI");
  testing::internal::CaptureStderr();
  EXPECT_EQ(CodePageOfCharsetSetting("997", a, false), 1252);
  EXPECT_EQ(CodePageOfCharsetSetting("997", a), 1252);
  EXPECT_EQ(CodePageOfCharsetSetting("997", dir.File("a/../a/SETUP.INI")), 1252);
  EXPECT_EQ(CodePageOfCharsetSetting("997", b), 1252);
  EXPECT_EQ(CodePageOfCharsetSetting("204", b), 1251);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "vellumark: " + a + ": TEXTLANGUAGE-CHARSET=997 names no character set; Western (code page 1252) is used instead\n"
                 "vellumark: " + b + ": TEXTLANGUAGE-CHARSET=997 names no character set; Western (code page 1252) is used instead\n");
}

TEST(Fs, PathsMatchAnyCaseWithEitherSeparator) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("Media/Sub"));
  dir.Write("Media/Sub/Tree.JPG", "x");
  EXPECT_EQ(FsResolve(dir.path() + "\\media\\SUB\\tree.jpg"), dir.File("Media/Sub/Tree.JPG"));
  EXPECT_TRUE(FsFileExists(dir.path() + "/MEDIA/sub/TREE.jpg"));
  EXPECT_FALSE(FsFileExists(dir.path() + "/media/sub"));
  EXPECT_TRUE(FsFolderExists(dir.path() + "/media/sub"));
  // A file about to be created keeps its own name in the matched folder.
  EXPECT_EQ(FsResolveForWrite(dir.path() + "/media/New.txt"), dir.File("Media/New.txt"));
  EXPECT_EQ(FsResolve("C:\\tmp"), "/tmp");
  EXPECT_EQ(FsFolderOf("a\\b\\c.txt"), "a/b");
  EXPECT_EQ(FsToSystemPath("/a/b"), "\\a\\b");
}

// Waits until the folder's last change is older than the coarsest time stamp of a file system
// (its next change then gets another stamp), a minute at most.
void WaitPastLastChange(const std::string& folder) {
  const auto ns = [](const timespec& t) { return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
  for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60); std::chrono::steady_clock::now() < end;) {
    struct stat st {};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (stat(folder.c_str(), &st) != 0 || ns(now) - std::max(ns(st.st_mtim), ns(st.st_ctim)) > 30'000'000) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST(Fs, NamesMatchedIgnoringCaseFollowTheFolderAsItChanges) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("Media"));
  const std::string media = dir.path() + "/media/";
  // Made by this process just now, renamed behind its back, deleted: each is seen at once.
  EXPECT_TRUE(FsCreateEmptyFile(media + "New.txt"));
  EXPECT_EQ(FsResolve(media + "NEW.TXT"), dir.File("Media/New.txt"));
  std::filesystem::rename(dir.File("Media/New.txt"), dir.File("Media/NEW.txt"));
  EXPECT_EQ(FsResolve(media + "new.txt"), dir.File("Media/NEW.txt"));
  EXPECT_TRUE(FsDeleteFile(media + "new.TXT"));
  EXPECT_EQ(FsResolve(media + "new.txt"), dir.File("Media") + "/new.txt");
  // Made by another process after names were looked up and not made: found at once.
  WaitPastLastChange(dir.File("Media"));
  EXPECT_EQ(FsResolve(media + "none.txt"), dir.File("Media") + "/none.txt");
  dir.Write("Media/Other.DAT", "o");
  EXPECT_EQ(FsResolve(media + "other.dat"), dir.File("Media/Other.DAT"));
}

// Names resolved as new and never made are new again without a listing of their folder each
// time, until the folder changes.
TEST(Fs, ANameNeverMadeCostsNoListingUntilTheFolderChanges) {
  TempDir dir;
  dir.Write("Some.txt", "s");
  WaitPastLastChange(dir.path());
  const std::string folder = dir.path() + "/";
  EXPECT_EQ(FsResolve(folder + "SOME.TXT"), dir.File("Some.txt"));
  const uint64_t listed = FsFolderListings();
  for (int k = 0; k < 50; ++k) {
    EXPECT_FALSE(FsFileExists(folder + "missing.txt"));
    EXPECT_FALSE(FsFileExists(folder + "missing" + std::to_string(k) + ".txt"));
  }
  // A name made by this process explains the folder's change: no listing either.
  EXPECT_TRUE(FsCreateEmptyFile(folder + "made.txt"));
  EXPECT_FALSE(FsFileExists(folder + "other.txt"));
  EXPECT_EQ(FsFolderListings(), listed);
  dir.Write("MISSING.TXT", "m");
  EXPECT_EQ(FsResolve(folder + "missing.txt"), dir.File("MISSING.TXT"));
}

TEST(Fs, CodePageNamesMeetUtf8NamesOnDisk) {
  TempDir dir;
  // Name on disk, name a program uses (code page), the name a listing gives back.
  struct Case {
    std::string disk, program, listed;
  } cases[] = {
      {"caf\xC3\xA9.png", "caf\xE9.png", "caf\xE9.png"},
      {"\xC3\x89t\xC3\xA9.txt", "\xC9T\xC9.TXT", "\xC9t\xE9.txt"},       // Été.txt, matched ignoring case
      {"\xE2\x82\xAC.dat", "\x80.dat", "\x80.dat"},                       // the euro sign lies in 0x80-0x9F
      {"old\xE9.bin", "OLD\xE9.BIN", "old\xE9.bin"},                      // not UTF-8: raw bytes both ways
      {"snow\xE2\x98\x83.txt", "snow\xE2\x98\x83.txt", "snow?.txt"},     // outside the code page
  };
  for (const Case& c : cases) dir.Write(c.disk, c.disk);
  std::vector<FsEntry> entries;
  ASSERT_TRUE(FsListFolder(dir.path(), entries));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listed);
    const std::string name = dir.path() + "\\" + c.program;
    EXPECT_TRUE(FsFileExists(name));
    EXPECT_EQ(FsFileSize(name), int64_t(c.disk.size()));
    std::string data;
    EXPECT_TRUE(FsReadFile(name, data));
    EXPECT_EQ(data, c.disk);
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [&](const FsEntry& e) { return e.name == c.listed; }));
  }
  // A new file gets its UTF-8 name, and a folder path given back reads as code-page text.
  EXPECT_TRUE(FsWriteFileAtomic(dir.path() + "/na\xEFve.txt", "n"));
  EXPECT_EQ(dir.Read("na\xC3\xAFve.txt"), "n");
  EXPECT_EQ(FsToSystemPath("/d/caf\xC3\xA9"), "\\d\\caf\xE9");
}

// A program sees a name with characters outside its code page with '?' for them; that '?'
// names the one entry of its folder that reads so, and none where two or more read alike.
TEST(Fs, AnUnspellableLetterNamesTheOneFileItFitsAndNoneOfMany) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("\xD0\xBF\xD0\xB0"));  // па
  for (const char* disk : {"\xD0\xB0\xD0\xB1.txt", "\xD0\xB2\xD0\xB3.txt", "\xD0\xBF\xD0\xB0/a.txt",
                           "Q\xE2\x98\x83.dat", "?\xD0\xB1.dat", "Q?.DAT"})
    dir.Write(disk, disk);
  struct Case {
    std::string program, disk;  // disk "" for a name refused as fitting more than one file
  } cases[] = {
      {"??.txt", ""},                           // аб.txt and вг.txt
      {"??\\a.txt", "\xD0\xBF\xD0\xB0/a.txt"},  // the one folder that reads "??"
      {"q?.dat", ""},                           // Q☃.dat and Q?.DAT read alike ignoring case
      {"Q?.DAT", "Q?.DAT"},                     // an exact name wins
      {"??.DAT", "?\xD0\xB1.dat"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const std::string name = dir.path() + "\\" + c.program;
    EXPECT_EQ(FsFileExists(name), !c.disk.empty());
    EXPECT_EQ(FsNameFitsMany(), c.disk.empty());
    std::string data;
    EXPECT_EQ(FsReadFile(name, data), !c.disk.empty());
    EXPECT_EQ(data, c.disk);
    EXPECT_EQ(FsWriteFileAtomic(name, "new"), !c.disk.empty());
    if (c.disk.empty()) {
      EXPECT_EQ(FileErrorCause(errno), "fits more than one file");
      EXPECT_EQ(FsReadCause(FsReadRegularFile(name, data, 100, false), "a test"), "fits more than one file");
    }
    EXPECT_EQ(FsMakeFolder(name + "\\sub"), false);
    EXPECT_EQ(FsDeleteFile(name), !c.disk.empty());
  }
  EXPECT_FALSE(FsFolderExists(dir.path() + "/??.txt/sub"));
  for (const char* kept : {"\xD0\xB0\xD0\xB1.txt", "\xD0\xB2\xD0\xB3.txt", "Q\xE2\x98\x83.dat"})
    EXPECT_EQ(dir.Read(kept), kept);
  std::vector<FsEntry> entries;
  ASSERT_TRUE(FsListFolder(dir.path(), entries));
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(), [](const FsEntry& e) { return e.name == "??.txt"; }), 2);
  EXPECT_FALSE(FsListFolder(dir.path() + "/??.TXT", entries));
  // Names a program can spell that read alike ignoring case: the first is taken, as before.
  dir.Write("Dup.txt", "d");
  dir.Write("DUP.txt", "d");
  EXPECT_TRUE(FsFileExists(dir.path() + "/dup.TXT"));
  // Only a refused name makes "not found" say so, on its own thread.
  std::thread([] { EXPECT_EQ(FileErrorCause(ENOENT), "not found"); }).join();
  // A host file is deleted by its exact name only.
  EXPECT_FALSE(FsDeleteHostFile(dir.path() + "/dup.txt"));
  EXPECT_TRUE(FsDeleteHostFile(dir.path() + "/Dup.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir.File("DUP.txt")));
  // A user's path on the command line: its own unspellable letters are no '?' of a program.
  EXPECT_EQ(FsFindHostFile(dir.path() + "/\xD0\x93\xD0\x94.dat"), dir.path() + "/\xD0\x93\xD0\x94.dat");
  EXPECT_EQ(FsFindHostFile(dir.path() + "/??.DAT"), dir.path() + "/??.DAT");
}

// A path given to a program (the current folder, a file of the system) is reached by the
// spelling it was given in, though its '?' fits other folders too; other '?' names are not.
TEST(Fs, APathGivenToTheProgramLeadsBackToItself) {
  TempDir dir;
  const std::string snake = dir.File("\xD0\xB7\xD0\xBC\xD0\xB5\xD0\xB9\xD0\xBA\xD0\xB0");   // змейка
  const std::string tetris = dir.File("\xD1\x82\xD0\xB5\xD1\x82\xD1\x80\xD0\xB8\xD1\x81");  // тетрис
  const std::string cat = dir.File("\xD0\xBA\xD0\xBE\xD1\x88\xD0\xBA\xD0\xB0");             // кошка
  const std::string mouse = dir.File("\xD0\xBC\xD1\x8B\xD1\x88\xD0\xBA\xD0\xB0");           // мышка
  const std::string beetle = dir.File("\xD0\xB6\xD1\x83\xD0\xBA");                          // жук
  const std::string onion = dir.File("\xD0\xBB\xD1\x83\xD0\xBA");                           // лук
  for (const std::string& folder : {snake, tetris, cat, mouse, beetle, onion}) {
    std::filesystem::create_directories(folder);
    dir.Write(folder.substr(dir.path().size() + 1) + "/save.txt", "s");
  }
  dir.Write(tetris.substr(dir.path().size() + 1) + "/game.vka", "g");
  const std::string start = FsCurrentFolder();
  ASSERT_EQ(chdir(snake.c_str()), 0);
  const std::string here = FsToProgramPath(snake);                  // as the current folder is given
  const std::string given = FsToProgramPath(tetris + "/game.vka");  // as a file of the system is
  FsToProgramPath(mouse);
  FsToProgramPath(tetris);  // spelled as the current folder is, which wins over it
  // Paths it can spell are not kept: however many it is given, they push out none of these.
  for (int k = 0; k < 1100; ++k) FsToProgramPath(dir.File("n" + std::to_string(k)));
  const struct {
    std::string program, disk;  // disk "" for a name refused as fitting more than one file
  } cases[] = {
      {here + "\\save.txt", snake + "/save.txt"},
      {"c" + here.substr(1) + "\\SAVE.TXT", snake + "/save.txt"},
      {here, snake},
      {given, tetris + "/game.vka"},
      {FsToProgramPath(beetle) + "\\", beetle},  // not лук, spelled alike but not given
      {FsToProgramPath(beetle) + "\\\\save.txt", beetle + "/save.txt"},
      {FsToProgramPath(cat) + "\\save.txt", ""},  // spelled as мышка was: neither
      {"..\\??????\\save.txt", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    EXPECT_EQ(FsResolve(c.program), c.disk);
  }
  // Under another code page only the paths given since count: мышка alone is spelled so now.
  SetTextCodePage(1253);
  const std::string greek = FsToProgramPath(mouse) + "\\save.txt";
  EXPECT_EQ(FsResolve(greek), mouse + "/save.txt");
  SetTextCodePage(1252);
  ASSERT_EQ(chdir(start.c_str()), 0);
}

// Names are text of the text code page: converted, matched ignoring case and given back in it,
// and a folder index made under another code page is not trusted.
TEST(Fs, NamesFollowTheTextCodePage) {
  TempDir dir;
  dir.Write("\xD0\xB2\xD0\xB3.txt", "vg");  // вг.txt
  WaitPastLastChange(dir.path());  // the index made below is trusted as it stands
  const std::string folder = dir.path() + "\\";
  EXPECT_EQ(FsResolve(folder + "\xC2\xC3.TXT"), dir.path() + "/\xC3\x82\xC3\x83.TXT");  // ÂÃ.TXT in 1252
  SetTextCodePage(1251);
  EXPECT_EQ(FsResolve(folder + "\xE2\xE3.txt"), dir.File("\xD0\xB2\xD0\xB3.txt"));
  EXPECT_EQ(FsResolve(folder + "\xC2\xC3.TXT"), dir.File("\xD0\xB2\xD0\xB3.txt"));  // ВГ.TXT
  EXPECT_TRUE(FsWriteFileAtomic(folder + "\xE4.txt", "d"));
  std::vector<FsEntry> entries;
  ASSERT_TRUE(FsListFolder(dir.path(), entries));
  SetTextCodePage(1252);
  EXPECT_EQ(dir.Read("\xD0\xB4.txt"), "d");  // д.txt
  EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const FsEntry& e) { return e.name == "\xE2\xE3.txt"; }));
  EXPECT_EQ(FsToSystemPath("/\xD0\xB4"), "\\?");
}

TEST(Codepage, LettersFoldToLowerCaseInTheirOwnCodePage) {
  const struct {
    int32_t page;
    std::string upper, lower;
  } cases[] = {
      {1252, "@[AZ\xC0\xDE\xDF\x8A\x8E\x9F\xD7", "@[az\xE0\xFE\xDF\x9A\x9E\xFF\xD7"},  // ß and × stay
      {1251, "\xC0\xDF\xA8\x80\x8F\xA5", "\xE0\xFF\xB8\x90\x9F\xB4"},              // А Я Ё Ђ Џ Ґ
      {1250, "\x8A\xA3\xC8\xC5\x8F\xBC\x8D", "\x9A\xB3\xE8\xE5\x9F\xBE\x9D"},      // Š Ł Č Ĺ Ź Ľ Ť
      {1253, "\xC1\xA2\xB8\xBA\xBC\xBE\xBF\xD1\xD3\xDB", "\xE1\xDC\xDD\xDF\xFC\xFD\xFE\xF1\xF3\xFB"},
      {1254, "\xDD\xD0\xFD", "i\xF0\xFD"},                                       // İ Ğ; ı stays
      {1257, "\xC0\xDE\xC2\xCD", "\xE0\xFE\xE2\xED"},                             // Ą Ž Ā Ķ
      {1258, "\xD5\xDD\xD0", "\xF5\xFD\xF0"},                                     // Ơ Ư Đ
      {1255, "\xE0" "A", "\xE0" "a"},                      // no case in Hebrew
      {437, "\xC0\xC1", "\xE0\xE1"},                       // a page without a table reads as 1252
  };
  for (const auto& c : cases) EXPECT_EQ(CodePageLower(c.page, c.upper), c.lower) << c.page;
}

// A folder's listing: "." and ".." first, then the names ignoring case, whatever the disk's order.
TEST(Fs, ListingsAreInNameOrderIgnoringCase) {
  TempDir dir;
  for (const char* name : {"b.txt", "A.txt", "\xC3\x89t\xC3\xA9", "c", "Z.txt", "a.TXT", "#1"}) dir.Write(name, "x");
  std::vector<FsEntry> entries;
  ASSERT_TRUE(FsListFolder(dir.path(), entries));
  std::vector<std::string> names;
  for (const FsEntry& e : entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "#1", "A.txt", "a.TXT", "b.txt", "c", "Z.txt", "\xC9t\xE9"}));
}

// Under a code page whose letters do not all stand in their alphabet's order, a listing keeps
// the alphabet's: ё after е (a letter of its own in Russian), і ї after и, Greek ά after α and
// ό after ο.
TEST(Fs, ListingsFollowTheAlphabetOfTheCodePage) {
  const struct {
    int32_t page;
    std::vector<std::string> names;  // UTF-8, in order
  } cases[] = {
      {1251, {"аист", "еда", "ёж", "Ёлка", "є", "жук", "игла", "ірис", "їжак", "йод", "Яма"}},
      {1253, {"αβ", "άλφα", "βήτα", "ομέγα", "όρος", "πι"}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    for (auto it = c.names.rbegin(); it != c.names.rend(); ++it) dir.Write(*it, "x");
    SetTextCodePage(c.page);
    std::vector<FsEntry> entries;
    const bool listed = FsListFolder(dir.path(), entries);
    std::vector<std::string> names;
    for (const FsEntry& e : entries)
      if (e.name[0] != '.') names.push_back(CodePageToUtf8(c.page, e.name));
    SetTextCodePage(1252);
    ASSERT_TRUE(listed);
    EXPECT_EQ(names, c.names) << c.page;
  }
}

TEST(Fs, AtomicWritesReplaceTheWholeFile) {
  TempDir dir;
  dir.Write("f.txt", "a much longer old content");
  EXPECT_TRUE(FsWriteFileAtomic(dir.File("F.TXT"), "new"));
  EXPECT_EQ(dir.Read("f.txt"), "new");
  EXPECT_FALSE(FsWriteFileAtomic(dir.File("missing/f.txt"), "x"));
  // The longest name a folder takes can be saved; no temporary file stays behind.
  const std::string longest(255, 'n');
  EXPECT_TRUE(FsWriteFileAtomic(dir.File(longest), "x"));
  EXPECT_EQ(dir.Read(longest), "x");
  // A private file stays private.
  chmod(dir.File("f.txt").c_str(), 0600);
  EXPECT_TRUE(FsWriteFileAtomic(dir.File("f.txt"), "newer"));
  EXPECT_EQ(std::filesystem::status(dir.File("f.txt")).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  // A link is written through to its target and stays a link; a pipe is not replaced.
  std::filesystem::create_symlink("f.txt", dir.File("link"));
  EXPECT_TRUE(FsWriteFileAtomic(dir.File("link"), "through"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link")));
  EXPECT_EQ(dir.Read("f.txt"), "through");
  ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
  EXPECT_FALSE(FsWriteFileAtomic(dir.File("pipe"), "x"));
  EXPECT_TRUE(std::filesystem::is_fifo(dir.File("pipe")));
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 4u);  // f.txt, the long name, link, pipe
}

// Sets a file's times ten minutes and more back (or the seconds given).
void Age(const std::string& path, time_t seconds = 700) {
  const timeval old[2] = {{time(nullptr) - seconds, 0}, {time(nullptr) - seconds, 0}};
  ASSERT_EQ(utimes(path.c_str(), old), 0) << path;
}

// Saves killed after making their temporary leave it behind; the next save beside them removes
// those that are this user's and whose writer is gone and holds no lock, however recent, and
// leaves the temporaries of live processes, another user's, one whose lock a process holds (its
// writer lives in another process id namespace) and other hidden files alone.
TEST(Fs, TheNextSaveRemovesTheTemporariesOfKilledSaves) {
  TempDir dir;
  const std::string target = dir.File("f.txt");
  pid_t ended = 0;
  for (int k = 0; k < 5; ++k) {
    ended = fork();
    ASSERT_GE(ended, 0);
    if (ended == 0) {
      std::string temp;
      _exit(FsCreateTempBeside(target, temp) >= 0 ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(ended, &status, 0), ended);
    ASSERT_EQ(status, 0);
  }
  const std::string self = std::to_string(getpid()), gone = std::to_string(ended);
  const struct {
    std::string name;
    const char* how;  // "": a plain file of this user's; "theirs": another user's; "locked": held by a process
    bool kept;
  } files[] = {
      {".vk-" + std::to_string(getppid()) + "-abcdef-ghijkl.tmp", "", true},  // a live process's
      {".vk-" + gone + "-abcdef-recent.tmp", "", false},                      // a gone one's, just left
      {".vk-" + self + "-000000-ghijkl.tmp", "", false},  // an earlier process with this one's id
      {".vk-" + gone + "-abcdef-theirs.tmp", "theirs", true},
      {".vk-" + gone + "-abcdef-locked.tmp", "locked", true},
      {".vk-99999999999-abcdef-ghijkl.tmp", "", true},  // an id no process can have
      {".hidden", "", true},
      {".vkabcdefgh", "", true},
      {".vk-12-abcdef.tmp", "", true},
      {".vk-12-abcdef-ghijkl.tmpx", "", true},
  };
  std::vector<std::string> expected = {"f.txt"};
  int holding[2] = {-1, -1}, held[2];
  pid_t holder = -1;
  ASSERT_EQ(pipe(held), 0);
  for (const auto& f : files) {
    const std::string how = f.how;
    if (how == "theirs" && geteuid() != 0) continue;  // only root can give a file away
    dir.Write(f.name, "x");
    Age(dir.File(f.name), 3600);
    if (how == "theirs") {
      ASSERT_EQ(chown(dir.File(f.name).c_str(), 65534, 65534), 0);
    }
    if (how == "locked") {
      ASSERT_EQ(pipe(holding), 0);
      holder = fork();
      if (holder == 0) {
        const int fd = open(dir.File(f.name).c_str(), O_RDONLY);
        char c = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        close(holding[1]);
        if (write(held[1], &c, 1) != 1 || read(holding[0], &c, 1) < 0) _exit(1);
        _exit(0);  // once the test lets go
      }
      close(holding[0]);
      char c = 0;
      ASSERT_EQ(read(held[0], &c, 1), 1);
      ASSERT_EQ(c, 'y');
    }
    if (f.kept) expected.push_back(f.name);
  }
  ASSERT_TRUE(FsWriteFileAtomic(target, "saved"));
  close(holding[1]);
  close(held[0]);
  close(held[1]);
  if (holder > 0) waitpid(holder, nullptr, 0);
  std::vector<std::string> left;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(left, expected);
}

// A new file is whole or absent: a write cut short by the file-size limit, failing or killed by
// SIGXFSZ as it writes, leaves nothing under the name.
TEST(Fs, NewFilesAreWholeOrAbsent) {
  const std::string data(20000, 'd');
  const struct {
    const char* name;
    size_t limit;
    bool killed;  // SIGXFSZ ends the writer
    int made;     // -1: the writer died
    std::vector<std::string> left;
  } cases[] = {{"fits", size_t(1) << 20, false, int(FsNewFile::kWritten), {"f"}},
               {"fails", 8192, false, int(FsNewFile::kFailed), {}},
               {"killed", 8192, true, -1, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const int made = RunWithFileSizeLimit(c.limit, [&] {
      if (c.killed) signal(SIGXFSZ, SIG_DFL);
      return int(FsWriteNewFile(dir.File("f"), data, FsAccess{}));
    });
    EXPECT_EQ(made, c.made);
    std::vector<std::string> left;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) {
      const std::string name = e.path().filename().string();
      // What a killed writer leaves was private from its first byte, whatever the umask.
      if (name.rfind(".vk-", 0) == 0 && c.killed) EXPECT_EQ(e.status().permissions(), std::filesystem::perms(0600));
      else left.push_back(name);
    }
    EXPECT_EQ(left, c.left);
    if (!c.left.empty()) {
      EXPECT_EQ(dir.Read("f"), data);
    }
  }
  TempDir dir;
  EXPECT_EQ(FsWriteNewFile(dir.File("missing/f"), data, FsAccess{}), FsNewFile::kFailed);
}

// A flush that fails fails the write of text to keep: an old file stays as it was, a new one is
// not made, no temporary is left. A program's own files are never flushed.
TEST(Fs, AFailedFlushIsAFailedWrite) {
  const struct {
    const char* name;
    bool (*write)(const std::string&);
    const char* old;  // "" none
    bool flushes;
    int32_t before = 0;  // flushes that succeed first
  } writers[] = {
      {"FsWriteFileDurable", [](const std::string& p) { return FsWriteFileDurable(p, "new"); }, "old", true},
      {"FsWriteNewFile", [](const std::string& p) { return FsWriteNewFile(p, "new", FsAccess{}) == FsNewFile::kWritten; },
       "", true},
      {"FsWriteFileAtomic", [](const std::string& p) { return FsWriteFileAtomic(p, "new"); }, "old", false},
      {"FsWriteHostFileAtomic", [](const std::string& p) { return FsWriteHostFileAtomic(p, "new"); }, "old", false},
      {"FsWriteNewFile, its folder's flush",
       [](const std::string& p) { return FsWriteNewFile(p, "new", FsAccess{}) == FsNewFile::kWritten; }, "", true, 1},
  };
  for (const auto& w : writers) {
    SCOPED_TRACE(w.name);
    TempDir dir;
    if (*w.old) dir.Write("f", w.old);
    // Nor is a descriptor left open, failed or not.
    const auto open = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto before = open();
    EXPECT_TRUE(w.write(dir.File("g")));
    EXPECT_EQ(open(), before);
    std::filesystem::remove(dir.File("g"));
    g_fsFlushFaults = 1;
    g_fsFlushesBeforeFaults = w.before;
    EXPECT_EQ(w.write(dir.File("f")), !w.flushes);
    EXPECT_EQ(open(), before);
    EXPECT_EQ(g_fsFlushFaults, w.flushes ? 0 : 1);
    g_fsFlushFaults = 0;
    std::vector<std::string> left;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, (*w.old || !w.flushes) ? std::vector<std::string>{"f"} : std::vector<std::string>{});
    if (*w.old) {
      EXPECT_EQ(dir.Read("f"), w.flushes ? w.old : "new");
    }
  }
  // A folder in the file's place stays, and the cause says what is there.
  TempDir dir;
  std::filesystem::create_directory(dir.File("d"));
  errno = 0;
  EXPECT_FALSE(FsWriteFileDurable(dir.File("d"), "new"));
  EXPECT_EQ(FileErrorCause(errno), "is a folder");
}

// A file the rename cannot replace (immutable) fails the write, which leaves it as it was.
TEST(Fs, AFileThatCannotBeReplacedFailsTheWrite) {
  for (const bool durable : {false, true}) {
    TempDir dir;
    dir.Write("f", "old");
    if (!SetImmutable(dir.File("f"), true)) GTEST_SKIP() << "no immutable files here";
    errno = 0;
    EXPECT_FALSE(durable ? FsWriteFileDurable(dir.File("f"), "new") : FsWriteFileAtomic(dir.File("f"), "new"));
    EXPECT_EQ(FileErrorCause(errno), "permission denied");
    SetImmutable(dir.File("f"), false);
    EXPECT_EQ(dir.Read("f"), "old");
  }
}

// A temporary committed over a link replaces the file the link leads to, through links to
// folders and links to links, and the links stay; the links followed on the way hold no
// descriptor after. One committed over a read-only file (judged by its mode, by root too) is
// refused and deleted, and the file stays as it was.
TEST(Fs, ACommitLandsWhereLinksLeadAndNeverOnAReadOnlyFile) {
  namespace fs = std::filesystem;
  TempDir dir;
  fs::create_directory(dir.File("real"));
  dir.Write("real/f.txt", "old");
  fs::create_directory_symlink("real", dir.File("in"));
  fs::create_symlink("f.txt", dir.File("real/one"));
  fs::create_symlink("one", dir.File("real/two"));
  const auto commit = [](const std::string& target, const std::string& text) {
    std::string temp;
    const int fd = FsCreateTempBeside(target, temp);
    const bool written = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (fd >= 0) close(fd);
    return written && FsCommitTemp(temp, target);
  };
  const auto descriptors = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  const auto before = descriptors();
  EXPECT_TRUE(commit(dir.File("in/two"), "through"));
  EXPECT_EQ(descriptors(), before);
  EXPECT_TRUE(fs::is_symlink(dir.File("in/two")));
  EXPECT_TRUE(fs::is_symlink(dir.File("real/one")));
  EXPECT_EQ(dir.Read("real/f.txt"), "through");
  ASSERT_EQ(chmod(dir.File("real/f.txt").c_str(), 0444), 0);
  for (const char* target : {"real/f.txt", "in/two"}) {
    errno = 0;
    EXPECT_FALSE(commit(dir.File(target), "refused")) << target;
    EXPECT_EQ(errno, EACCES) << target;
    EXPECT_EQ(dir.Read("real/f.txt"), "through") << target;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("real")), {}), 3) << target;  // no temporary
  }
}

// A file made from a private file's text is as closed as that file from the start, whatever the
// umask: another user can open neither (checked as nobody where the test runs as root).
TEST(Fs, FilesMadeFromAPrivateFileAreAsPrivate) {
  TempDir dir;
  dir.Write("game.vka", "secret");
  ASSERT_EQ(chmod(dir.File("game.vka").c_str(), 0600), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  const mode_t mask = umask(022);
  const FsAccess access = FsAccessOf(dir.File("game.vka"));
  EXPECT_EQ(FsWriteNewFile(dir.File("new.vka"), "secret", access), FsNewFile::kWritten);
  dir.Write("saved.vka", "old");
  ASSERT_EQ(chmod(dir.File("saved.vka").c_str(), 0600), 0);
  EXPECT_TRUE(FsWriteFileAtomic(dir.File("saved.vka"), "secret"));
  UnsavedCopiesHold();
  EXPECT_TRUE(UnsavedCopyAdd(dir.path(), "game.vka", "secret", access));
  UnsavedCopiesRelease();
  umask(mask);
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    SCOPED_TRACE(e.path().string());
    EXPECT_EQ(e.status().permissions(), std::filesystem::perms(0600));
    if (geteuid() != 0) continue;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const passwd* nobody = getpwnam("nobody");
      if (!nobody || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(2);
      _exit(open(e.path().c_str(), O_RDONLY) < 0 && errno == EACCES ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
  }
  UnsavedCopiesHold();
  UnsavedCopiesDrop();
  UnsavedCopiesRelease();
}

// An old temporary of a live process that the saving process may not signal (kill answers
// EPERM, not "no such process") is kept. As root the save runs in a child dropped to nobody.
TEST(Fs, ATemporaryOfALiveProcessThatCannotBeSignalledIsKept) {
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  const bool root = geteuid() == 0;
  if (!root && (kill(1, 0) == 0 || errno != EPERM)) GTEST_SKIP() << "no process this user cannot signal";
  const std::string name = ".vk-" + std::to_string(root ? getpid() : 1) + "-abcdef-ghijkl.tmp";
  dir.Write(name, "x");
  Age(dir.File(name));
  if (!root) {
    ASSERT_TRUE(FsWriteFileAtomic(dir.File("f.txt"), "saved"));
  } else {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0 || access(dir.path().c_str(), W_OK | X_OK) != 0) _exit(2);
      _exit(FsWriteFileAtomic(dir.File("f.txt"), "saved") ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "no user nobody to drop to";
    ASSERT_EQ(status, 0);
  }
  EXPECT_EQ(dir.Read("f.txt"), "saved");
  EXPECT_TRUE(std::filesystem::exists(dir.File(name)));
}

TEST(Fs, RegularFileReadsAreBoundedAndNeverBlock) {
  TempDir dir;
  dir.Write("f", std::string(100, 'x'));
  std::string out;
  EXPECT_EQ(FsReadRegularFile(dir.File("F"), out, 10, true), FsRead::kOk);
  EXPECT_EQ(out, std::string(10, 'x'));
  EXPECT_EQ(FsReadRegularFile(dir.File("f"), out, 99, false), FsRead::kTooLarge);
  EXPECT_EQ(FsReadRegularFile(dir.File("f"), out, 100, false), FsRead::kOk);
  EXPECT_EQ(out.size(), 100u);
  EXPECT_EQ(FsReadRegularFile(dir.File("none"), out, 10, true), FsRead::kMissing);
  EXPECT_EQ(out, "");  // nothing of an earlier read is left
  EXPECT_EQ(FsReadRegularFile("/dev/zero", out, 10, true), FsRead::kNotRegular);
  ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
  EXPECT_EQ(FsReadRegularFile(dir.File("pipe"), out, 10, true), FsRead::kNotRegular);
  std::filesystem::create_symlink(dir.File("nowhere"), dir.File("dangling"));
  EXPECT_EQ(FsReadRegularFile(dir.File("dangling"), out, 10, true), FsRead::kNotRegular);
  EXPECT_FALSE(FsCreateEmptyFile(dir.File("dangling")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("nowhere")));
  EXPECT_TRUE(FsCreateEmptyFile(dir.File("new")));
  EXPECT_FALSE(FsCreateEmptyFile(dir.File("new")));
}

// A stream is read to its end up to the bound, whatever the text held before; beyond the bound,
// a read error or a stop request it is refused and nothing is kept.
TEST(Fs, StreamReadsAreBounded) {
  TempDir dir;
  dir.Write("f", std::string(100, 'x'));
  std::filesystem::create_directory(dir.File("folder"));
  std::string out(1000, 'o');
  const auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  const auto before = descriptors();
  const std::tuple<std::string, uint64_t, FsRead, size_t> kCases[] = {
      {"f", 100, FsRead::kOk, 100}, {"f", 99, FsRead::kTooLarge, 0}, {"f", 1000, FsRead::kOk, 100},
      {"folder", 10, FsRead::kFailed, 0}, {"none", 10, FsRead::kMissing, 0}, {"/dev/zero", 70000, FsRead::kTooLarge, 0}};
  for (const auto& [name, most, result, size] : kCases) {
    EXPECT_EQ(FsReadHostStream(name[0] == '/' ? name : dir.File(name), out, most), result) << name << " " << most;
    EXPECT_EQ(out, std::string(size, 'x')) << name << " " << most;
    out.assign(200, 'o');
  }
  EXPECT_EQ(descriptors(), before);  // each read closes what it opened
  SetStopAsked(true);
  EventsProgramRunning(true);
  errno = 0;
  EXPECT_EQ(FsReadHostStream("/dev/zero", out, uint64_t(1) << 40), FsRead::kFailed);
  EXPECT_EQ(errno, EINTR);
  EventsProgramRunning(false);
  SetStopAsked(false);
}

// Names that stand for a descriptor, however spelt, and names that only look like one.
TEST(Fs, DescriptorNames) {
  TempDir dir;
  std::filesystem::create_symlink("/dev/stdout", dir.File("out"));
  std::filesystem::create_symlink("out", dir.File("out2"));
  std::filesystem::create_symlink("/dev/null", dir.File("null"));
  const std::pair<std::string, int> kCases[] = {
      {"/dev/stdout", 1}, {"/dev/stderr", 2}, {"/dev/fd/0", 0}, {"/proc/self/fd/12", 12}, {"/dev/fd/", -1},
      {"/dev/fd/1x", -1}, {"/dev/fd/x1", -1}, {"/dev/fd/123456789", 123456789}, {"/dev/fd/1234567890", -1}, {"/dev/stdin", 0}, {"fd/1", -1},
      {"-", 1}, {"//dev/stdout", 1}, {"/dev/./stdout", 1}, {"/proc/thread-self/fd/1", 1},
      {"/proc/" + std::to_string(getpid()) + "/fd/3", 3}, {dir.File("out2"), 1}, {dir.File("null"), -1},
      {"/proc/" + std::to_string(getppid()) + "/fd/1", -1}, {"/dev/fd/./1", 1}, {"/dev/fd//1", 1},
      {"/proc/self/fd//2", 2}, {"/proc/self/fd/./1", 1}, {"/dev/fd/../fd/1", 1}, {"/dev/fd/./x", -1}};
  for (const auto& [name, fd] : kCases) EXPECT_EQ(FsDescriptorOfName(name), fd) << name;
}

// An output named as a descriptor or a device is written through it and left open as it was;
// a device or a FIFO opened by its name is closed again; a name that is none of them is
// replaced whole.
TEST(Fs, OutputsAreWrittenThroughDescriptorsAndDevices) {
  TempDir dir;
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  const int reader = open(dir.File("fifo").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  const auto before = descriptors();
  const std::string kOutputs[] = {"/dev/fd/" + std::to_string(ends[1]), "/dev/fd/" + std::to_string(ends[1]),
                                  "/dev/null", dir.File("fifo"), dir.File("out.png")};
  for (const std::string& name : kOutputs) EXPECT_TRUE(FsWriteHostOutput(name, "ab")) << name;
  EXPECT_EQ(descriptors(), before);
  char fromFifo[4] = {};
  EXPECT_EQ(read(reader, fromFifo, sizeof fromFifo), 2);
  close(reader);
  close(ends[1]);
  char got[8] = {};
  EXPECT_EQ(read(ends[0], got, sizeof got), 4);
  EXPECT_STREQ(got, "abab");
  close(ends[0]);
  EXPECT_EQ(dir.Read("out.png"), "ab");
}

TEST(Fs, TempFolderIsPrivateAndCopiesDoNotFollowLinks) {
  std::string folder = FsTempFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(std::filesystem::status(folder).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
  TempDir dir;
  dir.Write("victim", "keep me");
  std::filesystem::create_symlink(dir.File("victim"), folder + "/_virtual.dat");
  std::string path = FsCreateTempFile("_virtual.dat", "new", 3);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(dir.Read("victim"), "keep me");  // the link was replaced, not followed
  EXPECT_FALSE(std::filesystem::is_symlink(path));
  // A child forked without a new program shares the path but leaves the folder to its parent.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FsRemoveTempFolder();
    FsRemoveTempFolderInSignal();
    _exit(0);
  }
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  EXPECT_TRUE(std::filesystem::exists(path));
  FsRemoveTempFolder();
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(Codepage, Windows1252RoundTripsThroughUtf8) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += char(c);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
  // The five bytes the code page leaves undefined stand for the control characters alike.
  EXPECT_EQ(Cp1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
  EXPECT_EQ(Utf8ToCp1252("\xE4\xB8\xAD"), "?");      // no such character
  EXPECT_EQ(Utf8ToCp1252("\xC3"), "?");              // cut short
  EXPECT_TRUE(IsValidUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
  for (const char* bad : {"caf\xE9", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"})
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
}

// Typed and pasted text in the code page of the text character set: every byte of each page
// round-trips, letters of the page become its bytes, and letters it lacks become '?'.
TEST(Codepage, TextConvertsThroughEveryDrawnCodePage) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += char(c);
  for (int32_t page : CodePagesDrawn()) EXPECT_EQ(Utf8ToCodePage(page, CodePageToUtf8(page, all)), all) << page;
  const struct {
    int32_t page;
    const char *utf8, *bytes;
  } cases[] = {
      {1251, "\xD0\x9F\xD1\x80\xD0\xB8", "\xCF\xF0\xE8"},  // Cyrillic
      {1253, "\xCE\xB1\xCE\xB2", "\xE1\xE2"},                // Greek
      {874, "\xE0\xB8\x81", "\xA1"},                          // Thai
      {1250, "\xC5\x81", "\xA3"},                              // Polish L with stroke
      {1252, "\xD0\x9F\xC3\xA9", "?\xE9"},                    // no Cyrillic in Western
      {1251, "\xC3\xA9", "?"},                                  // no e acute in Cyrillic
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToCodePage(c.page, c.utf8), c.bytes) << c.page;
    if (std::string(c.bytes).find('?') == std::string::npos) {
      EXPECT_EQ(CodePageToUtf8(c.page, c.bytes), c.utf8);
    }
  }
}

TEST(Clock, VirtualClockMovesOnlyWhenTold) {
  ClockUseVirtual(true, 0xFFFFFFF0u);  // just before the wrap
  uint32_t start = TimeMs();
  EXPECT_EQ(TimeMs(), start);
  ClockAdvanceMicros(1500);
  EXPECT_EQ(TimeMs() - start, 1u);
  uint32_t reached = ClockWaitElapsed(start, 25);  // across the wrap
  EXPECT_EQ(uint32_t(reached - start), 25u);
  EXPECT_LT(reached, start);
  SleepMs(10);
  EXPECT_EQ(uint32_t(TimeMs() - start), 35u);
  ClockUseVirtual(false);
  uint32_t real = TimeMs();
  EXPECT_GE(uint32_t(ClockWaitElapsed(real, 2) - real), 2u);
}

// A frame wait on the real clock sleeps through most of the frame instead of spinning.
TEST(Clock, AFrameWaitSleepsMostOfTheFrame) {
  auto cpuUs = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return int64_t(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
  };
  const int64_t cpuStart = cpuUs();
  const uint64_t wallStart = TimeUs();
  for (int frame = 0; frame < 3; ++frame) {
    const uint32_t since = TimeMs();
    EXPECT_GE(uint32_t(ClockWaitElapsed(since, 20) - since), 20u);
  }
  EXPECT_LT(cpuUs() - cpuStart, int64_t(TimeUs() - wallStart) / 2);
}

TEST(Events, APostedQuitIsNeverLost) {
  EventsReset();
  PostWindowMessage(Message{MsgKind::Char, 'a', 0});
  PostQuit();
  PostWindowMessage(Message{MsgKind::KeyDown, kVkEscape, 0});
  EXPECT_TRUE(IsVirtualKeyDown(kVkEscape));
  Message m;
  ASSERT_TRUE(PeekWindowMessage(m));
  EXPECT_EQ(m.kind, MsgKind::Char);
  ASSERT_TRUE(PeekWindowMessage(m));
  EXPECT_EQ(m.kind, MsgKind::KeyDown);
  for (int i = 0; i < 3; ++i) {  // however often messages are taken, the quit stays
    ASSERT_TRUE(PeekWindowMessage(m));
    EXPECT_EQ(m.kind, MsgKind::Quit);
  }
  EventsReset();
  EXPECT_FALSE(PeekWindowMessage(m));
  EXPECT_FALSE(IsVirtualKeyDown(kVkEscape));
}

// A title is text of the code page; the window shows it as UTF-8.
TEST(Window, TitlesAreTextOfTheCodePage) {
  ASSERT_TRUE(PlatformVideoInit());
  if (PlatformIsHeadless()) GTEST_SKIP() << "no window can be made here";
  ASSERT_TRUE(WindowCreate("x", 64, 48, false));
  SetTextCodePage(1251);
  WindowSetTitle("\xCF\xF0\xE8");  // При
  EXPECT_STREQ(SDL_GetWindowTitle(WindowHandle()), "\xD0\x9F\xD1\x80\xD0\xB8");
  SetTextCodePage(1252);
  WindowDestroy();
  PlatformVideoQuit();
}

// A driver asked for by name (the tests' offscreen one) opens the window library and a window.
TEST(Window, AnAskedDriverStartsTheVideo) {
  ASSERT_NE(std::getenv("SDL_VIDEODRIVER"), nullptr);
  PlatformVideoQuit();
  PlatformSetHeadless(false);
  ASSERT_TRUE(PlatformVideoInit());
  EXPECT_FALSE(PlatformIsHeadless());
  EXPECT_TRUE(SdlOpened());
  PlatformVideoQuit();
}

TEST(Window, WithoutADisplayTheRunGoesHeadlessAndSaysSo) {
  if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) GTEST_SKIP() << "this machine has a display";
  const char* old = std::getenv("SDL_VIDEODRIVER");
  const std::string driver = old ? old : "";
  unsetenv("SDL_VIDEODRIVER");
  PlatformVideoQuit();
  PlatformSetHeadless(false);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(PlatformVideoInit());
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(PlatformIsHeadless());
  EXPECT_NE(err.find("running headless"), std::string::npos) << err;
  EXPECT_FALSE(ShowMessageBox("text", "title", true));
  PlatformVideoQuit();
  PlatformSetHeadless(false);
  if (old) setenv("SDL_VIDEODRIVER", driver.c_str(), 1);
}

}  // namespace

// A number table reads 0 everywhere until written, keeps what is written, and is all 0 again
// after a reset, whether it is reset at its size or at another.
TEST(NumberTable, ReadsZeroUntilWrittenAndAgainAfterAReset) {
  NumberTable t(65536);
  const NumberTable& view = t;
  EXPECT_EQ(view[65535], 0u);
  t[7] = 3;
  t[65535] = 9;
  EXPECT_EQ(view[7], 3u);
  EXPECT_EQ(view[65535], 9u);
  t.Reset(65536);
  EXPECT_EQ(view[7], 0u);
  EXPECT_EQ(view[65535], 0u);
  t[1] = 5;
  NumberTable moved = std::move(t);
  EXPECT_TRUE(t.empty());
  EXPECT_EQ(moved[1], 5u);
  NumberTable assigned(8);
  assigned = std::move(moved);
  EXPECT_EQ(std::as_const(assigned)[1], 5u);
  moved = std::move(assigned);
  moved.Reset(10);
  EXPECT_EQ(moved.size(), 10u);
  EXPECT_EQ(moved[1], 0u);
  // A table gone gives its pages back: 4,000 used and dropped hold no gigabyte of address space.
  const auto mappedKb = [] {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("VmSize:", 0) == 0) return std::stol(line.substr(7));
    return 0L;
  };
  const long before = mappedKb();
  for (int k = 0; k < 4000; ++k) NumberTable(65536)[k] = 1;
  EXPECT_LT(mappedKb() - before, 64 * 1024);
}
