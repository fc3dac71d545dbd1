// Calls into the host: arguments, order, what the answers become, and the neutral answers without
// a host; and the value-to-text conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "effect/fadecrestvst.h"
#include "support/logging_editor.h"
#include "support/recording_host.h"

namespace {

// An effect whose host records every call and answers as the test says.
struct HostCalls : testing::Test {
  // A call of this effect as the host records it.
  HostCall call(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                float opt = 0) {
    return {effect.getAeffect(), opcode, index, value, ptr, opt};
  }
  RecordingHost host;
  FadecrestVST effect{RecordingHost::callback};
};

TEST_F(HostCalls, AutomationSetsTheValueBeforeTellingTheHost) {
  std::vector<LoggedCall> log;
  replaceEditor(effect, log);
  float seenByHost = -1.0f;
  VstInt32 intervalSeenByHost = -1;
  host.onCall = [&](const HostCall& call) {
    if (call.opcode == audioMasterAutomate) {
      log.push_back({"host", call.index, call.opt});
      seenByHost = effect.getParameter(0);
      intervalSeenByHost = effect.intervalSampleCount();
    }
  };
  effect.setParameterAutomated(0, 0.25f);
  EXPECT_EQ(log, (std::vector<LoggedCall>{{"editor", 0, 0.25f}, {"host", 0, 0.25f}}));
  EXPECT_EQ(host.calls, std::vector<HostCall>{call(audioMasterAutomate, 0, 0, nullptr, 0.25f)});
  EXPECT_EQ(seenByHost, 0.25f);
  EXPECT_EQ(intervalSeenByHost, 694575);  // 15.75 s at 44100 Hz
}

TEST_F(HostCalls, EditGesturesWindowRequestsAndCapabilities) {
  host.answer = 1;
  EXPECT_TRUE(effect.beginEdit(1));
  EXPECT_TRUE(effect.endEdit(1));
  EXPECT_TRUE(effect.sizeWindow(328, 264));
  effect.masterIdle();
  EXPECT_EQ(host.calls,
            (std::vector<HostCall>{call(audioMasterBeginEdit, 1), call(audioMasterEndEdit, 1),
                                   call(audioMasterSizeWindow, 328, 264), call(audioMasterIdle)}));

  host.answer = 0;
  EXPECT_FALSE(effect.beginEdit(0));
  EXPECT_FALSE(effect.sizeWindow(1, 1));

  // The capability query answers exactly 1 for any non-zero answer.
  char sizeWindow[] = "sizeWindow";
  for (VstIntPtr answer : {VstIntPtr{-1}, VstIntPtr{1}, VstIntPtr{7}}) {
    host.answer = answer;
    EXPECT_EQ(effect.canHostDo(sizeWindow), 1);
  }
  host.answer = 0;
  EXPECT_EQ(effect.canHostDo(sizeWindow), 0);
  EXPECT_EQ(host.calls.back(), call(audioMasterCanDo, 0, 0, sizeWindow));
}

TEST(NoHost, EveryCallAnswersNeutrally) {
  FadecrestVST effect(nullptr);
  effect.setParameterAutomated(1, 0.5f);
  EXPECT_EQ(effect.getParameter(1), 0.5f);
  EXPECT_EQ(effect.getMasterVersion(), 1);
  char text[65] = "keep";
  EXPECT_EQ(effect.canHostDo(text), 0);
  EXPECT_FALSE(effect.sizeWindow(328, 264));
  EXPECT_FALSE(effect.beginEdit(0));
  EXPECT_TRUE(effect.isInputConnected(0));
  EXPECT_TRUE(effect.isOutputConnected(1));
  EXPECT_EQ(effect.updateSampleRate(), 44100.0);
  EXPECT_EQ(effect.updateBlockSize(), 1024);
  EXPECT_FALSE(effect.getHostVendorString(text));
  EXPECT_STREQ(text, "keep");
  EXPECT_EQ(effect.getTimeInfo(0), nullptr);
  EXPECT_EQ(effect.offlineGetCurrentPass(), 0);
}

TEST_F(HostCalls, AnswersThatUpdateTheEffectsSettings) {
  host.answer = 48000;
  EXPECT_EQ(effect.updateSampleRate(), 48000.0);
  EXPECT_EQ(effect.getSampleRate(), 48000.0f);
  EXPECT_EQ(effect.updateBlockSize(), 48000);
  host.answer = -5;  // not a usable answer: keep what we had
  EXPECT_EQ(effect.updateSampleRate(), 48000.0);
  EXPECT_EQ(effect.updateBlockSize(), 48000);
  host.answer = 0;
  host.versionAnswer = 0;
  EXPECT_EQ(effect.getMasterVersion(), 1);
  EXPECT_TRUE(effect.isInputConnected(0));  // an answer of 0 means connected
  host.answer = 1;
  EXPECT_FALSE(effect.isOutputConnected(0));
  EXPECT_EQ(host.calls.back(), call(audioMasterPinConnected, 0, 1));  // value 1: an output
  EXPECT_EQ(effect.offlineGetCurrentMetaPass(), 1);
}

TEST_F(HostCalls, ArgumentsGoInTheirPlacesAndNullArgumentsAreNotPassedOn) {
  host.answer = 1;
  EXPECT_FALSE(effect.openFileSelector(nullptr));
  EXPECT_FALSE(effect.closeFileSelector(nullptr));
  EXPECT_FALSE(effect.getChunkFile(nullptr));
  EXPECT_TRUE(host.calls.empty());
  int path = 0;
  EXPECT_TRUE(effect.getChunkFile(&path));
  EXPECT_EQ(host.calls.back(), call(audioMasterGetChunkFile, 0, 0, &path));

  host.answer = 3;
  int task = 0;
  EXPECT_TRUE(effect.offlineRead(reinterpret_cast<VstOfflineTask*>(&task), 9, false));
  EXPECT_EQ(host.calls.back(), call(audioMasterOfflineRead, 0, 9, &task));
  EXPECT_TRUE(effect.offlineStart(reinterpret_cast<VstAudioFile*>(&task), 4, 2));
  EXPECT_EQ(host.calls.back(), call(audioMasterOfflineStart, 2, 4, &task));
  EXPECT_EQ(effect.hostVendorSpecific(5, 6, &task, 7.5f), 3);
  EXPECT_EQ(host.calls.back(), call(audioMasterVendorSpecific, 5, 6, &task, 7.5f));
  effect.setOutputSamplerate(22050.0f);
  EXPECT_EQ(host.calls.back(), call(audioMasterSetOutputSampleRate, 0, 0, nullptr, 22050.0f));
}

TEST(SpeakerArrangements, AllocateCopyAndRelease) {
  FadecrestVST effect(nullptr);
  VstSpeakerArrangement* source = nullptr;
  ASSERT_TRUE(effect.allocateArrangement(&source, 10));
  EXPECT_EQ(source->numChannels, 10);
  source->type = 42;
  auto* speakers = reinterpret_cast<VstSpeakerProperties*>(reinterpret_cast<char*>(source) +
                                                           kSpeakerArrangementHeaderSize);
  for (int i = 0; i < 10; ++i) {
    speakers[i].azimuth = static_cast<float>(i);
    speakers[i].type = i + 100;
    std::memset(speakers[i].name, 'n', sizeof(speakers[i].name));  // no terminator of its own
    speakers[i].future[27] = static_cast<char>(i);
  }

  VstSpeakerArrangement* copy = nullptr;
  ASSERT_TRUE(effect.matchArrangement(&copy, source));
  auto* copied =
      reinterpret_cast<VstSpeakerProperties*>(reinterpret_cast<char*>(copy) + kSpeakerArrangementHeaderSize);
  EXPECT_EQ(copy->type, 42);
  EXPECT_EQ(copy->numChannels, 10);
  EXPECT_EQ(copied[9].azimuth, 9.0f);
  EXPECT_EQ(copied[9].type, 109);
  EXPECT_EQ(copied[9].future[27], 9);
  EXPECT_EQ(std::strlen(copied[9].name), 63u);

  EXPECT_FALSE(effect.matchArrangement(&copy, nullptr));
  EXPECT_FALSE(effect.copySpeaker(nullptr, &speakers[0]));
  EXPECT_TRUE(effect.deallocateArrangement(&copy));
  EXPECT_EQ(copy, nullptr);
  EXPECT_TRUE(effect.deallocateArrangement(&source));
  ASSERT_TRUE(effect.allocateArrangement(&source, 0));  // no speakers is an arrangement too
  EXPECT_EQ(source->numChannels, 0);
  EXPECT_TRUE(effect.deallocateArrangement(&source));
}

// --- value-to-text conversions: fixed eight-character decimals with cut digits, and companions ---

struct Formatter : testing::Test {
  std::string text(void (AudioEffect::*convert)(float, char*, VstInt32), float value, VstInt32 maxLen = 8) {
    char buffer[32];
    std::memset(buffer, 'x', sizeof(buffer));
    (effect.*convert)(value, buffer, maxLen);
    EXPECT_EQ(buffer[maxLen], 0) << "terminator at the limit";
    return buffer;
  }
  std::string f2s(float value, VstInt32 maxLen = 8) {
    return text(&AudioEffect::float2string, value, maxLen);
  }
  std::string i2s(VstInt32 value) {
    char buffer[32];
    effect.int2string(value, buffer, 16);
    return buffer;
  }
  FadecrestVST effect{nullptr};
};

TEST_F(Formatter, FloatTextHasEightCharactersCutsDigitsAndIsHugeOutOfRange) {
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  // Out of range, and not a number, is "Huge!".
  const std::pair<float, const char*> cases[] = {
      {1.0f, "1.000000"},       {60.0f, "60.00000"},       {30.5f, "30.50000"},     {18.7f, "18.70000"},
      {2.9999998f, "2.999999"}, {-1.0f, "-1.00000"},       {0.0f, "0.000000"},      {1234567.0f, "1234567."},
      {45.25f, "45.25000"},     {-9999999.0f, "-999999."}, {100000000.0f, "Huge!"}, {-10000000.0f, "Huge!"},
      {kInfinity, "Huge!"},     {-kInfinity, "Huge!"},     {std::nanf(""), "Huge!"}};
  for (const auto& [value, shown] : cases) EXPECT_EQ(f2s(value), shown) << value;
  // A smaller limit cuts the text.
  EXPECT_EQ(f2s(30.5f, 4), "30.5");
  EXPECT_EQ(f2s(30.5f, 2), "30");
  EXPECT_EQ(f2s(100000000.0f, 3), "Hug");
}

TEST_F(Formatter, DecibelsHertzMillisecondsAndIntegers) {
  EXPECT_EQ(text(&AudioEffect::dB2string, 0.0f), "-oo");
  EXPECT_EQ(text(&AudioEffect::dB2string, -2.0f), "-oo");
  EXPECT_EQ(text(&AudioEffect::dB2string, 1.0f), "0.000000");
  EXPECT_EQ(text(&AudioEffect::Hz2string, 0.0f), "0.000000");
  EXPECT_EQ(text(&AudioEffect::Hz2string, 441.0f), "100.0000");
  EXPECT_EQ(text(&AudioEffect::ms2string, 44100.0f), "1000.000");
  for (VstInt32 value : {0, -42, 7, 1000, 99999999, -123456789}) EXPECT_EQ(i2s(value), std::to_string(value));
  EXPECT_EQ(i2s(100000000), "Huge!");
  EXPECT_EQ(i2s(std::numeric_limits<VstInt32>::min()), "Huge!");
}

}  // namespace
