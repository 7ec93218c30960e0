#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/errors.h"
#include "platform/fs.h"
#include "platform/ini.h"
#include "tests/display/display_fixture.h"

namespace {

class CardChooserTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    const char* old = std::getenv("XDG_CONFIG_HOME");
    saved_ = old ? old : "";
    hadOld_ = old != nullptr;
    dir_ = FsTempFolder() + "/config";
    std::filesystem::remove_all(dir_);
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    ini_ = FsConfigFolder() + "/WIN.INI";
  }
  void TearDown() override {
    if (hadOld_) setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(dir_);
    DisplayTest::TearDown();
  }
  std::string saved_, dir_, ini_;
  bool hadOld_ = false;
};

TEST_F(CardChooserTest, StoredCardAndDepthAreTakenWithoutShowingAnything) {
  IniWriteString(ini_, "VellumarkStateData", "BEST3DCARD", "primary display driver");
  IniWriteString(ini_, "VellumarkStateData", "BEST3DDEPTH", "32");
  ChooseDisplayCard();
  EXPECT_EQ(g_display.chosenDepth, 32);
  EXPECT_EQ(g_display.cardChooserShown, 0);
  IniWriteString(ini_, "VellumarkStateData", "BEST3DDEPTH", "20");  // not a display depth: 16
  ChooseDisplayCard();
  EXPECT_EQ(g_display.chosenDepth, 16);
  IniWriteString(ini_, "VellumarkStateData", "BEST3DDEPTH", "x");
  ChooseDisplayCard();
  EXPECT_EQ(g_display.chosenDepth, 16);
}

TEST_F(CardChooserTest, HeadlessFirstRunShowsAndWritesNothing) {
  IniWriteString(ini_, "VellumarkStateData", "BEST3DCARD", "a card that was removed");
  ChooseDisplayCard();
  EXPECT_EQ(g_display.chosenDepth, 16);
  EXPECT_EQ(g_display.cardChooserShown, 0);
  EXPECT_EQ(IniGetString(ini_, "VellumarkStateData", "BEST3DCARD", ""), "a card that was removed");
}

TEST_F(CardChooserTest, EngineErrorsAreKeptAndLoggedInDebugMode) {
  g_runtime.programFolder = dir_ + "/";
  LogEngineError("Failed to create a Primary Surface");
  EXPECT_EQ(g_lastEngineError, "Failed to create a Primary Surface");
  EXPECT_FALSE(FsFileExists(dir_ + "/VK.LOG"));
  g_runtime.debugMode = 1;
  LogEngineError(std::string(300, 'e'));
  EXPECT_EQ(g_lastEngineError.size(), 255u);
  EXPECT_TRUE(FsFileExists(dir_ + "/VK.LOG"));
  g_lastEngineError.clear();
}

}  // namespace
