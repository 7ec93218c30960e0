// Every write the path layer makes lands in the folder its walk judged: another member of a
// group folder who renames the user's folder away and puts their link to the user's private
// folder in its place, between the judgement and the write, gets nothing written, renamed or
// deleted there. The swap is made by the walk's test hook, at the moment the judgement is done.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "platform/binary_file.h"
#include "platform/fs.h"
#include "platform/fs_walk.h"
#include "platform/host_files.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr uid_t kOtherUser = 65534;  // nobody

// The user's folder in the group's folder, and the private folder the other member's link leads to.
std::string g_mine, g_victim, g_source;
int g_swaps = 0;

// Renames the user's folder away and puts the other member's link to the private folder in its
// place: once, at the first judgement of a write into it.
void SwapForLink(const std::string& path) {
  if (path.rfind(g_mine, 0) != 0 || g_swaps++ > 0) return;
  ASSERT_EQ(rename(g_mine.c_str(), (g_mine + ".old").c_str()), 0);
  ASSERT_EQ(symlink(g_victim.c_str(), g_mine.c_str()), 0);
  ASSERT_EQ(lchown(g_mine.c_str(), kOtherUser, kOtherUser), 0);
}

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename());
  return names;
}

struct Write {
  const char* name;
  std::function<bool(const std::string& mine)> write;  // true when it reports success
  const char* made;  // what it leaves in the folder judged ("" none: a delete)
  bool lands;        // whether it is done there
};

const Write kWrites[] = {
    {"atomic save", [](const std::string& m) { return FsWriteHostFileAtomic(m + "/a.txt", "new"); }, "a.txt", true},
    {"durable save", [](const std::string& m) { return FsWriteFileDurable(m + "/d.txt", "new"); }, "d.txt", true},
    {"debug log", [](const std::string& m) { return FsReplaceHostFile(m + "/VK.LOG", "new"); }, "VK.LOG", true},
    {"output", [](const std::string& m) { return FsWriteHostOutput(m + "/o.png", "new"); }, "o.png", true},
    {"new file",
     [](const std::string& m) { return FsWriteNewFile(m + "/n.txt", "new", FsAccess{}) == FsNewFile::kWritten; },
     "n.txt", true},
    {"copy", [](const std::string& m) { return FsCopyFile(g_source, m + "/c.txt"); }, "c.txt", true},
    {"move", [](const std::string& m) { return FsMoveFile(g_source, m + "/m.txt"); }, "m.txt", true},
    {"make folder", [](const std::string& m) { return FsMakeFolder(m + "/dir"); }, "dir", true},
    {"make folders", [](const std::string& m) { return FsMakeFolders(m + "/deep/er"); }, "deep", true},
    {"make file", [](const std::string& m) { return FsCreateEmptyFile(m + "/e.txt"); }, "e.txt", true},
    {"make file exclusive", [](const std::string& m) { return FsMakeFileExclusive(m + "/x.txt"); }, "x.txt", true},
    {"stream", [](const std::string& m) { BinaryFile f; return f.CreateNew(m + "/s.dat") && f.Close(); }, "s.dat", true},
    {"byte", [](const std::string& m) { return FsPokeByte(m + "/notes.txt", 0, 'X'); }, "notes.txt", true},
    {"delete", [](const std::string& m) { return FsDeleteFile(m + "/notes.txt"); }, "", true},
    {"delete the debug log", [](const std::string& m) { return FsDeleteHostFile(m + "/notes.txt"); }, "", true},
    {"delete tree", [](const std::string& m) { return FsDeleteTree(m + "/sub", true); }, "", true},
    // Judged again for their second step, after the swap: refused there.
    {"temporary",
     [](const std::string& m) {
       std::string temp;
       const int fd = FsCreateTempBeside(m + "/t.txt", temp);
       return fd >= 0 && close(fd) == 0 && FsCommitTemp(temp, m + "/t.txt");
     },
     "t.txt", false},
    {"below", [](const std::string& m) { const int fd = FsOpenBelow(m, "b/b.txt", true); return fd >= 0 && close(fd) == 0; },
     "b", false},
    {"delete below", [](const std::string& m) { return FsRemoveBelow(m, "notes.txt"); }, "", false},
};

