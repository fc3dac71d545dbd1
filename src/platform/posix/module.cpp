#include "platform/module.h"

#include <dlfcn.h>

namespace platform {
namespace {

// There is no loader notification on this system: a constructor of the library plays its part and
// takes the handle from the address of one of the library's own symbols. Nothing refers to this
// file, so only the plug-in, which links its archives whole, has the constructor; a program that
// links the code directly (the unit tests) keeps a null handle, as on Windows.
__attribute__((constructor)) void onLibraryLoad() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&onLibraryLoad), &info) != 0) moduleNotification(info.dli_fbase, 1);
}

}  // namespace
}  // namespace platform
