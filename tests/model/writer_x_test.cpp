// The 3DS-to-X writer: the exact text of a small model, names, keys, and files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "core/errors.h"
#include "model/convert3ds/writer_x.h"
#include "model/x_loader.h"
#include "platform/fs.h"
#include "platform/stop_request.h"
#include "model/xfile/xfile.h"
#include "tests/support/program_run.h"
#include "tests/model/fixtures_3ds.h"

using namespace fx3ds;

namespace {

std::string OneTriangle(const std::string& name, const std::string& extraFaces = {}, float x1 = 1) {
  return Chunk(0x4000, Z(name) + Chunk(0x4100, Chunk(0x4110, U16(3) + F({0, 0, 0, x1, 0, 0, 0, 1, 0})) +
                                                    Chunk(0x4120, U16(1) + U16(0) + U16(1) + U16(2) + U16(7) + extraFaces) +
                                                    Chunk(0x4140, U16(1) + F({0.5f, 0.25f}))));
}

const char* const kHeader = "xof 0302txt 0064\nHeader {\n1;\n0;\n1;\n}\n\n";

}  // namespace

TEST(WriterX, SmallModelText) {
  const std::string mat = Chunk(0xAFFF, Chunk(0xA000, Z("Red Paint")) +
                                            Chunk(0xA020, Chunk(0x0011, std::string("\xFF\x80\x00", 3))) +
                                            Chunk(0xA030, Chunk(0x0010, F({0.5f, 0.25f, 1}))) +
                                            Chunk(0xA040, Chunk(0x0030, U16(40))) +
                                            Chunk(0xA200, Chunk(0xA300, Z("wood.bmp"))));
  const std::string obj = OneTriangle("my box", Chunk(0x4130, Z("Red Paint") + U16(1) + U16(0)));
  const std::string kf = Node("my box", 0xFFFF, Chunk(0xB020, TrackHead(2) + VecKey(0, 1, 2, 3) + VecKey(10, 4, 5, 6)) +
                                                   Chunk(0xB022, TrackHead(1) + VecKey(0, 1, 1, 1)));
  const std::string expected = std::string(kHeader) +
                               "Material x3ds_mat_Red_Paint {\n"
                               "1.000000, 0.501961, 0.000000, 1.000000;;\n"
                               "40.000000;\n"
                               "0.500000, 0.250000, 1.000000;;\n"
                               "0.000000, 0.000000, 0.000000;;\n"
                               "TextureFilename {\n\"wood.bmp\";\n}\n"
                               "}\n\n"
                               "Frame x3ds_my_box {\n"
                               "Mesh my_box {\n"
                               "3;\n"
                               "0.000000; 0.000000; 0.000000;,\n"
                               "1.000000; 0.000000; 0.000000;,\n"
                               "0.000000; 0.000000; 1.000000;;\n"
                               "1;\n"
                               "3;0,2,1;;\n"
                               "MeshMaterialList {\n1;\n1;\n0;;\n{x3ds_mat_Red_Paint}\n}\n\n"
                               "MeshNormals {\n"
                               "3;\n"
                               "0.000000; 1.000000; 0.000000;,\n"
                               "0.000000; 1.000000; 0.000000;,\n"
                               "0.000000; 1.000000; 0.000000;;\n"
                               "1;\n"
                               "3;0,1,2;;\n"
                               "}\n"
                               "MeshTextureCoords {\n"
                               "3;\n"
                               "0.500000;0.250000;,\n"
                               "0.000000;0.000000;,\n"
                               "0.000000;0.000000;;\n"
                               "}\n"
                               "}\n"
                               "}\n\n"
                               "AnimationSet x3ds_animset_0 {\n"
                               "Animation x3ds_anim_0 {\n"
                               "{x3ds_my_box}\n"
                               "AnimationKey {\n2;\n2;\n"
                               "0; 3; 1.000000, 3.000000, 2.000000;;,\n"
                               "10; 3; 4.000000, 6.000000, 5.000000;;;\n"
                               "}\n"
                               "}\n"
                               "}\n";
  const std::string text = Convert3dsBytesToX(Main(mat + obj, kf));
  EXPECT_EQ(text, expected);
  XFile x;
  ASSERT_TRUE(ParseXFile(text, x).ok());
  ASSERT_EQ(x.objects.size(), 4u);  // header, material, frame, animation set
  const XObject& frame = *x.objects[2];
  ASSERT_EQ(frame.children.size(), 1u);
  EXPECT_TRUE(frame.children[0]->Is("Mesh"));
  EXPECT_EQ(x.objects[3]->children[0]->children[0]->target, &frame);
}

