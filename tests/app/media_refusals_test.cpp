// Files a program names that it cannot use: a run through the real executable stops with the
// family's error, the file and one wording of the cause.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "display/imagefiles/image_files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string Le(uint32_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += char(v >> (8 * i));
  return s;
}

uint32_t Crc32(const std::string& bytes) {
  uint32_t c = 0xFFFFFFFFu;
  for (char ch : bytes) {
    c ^= uint8_t(ch);
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

std::string PngChunk(const std::string& type, const std::string& data) {
  return Be32(uint32_t(data.size())) + type + data + Be32(Crc32(type + data));
}

// A 3DS chunk: id, the length it claims (its true one when 0), the data.
std::string Chunk3ds(uint16_t id, const std::string& data, uint32_t claims = 0) {
  return Le(id, 2) + Le(claims ? claims : uint32_t(data.size() + 6), 4) + data;
}

TEST(MediaRefusals, NoRegularFileATooLargePictureADamaged3dsAndNoOpenerAreSaidSo) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.File("pipe.png").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(dir.File("pipe.x").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.File("folder.bmp"));
  std::filesystem::create_directory(dir.File("folder.3ds"));
  std::filesystem::create_symlink("/dev/zero", dir.File("zero.png"));
  std::filesystem::create_symlink("/dev/zero", dir.File("zero.x"));
  for (const char* name : {"sock.png", "sock.avi"}) {  // sockets, which cannot even be opened
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un at{};
    at.sun_family = AF_UNIX;
    std::snprintf(at.sun_path, sizeof at.sun_path, "%s", dir.File(name).c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0) << name;
    close(fd);
  }
  // A PNG of the given size: its header, then a data chunk (a token, or bytes that are no deflate
  // stream); 30000 by 30000 and the others past 16384 a side are over the largest picture.
  const auto png = [](uint32_t width, uint32_t height, const std::string& data) {
    return "\x89PNG\r\n\x1a\n" + PngChunk("IHDR", Be32(width) + Be32(height) + std::string("\x08\x02\0\0\0", 5)) +
           PngChunk("IDAT", data) + PngChunk("IEND", "");
  };
  dir.Write("huge.png", png(30000, 30000, "x"));
  dir.Write("wide.png", png(16385, 1, "x"));
  dir.Write("tall.png", png(1, 16385, "x"));
  dir.Write("vast.png", png(0x7FFFFFFF, 1, "x"));
  dir.Write("bad.png", png(2, 2, "not deflate data"));
  const std::string mesh = Chunk3ds(0x4000, std::string("A\0", 2) + Chunk3ds(0x4100, Chunk3ds(0x4110, Le(0, 2))));
  dir.Write("long.3ds", Chunk3ds(0x4D4D, Chunk3ds(0x3D3D, mesh), 0x7FFFFFFF));
  dir.Write("child.3ds", Chunk3ds(0x4D4D, Chunk3ds(0x3D3D, mesh, 0x7FFFFFF0)));
  // Damage that left the model or picture empty or cut, where a load went on without a word.
  const std::string verts = Chunk3ds(0x4110, Le(3, 2) + std::string(36, '\0'));
  const std::string faces = Chunk3ds(0x4120, Le(1, 2) + Le(0, 2) + Le(1, 2) + Le(60000, 2) + Le(0, 2));
  dir.Write("face.3ds", Chunk3ds(0x4D4D, Chunk3ds(0x3D3D, Chunk3ds(0x4000, std::string("C\0", 2) + Chunk3ds(0x4100, verts + faces)))));
  dir.Write("face.x", "xof 0302txt 0032\nMesh m { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,99999;; }\n");
  dir.Write("empty.x", "xof 0302txt 0032\n");
  dir.Write("frame.x", "xof 0302txt 0032\nFrame F { }\n");
  dir.Write("over.tga", std::string("\0\0\x0a\0\0\0\0\0\0\0\0\0\x02\0\x01\0\x18\0\x83\x01\x02\x03", 22));
  // 2 x 1 pixels of a map of 2 entries, the second pixel naming entry 5
  dir.Write("map.tga", std::string("\0\x01\x01\0\0\x02\0\x18\0\0\0\0\x02\0\x01\0\x08\0", 18) + std::string(6, '@') +
                           std::string("\0\x05", 2));
  dir.Write("notes.txt", "a document");
  std::filesystem::create_directory(dir.File("nobin"));  // the PATH of the runs: no opener on it
  std::filesystem::create_directory(dir.File("badbin"));  // or one that cannot be run (no mode x)
  dir.Write("badbin/xdg-open", "#!/bin/sh\n");
  const std::string image = "Runtime Warning : Cannot load the image file. ";
  const std::string object = "Runtime Error : Cannot load the object. ";
  const struct {
    const char* statement;
    std::string says;
    const char* path = "nobin";  // the PATH of the run
  } kCases[] = {
      {"load image \"pipe.png\", 1", image + "pipe.png: not a regular file"},
      {"load image \"zero.png\", 1", image + "zero.png: not a regular file"},
      {"load bitmap \"folder.bmp\", 1", image + "folder.bmp: not a regular file"},
      {"load object \"pipe.x\", 1", object + "pipe.x: not a regular file"},
      {"load object \"zero.x\", 1", object + "zero.x: not a regular file"},
      {"load object \"folder.3ds\", 1", object + "folder.3ds: not a regular file"},
      {"load image \"sock.png\", 1", image + "sock.png: not a regular file"},
      {"load animation \"sock.avi\", 1", "Cannot load the animation file. sock.avi: not a regular file"},
      // whatever the name's ending says
      {"load image \"/dev/zero\", 1", image + "/dev/zero: not a regular file"},
      {"load object \"/dev/zero\", 1", object + "/dev/zero: not a regular file"},
      {"load image \"wide.png\", 1", image + "wide.png: too large: a picture has at most 16384 pixels a side"},
      {"load image \"tall.png\", 1", image + "tall.png: too large: a picture has at most 16384 pixels a side"},
      {"load image \"vast.png\", 1", image + "vast.png: too large: a picture has at most 16384 pixels a side"},
      {"load image \"bad.png\", 1", image + "bad.png: damaged, or not a .png picture"},
      {"load image \"huge.png\", 1", image + "huge.png: too large: a picture has at most 16384 pixels a side"},
      {"load object \"long.3ds\", 1", object + "long.3ds: damaged: chunk 0x4D4D at byte 0 claims more data than the file holds"},
      {"load object \"child.3ds\", 1",
       object + "child.3ds: damaged: chunk 0x3D3D at byte 6 claims more data than its parent chunk holds"},
      {"load object \"face.x\", 1", object + "face.x: Mesh m has a face that names vertex 99999 of 3"},
      {"load object \"empty.x\", 1", object + "empty.x: holds no frame or mesh"},
      {"load mesh \"face.3ds\", 1",
       "Cannot load the mesh. face.3ds: damaged: object C has a face that names vertex 60000 of 3"},
      {"load mesh \"frame.x\", 1", "Cannot load the mesh. frame.x: holds no mesh"},
      {"load object \"frame.x\", 1", object + "frame.x: holds no mesh"},
      {"make object cube 1, 1 : merge object animation \"frame.x\", \"none.x\", 1, 1",
       "Runtime Error : Cannot append the animation. none.x: not found"},
      {"load image \"over.tga\", 1", image + "over.tga: damaged, or not a .tga picture"},
      {"load bitmap \"map.tga\", 1", image + "map.tga: damaged, or not a .tga picture"},
      {"execute file \"notes.txt\", \"\", \"\"",
       "Cannot run the program. notes.txt: nothing opens it: xdg-open, the desktop's opener, is not installed"},
      {"execute file \"nobin\", \"\", \"\"", "nobin: nothing opens it: xdg-open, the desktop's opener, is not installed"},
      {"execute file \"notes.txt\", \"\", \"\"",
       "notes.txt: nothing opens it: xdg-open, the desktop's opener, cannot be started: permission denied", "badbin"},
      {"execute file \"pipe.png\", \"\", \"\"", "Cannot run the program. pipe.png: not a regular file"},
      {"convert 3ds to x \"folder.3ds\", \"out.x\"", "Cannot make the file. folder.3ds: not a regular file"},
  };
  for (const auto& c : kCases) {
    dir.Write("media.vka", std::string(c.statement) + "\nprint \"loaded\"\n");
    const ProcessResult r = RunProcess(VellumarkExe(),
                                       {"run", "media.vka", "--headless", "--clock", "virtual", "--frames", "20"},
                                       dir.path(), {"PATH=" + dir.File(c.path)});
    EXPECT_EQ(r.status, 1) << c.statement << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.statement << " gave: " << r.err;
  }
  // A model with CR line ends, behind a byte-order mark, loads whole.
  dir.Write("cr.x", "\xEF\xBB\xBFxof 0302txt 0032\r// a comment\rMesh m {\r3; 0;0;0;, 1;0;0;, 0;1;0;;\r1; 3;0,1,2;; }\r");
  dir.Write("media.vka", "load object \"cr.x\", 1\nprint limb exist(1, 0); object size(1) > 0\n");
  const ProcessResult cr = RunProcess(VellumarkExe(), {"run", "media.vka", "--headless", "--clock", "virtual",
                                                       "--frames", "20", "--transcript", "cr.txt"}, dir.path());
  EXPECT_EQ(cr.status, 0) << cr.err;
  EXPECT_EQ(dir.Read("cr.txt"), "11\n");
  // Each load is judged on its own: a damaged picture after one too large is damaged.
  std::string why;
  EXPECT_EQ(LoadImageByExtension(dir.File("huge.png"), 32, &why), nullptr);
  EXPECT_EQ(LoadImageByExtension(dir.File("bad.png"), 32, &why), nullptr);
  EXPECT_EQ(why, "damaged, or not a .png picture");
}

}  // namespace
