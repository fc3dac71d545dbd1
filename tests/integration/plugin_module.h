// The built plug-in loaded the way a host loads it: dlopen (LoadLibrary on Windows), the entry
// point, the record.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdlib>
#include <string>

#include "host/aeffect.h"

using EntryProc = AEffect* (*)(audioMasterCallback);

inline VstIntPtr VSTCALLBACK versionedHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// The built module, or the copy FADECREST_MODULE names (an installed one, say).
inline const char* modulePath() {
  return std::getenv("FADECREST_MODULE") ? std::getenv("FADECREST_MODULE") : FADECREST_MODULE_PATH;
}

#if defined(_WIN32)
class PluginModule {
 public:
  PluginModule() : handle_(LoadLibraryA(modulePath())) {}
  ~PluginModule() {
    if (handle_) FreeLibrary(handle_);
  }
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  void* symbol(const char* name) const {
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(handle_, name)) : nullptr;
  }
  EntryProc entry() const { return reinterpret_cast<EntryProc>(symbol("VSTPluginMain")); }
  HMODULE handle() const { return handle_; }
  static std::string loadError() { return "error " + std::to_string(GetLastError()); }

 private:
  HMODULE handle_;
};
#else
class PluginModule {
 public:
  PluginModule() : handle_(dlopen(modulePath(), RTLD_NOW | RTLD_LOCAL)) {}
  ~PluginModule() {
    if (handle_) dlclose(handle_);
  }
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  void* symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }
  EntryProc entry() const { return reinterpret_cast<EntryProc>(symbol("VSTPluginMain")); }
  static std::string loadError() {
    const char* error = dlerror();
    return error ? error : "";
  }

 private:
  void* handle_;
};
#endif

// One effect made by the entry point, closed when it goes out of scope.
class Effect {
 public:
  explicit Effect(const PluginModule& module, audioMasterCallback host = versionedHost)
      : effect_(module.entry() ? module.entry()(host) : nullptr) {}
  ~Effect() {
    if (effect_) dispatch(effClose);
  }
  Effect(const Effect&) = delete;
  Effect& operator=(const Effect&) = delete;

  AEffect* get() const { return effect_; }
  AEffect* operator->() const { return effect_; }

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) const {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
  }
  // Text answers; the buffer is far larger than any limit so an overrun shows as a long string.
  std::string text(VstInt32 opcode, VstInt32 index = 0) const {
    char buffer[256] = {};
    dispatch(opcode, index, 0, buffer);
    return buffer;
  }

 private:
  AEffect* effect_;
};
