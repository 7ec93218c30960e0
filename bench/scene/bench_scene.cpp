// One frame of a 3D scene through the per-frame step (backdrop, then cull, texture sort, the
// four passes and the render-state cache), against the same frame drawn with raw GL calls.
// The scene: 200 textured cubes and spheres with 8 textures, light 0 and three more (point,
// spot, point), fog, a textured backdrop, one ghost and one last-pass object, made through the
// commands as a program makes them. The raw path draws from the device's own vertex arrays,
// textures and shader program (read from GL after a frame of ours), setting every GL state and
// uniform by hand in the same order: the same work without the step's bookkeeping. Both draw
// into the device's render target on its context and end with glFinish; the frames are
// compared pixel by pixel. Cull and sort are also timed alone. The two take turns; figures are
// medians of the rounds with their spread. Usage: bench_scene [rounds] [frame.png] (default 5
// rounds; the picture is our frame).
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "core/cells.h"
#include "core/command_table.h"
#include "core/errors.h"
#include "core/interp.h"
#include "core/run_state.h"
#include "display/bitmaps.h"
#include "display/display.h"
#include "display/images.h"
#include "display/imagefiles/image_files.h"
#include "display/record_pools.h"
#include "display/textures.h"
#include "model/mesh_data.h"
#include "platform/events.h"
#include "platform/window.h"
#include "runtime/command_families.h"
#include "runtime/subsystems.h"
#include "scene3d/objects.h"
#include "scene3d/record_pools.h"
#include "scene3d/render_states.h"
#include "scene3d/scene.h"
#include "scene3d/scene_render.h"
#include "scene3d/scene_state.h"

