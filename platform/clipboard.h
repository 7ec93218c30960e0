#pragma once
#include <string>

// Clipboard text in the code page of typed text (TextCodePage). Headless runs keep a private clipboard in the process.
bool ClipboardSetText(const std::string& text);
std::string ClipboardGetText();