TEST(WriterX, NamesNumbersAndEmptyInput) {
  EXPECT_EQ(Convert3dsBytesToX(""), kHeader);
  EXPECT_EQ(Convert3dsBytesToX("not a 3ds file"), kHeader);
  EXPECT_EQ(SanitiseXName("a-b c.9Z"), "a_b_c_9Z");
  const std::string numbered = Convert3dsBytesToX(Main(OneTriangle("12")));
  EXPECT_NE(numbered.find("Frame x3ds_12 {\nMesh x12 {\n"), std::string::npos);
  // A value that is not finite is written as zero.
  const std::string nan = Convert3dsBytesToX(Main(OneTriangle("n", {}, std::numeric_limits<float>::infinity())));
  EXPECT_NE(nan.find("\n0.000000; 0.000000; 0.000000;,\n0.000000; 0.000000; 0.000000;,\n"), std::string::npos);
  EXPECT_EQ(nan.find("inf"), std::string::npos);
}

TEST(WriterX, ConvertsFiles) {
  const std::string dir = FsTempFolder() + "/conv3ds";
  std::filesystem::create_directories(dir);
  ASSERT_TRUE(FsWriteFileAtomic(dir + "/in.3ds", Main(OneTriangle("a"))));
  EXPECT_EQ(Convert3dsToX(dir + "/missing.3ds", dir + "/out.x"), -4);
  EXPECT_FALSE(FsFileExists(dir + "/out.x"));
  // A longer file of that name is replaced whole.
  ASSERT_TRUE(FsWriteFileAtomic(dir + "/out.x", std::string(100000, 'z')));
  EXPECT_EQ(Convert3dsToX(dir + "/IN.3DS", dir + "/out.x"), 0);
  std::string out;
  ASSERT_TRUE(FsReadFile(dir + "/out.x", out));
  EXPECT_EQ(out, Convert3dsBytesToX(Main(OneTriangle("a"))));
  std::filesystem::remove_all(dir);
}

// The conversion command checks the endings, then the source, then the target, and reports a
// target it cannot write.
TEST(WriterX, ConvertCommand) {
  const std::string dir = FsTempFolder() + "/conv3dscmd";
  std::filesystem::create_directories(dir);
  ASSERT_TRUE(FsWriteFileAtomic(dir + "/in.3DS", Main(OneTriangle("a"))));
  ASSERT_TRUE(FsWriteFileAtomic(dir + "/taken.x", "x"));
  struct Case {
    std::string source, target;
    int32_t error;
    std::string detail;  // the file and the cause the message gives after the error's text
  };
  const Case cases[] = {
      {dir + "/in.obj", dir + "/out.x", 7931, dir + "/in.obj: only .3ds"},
      {dir + "/in.3DS", dir + "/out.txt", 7932, dir + "/out.txt: not an .x"},
      {dir + "/none.3ds", dir + "/out.x", 105, dir + "/none.3ds: not found"},
      {dir + "/in.3DS", dir + "/taken.x", 106, dir + "/taken.x: already exists"},
      {"3ds", dir + "/out.x", 7931, "3ds: "},
      {dir + "/in.3DS", dir + "/out.X", 0, ""},
      {dir + "/in.3DS", dir + "/no/out.x", 8021, dir + "/no/out.x: cannot be written: No such file"},
  };
  for (const Case& c : cases) {
    CommandCall call;
    call.SetText(0, c.source.c_str());
    call.SetText(1, c.target.c_str());
    g_lastEngineError.clear();
    EXPECT_EQ(call.Run(7941, 2), c.error) << c.source << " " << c.target;
    EXPECT_EQ(g_lastEngineError.rfind(c.detail, 0), 0u) << g_lastEngineError;
  }
  // A target that cannot be written is a warning: a built game goes on without a word.
  CommandCall unwritable;
  unwritable.SetText(0, (dir + "/in.3DS").c_str());
  unwritable.SetText(1, (dir + "/no/out.x").c_str());
  EXPECT_EQ(unwritable.Run(7941, 2), 8021);
  EXPECT_EQ(LastErrorKind(), 1);
  SetBuiltGame(true);
  g_lastEngineError.clear();
  EXPECT_EQ(unwritable.Run(7941, 2), 0);
  EXPECT_EQ(g_lastEngineError, "");
  SetBuiltGame(false);
  ClearRunErrors();
  std::string out;
  ASSERT_TRUE(FsReadFile(dir + "/out.X", out));
  EXPECT_EQ(out, Convert3dsBytesToX(Main(OneTriangle("a"))));
  std::filesystem::remove_all(dir);
}

