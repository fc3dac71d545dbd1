// Calls into the host: arguments, order, what the answers become, and the neutral answers without
// a host.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "effect/fadecrestvst.h"
#include "support/logging_editor.h"
#include "support/recording_host.h"

namespace {

// An effect whose host records every call and answers as the test says.
struct HostCalls : testing::Test {
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
  auto automate = host.callsWith(audioMasterAutomate);
  ASSERT_EQ(automate.size(), 1u);
  EXPECT_EQ(automate[0].effect, effect.getAeffect());
  EXPECT_EQ(automate[0].index, 0);
  EXPECT_EQ(automate[0].value, 0);
  EXPECT_EQ(automate[0].ptr, nullptr);
  EXPECT_EQ(automate[0].opt, 0.25f);
  EXPECT_EQ(seenByHost, 0.25f);
  EXPECT_EQ(intervalSeenByHost, 694575);  // 15.75 s at 44100 Hz
}

TEST_F(HostCalls, EditGesturesWindowRequestsAndCapabilities) {
  host.answer = 1;
  EXPECT_TRUE(effect.beginEdit(1));
  EXPECT_TRUE(effect.endEdit(1));
  EXPECT_TRUE(effect.sizeWindow(328, 264));
  effect.masterIdle();
  ASSERT_EQ(host.calls.size(), 4u);
  EXPECT_EQ(host.calls[0].opcode, audioMasterBeginEdit);
  EXPECT_EQ(host.calls[0].index, 1);
  EXPECT_EQ(host.calls[1].opcode, audioMasterEndEdit);
  EXPECT_EQ(host.calls[2].opcode, audioMasterSizeWindow);
  EXPECT_EQ(host.calls[2].index, 328);
  EXPECT_EQ(host.calls[2].value, 264);
  EXPECT_EQ(host.calls[3].opcode, audioMasterIdle);

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
  EXPECT_EQ(host.calls.back().opcode, audioMasterCanDo);
  EXPECT_EQ(host.calls.back().ptr, sizeWindow);
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
  EXPECT_EQ(host.calls.back().value, 1);  // an output
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
  EXPECT_EQ(host.calls.back().opcode, audioMasterGetChunkFile);

  host.answer = 3;
  int task = 0;
  EXPECT_TRUE(effect.offlineRead(reinterpret_cast<VstOfflineTask*>(&task), 9, false));
  EXPECT_EQ(host.calls.back().index, 0);
  EXPECT_EQ(host.calls.back().value, 9);
  EXPECT_EQ(host.calls.back().ptr, &task);
  EXPECT_TRUE(effect.offlineStart(reinterpret_cast<VstAudioFile*>(&task), 4, 2));
  EXPECT_EQ(host.calls.back().index, 2);
  EXPECT_EQ(host.calls.back().value, 4);
  EXPECT_EQ(effect.hostVendorSpecific(5, 6, &task, 7.5f), 3);
  EXPECT_EQ(host.calls.back().opcode, audioMasterVendorSpecific);
  EXPECT_EQ(host.calls.back().index, 5);
  EXPECT_EQ(host.calls.back().value, 6);
  EXPECT_EQ(host.calls.back().opt, 7.5f);
  effect.setOutputSamplerate(22050.0f);
  EXPECT_EQ(host.calls.back().opt, 22050.0f);
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
}

}  // namespace
