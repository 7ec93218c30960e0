// Opening a video file: our own reader over the file (no protocol or nested file is ever
// opened from names inside it), the first video stream and the first sound stream, their
// decoders, and the first picture.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <system_error>

#include "platform/fs.h"
#include "platform/stop_request.h"
#include "platform/video_internal.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace {

constexpr int kIoBufferBytes = 64 * 1024;

uint32_t RealMs() {
  using namespace std::chrono;
  return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int ReadFile(void* opaque, uint8_t* buffer, int size) {
  auto* impl = static_cast<VideoStream::Impl*>(opaque);
  size_t n = std::fread(buffer, 1, size_t(size), impl->file);
  if (n == 0) return std::ferror(impl->file) ? AVERROR(EIO) : AVERROR_EOF;
  return int(n);
}

int64_t SeekFile(void* opaque, int64_t offset, int whence) {
  auto* impl = static_cast<VideoStream::Impl*>(opaque);
  if (whence & AVSEEK_SIZE) {
    long here = std::ftell(impl->file);
    if (std::fseek(impl->file, 0, SEEK_END) != 0) return -1;
    long size = std::ftell(impl->file);
    std::fseek(impl->file, here, SEEK_SET);
    return size;
  }
  whence &= ~AVSEEK_FORCE;
  if (std::fseek(impl->file, long(offset), whence) != 0) return -1;
  return std::ftell(impl->file);
}

int Interrupt(void* opaque) {
  auto* impl = static_cast<VideoStream::Impl*>(opaque);
  if (impl->abort.load() || StopSignalReceived()) return 1;
  return impl->deadlineOn.load() && RealMs() - impl->deadlineStart.load() > kVideoOpenTimeoutMs;
}

// The containers of single video files that are played. Scripts, playlists and manifests
// (concatenation, HLS, DASH, image sequences) name other files, which their readers would open
// themselves, past this file's own reader and its checks.
constexpr const char* kPlayedFormats = "avi,mov,matroska,asf,mpeg,mpegts,mpegvideo,m4v,h264,hevc,flv,ogg,ivf";

// Files named inside a video (playlists, references) are never opened.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

AVPixelFormat PixelsFor(const PixelFormat& f) {
  if (f.bits == 16 && f.redMask == 0xF800 && f.greenMask == 0x07E0 && f.blueMask == 0x001F)
    return AV_PIX_FMT_RGB565LE;
  if (f.bits == 16 && f.redMask == 0x7C00 && f.greenMask == 0x03E0 && f.blueMask == 0x001F)
    return AV_PIX_FMT_RGB555LE;
  if (f.bits == 24 && f.redMask == 0xFF0000 && f.greenMask == 0xFF00 && f.blueMask == 0xFF) return AV_PIX_FMT_BGR24;
  if (f.bits == 32 && f.redMask == 0xFF0000 && f.greenMask == 0xFF00 && f.blueMask == 0xFF) return AV_PIX_FMT_BGR0;
  return AV_PIX_FMT_NONE;
}

AVCodecContext* OpenDecoder(AVStream* stream, bool isVideo) {
  const AVCodec* codec = g_ffmpeg.avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return nullptr;
  AVCodecContext* c = g_ffmpeg.avcodec_alloc_context3(codec);
  if (!c) return nullptr;
  if (g_ffmpeg.avcodec_parameters_to_context(c, stream->codecpar) < 0) {
    g_ffmpeg.avcodec_free_context(&c);
    return nullptr;
  }
  c->pkt_timebase = stream->time_base;
  if (isVideo) {
    c->max_pixels = kVideoMaxPixels;
    c->thread_count = 4;
  } else {
    c->thread_count = 1;
  }
  if (g_ffmpeg.avcodec_open2(c, codec, nullptr) < 0) g_ffmpeg.avcodec_free_context(&c);
  return c;
}

bool OpenResampler(VideoStream::Impl* s) {
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  AVChannelLayout in{};
  if (s->audio->ch_layout.nb_channels > 0) g_ffmpeg.av_channel_layout_copy(&in, &s->audio->ch_layout);
  else g_ffmpeg.av_channel_layout_default(&in, 1);
  int r = g_ffmpeg.swr_alloc_set_opts2(&s->resampler, &stereo, AV_SAMPLE_FMT_S16, s->options.audioRate, &in,
                              s->audio->sample_fmt, s->audio->sample_rate, 0, nullptr);
  g_ffmpeg.av_channel_layout_uninit(&in);
  return r >= 0 && g_ffmpeg.swr_init(s->resampler) >= 0;
}

bool Fail(std::string* error, const char* why) {
  if (error) *error = why;
  return false;
}

bool OpenInput(VideoStream::Impl* s, const std::string& path, std::string* error) {
  // Opened without blocking, so a pipe with no writer cannot hold the program; only regular
  // files are read.
  int fd = open(FsResolve(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  // A socket cannot be opened at all (ENXIO): it is no regular file either.
  if (fd < 0) return Fail(error, errno == ENXIO ? "not a regular file" : FileErrorCause(errno).c_str());
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return Fail(error, "not a regular file");
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  s->file = fdopen(fd, "rb");
  if (!s->file) {
    close(fd);
    return Fail(error, "out of memory");
  }
  auto* buffer = static_cast<uint8_t*>(g_ffmpeg.av_malloc(kIoBufferBytes));
  if (!buffer) return Fail(error, "out of memory");
  s->io = g_ffmpeg.avio_alloc_context(buffer, kIoBufferBytes, 0, s, ReadFile, nullptr, SeekFile);
  if (!s->io) {
    g_ffmpeg.av_free(buffer);
    return Fail(error, "out of memory");
  }
  s->format = g_ffmpeg.avformat_alloc_context();
  if (!s->format) return Fail(error, "out of memory");
  s->format->pb = s->io;
  s->format->flags |= AVFMT_FLAG_CUSTOM_IO;
  s->format->interrupt_callback = {Interrupt, s};
  s->format->io_open = RefuseNestedOpen;
  s->format->format_whitelist = g_ffmpeg.av_strdup(kPlayedFormats);
  if (!s->format->format_whitelist) return Fail(error, "out of memory");
  if (g_ffmpeg.avformat_open_input(&s->format, nullptr, nullptr, nullptr) < 0) return Fail(error, "not a video file");
  if (g_ffmpeg.avformat_find_stream_info(s->format, nullptr) < 0) return Fail(error, "no stream information");
  s->videoIndex = g_ffmpeg.av_find_best_stream(s->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (s->videoIndex < 0) return Fail(error, "no video stream");
  AVStream* vs = s->format->streams[s->videoIndex];
  s->video = OpenDecoder(vs, true);
  if (!s->video) return Fail(error, "no decoder for the video");
  if (vs->start_time != AV_NOPTS_VALUE) s->startPts = vs->start_time;
  AVRational rate = g_ffmpeg.av_guess_frame_rate(s->format, vs, nullptr);
  if (rate.num > 0 && rate.den > 0) s->frameMs = std::clamp<int64_t>(g_ffmpeg.av_rescale(1000, rate.den, rate.num), 1, 1000);
  if (s->options.audioRate > 0) {
    s->audioIndex = g_ffmpeg.av_find_best_stream(s->format, AVMEDIA_TYPE_AUDIO, -1, s->videoIndex, nullptr, 0);
    if (s->audioIndex >= 0) {
      s->audio = OpenDecoder(s->format->streams[s->audioIndex], false);
      // A sound track that cannot be decoded leaves a silent video.
      if (!s->audio || !OpenResampler(s)) {
        g_ffmpeg.avcodec_free_context(&s->audio);
        g_ffmpeg.swr_free(&s->resampler);
        s->audioIndex = -1;
      }
    }
  }
  for (unsigned k = 0; k < s->format->nb_streams; ++k)
    if (int(k) != s->videoIndex && int(k) != s->audioIndex) s->format->streams[k]->discard = AVDISCARD_ALL;
  s->frame = g_ffmpeg.av_frame_alloc();
  s->soundFrame = g_ffmpeg.av_frame_alloc();
  s->packet = g_ffmpeg.av_packet_alloc();
  if (!s->frame || !s->soundFrame || !s->packet) return Fail(error, "out of memory");
  if (s->audioIndex >= 0) {
    s->ringFrames = size_t(s->options.audioRate) * 2;
    s->ring.assign(s->ringFrames * 2, 0);
  }
  return true;
}

}  // namespace

VideoStream::Impl::~Impl() {
  {
    std::lock_guard lock(mu);
    quit = true;
  }
  abort = true;
  decoderCv.notify_all();
  if (thread.joinable()) thread.join();
  StopConverter();
  for (AVPacket*& p : videoPackets) g_ffmpeg.av_packet_free(&p);
  g_ffmpeg.av_packet_free(&packet);
  g_ffmpeg.av_frame_free(&frame);
  g_ffmpeg.av_frame_free(&soundFrame);
  FreeScaler(&scaler);
  for (VideoConverter& c : converters) FreeScaler(&c.scaler);
  g_ffmpeg.swr_free(&resampler);
  g_ffmpeg.avcodec_free_context(&video);
  g_ffmpeg.avcodec_free_context(&audio);
  g_ffmpeg.avformat_close_input(&format);
  if (io) g_ffmpeg.av_freep(&io->buffer);
  g_ffmpeg.avio_context_free(&io);
  if (file) std::fclose(file);
}

VideoStream::VideoStream(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
VideoStream::~VideoStream() = default;

std::unique_ptr<VideoStream> VideoStream::Open(const std::string& path, const VideoOptions& options,
                                               std::string* error) {
  // Without the libraries the video fails to open as a file of an unknown kind would.
  if (!OpenFfmpeg(error)) return nullptr;
  // FFmpeg's own messages would only reach stderr: failures are reported to the caller.
  static std::once_flag quiet;
  std::call_once(quiet, [] { g_ffmpeg.av_log_set_level(AV_LOG_QUIET); });
  auto s = std::make_unique<Impl>();
  s->options = options;
  s->outPixels = PixelsFor(options.format);
  if (s->outPixels == AV_PIX_FMT_NONE) {
    Fail(error, "unsupported pixel format");
    return nullptr;
  }
  s->deadlineStart = RealMs();
  s->deadlineOn = true;
  if (!OpenInput(s.get(), path, error)) return nullptr;
  // The first picture is decoded here, so a file whose video cannot be decoded is refused at
  // once; it waits in the queue for the first frame.
  while (s->frames.empty() && !s->finished) {
    if (Interrupt(s.get())) {
      Fail(error, "took too long to open");
      return nullptr;
    }
    s->DecodeStep(true);
  }
  s->deadlineOn = false;
  FreeScaler(&s->scaler);  // the decoder thread converts with its converters' own
  if (s->frames.empty()) {
    Fail(error, "the video cannot be decoded");
    return nullptr;
  }
  Impl* raw = s.get();
  try {
    s->thread = std::thread([raw] { raw->DecoderLoop(); });
  } catch (const std::system_error&) {  // the system has no thread to give
    Fail(error, "no thread could be started to decode it");
    return nullptr;
  }
  return std::unique_ptr<VideoStream>(new VideoStream(std::move(s)));
}

int32_t VideoStream::Width() const { return impl_->width; }
int32_t VideoStream::Height() const { return impl_->height; }
bool VideoStream::HasAudio() const { return impl_->audioIndex >= 0; }
int32_t VideoStream::AudioRate() const { return HasAudio() ? impl_->options.audioRate : 0; }