// A model past the limits of a model load is not converted: the command names the source and
// what it holds too much of, and writes nothing. A stop gives the conversion up.
TEST(WriterX, AModelPastTheLimitsOfALoadIsNotConverted) {
  const std::string dir = FsTempFolder() + "/conv3dslimits";
  std::filesystem::create_directories(dir);
  const std::string model = Main(OneTriangle("a") + OneTriangle("b"));
  ASSERT_TRUE(FsWriteFileAtomic(dir + "/in.3ds", model));
  const XLimits saved = g_modelLimits;
  const struct {
    XLimits limits;
    std::string cause;
  } cases[] = {
      {{3, 1000000}, "holds more objects than a model may have"},
      {{1000, 100}, "holds more values than a model may have"},
      {{1000, 1000000, 5000}, "holds more data than a model may have"},
  };
  for (const auto& c : cases) {
    g_modelLimits = c.limits;
    CommandCall call;
    call.SetText(0, (dir + "/in.3ds").c_str());
    call.SetText(1, (dir + "/out.x").c_str());
    g_lastEngineError.clear();
    EXPECT_EQ(call.Run(7941, 2), 8021);
    EXPECT_EQ(g_lastEngineError.rfind(dir + "/in.3ds: " + c.cause, 0), 0u) << g_lastEngineError;
    EXPECT_FALSE(FsFileExists(dir + "/out.x"));
  }
  g_modelLimits = saved;
  // Each limit holds at its exact figure and refuses one below it. Two meshes of 3 vertices and
  // one face: 7 objects each (frame, mesh and its parts), 59 values each, and bytes of what a
  // load of the text builds (objects, values, the mesh, its vertices and 4 face words) plus the
  // text itself, which a load holds as its file image.
  const std::string text = Convert3dsBytesToX(model);
  const uint64_t bytes = 2 * (7 * 650 + 59 * 8 + 15000 + 3 * 170 + 4 * 12) + text.size();
  const XLimits kExact[] = {{14, 118, bytes}, {13, 118, bytes}, {14, 117, bytes}, {14, 118, bytes - 1}};
  for (size_t i = 0; i < 4; ++i) {
    std::string why;
    EXPECT_EQ(Convert3dsBytesToX(model, kExact[i], &why), i == 0 ? text : "") << i << " " << why;
    XFile objects;
    EXPECT_EQ(Convert3dsBytesToXFile(model, &objects, kExact[i]), i == 0 || i == 3) << i;  // no text held
  }
  ClearRunErrors();
  EventsProgramRunning(true);
  SetStopAsked(true);
  std::string why;
  EXPECT_EQ(Convert3dsBytesToX(model, {}, &why), "");
  EXPECT_EQ(why, "the conversion was stopped");
  SetStopAsked(false);
  EventsProgramRunning(false);
  std::filesystem::remove_all(dir);
}

// Objects load without the text; what they hold is what the text reads back as.
TEST(WriterX, ObjectsMatchTheText) {
  const std::string mat = Chunk(0xAFFF, Chunk(0xA000, Z("skin")) + Chunk(0xA020, Chunk(0x0010, F({1.0f / 3, 0.5f, 2.0f / 7}))) +
                                            Chunk(0xA200, Chunk(0xA300, Z("skin.bmp"))));
  const std::string axes = Chunk(0x4160, F({0, 1, 0, -1, 0, 0, 0, 0, 1, 10.1234567f, 2, 3}));
  const std::string a = Chunk(0x4000, Z("7up") + Chunk(0x4100, Chunk(0x4110, U16(3) + F({0, 0, 0, 1.0f / 3, 0, 0, 0, 1, 0})) +
                                                            Chunk(0x4120, U16(1) + U16(0) + U16(1) + U16(2) + U16(7) +
                                                                              Chunk(0x4130, Z("skin") + U16(1) + U16(0))) +
                                                            axes));
  const std::string b = OneTriangle("hand");
  const std::string kf = Node("7up", 0xFFFF, Chunk(0xB021, TrackHead(2) + RotKey(0, 0.3f, 0, 1, 0) + RotKey(9, 0.3f, 0, 1, 0))) +
                         Node("hand", 0, Chunk(0xB022, TrackHead(1) + VecKey(4, 2.0f / 3, 1, 1)));
  const std::string file = Main(mat + a + b, kf);
  XFile fromText, fromObjects;
  ASSERT_TRUE(ParseXFile(Convert3dsBytesToX(file), fromText).ok());
  Convert3dsBytesToXFile(file, &fromObjects);
  EXPECT_EQ(WriteXFile(fromObjects, XEncoding::Text), WriteXFile(fromText, XEncoding::Text));
  EXPECT_EQ(fromObjects.objects[2]->name, "x3ds_7up");
  EXPECT_EQ(fromObjects.objects[3]->children[0]->children[0]->target, fromObjects.objects[2].get());
}

// The X text cannot escape a double quote: one in a texture name is dropped, so the file reads back.
TEST(WriterX, ATextureNameWithAQuoteStillReadsBack) {
  const std::string mat = Chunk(0xAFFF, Chunk(0xA000, Z("skin")) + Chunk(0xA200, Chunk(0xA300, Z("a\"b.bmp"))));
  const std::string text = Convert3dsBytesToX(Main(mat + OneTriangle("t")));
  XFile file;
  EXPECT_TRUE(ParseXFile(text, file).ok()) << text;
  EXPECT_NE(text.find("\"ab.bmp\";"), std::string::npos) << text;
}