namespace {

constexpr int kObjects = 200, kTextures = 8, kFrames = 30;
constexpr int kWidth = 640, kHeight = 480;

// ---- Our side: commands called as the interpreter calls them.

struct Operand {
  char kind;
  int32_t i = 0;
  float f = 0;
  Operand(int v) : kind('l'), i(v) {}
  Operand(float v) : kind('f'), f(v) {}
};

bool Call(int number, std::initializer_list<Operand> operands) {
  std::vector<VarCell> cells(operands.size() + 1);
  std::vector<CodeWord> words(operands.size() + 2, 0);
  size_t k = 0;
  for (const Operand& o : operands) {
    if (o.kind == 'l') cells[k].i = o.i;
    else cells[k].f = o.f;
    words[k + 1] = reinterpret_cast<CodeWord>(&cells[k]);
    ++k;
  }
  words[0] = number;
  g_errorCode = 0;
  ProgramCounter = words.data() + 1;
  g_commandTable[number]();
  ProgramCounter = nullptr;
  if (g_errorCode) std::fprintf(stderr, "bench_scene: command %d failed with %d\n", number, g_errorCode);
  return g_errorCode == 0;
}

// Image n: a 64 x 64 pattern of its own colours.
bool MakeImage(int n) {
  const uint32_t r = BindImageNumber(n);
  if (!r || !EnsureImageSurface(r, 64, 64)) return false;
  Surface* s = ImageSurfaceOf(r);
  const uint32_t a = 0x204080u * uint32_t(n) & 0xFFFFFF, b = 0xFFFFFF - a;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      s->PutPixel(x, y, PixelFromRgb(s->Format(), ((x / (4 + n)) + (y / 8)) & 1 ? a : b));
  NoteImageChanged(r, 0);
  return true;
}

bool StartScene() {
  g_runtime = RuntimeState{};
  PlatformSetHeadless(true);
  EventsInit(true);
  ResetSubsystems();
  CreateDisplayPools();
  ResetImageBank();
  ResetTextureBank();
  AllocImageRecord();    // record 0 stands for none
  AllocTextureRecord();  // so does texture 0
  SetFullScreenFlag(0);
  g_display.depth = 32;
  if (!CreateSurfacesAndDevice(kWidth, kHeight, 1)) return std::fprintf(stderr, "no display\n"), false;
  ResetDisplayRunState();
  ComputePixelShifts(g_display.backBuffer.get());
  InitCommandTable();
  CreateMeshPool();
  AllocMeshData();  // record 0 stands for none
  CreateScenePools();
  InitScene3D();
  ResetSceneDefaults();
  if (!PrepareDevice3D() || g_display.device->Kind() != DeviceKind::kGl) return std::fprintf(stderr, "no GL\n"), false;

  bool ok = Call(7085, {});  // automatic camera off
  for (int n = 1; n <= kTextures + 1; ++n) ok = ok && MakeImage(n);
  if (!ok) std::fprintf(stderr, "no images\n");
  // A 20 x 10 wall of cubes and spheres from 300 to 480 ahead, each with one of 8 textures.
  for (int i = 1; i <= kObjects && ok; ++i) {
    const int column = (i - 1) % 20, row = (i - 1) / 20;
    ok = Call(i % 2 ? 7043 : 7042, {i, 14.0f}) &&
         Call(7021, {i, float(column * 24 - 228), float(row * 20 - 90), float(300 + (i % 10) * 20)}) &&
         Call(7035, {i, 1 + i % kTextures});
  }
  ok = ok && Call(7025, {kObjects - 1}) && Call(7076, {kObjects});  // a ghost and a last-pass object
  // Lights 1 to 3 beside light 0: a point, a spot on the wall and another point.
  ok = ok && Call(7301, {1}) && Call(7303, {1, -150.0f, 50.0f, 200.0f}) && Call(7318, {1, 600.0f});
  ok = ok && Call(7301, {2}) && Call(7304, {2, 20.0f, 40.0f}) && Call(7306, {2, 0.0f, 0.0f, 0.0f}) &&
       Call(7309, {2, 0.0f, 0.0f, 400.0f});
  ok = ok && Call(7301, {3}) && Call(7303, {3, 150.0f, -50.0f, 250.0f}) && Call(7318, {3, 600.0f});
  // Fog from the camera to 1000; the backdrop with image 9.
  ok = ok && Call(7901, {}) && Call(7903, {1000}) && Call(7904, {0x405070}) && Call(7921, {}) && Call(7923, {kTextures + 1});
  return ok;
}

void ClearTarget() {
  g_display.device->Clear(kClearTarget | kClearZBuffer, SurfRect{0, 0, kWidth, kHeight}, 0, 1.0f, 0);
}

// The run loop's frame steps.
double OursFrame() {
  ClearTarget();
  DrawBackdrop();
  RunScene3DStep();
  glFinish();
  return 0;
}

// ---- The raw side: what GL was given, read back once, then given again by hand.

struct UniformValue {
  GLint location;
  GLenum type;
  GLint count;
  std::vector<float> f;
  std::vector<GLint> i;
};

// Every active uniform of the program as it stands.
std::vector<UniformValue> ReadUniforms(GLuint program) {
  std::vector<UniformValue> out;
  GLint n = 0;
  glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &n);
  for (GLint k = 0; k < n; ++k) {
    char name[128];
    GLint size = 0;
    GLenum type = 0;
    glGetActiveUniform(program, GLuint(k), sizeof name, nullptr, &size, &type, name);
    std::string base = name;
    if (base.size() > 3 && base.compare(base.size() - 3, 3, "[0]") == 0) base.resize(base.size() - 3);
    for (GLint e = 0; e < size; ++e) {
      const std::string element = size > 1 ? base + "[" + std::to_string(e) + "]" : base;
      UniformValue u{glGetUniformLocation(program, element.c_str()), type, 1, {}, {}};
      if (u.location < 0) continue;
      switch (type) {
        case GL_FLOAT: u.f.resize(1); break;
        case GL_FLOAT_VEC2: u.f.resize(2); break;
        case GL_FLOAT_VEC3: u.f.resize(3); break;
        case GL_FLOAT_VEC4: u.f.resize(4); break;
        case GL_FLOAT_MAT3: u.f.resize(9); break;
        case GL_FLOAT_MAT4: u.f.resize(16); break;
        default: u.i.resize(1); break;  // int, bool, sampler
      }
      if (!u.f.empty()) glGetUniformfv(program, u.location, u.f.data());
      else glGetUniformiv(program, u.location, u.i.data());
      out.push_back(std::move(u));
    }
  }
  return out;
}

void SetUniform(const UniformValue& u) {
  const float* f = u.f.data();
  switch (u.type) {
    case GL_FLOAT: glUniform1fv(u.location, 1, f); break;
    case GL_FLOAT_VEC2: glUniform2fv(u.location, 1, f); break;
    case GL_FLOAT_VEC3: glUniform3fv(u.location, 1, f); break;
    case GL_FLOAT_VEC4: glUniform4fv(u.location, 1, f); break;
    case GL_FLOAT_MAT3: glUniformMatrix3fv(u.location, 1, GL_FALSE, f); break;
    case GL_FLOAT_MAT4: glUniformMatrix4fv(u.location, 1, GL_FALSE, f); break;
    default: glUniform1i(u.location, u.i[0]); break;
  }
}

