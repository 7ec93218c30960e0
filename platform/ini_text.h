#pragma once
#include <string>
#include <vector>

// The text of a settings file as its editor saved it: UTF-8 or plain bytes (with or without a
// byte-order mark) or UTF-16 of either byte order (with its mark), lines ended by CR LF, LF or
// CR alone. A file read so is written back in the same form, so a change keeps its encoding,
// its mark and its line ends.
struct IniText {
  enum class Encoding { kBytes, kUtf16Le, kUtf16Be };
  Encoding encoding = Encoding::kBytes;
  bool utf8Mark = false;
  std::string lineEnd = "\r\n";  // the file's first line end; CR LF for a file without one
  std::vector<std::string> lines;  // UTF-8 for a UTF-16 file
};

// Splits a file's bytes into lines; false for bytes that are no text of these forms (UTF-16
// that does not decode, a NUL byte in a file without the UTF-16 mark).
bool IniDecodeText(const std::string& bytes, IniText& text);
// The bytes of the text in its form; false (errno EILSEQ) when a line cannot be spelled in
// UTF-16 (it is not UTF-8).
bool IniEncodeText(const IniText& text, std::string& bytes);
