#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/device3d.h"

// Models of numbered 3D objects: loading a model file by its ending (a .3ds file is converted to
// an .x work file first), appending animation, and limbs made from mesh data records. An
// object holds at most one model handle, made on first use and destroyed again when the first
// load fails, so an object never keeps an empty one.

// The model's frame count (> 0); 0 when the model was not read; -1 for an ending other than
// "x" or "3ds"; -4 when the file is missing or cannot be read. Why a load failed goes to why.
int32_t LoadObject(uint32_t object, const std::string& fileName, std::string* why = nullptr);
// The frame count of the object's model, loading the file when the object has none; 0 when
// reading failed.
int32_t LoadModelIntoObject(uint32_t object, const std::string& path, std::string* why = nullptr);
// Converts the file to the work file and loads that (the work file is deleted after); a
// negative converter result is returned as it is.
int32_t LoadModelConverting(uint32_t object, const std::string& extension, const std::string& path,
                            std::string* why = nullptr);
// 1 when a frame holding the mesh became that limb; 0 without a model or on failure.
int32_t AddMeshLimbToObject(uint32_t object, uint32_t limb, uint32_t mesh);
// 1 when the limb's meshes were rebuilt from the mesh data record; 0 without a model or on
// failure.
int32_t ChangeObjectLimbMesh(uint32_t object, uint32_t limb, uint32_t mesh);
// 1 when the object has a model (the value is not used).
int32_t ObjectModelPresent(uint32_t object, int32_t value);
// Destroys the object's model (if any) and clears its field.
void DestroyObjectModel(uint32_t object);
// The work file of conversions and merges.
std::string ModelWorkFilePath();

// Mesh data records and objects.
// A new record holding the geometry of an object's model (limb and texture filters, -1 for
// any), every limb placed by its frames; its index, or -1 without a model or when the record
// cannot make a model.
int32_t MakeMeshFromObject(uint32_t object, int32_t limbFilter, int32_t textureFilter);
// The geometry of an object's model, each mesh a group in the order of the tree, vertices in
// world space; its indices count from the group's first vertex.
struct ObjectGeometry {
  std::vector<Vertex> vertices;
  std::vector<uint32_t> indices, vertexCounts, indexCounts;
};
// Exports the meshes the filters pass (-1 for any); false without a model.
bool ExportObjectGeometry(uint32_t object, int32_t limbFilter, int32_t textureFilter, ObjectGeometry* out);
// The bounds of every vertex of an object's model placed as the export places it, without
// copying the geometry out; false, with lo and hi left alone, without a model or vertices.
bool ObjectGeometryBounds(uint32_t object, float lo[3], float hi[3]);
// MakeMeshFromObject's record from exported geometry.
int32_t MakeMeshFromGeometry(const ObjectGeometry& geometry);
// Gives an object without a model a one-limb model made from the mesh (with a texture, 0 for
// none); 1, or 0 with no model left behind. An object that has a model is left as it is (1).
int32_t EnsureObjectVisual(uint32_t object, uint32_t mesh);
int32_t EnsureObjectVisualForLoad(uint32_t object, uint32_t mesh, int32_t texture);
