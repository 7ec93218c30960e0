#pragma once
#include <sys/stat.h>

#include <string>
#include <vector>

// The judgement of a place (place_owner.cpp): whose a folder is, and whether a user other than
// this one can change what is in it, by its owner, its mode, its group and its access list. It
// asks the user database (this user's name, its private group, other users' homes) and, in a
// user namespace, the overflow uid. The user database is read once a process, when first asked
// (again only after the process has taken another uid), and only where a judgement needs it.

// Whether a user other than this one (and root) can change the folder at path (st: its stat; fd,
// where given, its descriptor, through which its access list is read),
// and so rename what is in it away: a folder neither the system's nor this user's, or one open
// to others' writing without the sticky bit (by its mode, its group where that is not the
// user's private group, or its access list). The system's is root's, and inside a user
// namespace the overflow uid's where it is sticky, "/" or above /tmp or a home the user database
// names for this user (its uid's, or that of its uid outside the namespace), or one below folders
// only the system can make entries in, and no other user's home nor inside one: every other user
// shows as that uid too. A home or temporary folder the environment names vouches for no folder
// above it.
bool PlaceOthersCanChange(const struct stat& st, const std::string& path, int fd = -1);

// Whether a user other than this one (and root) can make, rename or remove entries in the folder,
// sticky or not: one PlaceOthersCanChange judges so, or a sticky one open to others' writing.
bool PlaceOthersCanWrite(const struct stat& st, const std::string& path, int fd = -1);

// Whether the entry at path (st: its lstat) may be taken as this user's own choice, a link
// followed and a setting read: it is this user's or its folder's owner's, or its folder is one no
// other user can write (the kernel's rule for links in sticky folders, for every folder others
// can write). False where its folder cannot be judged.
bool PlaceEntryTrusted(const struct stat& st, const std::string& path);
// As PlaceEntryTrusted, for an entry of the folder open as folderFd (its path folder): the folder
// judged is the one the descriptor holds.
bool PlaceEntryTrustedIn(const struct stat& st, int folderFd, const std::string& folder);

// This user's home as the user database names it, "" where it names none.
std::string PlaceUserDatabaseHome();

// Puts the names of a path on the stack of those still to walk, its first name on top (the walks
// pop them one at a time and push a link's target in its place).
void PlacePushNames(const std::string& path, std::vector<std::string>& rest);