// The fixed GL state of a phase of the frame.
struct GlPhase {
  GLboolean depthTest, depthMask, blend, cull;
  GLint cullFace, frontFace, blendSrc, blendDst;
  std::vector<UniformValue> uniforms;  // all of them, at the phase's first draw
};

GlPhase ReadPhase(GLuint program) {
  GlPhase p{};
  p.depthTest = glIsEnabled(GL_DEPTH_TEST);
  glGetBooleanv(GL_DEPTH_WRITEMASK, &p.depthMask);
  p.blend = glIsEnabled(GL_BLEND);
  p.cull = glIsEnabled(GL_CULL_FACE);
  glGetIntegerv(GL_CULL_FACE_MODE, &p.cullFace);
  glGetIntegerv(GL_FRONT_FACE, &p.frontFace);
  glGetIntegerv(GL_BLEND_SRC_RGB, &p.blendSrc);
  glGetIntegerv(GL_BLEND_DST_RGB, &p.blendDst);
  p.uniforms = ReadUniforms(program);
  return p;
}

void SetPhase(const GlPhase& p) {
  p.depthTest ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
  glDepthMask(p.depthMask);
  p.blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
  glBlendFunc(GLenum(p.blendSrc), GLenum(p.blendDst));
  p.cull ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
  glCullFace(GLenum(p.cullFace));
  glFrontFace(GLenum(p.frontFace));
  for (const UniformValue& u : p.uniforms) SetUniform(u);
}

// One draw: its vertex array, texture, index count and world and normal matrices.
struct RawDraw {
  GLint vertexArray, texture, indexCount;
  float world[16], normal[9];
};

struct RawScene {
  GLint framebuffer = 0, program = 0, world = -1, normal = -1;
  GlPhase backdrop, solid, ghost, last;
  RawDraw backdropDraw{};
  std::vector<RawDraw> solidDraws, ghostDraws, lastDraws;
};

RawDraw ReadDraw(const RawScene& s) {
  RawDraw d{};
  glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &d.vertexArray);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &d.texture);
  GLint bytes = 0;
  glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &bytes);
  d.indexCount = bytes / 4 - (bytes / 4) % 3;
  glGetUniformfv(GLuint(s.program), s.world, d.world);
  glGetUniformfv(GLuint(s.program), s.normal, d.normal);
  return d;
}

// Draws our frame again piece by piece (the same calls the step makes, in its order), reading
// after each draw what GL was given.
RawScene ReadScene() {
  RawScene s;
  OursFrame();
  ClearTarget();
  DrawBackdrop();
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &s.framebuffer);
  glGetIntegerv(GL_CURRENT_PROGRAM, &s.program);
  s.world = glGetUniformLocation(GLuint(s.program), "uWorld");
  s.normal = glGetUniformLocation(GLuint(s.program), "uNormalMatrix");
  s.backdrop = ReadPhase(GLuint(s.program));
  s.backdropDraw = ReadDraw(s);
  CollectSceneFrames();
  // The passes as the render orders them: texture by texture, the frames of each pass.
  for (int pass = 0; pass < 3; ++pass) {
    std::vector<RawDraw>& draws = pass == 0 ? s.solidDraws : pass == 1 ? s.ghostDraws : s.lastDraws;
    GlPhase& phase = pass == 0 ? s.solid : pass == 1 ? s.ghost : s.last;
    for (const SceneTextureEntry& t : g_scene.render.textures)
      for (const CollectedFrame& c : g_scene.render.frames) {
        const FrameRecord& f = g_framePool[c.frame];
        const int framePass = f.lastPass ? 2 : f.blend ? 1 : 0;
        if (c.culled || f.noDepth || framePass != pass) continue;
        bool uses = false;
        for (int32_t tex : c.textures) uses |= tex == t.texture;
        if (!uses) continue;
        SetStageTexture(t.texture);
        ApplyFrameRenderStates(f);
        DrawObjectTextureGroup(c.owner, t.texture);
        if (draws.empty()) phase = ReadPhase(GLuint(s.program));
        draws.push_back(ReadDraw(s));
      }
  }
  return s;
}

