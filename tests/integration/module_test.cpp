// The built module as a host sees it: only through its exported entry point and the record.
#include <gtest/gtest.h>

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

// The entry makes an effect only for a host that answers the version, a new one at each call: the
// record of this plug-in, whose state is its own (the record's fields and every request are the
// dispatcher's tests; here the built module answers them).
TEST_F(ModuleTest, EachEntryCallMakesAnIndependentEffectForAHostThatAnswersTheVersion) {
  EXPECT_EQ(module.entry()(silentHost), nullptr);
  auto first = std::make_unique<Effect>(module);
  Effect second(module);
  ASSERT_NE(first->get(), nullptr);
  ASSERT_NE(second.get(), nullptr);
  EXPECT_NE(first->get(), second.get());
  EXPECT_EQ(second->magic, 0x56737450);
  EXPECT_EQ(second->uniqueID, 0x66343038);
  EXPECT_EQ(second.text(effGetEffectName), "Fadecrest");

  (*first)->setParameter(first->get(), 0, 0.3f);
  first->dispatch(effSetProgram, 0, 4);
  EXPECT_EQ((*first)->getParameter(first->get(), 1), 0.25f);
  EXPECT_EQ(first->text(effGetParamDisplay, 0), "15.75000");
  EXPECT_EQ(second.dispatch(effGetProgram), 1);
  EXPECT_EQ(second->getParameter(second.get(), 0), 1.0f);
  EXPECT_EQ(second->getParameter(second.get(), 1), 1.0f);

  first.reset();  // closing one must leave the other whole
  second->setParameter(second.get(), 1, 0.5f);
  EXPECT_EQ(second->getParameter(second.get(), 1), 0.5f);
  EXPECT_EQ(second.text(effGetProgramNameIndexed, 5), "Shortest");
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
