// Our own declarations of the VST 2 binary records, for 32-bit and 64-bit targets.
// Layouts are pinned below so a wrong field type fails the build, not a host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>

#if defined(_WIN32) && !defined(_WIN64)
#define VSTCALL __cdecl
#else
#define VSTCALL
#endif

struct AEffect;

// Pointer-sized where the 64-bit interface widened the record; int32 on 32-bit targets.
using VstIntPtr = intptr_t;
using VstInt32 = int32_t;

using audioMasterCallback = VstIntPtr(VSTCALL*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                VstIntPtr value, void* ptr, float opt);
using AEffectDispatcherProc = VstIntPtr(VSTCALL*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                  VstIntPtr value, void* ptr, float opt);
using AEffectProcessProc = void(VSTCALL*)(AEffect* effect, float** inputs, float** outputs,
                                          VstInt32 sampleFrames);
using AEffectSetParameterProc = void(VSTCALL*)(AEffect* effect, VstInt32 index, float value);
using AEffectGetParameterProc = float(VSTCALL*)(AEffect* effect, VstInt32 index);

constexpr VstInt32 FourCC(char a, char b, char c, char d) {
    return VstInt32((uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) |
                    (uint32_t(uint8_t(c)) << 8) | uint32_t(uint8_t(d)));
}

constexpr VstInt32 kEffectMagic = FourCC('V', 's', 't', 'P');

struct AEffect {
    VstInt32 magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags;
    VstIntPtr resvd1;   // some hosts keep their own pointer here: must stay zero
    VstIntPtr resvd2;
    VstInt32 initialDelay;
    VstInt32 realQualities;
    VstInt32 offQualities;
    float ioRatio;
    void* object;
    void* user;
    VstInt32 uniqueID;
    VstInt32 version;
    AEffectProcessProc processReplacing;
    // Hosts of the 2.4 interface read the first slot as processDoubleReplacing: keep it null.
    char future[sizeof(void*) == 8 ? 64 : 60];
};

enum VstAEffectFlags : VstInt32 {
    effFlagsHasEditor = 1,
    effFlagsHasClip = 2,
    effFlagsHasVu = 4,
    effFlagsCanMono = 8,
    effFlagsCanReplacing = 16,
    effFlagsProgramChunks = 32,
    effFlagsIsSynth = 256,
    effFlagsNoSoundInStop = 512,
    effFlagsExtIsAsync = 1024,
    effFlagsExtHasBuffer = 2048,
};

enum VstEffectOpcode : VstInt32 {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effGetVu = 9,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditIdle = 19,
    effIdentify = 22,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetNumProgramCategories = 28,
    effGetProgramNameIndexed = 29,
    effConnectInput = 31,
    effConnectOutput = 32,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effSetBlockSizeAndSampleRate = 43,
    effGetEffectName = 45,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effCanDo = 51,
    effKeysRequired = 57,
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effSetEditKnobMode = 61,
    effGetCurrentMidiProgram = 63,
    effSetTotalSampleToProcess = 73,
    effLastOpcode = 76,
};

enum VstHostOpcode : VstInt32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterIOChanged = 13,
    audioMasterSizeWindow = 15,
    audioMasterUpdateDisplay = 42,
};

enum VstEventType : VstInt32 { kVstMidiType = 1, kVstSysExType = 6 };

struct VstEvent {
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    char data[16];
};

