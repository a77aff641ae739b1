// Locked global memory (see memory.h).
#include "base/memory.h"

void* AllocLocked(size_t size, plat::MemHandle* handle) {
  *handle = plat::GlobalAlloc(plat::kGmemMoveable | plat::kGmemZeroInit, size);
  if (*handle == nullptr) return nullptr;
  void* block = plat::GlobalLock(*handle);
  if (block == nullptr) {
    plat::GlobalFree(*handle);
    *handle = nullptr;
  }
  return block;
}

void FreeLocked(plat::MemHandle* handle) {
  if (*handle == nullptr) return;
  plat::GlobalUnlock(*handle);
  plat::GlobalFree(*handle);
  *handle = nullptr;
}
