// The static world's two costs, each against a plain way of doing the same work in one process:
// - 100,000 line-of-sight tests against 2,000 boxes: the sampled walk against a brute-force exact
//   slab test of every segment against every box, on the same segments (fixed seed). The
//   agreement is the share of segments on which both sides see a hit or both see none.
// - A world of 20,000 boxes drawn per frame (culling, batching and the device's draws) against
//   raw GL drawing the same batches from stream buffers with a minimal shader of the same
//   lighting, on the device's own context.
// Both sides take turns; the figures are medians with their spread.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "platform/device3d.h"
#include "platform/math3d.h"
#include "scene3d/static/static_world.h"

namespace {

constexpr int kBoxes = 2000, kSegments = 100000;
constexpr float kRadius = 0.5f;

struct Segment {
  float a[3], b[3];
};

// The segment against the box grown by the radius: the slab interval of t in [0, 1].
bool SlabHit(const Segment& s, const StaticBox& box) {
  float t0 = 0, t1 = 1;
  for (int k = 0; k < 3; ++k) {
    const float lo = box.min[k] - kRadius, hi = box.max[k] + kRadius, d = s.b[k] - s.a[k];
    if (std::fabs(d) < 1e-12f) {
      if (s.a[k] < lo || s.a[k] > hi) return false;
      continue;
    }
    float ta = (lo - s.a[k]) / d, tb = (hi - s.a[k]) / d;
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta), t1 = std::min(t1, tb);
    if (t0 > t1) return false;
  }
  return true;
}

constexpr int kWidth = 640, kHeight = 480, kObjects = 20000, kFrames = 10;

const char* kVertex = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aTexCoord;
uniform mat4 uView, uProjection;
uniform vec3 uToLight, uGlobalAmbient;
out vec2 vTexCoord;
out vec4 vColour;
void main() {
  gl_Position = uProjection * (uView * vec4(aPosition, 1.0));
  gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
  vColour = vec4(clamp(0.5 * uGlobalAmbient + 0.5 * max(dot(normalize(aNormal), uToLight), 0.0), 0.0, 1.0), 1.0);
  vTexCoord = aTexCoord;
}
)";
const char* kFragment = R"(#version 330 core
in vec4 vColour;
in vec2 vTexCoord;
uniform sampler2D uTexture;
out vec4 fragColour;
void main() { fragColour = vColour * texture(uTexture, vTexCoord); }
)";

GLuint Program() {
  auto compile = [](GLenum type, const char* src) {
    GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &src, nullptr);
    glCompileShader(s);
    return s;
  };
  GLuint p = glCreateProgram(), vs = compile(GL_VERTEX_SHADER, kVertex), fs = compile(GL_FRAGMENT_SHADER, kFragment);
  glAttachShader(p, vs);
  glAttachShader(p, fs);
  glLinkProgram(p);
  glDeleteShader(vs);
  glDeleteShader(fs);
  return p;
}

// 20,000 boxes of 8 corners in a slab in front of the camera, in one texture group.
void BuildWorld(std::mt19937& rng) {
  std::uniform_real_distribution<float> x(-400, 400), y(-200, 200), z(100, 2500), side(1, 6);
  ResetStaticWorld();
  ReserveStaticWorld(kStaticDefaultVertices);
  for (int k = 0; k < kObjects; ++k) {
    const float cx = x(rng), cy = y(rng), cz = z(rng), h = side(rng);
    float v[24], uv[16];
    for (int c = 0; c < 8; ++c) {
      v[3 * c] = cx + (c & 1 ? h : -h), v[3 * c + 1] = cy + (c & 2 ? h : -h), v[3 * c + 2] = cz + (c & 4 ? h : -h);
      uv[2 * c] = float(c & 1), uv[2 * c + 1] = float(c >> 1 & 1);
    }
    const uint32_t quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    std::vector<uint32_t> faces;
    for (auto& q : quads) {
      faces.push_back(4);
      for (uint32_t c : q) faces.push_back(c), faces.push_back(c);
    }
    AddStaticObject(0, v, v, faces.data(), uv, 8, 8, 6, uint32_t(faces.size()), 0, 0, 0, 0);
  }
}

// Catches the batches a device is given.
struct Batch {
  std::vector<Vertex> v;
  std::vector<uint32_t> idx;
};

double MsPerFrame(const std::function<void()>& frame) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int f = 0; f < kFrames; ++f) frame();
  return bench::SecondsSince(t0) * 1e3 / kFrames;
}

