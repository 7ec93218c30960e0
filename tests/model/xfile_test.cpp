// The .x reader and writer: the object tree of a hand-written text file, the same tree through
// every encoding, references across depth and files, and refusal of broken or compressed input.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "model/xfile/compressed.h"
#include "model/xfile/xfile.h"
#include "tests/model/model_fixtures.h"

namespace {

const char kSample[] = R"(xof 0302txt 0032
// comment line
# another comment
template Custom {
 <12345678-1234-1234-1234-123456789ABC>
 DWORD a;
 [...]
}
Header { 1; 0; 1; }
Material Shiny {
 1.0;0.5;0.25;1.0;;
 12.5;
 0.1;0.2;0.3;;
 0.0;0.0;0.0;;
 TextureFilename { "skin.old.png"; }
}
Frame Body {
 FrameTransformMatrix {
  1,0,0,0, 0,1,0,0, 0,0,1,0, 2.5,-3,4e1,1;;
 }
 Custom stray { 7; Frame Hidden { } }
 Frame Arm {
  Mesh ArmMesh {
   4;
   0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
   2;
   3;0,1,2;, 4;0,1,2,3;;
   MeshMaterialList {
    2; 2; 0, 1;;
    { Shiny }
    Material { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; }
   }
   MeshNormals { 1; 0;0;1;; 1; 3;0,0,0;; }
   MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }
   VertexDuplicationIndices { 4; 4; 0, 1, 2, 3; }
  }
 }
}
AnimationSet Walk {
 Animation {
  { Arm }
  AnimationKey { 0; 2; 0;4;1,0,0,0;;, 10;4;0,1,0,0;;; }
  AnimationKey { 2; 1; 5;3;1.5,2.5,3.5;;; }
 }
}
)";

std::string Dump(const XObject& o, int depth = 0) {
  std::string s(size_t(depth), ' ');
  if (o.isReference) return s + "ref " + o.name + " -> " + (o.target ? o.target->name : "?") + "\n";
  s += o.type + " '" + o.name + "'" + (o.shortData ? " short" : "") + " [";
  for (uint32_t v : o.data) s += std::to_string(v) + " ";
  for (const std::string& str : o.strings) s += "\"" + str + "\" ";
  s += "]\n";
  for (const auto& ch : o.children) s += Dump(*ch, depth + 1);
  return s;
}

std::string Dump(const XFile& f) {
  std::string s;
  for (const auto& o : f.objects) s += Dump(*o);
  return s;
}

float F(const XObject& o, size_t i) {
  float f;
  std::memcpy(&f, &o.data.at(i), 4);
  return f;
}

