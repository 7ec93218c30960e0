#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/device3d.h"

// The static world: level geometry copied out of objects' meshes, already in world space,
// sorted into texture groups and drawn every frame in batches, with sphere culling and a
// screen-rectangle occlusion pass; beside it a list of axis-aligned collision boxes that a
// moving box or a line is tested against. One global store; saved to one file with one DDS
// side image per texture group.

// One converted mesh.
struct StaticObject {
  std::vector<Vertex> vertices;   // world space; empty once the shape was dropped
  std::vector<uint16_t> indices;  // triangle list
  int32_t id = 0;                 // record of the 3D object it was made from, 0 for level geometry
  float centre[3] = {0, 0, 0};    // mean of the vertex positions
  float radius = 0;               // bounding radius: 1.25 x the largest vertex distance from the centre
  float verticalRadius = 0;       // for low objects (see AddStaticObject)
  uint8_t visible = 0;            // written by every visibility pass
  uint8_t occluder = 0;           // the occluder shape was built
  uint8_t low = 0;                // the occlusion pass uses the vertical radius for its screen height
  uint8_t shapeDropped = 0;       // only occludes: the arrays were freed
  uint8_t fullHeight = 0;         // as an occluder, spans the whole screen height
  float shapePoints[24] = {};     // occluder: the inner box's 8 corners, relative to the centre
  float shapeBox[6] = {};         // occluder: inner box min x, y, z, max x, y, z, relative to the centre
  // Written by the visibility passes.
  float screen[4] = {};           // occluder rectangle: min x, min y, max x, max y
  float screenDepth = 0;
  uint8_t screenValid = 0;
  float relativeDepth = 0;        // view depth / far distance
  float projectedCentre[2] = {};
  float projectedRadius = 0;
  float projectedVertical = 0;
  StaticObject* parent = nullptr;  // the level object whose sphere holds this one (id > 0 only)
};

struct StaticTextureGroup {
  int32_t texture = 0;  // texture record, 0 none
  std::vector<std::unique_ptr<StaticObject>> objects;
};

struct StaticBox {
  float min[3], max[3];
};

inline constexpr uint32_t kStaticDefaultVertices = 4000;
inline constexpr uint32_t kStaticBatchVertices = 300;

struct StaticWorldState {
  std::vector<StaticTextureGroup> groups;
  std::vector<StaticBox> boxes;
  uint32_t vertexCapacity = 0;
  uint32_t indexCapacity = 0;  // 5 x vertex capacity, or the largest object's index count
  // The batch being filled while drawing (the device takes vertices from memory).
  std::vector<Vertex> batchVertices;
  std::vector<uint32_t> batchIndices;
  // Drawing switches of the commands.
  uint32_t wireframe = 0;
  uint32_t addressMode = 1;  // 1 wrap, 2 mirror, 3 clamp
  uint32_t occlusion = 1;    // screen-box culling
  uint32_t drawnPrimitives = 0;  // indices drawn by the last DrawStaticWorld
  uint64_t sideImageLookups = 0;  // side images asked of the texture store by loads
};
extern StaticWorldState g_staticWorld;

// ---- The store.
// Back to an empty world without buffers (the subsystem's reset).
void ResetStaticWorld();
// Room for capacity vertices per batch and 5 x capacity indices (zero-filled).
void ReserveStaticWorld(uint32_t capacity);
// The buffers again after a display change (the capacity is kept).
void RestoreStaticWorld();
// Deletes the boxes and every group with its objects (each group lets go of its texture).
void FreeStaticWorldLists();
bool StaticWorldHoldsData();

// Adds one mesh as a static object of the texture's group (made when missing; a new group takes
// a reference on the texture). Face words as in MeshData: per face a corner count k, then k
// pairs (vertex, normal). A face of k corners becomes k - 2 triangles fanned from its first
// corner. occluder builds the occluder shape; low with occluder makes an object that only
// occludes; low alone draws it with a shorter screen height; id > 0 marks a copy of object id,
// drawn only under a visible parent. 1, or 0 (nothing added) for an object without vertices,
// with more vertices than 16-bit indices reach, or with a corner past its vertices.
int32_t AddStaticObject(int32_t texture, const float* vertices, const float* normals, const uint32_t* faceWords,
                        const float* texCoords, uint32_t vertexCount, uint32_t normalCount, uint32_t faceCount,
                        uint32_t faceWordCount, int32_t occluder, int32_t low, int32_t id, int32_t fullHeight);
// Removes every object with that id from every group.
void DeleteStaticObject(int32_t id);
// Appends a box with these corners (in any order); returns 1.
int32_t AddStaticBox(float x1, float y1, float z1, float x2, float y2, float z2);

// A box moving from old to new (min x, y, z, max x, y, z each): for every box it overlaps at the
// new place (touching counts), the push-back along the axis of the face it came through (the one
// nearest to the old box; the first wins a tie) goes into out on that axis, later boxes
// overwriting. 1 when any box overlapped; out is cleared first.
int32_t CollideBoxWithStaticBoxes(const float oldBox[6], const float newBox[6], float out[3]);
// Walks a cube of half-size radius along the line in steps of step units of horizontal length
// (0 or less counts as 1). 1 when a box was entered after the first step; out is the last point
// before the nearest entry, or the start.
int32_t TestLineAgainstStaticBoxes(const float start[3], const float end[3], float radius, float step, float out[3]);

// ---- File.
// The whole world as the bytes of its file ("" when it holds nothing).
std::string EncodeStaticWorld();
// Saves the file and one DDS image per textured group beside it (name + "_" + texture +
// ".dds"): all are written to temporary files first and renamed into place only once every
// one was written. 1 when all were written; 0 for a world that holds nothing (no file is
// touched); -1 when a file could not be written (the old files kept), with the cause in why.
int32_t SaveStaticWorld(const std::string& file, std::string* why = nullptr);
// Reads a file into a new world that replaces the old one only when the whole file was sound;
// 0 (the old world kept, the cause in why) for a missing, empty, short or inconsistent file, or
// one of no group and no box.
// Groups take the textures of their side images, named after sideImageBase when it is given
// (the name a packed file had before it was copied out), else after file.
int32_t LoadStaticWorld(const std::string& file, const std::string& sideImageBase = "", std::string* why = nullptr);
// The reader alone: true when the bytes form a sound file; the groups keep their saved texture
// numbers (no textures are loaded). False too when a stop is asked part way.
bool DecodeStaticWorld(const std::string& bytes, std::vector<StaticTextureGroup>* groups,
                       std::vector<StaticBox>* boxes);
// The loader's next step: each decoded group takes the texture of its side image (base + "_" +
// number + ".dds"), each name looked for once; false when a stop was asked, every texture
// taken let go of again.
bool TakeSideImages(std::vector<StaticTextureGroup>* groups, const std::string& base);

// ---- Drawing.
// The visibility passes under these matrices: sphere cull, occluders, occlusion, parents.
void UpdateStaticVisibility(const float world[16], const float view[16], const float projection[16], float farPlane);
// Visibility under the given matrices, then every visible object drawn by texture group in
// batches below 300 vertices (an object that alone reaches 300 is drawn on its own), each group
// under its texture on stage 0 and the device's other states as they are. Returns the indices
// drawn.
uint32_t RenderStaticWorld(Device3D& device, const float world[16], const float view[16], const float projection[16],
                           float farPlane);
// The render step's hook, called once per frame on the display's device after the scene's view
// and projection are set: the world under the camera's matrices and far distance, its fill and
// address switches sent through the render's state cache. Returns the indices drawn.
uint32_t DrawStaticWorld(Device3D& device);
