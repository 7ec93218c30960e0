// The bridge from mesh nodes to the collision library: the shape a mesh stands for, its
// collision object under the object's key and its placement by the limb's world transform.
#include <algorithm>
#include <cstring>

#include "platform/math3d.h"
#include "model/mesh_node.h"

void MeshNode::ReleaseCollision() {
  // The shape goes before the vertex copy it reads.
  if (collisionShape) {
    DeleteCollisionObject(Key());
    DeleteCollisionShape(collisionShape);
    collisionShape = nullptr;
  }
  collisionVertices.clear();
  collisionVertices.shrink_to_fit();
  collisionIndices.clear();
  collisionIndices.shrink_to_fit();
}

void MeshNode::RekeyCollision(uint32_t object) {
  if (!collisionShape) {
    objectIndex = object;
    return;
  }
  DeleteCollisionObject(Key());
  objectIndex = object;
  CreateCollisionObject(Key(), collisionShape);
}

void MeshNode::MakeShape(int32_t kind, float a, float b, float c) {
  switch (kind) {
    case kShapeBox: collisionShape = CreateCollisionBox(a, b, c); break;
    case kShapeSphere: collisionShape = CreateCollisionSphere(a); break;
    case kShapeCube: collisionShape = CreateCollisionBox(a, a, a); break;
    case kShapeCylinder: collisionShape = CreateCollisionCylinder(a, b); break;
    case kShapeCone: collisionShape = CreateCollisionCone(a, b); break;
    case kShapeFlatBox: collisionShape = CreateCollisionBox(a, b, 1.0); break;
    case kShapeFittedSphere: {
      // Centred on the mean of the positions (the origin for an empty mesh).
      double sum[3] = {0, 0, 0};
      for (const Vertex& v : vertices) sum[0] += v.x, sum[1] += v.y, sum[2] += v.z;
      float centre[3] = {0, 0, 0};
      if (!vertices.empty())
        for (int i = 0; i < 3; ++i) centre[i] = float(sum[i] / double(vertices.size()));
      float radius = -1.0f;
      for (const Vertex& v : vertices) {
        const float p[3] = {v.x, v.y, v.z};
        float d[3];
        SubtractVector3(d, p, centre);
        radius = std::max(radius, VectorLength(d));
      }
      collisionShape = CreateCollisionSphere(radius > 0 ? radius : 1.0);
      centreOffsetFlag = 1;
      std::memcpy(centreOffset, centre, sizeof centre);
      break;
    }
    case kShapeFittedBox: {
      float size[3];
      MeasureBox(centreOffset, &size[0], &size[1], &size[2]);
      collisionShape = CreateCollisionBox(size[0], size[1], size[2]);
      centreOffsetFlag = 1;
      break;
    }
    case kShapePolygons: {
      collisionShape = BeginComplexShape();
      collisionVertices.resize(vertices.size() * 3);
      for (size_t k = 0; k < vertices.size(); ++k) {
        collisionVertices[3 * k] = vertices[k].x;
        collisionVertices[3 * k + 1] = vertices[k].y;
        collisionVertices[3 * k + 2] = vertices[k].z;
      }
      SetComplexVertexBase(collisionVertices.data());
      collisionIndices = indices;
      for (size_t t = 0; t + 2 < collisionIndices.size(); t += 3)
        AddComplexPolytope(kPolytopeSimplex, 3, &collisionIndices[t]);
      EndComplexShape();
      break;
    }
    default: break;
  }
}

void MeshNode::SetCollisionShape(uint32_t object, int32_t kind, float a, float b, float c) {
  ReleaseCollision();
  if (kind < 1) {
    objectIndex = 0;
    return;
  }
  objectIndex = object;
  centreOffsetFlag = 0;
  centreOffset[0] = centreOffset[1] = centreOffset[2] = 0;
  // Sizes 0 for a sized kind (collision given back, a kind switch) mean the last sizes the mesh
  // had for that kind, so a sphere does not come back with radius 0.
  if (kind >= kShapeBox && kind <= kShapeFlatBox) {
    float* last = lastSizes[kind - kShapeBox];
    if (a == 0 && b == 0 && c == 0)
      a = last[0], b = last[1], c = last[2];
    else
      last[0] = a, last[1] = b, last[2] = c;
  }
  MakeShape(kind, a, b, c);
  // A kind without a shape makes no collision object.
  if (collisionShape) CreateCollisionObject(Key(), collisionShape);
}

void MeshNode::RemoveLimbCollision(uint32_t limb) {
  if (limb == limbNumber) ReleaseCollision();
}

void MeshNode::SetLimbCollision(uint32_t object, uint32_t limb, int32_t kind) {
  if (limb == limbNumber) SetCollisionShape(object, kind, 0, 0, 0);
}

void MeshNode::UpdateCollisionTransforms(Device3D& device, uint32_t object) {
  if (!collisionShape) return;
  CollisionKey key = Key();
  if (object != 0 && object != objectIndex) {
    // Another holder of the model: its own collision object shares the shape (made again each
    // time, as the shape may have been replaced since).
    key = MeshCollisionKey(object, limbNumber);
    CreateCollisionObject(key, collisionShape);
  }
  float w[16];
  std::memcpy(w, device.State().transforms[kTransformWorld - 1], sizeof w);
  if (centreOffsetFlag == 1) {
    // The shape's centre turned with the limb, added to the limb's position.
    float turn[16], c[3] = {0, 0, 0};
    std::memcpy(turn, w, sizeof turn);
    turn[12] = turn[13] = turn[14] = 0;
    if (TransformPointProjected(c, centreOffset, turn) == kMathOk)
      for (int i = 0; i < 3; ++i) w[12 + i] += c[i];
  }
  SelectCollisionObject(key);
  SetCollisionMatrixF(w);
}
