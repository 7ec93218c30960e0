#pragma once

// Input devices as the runtime core sees them.
bool InitDirectInput();
void AcquireInputDevices();
void UnacquireInputDevices();
void ReleaseForceFeedback();
void ShutdownDirectInput();
// Reads the devices' state; pumps the platform's events into their state.
void PollInputDevices();
// Accumulated mouse movement since the last frame; cleared at the end of each frame.
void ClearMouseMovement();
