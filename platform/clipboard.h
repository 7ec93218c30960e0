#pragma once
#include <string>

// Clipboard text in Windows-1252. Headless runs keep a private clipboard in the process.
bool ClipboardSetText(const std::string& text);
std::string ClipboardGetText();
