// A tiny VST 2 effect for the renderer's tests: stereo gain with a fixed 100-frame delay, and
// an impulse on output channel 1 at the sample of each note-on (velocity/127) and controller
// (-value/127) it receives. It records what the host does in a FixtureLog.
#include "FixtureLog.h"
#include "host/VstAbi.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr int kDelay = 100;
constexpr int kNumParams = 2;
constexpr const char* kParamNames[kNumParams] = {"Gain", "Right Trim"};
struct Program {
    const char* Name;
    float Gain;
};
constexpr Program kPrograms[] = {{"Unity", 0.5f}, {"Quiet", 0.25f}, {"Loud", 1.0f}};
constexpr int kNumPrograms = 3;

FixtureLog Log;

struct Fixture {
    AEffect Effect{};
    audioMasterCallback Host = nullptr;
    float Params[kNumParams] = {0.5f, 0.5f};
    int Program = 0;
    bool Resumed = false;
    float DelayL[kDelay] = {}, DelayR[kDelay] = {};
    int DelayPos = 0;
    int64_t Frames = 0;
    VstMidiEvent Pending[256] = {};
    int NumPending = 0;
};

Fixture* Of(AEffect* e) { return static_cast<Fixture*>(e->object); }

void Record(int32_t opcode) {
    if (Log.NumCalls < FixtureLog::kMaxCalls) Log.Calls[Log.NumCalls++] = opcode;
}

void CopyString(void* ptr, const char* s, size_t limit) {
    auto* out = static_cast<char*>(ptr);
    std::strncpy(out, s, limit);
    out[limit] = '\0';
}

[[maybe_unused]] VstIntPtr VSTCALL Dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
    Fixture* f = Of(e);
    switch (opcode) {
    case effOpen:
    case effClose:
    case effSetBlockSize:
    case effSetSampleRate:
    case effSetProgram:
    case effMainsChanged: Record(opcode); break;
    default: break;
    }
    switch (opcode) {
    case effClose: delete f; return 0;
    case effSetSampleRate: Log.SampleRate = opt; return 0;
    case effSetBlockSize: Log.BlockSize = VstInt32(value); return 0;
    case effMainsChanged: f->Resumed = value != 0; return 0;
    case effSetProgram:
        if (value >= 0 && value < kNumPrograms) {
            f->Program = int(value);
            f->Params[0] = kPrograms[value].Gain;
        }
        return 0;
    case effGetProgram: return f->Program;
    case effGetProgramNameIndexed:
        if (index < 0 || index >= kNumPrograms) return 0;
        CopyString(ptr, kPrograms[index].Name, kVstMaxProgNameLen);
        return 1;
    case effGetParamName:
        if (index < 0 || index >= kNumParams) return 0;
        CopyString(ptr, kParamNames[index], kVstMaxParamStrLen + 2);   // "Right Trim" is 10
        return 0;
    case effGetEffectName: CopyString(ptr, "Render fixture", kVstMaxEffectNameLen); return 1;
    case effProcessEvents: {
        if (!f->Resumed) ++Log.EventListsWhileSuspended;
        const auto* list = static_cast<const VstEvents*>(ptr);
        const auto* slots = reinterpret_cast<const unsigned char*>(list) + offsetof(VstEvents, events);
        for (int i = 0; i < list->numEvents && f->NumPending < 256; ++i) {
            VstEvent* ev = nullptr;
            std::memcpy(&ev, slots + size_t(i) * sizeof(VstEvent*), sizeof ev);
            if (ev->type == kVstMidiType) f->Pending[f->NumPending++] = *reinterpret_cast<VstMidiEvent*>(ev);
        }
        return 1;
    }
    default: return 0;
    }
}

[[maybe_unused]] void VSTCALL SetParameter(AEffect* e, VstInt32 index, float value) {
    if (index >= 0 && index < kNumParams) Of(e)->Params[index] = value;
}

[[maybe_unused]] float VSTCALL GetParameter(AEffect* e, VstInt32 index) {
    return index >= 0 && index < kNumParams ? Of(e)->Params[index] : 0.0f;
}

