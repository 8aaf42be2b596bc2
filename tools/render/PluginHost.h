// Loads one VST 2 library through its exported entry, as a host does, and drives its instance.
// Single-threaded; the instance is closed and the library unloaded on destruction.
#pragma once

#include "RenderTypes.h"
#include "host/VstAbi.h"

#include <string>
#include <vector>

namespace qbfx::render {

class TPluginHost {
public:
    // dlopen, entry lookup ("main", then "VSTPluginMain"), magic and processReplacing checks,
    // then effOpen. Throws RenderError saying which step failed.
    explicit TPluginHost(const std::string& path);
    ~TPluginHost();
    TPluginHost(const TPluginHost&) = delete;
    TPluginHost& operator=(const TPluginHost&) = delete;

    // effSetSampleRate, effSetBlockSize; the transport runs at bpm in 4/4.
    void Configure(double sampleRate, int maxBlock, double bpm);
    void Resume();    // effMainsChanged 1
    void Suspend();   // effMainsChanged 0; also done on destruction if still resumed

    int NumPrograms() const { return Effect->numPrograms; }
    int NumParams() const { return Effect->numParams; }
    int InitialDelay() const { return Effect->initialDelay; }
    std::vector<std::string> ParamNames() const;
    std::string ParamDisplay(int index) const;   // the value as the plug-in shows it
    std::string ParamLabel(int index) const;     // its unit
    std::string ProgramName(int program) const;
    std::string EffectName() const;
    void SetProgram(int program);
    void SetParameter(int index, float value);
    float GetParameter(int index) const;

    // Events for the next Process call, all of them at its first frame.
    void SendEvents(const std::vector<TimedEvent>& events);
    // Runs processReplacing on the first frames of the buffers; samplePos is the transport position.
    void Process(const float* left, const float* right, float* outLeft, float* outRight, int frames,
                 int64_t samplePos);

private:
    static VstIntPtr VSTCALL HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);
    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0) const;
    std::string ReadString(VstInt32 opcode, VstInt32 index, size_t limit) const;

    void* Library = nullptr;
    AEffect* Effect = nullptr;
    bool Opened = false, Resumed = false;
    int MaxBlock = 0;
    VstTimeInfo Time{};
    std::vector<std::vector<float>> InBuffers, OutBuffers;
    std::vector<float*> InPtrs, OutPtrs;
    std::vector<VstMidiEvent> MidiEvents;
    std::vector<std::max_align_t> EventList;   // a VstEvents record sized for MidiEvents
};

}  // namespace qbfx::render
