// What the effect and its editor form hand each other on every editor idle (GUI thread only).
#pragma once

#include "host/DVstTemplate.h"

#include <array>
#include <cstdint>

constexpr int32_t kScopeRows = 112;

class TPluginFormBase : public TEditorForm {
public:
    std::array<float, 8> FxMaxMix{};             // the editor's maximum mix per effect
    std::array<int32_t, kScopeRows> ScopeRowL{};  // LFO trace pixel rows, left from row 10
    std::array<int32_t, kScopeRows> ScopeRowR{};  // right from row 50
    float HostTempo = 0.0f;
};
