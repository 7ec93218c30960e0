#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "model/xfile/xfile.h"

// Mesh loading from .x data: the vertex, face, normal and texture-coordinate parts of Mesh
// objects, checked against the data they come from, and a mesh builder that gathers every
// mesh of a file into one.

// Positions (three floats a vertex) and the face list as the object holds it (per face the
// corner count, then the corners), cut before the first face that runs past the data.
struct XMeshGeometry {
  std::vector<float> positions;
  std::vector<uint32_t> faceWords;
  uint32_t faceCount = 0;
  uint32_t VertexCount() const { return uint32_t(positions.size() / 3); }
};
// False when the data does not hold the vertices and the face count.
bool ReadXMeshGeometry(const XObject& mesh, XMeshGeometry* out);

// A MeshNormals object: its normals and its face list (as above).
struct XMeshNormals {
  std::vector<float> normals;
  std::vector<uint32_t> faceWords;
  uint32_t faceCount = 0;
};
bool ReadXMeshNormals(const XObject& normals, XMeshNormals* out);
// A MeshTextureCoords object: u, v per entry.
bool ReadXTextureCoords(const XObject& coords, std::vector<float>* out);

// What the mesh builder holds: positions and texture pairs per vertex, normals of their own
// count, and faces as corner count then (vertex index, normal index) per corner. Every index
// names an existing vertex and normal and every face has three corners or more.
struct BuiltMesh {
  std::vector<float> positions, normals, texCoords;
  std::vector<uint32_t> faceWords;
  uint32_t faceCount = 0;
};
// Reads every Mesh of the file image, those inside frames placed by their frames' matrices,
// into one. A mesh without usable normals gets vertex normals from its faces; faces with a
// bad index or fewer than three corners are dropped. False when the bytes are not an .x file,
// hold no mesh, or would gather more position and face words than the limit of values (a mesh
// counts once for each reference to it).
bool BuildMeshFromX(std::string_view bytes, BuiltMesh* out, const XLimits& limits = {});
