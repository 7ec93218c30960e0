// The browser panel: opening each kind with its layout, field editing, the hit test and the
// panel's handling of window messages.
#include <algorithm>

#include "devenv/browser_state.h"
#include "devenv/editor.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"
#include "platform/fs.h"

BrowserState g_browser;

namespace {

const std::string& General(int n) { return IdeText(IdeSection::General, n); }

struct ButtonPlace {
  int32_t label, centreX, y;
};
struct FieldPlace {
  bool editable;
  int32_t x, y, width;
};

struct KindLayout {
  int32_t kind, background, width, height;
  std::vector<ButtonPlace> buttons;  // buttons 1, 2, ...
  std::vector<FieldPlace> fields;    // fields 1, 2, ...
  bool list;
};

// The list kinds share their places: Cancel under the second button, fields beside the icon.
KindLayout ListKind(int32_t kind, int32_t confirmLabel, bool allFieldsEditable, int32_t fieldCount) {
  KindLayout k{kind, 1, 419, 321, {{kGeneralCancel, 362, 203}, {confirmLabel, 362, 176}}, {{true, 89, 175, 222}}, true};
  for (int32_t i = 1; i < fieldCount; ++i) k.fields.push_back({allFieldsEditable, 149, 207 + 24 * (i - 1), 162});
  return k;
}

KindLayout LayoutOf(int32_t kind) {
  switch (kind) {
    case 2: return ListKind(2, kGeneralOpen, false, 4);
    case 3: return ListKind(3, kGeneralSave, true, 4);
    case 4: return {4, 4, 405, 99, {{kGeneralNo, 245, 56}, {kGeneralYes, 159, 56}}, {}, false};
    case 6:
    case 7: return ListKind(kind, kGeneralMake, false, 1);
    case 8: return ListKind(8, kGeneralNew, false, 1);
    case 11: return {11, 3, 222, 140, {{kGeneralCancel, 153, 97}, {kGeneralFind, 68, 97}}, {{true, 30, 34, 162}, {false, 30, 66, 162}}, false};
    case 12: return {12, 3, 222, 140, {{kGeneralCancel, 153, 97}, {kGeneralReplace, 68, 97}}, {{true, 30, 34, 162}, {true, 30, 66, 162}}, false};
    case 71: {
      KindLayout k{71, 6, 419, 194, {{kGeneralDone, 365, 151}}, {}, false};
      for (int32_t i = 0; i < kMediaEditorCount; ++i) {
        k.buttons.push_back({kGeneralBrowse, 365, 30 + 24 * i});
        k.fields.push_back({true, 58, 30 + 24 * i, 259});
      }
      return k;
    }
    case 72: return ListKind(72, kGeneralChoose, false, 1);
    default: return {kind, 4, 405, 99, {{kGeneralCancel, 202, 56}}, {}, false};
  }
}

constexpr int32_t kMinButtonWidth = 87;

std::string Cut(const std::string& text) { return text.substr(0, size_t(kBrowserMaxText)); }

// The panel's start folder for new projects, and kind 72's: the chosen editor's folder.
void PlaceKindFolder(int32_t kind) {
  if (kind == 8) {
    const std::string folder = BrowserProjectsFolder();
    if (!folder.empty()) g_ide.browserFolder = folder;
  } else if (kind == 72) {
    const std::string& path = g_ide.mediaEditors[g_browser.chosenEditor].path;
    if (!path.empty()) {
      const std::string resolved = FsResolve(path);
      const std::string folder = FsFolderOf(resolved);
      if (FsFolderExists(folder.empty() ? "/" : folder)) g_ide.browserFolder = folder.empty() ? "/" : folder;
      g_browser.fields[1].text = Cut(FsToProgramName(resolved.substr(resolved.find_last_of('/') + 1)));
    }
  }
}

// The texts fields start with in each kind; the question and find kinds keep what the caller set.
void FillFields(int32_t kind) {
  BrowserField* f = g_browser.fields;
  if (kind == 2 || kind == 3 || kind == 6 || kind == 7 || kind == 8 || kind == 72) f[1].text.clear();
  if (kind == 2)
    for (int32_t i = 2; i <= 4; ++i) f[i].text.clear();
  if (kind == 3) {
    // The source's own name, as if picked from the list: saved again, it is that file.
    if (!g_ide.fileName.empty()) BrowserSetChosenName(FsToProgramName(g_ide.fileName), g_ide.fileName);
    f[2].text = Cut(g_ide.title);
    f[3].text = Cut(g_ide.author);
    f[4].text = Cut(g_ide.date);
  }
  if (kind == 71)
    for (int32_t i = 0; i < kMediaEditorCount; ++i) f[i + 1].text = Cut(g_ide.mediaEditors[i].path);
}

bool ReadHeaderOf(const std::string& path, std::string* title, std::string* author, std::string* date) {
  std::string data;
  if (FsReadRegularFile(path, data, 4096, true) != FsRead::kOk) return false;
  size_t pos = 0;
  *title = ReadHeaderField(data, &pos);
  *author = ReadHeaderField(data, &pos);
  *date = ReadHeaderField(data, &pos);
  return true;
}

// The modes whose confirm step a second click on a file runs, and that step.
int32_t ConfirmStepOfMode(int32_t mode) {
  switch (mode) {
    case 1: return 1;
    case 2: return 2;
    case 11: return 6;
    case 12: return 7;
    case 72: return 72;
    default: return 0;
  }
}

void ListClick(int32_t px, int32_t py) {
  BrowserState& b = g_browser;
  const int32_t row = (py - kTrackY) / kBrowserRowHeight;
  const int32_t index = b.firstVisible + row + 1;
  b.redraw = true;
  if (index > int32_t(b.entries.size())) {
    b.selected = 0;
    return;
  }
  const BrowserEntry& e = b.entries[size_t(index - 1)];
  if (px > IdeTextWidth(e.name) + 33) {
    b.selected = 0;
    return;
  }
  if (index == b.selected && b.kind != 8 && b.kind != 71) {
    if (e.type == kEntryFolder || e.type == kEntryRoot) {
      BrowserOpenEntry(index);
    } else {
      BrowserSetChosenName(e.name, e.real);
      if (const int32_t step = ConfirmStepOfMode(g_ide.dialogMode)) BrowserApplySelection(step);
    }
    return;
  }
  b.selected = index;
  const bool isParent = e.type == kEntryFolder && index == 1 && !g_ide.browserFolder.empty() && b.kind != 8;
  if (e.type == kEntryFolder && (b.kind != 8 || isParent)) return;
  if (e.type == kEntryRoot) return;
  BrowserSetChosenName(e.name, e.real);
  if (b.kind == 2 || b.kind == 3) {
    std::string t, a, d;
    if (ReadHeaderOf(BrowserJoin(g_ide.browserFolder, e.real), &t, &a, &d)) {
      b.fields[2].text = t;
      b.fields[3].text = a;
      b.fields[4].text = d;
    }
  }
  if (b.kind == 8) BrowserRelabelNewSelect();
}

void ScrollClick(int32_t py) {
  BrowserState& b = g_browser;
  const int32_t count = int32_t(b.entries.size());
  const int32_t last = std::max(0, count - kBrowserRows);
  b.redraw = true;
  if (py < kTrackY) {
    b.firstVisible = std::max(0, b.firstVisible - 1);
  } else if (py > kTrackY + kTrackHeight) {
    b.firstVisible = std::min(last, b.firstVisible + 1);
  } else if (count > kBrowserRows) {
    if (py >= b.thumbTop && py < b.thumbTop + b.thumbLength) {
      b.dragging = true;
      b.dragOffset = py - b.thumbTop;
    } else if (py < b.thumbTop) {
      b.firstVisible = std::max(0, b.firstVisible - kBrowserRows);
    } else {
      b.firstVisible = std::min(last, b.firstVisible + kBrowserRows);
    }
  }
}

void FieldKey(int32_t vk) {
  BrowserState& b = g_browser;
  std::string& t = b.editText;
  const int32_t length = int32_t(t.size());
  switch (vk) {
    case kVkLeft:
      b.cursor = std::max(0, b.cursor - 1);
      b.selectAll = false;
      break;
    case kVkRight:
      b.cursor = std::min(length, b.cursor + 1);
      b.selectAll = false;
      break;
    case kVkDelete:
    case kVkBack:
      if (b.selectAll) {
        t.clear();
        b.cursor = 0;
        b.selectAll = false;
      } else if (vk == kVkDelete && b.cursor < length) {
        t.erase(size_t(b.cursor), 1);
      } else if (vk == kVkBack && b.cursor > 0) {
        t.erase(size_t(--b.cursor), 1);
      }
      break;
    case kVkReturn:
      b.selectAll = false;
      if (b.kind != 4) BrowserCommitEdit();
      break;
    default: break;
  }
}

void FieldChar(unsigned char c) {
  BrowserState& b = g_browser;
  if (c < 32) return;
  if (b.selectAll) {
    b.editText.clear();
    b.cursor = 0;
    b.selectAll = false;
  }
  if (int32_t(b.editText.size()) >= kBrowserMaxText) return;
  b.editText.insert(size_t(b.cursor), 1, char(c));
  ++b.cursor;
}

// The panel's message goes; a failure that kept the panel open closes it with its message.
void DismissMessage() {
  g_browser.message.clear();
  g_ide.editorChanged = g_ide.redrawStatus = true;
  if (g_ide.dialogMode == 23) BrowserClose();
}

void LeftClick() {
  BrowserState& b = g_browser;
  b.mouseHeld = true;
  b.redraw = true;
  if (!b.message.empty()) {  // the click only clears the message
    DismissMessage();
    return;
  }
  const int32_t action = BrowserHitTest(g_ide.mouseX - b.left, g_ide.mouseY - b.top);
  if (action != 0) BrowserPerformAction(action);
}

}  // namespace

