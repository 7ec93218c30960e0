// Decodes layer III and layer II files made at run time by lame and twolame, with our decoder
// and with libmpg123 in the same run, the two in turns; prints the time of each and the ratio
// per file and overall, medians of the rounds with their spread.
#include <mpg123.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "sound/engine/mpeg/mpeg_decoder.h"

namespace {

struct File {
  const char* name;
  int rate, channels;
  const char* encoder;
  std::vector<uint8_t> data;
};

size_t DecodeOurs(const std::vector<uint8_t>& data) {
  std::unique_ptr<MpegDecoder> dec(new MpegDecoder);
  MpegDecoderReset(dec.get());
  static int16_t out[kMpegMaxFrameOutput / 2];
  size_t pos = 0, samples = 0;
  while (pos + 4 <= data.size()) {
    int body = 0;
    if (!MpegParseHeader(dec.get(), &data[pos], nullptr, nullptr, &body)) {
      dec->pending_size = 0;
      pos++;
      continue;
    }
    int bytes = 0;
    if (!MpegDecodeFrame(dec.get(), &data[pos], data.size() - pos, out, &bytes)) break;
    samples += bytes / 2;
    pos += 4 + body;
  }
  return samples;
}

size_t DecodeMpg123(const std::vector<uint8_t>& data) {
  int err = 0;
  mpg123_handle* mh = mpg123_new(nullptr, &err);
  mpg123_param(mh, MPG123_FLAGS, MPG123_QUIET, 0);
  mpg123_format_none(mh);
  const long* rates = nullptr;
  size_t nrates = 0;
  mpg123_rates(&rates, &nrates);
  for (size_t i = 0; i < nrates; i++) mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  mpg123_open_feed(mh);
  static unsigned char out[1 << 16];
  size_t done = 0, samples = 0;
  int r = mpg123_decode(mh, data.data(), data.size(), out, sizeof(out), &done);
  samples += done / 2;
  while (r != MPG123_ERR && r != MPG123_NEED_MORE && r != MPG123_DONE) {
    r = mpg123_decode(mh, nullptr, 0, out, sizeof(out), &done);
    samples += done / 2;
  }
  mpg123_delete(mh);
  return samples;
}

// Seconds of one decode of data by f; its sample count goes to *samples.
template <typename F>
std::function<double()> Timed(F f, const std::vector<uint8_t>& data, size_t* samples) {
  return [f, &data, samples] {
    auto t0 = std::chrono::steady_clock::now();
    *samples = f(data);
    return bench::SecondsSince(t0);
  };
}

bool Run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : bench::kMinRounds;
  const double seconds = 20;
  mpg123_init();
  MpegDecoderInit();
  char tmpl[] = "/tmp/bench_mpeg_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  File files[] = {
      {"l3 44.1k joint 128k", 44100, 2, "lame -t --quiet -b 128 -m j", {}},
      {"l3 44.1k stereo 320k", 44100, 2, "lame -t --quiet -b 320 -m s", {}},
      {"l3 48k vbr", 48000, 2, "lame -t --quiet -V 2", {}},
      {"l3 44.1k mono 64k", 44100, 1, "lame -t --quiet -b 64 -m m", {}},
      {"l3 22.05k joint 64k", 22050, 2, "lame -t --quiet -b 64 -m j", {}},
      {"l2 44.1k joint 192k", 44100, 2, "twolame --quiet -b 192 -m j", {}},
      {"l2 48k stereo 256k", 48000, 2, "twolame --quiet -b 256 -m s", {}},
  };
  for (File& f : files) {
    const std::string src = dir + "/src.wav", enc = dir + "/enc.bin";
    const std::string fmt = " -r " + std::to_string(f.rate) + " -c " + std::to_string(f.channels) + " -b 16 ";
    if (!Run("sox -n" + fmt + src + " synth " + std::to_string(seconds) + " sine 60-" +
             std::to_string(f.rate * 45 / 100) + " pinknoise vol 0.45") ||
        !Run(std::string(f.encoder) + " " + src + " " + enc)) {
      std::fprintf(stderr, "cannot make %s (needs sox, lame, twolame)\n", f.name);
      return 1;
    }
    std::ifstream in(enc, std::ios::binary);
    f.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::remove(src.c_str());
    std::remove(enc.c_str());
  }
  rmdir(dir.c_str());
  bench::PrintMachine("bench_mpeg");
  std::printf("%-22s %-22s %-22s %-18s %s\n", "file", "ours ms", "mpg123 ms", "ratio", "x realtime");
  std::vector<double> total_ours(size_t(std::max(runs, bench::kMinRounds))), total_ref(total_ours.size());
  for (const File& f : files) {
    size_t ours_samples = 0, ref_samples = 0;
    const auto t = bench::Alternate(runs, {Timed(DecodeOurs, f.data, &ours_samples), Timed(DecodeMpg123, f.data, &ref_samples)});
    for (size_t r = 0; r < total_ours.size(); ++r) {
      total_ours[r] += t[0][r];
      total_ref[r] += t[1][r];
    }
    const bench::Figure ours = bench::Summarise(t[0]);
    std::printf("%-22s %-22s %-22s %-18s %.0f%s\n", f.name, bench::Show(ours, 1e3).c_str(),
                bench::Show(bench::Summarise(t[1]), 1e3).c_str(), bench::Show(bench::Ratio(t[0], t[1])).c_str(),
                seconds / ours.median, ours_samples == ref_samples ? "" : "  (sample counts differ)");
    std::fflush(stdout);
  }
  std::printf("%-22s %-22s %-22s %s (goal <= 1.1 overall, <= 1.25 on the worst file)\n", "overall",
              bench::Show(bench::Summarise(total_ours), 1e3).c_str(), bench::Show(bench::Summarise(total_ref), 1e3).c_str(),
              bench::Show(bench::Ratio(total_ours, total_ref)).c_str());
  bench::PrintLoad();
  return 0;
}
