// Memory running out inside a real load command, the program run end to end: the allocation of
// the given size fails (every allocation of this test binary passes through here), and the
// command stops the program with its own load error naming the file. A sanitizer's allocator
// keeps its own operator new: there the tests are skipped.
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

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VK_OWN_NEW 0
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VK_OWN_NEW 0
#endif
#ifndef VK_OWN_NEW
#define VK_OWN_NEW 1
#endif

namespace {

// The first allocation of at least this many bytes (0: none) after skip of them fails, once.
std::atomic<size_t> g_failFrom{0};
std::atomic<int> g_skip{0};

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

// OPEN TO READ of a file named by a path of 200 characters: the command's own copy of the
// name is made, then its next copy fails (armed by a test command just before it).
TEST(LoadMemory, AnOpenToReadThatRunsOutOfMemoryGivesItsOwnErrorNamingTheFile) {
  if (!VK_OWN_NEW) GTEST_SKIP();
  constexpr int kArm = 13;
  TempDir dir;
  ASSERT_TRUE(FsWriteFileAtomic(dir.File("data.txt"), "one line\n"));
  std::string name = dir.path() + "/";
  while (name.size() < 192) name += "./";
  name += "data.txt";
  ImageBuilder b;
  b.Emit({kArm});
  b.Emit({8041, b.Int(1), b.Text(name)});
  TestRun run = RunFor(5);
  run.install = [] {
    InstallTestCommand(
        kArm,
        [] {
          SkipOperands(0);
          g_skip = 1;
          g_failFrom = 190;
        },
        "");
  };
  g_lastEngineError.clear();
  const RunOutcome r = RunImage(b, run);
  g_failFrom = 0;
  EXPECT_EQ(r.errorCode, kErrStreamNotOpened);
  EXPECT_EQ(g_lastEngineError, name + ": not enough memory to load it");
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

namespace {

TEST(LoadMemory, ALoadObjectThatRunsOutOfMemoryGivesItsOwnErrorNamingTheFile) {
  if (!VK_OWN_NEW) GTEST_SKIP();
  TempDir dir;
  // A mesh of 300,000 vertices: the file (6 MB) is read, then its mesh node (9.6 MB) fails,
  // the run's first allocation that large.
  std::string mesh = "xof 0302txt 0032\nMesh m { 300000;\n";
  for (int i = 0; i < 300000; ++i) mesh += "0.000;0.000;0.000;,\n";
  mesh += "; 0;; }\n";
  const std::string file = dir.File("big.x");
  ASSERT_TRUE(FsWriteFileAtomic(file, mesh));
  g_skip = 0;
  g_failFrom = mesh.size() + 2;  // the read holds the size and a terminator
  const RunOutcome r = RunVkaSource("load object \"" + file + "\", 1\nprint \"after\"\n", 5);
  g_failFrom = 0;
  EXPECT_NE(r.err.find("Cannot load the object. " + file + ": not enough memory to load it"), std::string::npos)
      << r.err;
  EXPECT_EQ(r.transcript, "");
}

}  // namespace
