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

// One deferred 2D or text drawing operation.
// The target is named by bitmap number and resolved when the record runs, so a record that
// outlives a display change never holds a released surface.
struct DrawOp {
  uint32_t next, prev;
  uint32_t code;
  int32_t a, b, c, d;
  float fc, fd;               // code 106: the radii
  int8_t lifetime;            // refreshes left
  uint32_t bitmapAtQueue;     // the program's current bitmap when the record was taken
  uint8_t hadTarget;          // that bitmap had a surface then (0: the record does nothing)
  uint32_t object;            // bitmap, image or sprite number
  uint8_t flag;               // code 102: opaque background
  uint8_t newLine;            // code 102: printing moved to a new line (transcript)
  uint8_t transcribed;        // the text went to the transcript already
  VarCell* cell;              // code 109: the result cell
  int32_t values[10];         // further operands (copy rectangles, amounts, sizes)
  char text[256];             // file name, text or font name
};

// Releases what an image record's surface holds (image pool release step).
void ReleaseImageRecordSurface(ImageRecord& record);
