// The help viewer's layout: tokens, tags, word wrap, drawing, link areas and the index
// page's layout cache.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <string_view>

#include "devenv/help_viewer.h"
#include "devenv/ide_state.h"
#include "devenv/ide_texts.h"

namespace {

constexpr int32_t kTile = 4, kTileWidth = 160, kTileHeight = 120;
constexpr int32_t kCentreWidth = 612;
constexpr int32_t kLayoutBelow = 512;  // a known page is laid out this far below the pane's top
constexpr int32_t kCacheRestartLines = 5;
constexpr size_t kMaxFonts = 64, kMaxNameLength = 255, kBlankSearch = 80;
constexpr int32_t kMinSize = 4, kMaxSize = 96;
constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0, kYellow = 0xFFFA14, kLinkGreen = 0x00FF00;

struct Layout {
  HelpPen pen;
  const std::string* src = nullptr;
  TextContext dc;
  std::array<int32_t, 256> advance{};  // of dc.font
  bool draw = true;
};

bool EndsWithNoCase(const std::string& s, std::string_view tail) {
  if (s.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i]) return false;
  return true;
}

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = char(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

const HelpFontEntry& FontFor(const HelpPen& p) {
  const std::string key = p.face + '\n' + std::to_string(p.size) + char('0' + p.bold) + char('0' + p.italic) +
                          char('0' + p.underline) + '\n' + std::to_string(g_ide.settings.helpCharset);
  for (const HelpFontEntry& e : g_help.fonts)
    if (e.key == key) return e;
  // The help pages are text of the help language's character set.
  FontRequest r{p.face, p.size, p.bold, p.italic, p.underline, g_ide.settings.helpCharset};
  TextFontPtr font = TextCreateFont(r);
  if (!font) {
    r.face = "Arial";
    font = TextCreateFont(r);
  }
  if (!font) font = TextDefaultFont();
  if (g_help.fonts.size() >= kMaxFonts) g_help.fonts.clear();
  HelpFontEntry& e = g_help.fonts.emplace_back();
  e.key = key;
  e.font = font;
  for (int c = 0; c < 256; ++c) {
    const char ch = char(c);
    e.advance[size_t(c)] = TextMeasure(font.get(), &ch, 1).cx;
  }
  return e;
}

void UpdateFont(Layout& l) {
  const HelpFontEntry& e = FontFor(l.pen);
  l.dc.font = e.font;
  l.advance = e.advance;
}

void SetColour(Layout& l, uint32_t rgb) {
  l.pen.previousColour = l.pen.colour;
  l.pen.colour = rgb;
  if (l.dc.surface) l.dc.textPixel = PixelFromRgb(l.dc.surface->Format(), rgb);
}

void RestoreColour(Layout& l) { SetColour(l, l.pen.previousColour); }

int32_t Width(const Layout& l, std::string_view t) {
  int32_t w = 0;
  for (char c : t) w += l.advance[static_cast<unsigned char>(c)];
  return w;
}

void NewLine(Layout& l) {
  l.pen.y += l.pen.size + 1;
  l.pen.x = g_help.leftMargin;
}

void AddLinkArea(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const std::string& target) {
  const int32_t s = g_help.scroll;
  g_help.links.push_back({x1, y1 - s, x2, y2 - s, target});
}

// One piece of a line: centred or at the pen. A piece of blanks only is not drawn.
void DrawPiece(Layout& l, std::string_view t) {
  if (std::none_of(t.begin(), t.end(), [](char c) { return static_cast<unsigned char>(c) > 32; })) return;
  HelpPen& p = l.pen;
  const int32_t w = Width(l, t);
  const int32_t x = p.centred ? (kCentreWidth - w) / 2 : p.x;
  const int32_t y = p.y - g_help.scroll;
  if (l.draw && y < 480 && y + p.size > 0) TextOut(l.dc, x, y, t.data(), t.size());
  if (p.inLink) {
    // A link that wrapped is clickable from x 0 on its later lines.
    const bool continued = p.linkDrawn && p.y != p.linkFirstY && x == g_help.leftMargin;
    if (!p.linkDrawn) p.linkFirstY = p.y;
    p.linkDrawn = true;
    AddLinkArea(continued ? 0 : x, p.y, x + w, p.y + p.size, p.linkTarget);
  }
  p.x = x + w;
}

// The number of leading characters that end before the right limit.
size_t FittingPrefix(const Layout& l, std::string_view t) {
  int64_t x = l.pen.x;
  for (size_t i = 0; i < t.size(); ++i) {
    x += l.advance[static_cast<unsigned char>(t[i])];
    if (x >= g_help.rightLimit) return i;
  }
  return t.size();
}

// Word wrap: breaks at a blank at most 80 characters back from what fits; every pass either
// draws the rest, takes at least one character or starts a new line first, so a word wider
// than the pane still ends. Each line costs its own length only.
void WrapText(Layout& l, std::string_view t) {
  l.pen.lineStart = false;
  while (!t.empty()) {
    const size_t n = FittingPrefix(l, t);
    if (n == t.size()) {
      DrawPiece(l, t);
      return;
    }
    size_t cut = n, next = n;
    for (size_t b = n + 1; b-- > 0 && b + kBlankSearch >= n;) {
      if (t[b] == ' ') {
        cut = b;
        next = b + 1;
        break;
      }
    }
    if (next == 0) {  // nothing fits here
      if (l.pen.x > g_help.leftMargin) {
        NewLine(l);
        continue;
      }
      cut = next = 1;
    }
    DrawPiece(l, t.substr(0, cut));
    NewLine(l);
    t = t.substr(next);
  }
}

// Text up to the next tag: a line break (CR, LF or CR LF; a CR after a CR as before) becomes a
// blank, other control bytes go.
void Text(Layout& l, std::string_view raw) {
  std::string t;
  t.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(raw[i]);
    if ((c == 13 || c == 10) && (i == 0 || raw[i - 1] != 13)) t += ' ';
    else if (c >= 32) t += char(c);
  }
  WrapText(l, t);
}

