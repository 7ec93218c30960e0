// Every form the help pages give for a word of the language compiles as written: the
// operands become variables of the placeholder's type (a name ending in $ a text, # a float),
// arrays are made with DIM first, and block words stand inside their block. A compile check
// that refuses a documented form fails here.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "compiler/language_words.h"
#include "tests/support/compile_helpers.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& folder) {
  std::vector<std::string> lines;
  for (const auto& e : fs::directory_iterator(std::string(VK_SOURCE_DIR) + folder)) {
    std::istringstream in(ReadAll(e.path()));
    for (std::string line; std::getline(in, line);)
      if (!line.empty() && line[0] != ';') lines.push_back(line);
  }
  return lines;
}

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Placeholders that stand for more than a value.
const std::map<std::string, std::string> kPlaceholders = {
    {"item", "1"}, {"statement", "v_s = 1"}, {"label", "v_label"}};

// The block a word needs around it; % is the form.
const std::map<std::string, std::string> kContexts = {
    {"if", "%\nendif"},
    {"else", "if v_c\n%\nendif"},
    {"endif", "if v_c\n%"},
    {"do", "%\nloop"},
    {"exit", "do\n%\nloop"},
    {"loop", "do\n%"},
    {"for", "%\nnext v_variable"},
    {"to", "%\nnext v_variable"},
    {"step", "%\nnext v_variable"},
    {"next", "for v_variable = 1 to 2\n%"},
    {"while", "%\nendwhile"},
    {"endwhile", "while v_c\n%"},
    {"repeat", "%\nuntil v_c"},
    {"until", "repeat\n%"},
    {"function", "end\n%\nendfunction"},
    {"remstart", "%\nremend"},
    {"remend", "remstart\n%"},
    {"select", "%\ncase 1\nendcase\nendselect"},
    {"case", "select v_x\n%\nendcase\nendselect"},
    {"default", "select v_x\n%\nendcase\nendselect"},
    {"endcase", "select v_x\ncase 1\n%\nendselect"},
    {"endselect", "select v_x\ncase 1\nendcase\n%"},
};

// The program of one form: placeholder words (lower case, several words joined) become
// variables, "..." goes, and every array element the form names is made first.
std::string ProgramOf(const std::string& word, const std::string& form) {
  std::string text, dims;
  bool labels = false;
  for (size_t i = 0; i < form.size();) {
    const char c = form[i];
    if (c == '"') {  // a literal stays as written
      const size_t end = form.find('"', i + 1);
      text += form.substr(i, end - i + 1);
      i = end + 1;
    } else if (form.compare(i, 3, "...") == 0) {
      while (!text.empty() && (text.back() == ' ' || text.back() == ',')) text.pop_back();
      i += 3;
    } else if (std::islower(static_cast<unsigned char>(c))) {
      // A run of lower-case words: one placeholder.
      std::string name;
      size_t j = i;
      while (true) {
        size_t k = j;
        while (k < form.size() && IsWordChar(form[k])) ++k;
        if (k < form.size() && (form[k] == '$' || form[k] == '#')) ++k;
        name += (name.empty() ? "" : "_") + form.substr(j, k - j);
        j = k;
        if (j + 1 < form.size() && form[j] == ' ' && std::islower(static_cast<unsigned char>(form[j + 1])) &&
            name.back() != '$' && name.back() != '#')
          ++j;
        else
          break;
      }
      i = j;
      if (auto p = kPlaceholders.find(name); p != kPlaceholders.end()) {
        labels = labels || name == "label";
        text += p->second;
        continue;
      }
      text += "v_" + name;
      if (i < form.size() && form[i] == '(' && word != "function") {
        const size_t close = form.find(')', i);
        const std::string inside = form.substr(i + 1, close - i - 1);
        std::string sizes = "1";
        for (char ch : inside)
          if (ch == ',') sizes += ", 1";
        dims += "dim v_" + name + "(" + sizes + ")\n";
      }
    } else {
      text += c;
      ++i;
    }
  }
  // A function's end gives a text when its form returns one.
  const bool texts = form.find('$') != std::string::npos;
  std::string program = texts ? "end\nfunction f$()\n" : "end\nfunction f()\n";
  if (word == "endfunction") program += text;
  else if (word == "exitfunction") program += text + (texts ? "\nendfunction \"\"" : "\nendfunction");
  else if (const auto context = kContexts.find(word); context != kContexts.end())
    program = std::string(context->second).replace(context->second.find('%'), 1, text);
  else
    program = text;
  return dims + program + (labels ? "\nend\nv_label:\n" : "\n");
}

}  // namespace

TEST(DocumentedForms, EveryFormOfEveryWordCompiles) {
  std::map<std::string, std::string> forms;  // word (functions end in "[") -> its forms
  for (const std::string& line : Lines("/data/help")) {
    // word|forms|what it does: the word "|" and the forms of "|" hold the bar themselves.
    const size_t bar = line.find('|', 1), end = line.rfind('|');
    if (bar == std::string::npos || end <= bar) continue;
    forms[line.substr(0, bar)] = line.substr(bar + 1, end - bar - 1);
  }
  std::set<std::string> words;
  for (const std::string& line : Lines("/data/keywords"))
    if (const size_t cut = line.find('%'); cut != std::string::npos && cut > 0) words.insert(line.substr(0, cut));
  for (std::string_view w : kLanguageWords) words.insert(std::string(w));
  ASSERT_GT(words.size(), 600u);
  int compiled = 0;
  for (const std::string& word : words) {
    const auto found = forms.find(word);
    ASSERT_NE(found, forms.end()) << word << " has no help line";
    std::string rest = found->second;
    while (!rest.empty()) {
      const size_t cut = rest.find("; ");
      const std::string form = rest.substr(0, cut);
      rest = cut == std::string::npos ? "" : rest.substr(cut + 2);
      if (form.empty()) continue;
      const std::string program = ProgramOf(word.back() == '[' ? word.substr(0, word.size() - 1) : word, form);
      EXPECT_EQ(Failure(program), "compiled") << word << ": " << form << "\n" << program;
      ++compiled;
    }
  }
  EXPECT_GT(compiled, 800);
}
