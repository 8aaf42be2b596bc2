// The LV2 edition's fixed layout: URIs, port indices, which effect parameters are control ports
// and which travel in the saved state, and the small record the editor UI finds behind the
// instance handle. Shared by the plug-in, its UI and the tool that writes the bundle's data.
#pragma once

#include "host/VstAbi.h"

#include <array>
#include <cstdint>

#define QBFX_LV2_URI "urn:norvell-audio:quenby-fx-free"

inline constexpr const char* kLv2PluginUri = QBFX_LV2_URI;
inline constexpr const char* kLv2UiUri = QBFX_LV2_URI "#ui";
// State keys are this prefix and the key's name.
inline constexpr const char* kLv2StatePrefix = QBFX_LV2_URI "#";

enum TLv2Port : uint32_t {
    kPortInL = 0, kPortInR, kPortOutL, kPortOutR, kPortEvents,
    kPortFirstControl,                       // the sound controls, in the order of kLv2Controls
    kPortLatency = kPortFirstControl + 30,
    kPortCount,
};

struct TLv2Control {
    int32_t Param;        // the effect's parameter index
    const char* Symbol;   // the port symbol
};

// The 30 sound controls: the LFO and output section, then the eight effects' three each.
inline constexpr std::array<TLv2Control, 30> kLv2Controls = {{
    {30, "lfo_wav"}, {31, "lfo_amp"}, {32, "lfo_pha"}, {33, "out_sel"}, {34, "out_mix"}, {35, "out_amp"},
    {40, "del_fbck"}, {41, "del_dmp_low"}, {42, "del_dmp_high"}, {43, "gli_amp"}, {44, "gli_ctrl1"},
    {45, "gli_ctrl2"}, {46, "fla_del"}, {47, "fla_fbck"}, {48, "fla_dmp"}, {49, "pha_frq"}, {50, "pha_dpt"},
    {51, "pha_fbck"}, {52, "dec_sr"}, {53, "dec_bd"}, {54, "dec_sat"}, {55, "sli_sp"}, {56, "sli_qtz"},
    {57, "sli_var"}, {58, "rng_ton"}, {59, "rng_fbck"}, {60, "rng_dmp"}, {61, "chd_sel"}, {62, "chd_root"},
    {63, "chd_fbck"},
}};
static_assert(kPortFirstControl + kLv2Controls.size() == kPortLatency);

struct TLv2StateKey {
    int32_t Param;
    const char* Key;   // appended to kLv2StatePrefix
};

// Everything else the effect keeps, saved with the host's session through the state extension:
// triggers, colour, maximum mix levels, effect selector, synced value, map index and view.
inline constexpr std::array<TLv2StateKey, 29> kLv2StateKeys = {{
    {0, "trg_fx1"}, {1, "trg_fx2"}, {2, "trg_fx3"}, {3, "trg_fx4"}, {4, "trg_fx5"}, {5, "trg_fx6"},
    {6, "trg_fx7"}, {7, "trg_fx8"},
    {10, "trg_sv1"}, {11, "trg_sv2"}, {12, "trg_sv3"}, {13, "trg_sv4"}, {14, "trg_sv5"}, {15, "trg_sv6"},
    {16, "trg_sv7"}, {17, "trg_sv8"},
    {18, "color"},
    {20, "fx1_max_mix"}, {21, "fx2_max_mix"}, {22, "fx3_max_mix"}, {23, "fx4_max_mix"}, {24, "fx5_max_mix"},
    {25, "fx6_max_mix"}, {26, "fx7_max_mix"}, {27, "fx8_max_mix"},
    {36, "fx_selector"}, {37, "synced_value"}, {38, "map_index"}, {39, "view"},
}};

// The port of a parameter, or -1 when it is not a control port.
constexpr int32_t Lv2PortOfParam(int32_t param) {
    for (size_t i = 0; i < kLv2Controls.size(); ++i)
        if (kLv2Controls[i].Param == param) return int32_t(kPortFirstControl + i);
    return -1;
}

// What the UI finds behind the instance handle (instance-access): the effect's record and a place
// to leave its hooks. The hooks are set, used and cleared on the UI thread only.
struct TLv2Bridge {
    static constexpr uint32_t kMagic = 0x51424C32;   // "QBL2"
    uint32_t Magic = kMagic;
    AEffect* Effect = nullptr;
    void* UiHandle = nullptr;
    // The editor asks for a new size.
    void (*UiResize)(void* ui, int32_t width, int32_t height) = nullptr;
    // The editor changed a parameter: the UI tells the host of control ports.
    void (*UiAutomate)(void* ui, int32_t param, float value) = nullptr;
};
