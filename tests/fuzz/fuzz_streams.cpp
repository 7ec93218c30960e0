// Stream files are outside data: any bytes read through every typed read, the block reader and
// the folder-block unpacker must end cleanly and write nothing outside the unpack folder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "system/streams.h"

namespace fs = std::filesystem;

namespace {

// The fuzzer's own folder, removed when the run ends.
struct Sandbox {
  Sandbox() {
    char tmpl[] = "/tmp/vk-fuzz-streams-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~Sandbox() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Sandbox box;
  const fs::path& sandbox = box.path;
  const fs::path file = sandbox / "input.dat", into = sandbox / "into";
  std::error_code ec;
  fs::remove_all(into, ec);
  fs::remove(sandbox / "block.bin", ec);
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));

  if (StreamOpenRead(1, file.string()) != 0) return 0;
  StreamSlot& s = g_fileStreams.slots[1];
  uint8_t value[4];
  std::string line;
  // The first byte chooses the order of operations, two bits each, again and again.
  const uint8_t plan = size ? data[0] : 0;
  for (int step = 0; step < 64 && !s.endOfFile; ++step) {
    switch ((plan >> (2 * (step % 4))) & 3) {
      case 0:
        StreamRead(s, value, 1 + step % 4);
        break;
      case 1:
        StreamReadLine(s, line);
        break;
      case 2:
        StreamExtractBlock(s, (sandbox / "block.bin").string());
        break;
      case 3:
        StreamUnpackFolder(s, into.string());
        break;
    }
  }
  ResetStreams();
  // Only the input, the block file and the unpack folder may exist in the sandbox: a name that
  // climbed out of the unpack folder would show up here.
  for (auto& e : fs::directory_iterator(sandbox)) {
    const std::string name = e.path().filename().string();
    if (name != "input.dat" && name != "block.bin" && name != "into") std::abort();
    if (name != "into" && e.is_symlink()) std::abort();
  }
  return 0;
}
