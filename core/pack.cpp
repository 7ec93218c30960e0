#include "core/pack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/fs_name_index.h"

VirtualFiles* g_packReader = nullptr;

namespace {

uint32_t ReadU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// What is wrong with an entry header whose name length sits at pos - 4 (pack offsets, end the
// trailer's start); null when the name and the data size word fit.
const char* EntryHeaderFault(uint64_t pos, uint64_t end, uint32_t nameLen) {
  if (nameLen == 0) return pos == end ? nullptr : "its entry list ends before the pack does";
  if (nameLen > 256) return "an entry's name is longer than 256 bytes";
  if (end - pos < uint64_t(nameLen) + 4) return "an entry's name runs past the end of the pack";
  return nullptr;
}

constexpr const char* kDataPastEnd = "an entry's data runs past the end of the pack";
constexpr const char* kListPastEnd = "its entry list does not end where the pack does";

bool Fault(std::string* why, const std::string& cause) {
  if (why) *why = cause;
  return false;
}

bool ValidExtension(const std::string& ext) {
  if (ext.empty() || ext.size() > 16) return false;
  for (char c : ext)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

// Walks the entry headers of the pack that starts at stub, reading only the headers, so a
// file without a pack is turned down without reading it whole. True when the walk ends
// exactly at the trailer; else why says what is wrong.
bool PackHeadersConsistent(int fd, uint64_t stub, uint64_t fileSize, std::string* why) {
  const uint64_t end = fileSize - 4;
  uint64_t pos = stub;
  const auto unread = [&] { return Fault(why, std::string("cannot be read: ") + std::strerror(errno ? errno : EIO)); };
  while (pos < end) {
    if (end - pos < 4) return Fault(why, kListPastEnd);
    uint8_t word[4];
    if (pread(fd, word, 4, off_t(pos)) != 4) return unread();
    uint32_t nameLen = ReadU32(word);
    pos += 4;
    if (const char* fault = EntryHeaderFault(pos, end, nameLen)) return Fault(why, fault);
    if (nameLen == 0) return true;
    pos += nameLen;
    if (pread(fd, word, 4, off_t(pos)) != 4) return unread();
    pos += 4;
    uint32_t dataSize = ReadU32(word);
    if (end - pos < dataSize) return Fault(why, kDataPastEnd);
    pos += dataSize;
  }
  return pos == end || Fault(why, kListPastEnd);
}

// Finds the pack's start (stub) in the open file, where its trailer and entry headers are
// consistent (the data itself unread); false, with why, where the file holds no pack.
bool FindPack(int fd, uint64_t& stub, uint64_t& fileSize, std::string* why) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return Fault(why, "not a regular file");
  if (st.st_size < 8 || st.st_size > 0xFFFFFFFFLL) return Fault(why, "its size cannot hold a pack");
  fileSize = uint64_t(st.st_size);
  uint8_t trailer[4];
  errno = 0;
  if (pread(fd, trailer, 4, off_t(fileSize - 4)) != 4)
    return Fault(why, std::string("cannot be read: ") + std::strerror(errno ? errno : EIO));
  stub = ReadU32(trailer);
  // A game's pack follows its runtime part: it neither starts the file nor runs past it.
  if (stub == 0 || stub + 8 > fileSize) return Fault(why, "its last word does not place the pack inside the file");
  return PackHeadersConsistent(fd, stub, fileSize, why);
}

// Reads the trailer and the pack of an open file into out; false when inconsistent.
bool ReadPackBytes(int fd, std::vector<uint8_t>& out, std::string* why) {
  uint64_t stub = 0, fileSize = 0;
  if (!FindPack(fd, stub, fileSize, why)) return false;
  out.resize(size_t(fileSize - stub));
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = pread(fd, out.data() + done, out.size() - done, off_t(stub + done));
    if (n <= 0) return Fault(why, std::string("cannot be read: ") + std::strerror(n < 0 ? errno : EIO));
    done += size_t(n);
  }
  return true;
}

}  // namespace

