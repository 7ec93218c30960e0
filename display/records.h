#pragma once
#include <cstdint>

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

struct Surface;

// An entry of the image bank.
struct ImageRecord {
  uint32_t next, prev;
  Surface* surface;
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
struct DrawOp {
  uint32_t next, prev;
  int32_t code;
  int32_t lifetime;
};

// Releases what an image record's surface holds (image pool release step).
void ReleaseImageRecordSurface(ImageRecord& record);
