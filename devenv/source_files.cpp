// Sources on disk: their "Rem * ..." header lines and their lines, into and out of the editor.
#include <algorithm>
#include <cctype>

#include "devenv/editor.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"
#include "platform/host_files.h"

namespace {

constexpr size_t kHeaderColumn = 13;  // characters before the colon of a header line
constexpr size_t kFieldLength = 255;

// Lines end where the compiler ends them: at CR, LF or a NUL byte. Every other byte stays in
// its line, so a save gives the compiler the same lines it read before.
bool IsText(unsigned char c) { return c != '\r' && c != '\n' && c != 0; }

// Steps over a line end: CR, LF, CR LF or NUL.
size_t PastLineEnd(const std::string& data, size_t pos) {
  if (pos >= data.size()) return pos;
  const char c = data[pos++];
  if (c == '\r' && pos < data.size() && data[pos] == '\n') ++pos;
  return pos;
}

// Reads the three header fields at pos, in the order title, author, date.
void ReadHeaderFields(const std::string& data, size_t* pos, std::string* title, std::string* author,
                      std::string* date) {
  *title = ReadHeaderField(data, pos);
  *author = ReadHeaderField(data, pos);
  *date = ReadHeaderField(data, pos);
}

bool HasExtension(const std::string& name, const char* ext) {
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return FsEqualsNoCase(name.substr(dot), ext);
}

}  // namespace

std::string SourceFileHeader(const std::string& title, const std::string& author, const std::string& date) {
  std::string out;
  if (!title.empty()) out += "Rem * Title  : " + title + "\r\n";
  if (!author.empty()) out += "Rem * Author : " + author + "\r\n";
  if (!date.empty()) out += "Rem * Date   : " + date + "\r\n";
  return out;
}

std::string WorkFileHeader(const std::string& title, const std::string& author, const std::string& date) {
  return "Rem * Title  : " + title + "\r\nRem * Author : " + author + "\r\nRem * Date   : " + date + "\r\n";
}

std::string ReadHeaderField(const std::string& data, size_t* pos) {
  const size_t start = *pos;
  // The colon must be the 14th character, on the same line, of a comment line ("Rem" and a
  // blank): a statement or a label there is a line of the program, never a field.
  size_t colon = start;
  while (colon < data.size() && data[colon] != ':' && IsText(static_cast<unsigned char>(data[colon]))) ++colon;
  if (colon >= data.size() || data[colon] != ':' || colon - start != kHeaderColumn) return std::string();
  if (!FsEqualsNoCase(data.substr(start, 3), "rem") || (data[start + 3] != ' ' && data[start + 3] != '\t'))
    return std::string();
  // The value follows the blank after the colon, on the same line.
  size_t at = colon + 1;
  if (at < data.size() && IsText(static_cast<unsigned char>(data[at]))) ++at;
  const size_t valueStart = at;
  while (at < data.size() && IsText(static_cast<unsigned char>(data[at]))) ++at;
  std::string value = data.substr(valueStart, std::min(at - valueStart, kFieldLength));
  *pos = PastLineEnd(data, at);
  return value;
}

bool LoadSourceIntoEditor(const std::string& path) {
  std::string data;
  if (!FsReadHostFile(path, data)) return false;
  EditorClearBuffer();
  size_t pos = 0;
  ReadHeaderFields(data, &pos, &g_ide.title, &g_ide.author, &g_ide.date);
  std::vector<std::string>& lines = g_ide.editor.lines;
  while (pos < data.size()) {
    const size_t start = pos;
    while (pos < data.size() && IsText(static_cast<unsigned char>(data[pos]))) ++pos;
    lines.emplace_back(data, start, pos - start);
    pos = PastLineEnd(data, pos);
  }
  if (lines.empty()) lines.emplace_back();
  while (g_ide.editor.LineCount() > g_ide.editor.tableCapacity - 64) g_ide.editor.tableCapacity *= 2;
  EditorResetCursor();
  return true;
}

std::string SourceFileText(const EditorBuffer& b, const std::string& title, const std::string& author,
                           const std::string& date) {
  std::string out = SourceFileHeader(title, author, date);
  for (const std::string& line : b.lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

bool SaveEditorBuffer(const std::string& path) {
  if (!FsWriteHostFileDurable(path, SourceFileText(g_ide.editor, g_ide.title, g_ide.author, g_ide.date))) return false;
  g_ide.statusText = IdeText(IdeSection::Desc, kDescSaved);
  g_ide.statusColour = 0;
  g_ide.redrawStatus = true;
  return true;
}

bool ReadSourceFileForIde(const std::string& path) {
  std::string data;
  if (!IsSourceFileName(path) || !FsReadFile(path, data)) return false;
  size_t pos = 0;
  ReadHeaderFields(data, &pos, &g_ide.title, &g_ide.author, &g_ide.date);
  return true;
}

bool NewSourceFromTemplate(const std::string& path) {
  std::string data;
  if (!FsReadFile(path, data)) return true;
  size_t pos = 0;
  std::string title, author, date;
  ReadHeaderFields(data, &pos, &title, &author, &date);
  FsWriteFileDurable(path, SourceFileHeader(g_ide.title, g_ide.author, g_ide.date) + data.substr(pos));
  return true;
}

bool IsSourceFileName(const std::string& name) { return HasExtension(name, ".vka"); }
bool IsExeFileName(const std::string& name) { return HasExtension(name, ".exe"); }
