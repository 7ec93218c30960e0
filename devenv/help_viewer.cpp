// The help viewer's pages: entity decoding, paths and sub-folders, loading, the background
// tile and scrolling.
#include "devenv/help_viewer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "devenv/ide_state.h"
#include "platform/fs.h"

HelpViewer g_help;

void ResetHelpViewer() { g_help = HelpViewer(); }

namespace {

// Pages larger than this are not help pages.
constexpr uint64_t kMaxPageBytes = 16u << 20;

struct Entity {
  const char* name;
  uint8_t byte;
};

// Tried in this order as prefixes of the text at each '&'.
constexpr Entity kEntities[] = {
    {"&quot", 34},    {"&amp", 38},     {"&lt", 60},      {"&gt", 62},      {"&iquest", 191}, {"&times", 215},
    {"&divide", 247}, {"&yuml", 255},   {"&Agrave", 192}, {"&Aacute", 193}, {"&Acirc", 194},  {"&Atilde", 195},
    {"&Auml", 196},   {"&Aring", 197},  {"&AElig", 198},  {"&Ccedil", 199}, {"&Egrave", 200}, {"&Eacute", 201},
    {"&Ecirc", 202},  {"&Euml", 203},   {"&Igrave", 204}, {"&Iacute", 205}, {"&Icirc", 206},  {"&Iuml", 207},
    {"&ETH", 208},    {"&Ntilde", 209}, {"&Ograve", 210}, {"&Oacute", 211}, {"&Ocirc", 212},  {"&Otilde", 213},
    {"&Ouml", 214},   {"&Oslash", 216}, {"&Ugrave", 217}, {"&Uacute", 218}, {"&Ucirc", 219},  {"&Uuml", 220},
    {"&Yacute", 221}, {"&THORN", 222},  {"&szlig", 223},  {"&agrave", 224}, {"&aacute", 225}, {"&acirc", 226},
    {"&atilde", 227}, {"&auml", 228},   {"&aring", 229},  {"&aelig", 230},  {"&ccedil", 231}, {"&egrave", 232},
    {"&eacute", 233}, {"&ecirc", 234},  {"&euml", 235},   {"&igrave", 236}, {"&iacute", 237}, {"&icirc", 238},
    {"&iuml", 239},   {"&eth", 240},    {"&ntilde", 241}, {"&ograve", 242}, {"&oacute", 243}, {"&ocirc", 244},
    {"&otilde", 245}, {"&ouml", 246},   {"&oslash", 248}, {"&ugrave", 249}, {"&uacute", 250}, {"&ucirc", 251},
    {"&uuml", 252},   {"&yacute", 253}, {"&thorn", 254},
};

std::string Slashes(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

bool IsAbsolute(const std::string& name) { return (!name.empty() && name[0] == '/') || (name.size() >= 2 && name[1] == ':'); }

// Applies the folder part of a relative name to a sub-folder: ".." steps back one level, "."
// and empty components change nothing.
std::string EnterFolders(std::string sub, const std::string& relative) {
  size_t from = 0;
  for (size_t slash; (slash = relative.find('/', from)) != std::string::npos; from = slash + 1) {
    const std::string part = relative.substr(from, slash - from);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (sub.empty()) continue;
      const size_t cut = sub.rfind('/', sub.size() - 2);
      sub.erase(cut == std::string::npos ? 0 : cut + 1);
    } else {
      sub += part + "/";
    }
  }
  return sub;
}

bool ReadPage(const std::string& path, std::string* raw) {
  return FsReadRegularFile(path, *raw, kMaxPageBytes, false) == FsRead::kOk;
}

}  // namespace

std::string HelpNormalisePath(const std::string& path) {
  const bool absolute = !path.empty() && path[0] == '/';
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    const size_t slash = path.find('/', from);
    const std::string part = path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") parts.pop_back();
      else if (!absolute) parts.push_back(part);
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    if (slash == std::string::npos) break;
    from = slash + 1;
  }
  std::string out = absolute ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? "/" : "") + parts[i];
  return out;
}

