// Source text and included files: the input text, the working text built from it and the
// include table that maps a position of the working text back to an include line.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "compiler/compiler.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/host_files.h"

namespace {

// Appends a text with every line ended by CR LF: lone CR, lone LF and a NUL byte end a line
// as CR LF does, and the text always ends with a line break, so an appended file never
// merges into the next.
void AppendNormalized(const std::string& in, std::string& out) {
  out.reserve(out.size() + in.size() + in.size() / 16 + 2);
  const size_t begin = out.size();
  if (in.find('\r') == std::string::npos && in.find('\0') == std::string::npos) {
    // Only LF breaks: each becomes CR LF.
    size_t start = 0;
    for (size_t lf = in.find('\n'); lf != std::string::npos; lf = in.find('\n', start)) {
      out.append(in, start, lf - start).append("\r\n");
      start = lf + 1;
    }
    out.append(in, start, std::string::npos);
  } else {
    size_t start = 0;
    for (size_t i = 0; i < in.size(); ++i) {
      const char c = in[i];
      if (c != '\r' && c != '\n' && c != '\0') continue;
      out.append(in, start, i - start);
      out += "\r\n";
      if (c == '\r' && i + 1 < in.size() && in[i + 1] == '\n') ++i;
      start = i + 1;
    }
    out.append(in, start, in.size() - start);
  }
  if (out.size() - begin < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) out += "\r\n";
}

// Reads a source or included file: regular files only (a device or a pipe named by an
// include line would never end), and of a size a program can have. A file in UTF-8 with
// characters beyond ASCII becomes the program's 8-bit code page, the text code page (a leading
// byte-order mark dropped); any other file is taken byte for byte. The source itself is named by a host path,
// an included file by a program's name.
bool ReadSourceFile(const std::string& name, std::string& out, bool hostPath) {
  struct stat st {};
  if (hostPath) {
    if (FsReadHostRegularFile(name, out, 256 << 20, false) != FsRead::kOk) return false;
  } else {
    if (stat(FsResolve(name).c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > (256 << 20)) return false;
    if (!FsReadFile(name, out)) return false;
  }
  const bool beyondAscii = std::any_of(out.begin(), out.end(), [](char c) { return c & 0x80; });
  if (beyondAscii && IsValidUtf8(out))
    out = Utf8ToCodePage(TextCodePage(), out.compare(0, 3, "\xEF\xBB\xBF") == 0 ? out.substr(3) : out);
  return true;
}

}  // namespace

bool Compiler::LoadSourceFile(const std::string& file) {
  if (file.empty()) {
    input_ = "\r\n";
    return true;
  }
  // The buffers keep their room from one compile to the next.
  if (!ReadSourceFile(file, fileBytes_, true)) return false;
  input_.clear();
  AppendNormalized(fileBytes_, input_);
  return true;
}

void Compiler::SetSourceFromString(const std::string& text) {
  input_.clear();
  AppendNormalized(text, input_);
}

bool Compiler::AppendFile(const std::string& file, int root, int32_t includeLine) {
  std::string bytes;
  if (!ReadSourceFile(file, bytes, false)) {
    missingIncludes_.push_back({includeLine, file});
    return false;
  }
  int64_t start = int64_t(working_.size());
  // The text so far ends with a line break: the file begins on the line after the last CR.
  sourceFiles_.push_back({int32_t(std::count(working_.begin(), working_.end(), '\r')) + 1, file});
  AppendNormalized(bytes, working_);
  segments_.push_back({start, int64_t(working_.size()), root});
  return true;
}

int32_t Compiler::ExpandIncludes() {
  // The input becomes the working text: it is not read again after this.
  working_.swap(input_);
  input_.clear();
  working_ += "end\r\n";
  includes_.clear();
  segments_.clear();
  sourceFiles_.assign(1, SourceFile{1, ""});
  missingIncludes_.clear();
  warnings_.clear();
  std::vector<std::string> names;
  int32_t firstIncluded = 0;
  bool added = true;
  for (int pass = 0; added; ++pass) {
    added = false;
    // The pass scans the text as it stood at its start; files are appended behind it.
    const size_t scanEnd = working_.size();
    size_t pos = 0;
    int32_t line = 1;
    // The line ends of the last pass, which scans the whole final text, serve the passes
    // after this one.
    lineEnds_.clear();
    lineEndsValid_ = false;
    while (pos < scanEnd) {
      size_t cr = working_.find('\r', pos);
      if (cr == std::string::npos || cr > scanEnd) cr = scanEnd;
      lineEnds_.push_back(cr);
      const size_t lineStart = pos;
      const std::string_view raw = std::string_view(working_).substr(pos, cr - pos);
      pos = cr + 1;
      if (raw.size() >= 255) {
        // A line of an included text is reported at the main file's include line.
        const int k = FindIncludeOfOffset(int64_t(lineStart));
        currentLine_ = line;
        errorLine_ = k < int(includes_.size()) ? includes_[size_t(k)].line : line;
        return -2;
      }
      size_t i = 0;
      while (i < raw.size() && static_cast<unsigned char>(raw[i]) < 32) ++i;
      if (raw.size() - i >= 9 && raw[i] == '#' &&
          std::equal(raw.begin() + long(i), raw.begin() + long(i) + 9, "#include ",
                     [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; })) {
        std::string rest(raw.substr(i + 9));
        std::string name;
        size_t k = rest.find_first_not_of(" \"");
        if (k != std::string::npos) {
          size_t e = rest.find(' ', k);
          name = rest.substr(k, e == std::string::npos ? std::string::npos : e - k);
          while (!name.empty() && (name.back() == '"' || name.back() == ' ' || static_cast<unsigned char>(name.back()) < 32))
            name.pop_back();
          while (!name.empty() && name[0] == '"') name.erase(0, 1);
        }
        bool known = name.empty() || std::any_of(names.begin(), names.end(),
                                                 [&](const std::string& n) { return FsEqualsNoCase(n, name); });
        if (!known) {
          names.push_back(name);
          if (pass == 0) {
            if (includes_.size() >= 255) {
              errorLine_ = includes_.back().line;
              return -1;
            }
            includes_.push_back({line, int64_t(working_.size())});
            AppendFile(name, int(includes_.size()) - 1, line);
          } else {
            // A file named inside an included file belongs to the include that brought in
            // the text naming it.
            AppendFile(name, FindIncludeOfOffset(int64_t(lineStart + i)), line);
          }
          added = true;
        }
      }
      ++line;
    }
    if (pass == 0) firstIncluded = line - 1;
  }
  lineEndsValid_ = true;
  // firstIncluded is the line number of the first line after the "end" line.
  return firstIncluded;
}

int Compiler::FindIncludeOfOffset(int64_t offset) const {
  for (const Segment& s : segments_)
    if (offset >= s.start && offset < s.end) return s.root;
  return int(includes_.size());
}
