// The effect record and the two-level dispatcher: every opcode's mapping and answer, driven through
// the record as a host drives it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "effect/fadecrestvst.h"
#include "host/aeffeditor.h"
#include "support/recording_host.h"

namespace {

struct RecordFixture : testing::Test {
  RecordFixture() : effect(new FadecrestVST(RecordingHost::callback)), record(effect->getAeffect()) {}
  ~RecordFixture() override {
    if (record) record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
  }
  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) {
    return record->dispatcher(record, opcode, index, value, ptr, opt);
  }

  RecordingHost host;
  FadecrestVST* effect;
  AEffect* record;
};

TEST_F(RecordFixture, RecordOfANewEffect) {
  EXPECT_EQ(record->magic, 0x56737450);
  EXPECT_EQ(record->numPrograms, 6);
  EXPECT_EQ(record->numParams, 2);
  EXPECT_EQ(record->numInputs, 2);
  EXPECT_EQ(record->numOutputs, 2);
  EXPECT_EQ(record->flags, effFlagsHasEditor | effFlagsCanReplacing | effFlagsCanDoubleReplacing);
  EXPECT_EQ(record->uniqueID, 0x66343038);
  EXPECT_EQ(record->version, 1);
  EXPECT_EQ(record->ioRatio, 1.0f);
  EXPECT_EQ(record->initialDelay, 0);
  EXPECT_EQ(record->realQualities, 0);
  EXPECT_EQ(record->offQualities, 0);
  EXPECT_EQ(record->resvd1, 0);
  EXPECT_EQ(record->resvd2, 0);
  EXPECT_EQ(record->user, nullptr);
  EXPECT_EQ(record->object, static_cast<void*>(effect));
  char zeros[56] = {};
  EXPECT_EQ(std::memcmp(record->future, zeros, sizeof(zeros)), 0);
  EXPECT_EQ(record->getParameter(record, 0), 1.0f);
  EXPECT_EQ(record->getParameter(record, 1), 1.0f);
  EXPECT_NE(effect->getEditor(), nullptr);
}

TEST_F(RecordFixture, EntriesReachTheEffect) {
  record->setParameter(record, 1, 0.25f);
  EXPECT_EQ(effect->getParameter(1), 0.25f);
  EXPECT_EQ(record->getParameter(record, 1), 0.25f);
  EXPECT_EQ(record->getParameter(record, 9), 0.0f);

  // The deprecated accumulating entry leaves the outputs alone.
  float in[4] = {1, 2, 3, 4}, out[4] = {7, 7, 7, 7};
  float* ins[2] = {in, in};
  float* outs[2] = {out, out};
  record->process(record, ins, outs, 4);
  EXPECT_EQ(out[0], 7.0f);
  EXPECT_EQ(out[3], 7.0f);

  record->processReplacing(record, ins, outs, 4);
  EXPECT_EQ(out[3], 4.0f);
  double din[2] = {1, 2}, dout[2] = {0, 0};
  double* dins[2] = {din, din};
  double* douts[2] = {dout, dout};
  record->processDoubleReplacing(record, dins, douts, 2);
  EXPECT_EQ(dout[1], 2.0);
}

TEST_F(RecordFixture, BaseOpcodes) {
  EXPECT_EQ(dispatch(effOpen), 0);
  EXPECT_EQ(dispatch(effGetProgram), 1);
  EXPECT_EQ(dispatch(effSetProgram, 0, 4), 0);
  EXPECT_EQ(dispatch(effGetProgram), 4);
  EXPECT_EQ(effect->getParameter(0), 0.25f);

  EXPECT_EQ(dispatch(effSetBlockSize, 0, 333), 0);
  EXPECT_EQ(effect->getBlockSize(), 333);
  EXPECT_EQ(dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f), 0);
  EXPECT_EQ(effect->getSampleRate(), 96000.0f);
  EXPECT_EQ(effect->fadeSampleCount(), 192000);  // two seconds at the new rate

  EXPECT_EQ(dispatch(effIdentify), 0x4e764566);
  void* chunk = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(dispatch(effGetChunk, 1, 0, &chunk), 0);
  EXPECT_EQ(dispatch(effSetChunk, 0, 16, chunk), 0);
  for (VstInt32 opcode : std::initializer_list<VstInt32>{effGetVu, effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep})
    EXPECT_EQ(dispatch(opcode, 1, 1, nullptr, 1.0f), 0) << "opcode " << opcode;
}

TEST_F(RecordFixture, SetProgramIgnoresIndicesOutsideTheBank) {
  effect->setParameter(0, 0.3f);
  for (VstIntPtr value : {VstIntPtr{6}, VstIntPtr{-1}, VstIntPtr{1} << 40}) {
    dispatch(effSetProgram, 0, value);
    EXPECT_EQ(dispatch(effGetProgram), 1);
    EXPECT_EQ(effect->getParameter(0), 0.3f);
  }
}

