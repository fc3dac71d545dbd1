// An editor that stands in for the effect's own and writes every notification into a log, which a
// test may share with the host to see the order of both.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "editor/aeffguieditor.h"
#include "host/audioeffect.h"

struct LoggedCall {
  std::string who;  // "editor" or "host"
  VstInt32 index;
  float value;
  bool operator==(const LoggedCall&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const LoggedCall& call) {
  return out << call.who << " (" << call.index << ", " << call.value << ")";
}

class LoggingEditor : public AEffGUIEditor {
 public:
  LoggingEditor(AudioEffect* effect, std::vector<LoggedCall>& log) : AEffGUIEditor(effect), log(log) {}
  void setParameter(VstInt32 index, float value) override {
    log.push_back({"editor", index, value});
    seenInterval.push_back(effect->getParameter(0));
  }
  // The effect's interval at each notification, to tell which value was stored first.
  std::vector<float> seenInterval;

 private:
  std::vector<LoggedCall>& log;
};

// Replaces the effect's own editor, which the effect then owns and destroys as its own.
inline LoggingEditor* replaceEditor(AudioEffect& effect, std::vector<LoggedCall>& log) {
  delete effect.getEditor();
  return new LoggingEditor(&effect, log);
}
