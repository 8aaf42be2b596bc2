// The 64 parameters, each described once: its name and display curve for the host, its role, the
// factory programs' values, how the handler scales it into a working value, how the editor shows
// it, the editor's hint and reset value, and its key in the controller map. Plain data with no
// display code: the effect, the host queries, the editor and the map reader each take what they
// need from here, and code names parameters by these indices, never by number.
#pragma once

#include "host/DVstTemplate.h"

#include <array>
#include <cstdint>

enum TParamIndex : int32_t {
    kTrgFx1 = 0,
    kTrgSv1 = 10,
    kColor = 18,
    kFx1MaxMix = 20,
    kLfoWav = 30, kLfoAmp, kLfoPha, kOutSel, kOutMix, kOutAmp, kFxSelector, kSyncedValue, kMapIndex, kView,
    kDelFbck = 40, kDelDmpLow, kDelDmpHigh, kGliAmp, kGliCtrl1, kGliCtrl2, kFlaDel, kFlaFbck, kFlaDmp,
    kPhaFrq, kPhaDpt, kPhaFbck, kDecSr, kDecBd, kDecSat, kSliSp, kSliQtz, kSliVar, kRngTon, kRngFbck,
    kRngDmp, kChdSel, kChdRoot, kChdFbck,
    kNumParams = 64,
};

constexpr int32_t kNumPrograms = 3;
constexpr int32_t kNumEffects = 8;
constexpr int32_t kNumParamCC = 30;

// The names of the effects (by "OUT Sel" position) and of the LFO's waves (by "LFO Wav" position),
// as the editor shows them while their slider is held and as hosts list the positions.
inline constexpr std::array<const char*, kNumEffects> kEffectNames = {
    "Synced delay", "Glide & Drift", "Flanger", "Phaser", "Decimator", "Realtime slicer", "Ringer", "TriCombs"};
inline constexpr std::array<const char*, 6> kLfoWaveNames = {
    "Sinusoidal", "Triangular", "Saw up", "Saw down", "Square", "Sample & Hold"};

enum class TParamRole : uint8_t {
    None,            // read by nobody, named or not
    EffectTrigger,   // any change selects its effect
    SyncTrigger,     // fires its synced value while above 0
    Colour,          // the editor's state, kept with the programs
    View,
    MaxMix,          // an effect's wet level when a synced value fires
    SyncedValue,     // the tempo-synced step
    Lfo,             // the LFO's three controls
    Output,          // the output's three controls
    Effect,          // one of an effect's three controls
};

// A value v in 0..1 as a number: v * Scale + Offset, either as it is or rounded to the nearest
// whole number (halves to the even neighbour), with the offset added before the rounding or, for
// WholeThenOffset, after it.
enum class TScaleKind : uint8_t { None, Fraction, Whole, WholeThenOffset };

struct TValueScale {
    TScaleKind Kind = TScaleKind::None;
    double Scale = 1.0, Offset = 0.0;
};

struct TParamInfo {
    const char* Name = nullptr;   // null: the framework's default name
    TParamRole Role = TParamRole::None;
    uint8_t Curve = ctLinear;     // the host's display curve
    const char* Unit = "";        // the host's label
    bool Factory = false;         // the factory programs set it
    std::array<float, kNumPrograms> Values{};
    // The working value the handler stores. None: nothing, or a value the handler scales by the
    // sample rate or tempo of the latest block.
    TValueScale Working;
    // The editor's value text for slider positions; the editor's labels are its own and need not
    // match the working value. None: the parameter has no slider.
    TValueScale Shown;
    const char* Hint = nullptr;   // the slider's hint
    float Reset = 0.0f;           // the value "Reset parameter" puts the slider to
    const char* MapKey = nullptr; // the controller-map key that drives it
};

