#include "test_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace render {
namespace {

constexpr double kBar = 2.0;    // seconds per chord
constexpr double kStep = 0.25;  // seconds per arpeggio note

struct Chord {
  int bass;
  int notes[3];
};
// I - vi - IV - V in C major, as MIDI note numbers.
constexpr Chord kProgression[] = {
    {48, {60, 64, 67}},
    {45, {57, 60, 64}},
    {41, {53, 57, 60}},
    {43, {55, 59, 62}},
};
constexpr int kArpeggio[] = {0, 1, 2, 1};

double frequency(int note) { return 440.0 * std::exp2((note - 69) / 12.0); }

// Three harmonics falling off like a soft sawtooth.
double tone(int note, double t) {
  double phase = 2.0 * std::numbers::pi * frequency(note) * t;
  return std::sin(phase) + std::sin(2.0 * phase) / 2.0 + std::sin(3.0 * phase) / 3.0;
}

// Rises quickly, settles, and closes just before `length` so chord changes do not click.
double padEnvelope(double t, double length) {
  return std::min(1.0, t / 0.05) * (0.6 + 0.4 * std::exp(-3.0 * t)) *
         std::clamp((length - t) / 0.1, 0.0, 1.0);
}

double pluckEnvelope(double t, double length) {
  return std::min(1.0, t / 0.005) * std::exp(-8.0 * t) * std::clamp((length - t) / 0.01, 0.0, 1.0);
}

void pan(double sample, double position, double& left, double& right) {
  double angle = (position + 1.0) * std::numbers::pi / 4.0;
  left += sample * std::cos(angle);
  right += sample * std::sin(angle);
}

}  // namespace

void TestSignal::frameAt(int64_t frame, double& left, double& right) {
  double t = static_cast<double>(frame) / kSampleRate;
  auto bar = static_cast<int64_t>(t / kBar);
  const Chord& chord = kProgression[bar % std::size(kProgression)];
  double inBar = t - static_cast<double>(bar) * kBar;

  left = right = 0.0;
  double pad = padEnvelope(inBar, kBar);
  constexpr double kSpread[] = {-0.5, 0.0, 0.5};
  for (int i = 0; i < 3; ++i) pan(0.15 * pad * tone(chord.notes[i], t), kSpread[i], left, right);
  pan(0.25 * pad * tone(chord.bass, t), 0.0, left, right);

  auto step = static_cast<int64_t>(inBar / kStep);
  double inStep = inBar - static_cast<double>(step) * kStep;
  int note = chord.notes[kArpeggio[step % std::size(kArpeggio)]] + 12;
  pan(0.2 * pluckEnvelope(inStep, kStep) * tone(note, t), step % 2 ? 0.6 : -0.6, left, right);
}

}  // namespace render
