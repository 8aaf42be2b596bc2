// The effect: identity, the 64 parameters and three factory programs, MIDI triggers and the
// controller map, the parameter-change handler that turns values into working values, and the
// audio hook that runs the engine. Parameter changes may come from any thread; the audio hook and
// MIDI from the host's audio thread; the editor idle from its GUI thread.
#pragma once

#include "dsp/FxEngine.h"
#include "dsp/Shared.h"
#include "host/DVstTemplate.h"
#include "plugin/Parameters.h"

#include <array>
#include <cstdint>
#include <string>

extern const std::array<const char*, kNumPrograms> kProgramNames;

// The controller map's file name and section, in the data folder beside the library.
constexpr const char* kMidiMapFile = "QBFX_F.ini";
constexpr const char* kMidiMapSection = "MIDIMAP";

// Reads an integer key of a Windows-style INI text; 0 for anything missing or not a whole number.
int32_t ReadIniInteger(const std::string& text, const char* section, const char* key);

class APlugin final : public TVstTemplate {
public:
    explicit APlugin(audioMasterCallback master, TEditorFormFactory editorForm = nullptr);

    void InitializeParameters() override;
    void ProcessAudio(TArrayOfSingleArray& inputs, TArrayOfSingleArray& outputs, int32_t sampleFrames) override;
    void ProcessMidiEvent(VstMidiEvent* event) override;
    // Also lays out the delay lines' memory for the host's rate before the first block.
    void resume() override;
    void ParameterChanged(int32_t index);
    void EditorIdle(TEditorForm* form);
    void LoadMidiMap();

    std::string DataFolder;
    TFxEngine Engine;

    std::array<Shared<float>, kNumEffects> MaxMix{};
    Shared<int32_t> Engaged = 0, HoldOn = 0;
    std::array<Shared<uint8_t>, kNumEffects> SyncNoteHeld{};
    int32_t MidiStatus = 0, MidiData1 = 0, MidiData2 = 0;
    std::array<int32_t, kNumEffects> SelectCC{}, SyncCC{}, SelectNote{}, SyncNote{};
    std::array<int32_t, kNumParamCC> ParamCC{};
    int32_t HoldCC = 0;

private:
    TBlockTime LastTime;   // the last valid time information, for blocks that bring none
};

// What `main` does: ask the host's version, build the effect, hand back its record (or null).
AEffect* CreateEffect(audioMasterCallback audioMaster, TEditorFormFactory editorForm);
