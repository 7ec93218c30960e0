// A process shutting down after its run was written out ends at once on a stop signal, its
// temporary folder removed.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/events.h"
#include "platform/fs.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(StopExit, AStopDuringTheShutDownEndsTheProcessWithItsStatus) {
  // The child starts afresh (no temporary folder of this process to inherit) and takes the
  // folder to work in from the environment.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::optional<TempDir> dir;
  const char* given = getenv("VK_STOP_EXIT_TMP");
  if (!given) dir.emplace();
  const std::string tmp = given ? given : dir->path();
  setenv("VK_STOP_EXIT_TMP", tmp.c_str(), 1);
  const std::string root = tmp + "/vellumark-" + std::to_string(getuid());
  EXPECT_EXIT(
      {
        setenv("TMPDIR", tmp.c_str(), 1);
        if (FsTempFolder().empty()) _exit(9);
        EventsCatchStopSignals();
        EventsEndProcessOnStop(7);
        raise(SIGTERM);
        _exit(8);
      },
      ::testing::ExitedWithCode(7), "");
  unsetenv("VK_STOP_EXIT_TMP");
  std::error_code ec;
  EXPECT_TRUE(std::filesystem::exists(root));
  EXPECT_TRUE(std::filesystem::is_empty(root, ec));
}

}  // namespace