std::string HelpTargetPath(const std::string& name) {
  const std::string n = Slashes(name);
  return HelpNormalisePath(HelpResolvePath(IsAbsolute(n) ? n : g_help.subFolder + n));
}

std::string HelpDecodeEntities(const std::string& raw, std::vector<bool>* angles) {
  std::string out;
  out.reserve(raw.size());
  if (angles) angles->clear();
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '&') {
      out += raw[i];
      continue;
    }
    for (const Entity& e : kEntities) {
      const size_t n = std::strlen(e.name);
      if (raw.compare(i, n, e.name) == 0) {
        if (angles && (e.byte == '<' || e.byte == '>')) {
          angles->resize(out.size() + 1);
          angles->back() = true;
        }
        out += char(e.byte);
        break;
      }
    }
    const size_t end = raw.find(';', i);
    if (end == std::string::npos) break;
    i = end;
  }
  return out;
}

std::string HelpResolvePath(const std::string& name) {
  std::string n = Slashes(name);
  if (!IsAbsolute(n)) return g_ide.settings.helpFolder + n;
  if (n.size() >= 2 && n[1] == ':') n.erase(0, 2);
  if (n.empty() || n[0] != '/') n = "/" + n;
  return n;
}

bool HelpLoadPage(const std::string& name, std::string* resolved) {
  if (name.empty()) return false;
  const std::string n = Slashes(name);
  std::string path, sub;
  if (IsAbsolute(n)) {
    path = HelpResolvePath(n);
    // A page inside the help folder takes its sub-folder from there; any other starts at the root.
    const std::string& help = g_ide.settings.helpFolder;
    if (!help.empty() && path.compare(0, help.size(), help) == 0) sub = EnterFolders("", path.substr(help.size()));
  } else {
    path = HelpResolvePath(g_help.subFolder + n);
    sub = EnterFolders(g_help.subFolder, n);
  }
  std::string raw;
  if (!ReadPage(path, &raw)) return false;
  g_help.text = HelpDecodeEntities(raw, &g_help.literal);
  g_help.text.shrink_to_fit();
  g_help.literal.resize(g_help.text.size());
  g_help.hasPage = true;
  g_help.subFolder = sub;
  if (resolved) *resolved = path;
  return true;
}

bool HelpLoadBackground(const PixelFormat& format) {
  // A dark blue tile with faint diagonal lines; 8 divides both sides, so the tiles meet seamlessly.
  SurfacePtr tile = SurfaceCreate(160, 120, format);
  if (!tile) return false;
  const uint32_t base = PixelFromRgb(format, 0x142046), line = PixelFromRgb(format, 0x1B2A58);
  SurfRect all{0, 0, 160, 120};
  SurfaceFill(tile.get(), &all, base);
  for (int32_t y = 0; y < 120; ++y)
    for (int32_t x = (8 - y % 8) % 8; x < 160; x += 8) {
      SurfRect dot{x, y, x + 1, y + 1};
      SurfaceFill(tile.get(), &dot, line);
    }
  g_help.background = std::move(tile);
  return true;
}

void HelpRelease() {
  g_help.links.clear();
  g_help.background.reset();
  g_help.target = nullptr;
}

void HelpViewerShow(Surface* target) {
  g_help.target = target;
  g_help.shown = true;
}

void HelpViewerHide() { g_help.shown = false; }

bool HelpViewerIsShown() { return g_help.shown; }

int32_t HelpMaxScroll() { return std::max(0, g_help.documentHeight - g_help.pageHeight); }

void HelpSetScroll(int32_t scroll) { g_help.scroll = std::clamp(scroll, 0, HelpMaxScroll()); }

void HelpLineUp() { HelpSetScroll(g_help.scroll - g_help.lineStep); }
void HelpLineDown() { HelpSetScroll(g_help.scroll + g_help.lineStep); }
void HelpPageUp() { HelpSetScroll(g_help.scroll - g_help.pageHeight); }
void HelpPageDown() { HelpSetScroll(g_help.scroll + g_help.pageHeight); }
