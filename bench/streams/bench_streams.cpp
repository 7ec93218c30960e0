// File streams against the C library in the same run: 64 MB of integers written and read one
// value per command (write long / read long into a variable) against fwrite/fread of 4 bytes a
// call; and 64 MB of 1 KB blocks (write fileblock of a 1 KB file, read fileblock into a new
// file, 256 files to a folder) against fopen/fread/fwrite/fclose doing the same with the same
// bytes, and that stream read back 1 KB at a time (skip bytes) against fread. The two sides take
// turns; every file written is checked against the other side's, and each run's folder tree of
// block files is checked and deleted before the next run. Prints the times and the ratio
// C library time / stream time, medians of the rounds with their spread (goal: at least 0.8).
// Usage: bench_streams [MB] [folder to work in, /tmp by default] [rounds].
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "core/cells.h"
#include "core/command_table.h"
#include "core/interp.h"
#include "core/strings.h"
#include "runtime/command_families.h"
#include "system/streams.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Seconds of work, after prepare (not timed).
double Timed(const std::function<void()>& prepare, const std::function<void()>& work) {
  prepare();
  auto start = Clock::now();
  work();
  return bench::SecondsSince(start);
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

// Block files go 256 to a folder, as a game keeps its files, in as many folders as they need.
constexpr size_t kFilesPerFolder = 256;
size_t g_folders = 1;

std::string BlockFile(const std::string& out, size_t i) {
  return out + "/" + std::to_string(i % g_folders) + "/b" + std::to_string(i / g_folders);
}

void Report(const char* name, const std::vector<std::vector<double>>& t, double* worst) {
  const bench::Figure ratio = bench::Ratio(t[0], t[1]);
  std::printf("%-31s %-22s %-22s %s\n", name, bench::Show(bench::Summarise(t[0]), 1e3, 1).c_str(),
              bench::Show(bench::Summarise(t[1]), 1e3, 1).c_str(), bench::Show(ratio).c_str());
  *worst = std::min(*worst, ratio.median);
  std::fflush(stdout);
}

void Check(bool same, const char* what) {
  if (!same) std::printf("  CHECK FAILED: %s\n", what);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? size_t(std::max(1, std::atoi(argv[1]))) : 16;
  const size_t bytes = megabytes << 20, values = bytes / 4, blocks = bytes / 1024;
  g_folders = std::max<size_t>(1, blocks / kFilesPerFolder);
  std::string tmpl = std::string(argc > 2 ? argv[2] : "/tmp") + "/vk_bench_streams_XXXXXX";
  const int rounds = argc > 3 ? std::atoi(argv[3]) : bench::kMinRounds;
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
  // Each run of the block reads makes its files in a fresh folder tree, checked and deleted
  // after the run (untimed); the sides take turns, so neither always follows a deletion.
  const std::string outTree = folder + "/out";
  auto makeOut = [&] {
    for (size_t k = 0; k < g_folders; ++k) fs::create_directories(outTree + "/" + std::to_string(k));
  };
  Command openWrite(8042, {&number, &name}), openRead(8041, {&number, &name}), close(8043, {&number});
  Command writeLong(8063, {&number, &value}), readLong(8053, {&number, &value});
  Command writeBlock(8067, {&number, &name}), readBlock(8057, {&number, &name});
  VarCell& kilobyte = g_cells[kCellIntLiteral + 1];
  kilobyte.i = 1024;
  Command skipBlock(8058, {&number, &kilobyte});
  double worst = 1e30;
  bench::PrintMachine("bench_streams");
  std::printf("%zu MB each way\n%-31s %-22s %-22s %s\n", megabytes, "benchmark", "libc ms", "ours ms",
              "ratio libc/ours");

  // Integers.
  const auto intWrite = bench::Alternate(rounds, {
      [&] {
        return Timed(cleanPeer, [&] {
          FILE* f = std::fopen(peer.c_str(), "wb");
          for (size_t i = 0; i < values; ++i) {
            int32_t v = int32_t(i);
            std::fwrite(&v, 4, 1, f);
          }
          std::fclose(f);
        });
      },
      [&] {
        return Timed(cleanOurs, [&] {
          setName(ours);
          openWrite.Run();
          for (size_t i = 0; i < values; ++i) {
            value.i = int32_t(i);
            writeLong.Run();
          }
          close.Run();
        });
      }});
  Report("write integers", intWrite, &worst);
  Check(fs::file_size(ours) == values * 4 && Contents(ours) == Contents(peer), "the integer files differ");
  int64_t sumPeer = 0, sumOurs = 0;
  const auto intRead = bench::Alternate(rounds, {
      [&] {
        return Timed([] {}, [&] {
          sumPeer = 0;
          FILE* f = std::fopen(peer.c_str(), "rb");
          int32_t v = 0;
          for (size_t i = 0; i < values; ++i) {
            if (std::fread(&v, 4, 1, f) != 1) v = 0;
            sumPeer += v;
          }
          std::fclose(f);
        });
      },
      [&] {
        return Timed([] {}, [&] {
          sumOurs = 0;
          setName(ours);
          openRead.Run();
          for (size_t i = 0; i < values; ++i) {
            readLong.Run();
            sumOurs += value.i;
          }
          close.Run();
        });
      }});
  Report("read integers", intRead, &worst);
  Check(sumPeer == sumOurs && sumOurs == int64_t(values) * int64_t(values - 1) / 2, "the integer reads disagree");

  // 1 KB blocks: a file appended as a size-prefixed block, and a block read into a new file.
  std::string kb(1024, '\0');
  for (size_t i = 0; i < kb.size(); ++i) kb[i] = char(i * 7);
  std::ofstream(block, std::ios::binary) << kb;
  const auto blockWrite = bench::Alternate(rounds, {
      [&] {
        return Timed(cleanPeer, [&] {
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
      },
      [&] {
        return Timed(cleanOurs, [&] {
          setName(ours);
          openWrite.Run();
          setName(block);
          for (size_t i = 0; i < blocks; ++i) writeBlock.Run();
          close.Run();
        });
      }});
  Report("write 1 KB file blocks", blockWrite, &worst);
  Check(fs::file_size(ours) == blocks * 1028 && Contents(ours) == Contents(peer), "the block files differ");
  // Every block file of the tree holds the kilobyte; then the tree goes.
  bool treesGood = true;
  auto checkAndDeleteOut = [&] {
    for (size_t i = 0; i < blocks && treesGood; ++i) treesGood = Contents(BlockFile(outTree, i)) == kb;
    std::error_code ec;
    fs::remove_all(outTree, ec);
  };
  const auto blockRead = bench::Alternate(rounds, {
      [&] {
        const double t = Timed(makeOut, [&] {
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
        });
        checkAndDeleteOut();
        return t;
      },
      [&] {
        const double t = Timed(makeOut, [&] {
          setName(ours);
          openRead.Run();
          for (size_t i = 0; i < blocks; ++i) {
            setName(BlockFile(outTree, i));
            readBlock.Run();
          }
          close.Run();
        });
        checkAndDeleteOut();
        return t;
      }});
  Report("read 1 KB file blocks", blockRead, &worst);
  Check(treesGood, "a block file read back differs");
  // The same stream read 1 KB at a time with nothing made of it: the bytes alone.
  const auto skip = bench::Alternate(rounds, {
      [&] {
        return Timed([] {}, [&] {
          FILE* in = std::fopen(peer.c_str(), "rb");
          std::vector<char> buf(1024);
          while (std::fread(buf.data(), 1, buf.size(), in) == buf.size()) {
          }
          std::fclose(in);
        });
      },
      [&] {
        return Timed([] {}, [&] {
          setName(ours);
          openRead.Run();
          while (!g_fileStreams.slots[1].endOfFile) skipBlock.Run();
          close.Run();
        });
      }});
  Report("read 1 KB blocks (skip bytes)", skip, &worst);

  std::printf("\nlowest median ratio: %.2f (goal: at least 0.8)\n", worst);
  bench::PrintLoad();
  ResetStreams();
  FreeString(name.s);
  g_cells = nullptr;
  std::error_code ec;
  fs::remove_all(folder, ec);
  return 0;
}
