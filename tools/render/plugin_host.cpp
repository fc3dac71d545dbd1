#include "plugin_host.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <stdexcept>

namespace render {
namespace {

using EntryProc = AEffect* (*)(audioMasterCallback);
constexpr VstIntPtr kHostVersion = 2400;

// The callback only receives the effect, so each host is found through it. While the entry
// runs there is no effect yet, and the creating host is the one on this thread.
std::mutex registryMutex;
// Effects are made and closed one at a time: the plug-in keeps a few values for the whole module
// (its window class, its pictures) that it does not guard itself.
std::mutex lifetimeMutex;
std::map<const AEffect*, const PluginHost*> registry;
thread_local const PluginHost* creatingHost = nullptr;

}  // namespace

PluginModule::PluginModule(const std::string& path) : path_(path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = dlerror();
    throw std::runtime_error(std::string("cannot load plug-in: ") + (why ? why : path));
  }
  entry_ = reinterpret_cast<EntryProc>(dlsym(handle_, "VSTPluginMain"));
  if (!entry_) {
    dlclose(handle_);
    throw std::runtime_error(path + " is not a plug-in: it has no VSTPluginMain");
  }
}

PluginModule::~PluginModule() { dlclose(handle_); }

PluginHost::PluginHost(const PluginModule& module) {
  {
    std::lock_guard lifetime(lifetimeMutex);
    creatingHost = this;
    effect_ = module.entry_(&PluginHost::hostCallback);
    creatingHost = nullptr;
  }
  if (!effect_ || effect_->magic != kEffectMagic)
    throw std::runtime_error("plug-in " + module.path() + " did not create an effect");
  std::lock_guard lock(registryMutex);
  registry[effect_] = this;
}

PluginHost::~PluginHost() {
  if (resumed_) suspend();
  {
    std::lock_guard lock(registryMutex);
    registry.erase(effect_);
  }
  std::lock_guard lifetime(lifetimeMutex);
  dispatch(effClose);
}

VstIntPtr PluginHost::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterVersion) return kHostVersion;

  const PluginHost* host = creatingHost;
  if (effect) {
    std::lock_guard lock(registryMutex);
    if (auto found = registry.find(effect); found != registry.end()) host = found->second;
  }
  if (!host) return 0;
  if (opcode == audioMasterGetSampleRate) return static_cast<VstIntPtr>(host->sampleRate_);
  if (opcode == audioMasterGetBlockSize) return host->blockSize_;
  return 0;
}

VstIntPtr PluginHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void PluginHost::open(double sampleRate, int blockSize) {
  sampleRate_ = sampleRate;
  blockSize_ = blockSize;
  dispatch(effOpen);
  dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  dispatch(effSetBlockSize, 0, blockSize);
}

int PluginHost::currentProgram() { return static_cast<int>(dispatch(effGetProgram)); }

void PluginHost::setProgram(int program) { dispatch(effSetProgram, 0, program); }

std::string PluginHost::programName(int program) {
  char name[kVstMaxProgNameLen + 1] = {};
  dispatch(effGetProgramNameIndexed, program, 0, name);
  return name;
}

void PluginHost::setParameter(int index, float normalised) {
  effect_->setParameter(effect_, index, normalised);
}

float PluginHost::parameter(int index) { return effect_->getParameter(effect_, index); }

bool PluginHost::canProcessSingle() const {
  return (effect_->flags & effFlagsCanReplacing) && effect_->processReplacing;
}

bool PluginHost::canProcessDouble() const {
  return (effect_->flags & effFlagsCanDoubleReplacing) && effect_->processDoubleReplacing;
}

void PluginHost::resume() {
  dispatch(effMainsChanged, 0, 1);
  resumed_ = true;
}

void PluginHost::suspend() {
  dispatch(effMainsChanged, 0, 0);
  resumed_ = false;
}

void PluginHost::process(float** inputs, float** outputs, int frames) {
  effect_->processReplacing(effect_, inputs, outputs, frames);
}

void PluginHost::process(double** inputs, double** outputs, int frames) {
  effect_->processDoubleReplacing(effect_, inputs, outputs, frames);
}

bool PluginHost::editorSize(int& width, int& height) {
  ERect* rect = nullptr;
  if (dispatch(effEditGetRect, 0, 0, &rect) == 0 || rect == nullptr) return false;
  width = rect->right - rect->left;
  height = rect->bottom - rect->top;
  return true;
}

bool PluginHost::openEditor(void* window) { return dispatch(effEditOpen, 0, 0, window) != 0; }

void PluginHost::idleEditor() { dispatch(effEditIdle); }

void PluginHost::closeEditor() { dispatch(effEditClose); }

}  // namespace render
