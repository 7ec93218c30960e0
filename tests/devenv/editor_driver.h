#pragma once
#include <string>

#include "devenv/editor.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_shell.h"
#include "tests/devenv/devenv_fixture.h"

// Drives the editor headless as the environment's frame loop would: window messages for keys
// and typed characters, the keyboard state for Shift, Control, the Page keys and the Control
// shortcuts, a frame drawn after each.
class EditorTest : public DevenvTest {
 protected:
  void SetUp() override {
    DevenvTest::SetUp();
    ASSERT_TRUE(IdeCreateSurfaces(16));
    ASSERT_TRUE(IdeBuildFont());
    EditorNewEmpty();
  }
  void TearDown() override {
    IdeReleaseSurfaces();
    DevenvTest::TearDown();
  }
  // Typed text: '\n' is Enter, '\b' Backspace, '\t' Tab.
  void Type(const std::string& text) {
    for (char c : text) {
      Deliver({MsgKind::Char, c == '\n' ? 13 : static_cast<unsigned char>(c), 0});
    }
  }
  // A key pressed and released, held for the given number of frames.
  void Key(int vk, bool shift = false, bool control = false, int times = 1, int heldFrames = 1) {
    for (int i = 0; i < times; ++i) {
      g_ide.keysHeld[kVkShift] = shift;
      g_ide.keysHeld[kVkControl] = control;
      g_ide.keysHeld[vk] = true;
      Deliver({MsgKind::KeyDown, vk, 0});
      for (int f = 0; f < heldFrames; ++f) IdeShellFrameKeys();
      g_ide.keysHeld[vk] = false;
      g_ide.keysHeld[kVkShift] = g_ide.keysHeld[kVkControl] = false;
      IdeShellFrameKeys();
    }
  }
  void Deliver(const Message& m) {
    IdeWindowMessage(m);
    IdeRedraw();
  }
  const std::string& Line(int row) const { return g_ide.editor.lines[size_t(row)]; }
  std::string Text() const {
    std::string t;
    for (const std::string& l : g_ide.editor.lines) t += l + "\n";
    return t;
  }
};
