// Plays 640 x 480 clips through the animation commands into the back buffer (16-bit, the
// default display) on the virtual clock, frame step by frame step as fast as the pictures come,
// against the ffmpeg command decoding the same clip to raw frames alone (-f null), with its
// start-up and probing taken off: the time of a one-frame run of the same command is subtracted;
// and against libavcodec decoding it in-process with the players's decoder settings (four
// threads), which has no start-up to take off and so varies less. Prints frames per second of
// each and the ratios; the clips are made first with the ffmpeg command. The sides take turns;
// the figures are medians of the rounds with their spread.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/common/bench_rounds.h"
#include "core/cells.h"
#include "core/command_table.h"
#include "core/interp.h"
#include "core/strings.h"
#include "display/animations.h"
#include "display/display.h"
#include "display/record_pools.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/window.h"
#include "runtime/command_families.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

constexpr int kFrames = 500;  // 20 s at 25 frames a second

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

// Runs command n with integer operands (a string first when given).
void Call(int n, std::initializer_list<int32_t> ints, const std::string* text = nullptr) {
  CodeWord code[8] = {};
  VarCell cells[8] = {};
  int k = 0;
  if (text) SetCellString(&cells[k++], text->c_str(), text->size());
  for (int32_t v : ints) cells[k++].i = v;
  code[0] = n;
  for (int j = 0; j < k; ++j) code[j + 1] = reinterpret_cast<CodeWord>(&cells[j]);
  ProgramCounter = code + 1;
  g_commandTable[n]();
  if (text) FreeString(cells[0].s);
}

double RunSeconds(const std::string& command) {
  auto start = std::chrono::steady_clock::now();
  if (!Shell(command)) return -1;
  return Seconds(std::chrono::steady_clock::now() - start);
}

// Frames per second of ffmpeg decoding the clip to nothing, less a one-frame run of the same
// command (process start, probing, the decoder's set-up); 0 when ffmpeg fails.
double BareDecode(const std::string& clip) {
  const std::string command = "ffmpeg -hide_banner -loglevel error -i '" + clip + "' -f null";
  const double all = RunSeconds(command + " -"), one = RunSeconds(command + " -frames:v 1 -");
  if (all < 0 || one < 0) return 0;
  return (kFrames - 1) / std::max(1e-6, all - one);
}

// Frames per second of libavcodec decoding the clip's pictures in-process, with the thread count
// the video streams use; 0 when the clip cannot be decoded.
double InProcessDecode(const std::string& clip) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, clip.c_str(), nullptr, nullptr) < 0) return 0;
  auto start = std::chrono::steady_clock::now();
  AVCodecContext* codec = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  int frames = 0;
  const int index = avformat_find_stream_info(format, nullptr) < 0
                        ? -1
                        : av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index >= 0) {
    const AVCodecParameters* par = format->streams[index]->codecpar;
    codec = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
    if (codec && avcodec_parameters_to_context(codec, par) >= 0) {
      codec->thread_count = 4;
      if (avcodec_open2(codec, nullptr, nullptr) >= 0) {
        auto drain = [&] {
          while (avcodec_receive_frame(codec, frame) == 0) {
            ++frames;
            av_frame_unref(frame);
          }
        };
        while (av_read_frame(format, packet) >= 0) {
          if (packet->stream_index == index && avcodec_send_packet(codec, packet) >= 0) drain();
          av_packet_unref(packet);
        }
        avcodec_send_packet(codec, nullptr);
        drain();
      }
    }
  }
  const double seconds = Seconds(std::chrono::steady_clock::now() - start);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  avformat_close_input(&format);
  return frames == kFrames ? kFrames / seconds : 0;
}

// Frames per second of the animation commands playing the clip to its end.
double Animation(const std::string& clip) {
  auto start = std::chrono::steady_clock::now();
  Call(2001, {1}, &clip);
  Call(2003, {1});
  int steps = 0;
  while (g_animations.status[1].playing && steps < 10 * kFrames) {
    ClockAdvanceMs(40);
    UpdateAnimations();
    ++steps;
  }
  Call(2002, {1});
  return kFrames / Seconds(std::chrono::steady_clock::now() - start);
}

}  // namespace

int main() {
  std::string dir = FsTempFolder();
  struct Clip {
    const char* name;
    const char* codec;
  } clips[] = {{"MPEG-4", "-c:v mpeg4 -q:v 4"}, {"H.264", "-c:v libx264 -preset fast -crf 23"}};
  PlatformSetHeadless(true);
  EventsInit(true);
  ResetDisplayState();
  CreateDisplayPools();
  SetFullScreenFlag(0);
  g_display.depth = 16;
  if (!CreateSurfacesAndDevice(640, 480, 1)) return 1;
  ResetDisplayRunState();
  InitCommandTable();
  ClockUseVirtual(true, 0);
  bench::PrintMachine("bench_video");
  for (const Clip& c : clips) {
    std::string file = dir + "/bench_" + std::to_string(&c - clips) + ".avi";
    if (!Shell("ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=640x480:rate=25 -frames:v " +
               std::to_string(kFrames) + " " + c.codec + " '" + file + "'")) {
      std::printf("%s: the clip cannot be made (ffmpeg missing?)\n", c.name);
      continue;
    }
    const auto t = bench::Alternate(5, {[&] { return Animation(file); }, [&] { return BareDecode(file); },
                                        [&] { return InProcessDecode(file); }});
    std::printf("%s 640x480, %d frames: animation commands %s frames/s\n"
                "  ffmpeg command decode only %s frames/s, ratio ours/ffmpeg %s (goal >= 0.9)\n"
                "  libavcodec in-process decode only %s frames/s, ratio ours/libavcodec %s\n",
                c.name, kFrames, bench::Show(bench::Summarise(t[0]), 1, 0).c_str(),
                bench::Show(bench::Summarise(t[1]), 1, 0).c_str(), bench::Show(bench::Ratio(t[0], t[1])).c_str(),
                bench::Show(bench::Summarise(t[2]), 1, 0).c_str(), bench::Show(bench::Ratio(t[0], t[2])).c_str());
    std::fflush(stdout);
  }
  bench::PrintLoad();
  ReleaseAllAnimations();
  ReleaseDisplay(true);
  FsRemoveTempFolder();
  return 0;
}
