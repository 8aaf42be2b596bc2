// The built-in demo: a generated drum, bass and lead loop and a score that plays each of the
// eight effects in turn. Two dry bars, then one bar per effect.
#pragma once

#include "RenderTypes.h"

#include <string>

namespace qbfx::render {

constexpr int kDemoIntroBars = 2;
constexpr int kDemoEffects = 8;
constexpr int kDemoBars = kDemoIntroBars + kDemoEffects;
constexpr double kDemoBpm = 120.0;
constexpr double kDemoSampleRate = 44100.0;

// The note that selects effect k, and the one that fires synced value s/8 (s = 1..8).
constexpr int kSelectNotes[kDemoEffects] = {35, 36, 38, 40, 41, 43, 45, 47};
constexpr int kSyncNotes[8] = {48, 50, 52, 53, 55, 57, 59, 60};

StereoAudio GenerateDemoLoop(double sampleRate, double bpm);
// In the text score format, so it reads like a user's score and goes through the same parser.
std::string DemoScoreText();

}  // namespace qbfx::render
