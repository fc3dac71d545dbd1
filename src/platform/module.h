// The library's own module handle, recorded when the library is loaded; window classes and
// resources are looked up through it.
#pragma once

namespace platform {

using ModuleHandle = void*;

ModuleHandle moduleHandle();

// The loader's start-up and shutdown notification: records the handle for every reason and
// answers success.
bool moduleNotification(ModuleHandle handle, unsigned long reason);

}  // namespace platform
