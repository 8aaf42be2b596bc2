#include "Demo.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>

namespace qbfx::render {
namespace {

constexpr double kTwoPi = 6.2831853071795864769;

class TNoise {   // xorshift32: the loop must come out the same on every run
public:
    double Next() {
        State ^= State << 13;
        State ^= State >> 17;
        State ^= State << 5;
        return double(State) / 2147483648.0 - 1.0;
    }

private:
    uint32_t State = 0x9E3779B9u;
};

double NoteHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

class TLoopWriter {
public:
    TLoopWriter(StereoAudio& audio, double samplesPerStep) : Audio(audio), StepLength(samplesPerStep) {}

    // Adds voice(t) for t in seconds from the hit, panned (-1 left .. 1 right).
    template <class Voice>
    void Hit(double step, double seconds, double gain, double pan, Voice voice) {
        const double sr = Audio.SampleRate;
        const auto start = int64_t(std::llround(step * StepLength));
        const auto length = int64_t(seconds * sr);
        const double gl = gain * std::sqrt((1.0 - pan) / 2.0), gr = gain * std::sqrt((1.0 + pan) / 2.0);
        for (int64_t i = 0; i < length && start + i < Audio.Frames(); ++i) {
            const double v = voice(double(i) / sr);
            Audio.Left[size_t(start + i)] += float(v * gl);
            Audio.Right[size_t(start + i)] += float(v * gr);
        }
    }

private:
    StereoAudio& Audio;
    double StepLength;
};

}  // namespace

StereoAudio GenerateDemoLoop(double sampleRate, double bpm) {
    const double secondsPerStep = 60.0 / bpm / 4.0;   // sixteenth notes
    const int steps = kDemoBars * 16;
    StereoAudio a;
    a.SampleRate = sampleRate;
    const auto frames = size_t(std::llround(steps * secondsPerStep * sampleRate));
    a.Left.assign(frames, 0.0f);
    a.Right.assign(frames, 0.0f);
    TLoopWriter w(a, secondsPerStep * sampleRate);
    TNoise noise;

    // A minor, F, C, G: one chord per bar.
    const int roots[4] = {33, 29, 36, 31};
    const int chords[4][3] = {{69, 72, 76}, {65, 69, 72}, {72, 76, 79}, {67, 71, 74}};
    for (int bar = 0; bar < kDemoBars; ++bar) {
        const int chord = bar % 4;
        const bool fill = bar % 4 == 3;
        for (int s = 0; s < 16; ++s) {
            const double step = bar * 16 + s;
            const bool kick = s == 0 || s == 8 || s == 10 || (fill && (s == 3 || s == 14));
            if (kick)
                w.Hit(step, 0.35, 0.8, 0.0, [phase = 0.0, sr = sampleRate](double t) mutable {
                    phase += kTwoPi * (45.0 + 110.0 * std::exp(-t * 30.0)) / sr;
                    return std::sin(phase) * std::exp(-t * 8.0);
                });
            if (s == 4 || s == 12 || (fill && s == 15))
                w.Hit(step, 0.22, s == 15 ? 0.25 : 0.45, 0.05, [&noise](double t) {
                    return 0.7 * noise.Next() * std::exp(-t * 22.0) +
                           0.5 * std::sin(kTwoPi * 180.0 * t) * std::exp(-t * 30.0);
                });
            if (s % 2 == 0 || s == 15) {
                const bool open = s == 6 || s == 14;
                w.Hit(step, open ? 0.25 : 0.05, s % 4 == 2 ? 0.2 : 0.13, 0.35,
                      [&noise, prev = 0.0, open](double t) mutable {
                          const double n = noise.Next(), hp = n - prev;   // first difference: bright
                          prev = n;
                          return hp * std::exp(-t * (open ? 14.0 : 90.0));
                      });
            }
            if (s % 2 == 0) {
                static const int bassShape[8] = {0, 0, 12, 0, 7, 0, 12, 10};
                const int note = roots[chord] + bassShape[s / 2];
                w.Hit(step, secondsPerStep * 1.8, 0.35, -0.05,
                      [hz = NoteHz(note), phase = 0.0, lp = 0.0, sr = sampleRate](double t) mutable {
                          phase += hz / sr;
                          const double saw = 2.0 * (phase - std::floor(phase)) - 1.0;
                          const double cutoff = 200.0 + 1400.0 * std::exp(-t * 18.0);
                          lp += (saw - lp) * (1.0 - std::exp(-kTwoPi * cutoff / sr));
                          return lp * std::min(1.0, t * 200.0) * std::exp(-t * 4.0);
                      });
            }
            // the lead arpeggiates the chord, resting on the last eighth of the bar
            if (s % 2 == 0 && s != 14 && bar >= 1) {
                static const int arp[7] = {0, 1, 2, 1, 0, 2, 1};
                const int note = chords[chord][arp[s / 2]] + (s == 8 && bar % 2 == 0 ? 12 : 0);
                const double pan = (s / 2) % 2 ? 0.45 : -0.45;
                w.Hit(step, secondsPerStep * 2.5, 0.14, pan,
                      [hz = NoteHz(note), phase = 0.0, lp = 0.0, sr = sampleRate](double t) mutable {
                          phase += hz / sr;
                          const double pulse = phase - std::floor(phase) < 0.25 ? 1.0 : -0.33;
                          lp += (pulse - lp) * (1.0 - std::exp(-kTwoPi * 3000.0 / sr));
                          return lp * std::min(1.0, t * 300.0) * std::exp(-t * 6.0);
                      });
            }
        }
    }
    float peak = 0;
    for (size_t i = 0; i < frames; ++i) peak = std::max({peak, std::fabs(a.Left[i]), std::fabs(a.Right[i])});
    if (peak > 0) {
        const float scale = 0.7f / peak;   // about -3 dBFS, room for the effects' feedback
        for (size_t i = 0; i < frames; ++i) {
            a.Left[i] *= scale;
            a.Right[i] *= scale;
        }
    }
    return a;
}

std::string DemoScoreText() {
    static const char* const names[kDemoEffects] = {"Synced delay", "Glide & Drift", "Flanger",
                                                    "Phaser", "Decimator", "Realtime slicer",
                                                    "Ringer", "TriCombs"};
    // Two synced values per effect, s/8 with s = 1..8.
    static const int values[kDemoEffects][2] = {{3, 4}, {2, 6}, {4, 8}, {2, 8},
                                                {3, 6}, {2, 4}, {5, 1}, {1, 5}};
    std::ostringstream s;
    s << "# Demo: " << kDemoIntroBars << " dry bars, then one bar per effect.\n"
      << "# Each bar: a short select note, then two synced-value notes held in turn;\n"
      << "# letting go of the last one closes the wet signal again.\n";
    for (int k = 0; k < kDemoEffects; ++k) {
        const int b = 4 * (kDemoIntroBars + k);
        const int a = kSyncNotes[values[k][0] - 1], c = kSyncNotes[values[k][1] - 1];
        s << "\n# bar " << kDemoIntroBars + k + 1 << ": " << names[k] << ", " << values[k][0] << "/8 then "
          << values[k][1] << "/8\n"
          << b << "      note " << kSelectNotes[k] << " 100\n"
          << b << ".25   off  " << kSelectNotes[k] << "\n"
          << b << ".25   note " << a << " 100\n"
          << b + 1 << ".875  off  " << a << "\n"
          << b + 2 << "      note " << c << " 100\n"
          << b + 3 << ".875  off  " << c << "\n";
    }
    return s.str();
}

}  // namespace qbfx::render