TEST(WriteWalk, AFolderSwappedForALinkAfterTheJudgementGetsNothing) {
  if (geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  TempDir dir;
  const std::string group = dir.File("group");
  std::filesystem::create_directory(group);
  const struct group* users = getgrnam("users");
  ASSERT_EQ(chown(group.c_str(), uid_t(-1), users ? users->gr_gid : 4242), 0);
  ASSERT_EQ(chmod(group.c_str(), 02775), 0);
  g_mine = group + "/mine";
  g_victim = dir.File("victim");
  g_source = group + "/src.txt";
  for (const Write& w : kWrites) {
    std::filesystem::remove_all(g_victim);
    std::filesystem::create_directories(g_victim + "/sub");
    dir.Write("victim/notes.txt", "private");
    std::filesystem::remove_all(g_mine);
    std::filesystem::remove_all(g_mine + ".old");
    std::filesystem::create_directories(g_mine + "/sub");
    dir.Write("group/mine/notes.txt", "mine");
    dir.Write("group/src.txt", "source");
    g_swaps = 0;
    g_fsWriteWalked = SwapForLink;
    const bool ok = w.write(g_mine);
    g_fsWriteWalked = nullptr;
    EXPECT_GT(g_swaps, 0) << w.name;
    EXPECT_EQ(Names(g_victim), (std::set<std::string>{"notes.txt", "sub"})) << w.name;
    EXPECT_EQ(dir.Read("victim/notes.txt"), "private") << w.name;
    // What was judged is what is written: the folder renamed away.
    EXPECT_EQ(ok, w.lands) << w.name;
    if (ok) {
      EXPECT_TRUE(*w.made ? std::filesystem::exists(g_mine + ".old/" + w.made) : Names(g_mine + ".old").size() == 1)
          << w.name;
    }
  }
}

// Gives the user the writing of the folder by an access list entry (the mode's group bits are
// its mask); false where the file system keeps no access lists.
bool GiveWriting(const std::string& folder, uid_t user) {
  constexpr uint32_t kNone = 0xFFFFFFFF;
  const uint32_t entries[][3] = {{0x01, 7, kNone}, {0x02, 7, user}, {0x04, 5, kNone}, {0x10, 7, kNone}, {0x20, 5, kNone}};
  std::string acl = {2, 0, 0, 0};  // the version, then tag, permissions and id of each entry
  for (const auto& e : entries)
    for (const auto& [value, bytes] : {std::pair{e[0], 2}, {e[1], 2}, {e[2], 4}})
      for (int b = 0; b < bytes; ++b) acl += char(value >> (8 * b) & 0xFF);
  return setxattr(folder.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
}

// The walk itself: a link on the way, or at the last part where it is followed, is followed
// unless it is another user's in a folder others can write, the judgement the kernel makes for
// sticky folders.
TEST(WriteWalk, AnotherUsersLinkIsFollowedOnlyWhereNoOtherUserCanWrite) {
  if (geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  TempDir dir;
  const std::string target = dir.File("target");
  std::filesystem::create_directory(target);
  const struct group* users = getgrnam("users");
  for (const auto& [kind, mode] :
       {std::pair{"private", 0755}, {"group", 02775}, {"sticky", 01777}, {"access list", 0755}}) {
    const std::string folder = dir.File(kind);
    const bool listed = std::string(kind) == "access list";  // of root's own group, writable only by the list
    std::filesystem::create_directory(folder);
    ASSERT_EQ(chown(folder.c_str(), uid_t(-1), listed ? 0 : users ? users->gr_gid : 4242), 0);
    ASSERT_EQ(chmod(folder.c_str(), mode_t(mode)), 0);
    if (listed && !GiveWriting(folder, kOtherUser)) continue;  // no access lists here
    for (const uid_t owner : {uid_t(0), kOtherUser}) {
      const std::string link = folder + "/link" + std::to_string(owner);
      ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
      ASSERT_EQ(lchown(link.c_str(), owner, owner), 0);
      const bool refused = owner != 0 && (mode != 0755 || listed);
      // On the way, the last part followed, and the last part named as a folder (with a '/'
      // after it, which follows it as the kernel does, never followed unjudged).
      for (const std::string rest : {"/f.txt", "", "/"}) {
        const std::string row = std::string(kind) + " " + std::to_string(owner) + " '" + rest + "'";
        FsWriteFolder at;
        const bool walked = FsWalkForWrite(link + rest, rest.empty(), at);
        EXPECT_EQ(walked, !refused) << row;
        if (refused) {
          EXPECT_EQ(errno, ELOOP) << row;
          EXPECT_TRUE(FsOthersLinkInTheWay()) << row;
        } else {
          EXPECT_EQ(at.Join(at.leaf), target + rest) << row;
        }
      }
    }
  }
}

}  // namespace
