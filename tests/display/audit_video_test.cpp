// Video files and animations as programs use them: inputs that are not plain files, and the
// commands at their edges.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>

#include "platform/video.h"
#include "tests/display/video_clips.h"

namespace {

// A named pipe with no writer must not hold the program: it is refused as not a regular file.
TEST(AuditVideoOpen, APipeIsRefusedWithoutWaitingForAWriter) {
  const std::string path = ClipFolderFile("pipe.avi");
  unlink(path.c_str());
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  std::string why;
  auto opening = std::async(std::launch::async, [&] {
    return VideoStream::Open(path, VideoOptions{FormatForDepth(32)}, &why) != nullptr;
  });
  if (opening.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
    ADD_FAILURE() << "the open waited for a writer";
    int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);  // a writer that ends at once frees it
    if (fd >= 0) close(fd);
  }
  EXPECT_FALSE(opening.get());
  EXPECT_EQ(why, "not a regular file");
  unlink(path.c_str());
}

// A concatenation script names other files, which would be opened past the checks above: such
// scripts are not played, even when what they name is a good clip.
TEST(AuditVideoOpen, AScriptNamingOtherFilesIsRefused) {
  const std::string clip = Mpeg4Clip(), script = ClipFolderFile("script.avi");
  std::FILE* f = std::fopen(script.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "ffconcat version 1.0\nfile %s\n", std::filesystem::path(clip).filename().c_str());
  std::fclose(f);
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(clip).parent_path());  // names are taken from here
  std::string why;
  const bool opened = VideoStream::Open(script, VideoOptions{FormatForDepth(32)}, &why) != nullptr;
  std::filesystem::current_path(here);
  EXPECT_FALSE(opened);
  EXPECT_EQ(why, "not a video file");
}

}  // namespace
