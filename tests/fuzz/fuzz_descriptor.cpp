// Arbitrary bytes as a package descriptor: loading never reads outside the
// file or the table, and a table that loads can be walked record by record,
// chunk list by chunk list, without leaving it.
#include <cstddef>
#include <cstdint>

#include "base/memory.h"
#include "fuzz_support.h"
#include "package/descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzResetHost();
  FuzzWriteFile("SETUP.bin", data, size);
  if (LoadPackage() == kResultOk) {
    const uint8_t* record = FirstRecord();
    volatile uint32_t sum = 0;
    for (unsigned i = 0; i < Package.Header.recordCount; ++i) {
      sum = sum + RecordFlags(record) + RecordSizeKb(record);
      if (RecordIsShared(record)) {
        sum = sum + RecordVersionMs(record) + RecordVersionLs(record);
      }
      for (const uint8_t* entry = FirstChunkEntry(record);;
           entry += kChunkEntrySize) {
        ChunkEntry chunk = ReadChunkEntry(entry);
        if (chunk.disk == 0 || chunk.length == 0) break;
        sum = sum + chunk.offset;
      }
      record = NextRecord(record);
    }
  }
  FreeLocked(&Package.TableHandle);
  return 0;
}
