// A small LV2 host for the tests: loads the built bundle's library, maps URIDs, connects the
// ports to its own buffers and writes the atom sequence (MIDI and time:Position) of each run.
#pragma once

#include "lv2/Lv2Layout.h"

#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <dlfcn.h>

#include <array>
#include <cstring>
#include <map>
#include <string>
#include <vector>

class Lv2UridMap {
public:
    LV2_URID Map(const char* uri) {
        for (size_t i = 0; i < Uris.size(); ++i)
            if (Uris[i] == uri) return LV2_URID(i + 1);
        Uris.emplace_back(uri);
        return LV2_URID(Uris.size());
    }
    static LV2_URID MapEntry(LV2_URID_Map_Handle h, const char* uri) { return static_cast<Lv2UridMap*>(h)->Map(uri); }
    LV2_URID_Map Feature{this, &MapEntry};

private:
    std::vector<std::string> Uris;
};

class Lv2Rig {
public:
    static constexpr uint32_t kMaxFrames = 4096;

    Lv2Rig(const std::string& library, double rate) {
        Library = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!Library) return;
        auto entry = reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(dlsym(Library, "lv2_descriptor"));
        Descriptor = entry ? entry(0) : nullptr;
        if (!Descriptor) return;
        const std::string bundle = library.substr(0, library.rfind('/') + 1);
        const LV2_Feature map{LV2_URID__map, &Urids.Feature};
        const LV2_Feature* features[] = {&map, nullptr};
        Handle = Descriptor->instantiate(Descriptor, rate, bundle.c_str(), features);
        if (!Handle) return;
        lv2_atom_forge_init(&Forge, &Urids.Feature);
        // The controls start where a host puts them, at the defaults: the effect's own values.
        AEffect* effect = static_cast<TLv2Bridge*>(Handle)->Effect;
        for (size_t i = 0; i < kLv2Controls.size(); ++i) Controls[i] = effect->getParameter(effect, kLv2Controls[i].Param);
        Descriptor->connect_port(Handle, kPortInL, InL.data());
        Descriptor->connect_port(Handle, kPortInR, InR.data());
        Descriptor->connect_port(Handle, kPortOutL, OutL.data());
        Descriptor->connect_port(Handle, kPortOutR, OutR.data());
        Descriptor->connect_port(Handle, kPortEvents, Sequence.data());
        Descriptor->connect_port(Handle, kPortLatency, &Latency);
        for (size_t i = 0; i < kLv2Controls.size(); ++i)
            Descriptor->connect_port(Handle, uint32_t(kPortFirstControl + i), &Controls[i]);
        Descriptor->activate(Handle);
        BeginEvents();
    }
    ~Lv2Rig() {
        if (Handle) {
            Descriptor->deactivate(Handle);
            Descriptor->cleanup(Handle);
        }
        if (Library) dlclose(Library);
    }
    Lv2Rig(const Lv2Rig&) = delete;
    Lv2Rig& operator=(const Lv2Rig&) = delete;

    bool Ok() const { return Handle != nullptr; }
    LV2_URID Urid(const char* uri) { return Urids.Map(uri); }

    void SetControl(int32_t param, float value) {
        const int32_t port = Lv2PortOfParam(param);
        if (port >= 0) Controls[size_t(port - kPortFirstControl)] = value;
    }

    // Events for the next run, in frame order.
    void Midi(uint32_t frame, std::vector<uint8_t> bytes) {
        lv2_atom_forge_frame_time(&Forge, frame);
        lv2_atom_forge_atom(&Forge, uint32_t(bytes.size()), Urid(LV2_MIDI__MidiEvent));
        if (!bytes.empty()) lv2_atom_forge_write(&Forge, bytes.data(), uint32_t(bytes.size()));
    }
    void Position(uint32_t frame, float bpm, float speed, double beat) {
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time(&Forge, frame);
        lv2_atom_forge_object(&Forge, &object, 0, Urid(LV2_TIME__Position));
        lv2_atom_forge_key(&Forge, Urid(LV2_TIME__beatsPerMinute));
        lv2_atom_forge_float(&Forge, bpm);
        lv2_atom_forge_key(&Forge, Urid(LV2_TIME__speed));
        lv2_atom_forge_float(&Forge, speed);
        lv2_atom_forge_key(&Forge, Urid(LV2_TIME__beat));
        lv2_atom_forge_double(&Forge, beat);
        lv2_atom_forge_pop(&Forge, &object);
    }

    // One run over `frames` of the input buffers; the queued events go with it.
    void Run(uint32_t frames) {
        lv2_atom_forge_pop(&Forge, &SequenceFrame);
        Descriptor->run(Handle, frames);
        BeginEvents();
    }

    // The state extension through a plain key/value store.
    struct Stored {
        std::vector<uint8_t> Bytes;
        uint32_t Type;
    };
    using Store = std::map<uint32_t, Stored>;
    Store Save() {
        Store s;
        State()->save(Handle, &StoreEntry, &s, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
        return s;
    }
    void Restore(Store& s) { State()->restore(Handle, &RetrieveEntry, &s, 0, nullptr); }
    float SavedFloat(Store& s, const char* key) {
        auto it = s.find(Urid((std::string(kLv2StatePrefix) + key).c_str()));
        float v = -1.0f;
        if (it != s.end() && it->second.Bytes.size() == sizeof v) std::memcpy(&v, it->second.Bytes.data(), sizeof v);
        return v;
    }

    LV2_Handle Instance() const { return Handle; }

    std::array<float, kMaxFrames> InL{}, InR{}, OutL{}, OutR{};
    std::array<float, kLv2Controls.size()> Controls{};
    float Latency = -1.0f;

private:
    void BeginEvents() {
        lv2_atom_forge_set_buffer(&Forge, reinterpret_cast<uint8_t*>(Sequence.data()), Sequence.size() * 8);
        lv2_atom_forge_sequence_head(&Forge, &SequenceFrame, 0);
    }
    const LV2_State_Interface* State() {
        return static_cast<const LV2_State_Interface*>(Descriptor->extension_data(LV2_STATE__interface));
    }
    static LV2_State_Status StoreEntry(LV2_State_Handle h, uint32_t key, const void* value, size_t size,
                                       uint32_t type, uint32_t) {
        auto* s = static_cast<Store*>(h);
        const auto* b = static_cast<const uint8_t*>(value);
        (*s)[key] = Stored{std::vector<uint8_t>(b, b + size), type};
        return LV2_STATE_SUCCESS;
    }
    static const void* RetrieveEntry(LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
                                     uint32_t* flags) {
        auto* s = static_cast<Store*>(h);
        auto it = s->find(key);
        if (it == s->end()) return nullptr;
        *size = it->second.Bytes.size();
        *type = it->second.Type;
        *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return it->second.Bytes.data();
    }

    void* Library = nullptr;
    const LV2_Descriptor* Descriptor = nullptr;
    LV2_Handle Handle = nullptr;
    Lv2UridMap Urids;
    LV2_Atom_Forge Forge{};
    LV2_Atom_Forge_Frame SequenceFrame{};
    std::array<uint64_t, 8192> Sequence{};   // 64 KB, 8-byte aligned as atoms want
};
