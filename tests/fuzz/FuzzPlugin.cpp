// libFuzzer target: the input bytes are a script of host actions on one in-process instance,
// driven through its record as a host would: dispatcher opcodes with any index, value and opt
// (pointers always to real buffers of the right kind), parameter writes and reads, MIDI event
// lists, blocks of 0..5000 frames of any samples, and changes of time information and rate.
// Besides the sanitizers' own checks: parameters always read back within 0..1, and while every
// input sample so far was within +-1e4 (or not a number, which counts as silence) every output
// sample is finite.
#include "plugin/uPlugin.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

class Script {
public:
    Script(const uint8_t* data, size_t size) : Data(data), Size(size) {}
    bool Done() const { return At >= Size; }
    uint8_t Byte() { return At < Size ? Data[At++] : 0; }
    uint16_t U16() { return uint16_t(Byte() | (Byte() << 8)); }
    uint32_t U32() { return uint32_t(U16()) | (uint32_t(U16()) << 16); }
    uint64_t U64() { return uint64_t(U32()) | (uint64_t(U32()) << 32); }
    float AnyFloat() {
        const uint32_t bits = U32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    double AnyDouble() {
        const uint64_t bits = U64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    // Mostly a value a host might send, sometimes any bit pattern.
    float Value() {
        const uint8_t k = Byte();
        if (k < 160) return float(k) / 159.0f;
        if (k < 200) return AnyFloat();
        const float odd[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), -1.0f, 2.0f, 1e30f, -0.0f, 1e-40f};
        return odd[k % 8];
    }
    double Rate() {
        const double rates[] = {44100.0, 48000.0, 96000.0, 192000.0, 0.0, -1.0,
                                std::numeric_limits<double>::quiet_NaN(), 1e9, 384000.0, 22050.0, 1.0};
        const uint8_t k = Byte();
        return k < 11 * 20 ? rates[k % 11] : AnyDouble();
    }

private:
    const uint8_t* Data;
    size_t Size;
    size_t At = 0;
};

VstTimeInfo Time{};
bool ServeTime = true;

VstIntPtr VSTCALL HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetTime: return ServeTime ? reinterpret_cast<VstIntPtr>(&Time) : 0;
    case audioMasterWantMidi: return 1;
    default: return 0;
    }
}

void Check(bool ok) {
    if (!ok) std::abort();
}

constexpr int32_t kMaxFrames = 5000;

struct Session {
    AEffect* Effect = nullptr;
    std::vector<float> InL = std::vector<float>(kMaxFrames), InR = std::vector<float>(kMaxFrames);
    std::vector<float> OutL = std::vector<float>(kMaxFrames), OutR = std::vector<float>(kMaxFrames);
    std::vector<char> Scratch = std::vector<char>(4096);
    bool Loud = false;   // an input sample beyond +-1e4 has been given

    void Dispatch(Script& s) {
        const int32_t opcode = s.Byte() % 80;
        const auto index = int32_t(s.U32());
        const auto value = VstIntPtr(int64_t(s.U64()));
        const float opt = s.Byte() < 128 ? float(s.Rate()) : s.AnyFloat();
        if (opcode == effClose) return;   // ends the instance: done once, at the end
        if (opcode == effProcessEvents) {
            Events(s);
            return;
        }
        // Any other opcode gets a zeroed buffer large enough for any text or record it may fill,
        // with some text from the script at its start (a capability or program name to read).
        std::memset(Scratch.data(), 0, Scratch.size());
        const size_t text = s.Byte() % 100;
        for (size_t i = 0; i < text; ++i) Scratch[i] = char(s.Byte());
        Effect->dispatcher(Effect, opcode, index, value, Scratch.data(), opt);
        Check(Scratch.back() == 0);
    }

