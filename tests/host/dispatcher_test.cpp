// The effect record and the two-level dispatcher: every opcode's mapping and answer, driven through
// the record as a host drives it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

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

TEST_F(RecordFixture, RecordOfANewEffectAndOfASecondOne) {
  // Magic, programs, parameters, inputs, outputs, identifier, version, I/O ratio.
  EXPECT_EQ(std::tuple(record->magic, record->numPrograms, record->numParams, record->numInputs,
                       record->numOutputs, record->uniqueID, record->version, record->ioRatio),
            std::tuple(0x56737450, 6, 2, 2, 2, 0x66343038, 1, 1.0f));
  EXPECT_EQ(record->flags, effFlagsHasEditor | effFlagsCanReplacing | effFlagsCanDoubleReplacing);
  EXPECT_EQ(std::tuple(record->initialDelay, record->realQualities, record->offQualities, record->resvd1,
                       record->resvd2, record->user),
            std::tuple(0, 0, 0, VstIntPtr{0}, VstIntPtr{0}, nullptr));
  EXPECT_EQ(record->object, static_cast<void*>(effect));
  char zeros[56] = {};
  EXPECT_EQ(std::memcmp(record->future, zeros, sizeof(zeros)), 0);
  EXPECT_EQ(record->getParameter(record, 0), 1.0f);
  EXPECT_EQ(record->getParameter(record, 1), 1.0f);
  EXPECT_NE(effect->getEditor(), nullptr);

  // A second effect has a record and a state of its own.
  FadecrestVST second(nullptr);
  EXPECT_NE(second.getAeffect()->object, record->object);
  second.getAeffect()->setParameter(second.getAeffect(), 0, 0.1f);
  EXPECT_EQ(record->getParameter(record, 0), 1.0f);
}

TEST_F(RecordFixture, EntriesReachTheEffect) {
  record->setParameter(record, 1, 0.25f);
  EXPECT_EQ(effect->getParameter(1), 0.25f);
  EXPECT_EQ(record->getParameter(record, 1), 0.25f);
  EXPECT_EQ(record->getParameter(record, 9), 0.0f);

  // The deprecated accumulating entry leaves the outputs alone.
  float left[4] = {1, 2, 3, 4}, right[4] = {5, 6, 7, 8}, outLeft[4] = {9, 9, 9, 9},
        outRight[4] = {9, 9, 9, 9};
  float* ins[2] = {left, right};
  float* outs[2] = {outLeft, outRight};
  record->process(record, ins, outs, 4);
  EXPECT_EQ(outLeft[0], 9.0f);
  EXPECT_EQ(outRight[3], 9.0f);

  // The two replacing entries pass each channel to its own output, here in the passing phase.
  record->processReplacing(record, ins, outs, 4);
  EXPECT_EQ(std::vector<float>(outLeft, outLeft + 4), std::vector<float>(left, left + 4));
  EXPECT_EQ(std::vector<float>(outRight, outRight + 4), std::vector<float>(right, right + 4));
  double doubleLeft[2] = {1, 2}, doubleRight[2] = {3, 4}, doubleOutLeft[2] = {0, 0},
         doubleOutRight[2] = {0, 0};
  double* dins[2] = {doubleLeft, doubleRight};
  double* douts[2] = {doubleOutLeft, doubleOutRight};
  record->processDoubleReplacing(record, dins, douts, 2);
  EXPECT_EQ(doubleOutLeft[1], 2.0);
  EXPECT_EQ(doubleOutRight[0], 3.0);
  EXPECT_EQ(doubleOutRight[1], 4.0);
}

TEST_F(RecordFixture, BaseOpcodesAndProgramIndicesOutsideTheBank) {
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
  for (VstInt32 opcode : std::initializer_list<VstInt32>{effGetVu, effEditDraw, effEditMouse, effEditKey,
                                                         effEditTop, effEditSleep})
    EXPECT_EQ(dispatch(opcode, 1, 1, nullptr, 1.0f), 0) << "opcode " << opcode;

  // Program indices outside the bank are ignored: 2^40 too where the value is 64 bits wide (its low
  // 32 bits alone name program 0).
  effect->setParameter(0, 0.3f);
  for (VstIntPtr value : {VstIntPtr{6}, VstIntPtr{-1}, VstIntPtr{1} << (sizeof(VstIntPtr) * 4 + 8)}) {
    dispatch(effSetProgram, 0, value);
    EXPECT_EQ(dispatch(effGetProgram), 4);
    EXPECT_EQ(effect->getParameter(0), 0.3f);
  }
}

