// The VST 2 level of the framework: the extended dispatcher and the host-callback wrappers the
// plug-in uses. Every wrapper makes no call and answers 0 or false when there is no host callback.
#pragma once

#include "host/DAudioEffect.h"

class AudioEffectX : public AudioEffect {
public:
    using AudioEffect::AudioEffect;

    VstIntPtr dispatcher(int32_t opcode, int32_t index, VstIntPtr value, void* ptr, float opt) override;

    virtual int32_t processEvents(VstEvents*) { return 0; }
    virtual bool canParameterBeAutomated(int32_t) { return true; }
    virtual int32_t getNumCategories() { return 1; }
    virtual bool getProgramNameIndexed(int32_t, int32_t, char*) { return false; }
    virtual bool getInputProperties(int32_t, VstPinProperties*) { return false; }
    virtual bool getOutputProperties(int32_t, VstPinProperties*) { return false; }
    virtual int32_t getPlugCategory();
    virtual bool getEffectName(char*) { return false; }
    virtual bool getVendorString(char*) { return false; }
    virtual bool getProductString(char*) { return false; }
    virtual int32_t getVendorVersion() { return 0; }
    virtual int32_t canDo(const char*) { return 0; }
    virtual int32_t getVstVersion() { return 2300; }
    virtual int32_t getCurrentMidiProgram() { return -1; }

    virtual void isSynth(bool state) { SetFlag(effFlagsIsSynth, state); }
    virtual void noTail(bool state) { SetFlag(effFlagsNoSoundInStop, state); }
    virtual void extIsAsync(bool state) { SetFlag(effFlagsExtIsAsync, state); }
    virtual void extHasBuffer(bool state) { SetFlag(effFlagsExtHasBuffer, state); }

    // Host callbacks.
    virtual bool wantEvents(int32_t filter = 1);
    virtual VstTimeInfo* getTimeInfo(int32_t filter);
    virtual bool sendVstEventsToHost(VstEvents* events);
    virtual bool ioChanged();
    virtual bool sizeWindow(int32_t width, int32_t height);
    virtual bool updateDisplay();
};
