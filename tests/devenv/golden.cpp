#include "tests/devenv/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "display/imagefiles/formats.h"
#include "platform/fs.h"

void ExpectMatchesGolden(const Surface& s, const SurfRect& r, const std::string& name) {
  const Picture whole = PictureOfSurface(s);
  Picture cut;
  cut.width = r.Width();
  cut.height = r.Height();
  for (int32_t y = r.top; y < r.bottom; ++y)
    for (int32_t x = r.left; x < r.right; ++x) cut.pixels.push_back(whole.At(x, y) & 0xFFFFFF);
  const std::string path = std::string(VK_SOURCE_DIR) + "/tests/devenv/golden/" + name + ".png";
  std::string data;
  const char* update = std::getenv("VK_UPDATE_GOLDEN");
  if ((update && std::string(update) == "1") || !FsReadFile(path, data)) {
    std::string png;
    ASSERT_TRUE(EncodePng(cut, &png));
    FsWriteFileAtomic(path, png);
    ADD_FAILURE() << "golden picture written: " << path;
    return;
  }
  PictureBuffer golden;
  ASSERT_TRUE(DecodePng(data, golden)) << path;
  ASSERT_EQ(golden.picture.width, cut.width) << name;
  ASSERT_EQ(golden.picture.height, cut.height) << name;
  int differing = 0;
  for (size_t i = 0; i < cut.pixels.size(); ++i)
    if ((golden.picture.pixels[i] & 0xFFFFFF) != cut.pixels[i]) ++differing;
  EXPECT_EQ(differing, 0) << name << ": pixels differ from " << path;
}