void BenchDraw(std::mt19937& rng) {
  Device3DPtr d = CreateGlDevice(kWidth, kHeight);
  if (!d) {
    std::printf("static world drawing: no OpenGL through EGL here\n");
    return;
  }
  BuildWorld(rng);
  float identity[16], projection[16];
  SetMatrixIdentity(identity);
  BuildProjectionMatrix(projection, 1.0814433f, float(kHeight) / kWidth, 1, 3000);
  d->SetViewport(0, 0, kWidth, kHeight, 0, 1);
  d->SetTransform(kTransformProjection, projection);
  d->SetRenderState(kRsCullMode, kCullNone);
  Material m;
  for (int i = 0; i < 3; ++i) m.diffuse[i] = m.ambient[i] = 0.5f;
  d->SetMaterial(m);
  d->SetRenderState(kRsAmbient, 0x404040);
  Light light;
  light.direction[0] = 0.3f, light.direction[1] = -0.5f, light.direction[2] = 0.8f;
  d->SetLight(0, light);
  d->EnableLight(0, true);
  TextureLevel checker;
  checker.width = checker.height = 16;
  for (int i = 0; i < 256; ++i) checker.texels.push_back(((i / 4 + i / 64) & 1) ? 0xFFFFFFFFu : 0xFF808080u);
  const uint32_t texture = d->CreateTexture({checker});
  d->SetTexture(0, texture);

  // The batches of one frame, as the device is given them.
  std::vector<std::string> log;
  Device3DPtr recorder = CreateRecordingDevice(CreateNullDevice(), &log);
  std::vector<Batch> batches;
  {
    RenderStaticWorld(*recorder, identity, identity, projection, 3000);
    size_t drawn = 0;
    for (const std::string& line : log) drawn += line.rfind("draw", 0) == 0;
    // Rebuild the same batches: visible objects in order, a new batch when 300 would be reached.
    Batch b;
    for (const auto& o : g_staticWorld.groups[0].objects) {
      if (!o->visible) continue;
      if (b.v.size() + o->vertices.size() >= kStaticBatchVertices) batches.push_back(std::move(b)), b = Batch{};
      const uint32_t base = uint32_t(b.v.size());
      b.v.insert(b.v.end(), o->vertices.begin(), o->vertices.end());
      for (uint16_t i : o->indices) b.idx.push_back(base + i);
    }
    if (!b.idx.empty()) batches.push_back(std::move(b));
    if (drawn != batches.size()) std::printf("batch counts differ: %zu and %zu\n", drawn, batches.size());
  }
  auto worldFrame = [&] {
    d->Clear(kClearTarget | kClearZBuffer, SurfRect{0, 0, kWidth, kHeight}, 0x202020, 1, 0);
    d->SetTexture(0, texture);
    RenderStaticWorld(*d, identity, identity, projection, 3000);
    glFinish();
  };
  worldFrame();
  GLint framebuffer = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
  const GLuint program = Program();
  GLuint array = 0, buffers[2], tex = 0;
  glGenVertexArrays(1, &array);
  glGenBuffers(2, buffers);
  glBindVertexArray(array);
  glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, x)));
  glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, nx)));
  glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, u)));
  for (GLuint a = 0; a < 3; ++a) glEnableVertexAttribArray(a);
  glGenTextures(1, &tex);
  glBindTexture(GL_TEXTURE_2D, tex);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 16, 16, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, checker.texels.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  auto rawFrame = [&] {
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(framebuffer));
    glViewport(0, 0, kWidth, kHeight);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glClearColor(0.125f, 0.125f, 0.125f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glUseProgram(program);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, tex);
    glUniform1i(glGetUniformLocation(program, "uTexture"), 0);
    glUniformMatrix4fv(glGetUniformLocation(program, "uView"), 1, GL_FALSE, identity);
    glUniformMatrix4fv(glGetUniformLocation(program, "uProjection"), 1, GL_FALSE, projection);
    const float toLight[3] = {-0.3f / 0.99f, 0.5f / 0.99f, -0.8f / 0.99f}, ambient[3] = {0.25f, 0.25f, 0.25f};
    glUniform3fv(glGetUniformLocation(program, "uToLight"), 1, toLight);
    glUniform3fv(glGetUniformLocation(program, "uGlobalAmbient"), 1, ambient);
    glBindVertexArray(array);
    for (const Batch& b : batches) {
      glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(b.v.size() * sizeof(Vertex)), b.v.data(), GL_STREAM_DRAW);
      glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(b.idx.size() * 4), b.idx.data(), GL_STREAM_DRAW);
      glDrawElements(GL_TRIANGLES, GLsizei(b.idx.size()), GL_UNSIGNED_INT, nullptr);
    }
    glFinish();
  };
  rawFrame();
  // The same batches handed straight to the device: what culling and batching add on their own.
  auto deviceFrame = [&] {
    d->Clear(kClearTarget | kClearZBuffer, SurfRect{0, 0, kWidth, kHeight}, 0x202020, 1, 0);
    d->SetTexture(0, texture);
    for (const Batch& b : batches)
      d->DrawIndexed(b.v.data(), uint32_t(b.v.size()), b.idx.data(), uint32_t(b.idx.size()));
    glFinish();
  };
  const auto t = bench::Alternate(5, {[&] { return MsPerFrame(worldFrame); }, [&] { return MsPerFrame(rawFrame); },
                                      [&] { return MsPerFrame(deviceFrame); }});
  std::printf("static world drawing: %d boxes, %zu batches at %dx%d\n", kObjects, batches.size(), kWidth, kHeight);
  std::printf("  static world   %s ms/frame\n  raw GL         %s ms/frame\n  device batches %s ms/frame\n"
              "  ratio world/raw %s (goal <= 1.20), world/device batches %s\n",
              bench::Show(bench::Summarise(t[0]), 1, 2).c_str(), bench::Show(bench::Summarise(t[1]), 1, 2).c_str(),
              bench::Show(bench::Summarise(t[2]), 1, 2).c_str(), bench::Show(bench::Ratio(t[0], t[1]), 1, 3).c_str(),
              bench::Show(bench::Ratio(t[0], t[2]), 1, 3).c_str());
  glDeleteBuffers(2, buffers);
  glDeleteVertexArrays(1, &array);
  glDeleteProgram(program);
  glDeleteTextures(1, &tex);
  ResetStaticWorld();
}

}  // namespace

