#include "host/DAudioEffectX.h"

#include "dsp/ConvertersClass.h"

int32_t AudioEffectX::getPlugCategory() { return (cEffect.flags & effFlagsIsSynth) ? 2 : 0; }

bool AudioEffectX::wantEvents(int32_t filter) { return CallHost(audioMasterWantMidi, 0, filter) != 0; }

VstTimeInfo* AudioEffectX::getTimeInfo(int32_t filter) {
    return reinterpret_cast<VstTimeInfo*>(CallHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events) {
    return CallHost(audioMasterProcessEvents, 0, 0, events) == 1;
}

bool AudioEffectX::ioChanged() { return CallHost(audioMasterIOChanged) != 0; }

bool AudioEffectX::sizeWindow(int32_t width, int32_t height) {
    return CallHost(audioMasterSizeWindow, width, height) != 0;
}

bool AudioEffectX::updateDisplay() { return CallHost(audioMasterUpdateDisplay) != 0; }

VstIntPtr AudioEffectX::dispatcher(int32_t opcode, int32_t index, VstIntPtr value, void* ptr, float opt) {
    if (opcode < effProcessEvents || opcode > effLastOpcode)
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    switch (opcode) {
    case effProcessEvents: return ptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;
    case effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
    case effGetNumProgramCategories: return getNumCategories();
    case effGetProgramNameIndexed:
        return ptr && getProgramNameIndexed(int32_t(value), index, static_cast<char*>(ptr)) ? 1 : 0;
    case effConnectInput:
    case effConnectOutput: return 1;
    case effGetInputProperties:
        return ptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetOutputProperties:
        return ptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetPlugCategory: return getPlugCategory();
    case effSetBlockSizeAndSampleRate:
        setBlockSize(int32_t(value));
        setSampleRate(opt);
        return 1;
    case effGetEffectName: return ptr && getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorString: return ptr && getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProductString: return ptr && getProductString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorVersion: return getVendorVersion();
    case effCanDo: return ptr ? canDo(static_cast<const char*>(ptr)) : 0;
    case effKeysRequired: return 1;   // keys not required
    case effGetVstVersion: return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
        if (!editor) return 0;
        VstKeyCode key{};
        key.character = index;
        key.virt = uint8_t(value & 0xFF);
        key.modifier = uint8_t(RoundInt(opt));
        return opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
    }
    case effSetEditKnobMode:
        if (editor) editor->setKnobMode(int32_t(value));
        return 0;
    case effGetCurrentMidiProgram: return getCurrentMidiProgram();
    case effSetTotalSampleToProcess: return value;
    default: return 0;
    }
}