struct Attribute {
  std::string name;  // in capitals
  std::string value;
};

// The attributes after the tag's name: NAME=value, a value in double quotes running to the
// closing quote.
std::vector<Attribute> Attributes(std::string_view tag) {
  std::vector<Attribute> out;
  size_t i = 0;
  while (i < tag.size() && !std::isspace(static_cast<unsigned char>(tag[i]))) ++i;
  const auto blank = [&](size_t k) { return std::isspace(static_cast<unsigned char>(tag[k])) != 0; };
  while (i < tag.size()) {
    while (i < tag.size() && blank(i)) ++i;
    const size_t from = i;
    while (i < tag.size() && tag[i] != '=' && !blank(i)) ++i;
    Attribute a{Upper(tag.substr(from, std::min(i - from, kMaxNameLength))), {}};
    if (i < tag.size() && tag[i] == '=') {
      ++i;
      if (i < tag.size() && tag[i] == '"') {
        const size_t end = tag.find('"', i + 1);
        a.value = std::string(tag.substr(i + 1, end == std::string_view::npos ? std::string_view::npos : end - i - 1));
        i = end == std::string_view::npos ? tag.size() : end + 1;
      } else {
        const size_t v = i;
        while (i < tag.size() && !blank(i)) ++i;
        a.value = std::string(tag.substr(v, i - v));
      }
    }
    if (!a.name.empty()) out.push_back(std::move(a));
  }
  return out;
}

void FontTag(Layout& l, std::string_view tag) {
  HelpPen& p = l.pen;
  p.size = 16;
  for (const Attribute& a : Attributes(tag)) {
    if (a.name == "FACE") {
      p.face = a.value.substr(0, kMaxNameLength);
    } else if (a.name == "SIZE") {
      const int32_t n = int32_t(std::clamp(std::atol(a.value.c_str()), 0L, long(kMaxSize)));
      p.size = std::clamp(n * 4, kMinSize, kMaxSize);
    } else if (a.name == "COLOR") {
      const std::string c = Upper(a.value);
      if (c == "WHITE") SetColour(l, kWhite);
      else if (c == "BLACK") SetColour(l, kBlack);
      else if (c == "YELLOW") SetColour(l, kYellow);
    }
  }
  UpdateFont(l);
}

void LinkStart(Layout& l, std::string_view tag) {
  HelpPen& p = l.pen;
  for (const Attribute& a : Attributes(tag)) {
    if (a.name != "HREF") continue;
    p.underline = true;
    UpdateFont(l);
    SetColour(l, kLinkGreen);
    p.inLink = true;
    p.linkDrawn = false;
    p.linkTarget = a.value;
    return;
  }
  p.inLink = false;
  p.linkTarget.clear();
}

void LinkEnd(Layout& l) {
  HelpPen& p = l.pen;
  p.underline = false;
  UpdateFont(l);
  RestoreColour(l);
  // A link with no text drawn still has its place, at the pen.
  if (!p.linkDrawn) AddLinkArea(p.x, p.y, p.x, p.y + p.size, p.linkTarget);
  p.inLink = false;
  p.linkTarget.clear();
}

