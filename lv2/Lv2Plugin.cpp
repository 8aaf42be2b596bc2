// The LV2 edition: a thin host shell around the same effect object. It builds the effect through
// the VST entry path (CreateEffect with its own host callback) and drives it as a VST 2 host does:
// control ports become setParameter calls, MIDI atoms an effProcessEvents record, time:Position
// atoms the time information the effect asks for once per block, each run one processReplacing.
// run() allocates nothing, takes no lock and makes no system call.
#include "lv2/Lv2Layout.h"
#include "plugin/uPlugin.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <type_traits>

#if defined(QBFX_WITH_EDITOR)
#include "editor/PluginEditorWindow.h"
static constexpr TEditorFormFactory kEditorForm = &CreatePluginEditorWindow;
#else
static constexpr TEditorFormFactory kEditorForm = nullptr;
#endif

namespace {

// MIDI messages handed on per run; a block with more drops the rest (a VST host's event record
// is bounded too).
constexpr int32_t kMaxEventsPerRun = 1024;
// The block size announced when the host gives none; the framework splits longer blocks anyway.
constexpr int32_t kDefaultBlockSize = 4096;

struct TUrids {
    LV2_URID AtomFloat, AtomDouble, AtomInt, AtomLong, AtomObject, AtomBlank, MidiEvent;
    LV2_URID TimePosition, TimeBpm, TimeSpeed, TimeBar, TimeBarBeat, TimeBeat, TimeBeatsPerBar, TimeBeatUnit;
    LV2_URID MaxBlock, NominalBlock;
    std::array<LV2_URID, kLv2StateKeys.size()> State;
};

// The transport as the host last described it, carried forward between positions.
struct TTransport {
    bool HasTempo = false, HasPosition = false;
    double Bpm = 120.0, Speed = 0.0, Ppq = 0.0, BeatsPerBar = 4.0, BeatUnit = 4.0;
    double SamplePos = 0.0;
};

struct TEventRecord {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[kMaxEventsPerRun];
};

struct TLv2Instance {
    TLv2Bridge Bridge;   // first: the UI reads it through the instance handle
    AEffect* Effect = nullptr;
    APlugin* Plugin = nullptr;
    double Rate = 44100.0;
    TUrids U{};
    TTransport Transport;
    VstTimeInfo Time{};
    bool TimeValid = false;
    TEventRecord Events{};
    std::array<VstMidiEvent, kMaxEventsPerRun> MidiRecords{};
    const float* AudioIn[2] = {nullptr, nullptr};
    float* AudioOut[2] = {nullptr, nullptr};
    const LV2_Atom_Sequence* EventsIn = nullptr;
    std::array<const float*, kLv2Controls.size()> Controls{};
    std::array<float, kLv2Controls.size()> LastControl{};
    float* Latency = nullptr;
};

// The UI reads the bridge at the instance handle's address.
static_assert(std::is_standard_layout_v<TLv2Instance> && offsetof(TLv2Instance, Bridge) == 0);

TLv2Instance* FromEffect(AEffect* e) { return e ? reinterpret_cast<TLv2Instance*>(e->resvd1) : nullptr; }

// The host side of the effect's callback. During construction the effect calls with no record.
VstIntPtr VSTCALL HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*,
                               float opt) noexcept {
    TLv2Instance* self = FromEffect(effect);
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterWantMidi: return 1;
    case audioMasterGetTime: return self && self->TimeValid ? reinterpret_cast<VstIntPtr>(&self->Time) : 0;
    case audioMasterAutomate:
        if (self && self->Bridge.UiAutomate) self->Bridge.UiAutomate(self->Bridge.UiHandle, index, opt);
        return 0;
    case audioMasterSizeWindow:
        if (!self || !self->Bridge.UiResize) return 0;
        self->Bridge.UiResize(self->Bridge.UiHandle, index, int32_t(value));
        return 1;
    default: return 0;
    }
}

bool AtomNumber(const TUrids& u, const LV2_Atom* a, double& out) {
    if (!a) return false;
    if (a->type == u.AtomFloat && a->size >= sizeof(float))
        out = double(reinterpret_cast<const LV2_Atom_Float*>(a)->body);
    else if (a->type == u.AtomDouble && a->size >= sizeof(double))
        out = reinterpret_cast<const LV2_Atom_Double*>(a)->body;
    else if (a->type == u.AtomInt && a->size >= sizeof(int32_t))
        out = double(reinterpret_cast<const LV2_Atom_Int*>(a)->body);
    else if (a->type == u.AtomLong && a->size >= sizeof(int64_t))
        out = double(reinterpret_cast<const LV2_Atom_Long*>(a)->body);
    else
        return false;
    return std::isfinite(out);
}

