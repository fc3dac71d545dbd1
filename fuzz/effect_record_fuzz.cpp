// Drives one effect through its record with arbitrary sequences of requests, parameter changes and
// process calls, as a careless but contract-keeping host would: text requests get buffers of the
// interface's sizes, and pointers the effect writes through point at real storage.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "effect/fadecrestvst.h"

namespace {

VstIntPtr VSTCALLBACK fuzzHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 1;
}

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data(data), size(size) {}
  bool empty() const { return position >= size; }
  uint8_t byte() { return position < size ? data[position++] : 0; }
  int32_t int32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
    return static_cast<int32_t>(v);
  }
  float anyFloat() {
    uint32_t bits = static_cast<uint32_t>(int32());
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
  }

 private:
  const uint8_t* data;
  size_t size;
  size_t position = 0;
};

constexpr int kMaxFrames = 4096;

struct Buffers {
  std::vector<float> single[4];
  std::vector<double> twice[4];
  Buffers() {
    for (auto& b : single) b.assign(kMaxFrames, 0.25f);
    for (auto& b : twice) b.assign(kMaxFrames, -0.25);
  }
};

void process(AEffect* record, Buffers& buffers, Input& in, bool doublePrecision) {
  int32_t frames = static_cast<int32_t>(in.int32() % (kMaxFrames + 1));  // negative counts included
  bool inPlace = in.byte() & 1;
  float sample = in.anyFloat();
  if (doublePrecision) {
    double* inputs[2] = {buffers.twice[0].data(), buffers.twice[1].data()};
    double* outputs[2] = {buffers.twice[inPlace ? 0 : 2].data(), buffers.twice[inPlace ? 1 : 3].data()};
    inputs[0][0] = sample;
    // A host may pass no channels at all with an empty block.
    const bool channels = frames > 0;
    record->processDoubleReplacing(record, channels ? inputs : nullptr, channels ? outputs : nullptr, frames);
  } else {
    float* inputs[2] = {buffers.single[0].data(), buffers.single[1].data()};
    float* outputs[2] = {buffers.single[inPlace ? 0 : 2].data(), buffers.single[inPlace ? 1 : 3].data()};
    inputs[0][0] = sample;
    const bool channels = frames > 0;
    record->processReplacing(record, channels ? inputs : nullptr, channels ? outputs : nullptr, frames);
  }
}

void dispatch(AEffect* record, Input& in) {
  VstInt32 opcode = static_cast<int8_t>(in.byte());  // -128..127 covers every opcode and beyond
  VstInt32 index = in.int32();
  VstIntPtr value = in.int32();
  float opt = in.anyFloat();
  char text[256];
  for (char& c : text) c = static_cast<char>(in.byte());
  text[sizeof(text) - 1] = 0;
  void* ptr = (in.byte() & 3) == 0 ? nullptr : text;
  VstSpeakerArrangement* arrangements[2] = {};
  if (opcode == effGetSpeakerArrangement) value = reinterpret_cast<VstIntPtr>(&arrangements[0]);
  if (opcode == effClose || opcode == effEditOpen) return;  // closing is a step of its own
  record->dispatcher(record, opcode, index, value, ptr, opt);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  static Buffers buffers;
  AEffect* record = (new FadecrestVST(fuzzHost))->getAeffect();
  while (!in.empty()) {
    switch (in.byte() % 7) {
      case 0:
        dispatch(record, in);
        break;
      case 1: {
        VstInt32 index = static_cast<int8_t>(in.byte());
        record->setParameter(record, index, in.anyFloat());
        break;
      }
      case 2:
        record->getParameter(record, static_cast<int8_t>(in.byte()));
        break;
      case 3:
        process(record, buffers, in, false);
        break;
      case 4:
        process(record, buffers, in, true);
        break;
      case 5: {
        // Program changes are the usual way a host moves both parameters at once.
        VstIntPtr program = static_cast<int8_t>(in.byte());
        record->dispatcher(record, effSetProgram, 0, program, nullptr, 0.0f);
        break;
      }
      case 6:
        record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
        record = (new FadecrestVST(fuzzHost))->getAeffect();
        break;
    }
  }
  record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
  return 0;
}
