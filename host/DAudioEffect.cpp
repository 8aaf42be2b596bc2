#include "host/DAudioEffect.h"

#include "dsp/ConvertersClass.h"

#include <cmath>
#include <cstring>

void CopyBounded(char* dest, const char* text, int32_t capacity) {
    if (!dest || capacity <= 0) return;
    size_t n = text ? strnlen(text, size_t(capacity - 1)) : 0;
    std::memcpy(dest, text, n);
    dest[n] = '\0';
}

namespace {

// The C entries of the record: find the object, forward, never let anything cross the boundary.
VstIntPtr VSTCALL DispatcherEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                  void* ptr, float opt) noexcept {
    AudioEffect* fx = AudioEffect::FromRecord(e);
    if (!fx) return 0;
    VstIntPtr result = 0;
    try {
        result = fx->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        result = 0;
    }
    if (opcode == effClose) {
        delete fx;
        return 1;
    }
    return result;
}

void VSTCALL ProcessEntry(AEffect* e, float** inputs, float** outputs, VstInt32 frames) noexcept {
    if (AudioEffect* fx = AudioEffect::FromRecord(e)) fx->process(inputs, outputs, frames);
}

void VSTCALL ProcessReplacingEntry(AEffect* e, float** inputs, float** outputs, VstInt32 frames) noexcept {
    if (AudioEffect* fx = AudioEffect::FromRecord(e)) fx->processReplacing(inputs, outputs, frames);
}

void VSTCALL SetParameterEntry(AEffect* e, VstInt32 index, float value) noexcept {
    if (AudioEffect* fx = AudioEffect::FromRecord(e)) fx->setParameter(index, value);
}

float VSTCALL GetParameterEntry(AEffect* e, VstInt32 index) noexcept {
    AudioEffect* fx = AudioEffect::FromRecord(e);
    return fx ? fx->getParameter(index) : 0.0f;
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback master, int32_t programs, int32_t params)
    : numPrograms(programs), numParams(params), audioMaster(master) {
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = DispatcherEntry;
    cEffect.process = ProcessEntry;
    cEffect.setParameter = SetParameterEntry;
    cEffect.getParameter = GetParameterEntry;
    cEffect.numPrograms = programs;
    cEffect.numParams = params;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = 0;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.user = nullptr;
    cEffect.uniqueID = FourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = ProcessReplacingEntry;
}

AudioEffect::~AudioEffect() {
    delete editor;
    editor = nullptr;
    cEffect.magic = 0;   // a stale record no longer looks like ours
    cEffect.object = nullptr;
}

AudioEffect* AudioEffect::FromRecord(AEffect* e) {
    if (!e || e->magic != kEffectMagic || !e->object) return nullptr;
    return static_cast<AudioEffect*>(e->object);
}

void AudioEffect::setParameterAutomated(int32_t index, float value) {
    setParameter(index, value);
    if (audioMaster) CallHost(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor = newEditor;
    SetFlag(effFlagsHasEditor, editor != nullptr);
}

void AudioEffect::SetFlag(int32_t flag, bool state) {
    if (state)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

VstIntPtr AudioEffect::CallHost(int32_t opcode, int32_t index, VstIntPtr value, void* ptr, float opt) {
    if (!audioMaster) return 0;
    return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

VstIntPtr AudioEffect::getMasterVersion() {
    VstIntPtr version = CallHost(audioMasterVersion);
    return version ? version : 1;
}

VstIntPtr AudioEffect::getCurrentUniqueId() { return CallHost(2 /* audioMasterCurrentId */); }

void AudioEffect::masterIdle() { CallHost(3 /* audioMasterIdle */); }

bool AudioEffect::isInputConnected(int32_t input) {
    return CallHost(4 /* audioMasterPinConnected */, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(int32_t output) {
    return CallHost(4 /* audioMasterPinConnected */, output, 1) == 0;
}

VstIntPtr AudioEffect::dispatcher(int32_t opcode, int32_t index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
    case effOpen: open(); return 0;
    case effClose: close(); return 1;
    case effSetProgram:
        if (value >= 0 && value < numPrograms) setProgram(int32_t(value));
        return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName:
        if (ptr) setProgramName(static_cast<const char*>(ptr));
        return 0;
    case effGetProgramName:
        if (ptr) getProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetParamLabel:
        if (ptr) getParameterLabel(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamDisplay:
        if (ptr) getParameterDisplay(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamName:
        if (ptr) getParameterName(index, static_cast<char*>(ptr));
        return 0;
    case effGetVu: return RoundInt(float(Wide(getVu()) * 32767.0));
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize(int32_t(value)); return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effEditGetRect:
        if (!editor || !ptr) return 0;
        return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    case effEditOpen: return editor && editor->open(ptr) ? 1 : 0;
    case effEditClose:
        if (editor) editor->close();
        return 0;
    case effEditIdle:
        if (editor) editor->idle();
        return 0;
    case effIdentify: return FourCC('N', 'v', 'E', 'f');
    case effGetChunk: return 0;   // no chunks: the host keeps our state as parameters
    case effSetChunk: return 0;
    default: return 0;
    }
}
