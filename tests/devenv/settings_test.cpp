// Language texts, settings, recent files and the status text of the environment.
#include <sys/stat.h>

#include <filesystem>

#include "devenv/ide_texts.h"
#include "devenv/settings.h"
#include "platform/codepage.h"
#include "platform/ini.h"
#include "tests/devenv/devenv_fixture.h"

namespace {

using SettingsTest = DevenvTest;

TEST_F(SettingsTest, EveryTextTheEnvironmentReadsIsInTheLanguageFile) {
  for (const IdeTextKey& k : IdeTextKeysRead())
    EXPECT_FALSE(IdeText(k.section, k.index).empty()) << int(k.section) << " " << k.index;
}

TEST_F(SettingsTest, SettingsDefaultsAndTheHelpFolderRule) {
  const std::string setup = dir_.File("SETUP.INI");
  IdeSettings s = ReadIdeSettings(setup, "/prog/");  // no file: defaults
  EXPECT_EQ(s.textLanguage, "English");
  EXPECT_EQ(s.textCharset, 0);
  EXPECT_EQ(s.helpFolder, "/prog/HELP/");
  IniWriteString(setup, "SETTINGS", "HELPLANGUAGE", "german");
  IniWriteString(setup, "SETTINGS", "TEXTLANGUAGE-CHARSET", "161");
  s = ReadIdeSettings(setup, "/prog/");
  EXPECT_EQ(s.helpFolder, "/prog/LANG/GERMAN/HELP/");
  EXPECT_EQ(s.textCharset, 161);
  EXPECT_EQ(s.helpCharset, 0);
}

// The environment's text character set also picks the code page of typed and pasted text; the
// settings file keeps a value's leading blanks, which the number may follow.
TEST_F(SettingsTest, TheTextCharacterSetPicksTheCodePageOfTypedText) {
  for (const auto& [charset, page] : {std::pair{"204", 1251}, {"0", 1252}, {" 204", 1251}}) {
    IniWriteString(dir_.File("SETUP.INI"), "SETTINGS", "TEXTLANGUAGE-CHARSET", charset);
    IdeLoadLanguageTables();
    EXPECT_EQ(TextCodePage(), page) << charset;
  }
}

TEST_F(SettingsTest, RecentFilesMoveUpDropTheOldestAndSurviveASave) {
  for (const char* f : {"a.vka", "b.vka", "c.vka", "d.vka"}) AddRecentFile(f, "/p");
  AddRecentFile("B.VKA", "/P");  // listed already (without regard to case): moves to the top
  ASSERT_EQ(g_ide.recent.size(), 4u);
  EXPECT_EQ(g_ide.recent[0].name, "B.VKA");
  EXPECT_EQ(g_ide.recent[1].name, "d.vka");
  EXPECT_EQ(g_ide.recent[3].name, "a.vka");
  AddRecentFile("e.vka", "/p");  // a fifth distinct file drops the oldest
  EXPECT_FALSE(IsRecentFile("a.vka", "/p"));
  EXPECT_TRUE(IsRecentFile("E.vka", "/P"));
  AddRecentFile("", "/p");
  EXPECT_EQ(g_ide.recent[0].name, "e.vka");

  g_ide.mediaEditors[2].path = dir_.File("settings_test.cpp");  // missing program: not there
  SaveRecentFiles();
  IniWriteString(IdeStateFile(), kIdeStateSection, "RECENTFILE1", "");  // a hole is skipped
  ResetIdeState();
  LoadRecentFiles();
  ASSERT_EQ(g_ide.recent.size(), 3u);
  EXPECT_EQ(g_ide.recent[0].name, "B.VKA");
  EXPECT_EQ(g_ide.recent[0].folder, "/P");
  EXPECT_FALSE(g_ide.mediaEditors[2].exists);
  EXPECT_EQ(g_ide.mediaEditors[2].path, dir_.File("settings_test.cpp"));
  SaveRecentFiles();
  ResetIdeState();
  LoadRecentFiles();
  EXPECT_EQ(g_ide.recent.size(), 3u);  // no entry comes back twice
}

// Recent files that cannot be written leave the settings file whole and are said once a
// session on stderr, with the cause.
TEST_F(SettingsTest, RecentFilesThatCannotBeSavedAreSaidOnce) {
  LoadRecentFiles();  // a session of its own
  AddRecentFile("a.vka", "/p");
  ASSERT_TRUE(SaveRecentFiles());
  const std::string ini = IdeStateFile(), before = dir_.Read("config/vellumark/WIN.INI");
  AddRecentFile("b.vka", "/p");
  std::string said;
  for (int run = 0; run < 2; ++run) {
    g_fsWriteFaults = 1;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SaveRecentFiles());
    said += testing::internal::GetCapturedStderr();
    g_fsWriteFaults = 0;
  }
  EXPECT_EQ(said, "vellumark: edit: the recent files could not be saved in " + ini + ": disk full\n");
  EXPECT_EQ(dir_.Read("config/vellumark/WIN.INI"), before);
  LoadRecentFiles();  // a new session says it again
  AddRecentFile("c.vka", "/p");
  g_fsWriteFaults = 1;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(SaveRecentFiles());
  EXPECT_NE(testing::internal::GetCapturedStderr(), "");
  g_fsWriteFaults = 0;
  // A settings file that is a folder is left as it is, and said to be one.
  std::filesystem::remove(ini);
  std::filesystem::create_directory(ini);
  LoadRecentFiles();
  AddRecentFile("d.vka", "/p");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(SaveRecentFiles());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "vellumark: edit: the recent files could not be saved in " + ini + ": it is a folder\n");
}

