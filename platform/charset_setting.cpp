// Reads a TEXTLANGUAGE-CHARSET value and says the ones the system cannot serve.
#include "platform/charset_setting.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

#include "platform/codepage_tables.h"
#include "platform/message_name.h"

namespace {

// The value without the blanks around it.
std::string Trimmed(const std::string& value) {
  const size_t start = value.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return "";
  return value.substr(start, value.find_last_not_of(" \t\r\n") - start + 1);
}

}  // namespace

std::string UnservedCharset(const std::string& value) {
  const std::string text = Trimmed(value);
  if (text.empty()) return "";
  int32_t n = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (error != std::errc() || end != text.data() + text.size()) return "no character set";
  switch (n) {
    case 128: return "Japanese";
    case 129: case 130: return "Korean";
    case 134: case 136: return "Chinese";
    default: break;
  }
  // 0 and 1 are the Western set; every other number is one CodePageOfCharset maps, or none.
  return n == 0 || n == 1 || CodePageOfCharset(n) != 1252 ? "" : "no character set";
}

int32_t CodePageOfCharsetSetting(const std::string& value, const std::string& file, bool say) {
  const std::string unserved = UnservedCharset(value);
  if (unserved.empty()) return CodePageOfCharset(CharsetOfSetting(value));
  if (!say) return 1252;
  // Once a process for a value in a file, however the file is named when it is read again (the
  // compile and the start of a run).
  static std::mutex lock;
  static std::set<std::string> said;
  const std::string text = Trimmed(value);
  // Keyed by the file's real path: an inode number is reused once a file is gone.
  char* real = realpath(file.c_str(), nullptr);
  const std::string where = real ? real : file;
  std::free(real);
  std::lock_guard<std::mutex> hold(lock);
  if (!said.insert(where + "\n" + text).second) return 1252;
  const std::string what = unserved == "no character set" ? "names no character set"
                                                          : "is the " + unserved + " character set, which Vellumark does not serve";
  std::fprintf(stderr, "%s: %s: TEXTLANGUAGE-CHARSET=%s %s; Western (code page 1252) is used instead\n", MessageName(),
               file.c_str(), text.c_str(), what.c_str());
  return 1252;
}
