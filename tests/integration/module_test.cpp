// The built module as a host sees it: only through its exported entry point and the record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <vector>

#include "plugin_module.h"
#include "support/fade_model.h"

namespace {

VstIntPtr VSTCALLBACK silentHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(module.entry(), nullptr) << FADECREST_MODULE_PATH << ": " << PluginModule::loadError();
  }
  PluginModule module;
};

TEST_F(ModuleTest, EntryNeedsAHostThatAnswersTheVersion) {
  EXPECT_EQ(module.entry()(silentHost), nullptr);
  Effect effect(module);
  EXPECT_NE(effect.get(), nullptr);
}

TEST_F(ModuleTest, RecordDescribesTheEffect) {
  Effect effect(module);
  ASSERT_NE(effect.get(), nullptr);
  EXPECT_EQ(effect->magic, 0x56737450);
  EXPECT_EQ(effect->numPrograms, 6);
  EXPECT_EQ(effect->numParams, 2);
  EXPECT_EQ(effect->numInputs, 2);
  EXPECT_EQ(effect->numOutputs, 2);
  EXPECT_EQ(effect->uniqueID, 0x66343038);
  EXPECT_EQ(effect->version, 1);
  EXPECT_EQ(effect->ioRatio, 1.0f);
  EXPECT_EQ(effect->initialDelay, 0);
  EXPECT_EQ(effect->user, nullptr);
  EXPECT_TRUE(
      std::all_of(std::begin(effect->future), std::end(effect->future), [](char c) { return c == 0; }));
  EXPECT_NE(effect->dispatcher, nullptr);
  EXPECT_NE(effect->setParameter, nullptr);
  EXPECT_NE(effect->getParameter, nullptr);
  EXPECT_NE(effect->processReplacing, nullptr);
  EXPECT_NE(effect->processDoubleReplacing, nullptr);

  // An editor, and replacing in both precisions.
  EXPECT_EQ(effect->flags, 0x1011);
  ERect* rect = nullptr;
  EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 264);
  EXPECT_EQ(rect->right, 328);
  EXPECT_EQ(effect.dispatch(effGetPlugCategory), kPlugCategEffect);
}

TEST_F(ModuleTest, EachEntryCallMakesAnIndependentEffect) {
  auto first = std::make_unique<Effect>(module);
  Effect second(module);
  ASSERT_NE(first->get(), nullptr);
  ASSERT_NE(second.get(), nullptr);
  EXPECT_NE(first->get(), second.get());
  EXPECT_NE((*first)->object, second->object);

  (*first)->setParameter(first->get(), 0, 0.3f);
  first->dispatch(effSetProgram, 0, 4);
  EXPECT_EQ((*first)->getParameter(first->get(), 1), 0.25f);
  EXPECT_EQ(second.dispatch(effGetProgram), 1);
  EXPECT_EQ(second->getParameter(second.get(), 0), 1.0f);
  EXPECT_EQ(second->getParameter(second.get(), 1), 1.0f);

  first.reset();  // closing one must leave the other whole
  second->setParameter(second.get(), 1, 0.5f);
  EXPECT_EQ(second->getParameter(second.get(), 1), 0.5f);
  EXPECT_EQ(second.text(effGetProgramNameIndexed, 5), "Shortest");
}

TEST_F(ModuleTest, NamesProgramsAndParameterTexts) {
  Effect effect(module);
  ASSERT_NE(effect.get(), nullptr);
  EXPECT_EQ(effect.text(effGetEffectName), "Fadecrest");
  EXPECT_EQ(effect.text(effGetVendorString), "Corvenna");
  EXPECT_EQ(effect.text(effGetProductString), "Fadecrest");
  EXPECT_EQ(effect.text(effGetParamName, 0), "Interval");
  EXPECT_EQ(effect.text(effGetParamName, 1), "Duration");

  const char* names[] = {"Init", "Very Long track", "Long track", "Medium track", "Short track", "Shortest"};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(effect.text(effGetProgramNameIndexed, i), names[i]) << "program " << i;

  // Shown in seconds: interval*59+1 and duration*4+1.
  EXPECT_EQ(effect.dispatch(effGetProgram), 1);
  EXPECT_EQ(effect.text(effGetParamDisplay, 0), "60.00000");
  EXPECT_EQ(effect.text(effGetParamDisplay, 1), "5.000000");
  effect.dispatch(effSetProgram, 0, 3);
  EXPECT_EQ(effect.text(effGetProgramName), "Medium track");
  EXPECT_EQ(effect.text(effGetParamDisplay, 0), "30.50000");
  EXPECT_EQ(effect.text(effGetParamDisplay, 1), "3.000000");
  effect->setParameter(effect.get(), 0, 0.0f);
  EXPECT_EQ(effect.text(effGetParamDisplay, 0), "1.000000");
}