[[maybe_unused]] void VSTCALL ProcessReplacing(AEffect* e, float** in, float** out, VstInt32 frames) {
    Fixture* f = Of(e);
    if (Log.NumBlocks == 0) Record(-1);
    const auto* time = reinterpret_cast<const VstTimeInfo*>(
        f->Host(e, audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid, nullptr, 0));
    if (Log.NumBlocks < FixtureLog::kMaxBlocks) {
        FixtureBlock& b = Log.Blocks[Log.NumBlocks++];
        b = FixtureBlock{f->Frames, frames, -1, -1, -1, -1, 0, 0, 0};
        if (time) {
            b.SamplePos = time->samplePos;
            b.PpqPos = time->ppqPos;
            b.Tempo = time->tempo;
            b.SampleRate = time->sampleRate;
            b.Flags = time->flags;
            b.TimeSigNumerator = time->timeSigNumerator;
            b.TimeSigDenominator = time->timeSigDenominator;
        }
    }
    const float gain = 2.0f * f->Params[0], trim = 2.0f * f->Params[1];
    for (VstInt32 i = 0; i < frames; ++i) {
        const float l = f->DelayL[f->DelayPos], r = f->DelayR[f->DelayPos];
        f->DelayL[f->DelayPos] = in[0][i];
        f->DelayR[f->DelayPos] = in[1][i];
        f->DelayPos = (f->DelayPos + 1) % kDelay;
        out[0][i] = l * gain;
        out[1][i] = r * gain * trim;
    }
    for (int k = 0; k < f->NumPending; ++k) {
        const VstMidiEvent& m = f->Pending[k];
        if (Log.NumEvents < FixtureLog::kMaxEvents)
            Log.Events[Log.NumEvents++] = FixtureEvent{
                f->Frames, m.deltaFrames, {uint8_t(m.midiData[0]), uint8_t(m.midiData[1]), uint8_t(m.midiData[2])}};
        if (m.deltaFrames < 0 || m.deltaFrames >= frames) continue;
        const int status = uint8_t(m.midiData[0]) & 0xF0, data2 = m.midiData[2];
        if (status == 0x90 && data2 > 0) out[1][m.deltaFrames] += float(data2) / 127.0f;
        if (status == 0xB0) out[1][m.deltaFrames] -= float(data2) / 127.0f;
    }
    f->NumPending = 0;
    f->Frames += frames;
    Log.FramesProcessed = f->Frames;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const FixtureLog* fixtureLog() { return &Log; }

#ifdef FIXTURE_NO_ENTRY
extern "C" __attribute__((visibility("default"))) int notAnEntryPoint() { return 0; }
#else
extern "C" __attribute__((visibility("default"))) AEffect* fixtureMain(audioMasterCallback host) __asm__(
    "main");
extern "C" AEffect* fixtureMain(audioMasterCallback host) {
#ifdef FIXTURE_NULL_ENTRY
    (void)host;
    return nullptr;
#else
    std::memset(&Log, 0, sizeof Log);
    Log.HostVersion = int32_t(host(nullptr, audioMasterVersion, 0, 0, nullptr, 0));
#ifdef FIXTURE_BAD_MAGIC
    // A host must not call into a record it does not recognise, so it can never be closed:
    // keep it in static storage rather than leak it.
    static Fixture unclosable;
    auto* f = &unclosable;
#else
    auto* f = new (std::nothrow) Fixture;
    if (!f) return nullptr;
#endif
    f->Host = host;
    AEffect& e = f->Effect;
    e.magic = kEffectMagic;
#ifdef FIXTURE_BAD_MAGIC
    e.magic = FourCC('N', 'o', 'p', 'e');
#endif
    e.dispatcher = Dispatcher;
    e.setParameter = SetParameter;
    e.getParameter = GetParameter;
    e.numPrograms = kNumPrograms;
    e.numParams = kNumParams;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing;
#ifdef FIXTURE_NO_REPLACING
    e.flags = 0;
#endif
    e.processReplacing = ProcessReplacing;
    e.object = f;
    e.uniqueID = FourCC('Q', 'f', 'i', 'x');
    e.version = 1;
    e.initialDelay = kDelay;
    Log.HostWantsMidi = int32_t(host(&e, audioMasterWantMidi, 0, 1, nullptr, 0));
    return &e;
#endif
}
#endif
