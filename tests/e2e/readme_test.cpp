// The README's first command, as a new user runs it on a machine without a display.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/support/process.h"

namespace {

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::string StdoutOfHeadlessRun(const std::vector<std::string>& args) {
  int out = -1;
  const int pid = StartHeadless(VellumarkExe(), args, VK_SOURCE_DIR, &out);
  if (pid < 0) return "";
  std::string seen;
  char buf[4096];
  for (ssize_t n; (n = read(out, buf, sizeof buf)) > 0;) seen.append(buf, size_t(n));
  close(out);
  waitpid(pid, nullptr, 0);
  return seen;
}

// It builds the executable alone, and its run shows the program's text even headless.
TEST(Readme, TheFirstCommandBuildsTheExecutableAndItsRunIsVisible) {
  std::ifstream in(std::string(VK_SOURCE_DIR) + "/README.md");
  std::string line;
  while (std::getline(in, line) && line.find("build/vellumark run") == std::string::npos) {}
  ASSERT_NE(line.find("tools/build.sh"), std::string::npos) << line;
  const size_t build = line.find("tools/build.sh") + 14;
  EXPECT_EQ(Words(line.substr(build, line.find("&&", build) - build)), std::vector<std::string>{"vellumark"});
  std::vector<std::string> args = Words(line.substr(line.find("build/vellumark run") + 16));
  args.insert(args.end(), {"--clock", "virtual"});  // the same frames without their real time
  EXPECT_NE(StdoutOfHeadlessRun(args).find("Hello from Vellumark"), std::string::npos);
}

// Every bench (a folder of bench/ with its own main, bench_NAME.cpp) has its row in the table.
TEST(Readme, TheBenchTableListsEveryBench) {
  std::ifstream in(std::string(VK_SOURCE_DIR) + "/README.md");
  std::set<std::string> rows;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("| ", 0) == 0) rows.insert(line.substr(2, line.find(' ', 2) - 2));
  int benches = 0;
  for (const auto& e : std::filesystem::directory_iterator(std::string(VK_SOURCE_DIR) + "/bench")) {
    const std::string name = e.path().filename().string();
    if (!std::filesystem::exists(e.path() / ("bench_" + name + ".cpp"))) continue;
    ++benches;
    EXPECT_TRUE(rows.count(name)) << name;
  }
  EXPECT_GT(benches, 20);
}

// Every program and program image of examples/ (not its folders, nor the media tools/setup.sh
// makes there) is named in the README with what it is.
TEST(Readme, TheExampleListNamesEveryExample) {
  std::ifstream in(std::string(VK_SOURCE_DIR) + "/README.md");
  std::string text;
  for (std::string word; in >> word;) text += word + " ";  // lines joined
  int examples = 0;
  for (const auto& e : std::filesystem::directory_iterator(std::string(VK_SOURCE_DIR) + "/examples")) {
    const std::string extension = e.path().extension().string();
    if (!e.is_regular_file() || (extension != ".vka" && extension != ".img")) continue;
    ++examples;
    EXPECT_NE(text.find("`examples/" + e.path().filename().string() + "` ("), std::string::npos)
        << e.path().filename();
  }
  EXPECT_GT(examples, 10);
}

}  // namespace