TEST_F(RecordFixture, MainsChangedTouchesNeitherStateNorHost) {
  float in[3] = {1, 1, 1}, out[3];
  float* ins[2] = {in, in};
  float* outs[2] = {out, out};
  dispatch(effSetSampleRate, 0, 0, nullptr, 1.0f);
  effect->setProgram(5);                           // interval 1, fade 1
  record->processReplacing(record, ins, outs, 2);  // pass, then open
  host.calls.clear();
  dispatch(effMainsChanged, 0, 0);
  dispatch(effMainsChanged, 0, 1);
  EXPECT_TRUE(host.calls.empty());
  record->processReplacing(record, ins, outs, 1);
  EXPECT_EQ(out[0], 0.0f);  // still in the window: no reset
}

TEST_F(RecordFixture, DeprecatedUnknownAndNegativeOpcodesAnswerZero) {
  effect->setParameter(0, 0.6f);
  for (VstInt32 opcode : std::initializer_list<VstInt32>{
           effGetNumProgramCategories, effCopyProgram, effConnectInput, effConnectOutput,
           effGetCurrentPosition, effGetDestinationBuffer, effSetBlockSizeAndSampleRate, effGetErrorText,
           effIdle, effGetIcon, effSetViewPosition, effKeysRequired, 80, 1000, -1, -100}) {
    char text[65] = {};
    EXPECT_EQ(dispatch(opcode, 1, 512, text, 48000.0f), 0) << "opcode " << opcode;
  }
  // effSetBlockSizeAndSampleRate has no row: nothing was stored.
  EXPECT_EQ(effect->getBlockSize(), 1024);
  EXPECT_EQ(effect->getSampleRate(), 44100.0f);
  EXPECT_EQ(effect->getParameter(0), 0.6f);
}

// An effect with nothing but the base classes: no editor, as when the editor could not be made.
class BareEffect : public AudioEffectX {
 public:
  BareEffect() : AudioEffectX(nullptr, 1, 1) {}
  void processReplacing(float**, float**, VstInt32) override {}
};

// Records which operation each extension opcode reached and with which arguments, so that two
// opcodes wired to each other's operation show even where both answer the same.
class WiringProbe : public BareEffect {
 public:
  std::vector<std::string> calls;
  int marker = 0;  // the ptr the test passes

  template <typename... Args>
  void note(const char* name, Args... args) {
    std::ostringstream text;
    text << name;
    ((text << ' ' << args), ...);
    calls.push_back(text.str());
  }
  const char* at(const void* p) const { return p == &marker ? "ptr" : "other"; }

  VstInt32 processEvents(VstEvents* e) override { return note(__func__, at(e)), 0; }
  bool canParameterBeAutomated(VstInt32 i) override { return note(__func__, i), true; }
  bool string2parameter(VstInt32 i, char* t) override { return note(__func__, i, at(t)), false; }
  bool getInputProperties(VstInt32 i, VstPinProperties* p) override {
    return note(__func__, i, at(p)), false;
  }
  bool getOutputProperties(VstInt32 i, VstPinProperties* p) override {
    return note(__func__, i, at(p)), false;
  }
  bool offlineNotify(VstAudioFile* f, VstInt32 n, bool start) override {
    return note(__func__, at(f), n, start), false;
  }
  bool offlinePrepare(VstOfflineTask* t, VstInt32 n) override { return note(__func__, at(t), n), false; }
  bool offlineRun(VstOfflineTask* t, VstInt32 n) override { return note(__func__, at(t), n), false; }
  bool processVariableIo(VstVariableIo* v) override { return note(__func__, at(v)), false; }
  bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override {
    return note(__func__, reinterpret_cast<VstIntPtr>(in), at(out)), false;
  }
  bool setBypass(bool on) override { return note(__func__, on), false; }
  VstIntPtr vendorSpecific(VstInt32 i, VstIntPtr v, void* p, float f) override {
    return note(__func__, i, v, at(p), f), 0;
  }
  VstInt32 getGetTailSize() override { return note(__func__), 0; }
  bool getParameterProperties(VstInt32 i, VstParameterProperties* p) override {
    return note(__func__, i, at(p)), false;
  }
  VstInt32 getMidiProgramName(VstInt32 c, MidiProgramName* n) override { return note(__func__, c, at(n)), 0; }
  VstInt32 getCurrentMidiProgram(VstInt32 c, MidiProgramName* n) override {
    return note(__func__, c, at(n)), -1;
  }
  VstInt32 getMidiProgramCategory(VstInt32 c, MidiProgramCategory* k) override {
    return note(__func__, c, at(k)), 0;
  }
  bool hasMidiProgramsChanged(VstInt32 c) override { return note(__func__, c), false; }
  bool getMidiKeyName(VstInt32 c, MidiKeyName* k) override { return note(__func__, c, at(k)), false; }
  bool beginSetProgram() override { return note(__func__), false; }
  bool endSetProgram() override { return note(__func__), false; }
  bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override {
    return note(__func__, reinterpret_cast<VstIntPtr>(in), at(out)), false;
  }
  VstInt32 getNextShellPlugin(char* n) override { return note(__func__, at(n)), 0; }
  VstInt32 startProcess() override { return note(__func__), 0; }
  VstInt32 stopProcess() override { return note(__func__), 0; }
  VstInt32 setTotalSampleToProcess(VstInt32 v) override { return note(__func__, v), v; }
  bool setPanLaw(VstInt32 type, float v) override { return note(__func__, type, v), false; }
  VstInt32 beginLoadBank(VstPatchChunkInfo* p) override { return note(__func__, at(p)), 0; }
  VstInt32 beginLoadProgram(VstPatchChunkInfo* p) override { return note(__func__, at(p)), 0; }
  bool setProcessPrecision(VstInt32 v) override { return note(__func__, v), false; }
  VstInt32 getNumMidiInputChannels() override { return note(__func__), 0; }
  VstInt32 getNumMidiOutputChannels() override { return note(__func__), 0; }
};

