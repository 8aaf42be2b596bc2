// The parameter and program framework between the host-facing classes and the effect: per-program
// parameter storage, names and display texts, the per-block frame around the effect's audio hook,
// events, capabilities, pins, identity strings and the hosting of the editor form.
#pragma once

#include "dsp/Shared.h"
#include "host/DAudioEffectX.h"
#include "host/DDspUtils.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class TVstTemplate;

// An event handler bound to an object; called only when assigned.
template <class... Args>
class TEvent {
public:
    using Fn = void (*)(void* target, Args...);
    void Assign(void* target, Fn fn) {
        Target = target;
        Handler = fn;
    }
    bool Assigned() const { return Handler != nullptr; }
    void operator()(Args... args) const {
        if (Handler) Handler(Target, args...);
    }

private:
    void* Target = nullptr;
    Fn Handler = nullptr;
};

// The editor window as the framework sees it; created, used and destroyed on the GUI thread.
class TEditorForm {
public:
    virtual ~TEditorForm() = default;
    virtual int32_t ClientWidth() const = 0;
    virtual int32_t ClientHeight() const = 0;
    // The attach message: delivered with the effect before effEditOpen returns.
    virtual void Attach(TVstTemplate* effect) = 0;
    // Pump the window's pending events and fire due timers (hosts that drive us through idle).
    virtual void Idle() {}
};

// Creates the form as a child of the host's window at (0, 0) and shows it; null if it cannot.
using TEditorFormFactory = TEditorForm* (*)(void* parentWindow);

class TVstTemplateEditor final : public AEffEditor {
public:
    TVstTemplateEditor(TVstTemplate* effect, TEditorFormFactory factory);
    ~TVstTemplateEditor() override;
    bool getRect(ERect** rect) override;
    bool open(void* parentWindow) override;
    void close() override;
    void idle() override;
    void update() override {}

    int32_t OpenCount = 0;
    TEditorForm* Form() const { return FormObject; }

private:
    TVstTemplate* Template;
    ERect Rect{0, 0, 0, 0};
    TEditorFormFactory EditorFormClass;
    void* ParentWindow = nullptr;
    TEditorForm* FormObject = nullptr;
};

// Curves of the parameter value in units.
enum TParameterCurve : uint8_t { ctLinear = 0, ctExponential = 1, ctLogarithmic = 2 };

struct TVstParameterProperty {
    float SmoothState1 = 0.0f;
    float SmoothState2 = 0.0f;
    float Minimum = 0.0f;
    float Maximum = 1.0f;
    uint8_t Curve = ctLinear;
    float CurveFactor = 1.0f;
    char Name[31] = {};   // 30 characters and terminator
    char Units[9] = {};   // 8 characters and terminator
    float SmoothingFactor = 1.0f;
};

// Program names hold the interface's 24 characters.
constexpr int32_t kProgramNameCapacity = kVstMaxProgNameLen + 1;

struct TVstProgram {
    explicit TVstProgram(int32_t numParams);
    std::unique_ptr<Shared<float>[]> Values;
    char Name[kProgramNameCapacity] = "Init";
};

// What the effect fills in before the framework constructor reads it.
struct TVstTemplateSetup {
    uint32_t CanDoSet = 0;
    uint16_t EffectFlagSet = 0;
    int32_t NumInputs = 2;
    int32_t NumOutputs = 2;
    const char* Identifier = "";
    int32_t VendorVersion = 0;
    const char* EffectName = "";
    const char* VendorName = "";
    const char* ProductName = "";
    int32_t InitialDelay = 0;
    int32_t NumPrograms = 1;
    int32_t NumParams = 0;
    TEditorFormFactory EditorFormClass = nullptr;
};

// The capability strings, in the bit order of the capability set.
extern const std::array<const char*, 26> kCanDoStrings;

// Packs an identifier into a four-character code: blank-padded, first four characters.
int32_t PackIdentifier(const char* identifier);

class TVstTemplate : public AudioEffectX {
public:
    // C++ calls no override from a base constructor: the effect runs InitializeParameters itself,
    // as the first step of its own constructor.
    TVstTemplate(audioMasterCallback master, const TVstTemplateSetup& setup);
    ~TVstTemplate() override;

    // Parameters and programs.
    void setParameter(int32_t index, float value) override;
    float getParameter(int32_t index) override;
    void getParameterName(int32_t index, char* text) override;
    void getParameterLabel(int32_t index, char* text) override;
    void getParameterDisplay(int32_t index, char* text) override;
    float getParameterValue(int32_t index);
    void setProgram(int32_t program) override;
    void setProgramName(const char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(int32_t category, int32_t index, char* text) override;

    // Block frame.
    void process(float** inputs, float** outputs, int32_t sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override;

    void suspend() override {}
    void resume() override { wantEvents(1); }

    // Events, capabilities, pins, names.
    int32_t processEvents(VstEvents* events) override;
    int32_t canDo(const char* text) override;
    bool getInputProperties(int32_t index, VstPinProperties* properties) override;
    bool getOutputProperties(int32_t index, VstPinProperties* properties) override;
    bool getEffectName(char* text) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    int32_t getVendorVersion() override { return VendorVersion; }

    // The framework's setters notify the host of an I/O change.
    void setNumInputs(int32_t inputs) override;
    void setNumOutputs(int32_t outputs) override;
    void setInitialDelay(int32_t delay) override;
    void SetInternalBlockLength(int32_t length);
    int32_t InternalBlockLength() const { return BlockLength; }

    TVstParameterProperty& ParameterProperty(int32_t index) { return Properties[size_t(index)]; }
    TVstProgram& Program(int32_t index) { return Programs[size_t(index)]; }

    // Hooks for the effect.
    virtual void InitializeParameters() {}
    virtual void ProcessAudio(TArrayOfSingleArray& inputs, TArrayOfSingleArray& outputs, int32_t sampleFrames);
    virtual void ProcessMidiEvent(VstMidiEvent* event);

    TEvent<TEditorForm*> OnEditorIdle;
    TEvent<int32_t> OnParameterChange;
    Shared<uint8_t> ParametersChanged = 0;

protected:
    // Host blocks longer than the working buffers are run as several ProcessAudio calls; this is the
    // offset of the current call within the host's block (0 for the first), so the effect asks the
    // host for its time once per host block.
    int32_t BlockOffset = 0;

private:
    void RunBlock(float** inputs, float** outputs, int32_t sampleFrames, bool accumulate);

    TArrayOfSingleArray WorkingInputs;
    TArrayOfSingleArray WorkingOutputs;
    struct TOutgoingEvents {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[2048];
    };
    std::unique_ptr<TOutgoingEvents> OutgoingMidi;
    std::unique_ptr<VstMidiEvent[]> OutgoingRecords;
    int32_t QueuedOutgoing = 0;
    uint32_t CanDoSet;
    int32_t NumInputs;
    int32_t NumOutputs;
    char Identifier[5] = {};
    int32_t VendorVersion;
    char EffectName[kVstMaxEffectNameLen + 1] = {};
    char VendorName[kVstMaxVendorStrLen + 1] = {};
    char ProductName[kVstMaxProductStrLen + 1] = {};
    int32_t InitialDelay;
    uint16_t EffectFlagSet;
    int32_t BlockLength = 0;
    std::vector<TVstParameterProperty> Properties;
    std::vector<TVstProgram> Programs;
};
