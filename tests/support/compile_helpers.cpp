#include "tests/support/compile_helpers.h"

#include <cstdio>

#include "runtime/language_file.h"
#include "tests/support/temp_dir.h"

Compiler& TestCompiler() {
  static Compiler* compiler = [] {
    auto* c = new Compiler;
    c->ResetCompiler();
    c->LoadKeywordTable();
    LanguageTables tables;
    LoadLanguageTables("/nonexistent/");
    c->SetMessageTexts(g_language.compiler);
    return c;
  }();
  return *compiler;
}

namespace {
std::string Words(const std::vector<int32_t>& code, size_t from) {
  std::string s;
  for (size_t i = from; i + 1 < code.size(); ++i) {
    if (!s.empty()) s += ' ';
    s += std::to_string(code[i]);
  }
  return s;
}
}  // namespace

std::string Listing(const std::string& source) {
  Compiler& c = TestCompiler();
  if (!c.CompileText(source)) return "FAILED: " + c.ResultText();
  return Words(c.Code(), 0);
}

std::string ListingAfter(const std::string& preamble, const std::string& statements) {
  Compiler& c = TestCompiler();
  if (!c.CompileText(preamble)) return "FAILED: " + c.ResultText();
  size_t skip = c.Code().size() - 2;  // the preamble's code without "end" and the zero word
  if (!c.CompileText(preamble + statements)) return "FAILED: " + c.ResultText();
  std::string all = Words(c.Code(), skip);
  // Drop the trailing "end" (213).
  if (all.size() >= 4 && all.compare(all.size() - 4, 4, " 213") == 0) all.resize(all.size() - 4);
  else if (all == "213") all.clear();
  return all;
}

std::string Failure(const std::string& source) {
  Compiler& c = TestCompiler();
  if (c.CompileText(source)) return "compiled";
  return std::to_string(c.ErrorLine()) + ": " + c.ErrorMessage();
}

std::string TempFolder() {
  static const TempDir folder;  // removed when the process ends
  return folder.path();
}

std::string WriteTempFile(const std::string& name, const std::string& text) {
  std::string path = TempFolder() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  return path;
}
