#include "PluginHost.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <dlfcn.h>

namespace qbfx::render {
namespace {

using EntryProc = AEffect* (*)(audioMasterCallback);

constexpr VstIntPtr kHostVersion = 2400;
// Plug-ins are promised at least this much for any string they write, whatever the opcode.
constexpr size_t kStringBuffer = 256;

}  // namespace

TPluginHost::TPluginHost(const std::string& path) {
    dlerror();
    Library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!Library) {
        const char* why = dlerror();
        throw RenderError("'" + path + "' is not a loadable library: " + (why ? why : "unknown error"));
    }
    auto* entry = reinterpret_cast<EntryProc>(dlsym(Library, "main"));
    if (!entry) entry = reinterpret_cast<EntryProc>(dlsym(Library, "VSTPluginMain"));
    if (!entry) {
        dlclose(Library);
        throw RenderError("'" + path + "' is not a VST 2 plug-in: it exports no entry point "
                          "('main' or 'VSTPluginMain')");
    }
    Effect = entry(&TPluginHost::HostCallback);
    if (!Effect) {
        dlclose(Library);
        throw RenderError("'" + path + "' is not usable: its VST 2 entry returned no effect");
    }
    if (Effect->magic != kEffectMagic) {
        // not a record we understand, so nothing in it may be called
        dlclose(Library);
        throw RenderError("'" + path + "' is not a VST 2 plug-in: the effect record has the wrong "
                          "magic number (not 'VstP')");
    }
    // The record is ours to tag from here on: the callback finds this host through it.
    Effect->resvd1 = reinterpret_cast<VstIntPtr>(this);
    if (!(Effect->flags & effFlagsCanReplacing) || !Effect->processReplacing) {
        Dispatch(effClose);
        dlclose(Library);
        throw RenderError("'" + path + "' cannot be rendered: it does not support processReplacing "
                          "(effFlagsCanReplacing is not set)");
    }
    Dispatch(effOpen);
    Opened = true;
}

TPluginHost::~TPluginHost() {
    if (Resumed) Suspend();
    if (Opened) Dispatch(effClose);   // the plug-in frees its record here
    if (Library) dlclose(Library);
}

VstIntPtr TPluginHost::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) const {
    return Effect->dispatcher(Effect, opcode, index, value, ptr, opt);
}

VstIntPtr VSTCALL TPluginHost::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr,
                                            void*, float) {
    // During the entry call the record is not yet tagged: only the version is answered then.
    TPluginHost* host = effect ? reinterpret_cast<TPluginHost*>(effect->resvd1) : nullptr;
    switch (opcode) {
    case audioMasterVersion: return kHostVersion;
    case audioMasterWantMidi: return 1;
    case audioMasterGetTime: return host ? reinterpret_cast<VstIntPtr>(&host->Time) : 0;
    default: return 0;
    }
}

void TPluginHost::Configure(double sampleRate, int maxBlock, double bpm) {
    MaxBlock = maxBlock;
    Dispatch(effSetSampleRate, 0, 0, nullptr, float(sampleRate));
    Dispatch(effSetBlockSize, 0, maxBlock);

    Time = VstTimeInfo{};
    Time.sampleRate = sampleRate;
    Time.tempo = bpm;
    Time.timeSigNumerator = 4;
    Time.timeSigDenominator = 4;
    Time.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;

    // Hand the plug-in at least stereo in and out, whatever it declares; extra inputs stay silent.
    const size_t ins = size_t(std::max(Effect->numInputs, 2));
    const size_t outs = size_t(std::max(Effect->numOutputs, 2));
    InBuffers.assign(ins, std::vector<float>(size_t(maxBlock), 0.0f));
    OutBuffers.assign(outs, std::vector<float>(size_t(maxBlock), 0.0f));
    InPtrs.clear();
    OutPtrs.clear();
    for (auto& b : InBuffers) InPtrs.push_back(b.data());
    for (auto& b : OutBuffers) OutPtrs.push_back(b.data());
}

void TPluginHost::Resume() {
    Dispatch(effMainsChanged, 0, 1);
    Resumed = true;
}