namespace ParamRows {

constexpr TValueScale Fraction(double scale = 1.0, double offset = 0.0) {
    return {TScaleKind::Fraction, scale, offset};
}
constexpr TValueScale Whole(double scale, double offset = 0.0) { return {TScaleKind::Whole, scale, offset}; }
constexpr TValueScale WholeThenOffset(double scale, double offset) {
    return {TScaleKind::WholeThenOffset, scale, offset};
}

constexpr TParamInfo Named(const char* name, TParamRole role) {
    TParamInfo p;
    p.Name = name;
    p.Role = role;
    return p;
}

constexpr TParamInfo Derived(const char* name, TParamRole role, TValueScale working) {
    TParamInfo p = Named(name, role);
    p.Working = working;
    return p;
}

constexpr TParamInfo MaxMix(const char* name, std::array<float, kNumPrograms> values) {
    TParamInfo p = Named(name, TParamRole::MaxMix);
    p.Factory = true;
    p.Values = values;
    return p;
}

// A slider's parameter, set by the factory programs (values for "FX set 1", "FX set 2" and
// "FX set 3") and driven by a map key.
constexpr TParamInfo Control(const char* name, TParamRole role, std::array<float, kNumPrograms> values,
                             TValueScale working, TValueScale shown, const char* hint, float reset,
                             const char* mapKey, uint8_t curve = ctLinear) {
    return {name, role, curve, "", true, values, working, shown, hint, reset, mapKey};
}

constexpr TParamRole kEffectTrigger = TParamRole::EffectTrigger, kSyncTrigger = TParamRole::SyncTrigger,
                     kLfo = TParamRole::Lfo, kOutput = TParamRole::Output, kEffect = TParamRole::Effect;

// One table for every parameter, in index order.
inline constexpr std::array<TParamInfo, kNumParams> kTable = {{
    Named("trgFX1", kEffectTrigger), Named("trgFX2", kEffectTrigger), Named("trgFX3", kEffectTrigger),
    Named("trgFX4", kEffectTrigger), Named("trgFX5", kEffectTrigger), Named("trgFX6", kEffectTrigger),
    Named("trgFX7", kEffectTrigger), Named("trgFX8", kEffectTrigger),
    {}, {},
    Named("trgSV1", kSyncTrigger), Named("trgSV2", kSyncTrigger), Named("trgSV3", kSyncTrigger),
    Named("trgSV4", kSyncTrigger), Named("trgSV5", kSyncTrigger), Named("trgSV6", kSyncTrigger),
    Named("trgSV7", kSyncTrigger), Named("trgSV8", kSyncTrigger),
    Named("COLOR", TParamRole::Colour), {},
    MaxMix("FX1MXMAX", {1, 1, 1}), MaxMix("FX2MXMAX", {1, 1, 1}), MaxMix("FX3MXMAX", {0.7f, 0.5f, 0.7f}),
    MaxMix("FX4MXMAX", {0.7f, 0.6f, 0.7f}), MaxMix("FX5MXMAX", {1, 1, 1}), MaxMix("FX6MXMAX", {1, 1, 1}),
    MaxMix("FX7MXMAX", {1, 1, 0.8f}), MaxMix("FX8MXMAX", {1, 1, 0.8f}),
    {}, {},
    Control("LFO Wav", kLfo, {0, 0, 0}, Whole(5), Whole(5),
            "LFO waveform", 0, "LFO parameter 1 CC"),
    Control("LFO Amp", kLfo, {0.8f, 0.9f, 0.98f}, Fraction(), Fraction(),
            "LFO amplification", 1, "LFO parameter 2 CC"),
    Control("LFO Pha", kLfo, {0, 1, 0.1f}, Fraction(0.5), Fraction(),
            "Second lfo sync offset", 0, "LFO parameter 3 CC"),
    Control("OUT Sel", kOutput, {0, 0, 0}, Whole(7), Whole(7),
            "Main FX selector", 0, "OUT parameter 1 CC"),
    Control("OUT Mix", kOutput, {0, 0, 0}, Fraction(), Fraction(),
            "Mix amount (CTRL rigth + Move to define max mix)", 0, "OUT parameter 2 CC"),
    Control("OUT Amp", kOutput, {1, 1, 1}, Fraction(), Fraction(),
            "Output amplifier", 1, "OUT parameter 3 CC"),
    Named("FX selector", TParamRole::None),
    // SyncStep and SyncStepCombs; SyncSlice and the tempo-scaled values are the handler's own
    Derived("Synced Value", TParamRole::SyncedValue, Whole(8)),
    Named("MAPINDEX", TParamRole::None), Named("VIEW", TParamRole::View),
    Control("Del Fbck", kEffect, {0.5f, 0.15f, 0.8f}, Fraction(2, -1), Fraction(2, -1),
            "Delay feedback", 0.5f, "FX1 parameter 1 CC"),
    Control("Del Dmp-", kEffect, {1, 1, 0.9f}, Fraction(10000), Fraction(),
            "Feedback Lowpass damping", 1, "FX1 parameter 2 CC", ctLogarithmic),
    Control("Del Dmp+", kEffect, {0, 0, 0.1f}, Fraction(10000), Fraction(),
            "Feedback highpass damping", 0, "FX1 parameter 3 CC", ctLogarithmic),
    Control("Gli Amp", kEffect, {0.1f, 0.3f, 0.2f}, Fraction(), Fraction(),
            "Glide/drift amount", 0, "FX2 parameter 1 CC"),
    Control("Gli Ctrl1", kEffect, {0.05f, 0.3f, 0}, Fraction(2, -1), Fraction(),
            "Glide/drift attack", 0, "FX2 parameter 2 CC"),
    Control("Gli Ctrl2", kEffect, {0.2f, 0.35f, 0.4f}, Fraction(2, -1), Fraction(),
            "Glide/drift decay", 0, "FX2 parameter 3 CC"),
    // scaled by the rate's samples per 10 ms
    Control("Fla Del", kEffect, {0.2f, 0.4f, 0.4f}, {}, Fraction(),
            "Flanger delay", 0.1f, "FX3 parameter 1 CC"),
    Control("Fla Fbck", kEffect, {0.9f, 0.8f, 0.5f}, Fraction(-0.98), Fraction(),
            "Flanger feedback amount", 0.85f, "FX3 parameter 2 CC"),
    Control("Fla Dmp", kEffect, {0.9f, 0.9f, 0.95f}, Fraction(10000), Fraction(),
            "Feedback lowpass damping", 1, "FX3 parameter 3 CC", ctLogarithmic),
    Control("Pha Frq", kEffect, {0.5f, 0.5f, 0.5f}, Fraction(10000, 100), Fraction(5000, 25),
            "Phaser frequency", 0.5f, "FX4 parameter 1 CC", ctLogarithmic),
    Control("Pha Dpt", kEffect, {1, 1, 1}, Whole(5), Whole(5, 1),
            "Phaser depth", 1, "FX4 parameter 2 CC"),
    Control("Pha Fbck", kEffect, {0.8f, 0.8f, 0.8f}, Fraction(-0.99), Fraction(),
            "Phaser Feedback amount", 0.85f, "FX4 parameter 3 CC"),
    // scaled by the sample rate
    Control("Dec Sr", kEffect, {1, 1, 1}, {}, Fraction(),
            "Sampling rate reduction", 1, "FX5 parameter 1 CC"),
    // the row of the level table
    Control("Dec Bd", kEffect, {1, 1, 1}, Whole(23), WholeThenOffset(15, 1),
            "Bit depth reduction", 1, "FX5 parameter 2 CC"),
    Control("Dec Sat", kEffect, {0.05f, 0.05f, 0.05f}, Fraction(4), Fraction(),
            "saturation on/off and amount", 1, "FX5 parameter 3 CC"),
    Control("Sli Sp", kEffect, {0.2f, 0.18f, 0.18f}, WholeThenOffset(15, 1), Whole(15, 1),
            "Looping speed", 0, "FX6 parameter 1 CC"),
    Control("Sli Qtz", kEffect, {0, 0.2f, 0.4f}, WholeThenOffset(7, 1), Whole(15, 1),
            "Variator quantization", 0, "FX6 parameter 2 CC"),
    Control("Sli Var", kEffect, {0, 0.2f, 0.4f}, Whole(8), Whole(8),
            "Variator spreading / random reverse over 4", 0, "FX6 parameter 3 CC"),
    Control("Rng Ton", kEffect, {0.3f, 0.5f, 0.1f}, Fraction(2000, 10), Whole(2000, 10),
            "Ring frequency", 0.5f, "FX7 parameter 1 CC"),
    Control("Rng Fbck", kEffect, {0.9f, 1, 1}, Fraction(), Fraction(),
            "Ring accumulator amount", 0.8f, "FX7 parameter 2 CC"),
    Control("Rng Dmp", kEffect, {1, 1, 1}, Fraction(12000), Fraction(),
            "Ring accumulator lowpass damping", 0.9f, "FX7 parameter 3 CC"),
    Control("Chd Sel", kEffect, {0, 0, 0.2f}, Whole(14), Whole(14, 1),
            "Comb chord selector", 0, "FX8 parameter 1 CC"),
    Control("Chd Root", kEffect, {0.8f, 0.8f, 0.8f}, Whole(70), Whole(70),
            "Comb chord root note", 0.7f, "FX8 parameter 2 CC"),
    Control("Chd Fbck", kEffect, {0.5f, 0.7f, 0.7f}, Fraction(0.099999, 0.9), Fraction(),
            "Comb feedback amount", 0.6f, "FX8 parameter 3 CC"),
}};

// The controller map's slots in key order: the effects' controls, then the LFO's and the output's.
constexpr std::array<int32_t, kNumParamCC> MapSlots() {
    std::array<int32_t, kNumParamCC> slots{};
    size_t n = 0;
    for (const bool effects : {true, false})
        for (int32_t i = 0; i < kNumParams; ++i)
            if (kTable[size_t(i)].MapKey && (kTable[size_t(i)].Role == TParamRole::Effect) == effects) {
                if (n == slots.size()) throw "more map keys than controller slots";
                slots[n++] = i;
            }
    if (n != slots.size()) throw "a controller slot without a map key";
    return slots;
}

}  // namespace ParamRows

inline constexpr const std::array<TParamInfo, kNumParams>& kParamTable = ParamRows::kTable;

// kMappedParams[slot] is the parameter that `ParamCC`[slot] drives, read from its MapKey.
inline constexpr std::array<int32_t, kNumParamCC> kMappedParams = ParamRows::MapSlots();
