// 3D object queries in running programs: where the screen queries put objects against the
// drawn frame, and contacts and push-backs frame by frame.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/program_run.h"

namespace {

// A red cube up left, a green one down right and a third behind the camera: each printed
// screen point lies on its own cube's colour in the grabbed frame.
TEST(ObjectQueryPrograms, ScreenPointsLandOnTheDrawnObjects) {
  const std::string source =
      "sync on\n"
      "autocam off\n"
      "make object cube 1,40\n"
      "color object 1,rgb(255,0,0)\n"
      "position object 1,-100,50,0\n"
      "make object cube 2,40\n"
      "color object 2,rgb(0,255,0)\n"
      "position object 2,120,-80,100\n"
      "make object cube 3,40\n"
      "position object 3,0,0,-400\n"
      "position camera 0,0,-300\n"
      "point camera 0,0,0\n"
      "sync\n"
      "for i=1 to 3\n"
      "print object screen x(i);\" \";object screen y(i);\" \";object in screen(i)\n"
      "next i\n"
      "sync\n";
  const RunOutcome r = RunVkaSource(source, 10);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_NE(r.grab, nullptr);
  std::istringstream printed(r.transcript);
  const uint32_t colour[2] = {0xFF0000u, 0x00FF00u};
  for (int i = 0; i < 3; ++i) {
    int x = -1, y = -1, inView = -1;
    ASSERT_TRUE(printed >> x >> y >> inView) << r.transcript;
    EXPECT_EQ(inView, i < 2 ? 1 : 0) << "object " << i + 1;
    if (i == 2) continue;
    // Lit, so darker than its colour: only its own channel shows.
    const uint32_t p = r.Pixel(x, y);
    EXPECT_NE(p & colour[i], 0u) << "object " << i + 1 << " at " << x << "," << y;
    EXPECT_EQ(p & ~colour[i], 0u) << "object " << i + 1 << " at " << x << "," << y;
  }
  // The points are not just inside the frame: the cubes are apart and off the centre.
  EXPECT_NE(r.transcript.substr(0, 8), "320 240 ");
}

// A box-mode cube stepped into another is pushed back out each frame; two library-mode
// spheres meet once. Per frame: 7519 and 7520 of the boxes, the push-back, 7519 and 7520 of
// the spheres, then the cube's position after the program applied the push-back.
TEST(ObjectQueryPrograms, ContactsAndPushBacksFrameByFrame) {
  const std::string source =
      "sync on\n"
      "make object cube 1,10\n"
      "make object cube 2,10\n"
      "make object collision box 1,-5,-5,-5,5,5,5,0\n"
      "make object collision box 2,-5,-5,-5,5,5,5,0\n"
      "position object 2,20,0,0\n"
      "make object sphere 3,10\n"
      "make object sphere 4,10\n"
      "position object 3,0,50,0\n"
      "position object 4,32,50,0\n"
      "object collision spheres 3\n"
      "object collision spheres 4\n"
      "sync\n"
      "for i=1 to 5\n"
      "x=object position x(1)+4\n"
      "position object 1,x,0,0\n"
      "position object 3,i*5,50,0\n"
      "h=object hit(1,2)\n"
      "c=object collision(1,0)\n"
      "print h;\" \";c;\" \";collision push back x();\" \";collision push back y();\" \";"
      "collision push back z();\" | \";object hit(3,4);\" \";object collision(4,0);\" | \";\n"
      "if c>0 then position object 1,x-collision push back x(),0,0\n"
      "print object position x(1)\n"
      "sync\n"
      "next i\n";
  const RunOutcome r = RunVkaSource(source, 40);
  ASSERT_EQ(r.status, 0) << r.err;
  // The cube's box reaches the other's face (x 15) at x 10: from 8 to 12 it is 2 inside, and
  // every later step of 4 from 10 is pushed back by 4. The spheres (radius 5) meet at 25.
  EXPECT_EQ(r.transcript,
            "0 0 0 0 0 | 0 0 | 4\n"
            "0 0 0 0 0 | 0 0 | 8\n"
            "1 2 2 0 0 | 0 0 | 10\n"
            "0 2 4 0 0 | 0 0 | 10\n"
            "0 2 4 0 0 | 1 3 | 10\n");
}

}  // namespace