bool VirtualFiles::Parse(std::string* why) {
  entries_.clear();
  size_t size = pack_.size();
  if (size < 8) return Fault(why, "its size cannot hold a pack");
  size_t end = size - 4;  // the trailing stub size
  size_t pos = 0;
  while (pos < end) {
    if (end - pos < 4) return Fault(why, kListPastEnd);
    uint32_t nameLen = ReadU32(pack_.data() + pos);
    pos += 4;
    // The zero word must sit right before the trailer.
    if (const char* fault = EntryHeaderFault(pos, end, nameLen)) return Fault(why, fault);
    if (nameLen == 0) return true;
    const uint8_t* name = pack_.data() + pos;
    if (name[nameLen - 1] != 0) return Fault(why, "an entry's name has no end");
    PackEntry e;
    e.name = Lower(std::string(reinterpret_cast<const char*>(name)));
    if (e.name.size() != nameLen - 1) return Fault(why, "an entry's name holds a zero byte");
    pos += nameLen;
    uint32_t dataSize = ReadU32(pack_.data() + pos);
    pos += 4;
    if (end - pos < dataSize) return Fault(why, kDataPastEnd);
    e.offset = pos;
    e.size = dataSize;
    pos += dataSize;
    entries_.push_back(std::move(e));
  }
  return pos == end || Fault(why, kListPastEnd);  // the list ended at the trailer, without a zero word
}

