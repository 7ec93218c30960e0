// Sprite commands; each has an old and a new number with the same keyword.
#include <cmath>

#include "core/handler.h"
#include "display/commands.h"
#include "display/draw_queue.h"
#include "display/images.h"
#include "display/record_pools.h"
#include "display/sprites.h"

namespace {

// The sprite of operand k, checked for range (301) and, when asked, existence (302); null
// after an error.
FrameRecord* Sprite(int k, bool mustExist = true) {
  const int32_t n = OpInt(k);
  if (!SpriteNumberValid(n)) {
    RunError(kErrSpriteNumberOutOfRange);
    return nullptr;
  }
  const uint32_t f = SpriteRecordOf(n);
  if (!f && mustExist) RunError(kErrSpriteMissing);
  return f ? FrameAt(f) : nullptr;
}

// Queries: result in operand 0, sprite in operand 1.
template <class Value>
void Query(Value value) {
  FrameRecord* f = Sprite(1);
  // A sprite deleted this frame (its record kept until the frame is drawn) is gone to every
  // query, as to SPRITE EXIST.
  if (f && f->countdown != 0) {
    RunError(kErrSpriteMissing);
    f = nullptr;
  }
  if (f) OpCell(0)->i = value(*f);
  SkipOperands(2);
}

int32_t Percent(float scale) {
  const double v = double(scale) * 100.0;
  return std::isfinite(v) && std::fabs(v) < 2e9 ? int32_t(v) : 0;
}

void CmdSprite() {
  const int32_t n = OpInt(0);
  if (!SpriteNumberValid(n)) {
    RunError(kErrSpriteNumberOutOfRange);
  } else if (const uint32_t f = MakeSprite(n)) {
    FrameRecord& s = g_framePool[f];
    s.x = OpInt(1);
    s.y = OpInt(2);
    s.imageNumber = OpInt(3);
    // An image number out of range or unbound shows nothing.
    const uint32_t r = ImageRecordOf(s.imageNumber);
    s.imageRecord = r ? int32_t(r) : -1;
  }
  SkipOperands(4);
}

void CmdSetSprite() {
  const int32_t n = OpInt(0), save = OpInt(1), transparent = OpInt(2);
  if (!SpriteNumberValid(n)) {
    RunError(kErrSpriteNumberOutOfRange);
  } else if (save != 0 && save != 1) {
    RunError(kErrSpriteSaveFlagInvalid);
  } else if (transparent != 0 && transparent != 1) {
    RunError(kErrSpriteTransparencyInvalid);
  } else if (const uint32_t f = MakeSprite(n)) {
    g_framePool[f].savesBackground = uint32_t(save);
    g_framePool[f].transparent = uint32_t(transparent);
  }
  SkipOperands(3);
}

void CmdDeleteSprite() {
  if (Sprite(0)) DeleteSprite(OpInt(0));
  SkipOperands(1);
}

void CmdPasteSprite() {
  if (Sprite(0)) {
    QueuePasteSprite(OpInt(0), OpInt(1), OpInt(2));
    if (g_draw.programBitmap == 0) AutoRefresh();
  }
  SkipOperands(3);
}

void CmdSizeSprite() {
  if (FrameRecord* f = Sprite(0)) {
    const int32_t w = OpInt(1), h = OpInt(2);
    const ImageRecord* img = ImageAt(ImageRecordOf(f->imageNumber));
    if (w < 0 || h < 0) {
      RunError(kErrSpriteSizeNegative);
    } else if (f->imageNumber >= 1 && img && img->width > 0 && img->height > 0) {
      f->scaleX = float(w) / float(img->width);
      f->scaleY = float(h) / float(img->height);
    }
  }
  SkipOperands(3);
}

bool PercentOk(int32_t p) { return p >= 0 && p <= 250000; }

void CmdScaleSprite() {
  if (FrameRecord* f = Sprite(0)) {
    const int32_t p = OpInt(1);
    if (!PercentOk(p)) RunError(kErrSpriteScaleOutOfRange);
    else f->scaleX = f->scaleY = float(p) / 100.0f;
  }
  SkipOperands(2);
}

void CmdStretchSprite() {
  if (FrameRecord* f = Sprite(0)) {
    const int32_t px = OpInt(1), py = OpInt(2);
    if (!PercentOk(px) || !PercentOk(py)) {
      RunError(kErrSpriteScaleOutOfRange);
    } else {
      f->scaleX = float(px) / 100.0f;
      f->scaleY = float(py) / 100.0f;
    }
  }
  SkipOperands(3);
}

void CmdOffsetSprite() {
  if (FrameRecord* f = Sprite(0)) {
    f->offsetX = OpInt(1);
    f->offsetY = OpInt(2);
  }
  SkipOperands(3);
}

void CmdMirrorSprite() {
  if (FrameRecord* f = Sprite(0)) f->mirrored = f->mirrored == 1 ? 0 : 1;
  SkipOperands(1);
}

void CmdFlipSprite() {
  if (FrameRecord* f = Sprite(0)) f->flipped = f->flipped == 1 ? 0 : 1;
  SkipOperands(1);
}

void CmdHideSprite() {
  if (FrameRecord* f = Sprite(0)) f->visible = 0;
  SkipOperands(1);
}

void CmdShowSprite() {
  if (FrameRecord* f = Sprite(0)) f->visible = 1;
  SkipOperands(1);
}

// Hide and show all act on the program's sprites (priority 0, with an image); the pointer
// sprites and the records of 3D objects stay as they are.
void ShowAll(uint32_t from, uint32_t to) {
  if (!g_framePool.Created()) return;
  g_framePool.ForEachUsed([&](uint32_t, FrameRecord& f) {
    if (f.priority == 0 && !f.belongsTo3D && f.visible == from && f.imageRecord != -1) f.visible = to;
  });
}
void CmdHideAllSprites() { ShowAll(1, 0); }
void CmdShowAllSprites() { ShowAll(0, 1); }

void CmdSpriteExist() {
  const int32_t n = OpInt(1);
  if (!SpriteNumberValid(n)) {
    RunError(kErrSpriteNumberOutOfRange);
  } else {
    // Record 0 is taken but means "no sprite" in the number table.
    const uint32_t r = SpriteRecordOf(n);
    const FrameRecord* f = r ? FrameAt(r) : nullptr;
    OpCell(0)->i = f && f->countdown == 0 ? 1 : 0;
  }
  SkipOperands(2);
}

void CmdSpriteX() { Query([](const FrameRecord& f) { return f.x; }); }
void CmdSpriteY() { Query([](const FrameRecord& f) { return f.y; }); }
void CmdSpriteOffsetX() { Query([](const FrameRecord& f) { return f.offsetX; }); }
void CmdSpriteOffsetY() { Query([](const FrameRecord& f) { return f.offsetY; }); }
void CmdSpriteWidth() { Query([](const FrameRecord& f) { return SpriteWidth(f); }); }
void CmdSpriteHeight() { Query([](const FrameRecord& f) { return SpriteHeight(f); }); }
void CmdSpriteImage() { Query([](const FrameRecord& f) { return f.imageNumber; }); }
void CmdSpriteScaleX() { Query([](const FrameRecord& f) { return Percent(f.scaleX); }); }
void CmdSpriteScaleY() { Query([](const FrameRecord& f) { return Percent(f.scaleY); }); }
void CmdSpriteMirrored() { Query([](const FrameRecord& f) { return f.mirrored ? 1 : 0; }); }
void CmdSpriteFlipped() { Query([](const FrameRecord& f) { return f.flipped ? 1 : 0; }); }

// Collision of sprite a (operand 1) with sprite b (operand 2), or with the first sprite of
// the frame list that it meets when b is out of range. False when an error was raised.
bool Collide(int32_t* result) {
  FrameRecord* a = Sprite(1);
  if (!a) return false;
  const uint32_t fa = SpriteRecordOf(OpInt(1));
  const int32_t b = OpInt(2);
  if (!SpriteNumberValid(b)) {
    *result = 0;
    for (uint32_t f = g_framePool.UsedHead(); f != kNoRecord; f = g_framePool[f].next) {
      // Only the program's sprites count: the pointer sprites have no number.
      if (f != fa && g_framePool[f].spriteNumber != 0 && SpritesOverlap(fa, f)) {
        *result = g_framePool[f].spriteNumber;
        break;
      }
    }
    return true;
  }
  const uint32_t fb = SpriteRecordOf(b);
  if (!fb) {
    RunError(kErrSpriteMissing);
    return false;
  }
  *result = g_framePool[fb].spriteNumber >= 1 ? SpritesOverlap(fa, fb) : 0;
  return true;
}

void CmdSpriteCollision() {
  int32_t result = 0;
  if (Collide(&result)) OpCell(0)->i = result;
  SkipOperands(3);
}

// A contact reports once: only when the previous query of sprite a found none.
void CmdSpriteHit() {
  int32_t result = 0;
  const bool ok = Collide(&result);
  const uint32_t fa = SpriteNumberValid(OpInt(1)) ? SpriteRecordOf(OpInt(1)) : 0;
  if (fa) {
    FrameRecord& a = g_framePool[fa];
    OpCell(0)->i = ok && result >= 1 && a.lastHit == 0 ? result : 0;
    a.lastHit = ok ? result : 0;
  }
  SkipOperands(3);
}

const CommandDef kSpriteCommands[] = {
    {207, CmdSprite, "llll"},          {5500, CmdSprite, "llll"},
    {251, CmdSetSprite, "lll"},        {5501, CmdSetSprite, "lll"},
    {464, CmdDeleteSprite, "l"},       {5514, CmdDeleteSprite, "l"},
    {465, CmdPasteSprite, "lll"},      {5515, CmdPasteSprite, "lll"},
    {5502, CmdSizeSprite, "lll"},      {453, CmdScaleSprite, "ll"},
    {5503, CmdScaleSprite, "ll"},      {454, CmdStretchSprite, "lll"},
    {5504, CmdStretchSprite, "lll"},   {461, CmdOffsetSprite, "lll"},
    {5511, CmdOffsetSprite, "lll"},    {462, CmdMirrorSprite, "l"},
    {5512, CmdMirrorSprite, "l"},      {463, CmdFlipSprite, "l"},
    {5513, CmdFlipSprite, "l"},        {5516, CmdHideSprite, "l"},
    {5517, CmdShowSprite, "l"},        {5518, CmdHideAllSprites, ""},
    {5519, CmdShowAllSprites, ""},     {470, CmdSpriteExist, "ll"},
    {5520, CmdSpriteExist, "ll"},      {471, CmdSpriteX, "ll"},
    {5521, CmdSpriteX, "ll"},          {472, CmdSpriteY, "ll"},
    {5522, CmdSpriteY, "ll"},          {473, CmdSpriteOffsetX, "ll"},
    {5523, CmdSpriteOffsetX, "ll"},    {474, CmdSpriteOffsetY, "ll"},
    {5524, CmdSpriteOffsetY, "ll"},    {475, CmdSpriteWidth, "ll"},
    {5525, CmdSpriteWidth, "ll"},      {476, CmdSpriteHeight, "ll"},
    {5526, CmdSpriteHeight, "ll"},     {477, CmdSpriteImage, "ll"},
    {5527, CmdSpriteImage, "ll"},      {479, CmdSpriteScaleX, "ll"},
    {5529, CmdSpriteScaleX, "ll"},     {480, CmdSpriteScaleY, "ll"},
    {5530, CmdSpriteScaleY, "ll"},     {483, CmdSpriteMirrored, "ll"},
    {5533, CmdSpriteMirrored, "ll"},   {484, CmdSpriteFlipped, "ll"},
    {5534, CmdSpriteFlipped, "ll"},    {491, CmdSpriteHit, "lll"},
    {5541, CmdSpriteHit, "lll"},       {492, CmdSpriteCollision, "lll"},
    {5542, CmdSpriteCollision, "lll"},
};

}  // namespace

std::span<const CommandDef> SpriteCommands() { return kSpriteCommands; }
