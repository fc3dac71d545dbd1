// Running out of memory: the entry point answers null, the editor's open answers false, nothing
// built on the way is kept (a sanitizer build reports any leak), and the editor stays closed and
// inert.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "../support/recording_host.h"
#include "editor/fadecrestvsteditor.h"
#include "effect/fadecrestvst.h"
#include "platform/headless/window.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace {
// Allocations left before the next one fails; negative: never fail.
long allocationsBeforeFailure = -1;
}  // namespace

void* operator new(std::size_t size) {
  if (allocationsBeforeFailure == 0) throw std::bad_alloc();
  if (allocationsBeforeFailure > 0) --allocationsBeforeFailure;
  if (void* memory = std::malloc(size ? size : 1)) return memory;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

// A host that notes its first call without allocating anything.
int hostCalls = 0;
HostCall firstCall{};

VstIntPtr VSTCALLBACK notingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt) {
  if (hostCalls++ == 0) firstCall = {effect, opcode, index, value, ptr, opt};
  return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(EntryOutOfMemory, AsksForTheHostsVersionFirstAndAnswersNullWithoutMemoryForTheEffect) {
  int failures = 0;
  for (long allowed = 0;; ++allowed) {
    hostCalls = 0;
    firstCall = {};
    allocationsBeforeFailure = allowed;
    AEffect* record = VSTPluginMain(notingHost);
    allocationsBeforeFailure = -1;
    ASSERT_GE(hostCalls, 1);
    EXPECT_EQ(firstCall, (HostCall{nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f}));
    if (record) {
      record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
      break;
    }
    ++failures;
    ASSERT_LT(allowed, 100) << "the entry never made an effect";
  }
  EXPECT_EQ(failures, 2) << "the effect object and its program bank; without an editor it is still made";
}

TEST(EditorOutOfMemory, EveryFailedAllocationWhileOpeningLeavesTheEditorClosed) {
  platform::headless::resetWindowSystem();
  FadecrestVST effect(nullptr);
  auto* editor = static_cast<FadecrestVSTEditor*>(effect.getEditor());
  ASSERT_NE(editor, nullptr);
  platform::headless::Window host({0, 0, 328, 264});

  // Fail the first allocation of open, then the second, and so on, until open gets through.
  int failures = 0;
  for (long allowed = 0;; ++allowed) {
    allocationsBeforeFailure = allowed;
    bool opened = editor->open(host.handle());
    allocationsBeforeFailure = -1;
    if (opened) break;
    ++failures;
    EXPECT_EQ(editor->getFrame(), nullptr) << "after " << allowed << " allocations";
    effect.setParameter(kIntervalParameter, 0.3f);  // reaches no control
    editor->close();
    ASSERT_LT(allowed, 10000) << "open never succeeded";
  }
  EXPECT_GT(failures, 5) << "open allocates the frame, three pictures and five controls";
  EXPECT_NE(editor->getFrame(), nullptr);
  editor->close();
}

TEST(EditorOutOfMemory, AnEffectWhoseEditorCannotBeMadeHasNone) {
  // The effect's own allocations come first; find the count at which the editor's fail.
  for (long allowed = 0; allowed < 10000; ++allowed) {
    allocationsBeforeFailure = allowed;
    FadecrestVST* effect = nullptr;
    try {
      effect = new FadecrestVST(nullptr);
    } catch (const std::bad_alloc&) {
      allocationsBeforeFailure = -1;
      continue;  // the effect itself could not be made
    }
    allocationsBeforeFailure = -1;
    if (effect->getEditor() == nullptr) {
      EXPECT_EQ(effect->getAeffect()->flags & effFlagsHasEditor, 0);
      EXPECT_EQ(effect->dispatcher(effEditOpen, 0, 0, nullptr, 0), 0);
      effect->setParameter(kIntervalParameter, 0.5f);  // notifies nobody
      delete effect;
      return;
    }
    delete effect;
  }
  FAIL() << "no allocation count left the effect without an editor";
}

}  // namespace