// Quarter notes the transport moves over `frames` samples at its tempo and speed.
double QuarterNotesOver(const TTransport& t, double frames, double rate) {
    return frames * t.Bpm * t.Speed * (4.0 / t.BeatUnit) / (60.0 * rate);
}

// A time:Position at `frame` of the block: the transport at the block's start.
void ReadPosition(TLv2Instance& self, const LV2_Atom_Object* obj, int64_t frame) {
    const TUrids& u = self.U;
    const LV2_Atom *bpm = nullptr, *speed = nullptr, *bar = nullptr, *barBeat = nullptr, *beat = nullptr,
                   *beatsPerBar = nullptr, *beatUnit = nullptr;
    lv2_atom_object_get(obj, u.TimeBpm, &bpm, u.TimeSpeed, &speed, u.TimeBar, &bar, u.TimeBarBeat, &barBeat,
                        u.TimeBeat, &beat, u.TimeBeatsPerBar, &beatsPerBar, u.TimeBeatUnit, &beatUnit, 0);
    TTransport& t = self.Transport;
    double x = 0.0;
    if (AtomNumber(u, bpm, x) && x > 0.0) {
        t.Bpm = x;
        t.HasTempo = true;
    }
    if (AtomNumber(u, speed, x)) t.Speed = x;
    if (AtomNumber(u, beatsPerBar, x) && x > 0.0) t.BeatsPerBar = x;
    if (AtomNumber(u, beatUnit, x) && x > 0.0) t.BeatUnit = x;
    double beats = 0.0, barNumber = 0.0, inBar = 0.0;
    bool position = AtomNumber(u, beat, beats);
    if (!position && AtomNumber(u, bar, barNumber) && AtomNumber(u, barBeat, inBar)) {
        beats = barNumber * t.BeatsPerBar + inBar;
        position = true;
    }
    if (position) {
        t.Ppq = beats * (4.0 / t.BeatUnit);
        if (frame > 0) t.Ppq -= QuarterNotesOver(t, double(frame), self.Rate);
        t.HasPosition = true;
    }
}

// What the effect reads when it asks for the time at the start of this block.
void PublishTime(TLv2Instance& self) {
    const TTransport& t = self.Transport;
    self.TimeValid = t.HasTempo || t.HasPosition;
    VstTimeInfo& info = self.Time;
    info.samplePos = t.SamplePos;
    info.sampleRate = self.Rate;
    info.ppqPos = t.Ppq;
    info.tempo = t.Bpm;
    info.timeSigNumerator = int32_t(t.BeatsPerBar);
    info.timeSigDenominator = int32_t(t.BeatUnit);
    info.flags = (t.HasTempo ? kVstTempoValid : 0) | (t.HasPosition ? kVstPpqPosValid : 0) |
                 (t.Speed != 0.0 ? kVstTransportPlaying : 0);
}

