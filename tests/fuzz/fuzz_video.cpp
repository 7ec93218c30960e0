// Loads damaged video files as animations and plays a second of them on the virtual clock: the
// load must refuse or play, never crash or hang. Small valid AVI files (raw BGR24 and MPEG-4
// pictures, made here with FFmpeg's libraries) are damaged by the input: its first byte picks
// the base (or none: the input is the whole file), the rest are (offset, byte) patches.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "display/animations.h"
#include "display/display.h"
#include "platform/clock.h"
#include "platform/fs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

// Writes a 16 x 12 AVI of four frames in the codec's first pixel format to a temporary file.
std::string MakeBase(AVCodecID id, AVPixelFormat pixels, const char* name) {
  std::string path = FsTempFolder() + "/" + name;
  const AVCodec* codec = avcodec_find_encoder(id);
  AVFormatContext* out = nullptr;
  if (!codec || avformat_alloc_output_context2(&out, nullptr, "avi", path.c_str()) < 0) return "";
  AVCodecContext* c = avcodec_alloc_context3(codec);
  c->width = 16;
  c->height = 12;
  c->pix_fmt = pixels;
  c->time_base = AVRational{1, 25};
  c->framerate = AVRational{25, 1};
  AVStream* st = avformat_new_stream(out, nullptr);
  AVFrame* f = av_frame_alloc();
  AVPacket* p = av_packet_alloc();
  bool ok = avcodec_open2(c, codec, nullptr) >= 0 && avcodec_parameters_from_context(st->codecpar, c) >= 0 &&
            avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
  st->time_base = c->time_base;
  if (ok && avformat_write_header(out, nullptr) >= 0) {
    f->format = pixels;
    f->width = 16;
    f->height = 12;
    av_frame_get_buffer(f, 0);
    for (int k = 0; k <= 4; ++k) {
      if (k < 4) {
        av_frame_make_writable(f);
        for (int plane = 0; plane < 4 && f->data[plane]; ++plane)
          for (int y = 0; y < 12; ++y)
            for (int x = 0; x < f->linesize[plane]; ++x) f->data[plane][y * f->linesize[plane] + x] = uint8_t(40 * k + x);
        f->pts = k;
      }
      avcodec_send_frame(c, k < 4 ? f : nullptr);
      while (avcodec_receive_packet(c, p) == 0) {
        av_packet_rescale_ts(p, c->time_base, st->time_base);
        p->stream_index = 0;
        av_interleaved_write_frame(out, p);
      }
    }
    av_write_trailer(out);
  }
  avio_closep(&out->pb);
  av_packet_free(&p);
  av_frame_free(&f);
  avcodec_free_context(&c);
  avformat_free_context(out);
  return path;
}

struct Bases {
  std::string files[2];
  std::string data[2];
};

const Bases& GetBases() {
  static Bases b = [] {
    Bases r;
    r.files[0] = MakeBase(AV_CODEC_ID_RAWVIDEO, AV_PIX_FMT_BGR24, "base_raw.avi");
    r.files[1] = MakeBase(AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P, "base_mpeg4.avi");
    for (int k = 0; k < 2; ++k) FsReadFile(r.files[k], r.data[k]);
    return r;
  }();
  return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  const Bases& bases = GetBases();
  static bool ready = [] {
    ClockUseVirtual(true, 0);
    g_display.width = 64;
    g_display.height = 48;
    g_display.depth = 16;
    g_display.backBuffer = SurfaceCreate(64, 48, 16);
    return true;
  }();
  (void)ready;
  std::string file;
  int base = size > 0 ? data[0] % 3 : 0;
  if (base == 2) {
    file.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
  } else {
    file = bases.data[base];
    for (size_t k = 1; k + 2 < size && !file.empty(); k += 3)
      file[(size_t(data[k]) << 8 | data[k + 1]) % file.size()] = char(data[k + 2]);
  }
  std::string path = FsCreateTempFile("fuzz.avi", file.data(), file.size());
  if (LoadAnimation(1, path)) {
    g_animations.status[1].exists = 1;
    if (PlayAnimation(1, 1, -5, -3, 40, 30, 0, 1)) {
      for (int frame = 0; frame < 25; ++frame) {
        ClockAdvanceMs(40);
        UpdateAnimations();
      }
    }
  }
  ReleaseAllAnimations();
  return 0;
}