// Recent files that a settings file or a settings folder the user locked refuses are not said
// again by the environment (the writing says the settings are not kept), whichever of the two
// is locked.
TEST_F(SettingsTest, RecentFilesALockedFileOrFolderRefusesAreNotSaidAgain) {
  const struct {
    const char* name;
    mode_t folder, file;
  } rows[] = {{"WIN.INI read-only", 0700, 0444}, {"the settings folder read-only", 0555, 0644}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string ini = IdeStateFile(), folder = ini.substr(0, ini.rfind('/'));
    LoadRecentFiles();
    AddRecentFile(row.name, "/p");
    ASSERT_TRUE(SaveRecentFiles());
    ASSERT_EQ(chmod(ini.c_str(), row.file), 0);
    ASSERT_EQ(chmod(folder.c_str(), row.folder), 0);
    AddRecentFile("b.vka", "/p");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SaveRecentFiles());
    const std::string said = testing::internal::GetCapturedStderr();
    chmod(folder.c_str(), 0700);
    chmod(ini.c_str(), 0644);
    EXPECT_EQ(said.find("the recent files could not be saved"), std::string::npos) << said;
  }
  LoadRecentFiles();  // a new session: a failure later is said again
}

// A settings file whose bytes are no text the environment reads, or that cannot spell a name,
// is left whole and said in the environment's words, not the C library's.
TEST_F(SettingsTest, ASettingsFileOfAFormNotReadIsSaidSo) {
  const std::string utf16 = std::string("\xFF\xFE[\0S\0]\0\r\0\n\0", 12);
  const struct {
    const char* name;
    std::string bytes;
    const char* recent;  // the file name saved
    const char* cause;
  } rows[] = {
      {"UTF-16 without its mark", utf16.substr(2), "a.vka",
       "its form is not one the environment reads (text, or UTF-16 with its byte-order mark)"},
      {"a name that is no UTF-8 in UTF-16", utf16, "caf\xE9.vka", "the text cannot be spelled in its UTF-16"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string ini = IdeStateFile();
    dir_.Write("config/vellumark/WIN.INI", row.bytes);
    LoadRecentFiles();
    AddRecentFile(row.recent, "/p");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SaveRecentFiles());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vellumark: edit: the recent files could not be saved in " + ini + ": " + row.cause + "\n");
    EXPECT_EQ(dir_.Read("config/vellumark/WIN.INI"), row.bytes);
  }
}

TEST_F(SettingsTest, StatusTextNamesTheProjectAndTheFile) {
  IdeUpdateStatusText();
  EXPECT_EQ(g_ide.statusText, IdeText(IdeSection::Desc, kDescNoFile));
  g_ide.fileName = "game.vka";
  g_ide.projectFolder = g_runtime.programFolder + "myproj/space/";
  IdeUpdateStatusText();
  EXPECT_EQ(g_ide.statusText, "Project: Space  File: game.vka");
  EXPECT_EQ(g_ide.statusColour, 256);
  g_ide.projectFolder = "/elsewhere/space";
  IdeUpdateStatusText();
  EXPECT_EQ(g_ide.statusText, "Project: /elsewhere/space  File: game.vka");
  // Names from the disk are drawn in the code page.
  SetTextCodePage(1252);
  g_ide.projectFolder = "/elsewhere/caf\xC3\xA9";
  g_ide.fileName = "\xC3\xA9t\xC3\xA9.vka";
  IdeUpdateStatusText();
  EXPECT_EQ(g_ide.statusText, "Project: /elsewhere/caf\xE9  File: \xE9t\xE9.vka");
}

TEST_F(SettingsTest, FirstRunMarkIsTakenOnce) {
  EXPECT_TRUE(IdeTakeFirstRunMark());
  EXPECT_FALSE(IdeTakeFirstRunMark());
}

}  // namespace