void AdvanceTime(TLv2Instance& self, uint32_t frames) {
    TTransport& t = self.Transport;
    if (t.Speed == 0.0) return;
    t.SamplePos += double(frames) * t.Speed;
    if (t.HasPosition) t.Ppq += QuarterNotesOver(t, double(frames), self.Rate);
}

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) noexcept {
    const LV2_URID_Map* map = nullptr;
    const LV2_Options_Option* options = nullptr;
    for (int i = 0; features && features[i]; ++i) {
        if (!std::strcmp(features[i]->URI, LV2_URID__map)) map = static_cast<const LV2_URID_Map*>(features[i]->data);
        if (!std::strcmp(features[i]->URI, LV2_OPTIONS__options))
            options = static_cast<const LV2_Options_Option*>(features[i]->data);
    }
    if (!map || !std::isfinite(rate) || rate <= 0.0) return nullptr;
    TLv2Instance* self = nullptr;
    try {
        self = new TLv2Instance;
    } catch (...) {
        return nullptr;
    }
    TUrids& u = self->U;
    auto m = [map](const char* uri) { return map->map(map->handle, uri); };
    u.AtomFloat = m(LV2_ATOM__Float);
    u.AtomDouble = m(LV2_ATOM__Double);
    u.AtomInt = m(LV2_ATOM__Int);
    u.AtomLong = m(LV2_ATOM__Long);
    u.AtomObject = m(LV2_ATOM__Object);
    u.AtomBlank = m(LV2_ATOM__Blank);
    u.MidiEvent = m(LV2_MIDI__MidiEvent);
    u.TimePosition = m(LV2_TIME__Position);
    u.TimeBpm = m(LV2_TIME__beatsPerMinute);
    u.TimeSpeed = m(LV2_TIME__speed);
    u.TimeBar = m(LV2_TIME__bar);
    u.TimeBarBeat = m(LV2_TIME__barBeat);
    u.TimeBeat = m(LV2_TIME__beat);
    u.TimeBeatsPerBar = m(LV2_TIME__beatsPerBar);
    u.TimeBeatUnit = m(LV2_TIME__beatUnit);
    u.MaxBlock = m(LV2_BUF_SIZE__maxBlockLength);
    u.NominalBlock = m(LV2_BUF_SIZE__nominalBlockLength);
    char key[128];
    for (size_t i = 0; i < kLv2StateKeys.size(); ++i) {
        std::snprintf(key, sizeof key, "%s%s", kLv2StatePrefix, kLv2StateKeys[i].Key);
        u.State[i] = m(key);
    }

    int32_t block = kDefaultBlockSize;
    for (int i = 0; options && options[i].key; ++i)
        if ((options[i].key == u.MaxBlock || options[i].key == u.NominalBlock) && options[i].type == u.AtomInt &&
            options[i].size == sizeof(int32_t)) {
            const int32_t b = *static_cast<const int32_t*>(options[i].value);
            if (b > 0) block = b;
        }

    AEffect* effect = CreateEffect(&HostCallback, kEditorForm);
    if (!effect) {
        delete self;
        return nullptr;
    }
    self->Effect = effect;
    self->Plugin = static_cast<APlugin*>(AudioEffect::FromRecord(effect));
    self->Bridge.Effect = effect;
    self->Rate = rate;
    effect->resvd1 = reinterpret_cast<VstIntPtr>(self);   // the host's own word in the record
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, float(rate));
    effect->dispatcher(effect, effSetBlockSize, 0, block, nullptr, 0.0f);
    for (size_t i = 0; i < kLv2Controls.size(); ++i)
        self->LastControl[i] = effect->getParameter(effect, kLv2Controls[i].Param);
    for (int32_t i = 0; i < kMaxEventsPerRun; ++i) {
        self->MidiRecords[size_t(i)].type = kVstMidiType;
        self->MidiRecords[size_t(i)].byteSize = sizeof(VstMidiEvent);
        self->Events.events[i] = reinterpret_cast<VstEvent*>(&self->MidiRecords[size_t(i)]);
    }
    return self;
}

void ConnectPort(LV2_Handle handle, uint32_t port, void* data) noexcept {
    auto* self = static_cast<TLv2Instance*>(handle);
    switch (port) {
    case kPortInL: self->AudioIn[0] = static_cast<const float*>(data); break;
    case kPortInR: self->AudioIn[1] = static_cast<const float*>(data); break;
    case kPortOutL: self->AudioOut[0] = static_cast<float*>(data); break;
    case kPortOutR: self->AudioOut[1] = static_cast<float*>(data); break;
    case kPortEvents: self->EventsIn = static_cast<const LV2_Atom_Sequence*>(data); break;
    case kPortLatency: self->Latency = static_cast<float*>(data); break;
    default:
        if (port >= kPortFirstControl && port < kPortLatency)
            self->Controls[port - kPortFirstControl] = static_cast<const float*>(data);
        break;
    }
}

void Activate(LV2_Handle handle) noexcept {
    auto* self = static_cast<TLv2Instance*>(handle);
    self->Effect->dispatcher(self->Effect, effMainsChanged, 0, 1, nullptr, 0.0f);
}

void Deactivate(LV2_Handle handle) noexcept {
    auto* self = static_cast<TLv2Instance*>(handle);
    self->Effect->dispatcher(self->Effect, effMainsChanged, 0, 0, nullptr, 0.0f);
}

