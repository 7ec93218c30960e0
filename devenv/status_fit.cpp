// How the status line fits a text that names files: parts of it give way in their middle, marked
// "\x85", in an order that keeps what the text is for (the copy's name, the cause) to the last.
#include <algorithm>
#include <vector>

#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"

int32_t IdeStatusWidth(const std::string& text, int32_t band) {
  int32_t width = 0;
  for (unsigned char c : text) width += c >= 32 ? IdeGlyphWidth(band * 256 + c) : 0;
  return width;
}

namespace {

// Characters start..end of the text, of which `head` stay before the "\x85" and `tail` after it,
// never fewer than `least` in all. Parts of a lower rank give way first.
struct Part {
  size_t start, end;
  int rank;
  size_t least, head, tail;
};

Part MakePart(size_t start, size_t end, int rank, size_t least) {
  const size_t n = end - start;
  return {start, end, rank, std::min(least, n), n - n / 2, n / 2};
}

bool Fits(const std::string& text, int32_t band) { return IdeStatusWidth(text, band) <= kStatusTextWidth; }

// The text with each part shortened as it stands (the parts by start, none overlapping).
std::string Shown(const std::string& text, const std::vector<Part>& parts) {
  std::string out;
  size_t from = 0;
  for (const Part& p : parts) {
    out += text.substr(from, p.start - from);
    if (p.head + p.tail == p.end - p.start) out += text.substr(p.start, p.end - p.start);
    else out += text.substr(p.start, p.head) + "\x85" + text.substr(p.end - p.tail, p.tail);
    from = p.end;
  }
  return out + text.substr(from);
}

// The text with its parts up to rank `last` giving way, rank by rank, a character at a time from
// the longest part of the rank, until it fits; the shortest they make it where it never does.
std::string GiveWay(const std::string& text, std::vector<Part> parts, int last, int32_t band) {
  std::sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) { return a.start < b.start; });
  std::string out = Shown(text, parts);
  for (int rank = 0; rank <= last; ++rank) {
    while (!Fits(out, band)) {
      Part* longest = nullptr;
      for (Part& p : parts)
        if (p.rank == rank && p.head + p.tail > p.least && (!longest || p.head + p.tail > longest->head + longest->tail))
          longest = &p;
      if (!longest) break;
      --(longest->head > longest->tail ? longest->head : longest->tail);
      out = Shown(text, parts);
    }
  }
  return out;
}

// Each path of a notice (a word with a '/'): its folder part (rank 0) and its name (rank 2).
std::vector<Part> PathParts(const std::string& text) {
  std::vector<Part> parts;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find(' ', at), text.size());
    const size_t slash = end > at ? text.rfind('/', end - 1) : std::string::npos;
    if (slash != std::string::npos && slash >= at) {
      parts.push_back(MakePart(at, slash, 0, 1));
      parts.push_back(MakePart(slash + 1, end, 2, 2));
    }
    at = end + 1;
  }
  return parts;
}

// The source a notice of kept text speaks of: after "the unsaved changes of ", up to what became
// of them.
void AddSourceName(const std::string& text, std::vector<Part>& parts) {
  const std::string of = "the unsaved changes of ";
  if (text.rfind(of, 0) != 0) return;
  size_t end = text.find(" are kept in ", of.size());
  if (end == std::string::npos) end = text.find(" could not be kept", of.size());
  if (end == std::string::npos) return;
  for (const Part& p : parts)
    if (p.start < end && p.end > of.size()) return;
  parts.push_back(MakePart(of.size(), end, 1, 2));
}

}  // namespace

std::string IdeFitNotice(const std::string& text, int32_t band) {
  std::vector<Part> parts = PathParts(text);
  std::string out = GiveWay(text, parts, 0, band);
  if (Fits(out, band)) return out;
  // The reason in brackets gives way next, then the source's name, then the files' names.
  const size_t open = text.find(" ("), close = text.find("):", open);
  if (close != std::string::npos) return IdeFitNotice(text.substr(0, open) + text.substr(close + 1), band);
  AddSourceName(text, parts);
  out = GiveWay(text, parts, 2, band);
  while (!Fits(out, band)) out.pop_back();
  return out;
}

std::string IdeFitBuildFailure(const std::string& text, int32_t band) {
  const std::string failed = IdeText(IdeSection::Desc, kDescNotBuilt) + ": ";
  if (text.rfind(failed, 0) != 0) return IdeFitNotice(text, band);
  // The failure's own text: "... PATH: cause", the cause after its last ": ".
  const std::string why = text.substr(failed.size());
  const size_t cause = why.rfind(": ");
  std::vector<Part> parts;
  const size_t path = cause == std::string::npos ? std::string::npos : why.rfind(" /", cause);
  if (path != std::string::npos) {
    const size_t slash = why.rfind('/', cause - 1);
    parts.push_back(MakePart(path + 1, slash, 0, 1));
    parts.push_back(MakePart(slash + 1, cause, 1, 2));
  }
  // The folder gives way first, then the words before the failure's own text, then the file's
  // name; the cause stays whole, and where even that is too long its end shows.
  std::vector<Part> inText = parts;
  for (Part& p : inText) p.start += failed.size(), p.end += failed.size();
  std::string out = GiveWay(text, inText, 0, band);
  if (Fits(out, band)) return out;
  out = GiveWay(why, parts, 1, band);
  while (!Fits(out, band)) out.erase(0, 1);
  return out;
}