void DrawAll(const RawScene& s, const std::vector<RawDraw>& draws) {
  GLint texture = -1;
  for (const RawDraw& d : draws) {
    if (d.texture != texture) glBindTexture(GL_TEXTURE_2D, GLuint(texture = d.texture));
    glUniformMatrix4fv(s.world, 1, GL_FALSE, d.world);
    glUniformMatrix3fv(s.normal, 1, GL_FALSE, d.normal);
    glBindVertexArray(GLuint(d.vertexArray));
    glDrawElements(GL_TRIANGLES, d.indexCount, GL_UNSIGNED_INT, nullptr);
  }
}

double RawFrame(const RawScene& s) {
  glBindFramebuffer(GL_FRAMEBUFFER, GLuint(s.framebuffer));
  glViewport(0, 0, kWidth, kHeight);
  glDepthMask(GL_TRUE);
  glClearColor(0, 0, 0, 0);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glUseProgram(GLuint(s.program));
  glActiveTexture(GL_TEXTURE0);
  SetPhase(s.backdrop);
  DrawAll(s, {s.backdropDraw});
  SetPhase(s.solid);
  DrawAll(s, s.solidDraws);
  SetPhase(s.ghost);
  DrawAll(s, s.ghostDraws);
  glDepthMask(GL_TRUE);
  glClear(GL_DEPTH_BUFFER_BIT);
  SetPhase(s.last);
  DrawAll(s, s.lastDraws);
  glFinish();
  return 0;
}

template <class F>
double MsPerFrame(F&& frame) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int f = 0; f < kFrames; ++f) frame();
  return bench::SecondsSince(t0) * 1e3 / kFrames;
}

// Microseconds per cull and sort of the scene.
double CullSortMicros() {
  constexpr int kRepeats = 2000;
  const auto t0 = std::chrono::steady_clock::now();
  for (int k = 0; k < kRepeats; ++k) CollectSceneFrames();
  return bench::SecondsSince(t0) * 1e6 / kRepeats;
}

std::vector<uint32_t> ReadFrame() {
  std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : bench::kMinRounds;
  if (!StartScene()) {
    std::printf("scene: no OpenGL through EGL here, or the scene could not be made\n");
    return 1;
  }
  const RawScene raw = ReadScene();
  OursFrame();
  const std::vector<uint32_t> ours = ReadFrame();
  RawFrame(raw);
  const std::vector<uint32_t> theirs = ReadFrame();
  size_t differ = 0;
  for (size_t k = 0; k < ours.size(); ++k) differ += ours[k] != theirs[k];

  bench::PrintMachine("bench_scene");
  const auto t = bench::Alternate(rounds, {[&] { return MsPerFrame([&] { RawFrame(raw); }); },
                                           [&] { return MsPerFrame(OursFrame); }, CullSortMicros});
  std::printf("scene: %d objects (%zu solid, %zu ghost, %zu last pass), %d textures, 4 lights, fog, backdrop, %dx%d\n",
              kObjects, raw.solidDraws.size(), raw.ghostDraws.size(), raw.lastDraws.size(), kTextures, kWidth, kHeight);
  std::printf("  frames differing in %zu of %zu pixels\n", differ, ours.size());
  std::printf("  raw GL          %s ms/frame\n  per-frame step  %s ms/frame\n  ratio step/raw  %s (goal <= 1.20)\n",
              bench::Show(bench::Summarise(t[0]), 1, 3).c_str(), bench::Show(bench::Summarise(t[1]), 1, 3).c_str(),
              bench::Show(bench::Ratio(t[1], t[0]), 1, 3).c_str());
  std::printf("  cull and sort   %s us/frame\n", bench::Show(bench::Summarise(t[2]), 1, 1).c_str());
  bench::PrintLoad();
  // Optionally the frame of ours as a picture: bench_scene ROUNDS FILE.png
  if (argc > 2) {
    OursFrame();
    PrepareBackBuffer2D();
    SaveImageByExtension(*g_display.backBuffer, argv[2]);
  }
  // The scene and the device go before the process ends, the context still there.
  FreeScenePools();
  FreeMeshPool();
  ReleaseDisplay(false);
  FreeDisplayPools();
  return differ == 0 ? 0 : 2;
}
