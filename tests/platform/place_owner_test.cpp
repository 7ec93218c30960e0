// In a user namespace that maps only the user (as `unshare -r` makes one), root and every other
// user outside it show as the overflow uid: a folder of it that only root can have made (every
// folder above it closed to other users) is root's, one in a folder anyone can make entries in
// may be another user's.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/place_owner.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr uid_t kUser = 4321;  // a user no file of the system belongs to
constexpr int kNoNamespace = 100;

// The judgement in a user namespace mapping the user to root, made by a fresh start of this
// program (what the judgement reads once a process is then read inside the namespace): it ends
// with 1 where the folder is one other users can change, else 0; kNoNamespace where none can be
// made. Run before main when the folder is in the environment.
[[maybe_unused]] const bool kJudgedHere = [] {
  const char* folder = std::getenv("VK_JUDGE_IN_NAMESPACE");
  if (!folder) return false;
  // Dumpable again after the change of uid, so that its own uid map is its to write.
  if (setgroups(0, nullptr) != 0 || setgid(kUser) != 0 || setuid(kUser) != 0 || prctl(PR_SET_DUMPABLE, 1) != 0 ||
      unshare(CLONE_NEWUSER) != 0)
    _exit(kNoNamespace);
  const std::string map = "0 " + std::to_string(kUser) + " 1";
  const int fd = open("/proc/self/uid_map", O_WRONLY);
  if (fd < 0 || write(fd, map.data(), map.size()) != ssize_t(map.size())) _exit(kNoNamespace);
  close(fd);
  struct stat st;
  if (stat(folder, &st) != 0) _exit(kNoNamespace + 1);
  _exit(PlaceOthersCanChange(st, folder) ? 1 : 0);
}();

int JudgedInNamespace(const std::string& folder) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("VK_JUDGE_IN_NAMESPACE", folder.c_str(), 1);
    execl("/proc/self/exe", "test_platform", static_cast<char*>(nullptr));
    _exit(kNoNamespace);
  }
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PlaceOwner, AnOverflowUidsFolderIsRootsWhereOnlyRootCanHaveMadeIt) {
  if (geteuid() != 0) GTEST_SKIP() << "taking another uid needs root";
  TempDir dir;  // root's, in a temporary folder anyone can make entries in
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  const struct {
    std::string folder;
    bool othersCanChange;
  } cases[] = {{"/", false}, {"/usr", false}, {"/usr/bin", false}, {dir.path(), true}};
  for (const auto& c : cases) {
    struct stat st;
    if (stat(c.folder.c_str(), &st) != 0 || st.st_uid != 0 || (st.st_mode & 022) != 0) continue;  // not root's 0755
    const int judged = JudgedInNamespace(c.folder);
    if (judged == kNoNamespace) GTEST_SKIP() << "no user namespace can be made here";
    EXPECT_EQ(judged, c.othersCanChange ? 1 : 0) << c.folder;
  }
  // Outside a namespace the overflow uid is a user as any other: nobody's folder is nobody's.
  const std::string nobodys = dir.File("nobody");
  ASSERT_EQ(mkdir(nobodys.c_str(), 0755), 0);
  ASSERT_EQ(chown(nobodys.c_str(), 65534, 65534), 0);
  struct stat st;
  ASSERT_EQ(stat(nobodys.c_str(), &st), 0);
  EXPECT_TRUE(PlaceOthersCanChange(st, nobodys));
}

}  // namespace