int main() {
  bench::PrintMachine("bench_static");
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> place(0, 1000), size(2, 20), height(0, 20), length(10, 100), turn(0, 6.2832f);
  ResetStaticWorld();
  for (int k = 0; k < kBoxes; ++k) {
    const float x = place(rng), z = place(rng), w = size(rng), d = size(rng);
    AddStaticBox(x, 0, z, x + w, size(rng), z + d);
  }
  std::vector<Segment> segments(kSegments);
  for (Segment& s : segments) {
    const float x = place(rng), z = place(rng), l = length(rng), a = turn(rng);
    s = Segment{{x, height(rng), z}, {x + l * std::cos(a), height(rng), z + l * std::sin(a)}};
  }
  std::vector<uint8_t> sampled(kSegments), exact(kSegments);
  const auto walk = [&] {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kSegments; ++i) {
      float out[3];
      const int32_t hit = TestLineAgainstStaticBoxes(segments[size_t(i)].a, segments[size_t(i)].b, kRadius, 1, out);
      // A box the walk starts in counts as a hit too.
      sampled[size_t(i)] = uint8_t(hit || out[0] != segments[size_t(i)].a[0] ||
                                   out[2] != segments[size_t(i)].a[2]);
    }
    return bench::SecondsSince(t0) * 1e3;
  };
  const auto slab = [&] {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kSegments; ++i) {
      bool hit = false;
      for (const StaticBox& box : g_staticWorld.boxes) hit = SlabHit(segments[size_t(i)], box) || hit;
      exact[size_t(i)] = hit;
    }
    return bench::SecondsSince(t0) * 1e3;
  };
  const auto t = bench::Alternate(5, {walk, slab});
  int agree = 0, hits = 0;
  for (int i = 0; i < kSegments; ++i) agree += sampled[size_t(i)] == exact[size_t(i)], hits += exact[size_t(i)];
  std::printf("static world lines: %d segments against %d boxes, %d exact hits, agreement %.2f%%\n", kSegments,
              kBoxes, hits, 100.0 * agree / kSegments);
  std::printf("  sampled walk %s ms\n  slab test    %s ms\n  ratio walk/slab %s (goal <= 1.00)\n",
              bench::Show(bench::Summarise(t[0]), 1, 1).c_str(), bench::Show(bench::Summarise(t[1]), 1, 1).c_str(),
              bench::Show(bench::Ratio(t[0], t[1]), 1, 3).c_str());
  ResetStaticWorld();
  BenchDraw(rng);
  bench::PrintLoad();
  return 0;
}
