#include "help_pages.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

namespace {

// Bytes 191-255 by the entity names the help viewer decodes.
const char* const kHighEntities[65] = {
    "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute",
    "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",
    "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",
    "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",
    "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde",
    "ouml",   "divide", "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

// Operators and other names whose spelling is not what a user types.
struct SpecialName {
  const char* name;
  const char* user;
  const char* page;
  const char* sign;  // the operator between two operands ("" none)
};
const SpecialName kSpecial[] = {
    {"^[", "^", "op_power", "^"},          {"/[", "/", "op_divide", "/"},
    {"*[", "*", "op_multiply", "*"},       {"+[", "+", "op_add", "+"},
    {"-[", "-", "op_subtract", "-"},       {"==[", "= (COMPARISON)", "op_equal", "="},
    {">[", ">", "op_greater", ">"},        {">=[", ">=", "op_greater_equal", ">="},
    {"<[", "<", "op_less", "<"},           {"<=[", "<=", "op_less_equal", "<="},
    {"![", "<>", "op_not_equal", "<>"},    {"&[", "AND", "op_and", "AND"},
    {"|[", "OR", "op_or", "OR"},           {"=", "= (ASSIGNMENT)", "op_assign", "="},
    {"@=", "ARRAY ELEMENT =", "op_array_store", ""}, {"@[", "ARRAY ELEMENT", "op_array_read", ""},
    {"#include", "#INCLUDE", "include", ""},
};

const SpecialName* FindSpecial(const std::string& name) {
  for (const SpecialName& s : kSpecial)
    if (name == s.name) return &s;
  return nullptr;
}

struct FamilyTitle {
  const char* stem;
  const char* title;
};
const FamilyTitle kFamilyTitles[] = {
    {"core", "The language: control flow, data, arrays, strings and maths"},
    {"language", "Statement words: FUNCTION, SELECT and CASE, REM, THEN, TO and STEP"},
    {"display", "2D: drawing, images, sprites, bitmaps, text and animations"},
    {"system", "Input, files, FTP and the system"},
    {"sound", "Sound and music"},
    {"model", "Model files"},
    {"scene3d", "3D: objects, limbs, camera, lights, matrices and the static world"},
};

std::string FamilyTitleOf(const std::string& stem) {
  for (const FamilyTitle& t : kFamilyTitles)
    if (stem == t.stem) return t.title;
  std::string title = stem;
  if (!title.empty()) title[0] = char(std::toupper(static_cast<unsigned char>(title[0])));
  return title;
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsFunction(const std::string& name) { return !name.empty() && name.back() == '['; }

std::string BaseName(const std::string& name) { return IsFunction(name) ? name.substr(0, name.size() - 1) : name; }

std::string OperandName(char letter) {
  switch (letter) {
    case 'l': return "integer";
    case 'f': return "float";
    case 's': return "string$";
    case 'a': return "label";
    default: return "";
  }
}

// A form made from the operand letters alone, for a name without a help line.
std::string PlainForm(const std::string& name, const std::string& letters) {
  const SpecialName* special = FindSpecial(name);
  const bool function = IsFunction(name);
  std::string operands = function && !letters.empty() ? letters.substr(1) : letters;
  std::string result = function && !letters.empty() ? OperandName(letters[0]) : "";
  if (result.empty()) result = "result";
  if (special && *special->sign && operands.size() == 2)
    return result + " = " + OperandName(operands[0]) + " " + special->sign + " " + OperandName(operands[1]);
  std::string list;
  for (char c : operands) {
    const std::string op = OperandName(c);
    if (op.empty()) continue;
    list += (list.empty() ? "" : ", ") + op;
  }
  const std::string user = special ? special->user : UserName(name);
  if (function) return result + " = " + user + "(" + list + ")";
  return list.empty() ? user : user + " " + list;
}

std::vector<std::string> SplitForms(const std::string& forms) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= forms.size()) {
    size_t end = forms.find(';', at);
    if (end == std::string::npos) end = forms.size();
    std::string form = forms.substr(at, end - at);
    form.erase(0, form.find_first_not_of(' '));
    if (!form.empty()) out.push_back(form);
    at = end + 1;
  }
  return out;
}

bool WriteFile(const std::string& path, const std::string& text, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

const char kTitleFont[] = "<FONT SIZE=6 COLOR=YELLOW>";
const char kBodyFont[] = "<FONT SIZE=4 COLOR=WHITE>";
const char kFormFont[] = "<FONT SIZE=4 COLOR=YELLOW>";

// Every name of the lists that shares one page, with the family whose list links to it.
struct Page {
  std::string file;
  std::string user;
  std::string family;  // stem of the first family naming it
  std::vector<const KeywordName*> names;
};

// The text speaks of a warning: its page links to the glossary's entry of what one does.
bool SpeaksOfAWarning(const std::string& text) {
  const std::string lower = Lower(text);
  for (size_t at = lower.find("warning"); at != std::string::npos; at = lower.find("warning", at + 1))
    if (at == 0 || !std::isalpha(static_cast<unsigned char>(lower[at - 1]))) return true;
  return false;
}

std::string KeywordPage(const Page& page, const std::map<std::string, HelpLine>& help) {
  bool warns = false;
  std::string html = std::string(kTitleFont) + HtmlEscape(page.user) + "<BR>\n";
  std::vector<const KeywordName*> names = page.names;
  std::stable_sort(names.begin(), names.end(),
                   [](const KeywordName* a, const KeywordName* b) { return !IsFunction(a->name) && IsFunction(b->name); });
  for (const KeywordName* k : names) {
    auto line = help.find(k->name);
    std::vector<std::string> forms;
    if (line != help.end()) forms = SplitForms(line->second.forms);
    else
      for (const std::string& letters : k->letters) {
        std::string form = PlainForm(k->name, letters);
        if (std::find(forms.begin(), forms.end(), form) == forms.end()) forms.push_back(form);
      }
    html += std::string("<P>") + kFormFont;
    for (const std::string& form : forms) html += HtmlEscape(form) + "<BR>\n";
    if (line != help.end()) html += std::string(kBodyFont) + "<P>" + HtmlEscape(line->second.text) + "\n";
    warns = warns || (line != help.end() && SpeaksOfAWarning(line->second.text));
  }
  if (warns) html += std::string(kBodyFont) + "<P><A HREF=\"../glossary.htm\">What a warning does</A>\n";
  html += std::string(kBodyFont) + "<P><P>Listed with <A HREF=\"../" + page.family + ".htm\">" +
          HtmlEscape(FamilyTitleOf(page.family)) + "</A>.<BR>\n<A HREF=\"../index.htm\">Index of all commands</A>" +
          "<BR>\n<A HREF=\"../menu.htm\">Command menu</A>\n";
  return html;
}

std::string FamilyPage(const Family& family, const std::map<std::string, Page>& pages) {
  std::string html = std::string(kTitleFont) + HtmlEscape(FamilyTitleOf(family.stem)) + "<BR>\n" + kBodyFont;
  std::string section = "\x01";
  std::set<std::string> listed;
  for (const KeywordName& k : family.names) {
    const Page& page = pages.at(PageFileName(k.name));
    if (!listed.insert(page.file).second) continue;
    if (k.section != section) {
      section = k.section;
      if (!section.empty()) html += std::string("<P>") + kFormFont + HtmlEscape(section) + "<BR>\n" + kBodyFont;
    }
    html += "<A HREF=\"commands/" + page.file + ".htm\">" + HtmlEscape(page.user) + "</A><BR>\n";
  }
  html += "<P><A HREF=\"menu.htm\">Command menu</A><BR>\n<A HREF=\"index.htm\">Index of all commands</A>\n";
  return html;
}

std::string IndexPage(const std::map<std::string, Page>& pages) {
  std::vector<const Page*> sorted;
  for (const auto& [file, page] : pages) sorted.push_back(&page);
  std::sort(sorted.begin(), sorted.end(), [](const Page* a, const Page* b) {
    return std::make_pair(Upper(a->user), a->user) < std::make_pair(Upper(b->user), b->user);
  });
  std::string html = std::string(kTitleFont) + "Index of all commands<BR>\n" + kBodyFont +
                     "<A HREF=\"menu.htm\">Command menu</A><BR>\n";
  std::string group = "\x01";
  for (const Page* page : sorted) {
    const unsigned char first = static_cast<unsigned char>(page->user[0]);
    const std::string g = std::isalpha(first) ? std::string(1, char(std::toupper(first))) : "Signs";
    if (g != group) {
      group = g;
      html += std::string("<P>") + kFormFont + g + "<BR>\n" + kBodyFont;
    }
    html += "<A HREF=\"commands/" + page->file + ".htm\">" + HtmlEscape(page->user) + "</A><BR>\n";
  }
  return html;
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
  std::string out;
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"') out += "&quot;";
    else if (c >= 191) out += std::string("&") + kHighEntities[c - 191] + ";";
    else out += ch;
  }
  return out;
}

std::string UserName(const std::string& name) {
  if (const SpecialName* s = FindSpecial(name)) return s->user;
  return Upper(BaseName(name));
}

std::string PageFileName(const std::string& name) {
  if (const SpecialName* s = FindSpecial(name)) return s->page;
  static const char kHex[] = "0123456789abcdef";
  std::string file;
  for (char ch : BaseName(name)) {
    const unsigned char c = static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(ch)));
    if (std::isalnum(c) && c < 128) file += char(c);
    else if (c == ' ') file += '_';
    else if (c == '$') file += "_s";
    else file += std::string("_x") + kHex[c >> 4] + kHex[c & 15];
  }
  return file;
}

bool WriteHelpPages(const std::vector<Family>& families, const std::map<std::string, HelpLine>& help,
                    const std::string& folder, std::string* error) {
  std::map<std::string, Page> pages;
  for (const Family& family : families)
    for (const KeywordName& k : family.names) {
      const std::string file = PageFileName(k.name);
      auto [it, fresh] = pages.try_emplace(file, Page{file, UserName(k.name), family.stem, {}});
      if (!fresh && BaseName(it->second.names.front()->name) != BaseName(k.name)) {
        *error = "\"" + k.name + "\" and \"" + it->second.names.front()->name + "\" would share the page " + file;
        return false;
      }
      it->second.names.push_back(&k);
    }
  std::error_code ec;
  std::filesystem::create_directories(folder + "/commands", ec);
  for (const auto& [file, page] : pages)
    if (!WriteFile(folder + "/commands/" + file + ".htm", KeywordPage(page, help), error)) return false;
  for (const Family& family : families)
    if (!WriteFile(folder + "/" + family.stem + ".htm", FamilyPage(family, pages), error)) return false;
  return WriteFile(folder + "/index.htm", IndexPage(pages), error);
}
