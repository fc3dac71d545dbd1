#include "host/audioeffect.h"

#include <cmath>
#include <cstring>

#include "host/aeffeditor.h"
#include "host/nonblocking.h"
#include "host/textcopy.h"

namespace {

constexpr VstInt32 kNoEffectId = fourCharacters('N', 'o', 'E', 'f');
constexpr VstInt32 kIdentifyAnswer = fourCharacters('N', 'v', 'E', 'f');

AudioEffect* effectOf(AEffect* e) { return static_cast<AudioEffect*>(e->object); }

// The requests hosts make from their audio thread, beside the process and parameter entries.
bool isAudioThreadRequest(VstInt32 opcode) {
  switch (opcode) {
    case effProcessEvents:
    case effSetProgram:
    case effStartProcess:
    case effStopProcess:
    case effSetBypass:
    case effGetTailSize:
      return true;
    default:
      return false;
  }
}

VstIntPtr dispatchAudioThreadRequest(AudioEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                     void* ptr, float opt) FADECREST_NONBLOCKING {
  return effect->dispatcher(opcode, index, value, ptr, opt);
}

// The record's entries: each finds the object behind the record and calls its operation.
VstIntPtr VSTCALLBACK dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt) {
  AudioEffect* effect = effectOf(e);
  if (opcode == effClose) {
    effect->dispatcher(opcode, index, value, ptr, opt);
    delete effect;
    return 1;
  }
  if (isAudioThreadRequest(opcode)) return dispatchAudioThreadRequest(effect, opcode, index, value, ptr, opt);
  return effect->dispatcher(opcode, index, value, ptr, opt);
}

void VSTCALLBACK processClass(AEffect* e, float** inputs, float** outputs,
                              VstInt32 sampleFrames) FADECREST_NONBLOCKING {
  effectOf(e)->process(inputs, outputs, sampleFrames);
}

void VSTCALLBACK setParameterClass(AEffect* e, VstInt32 index, float value) FADECREST_NONBLOCKING {
  effectOf(e)->setParameter(index, value);
}

float VSTCALLBACK getParameterClass(AEffect* e, VstInt32 index) FADECREST_NONBLOCKING {
  return effectOf(e)->getParameter(index);
}

void VSTCALLBACK processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                       VstInt32 sampleFrames) FADECREST_NONBLOCKING {
  effectOf(e)->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                             VstInt32 sampleFrames) FADECREST_NONBLOCKING {
  effectOf(e)->processDoubleReplacing(inputs, outputs, sampleFrames);
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster),
      editor(nullptr),
      sampleRate(44100.0f),
      blockSize(1024),
      numPrograms(numPrograms),
      numParams(numParams),
      curProgram(0) {
  std::memset(&cEffect, 0, sizeof(cEffect));
  cEffect.magic = kEffectMagic;
  cEffect.dispatcher = dispatchEffectClass;
  cEffect.process = processClass;
  cEffect.setParameter = setParameterClass;
  cEffect.getParameter = getParameterClass;
  cEffect.processReplacing = processClassReplacing;
  cEffect.processDoubleReplacing = processClassDoubleReplacing;
  cEffect.flags |= effFlagsCanReplacing;
  cEffect.numPrograms = numPrograms;
  cEffect.numParams = numParams;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.uniqueID = kNoEffectId;
  cEffect.version = 1;
}

AudioEffect::~AudioEffect() { delete editor; }

void AudioEffect::setEditor(AEffEditor* newEditor) {
  editor = newEditor;
  cEffect.flags |= effFlagsHasEditor;
}

