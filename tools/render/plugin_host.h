// Loads the plug-in module, creates its effect and drives it the way a host does.
#pragma once

#include <string>

#include "host/aeffect.h"

namespace render {

// The plug-in module, loaded once; every effect made from it is independent of the others.
class PluginModule {
 public:
  // Throws std::runtime_error when the module cannot be loaded or has no entry point.
  explicit PluginModule(const std::string& path);
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  const std::string& path() const { return path_; }

 private:
  friend class PluginHost;
  std::string path_;
  void* handle_ = nullptr;
  AEffect* (*entry_)(audioMasterCallback) = nullptr;
};

// One effect of the module, driven the way a host drives it. Effects of one module may be used
// on different threads at once, one thread per effect.
class PluginHost {
 public:
  // Throws std::runtime_error when the module yields no effect.
  explicit PluginHost(const PluginModule& module);
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // effOpen, then the rate and block size. The rate must reach the effect before any program
  // or parameter change, since those are when it turns seconds into sample counts.
  void open(double sampleRate, int blockSize);
  int currentProgram();
  void setProgram(int program);
  // The name of a program of the bank, whichever is current.
  std::string programName(int program);
  void setParameter(int index, float normalised);
  float parameter(int index);
  bool canProcessSingle() const;
  bool canProcessDouble() const;
  void resume();
  void suspend();

  void process(float** inputs, float** outputs, int frames);
  void process(double** inputs, double** outputs, int frames);

  // The editor, through the editor requests a host makes.
  bool hasEditor() const { return (effect_->flags & effFlagsHasEditor) != 0; }
  bool editorSize(int& width, int& height);
  bool openEditor(void* window);
  void idleEditor();
  void closeEditor();

  int numInputs() const { return effect_->numInputs; }
  int numOutputs() const { return effect_->numOutputs; }

 private:
  static VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                            void* ptr, float opt);
  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);

  AEffect* effect_ = nullptr;
  double sampleRate_ = 44100.0;
  int blockSize_ = 512;
  bool resumed_ = false;
};

}  // namespace render
