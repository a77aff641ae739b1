// The output writer's flush with its Retry/Cancel rules.
#include "stream/output.h"

#include <cstring>

#include "ui/messages.h"
#include "ui/ui_state.h"

OutputState Output;

void ResetOutput() {
  std::memset(&Output, 0, sizeof Output);
  Output.OutputHandle = plat::kFileError;
}

ResultCode FlushOutput() {
  if (Output.OutputCount <= 0) return kResultOk;
  for (;;) {
    const long count = Output.OutputCount;
    const long n =
        Output.WriteHook != nullptr
            ? Output.WriteHook(Output.WriteContext, Output.OutputBuffer, count)
            : plat::lwrite(Output.OutputHandle, Output.OutputBuffer, count);
    if (n >= count) break;
    Output.Showing = n < 0 ? kResultWriteError : kResultDiskFull;
    const int answer = RetryCancelBox(FileTransferDialog,
                                      static_cast<unsigned>(Output.Showing),
                                      Output.TargetPath);
    Output.Showing = kResultOk;
    // Whatever the answer, keep only what is still missing.
    if (n > 0) {
      std::memmove(Output.OutputBuffer, Output.OutputBuffer + n,
                   static_cast<size_t>(count - n));
      Output.OutputCount -= static_cast<int>(n);
    }
    if (answer != kResultRetry) return kResultCancel;
  }
  Output.OutputCount = 0;
  return kResultOk;
}
