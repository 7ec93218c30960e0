// The --input file: its events reach the window's messages and the input layer when their
// frame comes, as if the user had typed and moved the mouse.
#include <cstdint>
#include <new>
#include <vector>

#include "core/run_state.h"
#include "display/display.h"
#include "platform/events.h"
#include "platform/host_files.h"
#include "platform/input_script.h"
#include "system/input.h"

namespace {

std::vector<ScriptEvent> g_script;
size_t g_next = 0;

// The pointer may have been placed anywhere: movement towards a point saturates.
int32_t Saturate(int64_t v) { return int32_t(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v); }

// Every key sends its message, as a keyboard does (vk 0 for a key without a virtual-key code);
// key code 0 is the release of a typed character that has no key of its own.
void DeliverKey(int code, bool down) {
  if (code) InputSetKey(code, down);
  const int vk = code ? VirtualKeyOfKeyCode(code) : 0;
  PostWindowMessage(Message{down ? MsgKind::KeyDown : MsgKind::KeyUp, vk, 0});
  // These keys type a character of their own, as the window's keyboard does.
  if (down && (vk == 8 || vk == 9 || vk == 13 || vk == 27)) PostWindowMessage(Message{MsgKind::Char, vk, 0});
}

void DeliverButton(int button, bool down) {
  InputSetMouseButton(button, down);
  static const MsgKind kDown[3] = {MsgKind::LButtonDown, MsgKind::RButtonDown, MsgKind::MButtonDown};
  static const MsgKind kUp[3] = {MsgKind::LButtonUp, MsgKind::RButtonUp, MsgKind::MButtonUp};
  if (button < 3) PostWindowMessage(Message{down ? kDown[button] : kUp[button], 0, 0});
}

}  // namespace

bool LoadInputScript(const std::string& file, std::string* error) {
  g_next = 0;
  try {
    std::string text;
    const FsRead read = FsReadHostStream(file, text, kMostInputFileBytes);
    if (read != FsRead::kOk) {
      if (error) *error = FsReadCause(read, "an input file");
      return false;
    }
    return ParseInputScript(text, g_script, error);
  } catch (const std::bad_alloc&) {
    g_script.clear();
    if (error) *error = "not enough memory to read it";
    return false;
  }
}

void ClearInputScript() {
  g_script.clear();
  g_next = 0;
}

void DeliverScriptEvents() {
  // Movement is measured from where the pointer is now; the poll that follows applies it.
  int32_t x = g_input.mouseX, y = g_input.mouseY;
  while (g_next < g_script.size() && g_script[g_next].frame <= g_runtime.framesRun) {
    const ScriptEvent& e = g_script[g_next++];
    switch (e.kind) {
      case ScriptEvent::Kind::KeyDown: DeliverKey(e.a, true); break;
      case ScriptEvent::Kind::KeyUp: DeliverKey(e.a, false); break;
      case ScriptEvent::Kind::Char: PostWindowMessage(Message{MsgKind::Char, e.a, 0}); break;
      case ScriptEvent::Kind::MouseTo:
        InputAddMouseMotion(Saturate(int64_t(e.a) - x), Saturate(int64_t(e.b) - y));
        x = e.a;
        y = e.b;
        PostWindowMessage(Message{MsgKind::MouseMove, e.a + g_display.pictureOffsetX, e.b + g_display.pictureOffsetY});
        break;
      case ScriptEvent::Kind::ButtonDown: DeliverButton(e.a, true); break;
      case ScriptEvent::Kind::ButtonUp: DeliverButton(e.a, false); break;
      case ScriptEvent::Kind::Wheel:
        InputAddMouseWheel(e.a * 120);
        PostWindowMessage(Message{MsgKind::MouseWheel, e.a * 120, 0});
        break;
    }
  }
}
