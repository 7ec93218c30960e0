#pragma once
#include <cstdint>

#include "core/cells.h"
#include "platform/surfaces.h"

// Pooled records of the display: the fields the pools and the runtime core touch. The
// display adds the rest of each record as it is built.

// A sprite or the frame of a 3D object.
struct FrameRecord {
  uint32_t next, prev;
  int32_t backgroundImage[2];  // saved-background image records, -1 none
  int32_t offsetX, offsetY;
  float scaleX, scaleY;
  int32_t exists;
  int32_t savesBackground;
  int32_t belongsTo3D, ownerObject, gluedTo;
  int32_t imageRecord;
};

// An entry of the image bank.
struct ImageRecord {
  uint32_t next, prev;
  Surface* surface;  // owned: freed by ReleaseImageRecordSurface
  int32_t width, height;
  int32_t texture;
  int32_t countdown;
};

// A texture made from an image.
struct TextureRecord {
  uint32_t next, prev;
  Surface* surface;
  void* listNode;
};

// What a drawing operation does (DrawOp::code).
enum DrawOpCode : uint32_t {
  // Bitmaps: make current, load, save, create, delete, copy; the effects.
  kDrawSetCurrentBitmap = 1, kDrawLoadBitmap = 2, kDrawSaveBitmap = 3, kDrawCreateBitmap = 4,
  kDrawDeleteBitmap = 5, kDrawCopyBitmap = 6, kDrawMirrorBitmap = 8, kDrawFlipBitmap = 9,
  kDrawBlurBitmap = 10, kDrawFadeBitmap = 11,
  // 2D drawing and colours; printed text and the line input's echo.
  kDrawCls = 101, kDrawPrint = 102, kDrawDot = 103, kDrawBox = 104, kDrawLine = 105, kDrawEllipse = 106,
  kDrawInk = 107, kDrawClsColour = 108, kDrawReadPoint = 109, kDrawLineInput = 110,
  // Text: font, size, background, style (normal, italic, bold, bold italic: 207 + style),
  // text at a point and centred on it.
  kDrawSetTextFont = 201, kDrawSetTextSize = 202, kDrawTextOpaque = 205, kDrawTextTransparent = 206,
  kDrawTextNormal = 207, kDrawTextItalic = 208, kDrawTextBold = 209, kDrawTextBoldItalic = 210,
  kDrawText = 212, kDrawCentreText = 213,
};

// One deferred 2D or text drawing operation.
// The target is named by bitmap number and resolved when the record runs, so a record that
// outlives a display change never holds a released surface.
struct DrawOp {
  uint32_t next, prev;
  uint32_t code;
  int32_t a, b, c, d;
  float fc, fd;               // kDrawEllipse: the radii
  int8_t lifetime;            // refreshes left
  uint32_t bitmapAtQueue;     // the program's current bitmap when the record was taken
  uint8_t hadTarget;          // that bitmap had a surface then (0: the record does nothing)
  uint32_t object;            // bitmap, image or sprite number
  uint8_t flag;               // kDrawPrint: opaque background
  uint8_t newLine;            // kDrawPrint: printing moved to a new line (transcript)
  uint8_t transcribed;        // the text went to the transcript already
  VarCell* cell;              // kDrawReadPoint: the result cell
  int32_t values[10];         // further operands (copy rectangles, amounts, sizes)
  char text[256];             // file name, text or font name
};

// Releases what an image record's surface holds (image pool release step).
void ReleaseImageRecordSurface(ImageRecord& record);
