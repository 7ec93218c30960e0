// One frame = a clear, then 100 meshes of 100 triangles each (lit by a directional light,
// textured with a 64x64 checker, linear fog), each under its own world transform, then a one-pixel read that waits for the
// frame. The device facade draws it through its state and shader; the raw path draws the same
// meshes from static buffers with a minimal shader of the same lighting and fog, on the
// device's own context. The two take turns; the figures are medians of the rounds with their
// spread, and the ratio is facade / raw.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "platform/device3d.h"
#include "platform/math3d.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kMeshes = 100, kCellsX = 10, kCellsY = 5;  // 100 triangles a mesh
constexpr int kFrames = 40, kRuns = 15;

struct Mesh {
  std::vector<Vertex> v;
  std::vector<uint32_t> idx;
  float world[16];
};

std::vector<Mesh> MakeScene() {
  std::vector<Mesh> meshes(kMeshes);
  for (int k = 0; k < kMeshes; ++k) {
    Mesh& m = meshes[size_t(k)];
    for (int j = 0; j <= kCellsY; ++j)
      for (int i = 0; i <= kCellsX; ++i) {
        const float x = float(i) / kCellsX, y = float(j) / kCellsY;
        const float z = 0.2f * std::sin(6 * x + float(k));
        m.v.push_back({x * 4 - 2, y * 2 - 1, z, 0, 0.3f, -1, x, y});
      }
    for (int j = 0; j < kCellsY; ++j)
      for (int i = 0; i < kCellsX; ++i) {
        uint32_t a = uint32_t(j * (kCellsX + 1) + i), b = a + 1, c = b + kCellsX + 1, d = a + kCellsX + 1;
        m.idx.insert(m.idx.end(), {a, c, b, a, d, c});
      }
    float turn[16];
    BuildRotationYMatrix(turn, 0.3f * float(k % 7));
    std::memcpy(m.world, turn, sizeof turn);
    m.world[12] = float(k % 10) * 3 - 13.5f;
    m.world[13] = float(k / 10) * 2 - 9;
    m.world[14] = 25 + float(k % 5);
  }
  return meshes;
}

uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

void SetUpFacade(Device3D* d, float projection[16], Light* light) {
  d->SetViewport(0, 0, kWidth, kHeight, 0, 1);
  BuildProjectionMatrix(projection, 1.0814433f, float(kHeight) / kWidth, 1, 3000);
  d->SetTransform(kTransformProjection, projection);
  Material m;
  for (int i = 0; i < 3; ++i) m.diffuse[i] = m.ambient[i] = 0.5f;
  d->SetMaterial(m);
  d->SetRenderState(kRsAmbient, 0x404040);
  light->direction[0] = 0.3f, light->direction[1] = -0.5f, light->direction[2] = 0.8f;
  d->SetLight(0, *light);
  d->EnableLight(0, true);
  d->SetRenderState(kRsFogEnable, 1);
  d->SetRenderState(kRsFogColour, 0x8080FF);
  d->SetRenderState(kRsFogStart, Bits(20));
  d->SetRenderState(kRsFogEnd, Bits(40));
  d->SetRenderState(kRsCullMode, kCullNone);
}

const char* kVertex = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aTexCoord;
out vec2 vTexCoord;
uniform mat4 uWorld, uView, uProjection;
uniform vec3 uToLight, uGlobalAmbient;
uniform float uFogStart, uFogEnd;
out vec4 vColour;
out float vFog;
void main() {
  vec4 eye = uView * (uWorld * vec4(aPosition, 1.0));
  gl_Position = uProjection * eye;
  gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
  vec3 n = normalize(mat3(uWorld) * aNormal);
  vColour = vec4(clamp(0.5 * uGlobalAmbient + 0.5 * max(dot(n, uToLight), 0.0), 0.0, 1.0), 1.0);
  vTexCoord = aTexCoord;
  vFog = clamp((uFogEnd - eye.z) / (uFogEnd - uFogStart), 0.0, 1.0);
}
)";
const char* kFragment = R"(#version 330 core
in vec4 vColour;
in float vFog;
in vec2 vTexCoord;
uniform vec3 uFogColour;
uniform sampler2D uTexture;
out vec4 fragColour;
void main() {
  vec4 c = vColour * texture(uTexture, vTexCoord);
  fragColour = vec4(mix(uFogColour, c.rgb, vFog), c.a);
}
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

template <class F>
double MsPerFrame(F&& frame) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int f = 0; f < kFrames; ++f) frame();
  const auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::milli>(t1 - t0).count() / kFrames;
}

}  // namespace