TEST_F(RecordFixture, MainsChangedTouchesNeitherStateNorHost) {
  float in[3] = {1, 1, 1}, out[3];
  float* ins[2] = {in, in};
  float* outs[2] = {out, out};
  dispatch(effSetSampleRate, 0, 0, nullptr, 1.0f);
  effect->setProgram(5);  // interval 1, fade 1
  record->processReplacing(record, ins, outs, 2);  // pass, then open
  host.calls.clear();
  dispatch(effMainsChanged, 0, 0);
  dispatch(effMainsChanged, 0, 1);
  EXPECT_TRUE(host.calls.empty());
  record->processReplacing(record, ins, outs, 1);
  EXPECT_EQ(out[0], 0.0f);  // still in the window: no reset
}

TEST_F(RecordFixture, ExtensionOpcodesAnswerWhatThisEffectOffers) {
  struct Row {
    VstInt32 opcode;
    VstIntPtr expected;
  } rows[] = {
      {effProcessEvents, 0},          {effCanBeAutomated, 1},        {effGetInputProperties, 0},
      {effGetOutputProperties, 0},    {effGetPlugCategory, 1},       {effOfflineNotify, 0},
      {effOfflinePrepare, 0},         {effOfflineRun, 0},            {effProcessVarIo, 0},
      {effSetSpeakerArrangement, 0},  {effSetBypass, 0},             {effGetVendorVersion, 1000},
      {effVendorSpecific, 0},         {effGetTailSize, 0},           {effGetParameterProperties, 0},
      {effGetVstVersion, 2400},       {effGetMidiProgramName, 0},    {effGetCurrentMidiProgram, -1},
      {effGetMidiProgramCategory, 0}, {effHasMidiProgramsChanged, 0}, {effGetMidiKeyName, 0},
      {effBeginSetProgram, 0},        {effEndSetProgram, 0},         {effStartProcess, 0},
      {effStopProcess, 0},            {effSetPanLaw, 0},             {effBeginLoadBank, 0},
      {effBeginLoadProgram, 0},       {effSetProcessPrecision, 0},   {effGetNumMidiInputChannels, 0},
      {effGetNumMidiOutputChannels, 0},
  };
  for (const Row& row : rows) EXPECT_EQ(dispatch(row.opcode, 1, 1, nullptr, 1.0f), row.expected) << row.opcode;
  EXPECT_EQ(dispatch(effSetTotalSampleToProcess, 0, 512), 512);
  char text[65] = "abc";
  EXPECT_EQ(dispatch(effString2Parameter, 0, 0, text), 0);
  EXPECT_EQ(dispatch(effShellGetNextPlugin, 0, 0, text), 0);
}

TEST_F(RecordFixture, DeprecatedUnknownAndNegativeOpcodesAnswerZero) {
  effect->setParameter(0, 0.6f);
  for (VstInt32 opcode : std::initializer_list<VstInt32>{effGetNumProgramCategories, effCopyProgram, effConnectInput, effConnectOutput,
                          effGetCurrentPosition, effGetDestinationBuffer, effSetBlockSizeAndSampleRate,
                          effGetErrorText, effIdle, effGetIcon, effSetViewPosition, effKeysRequired, 80, 1000, -1,
                          -100}) {
    char text[65] = {};
    EXPECT_EQ(dispatch(opcode, 1, 512, text, 48000.0f), 0) << "opcode " << opcode;
  }
  // effSetBlockSizeAndSampleRate has no row: nothing was stored.
  EXPECT_EQ(effect->getBlockSize(), 1024);
  EXPECT_EQ(effect->getSampleRate(), 44100.0f);
  EXPECT_EQ(effect->getParameter(0), 0.6f);
}

TEST_F(RecordFixture, GetSpeakerArrangementClearsBothPointers) {
  VstSpeakerArrangement dummy{};
  VstSpeakerArrangement* input = &dummy;
  VstSpeakerArrangement* output = &dummy;
  EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output), 0);
  EXPECT_EQ(input, nullptr);
  EXPECT_EQ(output, nullptr);
  // A host passing nothing at all is not written through.
  EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, 0, nullptr), 0);
}

// An effect with nothing but the base classes: no editor, as when the editor could not be made.
class BareEffect : public AudioEffectX {
 public:
  BareEffect() : AudioEffectX(nullptr, 1, 1) {}
  void processReplacing(float**, float**, VstInt32) override {}
};