void ResetBrowserState() {
  BrowserReleasePictures();
  g_browser = BrowserState();
}

bool BrowserIsOpen() { return g_browser.state == 1; }
uint32_t BrowserOpenings() { return g_browser.openings; }

void BrowserSetButtonLabel(int32_t i, const std::string& label, int32_t centreX, int32_t minWidth) {
  BrowserButton& button = g_browser.buttons[i];
  button.label = label;
  button.width = std::max(IdeTextWidth(label) + 16, minWidth);
  button.x = centreX - button.width / 2;
  g_browser.redraw = true;
}

void BrowserOpenDialog(int32_t kind, int32_t centreX, int32_t centreY) {
  BrowserState& b = g_browser;
  if (b.state == 1) ResetBrowserItems();
  b.state = 1;
  ++b.openings;
  g_ide.caretHidden = true;
  BrowserChooseColours();
  if (kind != 4) {
    b.startFolder = FsCurrentFolder();
    g_ide.browserFolder = b.startFolder;
    b.chosenName.clear();
    b.chosenReal.clear();
  }
  const KindLayout layout = LayoutOf(kind);
  b.kind = kind;
  b.background = layout.background;
  b.width = layout.width;
  b.height = layout.height;
  b.message.clear();
  b.iconFrame = 0;
  b.dragging = false;
  FillFields(kind);
  PlaceKindFolder(kind);
  for (size_t i = 0; i < layout.buttons.size(); ++i) {
    const ButtonPlace& p = layout.buttons[i];
    BrowserButton& button = b.buttons[i + 1];
    button.exists = true;
    button.pressed = false;
    button.y = p.y;
    BrowserSetButtonLabel(int32_t(i + 1), General(p.label), p.centreX, kMinButtonWidth);
  }
  for (size_t i = 0; i < layout.fields.size(); ++i) {
    const FieldPlace& p = layout.fields[i];
    BrowserField& f = b.fields[i + 1];
    f.exists = true;
    f.editable = p.editable;
    f.x = p.x;
    f.y = p.y;
    f.width = p.width;
  }
  if (layout.list) {
    b.firstVisible = 0;
    BrowserBuildList();
    b.listShown = true;
  }
  b.left = centreX - b.width / 2;
  b.top = centreY - b.height / 2;
  if (b.fields[1].exists && b.fields[1].editable && kind != 71) BrowserBeginEdit(1);
  if (kind == 8) BrowserRelabelNewSelect();
  b.redraw = true;
}

