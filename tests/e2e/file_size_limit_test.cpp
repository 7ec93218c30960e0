// A save past the file-size limit fails as a save does, and the run goes on to its end.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(FileSizeLimit, ASavePastItIsAFailedSaveAndLeavesNoTemporaryFile) {
  TempDir dir;
  dir.Write("big.bin", std::string(300000, 'b'));
  dir.Write("save.vka", "copy file \"big.bin\", \"copy.bin\"\n");
  ProcessResult r = RunProcess("/bin/sh", {"-c", "ulimit -f 128 && exec \"$0\" run save.vka --headless", VellumarkExe()},
                               dir.path());
  EXPECT_EQ(r.status, 1) << r.err;  // the warning stops a run from source; no signal killed it
  EXPECT_NE(r.err.find("copy.bin"), std::string::npos) << r.err;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "big.bin" || name == "save.vka") << "left behind: " << name;
  }
}

}  // namespace
