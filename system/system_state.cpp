// The system subsystem's own state: window mode, the file streams, the folder search and FTP.
#include "display/display.h"
#include "platform/system_info.h"
#include "system/files.h"
#include "system/ftp_session.h"
#include "system/streams.h"
#include "system/system_services.h"

void ResetWindowState() {
  g_display.windowMode = 0;
  WindowGrabSystemKeys(false);
}

void StopSystemServices() {
  ResetStreams();
  ResetFolderSearch();
  FtpShutdown();
}

void ResetSystemState() {
  ResetWindowState();
  StopSystemServices();
  FtpResetState();
}
