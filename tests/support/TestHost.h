// A small VST 2 host for the tests: it loads the plug-in through its entry point (from the built
// library with dlopen or LoadLibrary, or linked in), answers the host callback and records every opcode it gets.
#pragma once

#include "host/VstAbi.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct HostCall {
    int32_t Opcode;
    int32_t Index;
    VstIntPtr Value;
    float Opt;
};

// top, left, bottom, right: one comparable value for a rectangle
inline std::array<int, 4> Corners(const ERect& r) { return {r.top, r.left, r.bottom, r.right}; }

class TestHost {
public:
    using Entry = AEffect*(VSTCALL*)(audioMasterCallback);

    explicit TestHost(Entry entry) : EntryPoint(entry) { Recorded.reserve(4096); }
    // Loads a library and finds its `main`; Entry() is null when that fails.
    static TestHost FromLibrary(const std::string& path);
    TestHost(TestHost&& other) noexcept;
    TestHost(const TestHost&) = delete;
    ~TestHost();

    Entry EntryFunction() const { return EntryPoint; }
    AEffect* Open();    // calls the entry with our callback
    void Close();       // effClose, if open
    AEffect* Effect() const { return Record; }

    VstIntPtr Dispatch(int32_t opcode, int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);
    void SetParameter(int32_t index, float value) { Record->setParameter(Record, index, value); }
    float GetParameter(int32_t index) { return Record->getParameter(Record, index); }
    std::string ParamString(int32_t opcode, int32_t index);   // name, label or display
    // What effEditGetRect reports; all -1 when the plug-in answers 0 or gives no rectangle.
    ERect EditorRect();
    int32_t ParamIndex(const std::string& name);             // -1 if none

    // Runs a stereo block through processReplacing (or process) with the given inputs.
    void Process(const float* inL, const float* inR, float* outL, float* outR, int32_t frames, bool replacing = true);
    // Sends MIDI messages (three bytes each) through effProcessEvents.
    void SendMidi(const std::vector<std::vector<uint8_t>>& messages, int32_t deltaFrames = 0);

    // The host's side of the conversation.
    VstIntPtr VersionAnswer = 2400;
    bool ServeTime = true;
    VstTimeInfo Time{};   // what audioMasterGetTime answers; tests set it
    bool AdvanceTime = false;   // move samplePos/ppqPos on by each processed block

    std::vector<HostCall> Calls() const;
    int32_t CountCalls(int32_t opcode) const;
    void ClearCalls();

    static VstIntPtr VSTCALL Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                      void* ptr, float opt);

private:
    VstIntPtr Answer(int32_t opcode, int32_t index, VstIntPtr value, void* ptr, float opt);

    Entry EntryPoint = nullptr;
    void* Library = nullptr;
    AEffect* Record = nullptr;
    mutable std::mutex CallsLock;
    std::vector<HostCall> Recorded;
};
