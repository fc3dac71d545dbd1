// A host callback that answers like a plain host and records every call, so tests can see what the
// effect asked of the host and in which order.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "host/aeffect.h"

struct HostCall {
  AEffect* effect;
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  void* ptr;
  float opt;
  bool operator==(const HostCall&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const HostCall& c) {
  return out << "{opcode " << c.opcode << ", index " << c.index << ", value " << c.value << ", ptr " << c.ptr
             << ", opt " << c.opt << "}";
}

class RecordingHost {
 public:
  RecordingHost() { current() = this; }
  ~RecordingHost() { current() = nullptr; }

  static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                        void* ptr, float opt) {
    RecordingHost* host = current();
    if (!host) return 0;
    host->calls.push_back({effect, opcode, index, value, ptr, opt});
    if (host->onCall) host->onCall(host->calls.back());
    if (opcode == audioMasterVersion) return host->versionAnswer;
    return host->answer;
  }

  std::vector<HostCall> callsWith(VstInt32 opcode) const {
    std::vector<HostCall> found;
    for (const HostCall& call : calls)
      if (call.opcode == opcode) found.push_back(call);
    return found;
  }

  std::vector<HostCall> calls;
  VstIntPtr versionAnswer = 2400;
  VstIntPtr answer = 0;  // to every request other than the version query
  std::function<void(const HostCall&)> onCall;

 private:
  static RecordingHost*& current() {
    static RecordingHost* host = nullptr;
    return host;
  }
};