// Each extension opcode reaches its own operation with its arguments in their places (seen on the
// probe), and the effect answers what it offers, bools as 1 or 0. Operations the probe leaves to
// the effect record nothing.
TEST_F(RecordFixture, ExtensionOpcodesReachTheirOwnOperationsAndAnswerWhatThisEffectOffers) {
  struct Row {
    VstInt32 opcode;
    const char* call;
    VstIntPtr answer;
  } rows[] = {
      {effProcessEvents, "processEvents ptr", 0},
      {effCanBeAutomated, "canParameterBeAutomated 3", 1},
      {effString2Parameter, "string2parameter 3 ptr", 0},
      {effGetInputProperties, "getInputProperties 3 ptr", 0},
      {effGetOutputProperties, "getOutputProperties 3 ptr", 0},
      {effGetPlugCategory, nullptr, 1},
      {effOfflineNotify, "offlineNotify ptr 5 1", 0},
      {effOfflinePrepare, "offlinePrepare ptr 5", 0},
      {effOfflineRun, "offlineRun ptr 5", 0},
      {effProcessVarIo, "processVariableIo ptr", 0},
      {effSetSpeakerArrangement, "setSpeakerArrangement 5 ptr", 0},
      {effSetBypass, "setBypass 1", 0},
      {effGetVendorVersion, nullptr, 1000},
      {effVendorSpecific, "vendorSpecific 3 5 ptr 0.5", 0},
      {effGetTailSize, "getGetTailSize", 0},
      {effGetParameterProperties, "getParameterProperties 3 ptr", 0},
      {effGetVstVersion, nullptr, 2400},
      {effGetMidiProgramName, "getMidiProgramName 3 ptr", 0},
      {effGetCurrentMidiProgram, "getCurrentMidiProgram 3 ptr", -1},
      {effGetMidiProgramCategory, "getMidiProgramCategory 3 ptr", 0},
      {effHasMidiProgramsChanged, "hasMidiProgramsChanged 3", 0},
      {effGetMidiKeyName, "getMidiKeyName 3 ptr", 0},
      {effBeginSetProgram, "beginSetProgram", 0},
      {effEndSetProgram, "endSetProgram", 0},
      {effGetSpeakerArrangement, "getSpeakerArrangement 5 ptr", 0},
      {effShellGetNextPlugin, "getNextShellPlugin ptr", 0},
      {effStartProcess, "startProcess", 0},
      {effStopProcess, "stopProcess", 0},
      {effSetTotalSampleToProcess, "setTotalSampleToProcess 5", 0},
      {effSetPanLaw, "setPanLaw 5 0.5", 0},
      {effBeginLoadBank, "beginLoadBank ptr", 0},
      {effBeginLoadProgram, "beginLoadProgram ptr", 0},
      {effSetProcessPrecision, "setProcessPrecision 5", 0},
      {effGetNumMidiInputChannels, "getNumMidiInputChannels", 0},
      {effGetNumMidiOutputChannels, "getNumMidiOutputChannels", 0},
  };
  WiringProbe probe;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.opcode);
    probe.calls.clear();
    probe.dispatcher(row.opcode, 3, 5, &probe.marker, 0.5f);
    EXPECT_EQ(probe.calls, row.call ? std::vector<std::string>{row.call} : std::vector<std::string>{});
    char text[65] = "abc";  // value 0: no arrangement pointer to write through
    EXPECT_EQ(dispatch(row.opcode, 1, 0, text, 1.0f), row.answer);
  }
  EXPECT_EQ(dispatch(effSetTotalSampleToProcess, 0, 512), 512);

  // Both arrangement pointers are cleared; a host passing nothing at all is not written through.
  VstSpeakerArrangement dummy{};
  VstSpeakerArrangement* input = &dummy;
  VstSpeakerArrangement* output = &dummy;
  EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output), 0);
  EXPECT_EQ(input, nullptr);
  EXPECT_EQ(output, nullptr);
  EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, 0, nullptr), 0);
}

