#include "bench/common/bench_rounds.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace bench {

Figure Summarise(std::vector<double> samples) {
  if (samples.empty()) return {};
  std::sort(samples.begin(), samples.end());
  const size_t n = samples.size();
  const double median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
  return {median, samples.front(), samples.back()};
}

std::vector<std::vector<double>> Alternate(int rounds, const std::vector<std::function<double()>>& sides) {
  rounds = std::max(rounds, kMinRounds);
  std::vector<std::vector<double>> out(sides.size());
  for (int r = 0; r < rounds; ++r)
    for (size_t k = 0; k < sides.size(); ++k) {
      const size_t side = (k + size_t(r)) % sides.size();
      out[side].push_back(sides[side]());
    }
  return out;
}

Figure Ratio(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> r;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) r.push_back(b[i] != 0 ? a[i] / b[i] : 0);
  return Summarise(r);
}

std::string Show(const Figure& f, double scale, int decimals) {
  char text[96];
  std::snprintf(text, sizeof text, "%.*f (%.*f-%.*f)", decimals, f.median * scale, decimals, f.min * scale, decimals,
                f.max * scale);
  return text;
}

namespace {

std::string CpuModel() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("model name", 0) == 0) {
      const size_t colon = line.find(':');
      if (colon != std::string::npos) return line.substr(line.find_first_not_of(" \t", colon + 1));
    }
  return "unknown CPU";
}

}  // namespace

void PrintMachine(const char* name) {
  std::printf("%s on %s; figures are medians of at least %d rounds taken in turns, (min-max)\n", name,
              CpuModel().c_str(), kMinRounds);
  PrintLoad();
}

void PrintLoad() {
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) == 3) std::printf("load average %.2f %.2f %.2f\n", load[0], load[1], load[2]);
  std::fflush(stdout);
}

double SecondsSince(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace bench