void ResetBrowserItems() {
  BrowserState& b = g_browser;
  if (b.activeField > 0) BrowserCommitEdit();
  for (int32_t i = 0; i < kBrowserSlots; ++i) {
    b.buttons[i].exists = false;
    b.buttons[i].pressed = false;
    b.fields[i].exists = false;
  }
  b.editing = false;
  b.listShown = false;
  b.dragging = false;
  b.message.clear();
  b.state = 2;
  // The editor (or help page) comes back over the panel's place.
  g_ide.editorChanged = g_ide.redrawStatus = g_ide.redrawMenus = true;
  g_ide.shownHotSpot = -1;
}

void BrowserClose() {
  g_ide.dialogMode = 0;
  ResetBrowserItems();
}

void BrowserShowMessage(const std::string& text) {
  if (BrowserIsOpen()) {
    g_browser.message = text;
    g_browser.redraw = true;
  } else {
    g_ide.statusText = text;
    g_ide.statusColour = 0;
    g_ide.redrawStatus = true;
  }
}

void BrowserBeginEdit(int32_t i) {
  BrowserState& b = g_browser;
  b.editText = b.fields[i].text;
  b.editing = true;
  b.activeField = i;
  b.cursor = int32_t(b.editText.size());
  b.selectAll = true;
  b.cursorShown = true;
  b.blinkCounter = 0;
  b.redraw = true;
}

