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
// project folder, flags and recent files brought along.
bool BrowserSaveSource(const std::string& name);
bool BrowserLoadSource(const std::string& name);
