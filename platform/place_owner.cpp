// The judgement of a place: whose a folder is and who else can change it, with the user
// database read once a process and the overflow uid of a user namespace.
#include "platform/place_owner.h"

#include <grp.h>
#include <pwd.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace {

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The current folder, "." where it has none.
std::string CurrentFolder() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? buf : ".";
}

// The user database as this process read it: every user and every group it lists, read whole
// once when first needed (a start that judges no folder by its group or another user's home
// reads none of it), and again only after the process has taken another uid.
struct UserDatabase {
  struct User {
    uid_t uid;
    gid_t gid;
    std::string home;
  };
  struct Group {
    gid_t gid;
    std::string name;
    std::vector<std::string> members;
  };
  uid_t uid = 0;  // whose process read it
  bool usersRead = false, groupsRead = false;
  std::vector<User> users;
  std::optional<std::pair<std::string, std::string>> self;  // this user's name and home
  std::vector<Group> groups;
  std::vector<std::pair<gid_t, std::optional<std::string>>> named;  // groups looked up by id alone
  std::optional<std::vector<std::string>> homes;  // this user's homes (see DatabaseHomes)
};
UserDatabase g_database;

UserDatabase& Database() {
  UserDatabase& d = g_database;
  if ((d.usersRead || d.groupsRead) && d.uid != getuid()) d = UserDatabase{};
  d.uid = getuid();
  return d;
}

// Every user the database lists, and this user's entry: the first of its uid, as a look-up by
// uid finds it; looked up alone where the database cannot be listed whole.
UserDatabase& Users() {
  UserDatabase& d = Database();
  if (d.usersRead) return d;
  d.usersRead = true;
  setpwent();
  while (const passwd* user = getpwent()) {
    d.users.push_back({user->pw_uid, user->pw_gid, user->pw_dir ? user->pw_dir : ""});
    if (!d.self && user->pw_uid == d.uid && user->pw_name)
      d.self.emplace(user->pw_name, user->pw_dir ? user->pw_dir : "");
  }
  endpwent();
  if (!d.self)
    if (const passwd* self = getpwuid(d.uid); self && self->pw_name)
      d.self.emplace(self->pw_name, self->pw_dir ? self->pw_dir : "");
  return d;
}

// Every group the database lists.
UserDatabase& Groups() {
  UserDatabase& d = Database();
  if (d.groupsRead) return d;
  d.groupsRead = true;
  setgrent();
  while (const group* entry = getgrent()) {
    d.groups.push_back({entry->gr_gid, entry->gr_name ? entry->gr_name : "", {}});
    for (char** member = entry->gr_mem; member && *member; ++member) d.groups.back().members.emplace_back(*member);
  }
  endgrent();
  return d;
}

// The name of the group of the id, as a look-up by id finds it: the first listed, else looked up
// alone (once); none where it has none.
std::optional<std::string> GroupName(gid_t gid) {
  UserDatabase& d = Groups();
  for (const UserDatabase::Group& g : d.groups)
    if (g.gid == gid) return g.name;
  for (const auto& [id, name] : d.named)
    if (id == gid) return name;
  const group* g = getgrgid(gid);
  d.named.emplace_back(gid, g && g->gr_name ? std::optional<std::string>(g->gr_name) : std::nullopt);
  return d.named.back().second;
}

// A small file of /proc, which tells no size.
std::string ReadProcFile(const char* path) {
  std::string text(8192, '\0');
  std::FILE* f = std::fopen(path, "re");
  text.resize(f ? std::fread(text.data(), 1, text.size(), f) : 0);
  if (f) std::fclose(f);
  return text;
}

// The overflow uid, which every user outside this user namespace shows as, or -1 outside one
// (where the map takes every uid as it is).
int64_t OverflowUid() {
  static const int64_t uid = [] {
    unsigned long inside = 0, outside = 0, count = 0;
    if (std::sscanf(ReadProcFile("/proc/self/uid_map").c_str(), "%lu %lu %lu", &inside, &outside, &count) == 3 &&
        inside == 0 && outside == 0 && count == 4294967295ul)
      return int64_t(-1);
    const std::string overflow = ReadProcFile("/proc/sys/kernel/overflowuid");
    return overflow.empty() ? int64_t(-1) : int64_t(std::strtol(overflow.c_str(), nullptr, 10));
  }();
  return uid;
}

