// The environment's F5 round trip (compile the source, run it for its frame, come back to the
// editor) against running the same program as its own process with `vellumark run --frames 1`.
// The round trip is what ten F5 presses add to an editing session over the same session
// without them, divided by ten; both sides run as whole processes, in turns, with the same
// settings folder and the virtual clock.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/common/bench_rounds.h"

namespace {

constexpr int kPresses = 10;
constexpr int kFramesApart = 40;

std::string g_folder;

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

double SecondsOf(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "bench_devenv: failed: %s\n", command.c_str());
    std::exit(1);
  }
  return bench::SecondsSince(start);
}

// Both sides start the same way: in the bench's folder, with its settings, on the virtual clock.
std::string Vellumark(const std::string& arguments) {
  return "cd " + g_folder + " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=" + g_folder +
         "/config " VK_EXECUTABLE " " + arguments + " --headless --clock virtual";
}

std::string Edit(const std::string& script) {
  return Vellumark("edit game.vka --frames " + std::to_string(10 + kPresses * kFramesApart) + " --input " + script) +
         " 2>/dev/null";
}

}  // namespace

int main() {
  g_folder = (std::filesystem::temp_directory_path() / "vk_bench_devenv").string();
  std::filesystem::remove_all(g_folder);
  std::filesystem::create_directories(g_folder);
  // 2,000 lines: assignments, a loop and a sum, then one frame and the end.
  std::string source = "a = 0\n";
  for (int i = 1; i < 1996; ++i) source += "a = a + " + std::to_string(i % 97) + "\n";
  source += "for i = 1 to 10\na = a + i\nnext i\nsync\nend\n";
  WriteFile(g_folder + "/game.vka", source);
  // Both sessions change the source first (a line break before its first line), so each run
  // starts with unsaved text to keep, as an editing session's runs do.
  std::string presses = "2 char 13\n", idle = "1 mouse 10 10\n2 char 13\n";
  for (int k = 0; k < kPresses; ++k) {
    const int at = 10 + k * kFramesApart;
    presses += std::to_string(at) + " key F5 down\n" + std::to_string(at + 1) + " key F5 up\n";
  }
  WriteFile(g_folder + "/presses.txt", presses);
  WriteFile(g_folder + "/idle.txt", idle);
  const std::string run = Vellumark("run game.vka --frames 1") + " >/dev/null 2>&1";
  // The very first session opens on the introduction page, where F5 does nothing: one session
  // before the rounds leaves the settings every measured session then starts from.
  SecondsOf(Edit("idle.txt"));

  bench::PrintMachine("bench_devenv");
  const auto t = bench::Alternate(5, {[&] { return SecondsOf(Edit("presses.txt")); },
                                      [&] { return SecondsOf(Edit("idle.txt")); },
                                      [&] { return SecondsOf(run); }});
  std::vector<double> roundTrip, process = t[2];
  for (size_t r = 0; r < t[0].size(); ++r) roundTrip.push_back((t[0][r] - t[1][r]) / kPresses);
  std::printf("F5 round trip of a 2,000-line program: %s ms; vellumark run --frames 1: %s ms\n",
              bench::Show(bench::Summarise(roundTrip), 1e3).c_str(), bench::Show(bench::Summarise(process), 1e3).c_str());
  std::printf("  ratio round trip / process %s (goal <= 0.3)\n", bench::Show(bench::Ratio(roundTrip, process), 1, 3).c_str());
  bench::PrintLoad();
  std::filesystem::remove_all(g_folder);
  return 0;
}
