#pragma once
#include <cstdint>
#include <string>

// The case-insensitive half of the path layer: which entry of a folder a name means when it
// does not exist as written. Each folder's names are kept folded in an index, so a look-up
// costs the same however many files the folder holds. Every name found is checked to exist.
// The index is listed again when the folder changes (its identity, times or size), unless the
// name this process last resolved as new there has been made since, which explains the change.
// An index listed within a time stamp's resolution of the folder's last change, or carried
// over such a creation, is trusted for half a second at most: a name another process makes in
// the same moment as one of ours is found after that at the latest.

enum class FsMatch { kFound, kNone, kNoFolder, kFitsMany };

// Finds the entry of folder dir ("" is the current folder) whose name equals part (code-page
// text, the text code page's) ignoring case: names on disk are UTF-8 and compared in their
// code-page form, with '?' for a letter the code page cannot spell; a name that is not UTF-8 by
// its bytes. The first such entry in listing order wins, unless one of the entries that fit
// has such a '?': then the name is matched only when it fits that one entry alone, and is
// kFitsMany otherwise. kNoFolder when dir is not a folder (or does not exist).
FsMatch FsMatchInFolder(const std::string& dir, const std::string& part, std::string& found);
// A name on disk (or a path of such names) as FsMatchInFolder compares it: in the text code
// page's spelling, lower case.
std::string FsFoldedHostName(const std::string& hostName);
// Notes that name (as on disk) was resolved in dir as a new name, which the caller may now
// create.
void FsNoteNewName(const std::string& dir, const std::string& name);
// Folders listed so far by this process (for measurements and tests).
uint64_t FsFolderListings();