void AudioEffect::setFlag(VstInt32 flag, bool state) {
  if (state)
    cEffect.flags |= flag;
  else
    cEffect.flags &= ~flag;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  // Requests that hand the effect a text buffer do nothing without one.
  if (ptr == nullptr) {
    switch (opcode) {
      case effSetProgramName:
      case effGetProgramName:
      case effGetParamLabel:
      case effGetParamDisplay:
      case effGetParamName:
      case effEditGetRect:
        return 0;
      default:
        break;
    }
  }

  switch (opcode) {
    case effOpen:
      open();
      return 0;
    case effClose:
      close();
      return 0;
    case effSetProgram:
      if (value >= 0 && value < numPrograms) setProgram(static_cast<VstInt32>(value));
      return 0;
    case effGetProgram:
      return getProgram();
    case effSetProgramName:
      setProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetProgramName:
      getProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetParamLabel:
      getParameterLabel(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamDisplay:
      getParameterDisplay(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamName:
      getParameterName(index, static_cast<char*>(ptr));
      return 0;
    case effSetSampleRate:
      setSampleRate(opt);
      return 0;
    case effSetBlockSize:
      setBlockSize(static_cast<VstInt32>(value));
      return 0;
    case effMainsChanged:
      if (value == 0)
        suspend();
      else
        resume();
      return 0;
    case effEditGetRect:
      return editor && editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    case effEditOpen:
      return editor && editor->open(ptr) ? 1 : 0;
    case effEditClose:
      if (editor) editor->close();
      return 0;
    case effEditIdle:
      if (editor) editor->idle();
      return 0;
    case effIdentify:
      return kIdentifyAnswer;
    case effGetChunk:
      return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
      return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
      return 0;
  }
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
  setParameter(index, value);
  if (audioMaster) audioMaster(&cEffect, audioMasterAutomate, index, 0, nullptr, value);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

VstInt32 AudioEffect::getMasterVersion() {
  VstInt32 version = static_cast<VstInt32>(callHost(audioMasterVersion));
  return version == 0 ? 1 : version;
}

VstInt32 AudioEffect::getCurrentUniqueId() { return static_cast<VstInt32>(callHost(audioMasterCurrentId)); }

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

bool AudioEffect::isInputConnected(VstInt32 input) {
  return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
  return callHost(audioMasterPinConnected, output, 1) == 0;
}

// Eight characters of fixed-point text: sign, integer digits, point, then as many fraction digits as
// fit. Digits are cut, never rounded, so a display never shows a value the parameter has not reached.
void AudioEffect::float2string(float value, char* text, VstInt32 maxLen) {
  constexpr int kWidth = 8;
  double v = value;
  // A value that is not a number has no digits to show; it gets the same answer as one too large.
  if (std::isnan(v) || (v < 0 && -v > 9999999.0) || (v >= 0 && v > 99999999.0)) {
    vst_strncpy(text, "Huge!", maxLen);
    return;
  }
  int count = 0;
  bool negative = false;
  if (v < 0) {
    negative = true;
    v = -v;
    ++count;
  }

  char digits[32];
  char* s = digits + sizeof(digits) - 1;
  *s-- = 0;
  *s-- = '.';
  ++count;
  double integer = std::floor(v);
  *s-- = static_cast<char>('0' + static_cast<int>(std::fmod(integer, 10.0)));
  integer /= 10.0;
  ++count;
  while (integer >= 1.0 && count < kWidth) {
    *s-- = static_cast<char>('0' + static_cast<int>(std::fmod(integer, 10.0)));
    integer /= 10.0;
    ++count;
  }
  if (negative) *s-- = '-';
  vst_strncpy(text, s + 1, maxLen);
  if (count >= kWidth) return;

  s = digits + sizeof(digits) - 1;
  *s-- = 0;
  double mantissa = std::fmod(v, 1.0) * std::pow(10.0, kWidth - count);
  while (count < kWidth) {
    if (mantissa <= 0) {
      *s-- = '0';
    } else {
      *s-- = static_cast<char>('0' + static_cast<int>(std::fmod(mantissa, 10.0)));
      mantissa /= 10.0;
    }
    ++count;
  }
  vst_strncat(text, s + 1, maxLen);
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen) {
  // Nine digits at most: larger magnitudes, either sign, have no room in the divisor walk below.
  if (value >= 100000000 || value <= -1000000000) {
    vst_strncpy(text, "Huge!", maxLen);
    return;
  }
  char string[32];
  int length = 0;
  int64_t rest = value;
  if (rest < 0) {
    string[length++] = '-';
    rest = -rest;
  }
  bool started = false;
  for (int64_t divisor = 100000000; divisor >= 1; divisor /= 10) {
    int64_t digit = rest / divisor;
    rest -= digit * divisor;
    if (started || digit != 0 || divisor == 1) {
      started = true;
      string[length++] = static_cast<char>('0' + digit);
    }
  }
  string[length] = 0;
  vst_strncpy(text, string, maxLen);
}

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen) {
  if (value <= 0)
    vst_strncpy(text, "-oo", maxLen);
  else
    float2string(static_cast<float>(20.0 * std::log10(static_cast<double>(value))), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen) {
  if (samples == 0)
    float2string(0.0f, text, maxLen);
  else
    float2string(static_cast<float>(static_cast<double>(getSampleRate()) / samples), text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen) {
  float2string(static_cast<float>(samples * 1000.0 / getSampleRate()), text, maxLen);
}
