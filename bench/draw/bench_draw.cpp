// Frames of boxes, lines, dots and text lines drawn through the draw queue on a 640 x 480
// 16-bit back buffer, against memset and memcpy of the same number of bytes in this run: the
// whole-buffer memset, and a memset per row of each box (what a box fill must do at best).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "display/bitmaps.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "display/record_pools.h"
#include "display/text_state.h"
#include "platform/window.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

constexpr double kRoundSeconds = 0.2;
constexpr int kBoxSide = 64, kPitch = 640 * 2;

// Runs frames of n operations made by make(i) for about one round; bytes per second.
template <class Make>
double Measure(int n, double bytesPerOp, Make make) {
  int frames = 0;
  auto start = Clock::now();
  do {
    for (int i = 0; i < n; ++i) make(i);
    RunDrawQueue();
    ++frames;
  } while (Seconds(start) < kRoundSeconds);
  return double(frames) * n * bytesPerOp / Seconds(start);
}

double MemsetRate(size_t bytes) {
  std::vector<uint8_t> buf(640 * 480 * 2);
  size_t chunk = std::min(bytes, buf.size());
  size_t done = 0;
  auto start = Clock::now();
  do {
    for (size_t k = 0; k < bytes; k += chunk) std::memset(buf.data(), int(done + k) & 255, chunk);
    done += bytes;
  } while (Seconds(start) < kRoundSeconds);
  volatile uint8_t sink = buf[done % buf.size()];
  (void)sink;
  return double(done) / Seconds(start);
}

// The boxes of the draw loop filled row by row with memset, at their places in a 640 x 480 x 16
// buffer: bytes per second.
double RowMemsetRate(int n) {
  std::vector<uint8_t> buf(size_t(kPitch) * 480);
  int64_t boxes = 0;
  auto start = Clock::now();
  do {
    for (int i = 0; i < n; ++i, ++boxes) {
      const int x = (i * 37) % (640 - kBoxSide), y = (i * 91) % (480 - kBoxSide);
      uint8_t* row = buf.data() + size_t(y) * kPitch + size_t(x) * 2;
      for (int r = 0; r < kBoxSide; ++r, row += kPitch) std::memset(row, int(boxes) & 255, kBoxSide * 2);
    }
  } while (Seconds(start) < kRoundSeconds);
  volatile uint8_t sink = buf[size_t(boxes) % buf.size()];
  (void)sink;
  return double(boxes) * kBoxSide * kBoxSide * 2 / Seconds(start);
}

double MemcpyRate(size_t bytes) {
  std::vector<uint8_t> a(640 * 480 * 2, 1), b(640 * 480 * 2);
  size_t chunk = std::min(bytes, a.size());
  size_t done = 0;
  auto start = Clock::now();
  do {
    for (size_t k = 0; k < bytes; k += chunk) std::memcpy(b.data(), a.data(), chunk);
    a[done % a.size()] ^= 1;
    done += bytes;
  } while (Seconds(start) < kRoundSeconds);
  volatile uint8_t sink = b[done % b.size()];
  (void)sink;
  return double(done) / Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
  PlatformSetHeadless(true);
  CreateDisplayPools();
  SetFullScreenFlag(0);
  g_display.depth = 16;
  if (!CreateSurfacesAndDevice(640, 480, 1)) return 1;
  ResetDisplayRunState();
  ComputePixelShifts(g_display.backBuffer.get());
  SetDrawColours(0, 0xFFFFFF);

  bench::PrintMachine("bench_draw");
  const double boxBytes = kBoxSide * kBoxSide * 2;
  const auto boxes = [&] {
    return Measure(n, boxBytes, [](int i) {
      int x = (i * 37) % (640 - kBoxSide), y = (i * 91) % (480 - kBoxSide);
      QueueBox(x, y, x + kBoxSide - 1, y + kBoxSide - 1);
    });
  };
  const auto lines = [&] { return Measure(n, 200 * 2, [](int i) { QueueLine(i % 400, 10, i % 400 + 200, 10); }); };
  const auto dots = [&] { return Measure(n, 2, [](int i) { QueueDot(i % 640, (i / 640) % 480); }); };
  // Text lines have no byte count of their own: lines per second.
  const auto text = [&] {
    int frames = 0;
    auto start = Clock::now();
    do {
      for (int i = 0; i < n; ++i) {
        int32_t x = 0, y = (i * 16) % 464;
        QueueTextWithExtent("The quick brown fox jumps over the lazy dog", &x, &y, false, false, false);
      }
      RunDrawQueue();
      ++frames;
    } while (Seconds(start) < kRoundSeconds);
    return double(frames) * n / Seconds(start);
  };
  const size_t bytes = size_t(n) * size_t(boxBytes);
  const auto t = bench::Alternate(5, {boxes, [&] { return MemsetRate(bytes); }, [&] { return RowMemsetRate(n); },
                                      [&] { return MemcpyRate(bytes); }, lines, dots, text});
  const auto mb = [](const std::vector<double>& v) { return bench::Show(bench::Summarise(v), 1e-6, 1); };
  std::printf("draw queue, %d operations a frame, 640x480x16, MB/s\n", n);
  std::printf("memset          %s\n", mb(t[1]).c_str());
  std::printf("memset per row  %s\n", mb(t[2]).c_str());
  std::printf("memcpy          %s\n", mb(t[3]).c_str());
  std::printf("boxes           %s  ratio to memset per row %s (goal >= 0.8), to memset %s\n", mb(t[0]).c_str(),
              bench::Show(bench::Ratio(t[0], t[2])).c_str(), bench::Show(bench::Ratio(t[0], t[1])).c_str());
  std::printf("lines           %s  ratio to memset %s\n", mb(t[4]).c_str(), bench::Show(bench::Ratio(t[4], t[1]), 1, 4).c_str());
  std::printf("dots            %s  ratio to memset %s\n", mb(t[5]).c_str(), bench::Show(bench::Ratio(t[5], t[1]), 1, 4).c_str());
  std::printf("text            %s lines/s\n", bench::Show(bench::Summarise(t[6]), 1, 0).c_str());
  bench::PrintLoad();
  ReleaseDisplay(true);
  FreeDisplayPools();
  return 0;
}
