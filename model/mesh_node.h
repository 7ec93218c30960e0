#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "collision/collision.h"
#include "model/scene_node.h"

// Collision kinds a mesh stands for in the collision library.
enum : int32_t {
  kShapeBox = 1, kShapeSphere = 2, kShapeCube = 3, kShapeCylinder = 4, kShapeCone = 5, kShapeFlatBox = 6,
  kShapeFittedSphere = 51, kShapeFittedBox = 52, kShapePolygons = 99,
};

// A collision object's key: the object's record index x 100000 + the limb number.
inline CollisionKey MeshCollisionKey(uint32_t objectIndex, uint32_t limb) {
  return CollisionKey(objectIndex) * 100000u + limb;
}

// The material a model file gives a mesh.
struct MeshMaterial {
  float diffuse[4] = {0, 0, 0, 0};
  float ambient[4] = {0, 0, 0, 0};
  float specular[4] = {0, 0, 0, 0};
  float emissive[4] = {0, 0, 0, 0};
  float power = 0;
};

// The geometry of one limb (or one material of a limb): vertices with normals and texture
// coordinates, a triangle list, the vertex buffer the device draws, a texture, a draw flag, a
// material and the collision shape that stands for the mesh. Always a leaf.
//
// Indices are 32-bit, so meshes of more than 65535 vertices keep every index. Faces are given
// as a corner count and then the corners; a face of n corners becomes the fan (0, 1, 2),
// (0, 2, 3) ... Faces of fewer than 3 corners, or with a corner past the vertices, are skipped.
class MeshNode : public SceneNode {
 public:
  // Positions are three floats a vertex (normals and texture coordinates start at 0); faces
  // are read from faceWords (faceWordCount words at most), one word a corner, or two with the
  // vertex index first when twoWordsPerCorner. The vertex buffer is not built here.
  MeshNode(const char* name, uint32_t vertexCount, const float* positions, uint32_t faceCount,
           const uint32_t* faceWords, size_t faceWordCount, bool twoWordsPerCorner);
  ~MeshNode() override;

  // New geometry (two words a corner), then the vertex buffer made again; returns its result.
  int32_t SetGeometry(uint32_t vertexCount, const float* positions, uint32_t faceCount, const uint32_t* faceWords,
                      size_t faceWordCount);
  // vertexCount normals (three floats) or texture coordinate pairs, then the vertex buffer made
  // again.
  void SetNormals(const float* normals);
  void SetTextureCoordinates(const float* uvs);
  // Vertex normals from the triangles (each face's unit normal added to its corners, then
  // normalised); the vertex buffer is not rebuilt.
  void ComputeNormals();
  // The vertex buffer made on the device (the one before released): 1 when the device has the
  // vertices, 0 when no buffer could be made (or no device is given).
  int32_t BuildVertexBuffer(Device3D* device);
  // The same on the device the buffer was last made on, while that device lives; the edits
  // below call it.
  int32_t RebuildVertexBuffer();
  void ReleaseCollision();
  // Minimum and maximum of the positions per axis in the mesh's own coordinates; an empty mesh
  // gives the origin and sizes 0.
  void MeasureBox(float centre[3], float* sizeX, float* sizeY, float* sizeZ) const;
  CollisionKey Key() const { return MeshCollisionKey(objectIndex, limbNumber); }
  // The collision object (when there is one) moves to the key of another object record, with
  // its shape and placement.
  void RekeyCollision(uint32_t object);

  uint32_t drawFlag = 1;
  int32_t textureNumber = 0;
  uint32_t textureOwned = 0;
  std::string textureName;  // the texture file the model names ("" for none)
  MeshMaterial material;
  uint32_t objectIndex = 0;
  CollisionShape* collisionShape = nullptr;
  std::vector<double> collisionVertices;
  std::vector<uint32_t> collisionIndices;
  // The last sizes given per sized kind (box to flat box), reused when a kind comes back with 0.
  float lastSizes[kShapeFlatBox][3] = {};
  uint8_t centreOffsetFlag = 0;
  float centreOffset[3] = {0, 0, 0};
  std::vector<Vertex> vertices;
  std::vector<uint32_t> indices;
  // The vertex buffer of the vertices as last built (normals scaled by ScaleNormals) and the
  // triangle list, on the device it was made on; 0 when none could be made, and the mesh then
  // draws from its own arrays.
  uint32_t vertexBuffer = 0;

  // The operations on this mesh alone, as the tree's walks call them (a mesh is a leaf, so each
  // does what the walk of the same name does on it).
  void CollectTextures(SceneTextureList* list, double value);
  void DrawTextureGroup(Device3D& device, int32_t texture, uint32_t* drawnIndices);
  void SetCollisionShape(uint32_t object, int32_t kind, float a, float b, float c);
  void RemoveLimbCollision(uint32_t limb);
  void SetLimbCollision(uint32_t object, uint32_t limb, int32_t kind);
  void UpdateCollisionTransforms(Device3D& device, uint32_t object);
  void SumVertices(const float m[16], double sum[3], uint32_t* count);
  void MaxVertexDistance(const float m[16], const float centre[3], float* radius);
  void MinAxisDistance(const float m[16], const float centre[3], float* distance);
  void SumLimbVertices(uint32_t limb, const float m[16], double sum[3], uint32_t* count);
  void MaxLimbVertexDistance(uint32_t limb, const float m[16], const float centre[3], float* radius);
  void GrowBoundingBox(const float m[16], NodeBounds* bounds);
  void ExportGeometry(Device3D& device, GeometryExport* out);
  void GetLimbMeshInfo(uint32_t limb, int32_t index, uint32_t* counter, int32_t* textureOut,
                       std::string* nameOut);
  void FindMeshArraysByName(const char* name, MeshArrays* out);
  void SetLimbTexture(uint32_t limb, int32_t texture);
  void GetLimbTexture(uint32_t limb, int32_t* out);
  void GetLimbTextureName(uint32_t limb, std::string* out);
  void ScaleLimbVertices(uint32_t limb, float sx, float sy, float sz);
  void ScaleAllVertices(float sx, float sy, float sz);
  void ScaleNormals(float factor);
  void ChangeLimbMesh(uint32_t limb, const MeshGeometry& geometry);
  void SetLimbVisible(uint32_t limb, uint32_t flag);
  void ScrollLimbTexture(uint32_t limb, float du, float dv);
  void ScaleLimbTexture(uint32_t limb, float su, float sv);
  void ReleaseResources() override;

 private:
  void BuildIndices(uint32_t faceCount, const uint32_t* faceWords, size_t faceWordCount, bool twoWordsPerCorner);
  void SetPositions(uint32_t vertexCount, const float* positions);
  void MakeShape(int32_t kind, float a, float b, float c);
  int32_t BuildBuffer(Device3D& device, float normalScale);
  void ReleaseBuffer();

  std::weak_ptr<Device3D> bufferDevice_;  // the device that holds vertexBuffer
};

// Three-float vector helpers of the normal computation and the collision fits.
void SubtractVector3(float out[3], const float a[3], const float b[3]);
void CrossProduct3(float out[3], const float a[3], const float b[3]);
float VectorLengthSquared(const float v[3]);
float VectorLength(const float v[3]);
void DivideVector3(float v[3], float divisor);
// A zero vector stays zero.
void NormalizeVector3(float v[3]);