struct VstMidiEvent {
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 noteLength;
    VstInt32 noteOffset;
    char midiData[4];
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

struct VstEvents {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[2];   // numEvents entries in practice; the host sizes the record
};

enum VstTimeInfoFlags : VstInt32 {
    kVstTransportChanged = 1,
    kVstTransportPlaying = 2,
    kVstTransportCycleActive = 4,
    kVstTransportRecording = 8,
    kVstNanosValid = 256,
    kVstPpqPosValid = 512,
    kVstTempoValid = 1024,
    kVstBarsValid = 2048,
    kVstCyclePosValid = 4096,
    kVstTimeSigValid = 8192,
    kVstSmpteValid = 16384,
    kVstClockValid = 32768,
};

struct VstTimeInfo {
    double samplePos;
    double sampleRate;
    double nanoSeconds;
    double ppqPos;
    double tempo;
    double barStartPos;
    double cycleStartPos;
    double cycleEndPos;
    VstInt32 timeSigNumerator;
    VstInt32 timeSigDenominator;
    VstInt32 smpteOffset;
    VstInt32 smpteFrameRate;
    VstInt32 samplesToNextClock;
    VstInt32 flags;
};

enum VstPinPropertiesFlags : VstInt32 {
    kVstPinIsActive = 1,
    kVstPinIsStereo = 2,
    kVstPinUseSpeaker = 4,
};

struct VstPinProperties {
    char label[64];
    VstInt32 flags;
    VstInt32 arrangementType;
    char shortLabel[8];
    char future[48];
};

struct ERect {
    int16_t top, left, bottom, right;
};

struct VstKeyCode {
    VstInt32 character;
    uint8_t virt;
    uint8_t modifier;
};

// String limits of the interface, in characters without the terminator.
constexpr int kVstMaxProgNameLen = 24;
constexpr int kVstMaxParamStrLen = 8;
constexpr int kVstMaxEffectNameLen = 32;
constexpr int kVstMaxVendorStrLen = 64;
constexpr int kVstMaxProductStrLen = 64;
constexpr int kVstMaxLabelLen = 64;
// What hosts give in practice for parameter texts; our names are at most 30 characters.
constexpr int kHostParamStrBuffer = 64;

#define QBFX_PIN(type, field, off32, off64) \
    static_assert(offsetof(type, field) == (sizeof(void*) == 8 ? (off64) : (off32)), #type "." #field)

QBFX_PIN(AEffect, magic, 0, 0);
QBFX_PIN(AEffect, dispatcher, 4, 8);
QBFX_PIN(AEffect, process, 8, 16);
QBFX_PIN(AEffect, setParameter, 12, 24);
QBFX_PIN(AEffect, getParameter, 16, 32);
QBFX_PIN(AEffect, numPrograms, 20, 40);
QBFX_PIN(AEffect, numParams, 24, 44);
QBFX_PIN(AEffect, numInputs, 28, 48);
QBFX_PIN(AEffect, numOutputs, 32, 52);
QBFX_PIN(AEffect, flags, 36, 56);
QBFX_PIN(AEffect, resvd1, 40, 64);
QBFX_PIN(AEffect, resvd2, 44, 72);
QBFX_PIN(AEffect, initialDelay, 48, 80);
QBFX_PIN(AEffect, realQualities, 52, 84);
QBFX_PIN(AEffect, offQualities, 56, 88);
QBFX_PIN(AEffect, ioRatio, 60, 92);
QBFX_PIN(AEffect, object, 64, 96);
QBFX_PIN(AEffect, user, 68, 104);
QBFX_PIN(AEffect, uniqueID, 72, 112);
QBFX_PIN(AEffect, version, 76, 116);
QBFX_PIN(AEffect, processReplacing, 80, 120);
QBFX_PIN(AEffect, future, 84, 128);
static_assert(sizeof(AEffect) == (sizeof(void*) == 8 ? 192 : 144), "AEffect size");

// The dispatcher's and the host callback's value and result are int32 on 32-bit targets and
// pointer-sized on 64-bit ones; index and opcode stay int32 on both.
template <class Proc> struct TVstProc;
template <class R, class... A> struct TVstProc<R(VSTCALL*)(A...)> {
    using Result = R;
    template <size_t I> using Arg = std::tuple_element_t<I, std::tuple<A...>>;
};
constexpr size_t kVstWideSize = sizeof(void*) == 8 ? 8 : 4;
static_assert(std::is_same_v<audioMasterCallback, AEffectDispatcherProc>, "callback shape");
static_assert(sizeof(TVstProc<AEffectDispatcherProc>::Result) == kVstWideSize, "dispatcher result");
static_assert(sizeof(TVstProc<AEffectDispatcherProc>::Arg<1>) == 4, "dispatcher opcode");
static_assert(sizeof(TVstProc<AEffectDispatcherProc>::Arg<2>) == 4, "dispatcher index");
static_assert(sizeof(TVstProc<AEffectDispatcherProc>::Arg<3>) == kVstWideSize, "dispatcher value");
static_assert(sizeof(TVstProc<AEffectProcessProc>::Arg<3>) == 4, "process sampleFrames");

static_assert(sizeof(VstEvent) == 32, "VstEvent size");
QBFX_PIN(VstMidiEvent, deltaFrames, 8, 8);
QBFX_PIN(VstMidiEvent, noteLength, 16, 16);
QBFX_PIN(VstMidiEvent, noteOffset, 20, 20);
QBFX_PIN(VstMidiEvent, midiData, 24, 24);
QBFX_PIN(VstMidiEvent, detune, 28, 28);
QBFX_PIN(VstMidiEvent, noteOffVelocity, 29, 29);
static_assert(sizeof(VstMidiEvent) == 32, "VstMidiEvent size");
QBFX_PIN(VstEvents, reserved, 4, 8);
QBFX_PIN(VstEvents, events, 8, 16);

QBFX_PIN(VstTimeInfo, samplePos, 0, 0);
QBFX_PIN(VstTimeInfo, sampleRate, 8, 8);
QBFX_PIN(VstTimeInfo, nanoSeconds, 16, 16);
QBFX_PIN(VstTimeInfo, ppqPos, 24, 24);
QBFX_PIN(VstTimeInfo, tempo, 32, 32);
QBFX_PIN(VstTimeInfo, barStartPos, 40, 40);
QBFX_PIN(VstTimeInfo, cycleStartPos, 48, 48);
QBFX_PIN(VstTimeInfo, cycleEndPos, 56, 56);
QBFX_PIN(VstTimeInfo, timeSigNumerator, 64, 64);
QBFX_PIN(VstTimeInfo, timeSigDenominator, 68, 68);
QBFX_PIN(VstTimeInfo, smpteOffset, 72, 72);
QBFX_PIN(VstTimeInfo, smpteFrameRate, 76, 76);
QBFX_PIN(VstTimeInfo, samplesToNextClock, 80, 80);
QBFX_PIN(VstTimeInfo, flags, 84, 84);
static_assert(sizeof(VstTimeInfo) == 88, "VstTimeInfo size");

QBFX_PIN(VstPinProperties, flags, 64, 64);
QBFX_PIN(VstPinProperties, arrangementType, 68, 68);
QBFX_PIN(VstPinProperties, shortLabel, 72, 72);
QBFX_PIN(VstPinProperties, future, 80, 80);
static_assert(sizeof(VstPinProperties) == 128, "VstPinProperties size");

QBFX_PIN(ERect, left, 2, 2);
QBFX_PIN(ERect, bottom, 4, 4);
QBFX_PIN(ERect, right, 6, 6);
static_assert(sizeof(ERect) == 8, "ERect size");

QBFX_PIN(VstKeyCode, virt, 4, 4);
QBFX_PIN(VstKeyCode, modifier, 5, 5);
static_assert(sizeof(VstKeyCode) == 8, "VstKeyCode size");

#undef QBFX_PIN
