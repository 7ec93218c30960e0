// A language file may come from anywhere: any bytes read into tables of the fixed sizes with
// values of at most 255 characters.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/language_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LanguageTables t;
  ReadLanguageText(std::string(reinterpret_cast<const char*>(data), size), t);
  if (t.general.size() != 30 || t.menu.size() != 100 || t.title.size() != 20 || t.desc.size() != 80 ||
      t.errors.size() != 200)
    std::abort();
  for (auto* table : {&t.general, &t.menu, &t.title, &t.desc, &t.compiler, &t.errors})
    for (const std::string& s : *table)
      if (s.size() > 255) std::abort();
  return 0;
}
