// The VST 1 level of the framework: the host record embedded in the effect object, its C entries,
// the basic dispatcher and the host-callback wrappers. Dispatcher calls come from the host's UI
// thread, process calls from its audio thread; cross-thread scalars are Shared words.
#pragma once

#include "dsp/Shared.h"
#include "host/VstAbi.h"

#include <cstdint>

class AudioEffect;

// Copies text into a host buffer of `capacity` bytes (terminator included), cut to fit.
void CopyBounded(char* dest, const char* text, int32_t capacity);

// The editor wrapper as the framework's VST 1 level sees it.
class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : Effect(effect) {}
    virtual ~AEffEditor() = default;
    virtual bool getRect(ERect** rect) {
        if (rect) *rect = nullptr;
        return false;
    }
    virtual bool open(void* parentWindow) {
        SystemWindow = parentWindow;
        return false;
    }
    virtual void close() {}
    virtual void idle() {
        if (UpdateFlag) {
            UpdateFlag = 0;
            update();
        }
    }
    virtual void update() {}
    virtual void postUpdate() { UpdateFlag = 1; }
    virtual int32_t onKeyDown(VstKeyCode&) { return -1; }
    virtual int32_t onKeyUp(VstKeyCode&) { return -1; }
    virtual int32_t setKnobMode(int32_t) { return 0; }

protected:
    AudioEffect* Effect;
    void* SystemWindow = nullptr;   // this editor keeps its parent elsewhere
    int32_t UpdateFlag = 0;
};

class AudioEffect {
public:
    AudioEffect(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams);
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    AEffect* getAeffect() { return &cEffect; }
    static AudioEffect* FromRecord(AEffect* e);   // null unless e is one of ours

    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(int32_t size) { blockSize = size; }
    virtual void setParameter(int32_t, float) {}
    virtual float getParameter(int32_t) { return 0.0f; }
    virtual void setParameterAutomated(int32_t index, float value);
    virtual void process(float**, float**, int32_t) {}
    virtual void processReplacing(float**, float**, int32_t) {}
    virtual VstIntPtr dispatcher(int32_t opcode, int32_t index, VstIntPtr value, void* ptr, float opt);
    virtual void open() {}
    virtual void close() {}
    virtual int32_t getProgram() { return curProgram; }
    virtual void setProgram(int32_t program) { curProgram = program; }
    virtual void setProgramName(const char*) {}
    virtual void getProgramName(char* name) { CopyBounded(name, "", kVstMaxProgNameLen + 1); }
    virtual void getParameterLabel(int32_t, char* label) { CopyBounded(label, "", 1); }
    virtual void getParameterDisplay(int32_t, char* text) { CopyBounded(text, "", 1); }
    virtual void getParameterName(int32_t, char* text) { CopyBounded(text, "", 1); }
    virtual float getVu() { return 0.0f; }
    virtual int32_t getChunk(void**, bool) { return 0; }
    virtual int32_t setChunk(void*, int32_t, bool) { return 0; }
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setUniqueID(int32_t id) { cEffect.uniqueID = id; }
    virtual void setNumInputs(int32_t inputs) { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(int32_t outputs) { cEffect.numOutputs = outputs; }
    virtual void hasVu(bool state) { SetFlag(effFlagsHasVu, state); }
    virtual void hasClip(bool state) { SetFlag(effFlagsHasClip, state); }
    virtual void canMono(bool state) { SetFlag(effFlagsCanMono, state); }
    virtual void canProcessReplacing(bool state) { SetFlag(effFlagsCanReplacing, state); }
    virtual void programsAreChunks(bool state) { SetFlag(effFlagsProgramChunks, state); }
    virtual void setRealtimeQualities(int32_t q) { cEffect.realQualities = q; }
    virtual void setOfflineQualities(int32_t q) { cEffect.offQualities = q; }
    virtual void setInitialDelay(int32_t delay) { cEffect.initialDelay = delay; }
    virtual VstIntPtr getMasterVersion();
    virtual VstIntPtr getCurrentUniqueId();
    virtual void masterIdle();
    virtual bool isInputConnected(int32_t input);
    virtual bool isOutputConnected(int32_t output);

    // Attaching an editor sets the record's editor flag, detaching clears it; the effect owns it.
    void setEditor(AEffEditor* newEditor);
    AEffEditor* getEditor() const { return editor; }
    float getSampleRate() const { return sampleRate; }
    int32_t getBlockSize() const { return blockSize; }
    int32_t getNumPrograms() const { return numPrograms; }
    int32_t getNumParams() const { return numParams; }

protected:
    // Calls the host, if there is one; 0 without.
    VstIntPtr CallHost(int32_t opcode, int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    void SetFlag(int32_t flag, bool state);

    AEffect cEffect{};
    Shared<float> sampleRate = 44100.0f;
    AEffEditor* editor = nullptr;
    int32_t numPrograms;
    int32_t numParams;
    Shared<int32_t> blockSize = 1024;
    Shared<int32_t> curProgram = 0;
    audioMasterCallback audioMaster;
};