// The uid this user has outside its user namespace, by the namespace's map; -1 where it has none.
int64_t OutsideUid() {
  const unsigned long uid = getuid();
  const std::string map = ReadProcFile("/proc/self/uid_map");
  for (size_t at = 0; at < map.size();) {
    unsigned long inside = 0, outside = 0, count = 0;
    if (std::sscanf(map.c_str() + at, "%lu %lu %lu", &inside, &outside, &count) == 3 && uid >= inside &&
        uid - inside < count)
      return int64_t(outside + (uid - inside));
    const size_t end = map.find('\n', at);
    at = end == std::string::npos ? map.size() : end + 1;
  }
  return -1;
}

// Whether the group is this user's private group: named as the user, with no other member,
// listed under any group entry of its id (two names can share one id) or by its own group.
bool PrivateGroup(gid_t gid) {
  const UserDatabase& users = Users();
  if (!users.self) return false;
  const std::string& name = users.self->first;
  const std::optional<std::string> groupName = GroupName(gid);
  if (!groupName || name != *groupName) return false;
  for (const UserDatabase::Group& g : Groups().groups)
    for (const std::string& member : g.members)
      if (g.gid == gid && member != name) return false;
  for (const UserDatabase::User& user : users.users)
    if (user.gid == gid && user.uid != users.uid) return false;
  return true;
}

// The folder's access list as the kernel gives it (see getxattr), read through its descriptor
// where one is given: what is read is the folder judged, whatever its path names now.
ssize_t ReadAcl(const std::string& folder, int fd, void* into, size_t size) {
  if (fd >= 0) {
    // An O_PATH descriptor has no xattr calls of its own: its /proc name leads to the folder.
    const std::string held = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = getxattr(held.c_str(), "system.posix_acl_access", into, size);
    if (n >= 0 || errno != ENOENT || access("/proc/self/fd", X_OK) == 0) return n;
  }
  return lgetxattr(folder.c_str(), "system.posix_acl_access", into, size);
}

// Whether anyone but the user, root and the user's private group can write in the folder (at
// path, st its stat, fd its descriptor or -1) through its group or access list. With an access
// list the mode's group bits are the list's mask: the owning group's rights are its own entry,
// and each group or named entry writes only as far as the mask lets it.
bool GroupOrAclLetsOthersWrite(const struct stat& st, const std::string& folder, int fd) {
  std::optional<bool> others;  // whether the owning group is another than the private one, asked once
  const auto groupOthers = [&] { return others ? *others : *(others = !PrivateGroup(st.st_gid)); };
  // Every entry is read, however many: the list is read whole at the size it has now.
  std::vector<unsigned char> acl;
  ssize_t n = -1;
  for (int attempt = 0; attempt < 8; ++attempt) {
    n = ReadAcl(folder, fd, nullptr, 0);
    if (n < 0) return (st.st_mode & 020) != 0 && groupOthers();  // none (ENODATA, ENOTSUP)
    acl.resize(size_t(n) + 1);
    n = ReadAcl(folder, fd, acl.data(), acl.size());
    if (n >= 0 || errno != ERANGE) break;  // ERANGE: it grew meanwhile
  }
  if (n < 0) return errno == ERANGE || ((st.st_mode & 020) != 0 && groupOthers());  // unread whole: open
  const auto field = [&acl](size_t at, size_t bytes) {
    uint32_t v = 0;
    for (size_t k = bytes; k-- > 0;) v = v << 8 | acl[at + k];
    return v;
  };
  constexpr uint32_t kUser = 0x02, kGroupObj = 0x04, kGroup = 0x08, kMask = 0x10, kWrite = 0x02;
  uint32_t mask = kWrite, writing = 0;  // the mask, and the writing of the others' entries
  for (ssize_t at = 4; at + 8 <= n; at += 8) {
    const uint32_t tag = field(size_t(at), 2), id = field(size_t(at) + 4, 4), perm = field(size_t(at) + 2, 2);
    if (tag == kMask) mask = perm;
    if ((tag == kUser && id != getuid() && id != 0) || (tag == kGroup && !PrivateGroup(gid_t(id))) ||
        (tag == kGroupObj && groupOthers()))
      writing |= perm;
  }
  return (writing & mask & kWrite) != 0;
}

// Whether folder is another user's home (in the user database, not root's) or inside one.
bool InAnotherUsersHome(const std::string& folder) {
  const UserDatabase& d = Users();
  for (const UserDatabase::User& user : d.users) {
    const std::string home = WithoutTrailingSlash(user.home);
    if (user.uid != d.uid && user.uid != 0 && home.size() > 1 && home[0] == '/' &&
        (folder == home || folder.rfind(home + "/", 0) == 0))
      return true;
  }
  return false;
}