bool VirtualFiles::LoadPack(const std::string& file, std::string* why) {
  Cleanup();
  int fd = open(FsResolve(file).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fault(why, std::string("cannot be opened: ") + std::strerror(errno));
  bool ok = false;
  try {
    ok = ReadPackBytes(fd, pack_, why) && Parse(why);
  } catch (const std::bad_alloc&) {  // a pack larger than the memory left: unreadable
    Fault(why, "not enough memory to read its pack");
  }
  close(fd);
  if (!ok) Cleanup();
  return ok;
}

bool VirtualFiles::LoadPackFromBytes(const uint8_t* bytes, size_t size, std::string* why) {
  Cleanup();
  if (size < 8) return Fault(why, "its size cannot hold a pack");
  uint64_t stub = ReadU32(bytes + size - 4);
  if (stub + 8 > size) return Fault(why, "its last word does not place the pack inside the file");
  pack_.assign(bytes + stub, bytes + size);
  if (!Parse(why)) {
    Cleanup();
    return false;
  }
  return true;
}

std::string VirtualFiles::WriteCopy(const PackEntry& e, const std::string& extension) {
  if (!ValidExtension(extension)) return "";
  std::string path = FsCreateTempFile("_virtual." + extension, EntryData(e), e.size);
  if (!path.empty()) copies_.insert(path);
  return path;
}

const PackEntry* VirtualFiles::Find(const std::string& name, bool baseNames) const {
  std::string key = name;
  std::replace(key.begin(), key.end(), '/', '\\');
  // Entries are held as the disk spelled them (UTF-8), cut to lower case in ASCII.
  const std::string spelled = Lower(FsToHostName(key)), folded = CodePageLower(TextCodePage(), key);
  const PackEntry* first = nullptr;
  int fits = 0;
  bool unspelled = false;
  for (const PackEntry& e : entries_) {
    if (deleted_.count(e.offset)) continue;
    const size_t slash = baseNames ? e.name.find_last_of('\\') : std::string::npos;
    const std::string entry = slash == std::string::npos || slash == 0 ? e.name : e.name.substr(slash + 1);
    if (entry == spelled) return &e;
    if (FsFoldedHostName(entry) != folded) continue;
    if (!first) first = &e;
    ++fits;
    unspelled = unspelled || !FsProgramCanSpell(entry);
  }
  return fits > 1 && unspelled ? nullptr : first;
}

bool VirtualFiles::MapTo(const PackEntry* e, std::string& name, const std::string& extension) {
  const std::string path = e ? WriteCopy(*e, extension) : "";
  if (path.empty()) return false;
  name = path;
  return true;
}

bool VirtualFiles::MapVirtualFile(std::string& name, const std::string& extension) {
  return MapTo(Find(name, false), name, extension);
}

bool VirtualFiles::MapVirtualFileByBaseName(std::string& name, const std::string& extension) {
  return MapTo(Find(name, true), name, extension);
}

bool VirtualFiles::DeleteEntry(const std::string& name) {
  const PackEntry* e = Find(name, false);
  if (e) deleted_.insert(e->offset);
  return e;
}

std::vector<std::pair<std::string, const PackEntry*>> VirtualFiles::EntriesBelow(const std::string& folder) const {
  std::string key = folder;
  std::replace(key.begin(), key.end(), '/', '\\');
  while (!key.empty() && key.back() == '\\') key.pop_back();
  if (key == ".") key.clear();
  // The folder is matched as Find matches a name, against as many leading folders of each entry.
  const std::string spelled = Lower(FsToHostName(key)), folded = CodePageLower(TextCodePage(), key);
  const size_t depth = key.empty() ? 0 : size_t(std::count(key.begin(), key.end(), '\\')) + 1;
  std::vector<std::pair<std::string, const PackEntry*>> below;
  for (size_t k = key.empty() ? 1 : 0; k < entries_.size(); ++k) {
    const PackEntry& e = entries_[k];
    if (deleted_.count(e.offset)) continue;
    if (!depth) {
      below.emplace_back(e.name, &e);
      continue;
    }
    size_t cut = std::string::npos;
    for (size_t n = 0, from = 0; n < depth; ++n, from = cut + 1)
      if ((cut = e.name.find('\\', from)) == std::string::npos) break;
    if (cut == std::string::npos) continue;
    const std::string head = e.name.substr(0, cut);
    if (head == spelled || FsFoldedHostName(head) == folded) below.emplace_back(e.name.substr(cut + 1), &e);
  }
  return below;
}

std::string VirtualFiles::ExtractPackedProgram() {
  if (entries_.empty()) return "";
  return WriteCopy(entries_.front(), "dat");
}

void VirtualFiles::Cleanup() {
  for (const std::string& p : copies_) unlink(p.c_str());
  copies_.clear();
  deleted_.clear();
  std::vector<uint8_t>().swap(pack_);
  entries_.clear();
}

bool FileMayHavePack(const std::string& file) {
  const int fd = open(FsResolve(file).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  uint64_t stub = 0, fileSize = 0;
  const bool found = FindPack(fd, stub, fileSize, nullptr);
  close(fd);
  return found;
}

bool FileHasPack(const std::string& file, std::string* why) {
  VirtualFiles reader;
  if (!reader.LoadPack(file, why)) return false;
  return !reader.Entries().empty() || Fault(why, "its pack holds no entries");
}

bool MapThroughPack(std::string& name, const std::string& extension) {
  return g_packReader && !FsPathExists(name) && g_packReader->MapVirtualFile(name, extension);
}

void MakePackedFoldersFor(const std::string& name) {
  if (!g_packReader) return;
  const int error = errno;
  // The name itself where it is a packed folder (a write there then meets a folder, as on disk),
  // else the folder it is in. Where it cannot be made, the write says why.
  for (const std::string& folder : {name, FsFolderOf(name)}) {
    if (folder.empty() || FsPathExists(folder) || g_packReader->EntriesBelow(folder).empty()) continue;
    FsMakeFolders(folder);
    break;
  }
  errno = error;
}

std::string PackedCopyExtension(const std::string& name) {
  const size_t dot = name.find_last_of('.'), slash = name.find_last_of("/\\");
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return name.substr(dot + 1);
  return name.size() >= 3 ? name.substr(name.size() - 3) : name;
}

std::vector<uint8_t> BuildPack(const std::vector<PackInput>& entries, uint32_t stubSize) {
  std::vector<uint8_t> out;
  for (const PackInput& e : entries) {
    PutU32(out, uint32_t(e.name.size() + 1));
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.push_back(0);
    PutU32(out, uint32_t(e.data.size()));
    out.insert(out.end(), e.data.begin(), e.data.end());
  }
  PutU32(out, 0);
  PutU32(out, stubSize);
  return out;
}
