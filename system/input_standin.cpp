// Input devices are not built yet: polling only keeps the platform's events flowing.
#include "platform/events.h"
#include "system/input.h"

bool InitDirectInput() { return true; }
void AcquireInputDevices() {}
void UnacquireInputDevices() {}
void ReleaseForceFeedback() {}
void ShutdownDirectInput() {}
void PollInputDevices() { PumpPlatformEvents(); }
void ClearMouseMovement() {}
