// The library's exported entry point: the host calls it once per effect it wants.
#include <new>

#include "effect/fadecrestvst.h"
#include "host/aeffect.h"

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  try {
    return new FadecrestVST(audioMaster);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// On Windows the module definition file names the exports; elsewhere the symbol is made visible.
#if defined(_WIN32)
#define FADECREST_EXPORT
#else
#define FADECREST_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

FADECREST_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
  if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  AudioEffect* effect = createEffectInstance(audioMaster);
  return effect ? effect->getAeffect() : nullptr;
}
}
