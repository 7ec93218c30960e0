// The scene-node tree: walk order, links, limb look-ups and moves, matrices, bounds and the
// texture list nodes.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/checklist.h"
#include "model/frame_node.h"
#include "model/limb_index.h"
#include "model/mesh_node.h"
#include "platform/math3d.h"
#include "platform/stop_request.h"
#include "scene_test_util.h"

namespace {

// root(0) { A(1) { meshA(1), B(2) { meshB(2) } }, C(3) { D(4) }, E(5) }
struct Tree {
  FrameNode* root = Frame("root", 0);
  FrameNode *a = Frame("A", 1), *b = Frame("B", 2), *c = Frame("C", 3), *d = Frame("D", 4), *e = Frame("E", 5);
  MeshNode *meshA = BoxMesh("meshA", 1, 2), *meshB = BoxMesh("meshB", 2, 2);
  Tree() {
    root->AddChildNode(a);
    a->AddChildNode(meshA);
    a->AddChildNode(b);
    b->AddChildNode(meshB);
    root->AddChildNode(c);
    c->AddChildNode(d);
    root->AddChildNode(e);
  }
  ~Tree() { delete root; }
  // The frames' limb numbers in walk order, by the limb listing.
  std::vector<int> Listed() {
    BeginChecklist(true, true);
    root->ListLimbs();
    std::vector<int> out;
    for (int i = 0; i < g_checklist.count; ++i) out.push_back(g_checklist.rows[i].a);
    return out;
  }
};

TEST(SceneNodes, OneCallReachesEveryNodeDepthFirst) {
  Tree t;
  EXPECT_EQ(t.Listed(), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_TRUE(t.a->IsFrame());
  EXPECT_FALSE(t.meshA->IsFrame());
  EXPECT_EQ(t.b->ParentNode(), t.a);  // a later child finds its parent through the first
  EXPECT_EQ(t.b->parent, nullptr);
}

// A stop ends the walks of a tree and the limb index only inside a StopEndsWalks scope (a
// load's set-up): a walk under way gives up part way, one begun after it visits nothing.
TEST(SceneNodes, AStopEndsWalksOnlyInTheirScope) {
  FrameNode root("root");
  SceneNode* last = &root;
  for (uint32_t i = 1; i <= 40000; ++i) {
    auto* f = new FrameNode("f");
    f->limbNumber = i;
    last == &root ? root.AddChildNode(f) : last->AppendSiblingNode(f);
    last = f;
  }
  EventsProgramRunning(true);
  auto count = [&](bool stopDuring) {
    int n = 0;
    ForEachNode(&root, [&](SceneNode*) {
      if (++n == 100 && stopDuring) SetStopAsked(true);
    });
    return n;
  };
  LimbIndex index;
  {
    const StopEndsWalks scope;
    EXPECT_EQ(count(false), 40001);
    EXPECT_LT(count(true), 40001);
    EXPECT_EQ(count(false), 0);
    EXPECT_FALSE(LimbIndexReady(index, &root));
    EXPECT_EQ(index.root, nullptr);
  }
  EXPECT_EQ(count(false), 40001);
  EXPECT_TRUE(LimbIndexReady(index, &root));
  SetStopAsked(false);
  EventsProgramRunning(false);
}

// In a load's scope a stop also ends the work inside a mesh (a walk begun after it visits
// nothing): each mesh operation the walks call on a mesh of 200,000 vertices, the last far
// out, gives up after a run of them, and the mesh's buffer is not made.
TEST(SceneNodes, AStopEndsTheVertexWorkOfEachWalk) {
  std::vector<float> positions(3 * 200000, 0.0f);
  positions[3 * 199999] = 100.0f;
  MeshNode mesh("m", 200000, positions.data(), 0, nullptr, 0, false);
  const Device3DPtr device = CreateNullDevice();
  float identity[16];
  SetMatrixIdentity(identity);
  const float origin[3] = {0, 0, 0};
  const struct {
    const char* walk;
    std::function<float()> run;  // what the operation found: 100 once it reaches the last vertex
  } kWalks[] = {
      {"sum", [&] {
         double sum[3] = {0, 0, 0};
         uint32_t count = 0;
         mesh.SumVertices(identity, sum, &count);
         return float(sum[0]);
       }},
      {"radius", [&] {
         float r = 0;
         mesh.MaxVertexDistance(identity, origin, &r);
         return r;
       }},
      {"bounds", [&] {
         NodeBounds b{{0, 0, 0}, {0, 0, 0}};
         mesh.GrowBoundingBox(identity, &b);
         return b.max[0];
       }},
      {"export", [&] {
         GeometryExport e;
         e.mode = 1;
         mesh.ExportGeometry(*device, &e);
         return e.bounds.max[0];
       }},
      {"buffer", [&] {
         mesh.BuildVertexBuffer(device.get());
         const MeshBufferData* data = device->VertexBufferData(mesh.vertexBuffer);
         return data ? data->vertices.back().x : 0.0f;
       }},
  };
  EventsProgramRunning(true);
  for (const auto& w : kWalks) {
    SetStopAsked(true);
    {
      const StopEndsWalks scope;
      g_model.verticesSincePoll = 0;
      EXPECT_LT(w.run(), 100.0f) << w.walk;
    }
    SetStopAsked(false);
    EXPECT_EQ(w.run(), 100.0f) << w.walk;
  }
  EventsProgramRunning(false);
}

// The null device, asking the stop once it has taken its first vertex buffer: a stop that comes
// after a walk of meshes has begun.
class StopAfterFirstBuffer : public Device3D {
 public:
  uint32_t AdoptVertexBuffer(MeshBufferData&& data) override {
    SetStopAsked(true);
    return in_->AdoptVertexBuffer(std::move(data));
  }
  DeviceKind Kind() const override { return in_->Kind(); }
  const DeviceState& State() const override { return in_->State(); }
  bool SetViewport(int32_t x, int32_t y, int32_t w, int32_t h, float n, float f) override {
    return in_->SetViewport(x, y, w, h, n, f);
  }
  bool SetRenderState(uint32_t s, uint32_t v) override { return in_->SetRenderState(s, v); }
  bool SetTextureStageState(uint32_t t, uint32_t s, uint32_t v) override { return in_->SetTextureStageState(t, s, v); }
  bool SetMaterial(const Material& m) override { return in_->SetMaterial(m); }
  bool SetTransform(uint32_t w, const float m[16]) override { return in_->SetTransform(w, m); }
  bool SetLight(uint32_t i, const Light& l) override { return in_->SetLight(i, l); }
  bool EnableLight(uint32_t i, bool on) override { return in_->EnableLight(i, on); }
  bool Clear(uint32_t f, const SurfRect& r, uint32_t c, float z, uint32_t s) override {
    return in_->Clear(f, r, c, z, s);
  }
  uint32_t CreateTexture(std::vector<TextureLevel> l) override { return in_->CreateTexture(std::move(l)); }
  void ReleaseTexture(uint32_t h) override { in_->ReleaseTexture(h); }
  bool SetTexture(uint32_t s, uint32_t h) override { return in_->SetTexture(s, h); }
  size_t TextureCount() const override { return in_->TextureCount(); }
  bool DrawIndexed(const Vertex* v, uint32_t n, const uint32_t* i, uint32_t m) override {
    return in_->DrawIndexed(v, n, i, m);
  }
  uint32_t CreateVertexBuffer(const Vertex* v, uint32_t n, const uint32_t* i, uint32_t m) override {
    return in_->CreateVertexBuffer(v, n, i, m);
  }
  void ReleaseVertexBuffer(uint32_t h) override { in_->ReleaseVertexBuffer(h); }
  bool DrawVertexBuffer(uint32_t h) override { return in_->DrawVertexBuffer(h); }
  size_t VertexBufferCount() const override { return in_->VertexBufferCount(); }
  const MeshBufferData* VertexBufferData(uint32_t h) const override { return in_->VertexBufferData(h); }
  void Reset() override { in_->Reset(); }
  bool StartGl(int32_t w, int32_t h) override { return in_->StartGl(w, h); }
  bool UploadFrom(const Surface& s) override { return in_->UploadFrom(s); }
  bool ReadBackInto(Surface* s) override { return in_->ReadBackInto(s); }

 private:
  Device3DPtr in_ = CreateNullDevice();
};

// The stop is looked at once per 65,536 vertices counted across meshes: a walk of many small
// meshes (1,024 vertices each) that a stop comes into ends at its first look, the 64th mesh,
// not at the end of the model.
TEST(SceneNodes, AStopEndsAWalkOfSmallMeshesAtItsFirstLook) {
  constexpr uint32_t kMeshes = 100, kVertices = 1024;
  const auto device = std::make_shared<StopAfterFirstBuffer>();
  FrameNode root("root");
  const std::vector<float> positions(3 * kVertices, 0.0f);
  for (uint32_t k = 0; k < kMeshes; ++k)
    root.AddChildNode(new MeshNode("m", kVertices, positions.data(), 0, nullptr, 0, false));
  EventsProgramRunning(true);
  {
    const StopEndsWalks scope;
    g_model.verticesSincePoll = 0;
    g_model.nodesVisited = 0;
    root.RestoreBuffers(*device);
  }
  // Meshes 1 to 63 have their buffers; the 64th saw the stop part way and has none.
  EXPECT_EQ(device->VertexBufferCount(), kVerticesPerStopPoll / kVertices - 1);
  SetStopAsked(false);
  EventsProgramRunning(false);
}

TEST(SceneNodes, NameLookupsKeepTheCallersDefaultWhenNothingMatches) {
  Tree t;
  uint32_t limb = 77;
  t.root->FindLimbByName("D", &limb);
  EXPECT_EQ(limb, 4u);
  limb = 77;
  t.root->FindLimbByName("nothing", &limb);
  EXPECT_EQ(limb, 77u);
  std::string name = "x";
  t.root->GetLimbFrameName(2, &name);
  EXPECT_EQ(name, "B");
  float* m = nullptr;
  t.root->FindFrameMatrixByName("C", &m);
  EXPECT_EQ(m, t.c->localMatrix);
  MeshArrays arrays;
  t.root->FindMeshArraysByName("meshB", &arrays);
  EXPECT_EQ(arrays.vertexCount, 8u);
  EXPECT_EQ(arrays.indexCount, 36u);
  FrameNode named(std::string(100, 'n').c_str());
  EXPECT_EQ(std::string(named.name).size(), kNodeNameSize - 1);
}

TEST(SceneNodes, DetachingAFirstChildHandsTheParentLinkOn) {
  Tree t;
  t.a->DetachNode();
  EXPECT_EQ(t.root->firstChild, t.c);
  EXPECT_EQ(t.c->parent, t.root);
  EXPECT_EQ(t.c->previousSibling, nullptr);
  EXPECT_EQ(t.a->firstChild, t.meshA);  // its children stay with it
  EXPECT_EQ(t.Listed(), (std::vector<int>{3, 4, 5}));
  t.root->AddChildNode(t.a);
  EXPECT_EQ(t.Listed(), (std::vector<int>{3, 4, 5, 1, 2}));
}

TEST(SceneNodes, ReparentMovesALimbUnderTheFirstFrameOfTheNumber) {
  {
    Tree t;
    EXPECT_TRUE(ReparentLimbInTree(t.root, 3, 2));  // C and its D under B
    EXPECT_EQ(t.Listed(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(t.c->ParentNode(), t.b);
    EXPECT_EQ(t.meshB->nextSibling, t.c);  // appended as the last child
  }
  {
    Tree t;
    EXPECT_FALSE(ReparentLimbInTree(t.root, 1, 2));  // B lies inside A
    EXPECT_FALSE(ReparentLimbInTree(t.root, 3, 0));  // the root is never examined
    EXPECT_FALSE(ReparentLimbInTree(t.root, 9, 1));
    EXPECT_EQ(t.Listed(), (std::vector<int>{1, 2, 3, 4, 5}));
  }
  {
    Tree t;
    t.e->limbNumber = 2;  // two frames numbered 2: B comes first in walk order
    EXPECT_TRUE(ReparentLimbInTree(t.root, 4, 2));
    EXPECT_EQ(t.d->ParentNode(), t.b);
  }
}

// Where two frames share a number or a name, the first in walk order is the one: a limb moved
// takes only the first frame of its number; a matrix found by name is the first frame's. Limb
// matrices by array reach the limb numbered with the array's count.
TEST(SceneNodes, TheFirstOfTwoFramesIsTheOneAndTheLastArrayEntryIsUsed) {
  {
    Tree t;
    t.e->limbNumber = 3;  // C and E both 3
    EXPECT_TRUE(ReparentLimbInTree(t.root, 3, 1));
    EXPECT_EQ(t.c->ParentNode(), t.a);
    EXPECT_EQ(t.e->ParentNode(), t.root);
  }
  {
    Tree t;
    t.e->SetName("C");
    float* m = nullptr;
    t.root->FindFrameMatrixByName("C", &m);
    EXPECT_EQ(m, t.c->localMatrix);
  }
  Tree t;
  float arrays[5][16];
  for (int k = 0; k < 5; ++k) Translation(arrays[k], float(k + 1), 0, 0);
  t.root->SetLimbMatrices(arrays, 4);
  EXPECT_FLOAT_EQ(t.d->localMatrix[12], 4);
  EXPECT_FLOAT_EQ(t.e->localMatrix[12], 0);  // past the count: left alone
  t.root->SetLimbMatrices(arrays, 5);
  EXPECT_FLOAT_EQ(t.e->localMatrix[12], 5);
}

TEST(SceneNodes, LimbMatricesAndWorldMatricesAfterMovingAParent) {
  Tree t;
  Device3DPtr device = CreateNullDevice();
  float m[16];
  Translation(m, 10, 0, 0);
  t.root->SetLimbMatrix(1, m);
  Translation(m, 0, 5, 0);
  t.root->SetLimbMatrix(2, m);
  t.root->ComputeWorldMatrices(*device);
  float w[16];
  SetMatrixIdentity(w);
  t.root->GetLimbWorldMatrix(2, w);
  EXPECT_FLOAT_EQ(w[12], 10);
  EXPECT_FLOAT_EQ(w[13], 5);
  // Moving the parent moves the child's world matrix; the device is left as it was found.
  Translation(m, -3, 0, 0);
  t.root->SetLimbMatrix(1, m);
  t.root->ComputeWorldMatrices(*device);
  t.root->GetLimbWorldMatrix(2, w);
  EXPECT_FLOAT_EQ(w[12], -3);
  EXPECT_FLOAT_EQ(device->State().transforms[0][12], 0);
  // A childless frame has no world matrix to give.
  float untouched[16] = {42};
  t.root->GetLimbWorldMatrix(5, untouched);
  EXPECT_EQ(untouched[0], 42);
  // The root's extra matrix applies only when its flag is exactly 1.
  Translation(m, 0, 0, 7);
  t.root->SetRootMatrix(2, m);
  t.root->ComputeWorldMatrices(*device);
  t.root->GetLimbWorldMatrix(0, w);
  EXPECT_FLOAT_EQ(w[14], 0);
  t.root->SetRootMatrix(1, m);
  t.root->ComputeWorldMatrices(*device);
  t.root->GetLimbWorldMatrix(0, w);
  EXPECT_FLOAT_EQ(w[14], 7);
  // Limb matrices by array leave the root alone; offsets scale by limb.
  float arrays[5][16];
  for (auto& a : arrays) Translation(a, 1, 2, 3);
  t.root->SetLimbMatrices(arrays, 5);
  EXPECT_FLOAT_EQ(t.root->localMatrix[12], 0);
  t.root->ScaleLimbOffset(4, 2, 3, 4);
  t.root->GetLimbMatrix(4, m);
  EXPECT_FLOAT_EQ(m[12], 2);
  EXPECT_FLOAT_EQ(m[13], 6);
  EXPECT_FLOAT_EQ(m[14], 12);
}

TEST(SceneNodes, AWorldMatrixPlacesTheLimbBeforeItsParent) {
  // A turned a quarter about y, B moved 10 along x inside it: B's origin lies at z -10, not
  // at x 10 (the order in which the two do not commute).
  Tree t;
  float turn[16], move[16], w[16];
  BuildRotationYMatrix(turn, 1.5707963f);
  Translation(move, 10, 0, 0);
  t.root->SetLimbMatrix(1, turn);
  t.root->SetLimbMatrix(2, move);
  Device3DPtr device = CreateNullDevice();
  t.root->ComputeWorldMatrices(*device);
  t.root->GetLimbWorldMatrix(2, w);
  EXPECT_NEAR(w[12], 0, 1e-5);
  EXPECT_NEAR(w[14], -10, 1e-5);
  EXPECT_NEAR(w[8], 1, 1e-5);  // and B is turned with A: its z axis along x
}

TEST(SceneNodes, BoundsFollowTheLimbPlacementsInTheirOrder) {
  Tree t;
  // A turned a quarter about y and B moved 10 along its parent's x: B's box lands at z -10
  // after A's turn, as the world matrices place it.
  float turn[16], move[16], id[16];
  BuildRotationYMatrix(turn, 1.5707963f);
  Translation(move, 10, 0, 0);
  t.root->SetLimbMatrix(1, turn);
  t.root->SetLimbMatrix(2, move);
  SetMatrixIdentity(id);
  NodeBounds b = {{1e9f, 1e9f, 1e9f}, {-1e9f, -1e9f, -1e9f}};
  t.root->GrowBoundingBox(id, &b);
  EXPECT_NEAR(b.min[2], -11, 1e-4);
  EXPECT_NEAR(b.max[0], 1, 1e-4);
  double sum[3] = {0, 0, 0};
  uint32_t count = 0;
  t.root->SumLimbVertices(2, id, sum, &count);
  EXPECT_EQ(count, 8u);
  EXPECT_NEAR(sum[2] / count, -10, 1e-4);
  float radius = -1;
  const float centre[3] = {0, 0, -10};
  t.root->MaxLimbVertexDistance(2, id, centre, &radius);
  EXPECT_NEAR(radius, std::sqrt(3.0f), 1e-4);
  float nearest = 1e9f;
  t.root->MinAxisDistance(id, centre, &nearest);  // own coordinates: |z - (-10)| of the corners
  EXPECT_NEAR(nearest, 1, 1e-5);
}

TEST(SceneNodes, LimbListingStopsAtTheChecklistsSize) {
  FrameNode* root = Frame("root", 0);
  for (uint32_t k = 1; k <= kChecklistRows + 20; ++k) root->AddChildNode(Frame("f", k));
  BeginChecklist(true, true);
  root->ListLimbs();
  EXPECT_EQ(g_checklist.count, kChecklistRows);
  EXPECT_EQ(g_checklist.rows[kChecklistRows - 1].a, kChecklistRows);
  EXPECT_STREQ(g_checklist.rows[0].text, "f");
  delete root;  // a long chain is deleted without deep recursion
}

}  // namespace