int main() {
  Device3DPtr d = CreateGlDevice(kWidth, kHeight);
  if (!d) {
    std::printf("render3d: no OpenGL through EGL here\n");
    return 1;
  }
  const std::vector<Mesh> scene = MakeScene();
  float projection[16], identity[16];
  SetMatrixIdentity(identity);
  Light light;
  SetUpFacade(d.get(), projection, &light);
  TextureLevel checker;
  checker.width = checker.height = 64;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) checker.texels.push_back(((x / 8 + y / 8) & 1) ? 0xFFFFFFFFu : 0xFF808080u);
  d->SetTexture(0, d->CreateTexture({checker}));

  // The meshes' vertex buffers, as mesh nodes keep them.
  std::vector<uint32_t> handles;
  for (const Mesh& m : scene)
    handles.push_back(d->CreateVertexBuffer(m.v.data(), uint32_t(m.v.size()), m.idx.data(), uint32_t(m.idx.size())));
  auto facadeFrame = [&] {
    d->Clear(kClearTarget | kClearZBuffer, SurfRect{0, 0, kWidth, kHeight}, 0x202020, 1, 0);
    for (size_t k = 0; k < scene.size(); ++k) {
      d->SetTransform(kTransformWorld, scene[k].world);
      d->DrawVertexBuffer(handles[k]);
    }
    glFinish();
  };
  facadeFrame();  // leaves the device's context current with its render target bound

  // The raw path on the same context and render target: static buffers per mesh.
  GLint framebuffer = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
  GLuint program = Program();
  std::vector<GLuint> arrays(kMeshes), buffers(2 * kMeshes);
  glGenVertexArrays(kMeshes, arrays.data());
  glGenBuffers(2 * kMeshes, buffers.data());
  for (int k = 0; k < kMeshes; ++k) {
    const Mesh& m = scene[size_t(k)];
    glBindVertexArray(arrays[size_t(k)]);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[size_t(2 * k)]);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(m.v.size() * sizeof(Vertex)), m.v.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[size_t(2 * k + 1)]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(m.idx.size() * 4), m.idx.data(), GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, x)));
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, nx)));
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, u)));
    for (GLuint a = 0; a < 3; ++a) glEnableVertexAttribArray(a);
  }
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, checker.texels.data());
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
    glBindTexture(GL_TEXTURE_2D, texture);
    glUniform1i(glGetUniformLocation(program, "uTexture"), 0);
    glUniformMatrix4fv(glGetUniformLocation(program, "uView"), 1, GL_FALSE, identity);
    glUniformMatrix4fv(glGetUniformLocation(program, "uProjection"), 1, GL_FALSE, projection);
    const float toLight[3] = {-light.direction[0], -light.direction[1], -light.direction[2]}, ambient[3] = {0.25f, 0.25f, 0.25f};
    float n = std::sqrt(toLight[0] * toLight[0] + toLight[1] * toLight[1] + toLight[2] * toLight[2]);
    const float unit[3] = {toLight[0] / n, toLight[1] / n, toLight[2] / n}, fog[3] = {0.5f, 0.5f, 1};
    glUniform3fv(glGetUniformLocation(program, "uToLight"), 1, unit);
    glUniform3fv(glGetUniformLocation(program, "uGlobalAmbient"), 1, ambient);
    glUniform3fv(glGetUniformLocation(program, "uFogColour"), 1, fog);
    glUniform1f(glGetUniformLocation(program, "uFogStart"), 20);
    glUniform1f(glGetUniformLocation(program, "uFogEnd"), 40);
    const GLint world = glGetUniformLocation(program, "uWorld");
    for (int k = 0; k < kMeshes; ++k) {
      glUniformMatrix4fv(world, 1, GL_FALSE, scene[size_t(k)].world);
      glBindVertexArray(arrays[size_t(k)]);
      glDrawElements(GL_TRIANGLES, GLsizei(scene[size_t(k)].idx.size()), GL_UNSIGNED_INT, nullptr);
    }
    glFinish();
  };
  rawFrame();

  // The two paths take turns, so a busy machine slows both alike.
  bench::PrintMachine("bench_render3d");
  const auto t = bench::Alternate(kRuns, {[&] { return MsPerFrame(rawFrame); }, [&] { return MsPerFrame(facadeFrame); }});
  std::printf("render3d: %d lit, textured, fogged triangles in %d meshes at %dx%d\n", kMeshes * kCellsX * kCellsY * 2, kMeshes, kWidth,
              kHeight);
  std::printf("  raw GL   %s ms/frame\n  facade   %s ms/frame\n  ratio facade/raw %s (goal <= 1.10)\n",
              bench::Show(bench::Summarise(t[0]), 1, 3).c_str(), bench::Show(bench::Summarise(t[1]), 1, 3).c_str(),
              bench::Show(bench::Ratio(t[1], t[0]), 1, 3).c_str());
  bench::PrintLoad();
  glDeleteBuffers(2 * kMeshes, buffers.data());
  glDeleteVertexArrays(kMeshes, arrays.data());
  glDeleteProgram(program);
  glDeleteTextures(1, &texture);
  return 0;
}