void BrowserCommitEdit() {
  BrowserState& b = g_browser;
  const int32_t i = b.activeField;
  b.editing = false;
  b.activeField = 0;
  b.redraw = true;
  if (i <= 0) return;
  b.fields[i].text = b.editText;
  if (b.kind == 3) {
    g_ide.title = b.fields[2].text;
    g_ide.author = b.fields[3].text;
    g_ide.date = b.fields[4].text;
  }
  if (b.kind == 71 && i <= kMediaEditorCount) {
    MediaEditor& m = g_ide.mediaEditors[i - 1];
    if (m.path != b.editText) m.processId = 0;
    m.path = b.editText;
    m.exists = !m.path.empty() && FsFileExists(m.path);
    if (!m.exists && !m.path.empty()) BrowserShowMessage(IdeText(IdeSection::Desc, kDescNoSuchFile));
    // The media menu's editor items follow the marks.
    std::vector<IdeMenuItem>& items = g_ide.menus[kMenuCount - 1].items;
    for (int32_t k = 0; k < kMediaEditorCount; ++k)
      if (size_t(4 + k) < items.size()) items[size_t(4 + k)].enabled = g_ide.mediaEditors[k].exists;
  }
  if (b.kind == 8) BrowserRelabelNewSelect();
}

void BrowserSetChosenName(const std::string& shown, const std::string& real) {
  BrowserState& b = g_browser;
  b.chosenName = Cut(shown);
  b.chosenReal = real;
  BrowserSetField(1, shown);
}

void BrowserRelabelNewSelect() {
  BrowserState& b = g_browser;
  if (b.kind != 8 || !b.buttons[2].exists) return;
  const std::string& typed = b.activeField == 1 ? b.editText : b.fields[1].text;
  const bool known = !typed.empty() && BrowserEntryNamed(typed, true);
  const std::string& label = General(known ? kGeneralSelect : kGeneralNew);
  if (b.buttons[2].label != label) BrowserSetButtonLabel(2, label, 362, kMinButtonWidth);
}

