#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/run_state.h"
#include "devenv/ide_state.h"
#include "runtime/language_file.h"
#include "tests/support/temp_dir.h"

// A clean environment state over a private program folder and per-user settings folder, with
// the built-in English words loaded.
class DevenvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    hadConfig_ = old != nullptr;
    if (old) savedConfig_ = old;
    setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
    savedProgramFolder_ = g_runtime.programFolder;
    savedFolder_ = std::filesystem::current_path();  // the browser changes the working folder
    g_runtime.programFolder = dir_.path() + "/";
    ResetIdeState();
    LoadLanguageTables("/nonexistent/");
  }
  void TearDown() override {
    ResetIdeState();
    std::filesystem::current_path(savedFolder_);
    g_runtime.programFolder = savedProgramFolder_;
    if (hadConfig_) setenv("XDG_CONFIG_HOME", savedConfig_.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
  }
  TempDir dir_;
  std::string savedConfig_, savedProgramFolder_;
  std::filesystem::path savedFolder_;
  bool hadConfig_ = false;
};
