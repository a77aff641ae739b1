// A stream's decoded size, read from its 4-byte little-endian size prefix
// without decoding anything: what `pkgtool list` shows as a file's size.
#pragma once

#include <cstdint>

#include "read/media.h"

namespace pkgtool {

// The size the record's stream states, read from the start of its first
// chunk (and of the next ones when a chunk is shorter than the prefix).
// False when the record has no stream, or when a chunk the prefix lies in
// is on a disk volumes lack, starts inside its volume's disk number or
// reaches past the volume's end, or cannot be read.
bool ReadStreamSize(const MediaRecord& record, const VolumeSet& volumes,
                    uint32_t* size);

}  // namespace pkgtool
