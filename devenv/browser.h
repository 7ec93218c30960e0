#pragma once
// The browser panel: the environment's one modal panel, serving as open and save dialog, make
// program dialog, new project folder picker, yes/no question, find and replace box and media
// editor list. The environment's dialogMode says what a confirmed panel does.
#include <cstdint>
#include <string>

#include "platform/events.h"

// Opens panel kind (2 open, 3 save as, 4 question, 6/7 make program, 8 new project, 11 find,
// 12 replace, 71 media editors, 72 editor program) centred on (centreX, centreY).
void BrowserOpenDialog(int32_t kind, int32_t centreX, int32_t centreY);
// Closes the panel.
void ResetBrowserItems();
bool BrowserIsOpen();
// How many panels have opened: a panel that gives way to another is a different one.
uint32_t BrowserOpenings();
// Every frame while the panel is open.
void BrowserDraw();
// The panel's handler of a window message while it is open (mouse, keys, characters,
// activation); true when it took the message.
bool BrowserWindowMessage(const Message& m);
// The confirm step of a mode (1 open, 2 save as, 3 new folder, 6/7 make program, 31 new
// project, 72/73 editor program chosen or not).
void BrowserApplySelection(int32_t mode);

void SetBrowserPath(const std::string& folder);
const std::string& GetBrowserPath();
void BrowserSetField(int32_t i, const std::string& text);
const std::string& GetBrowserItem(int32_t i);
void BrowserClearList();

// The editor's buffer to a file / a file into the editor, with the environment's file name,
// project folder, flags and recent files brought along. The names are host paths, taken as
// they are (relative ones in the working folder).
bool BrowserSaveSource(const std::string& name);
bool BrowserLoadSource(const std::string& name);

// The action code of a click at panel-relative (x, y) in the current mode (0: nothing to do);
// a button hit is marked pressed, fields begin or end editing, the list selects and opens.
int32_t BrowserHitTest(int32_t x, int32_t y);
// Builds the game file name from the editor's source (compiled in projectFolder; with media,
// the project's media files packed). False when the build failed or was abandoned.
bool BrowserMakeExecutable(const std::string& name, int32_t withMedia, const std::string& projectFolder);
// Appends ext when the name's last part has no '.'.
void AddDefaultExtension(std::string& name, const std::string& ext);
// Makes a folder in the list's folder: a name some entry has gets 2, 3, ... appended.
bool BrowserMakeFolder(const std::string& name);
// 0: a folder of that name exists; 1: it was made; 2: a file has the name; 9: it cannot be made.
int32_t BrowserPrepareProjectFolder(const std::string& name);
// The environment's file name and project folder from a path; the list's folder and the
// working folder become the project folder.
void SetCurrentFileFromPath(const std::string& path);
// An existing file at the host path that its owner may not write.
bool BrowserReadOnlyFile(const std::string& path);
// Where new projects start: "MYPROJ" in the program folder, or in the per-user data folder when
// the program folder cannot be written to. Made when missing.
std::string BrowserProjectsFolder();

// With the environment: its state back to the start, and the panel's pictures made and freed
// with the environment's surfaces.
void ResetBrowserState();
bool BrowserCreatePictures();
void BrowserReleasePictures();
