// orv_xls_probe: loads the .xls file open on its standard input with libfreexl and
// says by its exit code how that went: 0 readable, 3 not readable, 4 protected by
// a password. The engine runs it before it loads a file itself, so that a damaged
// file that libfreexl cannot survive ends this short-lived process, not the caller.
#include <freexl.h>
#include <unistd.h>

// libfreexl's failing paths leak; in a sanitized build the leak report would turn
// a clean "not readable" into another exit code.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

int main() {
  const void* handle = nullptr;
  if (freexl_open("/proc/self/fd/0", &handle) != FREEXL_OK || !handle) _exit(3);
  unsigned int info = 0;
  if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED) _exit(4);
  freexl_close(handle);
  return 0;
}
