#pragma once
#include <cstdint>

#include "scene3d/records.h"

// The lifecycle of 3D object records: defaults, limbs, bounds, placement, animation unlinking,
// deletion. Records are addressed by pool index (the pool's array moves when it grows).

// The record of an object number; 0 for a number outside 1..65535 or without an object.
uint32_t ObjectRecordOf(int32_t number);

// Makes the limb array large enough for the limb, then gives the limb its defaults: existing,
// shown, no image, linkable, offsets and angles 0, scales 1.
void InitObjectLimb(uint32_t record, int32_t limb);
// Gives a record that holds its model every default: placement, a FrameRecord with the render
// defaults, limb 0, animation settings, bounds; the first object after a reset switches the
// backdrop on, and with allowAutoCamera (and the camera's auto switch on) the camera is placed
// to show the model. Returns the frame index (0 when no frame record could be had).
uint32_t InitObjectRecord(uint32_t record, int32_t allowAutoCamera);
// sphereCentre, sphereRadius (whole part + 1) and size from the model.
void UpdateObjectBoundingSphere(uint32_t record);
// sizeX..sizeZ, boxMin, boxMax and boxCentre from the model's whole geometry.
void UpdateObjectExtents(uint32_t record);

// Limb 0's transform from the frame position, the scales and either the angles (with the
// rotation order) or, in free-matrix mode, the free matrix.
void ApplyObjectTransform(uint32_t record);
// The same from the angles, whatever the mode (the angle commands).
void ApplyObjectAngleTransform(uint32_t record);
// Leaves free-matrix mode: the free matrix becomes the identity.
void LeaveFreeMatrixMode(uint32_t record);

// Playing animations: the node of the record in the play list.
// Links a new node for the record at the head of the list (an existing one is kept).
ObjectAnimation* AddToPlayList(uint32_t record, AnimSet* tracks);
// Unlinks and deletes the record's node (nothing without one).
void RemoveFromPlayList(uint32_t record);
// Stops a playing animation: flags cleared and the node removed. A model without animation, or
// one that is not playing, is left as it is.
void StopObjectAnimation(uint32_t record);

// World placement of limbs. The device world transform of a glued object: the glue chain (the
// object it is glued to, that one's, and so on, at most 10 levels) is walked from its far end,
// each level placed by the world matrix of the limb the level below it is glued to, over W.
void ApplyGlueWorldTransform(uint32_t record, uint32_t gluedTo, const float w[16]);
// Once per display frame (until worldTransformsValid is cleared): the model's world matrices,
// placed by the glue when useGlue is set, then every existing limb's world position and
// direction fields.
void UpdateLimbWorldTransforms(uint32_t record, int32_t useGlue);

// Clones share a model: the record joins the holders of holder's model (nothing when holder
// does not hold the record's model), and leaves them when its model goes.
void LinkModelSharer(uint32_t record, uint32_t holder);
void UnlinkModelSharer(uint32_t record);
// Notes that from's gluedTo or hitObject now names to, so deleting to clears it.
void NoteObjectReference(uint32_t from, uint32_t to);

// Deletes the object: frame and record freed (the record's contents released), number map
// entry cleared, every hit field naming it cleared, SceneChanged set.
void DeleteObjectRecord(uint32_t record, int32_t number);
