#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

// One entry of a pack: its lower-cased name (relative path with backslashes) and where its
// data lies in the pack copy.
struct PackEntry {
  std::string name;
  size_t offset = 0;
  uint32_t size = 0;
};

// The pack appended to a built game: the runtime part of S bytes, then entries
// {u32 name length with its zero, name, u32 data size, data}, then u32 0, then u32 S.
// Every file a program opens is looked up here first; a packed entry is written to a
// temporary copy that the caller opens instead.
class VirtualFiles {
 public:
  VirtualFiles() = default;
  ~VirtualFiles() { Cleanup(); }
  VirtualFiles(const VirtualFiles&) = delete;
  VirtualFiles& operator=(const VirtualFiles&) = delete;

  // Reads the pack at the end of the file. False when the file cannot be opened or holds no
  // consistent pack (then the reader stays empty), with why saying what is wrong.
  bool LoadPack(const std::string& file, std::string* why = nullptr);
  // The same over bytes already in memory (the whole file).
  bool LoadPackFromBytes(const uint8_t* bytes, size_t size, std::string* why = nullptr);

  // When the name (a program's, '/' or '\' between folders) is packed, writes the entry to
  // "_virtual.<ext>" in the temporary folder and replaces name with that path. The extension
  // may hold letters and digits only. Names are matched as the disk's are (FsResolve): by the
  // name's UTF-8 spelling, else ignoring case in the text code page, where a '?' that fits two
  // or more entries whose letters the code page cannot spell names none of them.
  bool MapVirtualFile(std::string& name, const std::string& extension);
  // The same, comparing with the part of each entry's name after its last backslash.
  bool MapVirtualFileByBaseName(std::string& name, const std::string& extension);
  // Marks the entry the name means as deleted: no name finds it from then on. False when the
  // name means no entry.
  bool DeleteEntry(const std::string& name);
  // The entries below the folder (a program's name as for MapVirtualFile; "" or "." the top,
  // without the program image) with their names below it, in pack order.
  std::vector<std::pair<std::string, const PackEntry*>> EntriesBelow(const std::string& folder) const;
  // Writes the first entry (the program image) to "_virtual.dat"; "" when there is none.
  std::string ExtractPackedProgram();

  const std::vector<PackEntry>& Entries() const { return entries_; }
  const uint8_t* EntryData(const PackEntry& e) const { return pack_.data() + e.offset; }
  // Deletes every temporary copy made and empties the reader.
  void Cleanup();

 private:
  std::string WriteCopy(const PackEntry& e, const std::string& extension);
  // The entry the name means (by the part of each name after its last backslash when
  // baseNames is set); nullptr when none.
  const PackEntry* Find(const std::string& name, bool baseNames) const;
  bool MapTo(const PackEntry* e, std::string& name, const std::string& extension);
  bool Parse(std::string* why);

  std::vector<uint8_t> pack_;
  std::vector<PackEntry> entries_;
  std::set<std::string> copies_;
  std::set<size_t> deleted_;  // offsets of the entries deleted
};

// True when the file ends in a pack with at least one entry; else why says what is wrong.
bool FileHasPack(const std::string& file, std::string* why = nullptr);
// True when the file ends in what its trailer and entry headers show to be a pack, its data
// unread: a quick look before the whole pack is read.
bool FileMayHavePack(const std::string& file);

// The pack reader of the running program (nullptr when there is none).
extern VirtualFiles* g_packReader;
// Maps a file name through the running program's pack (no change when not packed). A file of
// that name on disk comes first: the packed entry is the starting content of a name the
// program may write.
bool MapThroughPack(std::string& name, const std::string& extension);
// Makes on disk the folders at and on the way to the name (a program's) that only the running
// game's pack holds, so that a write there meets what it would meet were the folders on disk:
// below a packed folder it lands, onto one it is refused as onto a folder.
void MakePackedFoldersFor(const std::string& name);
// The extension a packed copy of name keeps: all of it after the name's last '.', or the last
// three characters of a name without one.
std::string PackedCopyExtension(const std::string& name);

// Builds the bytes of a pack for a runtime part of stubSize bytes.
struct PackInput {
  std::string name;
  std::vector<uint8_t> data;
};
std::vector<uint8_t> BuildPack(const std::vector<PackInput>& entries, uint32_t stubSize);
