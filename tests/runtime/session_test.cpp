// Programs run one after another in one session, its window and device kept, as they run alone.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>

#include "compiler/compiler.h"
#include "core/command_table.h"
#include "display/imagefiles/image_files.h"
#include "display/display.h"
#include "runtime/session.h"
#include "runtime/startup.h"
#include "tests/support/gl_required.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kDrawA = 13, kDrawB = 14;

// What A's draw saw of the device before it drew.
struct DeviceSeen {
  const Device3D* device = nullptr;
  DeviceKind kind = DeviceKind::kNull;
  bool gl = false;
};
DeviceSeen g_seen;

// In front of the scene's default camera (at the origin looking along +z).
const Vertex kTriangle[] = {{-0.5f, -0.5f, 2, 0, 0, -1, 0, 0}, {0.0f, 0.5f, 2, 0, 0, -1, 0.5f, 1},
                            {0.5f, -0.5f, 2, 0, 0, -1, 1, 0}};
const uint32_t kIndices[] = {0, 1, 2};

// A: a green square and a triangle under the device's defaults, over the 2D picture.
void CmdDrawA() {
  g_seen.device = g_display.device.get();
  g_seen.kind = g_display.device->Kind();
  Device3D* d = PrepareDevice3D();
  g_seen.gl = d->Kind() == DeviceKind::kGl;
  d->Clear(kClearTarget, SurfRect{100, 100, 200, 200}, 0x00FF00, 1.0f, 0);
  d->DrawIndexed(kTriangle, 3, kIndices, 3);
  MarkDeviceDrew();
}

// B: leaves the device with other states, a texture, a vertex buffer and a red target.
void CmdDrawB() {
  Device3D* d = PrepareDevice3D();
  const float scale[16] = {3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  d->SetTransform(kTransformWorld, scale);
  d->SetRenderState(kRsFillMode, kFillWireframe);
  d->SetRenderState(kRsCullMode, kCullNone);
  d->SetRenderState(kRsLighting, 1);
  d->EnableLight(0, true);
  d->SetTexture(0, d->CreateTexture({TextureLevel{1, 1, {0xFFFF00FFu}}}));
  d->CreateVertexBuffer(kTriangle, 3, kIndices, 3);
  d->Clear(kClearTarget, SurfRect{0, 0, 640, 480}, 0xFF0000, 0.5f, 0);
  d->DrawIndexed(kTriangle, 3, kIndices, 3);
  MarkDeviceDrew();
}

struct Result {
  int status = -1;
  std::string transcript;
  SurfacePtr grab;
};

// Runs the image file name.img of the folder (with the input file, when one is named).
Result RunImageIn(Session& session, const TempDir& dir, const std::string& name, const std::string& input = "") {
  RunRequest r;
  r.runningFile = r.imagePath = dir.File(name + ".img");
  r.options.windowMode = true;
  r.options.virtualClock = true;
  r.options.frames = 3;
  r.options.grabFile = dir.File(name + ".png");
  r.options.transcriptFile = dir.File(name + ".txt");
  r.options.inputFile = input;
  Result out;
  out.status = RunInSession(session, r);
  out.transcript = dir.Read(name + ".txt");
  out.grab = LoadImageByExtension(dir.File(name + ".png"), 32);
  return out;
}

Result RunIn(Session& session, const TempDir& dir, const ImageBuilder& image, const std::string& name,
             const std::string& input = "") {
  EXPECT_TRUE(image.WriteFile(dir.File(name + ".img")));
  return RunImageIn(session, dir, name, input);
}

// Pixels that differ between two frames of the same size.
int DifferingPixels(const Surface& a, const Surface& b) {
  int differ = 0;
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x) differ += (a.GetPixel(x, y) & 0xFFFFFF) != (b.GetPixel(x, y) & 0xFFFFFF);
  return differ;
}

// A draws with GL, B changes the device's states and leaves resources and its picture on it,
// then A again: the second A gets the first one's device, with GL up, and shows the same.
TEST(Session, AThenBThenAKeepTheDeviceAndGiveTheSameFrameAndTranscript) {
  TempDir dir;
  ImageBuilder a, b;
  a.Emit({303, a.Text("before")});
  a.Emit({kDrawA});
  a.Emit({303, a.Text("after")});
  b.Emit({kDrawB});
  b.Emit({303, b.Text("other")});
  g_testTableHook = [] {
    InstallTestCommand(kDrawA, CmdDrawA, "");
    InstallTestCommand(kDrawB, CmdDrawB, "");
  };
  Session session;
  RunOptions open;
  open.windowMode = true;
  ASSERT_TRUE(OpenSession(session, dir.File("a.img"), open));
  g_seen = {};
  const Result first = RunIn(session, dir, a, "a");
  const DeviceSeen firstSeen = g_seen;
  const Result other = RunIn(session, dir, b, "b");
  g_seen = {};
  const Result again = RunIn(session, dir, a, "a");
  const DeviceSeen againSeen = g_seen;
  CloseSession(session);
  g_testTableHook = nullptr;

  ASSERT_EQ(first.status, 0);
  ASSERT_EQ(other.status, 0);
  ASSERT_EQ(again.status, 0);
  VK_NEED_GL(firstSeen.gl);
  EXPECT_EQ(againSeen.device, firstSeen.device);
  EXPECT_EQ(againSeen.kind, DeviceKind::kGl);
  EXPECT_TRUE(againSeen.gl);
  EXPECT_EQ(other.transcript.find("before"), std::string::npos);
  ASSERT_FALSE(first.transcript.empty());
  EXPECT_EQ(again.transcript, first.transcript);
  ASSERT_NE(first.grab, nullptr);
  ASSERT_NE(again.grab, nullptr);
  EXPECT_EQ(first.grab->GetPixel(150, 150) & 0xFFFFFF, 0x00FF00u);
  EXPECT_NE(first.grab->GetPixel(320, 240) & 0xFFFFFF, 0u);  // the triangle
  ASSERT_EQ(again.grab->Width(), first.grab->Width());
  ASSERT_EQ(again.grab->Height(), first.grab->Height());
  EXPECT_EQ(DifferingPixels(*first.grab, *again.grab), 0);
}

