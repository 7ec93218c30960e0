#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The reader half of the 3DS converter: it walks the chunk tree of a .3ds file twice (first
// the keyframer hierarchy, then everything) and hands the model to a sink in the order the X
// text is written: materials, frames with their meshes, then the animation. Axes come out in
// the X convention: y and z exchanged in every position, key and matrix, faces turned round.

struct Material3ds {
  std::string name = "Default name";
  float diffuse[3] = {0, 0, 0};
  float specular[3] = {0, 0, 0};
  float shininess = 0;       // the percentage as stored
  bool hasTexture = false;   // a texture map with a file name was read
  std::string textureFile;
  float texturePercent = 0;
};

struct Mesh3ds {
  std::string name;                 // the object's name (blanks made '_')
  std::vector<float> positions;     // x, y, z per vertex, placed in the object's own frame
  std::vector<uint32_t> faces;      // three corners per face, every index below the vertex count
  std::string materialName;         // empty when the faces named no material
  std::vector<float> normals;       // x, y, z per face corner (three per face, in face order)
  std::vector<float> texCoords;     // u, v per vertex (zeros where the file has none)
  bool hasFrameMatrix = false;      // the mesh had local axes: frameMatrix places its frame
  float frameMatrix[16] = {};
};

struct Key3ds {
  uint32_t frame = 0;
  float v[4] = {};  // position and scale: x, y, z; rotation: s, x, y, z (absolute)
};

struct Node3ds {
  std::string name;
  std::vector<Key3ds> position, rotation, scale;
};

class Sink3ds {
 public:
  virtual ~Sink3ds() = default;
  virtual void Material(const Material3ds&) {}
  virtual void FrameOpen(const std::string& objectName) { (void)objectName; }
  virtual void Mesh(const Mesh3ds&) {}
  virtual void FrameClose() {}
  // Keyframer nodes in file order, dummies included (named "$$$DUMMY"), instances left out;
  // only called when the keyframer had nodes.
  virtual void Animation(const std::vector<Node3ds>&) {}
};

// Reads the whole file image. Chunks are checked against their parents and the file: a chunk
// whose length is shorter than its header or runs past its parent ends that walk; a table that
// runs past its chunk, a name without its end and a mesh of no face or whose faces name missing
// vertices are left out; a material group that runs past its chunk, names a face past the
// mesh's or a material no material chunk defines is damage too. A file that does not start with the main chunk gives the sink nothing. False when
// the process is asked to stop part way (the sink has been given part of the model). *damage
// (when given) names the first of those faults the walk met, "" when it met none.
bool Read3dsFile(std::string_view bytes, Sink3ds& sink, std::string* damage = nullptr);