TEST(XFile, TextSampleGivesTheTreeWithUnknownObjectsSkipped) {
  XFile f;
  const XReadResult r = ParseXFile(kSample, f);
  ASSERT_TRUE(r.ok()) << r.message;
  ASSERT_EQ(f.objects.size(), 4u);  // Header, Material, Frame, AnimationSet
  const XObject& mat = *f.objects[1];
  EXPECT_TRUE(mat.Is("Material"));
  EXPECT_EQ(mat.name, "Shiny");
  EXPECT_EQ(mat.data.size(), 11u);
  EXPECT_FLOAT_EQ(F(mat, 1), 0.5f);
  EXPECT_FLOAT_EQ(F(mat, 4), 12.5f);
  ASSERT_EQ(mat.children.size(), 1u);
  XDataCursor tc(*mat.children[0]);
  std::string tex;
  ASSERT_TRUE(tc.String(&tex));
  EXPECT_EQ(tex, "skin.old.png");

  const XObject& body = *f.objects[2];
  ASSERT_EQ(body.children.size(), 2u);  // the Custom object and the frame inside it are gone
  const XObject& ftm = *body.children[0];
  EXPECT_TRUE(ftm.Is("FrameTransformMatrix"));
  ASSERT_EQ(ftm.data.size(), 16u);
  EXPECT_FLOAT_EQ(F(ftm, 12), 2.5f);
  EXPECT_FLOAT_EQ(F(ftm, 14), 40.0f);
  const XObject& mesh = *body.children[1]->children.at(0);
  EXPECT_EQ(mesh.name, "ArmMesh");
  EXPECT_FALSE(mesh.shortData);
  // 1 + 12 + 1 + (1 + 3) + (1 + 4)
  ASSERT_EQ(mesh.data.size(), 23u);
  EXPECT_EQ(mesh.data[13], 2u);
  EXPECT_EQ(mesh.data[18], 4u);
  EXPECT_EQ(mesh.data[22], 3u);
  ASSERT_EQ(mesh.children.size(), 3u);  // VertexDuplicationIndices skipped
  const XObject& list = *mesh.children[0];
  ASSERT_EQ(list.children.size(), 2u);
  EXPECT_EQ(list.children[0]->Resolved(), &mat);
  EXPECT_TRUE(list.children[1]->Resolved()->Is("Material"));

  const XObject& anim = *f.objects[3]->children.at(0);
  ASSERT_EQ(anim.children.size(), 3u);
  ASSERT_NE(anim.children[0]->Resolved(), nullptr);  // a frame two levels down
  EXPECT_EQ(anim.children[0]->Resolved()->name, "Arm");
  const XObject& rot = *anim.children[1];
  ASSERT_EQ(rot.data.size(), 2u + 2 * 6);
  EXPECT_EQ(rot.data[8], 10u);
  EXPECT_FLOAT_EQ(F(rot, 11), 1.0f);
}

TEST(XFile, EveryEncodingHoldsTheSameTree) {
  XFile f;
  ASSERT_TRUE(ParseXFile(kSample, f).ok());
  const std::string expect = Dump(f);
  struct Enc {
    XEncoding e;
    uint32_t bits;
  } encs[] = {{XEncoding::Text, 32}, {XEncoding::Text, 64}, {XEncoding::Binary, 32}, {XEncoding::Binary, 64}};
  for (const Enc& enc : encs) {
    const std::string bytes = WriteXFile(f, enc.e, enc.bits);
    XFile g;
    const XReadResult r = ParseXFile(bytes, g);
    ASSERT_TRUE(r.ok()) << r.message << "\n" << bytes;
    EXPECT_EQ(g.encoding, enc.e);
    EXPECT_EQ(g.floatBits, enc.bits);
    EXPECT_EQ(Dump(g), expect) << bytes;
  }
  // Floats that need all their digits survive text exactly.
  XFile h;
  XObject& v = h.Add("FloatKeys");
  v.PushInt(3);
  for (float x : {0.1f, -1.0e-30f, 3.4028235e38f}) v.PushFloat(x);
  XFile back;
  ASSERT_TRUE(ParseXFile(WriteXFile(h, XEncoding::Text), back).ok());
  EXPECT_EQ(back.objects.at(0)->data, v.data);
}

TEST(XFile, HeadersAreCheckedAndCompressedFilesRefused) {
  struct Case {
    const char* head;
    XStatus status;
  } cases[] = {
      {"xof 0303txt 0064", XStatus::Ok},
      {"xof 0302bin 0032", XStatus::Ok},
      {"xof 0303tzip0032", XStatus::Compressed},
      {"xof 0302bzip0064", XStatus::Compressed},
      {"xof 0302txt 0016", XStatus::BadFormat},
      {"xof 0302TXT 0032", XStatus::BadFormat},
      {"xof 03a2txt 0032", XStatus::NotXFile},
      {"MZ", XStatus::NotXFile},
  };
  for (const Case& c : cases) {
    XFile f;
    EXPECT_EQ(ParseXFile(c.head, f).status, c.status) << c.head;
  }
  XFile f;
  EXPECT_EQ(ReadXFile("/no/such/file.x", f).status, XStatus::ReadFailed);
}

