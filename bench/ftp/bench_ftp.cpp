// A 64 MB FTP get and put over loopback: the FTP commands' engine (connect, transfer,
// disconnect) against the curl command line doing the same on the same server in the same
// run, the two in turns, with curl's process start-up taken off. Prints the times and the ratio
// curl time / our time, medians of the rounds with their spread (goal: at least 0.9).
// Usage: bench_ftp [MB] [runs].
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <utility>

#include "bench/common/bench_rounds.h"
#include "system/ftp_session.h"
#include "tests/support/ftp_server.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<bool()>& work) {
  auto start = Clock::now();
  if (!work()) std::fprintf(stderr, "bench_ftp: a transfer failed\n");
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool Curl(const std::string& args) { return std::system(("curl -s -S " + args).c_str()) == 0; }

// The times of each side, the two run in turns so both meet the same machine load. The curl
// side has the start-up of a curl process (a run that only prints its version, timed in the
// same round) taken off, so that only its session and transfer count, as on our side.
std::vector<std::vector<double>> Turns(int runs, const std::function<bool()>& curl, const std::function<bool()>& ours) {
  const auto start = [] { return Curl("--version >/dev/null"); };
  return bench::Alternate(runs, {[&] { return std::max(1e-6, Seconds(curl) - Seconds(start)); },
                                 [&] { return Seconds(ours); }});
}

bool SameFile(const std::string& a, const std::string& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  return x && y && std::equal(std::istreambuf_iterator<char>(x), {}, std::istreambuf_iterator<char>(y), {});
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? size_t(std::max(1, std::atoi(argv[1]))) : 64;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  bench::PrintMachine("bench_ftp");
  char tmpl[] = "/tmp/vk_bench_ftp_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string folder = tmpl, root = folder + "/root", local = folder + "/local";
  fs::create_directories(root);
  fs::create_directories(local);
  {
    std::string chunk(1 << 20, '\0');
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = char(i * 31 + 7);
    std::ofstream big(root + "/big.bin", std::ios::binary), up(local + "/up.bin", std::ios::binary);
    for (size_t k = 0; k < megabytes; ++k) {
      big << chunk;
      up << chunk;
    }
  }
  double worst = 1e30;
  {
    FtpTestServer server(root);
    if (!server.Running()) {
      std::fprintf(stderr, "bench_ftp: the FTP server did not start\n");
      return 1;
    }
    const std::string url = "ftp://user:pass@" + server.Address() + "/";
    const auto get = Turns(
        runs, [&] { return Curl("-o " + local + "/curl.bin " + url + "big.bin"); },
        [&] {
          bool ok = FtpConnect(server.Address(), "user", "pass") && FtpGetFile("big.bin", local + "/ours.bin", 0, false);
          FtpDisconnect(0);
          return ok;
        });
    const auto put = Turns(
        runs, [&] { return Curl("-T " + local + "/up.bin " + url + "curl_up.bin"); },
        [&] {
          bool ok = FtpConnect(server.Address(), "user", "pass") && FtpPutFile(local + "/up.bin");
          FtpDisconnect(0);
          return ok;
        });
    FtpShutdown();
    const bool same = SameFile(local + "/ours.bin", root + "/big.bin") && SameFile(root + "/up.bin", local + "/up.bin");
    std::printf("%zu MB over loopback%s\n%-12s %-22s %-22s %s\n", megabytes, same ? "" : " (FILES DIFFER)", "transfer",
                "curl ms", "ours ms", "ratio curl/ours");
    for (const auto* t : {&get, &put}) {
      const bench::Figure ratio = bench::Ratio((*t)[0], (*t)[1]);
      std::printf("%-12s %-22s %-22s %s\n", t == &get ? "get" : "put", bench::Show(bench::Summarise((*t)[0]), 1e3, 1).c_str(),
                  bench::Show(bench::Summarise((*t)[1]), 1e3, 1).c_str(), bench::Show(ratio).c_str());
      worst = std::min(worst, ratio.median);
    }
  }
  std::printf("\nlowest median ratio: %.2f (goal: at least 0.9)\n", worst);
  bench::PrintLoad();
  std::error_code ec;
  fs::remove_all(folder, ec);
  return 0;
}