void TPluginHost::Suspend() {
    Dispatch(effMainsChanged, 0, 0);
    Resumed = false;
}

std::string TPluginHost::ReadString(VstInt32 opcode, VstInt32 index, size_t limit) const {
    char buffer[kStringBuffer] = {};
    Dispatch(opcode, index, 0, buffer);
    buffer[std::min(limit, kStringBuffer - 1)] = '\0';
    return std::string(buffer, strnlen(buffer, kStringBuffer));
}

std::vector<std::string> TPluginHost::ParamNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < Effect->numParams; ++i)
        names.push_back(ReadString(effGetParamName, i, kHostParamStrBuffer));
    return names;
}

std::string TPluginHost::ParamDisplay(int index) const {
    return ReadString(effGetParamDisplay, index, kHostParamStrBuffer);
}

std::string TPluginHost::ParamLabel(int index) const {
    return ReadString(effGetParamLabel, index, kHostParamStrBuffer);
}

std::string TPluginHost::ProgramName(int program) const {
    char buffer[kStringBuffer] = {};
    if (Dispatch(effGetProgramNameIndexed, program, -1, buffer) == 0) return {};
    buffer[kVstMaxProgNameLen] = '\0';
    return buffer;
}

std::string TPluginHost::EffectName() const {
    return ReadString(effGetEffectName, 0, kVstMaxEffectNameLen);
}

void TPluginHost::SetProgram(int program) { Dispatch(effSetProgram, 0, program); }

void TPluginHost::SetParameter(int index, float value) { Effect->setParameter(Effect, index, value); }

float TPluginHost::GetParameter(int index) const { return Effect->getParameter(Effect, index); }

void TPluginHost::SendEvents(const std::vector<TimedEvent>& events) {
    if (events.empty()) return;
    MidiEvents.assign(events.size(), VstMidiEvent{});
    for (size_t i = 0; i < events.size(); ++i) {
        VstMidiEvent& m = MidiEvents[i];
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.deltaFrames = 0;   // each block starts on its events' sample
        m.flags = 1;         // realtime: played, not recorded
        for (int b = 0; b < 3; ++b) m.midiData[b] = char(events[i].Bytes[b]);
    }
    // The record's pointer array runs past its declared two entries, so size it by hand.
    const size_t header = offsetof(VstEvents, events);
    const size_t bytes = header + events.size() * sizeof(VstEvent*);
    EventList.assign((bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t), {});
    auto* list = new (EventList.data()) VstEvents{};
    list->numEvents = VstInt32(events.size());
    auto* slots = reinterpret_cast<unsigned char*>(list) + header;
    for (size_t i = 0; i < events.size(); ++i) {
        VstEvent* e = reinterpret_cast<VstEvent*>(&MidiEvents[i]);
        std::memcpy(slots + i * sizeof(VstEvent*), &e, sizeof e);
    }
    Dispatch(effProcessEvents, 0, 0, list);
}

void TPluginHost::Process(const float* left, const float* right, float* outLeft, float* outRight,
                          int frames, int64_t samplePos) {
    Time.samplePos = double(samplePos);
    Time.ppqPos = double(samplePos) / Time.sampleRate * Time.tempo / 60.0;
    Time.barStartPos = std::floor(Time.ppqPos / 4.0) * 4.0;
    const size_t n = size_t(frames);
    std::copy(left, left + n, InBuffers[0].begin());
    std::copy(right, right + n, InBuffers[1].begin());
    for (auto& b : OutBuffers) std::fill(b.begin(), b.begin() + std::ptrdiff_t(n), 0.0f);
    Effect->processReplacing(Effect, InPtrs.data(), OutPtrs.data(), frames);
    const bool mono = Effect->numOutputs == 1;
    std::copy(OutBuffers[0].begin(), OutBuffers[0].begin() + std::ptrdiff_t(n), outLeft);
    std::copy(OutBuffers[mono ? 0 : 1].begin(), OutBuffers[mono ? 0 : 1].begin() + std::ptrdiff_t(n),
              outRight);
}

}  // namespace qbfx::render
