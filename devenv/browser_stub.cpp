// Placeholder browser until the panel is built.
#include "devenv/browser.h"
#include "devenv/editor.h"

namespace {
std::string g_path, g_field;
}

void BrowserOpenDialog(int32_t, int32_t, int32_t) {}
void ResetBrowserItems() {}
bool BrowserIsOpen() { return false; }
void BrowserDraw() {}
bool BrowserWindowMessage(const Message&) { return false; }
void BrowserApplySelection(int32_t) {}
void SetBrowserPath(const std::string& folder) { g_path = folder; }
const std::string& GetBrowserPath() { return g_path; }
void BrowserSetField(int32_t, const std::string& text) { g_field = text; }
const std::string& GetBrowserItem(int32_t) { return g_field; }
void BrowserClearList() {}
bool BrowserSaveSource(const std::string& name) { return SaveEditorBuffer(name); }
bool BrowserLoadSource(const std::string& name) { return LoadSourceIntoEditor(name); }