// The homes the user database names for this user: its uid's and, in a user namespace, that of
// the uid it has outside (a namespace mapping the user as root), each looked up once.
const std::vector<std::string>& DatabaseHomes() {
  UserDatabase& d = Users();
  if (d.homes) return *d.homes;
  d.homes.emplace();
  if (d.self) d.homes->push_back(WithoutTrailingSlash(d.self->second));
  if (const int64_t outside = OutsideUid(); outside >= 0 && uid_t(outside) != d.uid)
    if (const passwd* user = getpwuid(uid_t(outside)); user && user->pw_dir)
      d.homes->push_back(WithoutTrailingSlash(user->pw_dir));
  return *d.homes;
}

// Whether folder is "/" or lies above a home the user database names for this user or /tmp, and
// is no other user's home nor inside one. A home or temporary folder the environment names
// proves nothing of the folders above it: one set below another user's folder would make that
// folder the system's.
bool AboveHomeOrTemp(const std::string& folder) {
  if (folder == "/") return true;
  const std::string below = folder + "/";
  std::vector<std::string> places = DatabaseHomes();
  places.push_back("/tmp");
  for (const std::string& place : places)
    if (!place.empty() && place.rfind(below, 0) == 0) return !InAnotherUsersHome(folder);
  return false;
}

// Whether only the system can have made the folder at path (a full path) and given it its
// owner: every folder above it is root's, this user's or the overflow uid's, none lets any other
// user make an entry in it, and it is in no other user's home. In a user namespace root and every
// other user outside it show as the overflow uid alike; a folder of it that only root could have
// made there is root's, as "/" is.
bool MadeByTheSystem(const std::string& path) {
  if (path.size() < 2 || path[0] != '/' || InAnotherUsersHome(path)) return false;
  for (size_t slash = 0; slash != std::string::npos && slash + 1 < path.size(); slash = path.find('/', slash + 1)) {
    const std::string above = slash == 0 ? "/" : path.substr(0, slash);
    struct stat st;
    if (lstat(above.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (st.st_uid != 0 && st.st_uid != getuid() && int64_t(st.st_uid) != OverflowUid()) return false;
    if ((st.st_mode & 002) != 0 || GroupOrAclLetsOthersWrite(st, above, -1)) return false;
  }
  return true;
}

}  // namespace

bool PlaceOthersCanChange(const struct stat& st, const std::string& path, int fd) {
  const bool overflow = int64_t(st.st_uid) == OverflowUid();  // never -1
  const bool system = st.st_uid == 0 || (overflow && ((st.st_mode & S_ISVTX) != 0 || AboveHomeOrTemp(path) ||
                                                      MadeByTheSystem(path)));
  if (!system && st.st_uid != getuid()) return true;
  if ((st.st_mode & S_ISVTX) != 0) return false;
  return (st.st_mode & 002) != 0 || GroupOrAclLetsOthersWrite(st, path, fd);
}

bool PlaceOthersCanWrite(const struct stat& st, const std::string& path, int fd) {
  if (PlaceOthersCanChange(st, path, fd)) return true;
  return (st.st_mode & S_ISVTX) != 0 && ((st.st_mode & 002) != 0 || GroupOrAclLetsOthersWrite(st, path, fd));
}

bool PlaceEntryTrusted(const struct stat& st, const std::string& path) {
  if (st.st_uid == getuid()) return true;
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat held;
  if (stat(folder.c_str(), &held) != 0) return false;
  if (st.st_uid == held.st_uid) return true;
  return !PlaceOthersCanWrite(held, folder == "." ? CurrentFolder() : folder);
}

bool PlaceEntryTrustedIn(const struct stat& st, int folderFd, const std::string& folder) {
  if (st.st_uid == getuid()) return true;
  struct stat held;
  if (fstat(folderFd, &held) != 0) return false;
  return st.st_uid == held.st_uid || !PlaceOthersCanWrite(held, folder, folderFd);
}

std::string PlaceUserDatabaseHome() {
  const UserDatabase& d = Users();
  return d.self ? d.self->second : "";
}

void PlacePushNames(const std::string& path, std::vector<std::string>& rest) {
  std::vector<std::string> names;
  for (size_t from = 0; from <= path.size();) {
    const size_t slash = std::min(path.find('/', from), path.size());
    names.push_back(path.substr(from, slash - from));
    from = slash + 1;
  }
  rest.insert(rest.end(), names.rbegin(), names.rend());
}
