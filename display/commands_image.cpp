// Image commands: get, load, save, delete and ask after images; paste and rotate them.
#include "core/handler.h"
#include "core/pack.h"
#include "display/bitmaps.h"
#include "display/commands.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "display/images.h"
#include "display/record_pools.h"
#include "display/textures.h"
#include "platform/fs.h"

namespace {

// The image number of operand k, checked (501); 0 when out of range.
int32_t ImageNumber(int k) {
  const int32_t n = OpInt(k);
  if (ImageNumberValid(n)) return n;
  RunError(kErrImageNumberOutOfRange);
  return 0;
}

// Drawing to the screen shows at once in automatic mode.
void RefreshRule() {
  if (g_draw.programBitmap == 0) AutoRefresh();
}

void GetImage(int32_t textureMode) {
  if (const int32_t n = ImageNumber(0)) {
    if (const uint32_t r = BindImageNumber(n)) QueueGetImage(r, OpInt(1), OpInt(2), OpInt(3), OpInt(4), textureMode);
  }
  AutoRefresh();
}

void CmdGetImage() {
  GetImage(0);
  SkipOperands(5);
}

void CmdGetImageFlag() {
  GetImage(OpInt(5));
  SkipOperands(6);
}

// The name exists, looked up through the pack first; a folder, device or FIFO counts, and its
// load then fails as not a regular file.
bool ImageFileExists(const char* file) {
  std::string name = file;
  if (name.size() >= 3) MapThroughPack(name, PackedCopyExtension(name));
  return FsPathExists(name);
}

void LoadImage(bool withTexture) {
  const int32_t n = ImageNumber(1);
  if (!n) return;
  const std::string file(OpString(0), strnlen(OpString(0), kMaxText));
  // The message names the file and the cause after the error's own text.
  if (!ImageFileExists(file.c_str())) {
    LogEngineError(file + ": not found");
    return RunError(kErrFileNotFound);
  }
  std::string why;
  const FileLoadScope load(kErrBitmapFileUnreadable, file);
  if (!LoadBitmapNow(kScratchSlot, file, &why)) {
    if (WarningsReported()) LogEngineError(file + ": " + why);
    return RunWarning(kErrBitmapFileUnreadable);
  }
  const uint32_t r = BitmapToImage(kScratchSlot);
  ReleaseSurfaceSlot(kScratchSlot);
  if (!r) return;
  // The number's old record (and its texture) goes now, or after the countdown while queued
  // drawing or a sprite still uses it.
  RebindImageNumber(n, r);
  if (!withTexture) return;
  const int32_t transparent = OpInt(2) == 2 ? 1 : 0;
  AcquireImageTextureEx(r, 1, transparent);
}

void CmdLoadImage() {
  LoadImage(false);
  SkipOperands(2);
  AutoRefresh();
}

void CmdLoadImageTexture() {
  LoadImage(true);
  SkipOperands(3);
  AutoRefresh();
}

void CmdSaveImage() {
  if (const int32_t n = ImageNumber(1)) {
    const uint32_t r = ImageRecordOf(n);
    if (!r) {
      RunError(kErrImageMissing);
    } else if (FsFileExists(OpString(0))) {  // a name only the pack holds is the program's to write
      RunFileError(kErrFileExists, OpString(0), "already exists");
    } else {
      MakePackedFoldersFor(OpString(0));
      QueueSaveImage(r, OpString(0));
    }
  }
  SkipOperands(2);
  AutoRefresh();
}

void CmdDeleteImage() {
  if (const int32_t n = ImageNumber(0)) {
    if (!ImageRecordOf(n)) RunError(kErrImageMissing);
    else DeleteImageNumber(n);
  }
  SkipOperands(1);
}

void CmdImageExist() {
  if (const int32_t n = ImageNumber(1)) OpCell(0)->i = ImageRecordOf(n) ? 1 : 0;
  SkipOperands(2);
}

// The record of operand 0's image for the paste and rotate commands (501, 502).
uint32_t ExistingImage() {
  const int32_t n = ImageNumber(0);
  if (!n) return 0;
  const uint32_t r = ImageRecordOf(n);
  if (!r) RunError(kErrImageMissing);
  return r;
}

void CmdPasteImage() {
  if (const uint32_t r = ExistingImage()) {
    QueuePasteImage(r, OpInt(1), OpInt(2), false);
    RefreshRule();
  }
  SkipOperands(3);
}

void CmdPasteImageFlag1() {
  if (const uint32_t r = ExistingImage()) {
    QueuePasteImage(r, OpInt(1), OpInt(2), true);
    RefreshRule();
  }
  SkipOperands(4);
}

void CmdQueueImageOp56() {
  if (const uint32_t r = ExistingImage()) QueueRotateImage(r, OpInt(1));
  SkipOperands(2);
}

const CommandDef kImageCommands[] = {
    {219, CmdGetImage, "lllll"},      {230, CmdGetImageFlag, "llllll"}, {220, CmdLoadImage, "sl"},
    {229, CmdLoadImageTexture, "sll"}, {221, CmdSaveImage, "sl"},       {406, CmdDeleteImage, "l"},
    {425, CmdImageExist, "ll"},       {242, CmdPasteImage, "lll"},     {433, CmdPasteImageFlag1, "llll"},
    {434, CmdQueueImageOp56, "ll"},
};

}  // namespace

std::span<const CommandDef> ImageCommands() { return kImageCommands; }