// Every size of a compressed file is checked against the data present: a damaged one is
// refused with the cause, never read past its end.
TEST(XFile, DamagedCompressedFilesAreRefusedWithTheCause) {
  const std::string good = fxmodel::MsZipXFile(kSample, 100);
  XFile f;
  ASSERT_TRUE(ParseXFile(good, f).ok());
  EXPECT_EQ(f.encoding, XEncoding::Text);
  auto with = [&](size_t at, std::string bytes) { return good.substr(0, at) + bytes + good.substr(at + bytes.size()); };
  const uint32_t total = uint32_t(sizeof kSample - 1);
  const std::string shortTotal = {char(total - 1), char((total - 1) >> 8), 0, 0};
  const std::pair<std::string, std::string> kCases[] = {
      {good.substr(0, 18), "the compressed data has no size"},
      {with(16, std::string("\x08\0\0\0", 4)), "the compressed data gives an impossible size"},
      {good.substr(0, 24), "a compressed block is cut short"},
      {good.substr(0, good.size() - 1), "a compressed block is longer than the file"},
      {with(24, "CX"), "a compressed block lacks its signature"},
      {with(16, shortTotal), "the compressed blocks give more than the file's size"},
      {with(20, std::string("\x63\0", 2)), "a compressed block is damaged"},  // inflates to more than 99
      {with(26, std::string("\xff\xff\xff", 3)), "a compressed block is damaged"},
      {good + std::string("\x00\x00\x02\x00" "CK", 6), "a compressed block is damaged"},
  };
  for (const auto& [bytes, cause] : kCases) {
    const XReadResult r = ParseXFile(bytes, f);
    EXPECT_EQ(r.status, XStatus::Compressed) << cause;
    EXPECT_EQ(r.message, cause);
    EXPECT_TRUE(f.objects.empty());
  }
  // Blocks that give less than the total.
  std::string more = good;
  more[17] = char(more[17] + 1);
  EXPECT_EQ(ParseXFile(more, f).message, "the compressed blocks give less than the file's size");
}

