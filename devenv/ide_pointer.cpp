// The environment's pointer and text caret: the display's two pointer sprites, drawn over each
// frame after it is copied to the back buffer.
#include "devenv/editor.h"
#include "devenv/help_viewer.h"
#include "devenv/ide_draw.h"
#include "display/display.h"
#include "display/record_pools.h"

namespace {

// The text pane, where the pointer takes the caret's shape.
bool OverTextPane() {
  return !g_ide.helpView && g_ide.openMenu == 0 && g_ide.dialogMode == 0 && g_ide.mouseX >= 0 &&
         g_ide.mouseX <= 616 && g_ide.mouseY >= 43 && g_ide.mouseY <= 458;
}

// The pointer's shape: the hand over a help link, the caret over the text pane, else the arrow.
int32_t PointerShape() {
  if (g_ide.helpView && g_ide.dialogMode == 0 && !g_help.pointerLink.empty()) return 6;
  return OverTextPane() && !g_ide.buttonHeld ? 2 : 1;
}

}  // namespace

void IdeCreatePointerSprites() {
  CreateDisplayPools();
  // Record 0 of the image and texture pools stands for none.
  AllocImageRecord();
  AllocTextureRecord();
  LoadDefaultBitmapSurface(1);
  // The whole frame is drawn again each time: nothing under the sprites needs saving.
  CreatePointerSprites(0);
  SetPointerShape(4);
}

void IdeReleasePointerSprites() {
  ReleasePointerSprites();
  ReleaseDefaultBitmapSurface();
  FreeDisplayPools();
}

void IdeDrawPointerSprites() {
  if (!PointerSpritesPresent()) return;
  SetPointerShape(PointerShape());
  int32_t x = 0, y = 0;
  // The caret sprite sits one pixel up and left of the position handed over.
  if (EditorCaretPosition(&x, &y)) SetCaretSpritePosition(x + 1, y + 1);
  else SetCaretSpritePosition(-255, -255);
  SetPointerSpritePosition(g_ide.mouseX, g_ide.mouseY);
  UpdatePointerSprites();
  DrawAllSprites();
}
