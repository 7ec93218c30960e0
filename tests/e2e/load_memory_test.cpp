// Memory running out inside a real load command, the program run end to end: one allocation of
// a given size fails (every allocation of this test binary passes through here) and the command
// stops the program with its own load error naming the file. A sanitizer keeps its own operator
// new: there the test is skipped.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "core/error_codes.h"
#include "core/errors.h"
#include "core/interp.h"
#include "platform/fs.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VK_OWN_NEW 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VK_OWN_NEW 0
#endif
#endif
#ifndef VK_OWN_NEW
#define VK_OWN_NEW 1
#endif

namespace {

// Armed by a test command: the first allocation of at least this many bytes (0: none) after
// skip of them fails, once.
std::atomic<size_t> g_failFrom{0}, g_armFrom{0};
std::atomic<int> g_skip{0}, g_armSkip{0};

#if VK_OWN_NEW
void* Allocate(size_t n) {
  const size_t from = g_failFrom.load(std::memory_order_relaxed);
  if (from && n >= from && g_skip.fetch_sub(1) <= 0) {
    g_failFrom = 0;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
#endif

TEST(LoadMemory, ALoadThatRunsOutOfMemoryGivesItsOwnErrorNamingTheFile) {
  if (!VK_OWN_NEW) GTEST_SKIP();
  constexpr int kArm = 13;
  TempDir dir;
  // LOAD OBJECT: the file (6 MB) is read, then its mesh node (9.6 MB) fails. OPEN TO READ of a
  // path of 200 characters: the command's copy of the name is made, then its next copy fails.
  std::string mesh = "xof 0302txt 0032\nMesh m { 300000;\n", name = dir.path() + "/";
  for (int i = 0; i < 300000; ++i) mesh += "0.000;0.000;0.000;,\n";
  mesh += "; 0;; }\n";
  while (name.size() < 192) name += "./";
  name += "data.txt";
  ASSERT_TRUE(FsWriteFileAtomic(dir.File("big.x"), mesh) && FsWriteFileAtomic(name, "one line\n"));
  const struct {
    int command;
    std::string file;
    size_t failFrom;  // the read holds the file's size and a terminator
    int skip;
    int32_t error;
  } kCases[] = {
      {7000, dir.File("big.x"), mesh.size() + 2, 0, kErrModelNotLoaded},
      {8041, name, 190, 1, kErrStreamNotOpened},
  };
  for (const auto& c : kCases) {
    ImageBuilder b;
    b.Emit({kArm});
    b.Emit(c.command == 7000 ? std::initializer_list<int32_t>{7000, b.Text(c.file), b.Int(1)}
                             : std::initializer_list<int32_t>{8041, b.Int(1), b.Text(c.file)});
    g_armFrom = c.failFrom, g_armSkip = c.skip;
    TestRun run = RunFor(5);
    run.install = [] {
      InstallTestCommand(kArm, [] { SkipOperands(0), g_skip = g_armSkip.load(), g_failFrom = g_armFrom.load(); }, "");
    };
    g_lastEngineError.clear();
    const RunOutcome r = RunImage(b, run);
    g_failFrom = 0;
    EXPECT_EQ(r.errorCode, c.error);
    EXPECT_EQ(g_lastEngineError, c.file + ": not enough memory to load it");
  }
}

}  // namespace

#if VK_OWN_NEW
void* operator new(size_t n) { return Allocate(n); }
void* operator new[](size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
#endif
