// orv_xls_probe: loads the .xls file open on its standard input with libfreexl and
// says by its exit code how that went: 0 readable, 3 not readable, 4 protected by
// a password. The engine runs it before it loads a file itself, so that a damaged
// file that libfreexl cannot survive ends this short-lived process, not the caller.
#include <freexl.h>
#include <unistd.h>

int main() {
  const void* handle = nullptr;
  if (freexl_open("/proc/self/fd/0", &handle) != FREEXL_OK || !handle) _exit(3);
  unsigned int info = 0;
  if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED) _exit(4);
  freexl_close(handle);
  // _exit on every path: libfreexl's failing paths leak, and in a sanitized build
  // a leak report at exit would change the answer.
  _exit(0);
}