// A lit, fogged 3D program with a ghost and a last-pass object, run twice on the kept device:
// the scene's state and the render-state cache start again, so the frames are equal.
TEST(Session, A3DProgramRunTwiceGivesEqualFrames) {
  TempDir dir;
  Compiler compiler;
  compiler.ResetCompiler();
  ASSERT_TRUE(compiler.LoadKeywordTable());
  ASSERT_TRUE(compiler.CompileText(
      "sync on\nautocam off\nhide mouse\nbackdrop on\n"
      "make object sphere 1, 100\nposition object 1, 0, 0, 200\n"
      "make object box 2, 60, 60, 10\nposition object 2, 40, 0, 120\nghost object on 2\n"
      "make object box 3, 40, 40, 10\nposition object 3, -40, 0, 400\nobject last pass on 3\n"
      "set ambient light 20\nmake light 1\nset spot light 1, 10, 30\nposition light 1, 0, 0, 0\n"
      "point light 1, 0, 0, 200\nfog on\nfog distance 600\nfog color rgb(0, 0, 128)\n"
      "do\nsync\nloop\n",
      dir.File("scene.img")))
      << compiler.ResultText();
  Session session;
  RunOptions open;
  open.windowMode = true;
  ASSERT_TRUE(OpenSession(session, dir.File("scene.img"), open));
  const Result first = RunImageIn(session, dir, "scene");
  const Result again = RunImageIn(session, dir, "scene");
  CloseSession(session);

  ASSERT_EQ(first.status, 0);
  ASSERT_EQ(again.status, 0);
  ASSERT_NE(first.grab, nullptr);
  ASSERT_NE(again.grab, nullptr);
  EXPECT_NE(first.grab->GetPixel(320, 240) & 0xFFFFFF, first.grab->GetPixel(20, 20) & 0xFFFFFF);  // drawn
  EXPECT_EQ(DifferingPixels(*first.grab, *again.grab), 0);
}


// A session ended (a hang-up in the environment) once a run has handed back, before anything
// else is drawn, still leaves the last frame shown as its grab. A next run that a standing stop
// request ends before its display shows anything (at its input file, as the environment's run
// after a close that was asked and cancelled) grabs that frame too, and so does the session
// ended after it. A new session starts without it.
TEST(Session, TheGrabAfterARunHandsBackIsItsLastFrame) {
  for (const bool stoppedNext : {false, true}) {
    SCOPED_TRACE(stoppedNext);
    TempDir dir;
    ImageBuilder a, b;
    a.Emit({303, a.Text("shown last")});
    b.Emit({303, b.Text("never shown")});
    dir.Write("input.txt", "5 key Left down\n");
    Session session;
    RunOptions open;
    open.windowMode = true;
    ASSERT_TRUE(OpenSession(session, dir.File("a.img"), open));
    const Result run = RunIn(session, dir, a, "a");
    ASSERT_EQ(run.status, 0);
    ASSERT_NE(run.grab, nullptr);
    if (stoppedNext) {
      raise(SIGTERM);  // caught by the session: a stop request
      const Result next = RunIn(session, dir, b, "b", dir.File("input.txt"));
      EXPECT_EQ(next.status, 0);
      // Its grab is the frame shown last: the first run's.
      ASSERT_NE(next.grab, nullptr);
      EXPECT_EQ(DifferingPixels(*next.grab, *run.grab), 0);
    }
    g_runtime.options.grabFile = dir.File("handback.png");
    WriteGrabFile();
    const SurfacePtr handback = LoadImageByExtension(dir.File("handback.png"), 32);
    CloseSession(session);
    ASSERT_NE(handback, nullptr);
    EXPECT_EQ(DifferingPixels(*handback, *run.grab), 0);

    ASSERT_TRUE(OpenSession(session, dir.File("a.img"), open));
    g_runtime.options.grabFile = dir.File("none.png");
    WriteGrabFile();
    CloseSession(session);
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.png")));
  }
}

}  // namespace
