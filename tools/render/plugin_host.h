// Loads the plug-in module, creates its effect and drives it the way a host does.
#pragma once

#include <string>

#include "host/aeffect.h"

namespace render {

class PluginHost {
 public:
  // Throws std::runtime_error when the module cannot be loaded or yields no effect.
  explicit PluginHost(const std::string& modulePath);
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // effOpen, then the rate and block size. The rate must reach the effect before any program
  // or parameter change, since those are when it turns seconds into sample counts.
  void open(double sampleRate, int blockSize);
  int currentProgram();
  void setProgram(int program);
  void setParameter(int index, float normalised);
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

  void* module_ = nullptr;
  AEffect* effect_ = nullptr;
  double sampleRate_ = 44100.0;
  int blockSize_ = 512;
  bool resumed_ = false;
};

}  // namespace render
