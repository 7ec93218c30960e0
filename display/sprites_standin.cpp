// Frame steps of video animations, which are not built yet: with no animations there is
// nothing to advance.
#include "display/display.h"

void UpdateAnimations() {}
void ReleaseAllAnimations() {}