// Block sizes are held to the data: a block that inflates to less than its stated size is
// refused, and a file of 64 KiB or more (the high half of its size in use) loads whole. A
// flood of empty blocks costs each block only itself: each once copied the 32 KB before it as
// its dictionary (10 MB of them took half a minute).
TEST(XFile, CompressedBlockSizesAndFloods) {
  std::string plain = "xof 0302txt 0032\n";
  for (int i = 0; plain.size() < 70000; ++i) plain += "Frame f" + std::to_string(i) + " { }\n";
  XFile f;
  XReadResult r = ParseXFile(fxmodel::MsZipXFile(plain, 65535), f);
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(f.objects.size(), 4444u);
  EXPECT_EQ(f.objects.back()->name, "f4443");

  std::string shortBlock = fxmodel::MsZipXFile(kSample, 65535);
  shortBlock[16] = char(shortBlock[16] + 1);  // the total, and the one block's size, one more
  shortBlock[20] = char(shortBlock[20] + 1);
  r = ParseXFile(shortBlock, f);
  EXPECT_EQ(r.status, XStatus::Compressed);
  EXPECT_EQ(r.message, "a compressed block is damaged");

  // 32 KB and more of text, then 40 MB of empty blocks (two bytes of deflate each; 10 MB in an
  // unoptimised build, as the sanitizers run). Their copies took 4 to 60 s.
#ifdef NDEBUG
  constexpr size_t kFloodBytes = size_t(40) << 20;
#else
  constexpr size_t kFloodBytes = size_t(10) << 20;
#endif
  std::string empty("\0\0\4\0CK\3\0", 8);
  while (empty.size() < kFloodBytes) empty += empty;
  const std::string flood = fxmodel::MsZipXFile(plain.substr(0, 40000), 65535) + empty;
  const auto start = std::chrono::steady_clock::now();
  std::string inflated, why;
  EXPECT_TRUE(InflateXFile(flood, &inflated, &why)) << why;
  EXPECT_EQ(inflated.size(), 40000u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

// What a read may build is bounded: past the limits of objects (references count) or of
// values, the file is refused as too large, however little of it there is.
TEST(XFile, AFileBuildingMoreThanTheLimitsIsRefused) {
  const XLimits limits{4, 20};
  const struct {
    const char* body;
    const char* cause;  // nullptr: read
  } kCases[] = {
      {"Frame a { Frame b { } } Frame c { Frame d { } }", nullptr},
      {"Frame a { Frame b { } } Frame c { Frame d { } } Frame e { }", "holds more objects than a model may have"},
      {"Frame a { {b} {c} {d} {e} }", "holds more objects than a model may have"},
      {"Mesh m { 6; 0;0;0;, 1;0;0;, 0;1;0;, 0;0;0;, 1;0;0;, 0;1;0;; 0;; }", nullptr},
      {"Mesh m { 7; 0;0;0;, 1;0;0;, 0;1;0;, 0;0;0;, 1;0;0;, 0;1;0;, 1;1;1;; 0;; }",
       "holds more values than a model may have"},
  };
  for (const auto& c : kCases) {
    XFile f;
    const XReadResult r = ParseXFile(std::string("xof 0302txt 0032\n") + c.body, f, limits);
    EXPECT_EQ(r.message, c.cause ? c.cause : "") << c.body;
    EXPECT_EQ(r.status, c.cause ? XStatus::TooLarge : XStatus::Ok) << c.body;
  }
}

// The limit of bytes charges the file image and what each part read becomes once loaded, the
// same as XLoadBytes gives for the objects: a file loads at exactly its charge, one byte less
// refuses it.
TEST(XFile, TheLimitOfBytesChargesWhatTheLoadHolds) {
  const char* const kBodies[] = {
      "Frame a { Frame b { } {a} }",
      "Mesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 1; 3;0,0,0;; } }",
      "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"a long texture file name.png\"; } }",
  };
  for (const char* body : kBodies) {
    const std::string text = std::string("xof 0302txt 0032\n") + body;
    XFile f;
    ASSERT_TRUE(ParseXFile(text, f).ok()) << body;
    const uint64_t charge = XLoadBytes(f) + text.size();
    EXPECT_TRUE(ParseXFile(text, f, XLimits{100, 100, charge}).ok()) << body;
    const XReadResult r = ParseXFile(text, f, XLimits{100, 100, charge - 1});
    EXPECT_EQ(r.status, XStatus::TooLarge) << body;
    EXPECT_EQ(r.message, "holds more data than a model may have") << body;
  }
  // One mesh by hand: an object (650) and its name (1), 15 values (8 each), the mesh (15,000),
  // 3 vertices (170 each) and the words after them, the face count and 4 face words (12 each).
  XFile one;
  ASSERT_TRUE(ParseXFile(std::string("xof 0302txt 0032\n") + kBodies[1], one).ok());
  one.objects[0]->children.clear();
  EXPECT_EQ(XLoadBytes(one), 650u + 1 + 15 * 8 + 15000 + 3 * 170 + 5 * 12);
  // A compressed file holds its compressed image too while the plain one is read.
  const std::string plain = std::string("xof 0302txt 0032\n") + kBodies[1];
  const std::string packed = fxmodel::MsZipXFile(plain, 40);
  XFile f;
  ASSERT_TRUE(ParseXFile(plain, f).ok());
  const uint64_t charge = XLoadBytes(f) + plain.size() + packed.size();
  EXPECT_TRUE(ParseXFile(packed, f, XLimits{100, 100, charge}).ok());
  EXPECT_EQ(ParseXFile(packed, f, XLimits{100, 100, charge - 1}).status, XStatus::TooLarge);
  // A mesh of a million vertices in a small compressed file is charged what it builds.
  std::string mesh = "xof 0302txt 0032\nMesh m { 1000000;\n";
  for (int i = 0; i < 1000000; ++i) mesh += "0;0;0;,";
  mesh += "; 0;; }\n";
  const XReadResult r = ParseXFile(fxmodel::MsZipXFile(mesh, 60000), f, XLimits{100, 4'000'000, 150'000'000});
  EXPECT_EQ(r.message, "holds more data than a model may have");
}

// A reference finds the first object of its name in file order, then, when no object has its
// name, the first of its GUID (frames sharing one GUID included).
TEST(XFile, AReferenceFindsTheFirstObjectOfItsNameOrGuid) {
  const std::string g = "<01020304-0506-0708-090A-0B0C0D0E0F10>", h = "<01020304-0506-0708-090A-0B0C0D0E0F11>";
  XFile f;
  ASSERT_TRUE(ParseXFile("xof 0302txt 0032\nFrame a { Frame b " + g + " { } }\nFrame c " + g + " { }\nFrame b " + h +
                             " { }\nAnimationSet { Animation { {b} {" + g + "} {x " + g + "} {c " + h + "} {" + h + "} {x} } }",
                         f).ok());
  const XObject *b = f.objects[0]->children[0].get(), *c = f.objects[1].get(), *topB = f.objects[2].get();
  const XObject* const kFound[] = {b, b, b, c, topB, nullptr};
  const auto& refs = f.objects.back()->children[0]->children;
  ASSERT_EQ(refs.size(), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(refs[i]->target, kFound[i]) << i;
}

// Not-a-number reads as 0 however it is written.
TEST(XFile, NotANumberReadsAsZero) {
  XFile f;
  ASSERT_TRUE(ParseXFile("xof 0302txt 0032\nVector { -nan; 1.#QNAN0; +nan; }\n", f).ok());
  ASSERT_EQ(f.objects.size(), 1u);
  EXPECT_EQ(f.objects[0]->data, (std::vector<uint32_t>{0, 0, 0}));
}

TEST(XFile, BrokenInputFailsCleanlyAndKeepsWhatWasComplete) {
  const std::string head = "xof 0302txt 0032\n";
  struct Case {
    std::string body;
    XStatus status;
    size_t objects;
  } cases[] = {
      {"Frame A { } Frame B { Frame C {", XStatus::Syntax, 1},
      {"Frame A { } Frame B { \"open", XStatus::Syntax, 1},
      {"Frame A { } ] Frame B { }", XStatus::Syntax, 1},
      {"template T { DWORD a; ", XStatus::Syntax, 0},
      {std::string(1000, 'x').insert(0, "Frame ") + " { }", XStatus::Ok, 1},
  };
  for (const Case& c : cases) {
    XFile f;
    EXPECT_EQ(ParseXFile(head + c.body, f).status, c.status) << c.body;
    EXPECT_EQ(f.objects.size(), c.objects) << c.body;
  }
  std::string deep = head;
  for (int i = 0; i < 5000; ++i) deep += "Frame {";
  XFile f;
  EXPECT_EQ(ParseXFile(deep, f).status, XStatus::TooDeep);
}

TEST(XFile, ShortOrExcessDataIsFlaggedWithoutLosingTheNextObjects) {
  // 4 billion keys announced, one present; a huge vertex count; then extra numbers.
  const std::string text = "xof 0302txt 0032\n"
                           "AnimationKey { 0; 4000000000; 0;4;1,0,0,0;;; }\n"
                           "Mesh M { 4294967295; 1;2;3;; MeshNormals { 0;; 0;; } }\n"
                           "FloatKeys { 1; 2.0; 3, 4, \"x\"; }\n"
                           "Frame After { }\n";
  XFile f;
  ASSERT_TRUE(ParseXFile(text, f).ok());
  ASSERT_EQ(f.objects.size(), 4u);
  EXPECT_TRUE(f.objects[0]->shortData);
  EXPECT_EQ(f.objects[0]->data.size(), 8u);
  EXPECT_TRUE(f.objects[1]->shortData);
  EXPECT_EQ(f.objects[1]->data.size(), 4u);
  EXPECT_EQ(f.objects[1]->children.size(), 1u);  // children after short data still count
  EXPECT_FALSE(f.objects[2]->shortData);
  EXPECT_EQ(f.objects[2]->data.size(), 2u);
  EXPECT_EQ(f.objects[3]->name, "After");

  // A binary list whose count runs past the end of the file.
  XFile b;
  XObject& k = b.Add("FloatKeys");
  k.PushInt(2);
  k.PushFloat(1);
  k.PushFloat(2);
  b.Add("Frame", "Last");
  std::string bytes = WriteXFile(b, XEncoding::Binary);
  const size_t at = bytes.find(std::string("\x07\x00\x02\x00\x00\x00", 6));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 5] = '\x70';  // 0x70000002 floats
  XFile g;
  const XReadResult r = ParseXFile(bytes, g);
  EXPECT_EQ(r.status, XStatus::Syntax);
  EXPECT_TRUE(g.objects.empty());
  XDataCursor c(*b.objects[0]);
  float two[2];
  EXPECT_FALSE(c.Floats(two, 4));
  EXPECT_TRUE(c.Floats(two, 0));
}

TEST(XFile, ReferencesResolveAcrossFiles) {
  XFile model, anim;
  ASSERT_TRUE(ParseXFile("xof 0302bin 0032", model).ok());
  model.Add("Frame", "Root").AddChild("Frame", "Leg");
  const std::string binary = WriteXFile(model, XEncoding::Binary);
  ASSERT_TRUE(ParseXFile(binary, model).ok());
  ASSERT_TRUE(ParseXFile("xof 0302txt 0032\nAnimationSet { Animation { { Leg } { Nowhere } } }", anim).ok());
  const XObject& a = *anim.objects[0]->children[0];
  EXPECT_EQ(a.children[0]->target, nullptr);  // unresolved within its own file
  ResolveXReferences({&model, &anim});
  ASSERT_NE(a.children[0]->target, nullptr);
  EXPECT_EQ(a.children[0]->target->name, "Leg");
  EXPECT_EQ(a.children[1]->target, nullptr);

  // A text GUID reference finds the binary object of that GUID: its first three groups are
  // kept little-endian, as the binary form stores them.
  XFile guided, byGuid;
  XObject& target = guided.Add("Frame");
  const uint8_t bytes[16] = {4, 3, 2, 1, 6, 5, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16};
  std::memcpy(target.guid.bytes, bytes, 16);
  ASSERT_TRUE(ParseXFile(WriteXFile(guided, XEncoding::Binary), guided).ok());
  ASSERT_TRUE(ParseXFile("xof 0302txt 0032\nAnimationSet { Animation { { <01020304-0506-0708-090A-0B0C0D0E0F10> } } }",
                         byGuid).ok());
  ResolveXReferences({&guided, &byGuid});
  EXPECT_EQ(byGuid.objects[0]->children[0]->children[0]->target, guided.objects.at(0).get());
}

TEST(XFile, AQuoteInAStringIsDroppedSoTheTextReadsBack) {
  XFile f;
  f.Add("Material", "M").AddChild("TextureFilename").PushString("a\"b\".png");
  f.Add("Frame", "After");
  XFile back;
  const std::string text = WriteXFile(f, XEncoding::Text);
  ASSERT_TRUE(ParseXFile(text, back).ok()) << text;
  ASSERT_EQ(back.objects.size(), 2u);
  EXPECT_EQ(back.objects[0]->children.at(0)->strings, std::vector<std::string>{"ab.png"});
}

}  // namespace
