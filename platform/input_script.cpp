#include "platform/input_script.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "platform/codepage.h"
#include "platform/input.h"

namespace {

constexpr int64_t kLastFrame = int64_t(1) << 40;
constexpr size_t kMostEvents = 1000000;

// A whole-token decimal integer within [low, high].
bool ReadNumber(const std::string& token, int64_t low, int64_t high, int64_t& out) {
  if (token.empty() || token.size() > 20) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(token.c_str(), &end, 10);
  if (errno || *end != 0 || v < low || v > high) return false;
  out = v;
  return true;
}

bool ReadUpDown(const std::string& token, bool& down) {
  if (token == "down") down = true;
  else if (token == "up") down = false;
  else return false;
  return true;
}

int ButtonOfName(const std::string& name) {
  if (name == "left") return 0;
  if (name == "right") return 1;
  if (name == "middle") return 2;
  if (name == "fourth") return 3;
  return -1;
}

// The form of each event, for the error of a line that does not fit it.
const char* FormOf(const std::string& verb) {
  static const char* const kForms[][2] = {
      {"key", "FRAME key NAME down|up"},   {"type", "FRAME type TEXT"},
      {"char", "FRAME char CODE (1-255)"}, {"mouse", "FRAME mouse X Y"},
      {"button", "FRAME button left|right|middle|fourth down|up"}, {"wheel", "FRAME wheel N"},
  };
  for (const auto& f : kForms)
    if (verb == f[0]) return f[1];
  return nullptr;
}

// Parses one line; false with the reason.
bool ParseLine(const std::string& line, std::vector<ScriptEvent>& out, std::string& why) {
  std::istringstream in(line);
  std::string frameText, verb;
  in >> frameText >> verb;
  ScriptEvent e;
  if (!ReadNumber(frameText, 0, kLastFrame, e.frame)) {
    why = "a line must start with a frame number, as in \"10 key A down\"";
    return false;
  }
  std::vector<std::string> args;
  if (verb == "type") {
    // The text is everything after one blank behind the word.
    size_t at = line.find("type") + 4;
    if (at < line.size()) ++at;
    std::string text = Utf8ToCodePage(TextCodePage(), line.substr(std::min(at, line.size())));
    // One character a frame, typed as a key goes down and released the frame after, so each
    // character is seen once. A character without a key of its own is released by key code 0.
    int64_t frame = e.frame;
    for (unsigned char c : text) {
      if (c == 0) continue;
      const int key = KeyCodeOfCharacter(c);
      const int vk = VirtualKeyOfKeyCode(key);
      if (key) out.push_back({frame, ScriptEvent::Kind::KeyDown, key, 0});
      // These keys type their character themselves.
      if (vk != 8 && vk != 9 && vk != 13 && vk != 27) out.push_back({frame, ScriptEvent::Kind::Char, c, 0});
      out.push_back({frame + 1, ScriptEvent::Kind::KeyUp, key, 0});
      ++frame;
    }
    return true;
  }
  for (std::string t; in >> t;) args.push_back(t);
  int64_t v = 0, w = 0;
  bool down = false;
  if (verb == "key" && args.size() >= 2) {
    // Key names may have blanks ("Left Ctrl", "Page Up"): all words before the last.
    std::string name = args[0];
    for (size_t k = 1; k + 1 < args.size(); ++k) name += " " + args[k];
    int code = KeyCodeOfName(name);
    if (!code) {
      why = "unknown key \"" + name + "\": expected " + FormOf(verb);
      return false;
    }
    if (!ReadUpDown(args.back(), down)) {
      why = std::string("a key is \"down\" or \"up\": expected ") + FormOf(verb);
      return false;
    }
    e.kind = down ? ScriptEvent::Kind::KeyDown : ScriptEvent::Kind::KeyUp;
    e.a = code;
  } else if (verb == "char" && args.size() == 1 && ReadNumber(args[0], 1, 255, v)) {
    // Released the frame after, as a typed character without a key of its own is.
    out.push_back({e.frame, ScriptEvent::Kind::Char, int32_t(v), 0});
    e = {e.frame + 1, ScriptEvent::Kind::KeyUp, 0, 0};
  } else if (verb == "mouse" && args.size() == 2 && ReadNumber(args[0], -100000, 100000, v) &&
             ReadNumber(args[1], -100000, 100000, w)) {
    e.kind = ScriptEvent::Kind::MouseTo;
    e.a = int32_t(v);
    e.b = int32_t(w);
  } else if (verb == "button" && args.size() == 2 && ButtonOfName(args[0]) >= 0 && ReadUpDown(args[1], down)) {
    e.kind = down ? ScriptEvent::Kind::ButtonDown : ScriptEvent::Kind::ButtonUp;
    e.a = ButtonOfName(args[0]);
  } else if (verb == "wheel" && args.size() == 1 && ReadNumber(args[0], -10000, 10000, v)) {
    e.kind = ScriptEvent::Kind::Wheel;
    e.a = int32_t(v);
  } else {
    const char* form = FormOf(verb);
    why = (verb.empty() ? "an event is missing after the frame number" : "cannot read the \"" + verb + "\" event") +
          (form ? std::string(": expected ") + form : ": the events are key, type, char, mouse, button and wheel");
    return false;
  }
  out.push_back(e);
  return true;
}

}  // namespace

bool ParseInputScript(const std::string& text, std::vector<ScriptEvent>& events, std::string* error) {
  events.clear();
  size_t start = 0;
  int lineNumber = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    ++lineNumber;
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    std::string why;
    if (!ParseLine(line.substr(first), events, why) || events.size() > kMostEvents) {
      if (why.empty()) why = "too many events";
      if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
      events.clear();
      return false;
    }
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const ScriptEvent& x, const ScriptEvent& y) { return x.frame < y.frame; });
  return true;
}
