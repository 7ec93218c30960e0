#include "core/function_results.h"

#include <array>
#include <cstdlib>
#include <string_view>

#include "core/command_table.h"
#include "platform/embedded_data.h"

namespace {

// Reads the kinds from the embedded keyword list: "name[%number%letters" lines, blanks in the
// number and letters skipped as the compiler skips them.
std::array<char, kCommandSlots> ReadResultKinds() {
  std::array<char, kCommandSlots> kinds{};
  const EmbeddedFile* list = FindEmbeddedFile("keywords.txt");
  if (!list) return kinds;
  std::string_view text(reinterpret_cast<const char*>(list->data), list->size);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const size_t a = line.find('%');
    if (a == 0 || a == std::string_view::npos || line[a - 1] != '[') continue;
    const size_t b = line.find('%', a + 1);
    if (b == std::string_view::npos) continue;
    int number = 0;
    bool digits = false;
    for (char c : line.substr(a + 1, b - a - 1)) {
      if (c == ' ') continue;
      if (c < '0' || c > '9' || number >= kCommandSlots) {
        digits = false;
        break;
      }
      number = number * 10 + (c - '0');
      digits = true;
    }
    if (!digits || number >= kCommandSlots) continue;
    for (char c : line.substr(b + 1)) {
      if (static_cast<unsigned char>(c) < 33) continue;
      if (c == 'l' || c == 'L') kinds[size_t(number)] = 'l';
      if (c == 'f' || c == 'F') kinds[size_t(number)] = 'f';
      if (c == 's' || c == 'S') kinds[size_t(number)] = 's';
      break;
    }
  }
  return kinds;
}

}  // namespace

char FunctionResultKind(int number) {
  static const std::array<char, kCommandSlots> kinds = ReadResultKinds();
  return number > 0 && number < kCommandSlots ? kinds[size_t(number)] : 0;
}
