// A source file may hold any bytes: it reads into at least one line, none holding a line end
// (CR, LF, NUL), and a source without header fields saves back to the same lines.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "devenv/editor.h"
#include "platform/fs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = FsCreateTempFile("fuzz.vka", data, size);
  if (path.empty()) return 0;
  ResetIdeState();
  if (!LoadSourceIntoEditor(path)) std::abort();
  const std::vector<std::string> lines = g_ide.editor.lines;
  if (lines.empty()) std::abort();
  for (const std::string& l : lines)
    for (unsigned char c : l)
      if (c == '\r' || c == '\n' || c == 0) std::abort();
  for (const std::string* f : {&g_ide.title, &g_ide.author, &g_ide.date})
    if (f->size() > 255) std::abort();
  if (g_ide.title.empty() && g_ide.author.empty() && g_ide.date.empty()) {
    if (!SaveEditorBuffer(path) || !LoadSourceIntoEditor(path) || g_ide.editor.lines != lines) std::abort();
  }
  return 0;
}