// Walks the atom sequence: positions update the transport, MIDI messages fill the event record.
int32_t ReadEvents(TLv2Instance& self) {
    int32_t count = 0;
    if (!self.EventsIn) return 0;
    const TUrids& u = self.U;
    LV2_ATOM_SEQUENCE_FOREACH(self.EventsIn, ev) {
        const LV2_Atom& body = ev->body;
        if (body.type == u.MidiEvent) {
            if (body.size < 1 || body.size > 3 || count >= kMaxEventsPerRun) continue;
            const auto* bytes = static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&body));
            VstMidiEvent& m = self.MidiRecords[size_t(count)];
            m.deltaFrames = int32_t(ev->time.frames);
            for (uint32_t i = 0; i < 4; ++i) m.midiData[i] = char(i < body.size ? bytes[i] : 0);
            ++count;
        } else if (body.type == u.AtomObject || body.type == u.AtomBlank) {
            const auto* obj = reinterpret_cast<const LV2_Atom_Object*>(&body);
            if (obj->body.otype == u.TimePosition) ReadPosition(self, obj, ev->time.frames);
        }
    }
    return count;
}

void Run(LV2_Handle handle, uint32_t frames) noexcept {
    auto* self = static_cast<TLv2Instance*>(handle);
    AEffect* e = self->Effect;
    if (self->Latency) *self->Latency = 0.0f;
    const int32_t midi = ReadEvents(*self);
    PublishTime(*self);
    // A control the host moved is set as a VST host sets a parameter; one the effect already holds
    // (the editor moved it and the host echoes it back) is left alone.
    for (size_t i = 0; i < kLv2Controls.size(); ++i) {
        if (!self->Controls[i]) continue;
        const float v = *self->Controls[i];
        if (v == self->LastControl[i]) continue;
        self->LastControl[i] = v;
        if (e->getParameter(e, kLv2Controls[i].Param) != v) e->setParameter(e, kLv2Controls[i].Param, v);
    }
    if (midi > 0) {
        self->Events.numEvents = midi;
        e->dispatcher(e, effProcessEvents, 0, 0, &self->Events, 0.0f);
    }
    if (frames > 0) {
        float* in[2] = {const_cast<float*>(self->AudioIn[0]), const_cast<float*>(self->AudioIn[1])};
        e->processReplacing(e, in, self->AudioOut, int32_t(frames));
    }
    AdvanceTime(*self, frames);
}

void Cleanup(LV2_Handle handle) noexcept {
    auto* self = static_cast<TLv2Instance*>(handle);
    self->Effect->dispatcher(self->Effect, effClose, 0, 0, nullptr, 0.0f);
    delete self;
}

LV2_State_Status Save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                      const LV2_Feature* const*) noexcept {
    auto* self = static_cast<TLv2Instance*>(handle);
    for (size_t i = 0; i < kLv2StateKeys.size(); ++i) {
        const float v = self->Effect->getParameter(self->Effect, kLv2StateKeys[i].Param);
        store(state, self->U.State[i], &v, sizeof v, self->U.AtomFloat, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    }
    return LV2_STATE_SUCCESS;
}

// Keys are set in parameter order, as a VST host restores a session; missing ones keep their value.
LV2_State_Status Restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state,
                         uint32_t, const LV2_Feature* const*) noexcept {
    auto* self = static_cast<TLv2Instance*>(handle);
    const TUrids& u = self->U;
    for (size_t i = 0; i < kLv2StateKeys.size(); ++i) {
        size_t size = 0;
        uint32_t type = 0, flags = 0;
        const void* value = retrieve(state, u.State[i], &size, &type, &flags);
        if (!value) continue;
        float v;
        if (type == u.AtomFloat && size == sizeof(float))
            std::memcpy(&v, value, sizeof v);
        else if (type == u.AtomDouble && size == sizeof(double)) {
            double d;
            std::memcpy(&d, value, sizeof d);
            v = float(d);
        } else
            continue;
        self->Effect->setParameter(self->Effect, kLv2StateKeys[i].Param, v);
    }
    // The maximum mix levels that MIDI triggers open to follow the restored parameters at once,
    // not only once an editor has been open.
    if (self->Plugin)
        for (int32_t k = 0; k < kNumEffects; ++k)
            self->Plugin->MaxMix[size_t(k)] = self->Effect->getParameter(self->Effect, kFx1MaxMix + k);
    return LV2_STATE_SUCCESS;
}

const void* ExtensionData(const char* uri) noexcept {
    static const LV2_State_Interface state = {Save, Restore};
    if (uri && !std::strcmp(uri, LV2_STATE__interface)) return &state;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {kLv2PluginUri, Instantiate, ConnectPort, Activate, Run,
                                    Deactivate,    Cleanup,     ExtensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