// Every name the module exports, with the address it stands for.
std::map<std::string, std::string> exportedNames(const PluginModule& module) {
  std::map<std::string, std::string> exported;
#if defined(_WIN32)
  // The export directory of the loaded image.
  const auto* base = reinterpret_cast<const unsigned char*>(module.handle());
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (entry.Size == 0) return exported;
  const auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  const auto* names = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
  const auto* ordinals = reinterpret_cast<const WORD*>(base + directory->AddressOfNameOrdinals);
  const auto* functions = reinterpret_cast<const DWORD*>(base + directory->AddressOfFunctions);
  for (DWORD i = 0; i < directory->NumberOfNames; ++i)
    exported[reinterpret_cast<const char*>(base + names[i])] = std::to_string(functions[ordinals[i]]);
#else
  std::FILE* pipe = popen("nm -D --defined-only '" FADECREST_MODULE_PATH "'", "r");
  EXPECT_NE(pipe, nullptr);
  if (!pipe) return exported;
  std::string listing;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) listing += buffer;
  EXPECT_EQ(pclose(pipe), 0) << listing;
  // "address type name"; absolute symbols are version nodes, not code or data.
  std::istringstream lines(listing);
  for (std::string address, type, name; lines >> address >> type >> name;)
    if (type != "A") exported[name] = address;
#endif
  (void)module;
  return exported;
}

TEST_F(ModuleTest, ExportsOnlyTheEntryPointUnderItsTwoNames) {
  std::map<std::string, std::string> exported = exportedNames(module);
  EXPECT_EQ(exported.size(), 2u);
  ASSERT_TRUE(exported.contains("VSTPluginMain"));
  ASSERT_TRUE(exported.contains("main"));
  EXPECT_EQ(exported["VSTPluginMain"], exported["main"]);
  EXPECT_EQ(module.symbol("main"), module.symbol("VSTPluginMain"));
}

// Runs the effect at "Shortest" over blocks of awkward sizes, every other one in place, and
// compares each output sample with the fade rule.
template <typename Sample>
void expectFadeRuleThroughRecord(const PluginModule& module) {
  constexpr double kRate = 1000.0;  // one-second windows stay short
  Effect effect(module);
  ASSERT_NE(effect.get(), nullptr);
  effect.dispatch(effOpen);
  effect.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
  effect.dispatch(effSetBlockSize, 0, 1024);
  effect.dispatch(effSetProgram, 0, 5);
  effect.dispatch(effMainsChanged, 0, 1);

  FadeModel model(0.0f, 0.0f, kRate);
  const int sizes[] = {1, 7, 333, 2, 999, 45, 1001, 13, 1024, 3, 500, 777};
  int64_t frame = 0;
  int mismatches = 0;
  for (size_t b = 0; b < std::size(sizes); ++b) {
    const int n = sizes[b];
    const bool inPlace = b % 2 == 1;
    std::vector<Sample> left(n), right(n), outLeft(n), outRight(n);
    for (int i = 0; i < n; ++i) {
      left[i] = static_cast<Sample>(0.5 + 0.25 * std::sin(0.01 * static_cast<double>(frame + i)));
      right[i] = static_cast<Sample>(-0.75 + 1e-4 * static_cast<double>((frame + i) % 997));
    }
    std::vector<Sample> expectedLeft(n), expectedRight(n);
    for (int i = 0; i < n; ++i) {
      FadeModel::Step step = model.next();
      expectedLeft[i] = FadeModel::apply(step, left[i]);
      expectedRight[i] = FadeModel::apply(step, right[i]);
    }
    Sample* in[] = {left.data(), right.data()};
    Sample* out[] = {outLeft.data(), outRight.data()};
    Sample** outputs = inPlace ? in : out;
    if constexpr (sizeof(Sample) == sizeof(float))
      effect->processReplacing(effect.get(), in, outputs, n);
    else
      effect->processDoubleReplacing(effect.get(), in, outputs, n);
    for (int i = 0; i < n && mismatches < 5; ++i) {
      if (outputs[0][i] != expectedLeft[i] || outputs[1][i] != expectedRight[i]) {
        ++mismatches;
        ADD_FAILURE() << "frame " << frame + i << (inPlace ? " (in place)" : "") << ": got " << outputs[0][i]
                      << ", " << outputs[1][i] << " expected " << expectedLeft[i] << ", " << expectedRight[i];
      }
    }
    frame += n;
  }
  EXPECT_GT(frame, 2 * model.cycleLength());  // two full windows were crossed
  effect.dispatch(effMainsChanged, 0, 0);
}

TEST_F(ModuleTest, SinglePrecisionFollowsTheFadeRule) { expectFadeRuleThroughRecord<float>(module); }
TEST_F(ModuleTest, DoublePrecisionFollowsTheFadeRule) { expectFadeRuleThroughRecord<double>(module); }

}  // namespace
