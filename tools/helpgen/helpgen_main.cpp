// Makes the help folder at build time:
//   helpgen KEYWORD_FOLDER HELP_LINE_FOLDER PAGE_FOLDER OUT_FOLDER
// One page per keyword under OUT/commands/ (its forms and what it does, from the keyword lists
// and the help lines; the words the compiler reads itself count as keywords of a list of their
// own), one list page per keyword list, index.htm, and the hand-written pages of PAGE_FOLDER
// copied beside them. OUT is made anew each time. Prints nothing unless it fails.
#include <cstdio>
#include <filesystem>

#include "help_pages.h"
#include "keyword_help.h"

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "helpgen: %s\n", message.c_str());
  return 1;
}

// Copies the hand-written pages; a page may not take the place of a generated one.
bool CopyPages(const fs::path& from, const fs::path& to, std::string* error) {
  std::error_code ec;
  if (!fs::exists(from, ec)) return true;
  for (auto it = fs::recursive_directory_iterator(from, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::path target = to / fs::relative(it->path(), from);
    if (it->is_directory()) {
      fs::create_directories(target, ec);
    } else if (it->is_regular_file()) {
      if (fs::exists(target)) {
        *error = it->path().string() + " has the name of a generated page";
        return false;
      }
      fs::create_directories(target.parent_path(), ec);
      if (!fs::copy_file(it->path(), target, ec)) break;
    }
  }
  if (ec) *error = "cannot copy the pages of " + from.string() + ": " + ec.message();
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return Fail("usage: helpgen KEYWORD_FOLDER HELP_LINE_FOLDER PAGE_FOLDER OUT_FOLDER");
  const fs::path out = argv[4];
  std::string error;
  std::vector<Family> families;
  std::map<std::string, HelpLine> help;
  std::error_code ec;
  const bool read = ReadFamilies(argv[1], &families, &error);
  if (read) AddLanguageWords(&families);
  if (!read || !ReadHelpLines(argv[2], families, &help, &error)) {
    fs::remove(out / "index.htm", ec);  // the build's mark of a finished folder
    return Fail(error);
  }
  // Only a folder this tool made before is emptied.
  if (fs::exists(out, ec)) {
    if (!fs::exists(out / "index.htm", ec) && !fs::exists(out / "commands", ec) && !fs::is_empty(out, ec))
      return Fail(out.string() + " exists and holds no help pages: not replacing it");
    fs::remove_all(out, ec);
    if (ec) return Fail("cannot empty " + out.string() + ": " + ec.message());
  }
  fs::create_directories(out, ec);
  if (ec) return Fail("cannot make " + out.string() + ": " + ec.message());
  if (!WriteHelpPages(families, help, out.string(), &error) || !CopyPages(argv[3], out, &error)) {
    fs::remove(out / "index.htm", ec);
    return Fail(error);
  }
  return 0;
}