int32_t BrowserHitTest(int32_t px, int32_t py) {
  BrowserState& b = g_browser;
  for (int32_t i = kBrowserSlots - 1; i >= 1; --i) {
    BrowserButton& button = b.buttons[i];
    if (button.exists && px > button.x && px < button.x + button.width && py > button.y &&
        py < button.y + button.height) {
      button.pressed = true;
      b.redraw = true;
      return BrowserButtonAction(i);
    }
  }
  int32_t hit = 0;
  for (int32_t i = kBrowserSlots - 1; i >= 1 && hit == 0; --i) {
    const BrowserField& f = b.fields[i];
    if (f.exists && px >= f.x && px < f.x + f.width && py >= f.y && py < f.y + f.height) hit = i;
  }
  if (hit > 0 && b.fields[hit].editable) {
    if (b.activeField == 0) {
      BrowserBeginEdit(hit);
    } else if (b.activeField == hit) {
      b.selectAll = false;
    } else {
      BrowserCommitEdit();
      BrowserBeginEdit(hit);
    }
    b.redraw = true;
    return 0;
  }
  if (b.activeField > 0) BrowserCommitEdit();
  if (!b.listShown) return 0;
  if (px > kTrackX - 2 && px < kTrackX + kTrackWidth + 1 && py > 27 && py < 171) {
    ScrollClick(py);
  } else if (px >= 16 && px <= 388 && py >= kTrackY && py <= kTrackY + kTrackHeight) {
    ListClick(px, py);
  }
  return 0;
}

bool BrowserWindowMessage(const Message& m) {
  BrowserState& b = g_browser;
  switch (m.kind) {
    case MsgKind::LButtonDown: LeftClick(); return true;
    case MsgKind::LButtonUp:
      b.mouseHeld = false;
      for (BrowserButton& button : b.buttons) button.pressed = false;
      b.redraw = true;
      return false;  // the environment lets go of its button too
    case MsgKind::KeyDown:
      if (m.a == kVkIdeEscape) {  // cancels, as the panel's cancel button does
        BrowserPerformAction(g_ide.dialogMode == 72 ? 73 : 1);
      } else if (m.a == kVkReturn && !b.message.empty()) {
        DismissMessage();  // as a click does
      } else if (m.a == kVkReturn && b.kind == 4 && b.buttons[2].exists) {
        // A question answers yes. In the panels with fields Enter only ends the field's edit:
        // their buttons (Replace among them) act on a click alone.
        BrowserPerformAction(BrowserButtonAction(2));
        for (BrowserButton& button : b.buttons) button.pressed = false;
      } else if (b.activeField > 0) {
        FieldKey(m.a);
        b.cursorShown = true;
        b.blinkCounter = 0;
      }
      BrowserRelabelNewSelect();
      b.redraw = true;
      return true;
    case MsgKind::Char:
      if (b.activeField > 0) FieldChar(static_cast<unsigned char>(m.a));
      BrowserRelabelNewSelect();
      b.redraw = true;
      return true;
    case MsgKind::Activate:
      // Coming back to (or leaving) the window drops the panel.
      if (b.kind != 4 && !b.startFolder.empty()) FsChangeFolder(b.startFolder);
      BrowserClose();
      IdeDropCancelled();
      return false;
    default: return false;
  }
}

void SetBrowserPath(const std::string& folder) { g_ide.browserFolder = folder; }
const std::string& GetBrowserPath() { return g_ide.browserFolder; }

void BrowserSetField(int32_t i, const std::string& text) {
  if (i < 1 || i >= kBrowserSlots) return;
  BrowserState& b = g_browser;
  b.fields[i].text = Cut(text);
  if (i == 1 && b.fields[1].text != b.chosenName) b.chosenReal.clear();  // no longer the chosen entry
  if (b.activeField == i) {
    b.editText = b.fields[i].text;
    b.cursor = int32_t(b.editText.size());
  }
  b.redraw = true;
}

const std::string& GetBrowserItem(int32_t i) {
  static const std::string empty;
  if (i < 1 || i >= kBrowserSlots) return empty;
  return g_browser.activeField == i ? g_browser.editText : g_browser.fields[i].text;
}

void BrowserClearList() {
  g_browser.entries.clear();
  g_browser.selected = 0;
  g_browser.firstVisible = 0;
}

