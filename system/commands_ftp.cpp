// FTP commands and queries. Every failure is a warning; the program reads the details with
// the failure flag and the server's response.
#include <algorithm>
#include <climits>
#include <string>
#include <utility>

#include "core/error_codes.h"
#include "core/errors.h"
#include "core/handler.h"
#include "system/commands.h"
#include "system/ftp_session.h"

namespace {

void CmdFtpConnect() {
  const bool ok = FtpConnect(OpString(0), OpString(1), OpString(2));
  SkipOperands(3);
  if (!ok) RunFileWarning(kErrFtpNotConnected, g_ftp.failedFile, g_ftp.cause);
}

void CmdFtpSetDir() {
  const bool ok = FtpSetDirectory(OpString(0));
  SkipOperands(1);
  if (!ok) RunFileWarning(kErrFtpFolderNotSet, g_ftp.failedFile, g_ftp.cause);
}

void CmdFtpFindFirst() { FtpFindFirst(); }
void CmdFtpFindNext() { FtpFindNext(); }

void CmdFtpPutFile() {
  const bool ok = FtpPutFile(OpString(0));
  SkipOperands(1);
  if (!ok) RunFileWarning(kErrFtpNotPut, g_ftp.failedFile, g_ftp.cause);
}

void CmdFtpDeleteFile() {
  const bool ok = FtpDeleteFile(OpString(0));
  SkipOperands(1);
  if (!ok) RunFileWarning(kErrFtpNotDeleted, g_ftp.failedFile, g_ftp.cause);
}

// A failed get's warning names the file that failed, local or remote, and the cause.
void CmdFtpGetFile() {
  const bool ok = FtpGetFile(OpString(0), OpString(1), 0, false);
  SkipOperands(2);
  if (!ok) RunFileWarning(kErrFtpNotGot, g_ftp.failedFile, g_ftp.cause);
}

void CmdFtpGetFileInSteps() {
  const bool ok = FtpGetFile(OpString(0), OpString(1), OpInt(2), true);
  SkipOperands(3);
  if (!ok) RunFileWarning(kErrFtpNotGot, g_ftp.failedFile, g_ftp.cause);
}

void CmdFtpDisconnect() { FtpDisconnect(0); }

void CmdFtpDisconnectHangUp() {
  FtpDisconnect(OpInt(0));
  SkipOperands(1);
}

void CmdFtpProceed() { FtpContinueTransfer(0); }
void CmdFtpTerminate() { FtpAbortTransfer(); }

template <auto Value>
void CmdFtpInt() {
  OpCell(0)->i = Value();
  SkipOperands(1);
}

template <auto Text>
void CmdFtpText() {
  StoreText(OpCell(0), Text().c_str());
  SkipOperands(1);
}

const CommandDef kFtpCommands[] = {
    {8201, CmdFtpConnect, "sss"},
    {8202, CmdFtpSetDir, "s"},
    {8203, CmdFtpFindFirst, ""},
    {8204, CmdFtpFindNext, ""},
    {8205, CmdFtpPutFile, "s"},
    {8206, CmdFtpDeleteFile, "s"},
    {8207, CmdFtpGetFile, "ss"},
    {8208, CmdFtpDisconnect, ""},
    {8209, CmdFtpGetFileInSteps, "ssl"},
    {8210, CmdFtpProceed, ""},
    {8211, CmdFtpTerminate, ""},
    {8212, CmdFtpDisconnectHangUp, "l"},
    {8301, CmdFtpText<[] { return std::string(); }>, "s"},
    {8302, CmdFtpText<[] { return g_ftp.findName; }>, "s"},
    {8303, CmdFtpInt<[] { return g_ftp.findType; }>, "l"},
    {8304, CmdFtpInt<[] { return g_ftp.progress; }>, "l"},
    {8306, CmdFtpInt<[] { return int32_t(std::min<uint32_t>(g_ftp.findSize, INT32_MAX)); }>, "l"},
    {8307, CmdFtpInt<[] { return g_ftp.connected; }>, "l"},
    {8308, CmdFtpText<[] { return g_ftp.response; }>, "s"},
    {8309, CmdFtpInt<[] { return std::exchange(g_ftp.failed, 0); }>, "l"},
};

}  // namespace

std::span<const CommandDef> FtpCommands() { return kFtpCommands; }
