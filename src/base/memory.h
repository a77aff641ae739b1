// Locked global memory: the one way the installer takes a block of memory
// from the platform (GlobalAlloc and GlobalLock) and gives it back.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Movable, zero-filled, locked global memory. AllocLocked stores the handle
// in *handle and returns the locked block, or returns null with *handle
// cleared. FreeLocked releases and clears; on a cleared handle it does
// nothing.
void* AllocLocked(size_t size, plat::MemHandle* handle);
void FreeLocked(plat::MemHandle* handle);
