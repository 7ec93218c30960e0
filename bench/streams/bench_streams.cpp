// File streams against the C library in the same run: 64 MB of integers written and read one
// value per command (write long / read long into a variable) against fwrite/fread of 4 bytes a
// call; and 64 MB of 1 KB blocks (write fileblock of a 1 KB file, read fileblock into a new
// file, 256 files to a folder) against fopen/fread/fwrite/fclose doing the same with the same
// bytes, and that stream read back 1 KB at a time (skip bytes) against fread. Prints the times
// and the ratio C library time / stream time (goal: at least 0.8).
// Usage: bench_streams [MB] [folder to work in, /tmp by default].
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/cells.h"
#include "core/command_table.h"
#include "core/interp.h"
#include "core/strings.h"
#include "runtime/command_families.h"
#include "system/streams.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Best(int runs, const std::function<void()>& prepare, const std::function<void()>& work) {
  double best = 1e30;
  for (int r = 0; r < runs; ++r) {
    prepare();
    auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

// One command as the interpreter runs it: the handler from the table with its operand words.
struct Command {
  CodeWord words[4] = {};
  CommandHandler handler = nullptr;
  Command(int number, std::initializer_list<VarCell*> operands) {
    words[0] = number;
    int k = 1;
    for (VarCell* c : operands) words[k++] = reinterpret_cast<CodeWord>(c);
    handler = g_commandTable[number];
  }
  void Run() {
    ProgramCounter = words + 1;
    handler();
  }
};

// Block files go 256 to a folder, as a game keeps its files.
std::string BlockFile(const std::string& out, size_t i) {
  return out + "/" + std::to_string(i % 256) + "/b" + std::to_string(i / 256);
}

void Report(const char* name, double peer, double ours, double* worst) {
  std::printf("%-34s %10.1f %10.1f %8.2f\n", name, peer * 1e3, ours * 1e3, peer / ours);
  *worst = std::min(*worst, peer / ours);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? size_t(std::max(1, std::atoi(argv[1]))) : 64;
  const size_t bytes = megabytes << 20, values = bytes / 4, blocks = bytes / 1024;
  std::string tmpl = std::string(argc > 2 ? argv[2] : "/tmp") + "/vk_bench_streams_XXXXXX";
  if (!mkdtemp(tmpl.data())) return 1;
  const std::string folder = tmpl;
  const std::string ours = folder + "/ours.dat", peer = folder + "/peer.dat", block = folder + "/block.bin";
  InitCommandTable();
  std::vector<VarCell> cells(kCellCount);
  g_cells = cells.data();
  VarCell& number = g_cells[kCellIntLiteral];
  VarCell& value = g_cells[kCellIntVar];
  VarCell& name = g_cells[kCellStringLiteral];
  number.i = 1;
  auto setName = [&](const std::string& s) { SetCellString(&name, s.c_str()); };
  auto cleanPeer = [&] { fs::remove(peer); };
  auto cleanOurs = [&] {
    ResetStreams();
    fs::remove(ours);
  };
  // Every run of the block reads makes its files in a folder tree of its own, removed only at
  // the end: deleting many files makes the file system's next creations slower for a while,
  // which would charge one side for the other's clean-up.
  std::string outTree;
  int outRuns = 0;
  auto cleanOut = [&] {
    outTree = folder + "/out" + std::to_string(outRuns++);
    for (int k = 0; k < 256; ++k) fs::create_directories(outTree + "/" + std::to_string(k));
  };
  Command openWrite(8042, {&number, &name}), openRead(8041, {&number, &name}), close(8043, {&number});
  Command writeLong(8063, {&number, &value}), readLong(8053, {&number, &value});
  Command writeBlock(8067, {&number, &name}), readBlock(8057, {&number, &name});
  VarCell& kilobyte = g_cells[kCellIntLiteral + 1];
  kilobyte.i = 1024;
  Command skipBlock(8058, {&number, &kilobyte});
  const int runs = 3;
  double worst = 1e30;
  std::printf("%zu MB each way, best of %d runs\n%-34s %10s %10s %8s\n", megabytes, runs, "benchmark", "libc ms",
              "ours ms", "ratio");

  // Integers.
  const double peerIntWrite = Best(runs, cleanPeer, [&] {
    FILE* f = std::fopen(peer.c_str(), "wb");
    for (size_t i = 0; i < values; ++i) {
      int32_t v = int32_t(i);
      std::fwrite(&v, 4, 1, f);
    }
    std::fclose(f);
  });
  const double oursIntWrite = Best(runs, cleanOurs, [&] {
    setName(ours);
    openWrite.Run();
    for (size_t i = 0; i < values; ++i) {
      value.i = int32_t(i);
      writeLong.Run();
    }
    close.Run();
  });
  Report("write integers", peerIntWrite, oursIntWrite, &worst);
  int64_t sumPeer = 0, sumOurs = 0;
  const double peerIntRead = Best(runs, [] {}, [&] {
    sumPeer = 0;
    FILE* f = std::fopen(peer.c_str(), "rb");
    int32_t v = 0;
    for (size_t i = 0; i < values; ++i) {
      if (std::fread(&v, 4, 1, f) != 1) v = 0;
      sumPeer += v;
    }
    std::fclose(f);
  });
  const double oursIntRead = Best(runs, [] {}, [&] {
    sumOurs = 0;
    setName(ours);
    openRead.Run();
    for (size_t i = 0; i < values; ++i) {
      readLong.Run();
      sumOurs += value.i;
    }
    close.Run();
  });
  Report("read integers", peerIntRead, oursIntRead, &worst);
  if (sumPeer != sumOurs) std::printf("  (the two reads disagree: %lld %lld)\n", (long long)sumPeer, (long long)sumOurs);

  // 1 KB blocks: a file appended as a size-prefixed block, and a block read into a new file.
  {
    std::vector<char> kb(1024);
    for (size_t i = 0; i < kb.size(); ++i) kb[i] = char(i * 7);
    FILE* f = std::fopen(block.c_str(), "wb");
    std::fwrite(kb.data(), 1, kb.size(), f);
    std::fclose(f);
  }
  const double peerBlockWrite = Best(runs, cleanPeer, [&] {
    FILE* out = std::fopen(peer.c_str(), "wb");
    std::vector<char> buf(1024);
    for (size_t i = 0; i < blocks; ++i) {
      FILE* in = std::fopen(block.c_str(), "rb");
      const uint32_t size = uint32_t(std::fread(buf.data(), 1, buf.size(), in));
      std::fclose(in);
      std::fwrite(&size, 4, 1, out);
      std::fwrite(buf.data(), 1, size, out);
    }
    std::fclose(out);
  });
  const double oursBlockWrite = Best(runs, cleanOurs, [&] {
    setName(ours);
    openWrite.Run();
    setName(block);
    for (size_t i = 0; i < blocks; ++i) writeBlock.Run();
    close.Run();
  });
  Report("write 1 KB file blocks", peerBlockWrite, oursBlockWrite, &worst);
  const auto peerBlockReadWork = [&] {
    FILE* in = std::fopen(peer.c_str(), "rb");
    std::vector<char> buf(1024);
    for (size_t i = 0; i < blocks; ++i) {
      uint32_t size = 0;
      if (std::fread(&size, 4, 1, in) != 1 || size > buf.size()) break;
      const size_t got = std::fread(buf.data(), 1, size, in);
      FILE* out = std::fopen(BlockFile(outTree, i).c_str(), "wbx");
      if (out) {
        std::fwrite(buf.data(), 1, got, out);
        std::fclose(out);
      }
    }
    std::fclose(in);
  };
  const auto oursBlockReadWork = [&] {
    setName(ours);
    openRead.Run();
    for (size_t i = 0; i < blocks; ++i) {
      setName(BlockFile(outTree, i));
      readBlock.Run();
    }
    close.Run();
  };
  // The two sides take turns, so that neither meets the file system in a worse state.
  double peerBlockRead = 1e30, oursBlockRead = 1e30;
  for (int r = 0; r < runs; ++r) {
    peerBlockRead = std::min(peerBlockRead, Best(1, cleanOut, peerBlockReadWork));
    oursBlockRead = std::min(oursBlockRead, Best(1, cleanOut, oursBlockReadWork));
  }
  Report("read 1 KB file blocks", peerBlockRead, oursBlockRead, &worst);
  // The same stream read 1 KB at a time with nothing made of it: the bytes alone.
  const double peerSkip = Best(runs, [] {}, [&] {
    FILE* in = std::fopen(peer.c_str(), "rb");
    std::vector<char> buf(1024);
    while (std::fread(buf.data(), 1, buf.size(), in) == buf.size()) {
    }
    std::fclose(in);
  });
  const double oursSkip = Best(runs, [] {}, [&] {
    setName(ours);
    openRead.Run();
    while (!g_fileStreams.slots[1].endOfFile) skipBlock.Run();
    close.Run();
  });
  Report("read 1 KB blocks (skip bytes)", peerSkip, oursSkip, &worst);

  std::printf("\nlowest ratio: %.2f (goal: at least 0.8)\n", worst);
  ResetStreams();
  FreeString(name.s);
  g_cells = nullptr;
  std::error_code ec;
  fs::remove_all(folder, ec);
  return 0;
}
