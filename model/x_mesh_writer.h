#pragma once
#include "model/xfile/xfile.h"
#include "model/mesh_node.h"

// Writes each mesh node it is given as a Mesh object named "Mesh" (positions, then the
// triangles) at the end of an .x file.
class XMeshWriter : public MeshSink {
 public:
  explicit XMeshWriter(XFile* file) : file_(file) {}
  void WriteMesh(const MeshNode& mesh) override;

 private:
  XFile* file_;
};
