#pragma once
#include <cstdint>

#include "core/cells.h"
#include "platform/surfaces.h"

// Pooled records of the display: the fields the pools and the runtime core touch. The
// display adds the rest of each record as it is built.

// A sprite or the frame of a 3D object (the 3D side adds its own fields).
struct FrameRecord {
  uint32_t next, prev;
  uint32_t visible;
  int32_t countdown;             // frames until a deferred delete frees the record, 0 none
  int32_t imageRecord;           // the image record shown, -1 none
  int32_t imageNumber;           // the image number last given
  uint32_t belongsTo3D;          // sprite routines skip such records
  uint32_t transparent;          // blit with the image's colour key
  int32_t x, y;
  int32_t offsetX, offsetY;      // hot spot: the image's top-left is drawn at x - offset x, y - offset y
  float scaleX, scaleY;
  uint32_t mirrored, flipped;
  int32_t spriteNumber;          // 0 for the records of 3D objects
  int32_t lastHit;               // result of the previous hit query
  uint32_t exists;
  int32_t ownerObject, gluedTo;
  float previousPosition[3], position[3];
  uint32_t savesBackground;
  int32_t backgroundImage[2];    // saved-background image record per display buffer, -1 none
  SurfRect savedRect[2];         // back-buffer area saved per buffer; right < 1: nothing
  uint32_t priority;             // drawing pass 0, 1 or 2
  // The render flags of a 3D object's frame (set by the object commands, read by the scene
  // render). depthTest and depthWrite are set with is3DObject.
  uint8_t is3DObject, depthTest, depthWrite;
  uint8_t lastPass;              // drawn in a final pass after the depth buffer is cleared
  uint8_t colourKeyed;           // colour-key transparency of its textures
  uint8_t blend;                 // alpha-blended (ghost)
  uint16_t blendMode;
  uint8_t wireframe, cull;       // cull: back faces culled
  uint8_t filter;                // best texture filter, else point filtering
  uint8_t altMaterial, defaultMaterial;  // the second material; else the first (1) or third (0)
  uint8_t fog;
  uint8_t noDepth;               // drawn without depth test, skipped by collision
  uint8_t addressMode;           // 1 wrap, 2 mirror, 3 clamp
};

// An entry of the image bank. The surface is owned by the bank's surface table; the record
// keeps a copy of the pointer (records that share a surface have no table entry).
struct ImageRecord {
  uint32_t next, prev;
  uint32_t inUse;                // holds a surface made for its picture
  int32_t texture;               // texture record made from the image, 0 none
  Surface* surface;
  SurfRect source;               // the part of the surface that holds the picture
  int32_t width, height;
  int32_t surfaceWidth, surfaceHeight;
  int16_t countdown;             // frames until a deleted image's record is freed, 0 none
  int32_t number;                // the image number it was bound to, 0 none
};

// A texture made from an image, a file, a surface or a colour. Its picture lives in the
// texture bank's container of the same index.
struct TextureRecord {
  uint32_t next, prev;
  int32_t image;                       // the image record it was made from (0 none)
  int32_t sourceWidth, sourceHeight;   // size of the surface it was made from
  int32_t textureWidth, textureHeight;
  uint8_t transparency;                // converted to DXT1 with keyed texels see-through
  uint32_t mipmapped;
  int32_t listNode;                    // its node in the texture list, -1 none
};

// What a drawing operation does (DrawOp::code).
enum DrawOpCode : uint32_t {
  // Bitmaps: make current, load, save, create, delete, copy; the effects; the screen's grab,
  // asked for when the record runs, so the frame saved holds what was drawn before it.
  kDrawSetCurrentBitmap = 1, kDrawLoadBitmap = 2, kDrawSaveBitmap = 3, kDrawCreateBitmap = 4,
  kDrawDeleteBitmap = 5, kDrawCopyBitmap = 6, kDrawMirrorBitmap = 8, kDrawFlipBitmap = 9,
  kDrawBlurBitmap = 10, kDrawFadeBitmap = 11, kDrawGrabScreen = 12,
  // Images and sprites: grab, paste, free, paste a sprite, save, rotate.
  kDrawGetImage = 51, kDrawPasteImage = 52, kDrawFreeImage = 53, kDrawPasteSprite = 54, kDrawSaveImage = 55,
  kDrawRotateImage = 56,
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
  uint8_t blankTail;          // kDrawPrint: end characters left out of the transcript (cursor cover)
  VarCell* cell;              // kDrawReadPoint: the result cell
  int32_t values[10];         // further operands (copy rectangles, amounts, sizes)
  char text[256];             // file name, text or font name
  int64_t word = -1;          // code word of the command that queued it (-1 none), for its errors
};
