/* Short writes for the fault campaign, preloaded into a dynamically linked
 * pkgtool: the write(2) call numbered PKGTOOL_SHORT_WRITE_AT (1 = the
 * first of the process) that is given more than one byte writes half of
 * them and says so, as a full disk or a signal can make it do. Every other
 * call is the C library's own. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

ssize_t write(int fd, const void* buffer, size_t count) {
  static ssize_t (*real)(int, const void*, size_t);
  static long calls, at = -1;
  if (real == NULL) {
    real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
  }
  if (at < 0) {
    const char* text = getenv("PKGTOOL_SHORT_WRITE_AT");
    at = text != NULL ? atol(text) : 0;
  }
  if (++calls == at && count > 1) count /= 2;
  return real(fd, buffer, count);
}
