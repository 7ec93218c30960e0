#include "system/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/error_codes.h"
#include "core/pack.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/fs_walk.h"
#include "platform/message_name.h"
#include "system/files.h"

StreamTable g_fileStreams;

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr uint32_t kMaxEntryName = 4096;

// Returns the code, noting the file and the cause for the failure's message.
int32_t Refuse(int32_t code, const std::string& name, const std::string& cause) {
  g_fileStreams.failure = name + ": " + cause;
  return code;
}

int32_t ReadRefused(const StreamSlot& s) {
  return Refuse(kErrStreamReadFailed, s.name, s.file.Writing() ? "open for writing" : FileErrorCause(s.file.Error()));
}

int32_t WriteRefused(const StreamSlot& s) {
  return Refuse(kErrStreamWriteFailed, s.name, s.file.Writing() ? FileErrorCause(s.file.Error()) : "open for reading");
}

bool ReadAllFd(int fd, uint8_t* dst, size_t n, size_t* got) {
  *got = 0;
  while (*got < n) {
    ssize_t r = read(fd, dst + *got, n - *got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (r == 0) break;
    *got += size_t(r);
  }
  return true;
}

// Writes size bytes of an open file descriptor as a block body; a file that shrank meanwhile
// is padded with zeros so the block keeps the size its prefix gives.
int32_t CopyFdToStream(StreamSlot& s, int fd, uint64_t size) {
  std::vector<uint8_t> buf(std::min<uint64_t>(size, kChunk));
  bool ended = false;
  while (size > 0) {
    const size_t want = size_t(std::min<uint64_t>(size, kChunk));
    size_t got = 0;
    if (!ended && (!ReadAllFd(fd, buf.data(), want, &got) || got < want)) ended = true;
    std::fill(buf.begin() + got, buf.begin() + want, 0);
    if (!s.file.Write(buf.data(), want)) return WriteRefused(s);
    size -= want;
  }
  return 0;
}

// Copies size bytes of the stream to fd (-1: read past them). Sets the end-of-file flag when
// the stream ends first. When the disk refuses a write, refused is set and the rest of the
// block is read past, so the stream stays in step (refused gets the errno value).
int32_t CopyStreamToFd(StreamSlot& s, uint64_t size, int fd, int* refused = nullptr) {
  if (s.file.Writing()) return ReadRefused(s);
  std::vector<uint8_t> buf(std::min<uint64_t>(size, kChunk));
  while (size > 0) {
    const size_t want = size_t(std::min<uint64_t>(size, kChunk));
    const size_t got = s.file.Read(buf.data(), want);
    if (s.file.Failed()) return ReadRefused(s);
    for (size_t done = 0; fd >= 0 && done < got;) {
      ssize_t w = write(fd, buf.data() + done, got - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        if (refused) *refused = w < 0 ? errno : ENOSPC;
        fd = -1;
        break;
      }
      done += size_t(w);
    }
    if (got < want) {
      s.endOfFile = 1;
      break;
    }
    size -= want;
  }
  return 0;
}

// Reads a 32-bit value; false at the end of the stream (flag set) or on failure.
bool ReadU32(StreamSlot& s, uint32_t* v, int32_t* error) {
  uint8_t b[4] = {};
  *error = StreamRead(s, b, 4);
  *v = LoadU32(b);
  return *error == 0 && !s.endOfFile;
}

// A folder-block name that stays inside the folder it is unpacked under, as a relative path
// joined by '/'; "" when it would leave it.
std::string SafeEntryPath(const std::string& name) {
  if (name.empty() || name[0] == '\\' || name[0] == '/' || name.find(':') != std::string::npos) return "";
  std::string out;
  size_t pos = 0;
  while (pos <= name.size()) {
    size_t end = name.find_first_of("\\/", pos);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(pos, end - pos);
    pos = end + 1;
    if (part == "..") return "";
    if (part.empty() || part == ".") continue;
    if (!out.empty()) out += '/';
    out += part;
  }
  return out;
}

// A new file that could not be made because something of that name is already there (left as
// it is, and not reported) rather than because the disk refused it.
bool AlreadyThere(int error) { return error == EEXIST || error == ELOOP || error == ENOTDIR; }

// Reads a block body of size bytes into the new file fd of that name (-1 when it was not made,
// errno telling why) and closes it. A file the disk refused is removed by remove (no partial
// file stays): 8202 when it could not be made, 8212 when a write failed; a read failure of the
// stream comes first.
template <typename Remove>
int32_t ExtractInto(StreamSlot& s, uint64_t size, int fd, const std::string& name, Remove remove) {
  // A name already there is left as it is; a folder behind another user's link is refused.
  const int notMade = fd < 0 && (!AlreadyThere(errno) || FsOthersLinkInTheWay()) ? errno : 0;
  int refused = 0;
  int32_t error = CopyStreamToFd(s, size, fd, &refused);
  if (fd >= 0 && close(fd) != 0 && !refused) refused = errno;
  if (fd >= 0 && (refused || error)) remove();
  if (error) return error;
  // Each file of a block a built game loses is said, not only the first the warning names.
  if (refused) SayLost("write " + name, FileErrorCause(refused));
  else if (notMade) SayLost("write " + name, FileErrorCause(notMade));
  if (refused) return Refuse(kErrStreamWriteFailed, name, FileErrorCause(refused));
  return notMade ? Refuse(kErrStreamNotCreated, name, FileErrorCause(notMade)) : 0;
}

int CreateNewFile(const std::string& name) {
  if (name.empty()) {
    errno = EINVAL;
    return -1;
  }
  return FsOpenForWrite(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

int32_t WriteU32(StreamSlot& s, uint32_t v) {
  uint8_t b[4];
  StoreU32(b, v);
  return StreamWrite(s, b, 4);
}

}  // namespace

bool CloseStreamsLeftOpen() {
  bool lost = false;
  for (StreamSlot& s : g_fileStreams.slots) {
    if (s.file.Writing() && !s.file.Close()) {
      std::fprintf(stderr, "%s: %s: the file left open could not be written whole: %s\n", MessageName(),
                   CodePageToUtf8(TextCodePage(), s.name).c_str(), FileErrorCause(s.file.Error()).c_str());
      lost = true;
    }
  }
  return lost;
}

void ResetStreams() {
  const bool lost = CloseStreamsLeftOpen();
  for (StreamSlot& s : g_fileStreams.slots) {
    s.file.Close();
    s.endOfFile = 0;
    s.name.clear();
  }
  g_fileStreams.failure.clear();
  g_fileStreams.failureOnDisk.clear();
  g_fileStreams.lostAtClose = lost;
}

int32_t CheckStreamNumber(int32_t n) { return n >= 1 && n <= kStreamCount ? 0 : kErrStreamNumberOutOfRange; }

StreamSlot* OpenStream(int32_t n, int32_t* error) {
  *error = CheckStreamNumber(n);
  if (*error) return nullptr;
  StreamSlot& s = g_fileStreams.slots[n];
  if (!s.file.IsOpen()) {
    *error = kErrStreamNotOpen;
    return nullptr;
  }
  return &s;
}

bool StreamIsOpen(int32_t n) { return CheckStreamNumber(n) == 0 && g_fileStreams.slots[n].file.IsOpen(); }

bool StreamAtEnd(int32_t n) { return CheckStreamNumber(n) == 0 && g_fileStreams.slots[n].endOfFile; }

int32_t StreamOpenRead(int32_t n, const std::string& name) {
  if (int32_t e = CheckStreamNumber(n)) return e;
  StreamSlot& s = g_fileStreams.slots[n];
  if (s.file.IsOpen()) return kErrStreamAlreadyOpen;
  // A built game's packed file is read from its copy, as the loaders read theirs.
  const std::string path = ReadablePath(name);
  if (name.empty() || FsFileSize(path) < 0) return Refuse(kErrFileNotFound, name, FileUnreadableCause(name));
  s.endOfFile = 0;
  s.name = name;
  if (s.file.OpenRead(path)) return 0;
  const std::string why = FileUnreadableCause(name);
  return Refuse(kErrStreamNotOpened, name, why.empty() ? "cannot be opened" : why);
}

int32_t StreamOpenWrite(int32_t n, const std::string& name) {
  if (int32_t e = CheckStreamNumber(n)) return e;
  StreamSlot& s = g_fileStreams.slots[n];
  if (s.file.IsOpen()) return kErrStreamAlreadyOpen;
  // A name only the pack holds is the program's to write: the new file is made on disk.
  if (FileOnDisk(name)) return Refuse(kErrFileExists, name, "already exists");
  s.endOfFile = 0;
  s.name = name;
  if (name.empty()) return Refuse(kErrStreamNotCreated, name, "no name given");
  MakePackedFoldersFor(name);
  if (s.file.CreateNew(name)) return 0;
  const int error = errno;
  return Refuse(kErrStreamNotCreated, name,
                error == ENOENT && !FsNameFitsMany() && !FsOthersLinkInTheWay() ? "its folder does not exist" : FileErrorCause(error));
}

int32_t StreamClose(int32_t n) {
  int32_t e = 0;
  StreamSlot* s = OpenStream(n, &e);
  if (!s) return e;
  const bool writing = s->file.Writing();
  const bool ok = s->file.Close();
  s->endOfFile = 0;
  // A write that failed when the buffer went to disk is reported, not lost silently.
  return ok || !writing ? 0 : Refuse(kErrStreamWriteFailed, s->name, FileErrorCause(s->file.Error()));
}

int32_t StreamRead(StreamSlot& s, void* dst, size_t size) {
  if (s.file.Writing()) {
    std::memset(dst, 0, size);
    return ReadRefused(s);
  }
  const size_t got = s.file.Read(dst, size);
  if (got < size) {
    std::memset(static_cast<uint8_t*>(dst) + got, 0, size - got);
    if (s.file.Failed()) return ReadRefused(s);
    s.endOfFile = 1;
  }
  return 0;
}

int32_t StreamReadLine(StreamSlot& s, std::string& text) {
  text.clear();
  if (s.file.Writing()) return ReadRefused(s);
  for (;;) {
    const int c = s.file.ReadByte();
    if (c < 0) {
      if (s.file.Failed()) return ReadRefused(s);
      s.endOfFile = 1;
      return 0;
    }
    if (c >= 32) {
      if (text.size() < 255) text += char(c);
      continue;
    }
    // A CR takes the LF after it; a lone CR keeps the next line whole.
    if (c == 13) {
      const int next = s.file.PeekByte();
      if (next == 10) s.file.ReadByte();
      else if (next < 0 && !s.file.Failed()) s.endOfFile = 1;
    }
    return s.file.Failed() ? ReadRefused(s) : 0;
  }
}

int32_t StreamSkip(StreamSlot& s, uint32_t count) { return CopyStreamToFd(s, count, -1); }

int32_t StreamWrite(StreamSlot& s, const void* src, size_t size) {
  return s.file.Writing() && s.file.Write(src, size) ? 0 : WriteRefused(s);
}

int32_t StreamAppendFile(StreamSlot& s, const std::string& name, bool raw) {
  if (name.empty()) return 0;
  int fd = open(FsResolve(ReadablePath(name)).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st;
  int32_t result = 0;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) <= 0xFFFFFFFFu) {
    if (!raw) result = WriteU32(s, uint32_t(st.st_size));
    if (result == 0) result = CopyFdToStream(s, fd, uint64_t(st.st_size));
  }
  close(fd);
  return result;
}

int32_t StreamExtractBlock(StreamSlot& s, const std::string& name) {
  uint32_t size = 0;
  int32_t error = 0;
  if (!ReadU32(s, &size, &error)) return error;
  MakePackedFoldersFor(name);
  int fd = CreateNewFile(name);
  // The file's folders are made when missing.
  if (fd < 0 && errno == ENOENT && !name.empty() && FsMakeFolders(FsFolderOf(name))) fd = CreateNewFile(name);
  return ExtractInto(s, size, fd, name, [&] { FsDeleteFile(name); });
}

int32_t StreamPackFolder(StreamSlot& s, const std::string& name) {
  const std::string folder = name.empty() ? "." : name;
  // A built game's packed files of the folder count too, as the program finds them: a file on
  // disk of the same name comes first.
  std::vector<std::pair<std::string, const PackEntry*>> packed;
  if (g_packReader) packed = g_packReader->EntriesBelow(name);
  std::erase_if(packed, [&](const auto& p) {
    std::string below = FsToProgramName(p.first);
    std::replace(below.begin(), below.end(), '\\', '/');
    return FsPathExists(name.empty() ? below : folder + "/" + below);
  });
  std::vector<std::string> files;
  if (!FsListTreeFiles(folder, files) && packed.empty()) return Refuse(kErrFileNotFound, folder, FileErrorCause(errno));
  // Files of 4 GB or more cannot be held by a block and are left out. So are files whose names
  // the text code page cannot spell: they would come back under another name ('?' for a
  // letter), two of them as one; the block is written without them, and they are reported.
  const std::string top = FsResolve(folder);
  std::string unspelled, onDisk;  // as the program spells them, and as they are on disk
  auto leaveOut = [&](std::string host) {
    std::string shown = FsToProgramName(host);
    std::replace(shown.begin(), shown.end(), '/', '\\');
    std::replace(host.begin(), host.end(), '/', '\\');
    unspelled += (unspelled.empty() ? "" : ", ") + shown;
    onDisk += (onDisk.empty() ? "" : ", ") + host;
  };
  std::erase_if(files, [&](const std::string& f) {
    if (!FsProgramCanSpell(f)) {
      leaveOut(f);
      return true;
    }
    struct stat st;
    return lstat((top + "/" + f).c_str(), &st) != 0 || uint64_t(st.st_size) > 0xFFFFFFFFu;
  });
  std::erase_if(packed, [&](const auto& p) {
    if (FsProgramCanSpell(p.first)) return false;
    leaveOut(p.first);
    return true;
  });
  if (int32_t e = WriteU32(s, uint32_t(files.size() + packed.size()))) return e;
  for (const std::string& name : files) {
    // Stored as program text; the file is opened by its name on disk.
    std::string stored = FsToProgramName(name);
    std::replace(stored.begin(), stored.end(), '/', '\\');
    if (int32_t e = WriteU32(s, uint32_t(stored.size() + 1))) return e;
    if (int32_t e = StreamWrite(s, stored.c_str(), stored.size() + 1)) return e;
    // A file that went away since the listing is stored empty, so the count stays right.
    int fd = FsOpenBelow(folder, name, false);
    struct stat st;
    uint64_t size = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0;
    if (size > 0xFFFFFFFFu) size = 0;
    int32_t e = WriteU32(s, uint32_t(size));
    if (e == 0) e = CopyFdToStream(s, fd, size);
    if (fd >= 0) close(fd);
    if (e) return e;
  }
  for (const auto& [below, entry] : packed) {
    const std::string stored = FsToProgramName(below);
    int32_t e = WriteU32(s, uint32_t(stored.size() + 1));
    if (e == 0) e = StreamWrite(s, stored.c_str(), stored.size() + 1);
    if (e == 0) e = WriteU32(s, entry->size);
    if (e == 0) e = StreamWrite(s, g_packReader->EntryData(*entry), entry->size);
    if (e) return e;
  }
  if (unspelled.empty()) return 0;
  const std::string why = "left out: the text code page cannot spell the name";
  g_fileStreams.failureOnDisk = onDisk + ": " + why;
  return Refuse(kErrStreamWriteFailed, unspelled, why);
}

int32_t StreamUnpackFolder(StreamSlot& s, const std::string& name) {
  const std::string folder = name.empty() ? "." : name;
  // A file that is not written is named as the program would spell it: with its folder.
  std::string shownFolder = name == "." ? "" : name;
  if (!shownFolder.empty() && shownFolder.back() != '/' && shownFolder.back() != '\\') shownFolder += '/';
  const bool folderMade = FsMakeFolders(folder);
  // The first failure is the one reported; the entries after it are still read.
  int32_t report = folderMade ? 0 : Refuse(kErrStreamNotCreated, folder, FileErrorCause(errno));
  std::string firstFailure = g_fileStreams.failure;
  auto result = [&] {
    if (report) g_fileStreams.failure = firstFailure;
    return report;
  };
  uint32_t count = 0;
  int32_t error = 0;
  if (!ReadU32(s, &count, &error)) return error ? error : result();
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t length = 0;
    if (!ReadU32(s, &length, &error)) return error ? error : result();
    if (length == 0) continue;
    std::string relative, entry;
    if (length <= kMaxEntryName) {
      entry.assign(length, '\0');
      if (int32_t e = StreamRead(s, entry.data(), length)) return e;
      if (s.endOfFile) return result();
      entry.resize(std::strlen(entry.c_str()));
      // The name is the program's text: the file gets the disk's spelling of it.
      relative = FsToHostName(SafeEntryPath(entry));
    } else if (int32_t e = StreamSkip(s, length)) {
      return e;
    }
    if (relative.empty() && !report) {
      report = Refuse(kErrStreamReadFailed, entry.empty() ? "entry " + std::to_string(i + 1) : entry,
                      "not a name inside the folder");
      firstFailure = g_fileStreams.failure;
    }
    uint32_t size = 0;
    if (!ReadU32(s, &size, &error)) return error ? error : result();
    if (!folderMade || relative.empty()) {
      if (int32_t e = CopyStreamToFd(s, size, -1)) return e;
    } else {
      const int fd = FsOpenBelow(folder, relative, true);
      error = ExtractInto(s, size, fd, shownFolder + entry, [&] { FsRemoveBelow(folder, relative); });
      if (error == kErrStreamReadFailed) return error;
      if (error && !report) {
        report = error;
        firstFailure = g_fileStreams.failure;
      }
    }
    if (s.endOfFile) break;
  }
  return result();
}
