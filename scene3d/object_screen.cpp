// What the collision and statistic queries read from the render. Until the render reports them:
// no screen point, nothing in view, nothing drawn.
#include "scene3d/object_collision.h"

void ObjectScreenPoint(uint32_t, int32_t* inView, int32_t* x, int32_t* y) { *inView = 0, *x = 0, *y = 0; }
uint32_t IndicesDrawnLastFrame() { return 0; }
