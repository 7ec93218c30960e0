// Frames of boxes, lines, dots and text lines drawn through the draw queue on a 640 x 480
// 16-bit back buffer, against memset and memcpy of the same number of bytes in this run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "display/bitmaps.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "display/record_pools.h"
#include "display/text_state.h"
#include "platform/window.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

// Runs frames of n operations made by make(i) until about 0.3 s have passed; bytes per second.
template <class Make>
double Measure(int n, double bytesPerOp, Make make) {
  int frames = 0;
  auto start = Clock::now();
  do {
    for (int i = 0; i < n; ++i) make(i);
    RunDrawQueue();
    ++frames;
  } while (Seconds(start) < 0.3);
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
  } while (Seconds(start) < 0.3);
  volatile uint8_t sink = buf[done % buf.size()];
  (void)sink;
  return double(done) / Seconds(start);
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
  } while (Seconds(start) < 0.3);
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

  const double boxBytes = 64 * 64 * 2;
  double boxes = Measure(n, boxBytes, [](int i) {
    int x = (i * 37) % (640 - 64), y = (i * 91) % (480 - 64);
    QueueBox(x, y, x + 63, y + 63);
  });
  double set = MemsetRate(size_t(n) * size_t(boxBytes));
  double copy = MemcpyRate(size_t(n) * size_t(boxBytes));
  double lines = Measure(n, 200 * 2, [](int i) { QueueLine(i % 400, 10, i % 400 + 200, 10); });
  double dots = Measure(n, 2, [](int i) { QueueDot(i % 640, (i / 640) % 480); });
  std::printf("draw queue, %d operations a frame, 640x480x16\n", n);
  std::printf("memset   %8.1f MB/s\n", set / 1e6);
  std::printf("memcpy   %8.1f MB/s\n", copy / 1e6);
  std::printf("boxes    %8.1f MB/s  ratio to memset %.2f (goal >= 0.50)\n", boxes / 1e6, boxes / set);
  std::printf("lines    %8.1f MB/s  ratio to memset %.4f\n", lines / 1e6, lines / set);
  std::printf("dots     %8.1f MB/s  ratio to memset %.4f\n", dots / 1e6, dots / set);
  // Text lines have no byte count of their own: lines per second.
  int frames = 0;
  auto start = Clock::now();
  do {
    for (int i = 0; i < n; ++i) {
      int32_t x = 0, y = (i * 16) % 464;
      QueueTextWithExtent("The quick brown fox jumps over the lazy dog", &x, &y, false, false, false);
    }
    RunDrawQueue();
    ++frames;
  } while (Seconds(start) < 0.3);
  std::printf("text     %8.0f lines/s\n", double(frames) * n / Seconds(start));
  ReleaseDisplay(true);
  FreeDisplayPools();
  return 0;
}