    void Events(Script& s) {
        const int32_t count = s.Byte() % 17;
        std::vector<VstMidiEvent> records(size_t(count) + 1);
        std::vector<char> storage(offsetof(VstEvents, events) + (size_t(count) + 2) * sizeof(VstEvent*));
        auto* list = reinterpret_cast<VstEvents*>(storage.data());
        list->numEvents = count;
        list->reserved = 0;
        auto** slots = reinterpret_cast<VstEvent**>(storage.data() + offsetof(VstEvents, events));
        for (int32_t i = 0; i < count; ++i) {
            VstMidiEvent& e = records[size_t(i)];
            std::memset(&e, 0, sizeof e);
            const uint8_t kind = s.Byte();
            e.type = kind < 200 ? kVstMidiType : (kind < 230 ? kVstSysExType : int32_t(s.U32()));
            e.byteSize = sizeof(VstMidiEvent);
            e.deltaFrames = int32_t(s.U16()) - 100;
            const uint8_t shape = s.Byte();
            if (shape < 100) {   // a note in the trigger range
                e.midiData[0] = char((shape < 50 ? 0x90 : 0x80) | (s.Byte() & 15));
                e.midiData[1] = char(35 + s.Byte() % 26);
                e.midiData[2] = char(s.Byte() % 128);
            } else if (shape < 150) {   // the hold controller
                e.midiData[0] = char(0xB0 | (s.Byte() & 15));
                e.midiData[1] = 64;
                e.midiData[2] = char(s.Byte() % 2 ? 127 : 0);
            } else {
                for (int b = 0; b < 4; ++b) e.midiData[b] = char(s.Byte());
            }
            slots[i] = s.Byte() < 250 ? reinterpret_cast<VstEvent*>(&e) : nullptr;
        }
        slots[count] = nullptr;
        Effect->dispatcher(Effect, effProcessEvents, 0, 0, list, 0.0f);
    }

    void Block(Script& s) {
        const int32_t n = s.U16() % (kMaxFrames + 1);
        const uint8_t fill = s.Byte();
        for (int32_t i = 0; i < n; ++i) {
            float l, r;
            if (fill < 64) {
                l = r = 0.0f;
            } else if (fill < 160) {   // a tone at a level from the script
                const float level = float(fill - 64) / 96.0f;
                l = level * float(std::sin(0.05 * i));
                r = level * float(std::cos(0.031 * i));
            } else if (fill < 200 || s.Done()) {   // a tone with a few samples from the script
                l = r = float(std::sin(0.01 * i));
                if (i % 97 == 0) l = s.AnyFloat();
            } else {
                l = s.AnyFloat();
                r = s.AnyFloat();
            }
            InL[size_t(i)] = l;
            InR[size_t(i)] = r;
            if (std::fabs(l) > 1e4f || std::fabs(r) > 1e4f) Loud = true;   // NaN compares false
        }
        const uint8_t how = s.Byte();
        float* in[2] = {InL.data(), InR.data()};
        float* out[2] = {OutL.data(), OutR.data()};
        std::memset(OutL.data(), 0, sizeof(float) * size_t(n));
        std::memset(OutR.data(), 0, sizeof(float) * size_t(n));
        if (how < 200)
            Effect->processReplacing(Effect, in, out, n);
        else if (how < 240)
            Effect->process(Effect, in, out, n);
        else   // a host with no input buffers at all
            Effect->processReplacing(Effect, nullptr, out, n);
        if (!Loud)
            for (int32_t i = 0; i < n; ++i) Check(std::isfinite(OutL[size_t(i)]) && std::isfinite(OutR[size_t(i)]));
        if (std::isfinite(Time.tempo) && std::isfinite(Time.sampleRate) && Time.sampleRate > 0.0)
            Time.ppqPos += n * Time.tempo / (60.0 * Time.sampleRate);
        Time.samplePos += n;
    }

    void ChangeTime(Script& s) {
        const uint8_t what = s.Byte();
        switch (what % 6) {
        case 0: Time.tempo = s.Byte() < 200 ? 20.0 + s.Byte() * 1.1 : s.AnyDouble(); break;
        case 1: Time.ppqPos = s.Byte() < 200 ? s.U16() * 0.25 : s.AnyDouble(); break;
        case 2: Time.flags = s.Byte() < 200 ? (kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying) : int32_t(s.U32()); break;
        case 3: Time.flags ^= kVstTransportPlaying; break;
        case 4: ServeTime = !ServeTime; break;
        default: {
            const double rate = s.Rate();
            Time.sampleRate = rate;
            Effect->dispatcher(Effect, effSetSampleRate, 0, 0, nullptr, float(rate));
            break;
        }
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Script s(data, size);
    Time = VstTimeInfo{};
    Time.sampleRate = 44100.0;
    Time.tempo = 120.0;
    Time.flags = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
    ServeTime = true;
    Session session;
    session.Effect = CreateEffect(&HostCallback, nullptr);
    Check(session.Effect != nullptr);
    AEffect* e = session.Effect;
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    int32_t actions = 0;
    while (!s.Done() && actions++ < 200) {
        switch (s.Byte() % 8) {
        case 0: session.Dispatch(s); break;
        case 1:
        case 2: e->setParameter(e, int32_t(s.Byte()) - 10, s.Value()); break;
        case 3: {
            const float v = e->getParameter(e, int32_t(s.Byte()) - 10);
            Check(v >= 0.0f && v <= 1.0f);
            break;
        }
        case 4: session.Events(s); break;
        case 5:
        case 6: session.Block(s); break;
        default: session.ChangeTime(s); break;
        }
    }
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