TEST(EditorlessEffect, EditorOpcodesAnswerZero) {
  BareEffect effect;
  auto dispatch = [&](VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                      float opt = 0.0f) { return effect.dispatcher(opcode, index, value, ptr, opt); };
  EXPECT_EQ(effect.getAeffect()->flags & effFlagsHasEditor, 0);
  ERect* rect = reinterpret_cast<ERect*>(0x1234);
  EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 0);
  EXPECT_EQ(rect, reinterpret_cast<ERect*>(0x1234));
  int window = 0;
  EXPECT_EQ(dispatch(effEditOpen, 0, 0, &window), 0);
  EXPECT_EQ(dispatch(effEditClose), 0);
  EXPECT_EQ(dispatch(effEditIdle), 0);
  EXPECT_EQ(dispatch(effEditKeyDown, 'a', 1, nullptr, 1.0f), 0);
  EXPECT_EQ(dispatch(effEditKeyUp, 'a', 1, nullptr, 1.0f), 0);
  EXPECT_EQ(dispatch(effSetEditKnobMode, 0, 2), 0);
}

TEST_F(RecordFixture, TextRequestsWithoutABufferWriteNothing) {
  for (VstInt32 opcode : std::initializer_list<VstInt32>{effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName,
                          effGetProgramNameIndexed, effGetEffectName, effGetVendorString, effGetProductString,
                          effCanDo, effString2Parameter, effShellGetNextPlugin, effEditGetRect})
    EXPECT_EQ(dispatch(opcode, 0, 0, nullptr), 0) << "opcode " << opcode;
  char name[25];
  dispatch(effGetProgramName, 0, 0, name);
  EXPECT_STREQ(name, "Very Long track");
}

TEST(RecordClose, AnswersOneAndDestroysTheEffect) {
  // A sanitizer build reports the effect or its bank if close leaked them.
  auto* effect = new FadecrestVST(nullptr);
  AEffect* record = effect->getAeffect();
  EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
}

TEST(RecordIndependence, TwoEffectsKeepTheirOwnState) {
  FadecrestVST first(nullptr), second(nullptr);
  EXPECT_NE(first.getAeffect()->object, second.getAeffect()->object);
  first.getAeffect()->setParameter(first.getAeffect(), 0, 0.1f);
  EXPECT_EQ(second.getAeffect()->getParameter(second.getAeffect(), 0), 1.0f);
}

// An editor that records what the dispatcher hands it.
class ProbeEditor : public AEffEditor {
 public:
  using AEffEditor::AEffEditor;
  bool getRect(ERect** r) override {
    *r = &rect;
    return true;
  }
  bool open(void* window) override {
    AEffEditor::open(window);
    return true;
  }
  void idle() override { ++idles; }
  bool onKeyDown(VstKeyCode& key) override {
    lastKey = key;
    return true;
  }
  bool onKeyUp(VstKeyCode& key) override {
    lastKey = key;
    return false;
  }
  bool setKnobMode(VstInt32 mode) override {
    knobMode = mode;
    return true;
  }
  ERect rect{0, 0, 264, 328};
  int idles = 0;
  VstKeyCode lastKey{};
  VstInt32 knobMode = -1;
};

TEST(EditorOpcodes, ReachTheEditorWithTheirArgumentsAndBoolsAsOneOrZero) {
  BareEffect effect;
  auto* editor = new ProbeEditor(&effect);  // owned by the effect from here on
  effect.setEditor(editor);
  EXPECT_EQ(effect.getAeffect()->flags & effFlagsHasEditor, effFlagsHasEditor);

  ERect* rect = nullptr;
  EXPECT_EQ(effect.dispatcher(effEditGetRect, 0, 0, &rect, 0), 1);
  EXPECT_EQ(rect, &editor->rect);
  int window = 0;
  EXPECT_EQ(effect.dispatcher(effEditOpen, 0, 0, &window, 0), 1);
  EXPECT_TRUE(editor->isOpen());
  effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
  EXPECT_EQ(editor->idles, 1);

  EXPECT_EQ(effect.dispatcher(effEditKeyDown, 'q', 0x1234, nullptr, 3.9f), 1);
  EXPECT_EQ(editor->lastKey.character, 'q');
  EXPECT_EQ(editor->lastKey.virt, 0x34);
  EXPECT_EQ(editor->lastKey.modifier, 3);
  EXPECT_EQ(effect.dispatcher(effEditKeyUp, 'r', 2, nullptr, 0.0f), 0);
  EXPECT_EQ(editor->lastKey.character, 'r');
  // Modifiers are the low eight bits of the truncated float, for any float a host may send.
  struct {
    float opt;
    unsigned char modifier;
  } modifiers[] = {{-1.0f, 255}, {257.7f, 1}, {-3.9f, 253}, {1e20f, 0}, {std::nanf(""), 0},
                   {std::numeric_limits<float>::infinity(), 0}};
  for (const auto& m : modifiers) {
    effect.dispatcher(effEditKeyDown, 'k', 0, nullptr, m.opt);
    EXPECT_EQ(editor->lastKey.modifier, m.modifier) << m.opt;
  }

  EXPECT_EQ(effect.dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0), 1);
  EXPECT_EQ(editor->knobMode, 2);

  EXPECT_EQ(effect.dispatcher(effEditClose, 0, 0, nullptr, 0), 0);
  EXPECT_FALSE(editor->isOpen());
}

}  // namespace
