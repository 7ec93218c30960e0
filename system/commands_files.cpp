// File and folder commands: the current folder, listings and searches, drives, making,
// copying, moving and deleting files and folders, single bytes, starting programs and the
// clipboard.
#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "core/checklist.h"
#include "core/error_codes.h"
#include "core/errors.h"
#include "core/handler.h"
#include "core/run_state.h"
#include "display/text_state.h"
#include "platform/clipboard.h"
#include "platform/fs.h"
#include "system/commands.h"
#include "system/files.h"
#include "system/streams.h"

namespace {

std::string ProgramFolder() { return FsToProgramPath(FsCurrentFolder()); }

// One line of a listing at the text cursor.
void PrintLine(const std::string& text) {
  QueueTextWithExtent(text.substr(0, 255).c_str(), &g_cursorX, &g_cursorY, false, false, true);
}

void CmdSetDir() {
  const std::string path = OpString(0);
  SkipOperands(1);
  if (FsChangeFolder(path)) return;
  RunFileError(kErrFolderNotEntered, path, FileErrorCause(errno));
}

void CmdDir() {
  PrintLine(ProgramFolder() + ":");
  std::vector<FsEntry> entries;
  if (!FsListFolder(".", entries)) RunWarning(kErrFolderNotListed);
  for (const FsEntry& e : entries) PrintLine(e.folder ? "<dir>" + e.name : e.name);
  AutoRefresh();
}

void CmdDriveList() {
  for (const std::string& d : DriveList()) PrintLine(d);
  AutoRefresh();
}

void CmdChecklistForFiles() {
  BeginChecklist(true, true);
  g_checklist.made = 1;
  FindCloseSearch();
  std::vector<FsEntry> entries;
  if (!FsListFolder(".", entries)) {
    RunWarning(kErrFolderNotListed);
    return;
  }
  for (const FsEntry& e : entries) {
    ChecklistRow* row = AddChecklistRow();
    if (!row) break;
    row->a = e.folder ? 1 : 0;
    SetChecklistText(*row, e.name.c_str());
  }
}

void CmdChecklistForDrives() {
  BeginChecklist(false, true);
  for (const std::string& d : DriveList())
    if (ChecklistRow* row = AddChecklistRow()) SetChecklistText(*row, d.c_str());
  g_checklist.made = 1;
}

void CmdFindFirst() {
  if (!FindFirstEntry()) RunWarning(kErrFolderNotListed);
}

void CmdFindNext() {
  if (!g_folderSearch.open) return;
  if (g_folderSearch.lastResult == 0) FindNextEntry();
  else RunWarning(kErrSearchEnded);
}

void CmdGetDir() {
  StoreText(OpCell(0), ProgramFolder().c_str());
  SkipOperands(1);
}

void CmdGetFileName() {
  const FsEntry* e = CurrentSearchEntry();
  StoreText(OpCell(0), e ? e->name.c_str() : "");
  SkipOperands(1);
}

void CmdGetFileType() {
  const FsEntry* e = CurrentSearchEntry();
  OpCell(0)->i = !e || g_folderSearch.lastResult == -1 ? -1 : e->folder ? 1 : 0;
  SkipOperands(1);
}

void CmdGetFileDate() {
  const FsEntry* e = CurrentSearchEntry();
  char text[64] = "";
  if (e) {
    const time_t t = time_t(e->writeTime);
    char buf[64];
    if (ctime_r(&t, buf)) std::snprintf(text, sizeof text, "%.24s", buf);
  }
  StoreText(OpCell(0), text);
  SkipOperands(1);
}

// The cause of a failed write to the name: "already exists" when something is there, else errno's.
std::string WriteCause(const std::string& name, int error) {
  if (name.empty()) return "no name given";
  if (FsWriteRefused(name)) return FileErrorCause(ELOOP);
  if (FsPathExists(name)) return "already exists";
  return error == ENOENT && !FsNameFitsMany() && !FsOthersLinkInTheWay() ? "its folder does not exist" : FileErrorCause(error);
}

// What stands at a name MAKE FILE or MAKE DIRECTORY found taken when it is not what the command
// makes (a file, or a folder, links followed): then nothing the program asked for is there.
// "" when it is.
std::string TakenBy(const std::string& name, bool folder) {
  if (folder ? FsFolderExists(name) : FsFileExists(name)) return "";
  if (!FsPathExists(name)) return "a link to a missing file is there";
  if (FsFolderExists(name)) return "a folder of that name is there";
  return FsFileExists(name) ? "a file of that name is there" : "not a regular file";
}

// A name that is taken by what the command makes is no write lost; anything else is.
void MakeRefused(uint32_t code, const std::string& name, int error, bool folder, const std::string& what) {
  const std::string why = WriteCause(name, error);
  const std::string taken = why == "already exists" ? TakenBy(name, folder) : why;
  if (taken.empty()) FileWarning(code, name, why);
  else WriteLostWarning(code, name, taken, what);
}

void CmdMakeFile() {
  const std::string name = OpString(0);
  SkipOperands(1);
  if (!MakeFile(name)) MakeRefused(kErrFileNotMade, name, errno, false, "");
}

void CmdDeleteFile() {
  const std::string name = OpString(0);
  SkipOperands(1);
  if (DeleteFileIfExists(name)) return;
  const int error = errno;
  // A name that is not there is no delete lost; one the disk keeps is.
  if (FsWriteRefused(name)) WriteLostWarning(kErrFileNotDeleted, name, FileErrorCause(ELOOP), "delete " + name);
  else if (!FileExists(name)) FileWarning(kErrFileNotDeleted, name, FileUnreadableCause(name));
  else WriteLostWarning(kErrFileNotDeleted, name, FileErrorCause(error), "delete " + name);
}

void CmdCopyFile() {
  const std::string source = OpString(0), target = OpString(1);
  SkipOperands(2);
  const int32_t e = CopyFileCommand(source, target);
  const int error = errno;
  const std::string copy = "copy " + source + " to " + target;
  if (e == kErrFileNotFound) {
    WriteLostWarning(uint32_t(e), source, FileUnreadableCause(source), copy);
  } else if (e == kErrFileExists) {
    WriteLostWarning(uint32_t(e), target, "already exists");
  } else if (e) {
    // The source is read as the program sees it: a failure to read it names it.
    const std::string why = FileUnreadableCause(ReadablePath(source));
    if (!why.empty()) WriteLostWarning(uint32_t(e), source, why, copy);
    else WriteLostWarning(uint32_t(e), target, WriteCause(target, error));
  }
}

template <int32_t Error>
void CmdRenameFile() {
  const std::string source = OpString(0), target = OpString(1);
  SkipOperands(2);
  // A name only the pack holds is the program's to write: the target is checked on disk.
  if (FileOnDisk(target)) {
    WriteLostWarning(kErrFileExists, target, "already exists");
  } else if (!RenameFile(source, target)) {
    const int error = errno;
    std::string why = FsWriteRefused(source) ? FileErrorCause(ELOOP) : FileUnreadableCause(source);
    if (why == "not found" && PathExistsWithPack(source)) why = "it is packed in the game and cannot be moved";
    if (!why.empty() && why != "is a folder") WriteLostWarning(Error, source, why, "rename " + source + " to " + target);
    else WriteLostWarning(Error, target, WriteCause(target, error));
  }
}

void CmdWriteByteToFile() {
  const std::string name = OpString(0);
  const int32_t offset = OpInt(1), value = OpInt(2);
  SkipOperands(3);
  if (!FileExists(name)) FileWarning(kErrFileNotFound, name, FileUnreadableCause(name));
  else if (!WriteByteToFile(name, offset, uint8_t(value)))
    WriteLostWarning(kErrStreamWriteFailed, name, FsProgramWriteCause(name, errno));
}

void CmdReadByteFromFile() {
  VarCell* result = OpCell(0);
  const std::string name = OpString(1);
  const int32_t offset = OpInt(2);
  SkipOperands(3);
  uint8_t value = 0;
  if (!FileExists(name)) FileWarning(kErrFileNotFound, name, FileUnreadableCause(name));
  else if (FsPeekByte(ReadablePath(name), offset, &value)) result->i = int8_t(value);
}

void CmdMakeDirectory() {
  const std::string name = OpString(0);
  SkipOperands(1);
  if (!MakeDirectory(name)) MakeRefused(kErrFolderNotMade, name, errno, true, "make the folder " + name);
}

template <int Operands>
void CmdDeleteDirectory() {
  const std::string name = OpString(0);
  SkipOperands(Operands);
  if (!name.empty() && FsIsProtectedFolder(name))
    return FileWarning(kErrFolderNotDeleted, name, "the root folder, the home folder and the folders that hold it are never deleted");
  if (DeleteDirectoryCommand(name)) return;
  const int error = errno;
  // A name that is not there is no delete lost; a folder that stays (behind another user's link,
  // or in a folder that is not writable) is.
  if (!FsWriteRefused(name) && !PathExists(name)) return FileWarning(kErrFolderNotDeleted, name, "not found");
  WriteLostWarning(kErrFolderNotDeleted, name, FsOthersLinkInTheWay() ? FileErrorCause(ELOOP) : FileErrorCause(error),
                   "delete the folder " + name);
}

template <bool Wait>
void CmdExecuteFile() {
  const std::string file = OpString(0), parameters = OpString(1), folder = OpString(2);
  SkipOperands(Wait ? 4 : 3);
  const std::string why = ExecuteFile(file, parameters, folder, Wait);
  if (!why.empty()) FileWarning(kErrProgramNotStarted, why);
}

void CmdWriteToClipboard() {
  ClipboardSetText(OpString(0));
  SkipOperands(1);
}

void CmdGetClipboard() {
  const std::string text = ClipboardGetText();
  SetCellString(OpCell(0), text.c_str(), text.size());
  SkipOperands(1);
}

template <auto Query>
void CmdNameQuery() {
  OpCell(0)->i = Query(OpString(1));
  SkipOperands(2);
}

template <auto Query>
void CmdStreamQuery() {
  const int32_t n = OpInt(1);
  if (CheckStreamNumber(n)) RunWarning(kErrStreamNumberOutOfRange);
  else OpCell(0)->i = Query(n) ? 1 : 0;
  SkipOperands(2);
}

const CommandDef kFileCommands[] = {
    {8001, CmdSetDir, "s"},
    {8002, CmdDir, ""},
    {8003, CmdDriveList, ""},
    {8004, CmdChecklistForFiles, ""},
    {8005, CmdChecklistForDrives, ""},
    {8006, CmdFindFirst, ""},
    {8007, CmdFindNext, ""},
    {8008, CmdSetDir, "s"},
    {8021, CmdMakeFile, "s"},
    {8022, CmdDeleteFile, "s"},
    {8023, CmdCopyFile, "ss"},
    {8024, CmdRenameFile<kErrFileNotRenamed>, "ss"},
    {8025, CmdRenameFile<kErrFileNotMoved>, "ss"},
    {8026, CmdWriteByteToFile, "sll"},
    {8031, CmdMakeDirectory, "s"},
    {8032, CmdDeleteDirectory<1>, "s"},
    {8033, CmdExecuteFile<false>, "sss"},
    {8034, CmdExecuteFile<true>, "sssl"},
    {8035, CmdDeleteDirectory<2>, "sl"},
    {8071, CmdWriteToClipboard, "s"},
    {8072, CmdGetClipboard, "s"},
    {8101, CmdGetDir, "s"},
    {8102, CmdGetFileName, "s"},
    {8103, CmdGetFileType, "l"},
    {8104, CmdGetFileDate, "s"},
    {8121, CmdNameQuery<[](const std::string& s) { return FileExists(s) ? 1 : 0; }>, "ls"},
    {8122, CmdNameQuery<[](const std::string& s) { return FileSize(s); }>, "ls"},
    {8123, CmdNameQuery<[](const std::string& s) { return PathExistsWithPack(s) ? 1 : 0; }>, "ls"},
    {8124, CmdStreamQuery<StreamIsOpen>, "ll"},
    {8125, CmdStreamQuery<StreamAtEnd>, "ll"},
    {8126, CmdReadByteFromFile, "lsl"},
};

}  // namespace

std::span<const CommandDef> FileCommands() { return kFileCommands; }