TEST_F(RecordFixture, TextRequestsWithoutABufferWriteNothing) {
  for (VstInt32 opcode : std::initializer_list<VstInt32>{
           effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName,
           effGetProgramNameIndexed, effGetEffectName, effGetVendorString, effGetProductString, effCanDo,
           effString2Parameter, effShellGetNextPlugin, effEditGetRect})
    EXPECT_EQ(dispatch(opcode, 0, 0, nullptr), 0) << "opcode " << opcode;
  char name[25];
  dispatch(effGetProgramName, 0, 0, name);
  EXPECT_STREQ(name, "Very Long track");
}

// An effect and an editor that say when they are destroyed; the effect's own dispatcher answers
// effClose with something other than 1.
class ClosingEffect : public FadecrestVST {
 public:
  ClosingEffect(bool& destroyed, int& closes) : FadecrestVST(nullptr), destroyed(destroyed), closes(closes) {}
  ~ClosingEffect() override { destroyed = true; }
  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override {
    if (opcode == effClose) return ++closes, 7;
    return FadecrestVST::dispatcher(opcode, index, value, ptr, opt);
  }
  bool& destroyed;
  int& closes;
};

class ClosingEditor : public AEffEditor {
 public:
  ClosingEditor(AudioEffect* effect, bool& destroyed) : AEffEditor(effect), destroyed(destroyed) {}
  ~ClosingEditor() override { destroyed = true; }
  bool& destroyed;
};

TEST(RecordClose, AnswersOneAndDestroysTheEffectAndItsEditor) {
  bool effectDestroyed = false, editorDestroyed = false;
  int closes = 0;
  auto* effect = new ClosingEffect(effectDestroyed, closes);
  delete effect->getEditor();
  effect->setEditor(new ClosingEditor(effect, editorDestroyed));
  AEffect* record = effect->getAeffect();
  EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(effectDestroyed);
  EXPECT_TRUE(editorDestroyed);
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

// Without an editor (as when it could not be made) every editor opcode answers 0 and writes
// nothing; with one, each reaches it with its arguments and its bool answer as 1 or 0.
TEST(EditorOpcodes, AnswerZeroWithoutAnEditorAndReachItWithTheirArguments) {
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

  auto* editor = new ProbeEditor(&effect);  // owned by the effect from here on
  effect.setEditor(editor);
  EXPECT_EQ(effect.getAeffect()->flags & effFlagsHasEditor, effFlagsHasEditor);
  EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect, &editor->rect);
  EXPECT_EQ(dispatch(effEditOpen, 0, 0, &window), 1);
  EXPECT_TRUE(editor->isOpen());
  dispatch(effEditIdle);
  EXPECT_EQ(editor->idles, 1);

  EXPECT_EQ(dispatch(effEditKeyDown, 'q', 0x1234, nullptr, 3.9f), 1);
  EXPECT_EQ(editor->lastKey.character, 'q');
  EXPECT_EQ(editor->lastKey.virt, 0x34);
  EXPECT_EQ(editor->lastKey.modifier, 3);
  EXPECT_EQ(dispatch(effEditKeyUp, 'r', 2, nullptr, 0.0f), 0);
  EXPECT_EQ(editor->lastKey.character, 'r');
  // Modifiers are the low eight bits of the truncated float, for any float a host may send.
  struct {
    float opt;
    unsigned char modifier;
  } modifiers[] = {{-1.0f, 255}, {257.7f, 1},        {-3.9f, 253},
                   {1e20f, 0},   {std::nanf(""), 0}, {std::numeric_limits<float>::infinity(), 0}};
  for (const auto& m : modifiers) {
    dispatch(effEditKeyDown, 'k', 0, nullptr, m.opt);
    EXPECT_EQ(editor->lastKey.modifier, m.modifier) << m.opt;
  }

  EXPECT_EQ(dispatch(effSetEditKnobMode, 0, 2), 1);
  EXPECT_EQ(editor->knobMode, 2);
  EXPECT_EQ(dispatch(effEditClose), 0);
  EXPECT_FALSE(editor->isOpen());
}

}  // namespace