// Tag names are matched as prefixes of the tag in capitals, every rule on every tag.
void Tag(Layout& l, std::string_view tag) {
  HelpPen& p = l.pen;
  const std::string u = Upper(tag.substr(0, 8));
  const auto is = [&](std::string_view name) { return u.compare(0, name.size(), name) == 0; };
  if (is("BR") && !p.lineStart) NewLine(l);
  if (is("P")) {
    for (const Attribute& a : Attributes(tag))
      if (a.name == "ALIGN") p.centred = Upper(a.value) == "CENTER";
    NewLine(l);
    p.lineStart = true;
  }
  if (is("/P")) {
    NewLine(l);
    p.lineStart = true;
    p.centred = false;
  }
  if (is("CENTER")) p.centred = true;
  if (is("/CENTER")) p.centred = false;
  if (is("FONT ")) FontTag(l, tag);
  if (is("A ")) LinkStart(l, tag);
  if (is("/A") && p.inLink) LinkEnd(l);
}

// The index page restarts from the last cached line at least a line above the pane's top and
// five lines above where the view begins.
bool RestartFromCache(Layout& l) {
  const HelpViewer& h = g_help;
  int64_t k = std::min<int64_t>(h.scroll / h.lineStep - kCacheRestartLines, int64_t(h.indexCache.size()) - 1);
  while (k >= 0 && h.indexCache[size_t(k)].y > h.scroll - h.lineStep) --k;
  if (k < 0) return false;
  l.pen = h.indexCache[size_t(k)];
  return true;
}

void FillCache(const HelpPen& pen) {
  HelpViewer& h = g_help;
  const int64_t k = pen.y / h.lineStep;
  while (int64_t(h.indexCache.size()) <= k && h.indexCache.size() < size_t(kHelpIndexCacheLines))
    h.indexCache.push_back(pen);
}

void TileBackground(Surface* target) {
  if (!g_help.background) return;
  for (int32_t ty = 0; ty < kTile; ++ty)
    for (int32_t tx = 0; tx < kTile; ++tx)
      SurfaceBltFast(target, tx * kTileWidth, ty * kTileHeight, g_help.background.get(), nullptr, 0);
}

}  // namespace

void HelpRender() {
  HelpViewer& h = g_help;
  Layout l;
  l.dc.surface = h.target;
  l.draw = h.target != nullptr;
  if (h.target) TileBackground(h.target);
  l.pen.x = h.leftMargin;
  l.pen.y = h.topMargin;
  h.links.clear();
  l.src = h.hasPage ? &h.text : &IdeText(IdeSection::Desc, kDescNoHelpPage);
  const std::string& src = *l.src;
  const bool known = h.documentHeight > 0;
  const bool index = h.hasPage && EndsWithNoCase(h.pageName, "index.htm");
  if (index && known) RestartFromCache(l);
  UpdateFont(l);
  if (l.dc.surface) l.dc.textPixel = PixelFromRgb(l.dc.surface->Format(), l.pen.colour);
  // The next byte c from a position on that is markup, not a '<' or '>' an entity gave.
  const std::vector<bool>* literal = h.hasPage ? &h.literal : nullptr;
  const auto markup = [&](char c, size_t from) {
    for (size_t at = src.find(c, from);; at = src.find(c, at + 1))
      if (at == std::string::npos || !literal || at >= literal->size() || !(*literal)[at]) return at;
  };
  size_t& pos = l.pen.parsePos;
  while (pos < src.size()) {
    if (known && l.pen.y - h.scroll > kLayoutBelow) break;
    if (index && !known) FillCache(l.pen);
    const unsigned char c = static_cast<unsigned char>(src[pos]);
    if (c < 32) {
      ++pos;
    } else if (c == '<' && markup('<', pos) == pos) {
      const size_t end = markup('>', pos);
      const std::string_view tag(src.data() + pos + 1, (end == std::string::npos ? src.size() : end) - pos - 1);
      pos = end == std::string::npos ? src.size() : end + 1;
      Tag(l, tag);
    } else {
      const size_t end = std::min(markup('<', pos + 1), src.size());
      const std::string_view piece(src.data() + pos, end - pos);
      pos = end;
      Text(l, piece);
    }
  }
  if (l.pen.y + 32 > h.documentHeight) h.documentHeight = l.pen.y + 32;
}

bool HelpLinkAt(int32_t x, int32_t y, std::string* target) {
  for (const HelpLink& k : g_help.links) {
    if (x >= k.x1 && x <= k.x2 && y >= k.y1 && y <= k.y2) {
      if (target) *target = k.target;
      return true;
    }
  }
  if (target) target->clear();
  return false;
}
