#include "host/DVstTemplate.h"

#include "dsp/Numbers.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>

const std::array<const char*, 26> kCanDoStrings = {
    "sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "receiveVstEvents", "receiveVstMidiEvent",
    "receiveVstTimeInfo", "offline", "plugAsChannelInsert", "plugAsSend", "mixDryWet", "noRealTime",
    "multipass", "metapass", "1in1out", "1in2out", "2in1out", "2in2out", "2in4out", "4in2out",
    "4in4out", "4in8out", "8in4out", "8in8out", "midiProgramNames", "conformsToWindowRules", "bypass"};

namespace {

// Every capability string is far shorter; a host string is never read past this.
constexpr size_t kCanDoReadLimit = 64;

// Record flags for the bits of the effect-flag set, in bit order.
constexpr int32_t kFlagForBit[9] = {effFlagsIsSynth,       effFlagsHasVu,         effFlagsHasClip,
                                    effFlagsCanMono,       effFlagsCanReplacing,  effFlagsProgramChunks,
                                    effFlagsNoSoundInStop, effFlagsExtIsAsync,    effFlagsExtHasBuffer};

constexpr int32_t kOutgoingCapacity = 2048;

}  // namespace

int32_t PackIdentifier(const char* identifier) {
    char c[4] = {' ', ' ', ' ', ' '};
    for (int i = 0; i < 4 && identifier && identifier[i]; ++i) c[i] = identifier[i];
    return FourCC(c[0], c[1], c[2], c[3]);
}

TVstProgram::TVstProgram(int32_t numParams) : Values(new Shared<float>[size_t(numParams > 0 ? numParams : 0)]) {}

// ---------------------------------------------------------------------------------------------
// Editor hosting

TVstTemplateEditor::TVstTemplateEditor(TVstTemplate* effect, TEditorFormFactory factory)
    : AEffEditor(effect), Template(effect), EditorFormClass(factory) {}

TVstTemplateEditor::~TVstTemplateEditor() {
    delete FormObject;
    FormObject = nullptr;
}

bool TVstTemplateEditor::getRect(ERect** rect) {
    Rect.top = 0;
    Rect.left = 0;
    if (FormObject) {
        Rect.bottom = int16_t(FormObject->ClientHeight());
        Rect.right = int16_t(FormObject->ClientWidth());
    }
    if (rect) *rect = &Rect;
    return true;
}

bool TVstTemplateEditor::open(void* parentWindow) {
    ParentWindow = parentWindow;
    OpenCount += 1;
    if (OpenCount > 1 && FormObject) return true;
    FormObject = EditorFormClass ? EditorFormClass(parentWindow) : nullptr;
    if (!FormObject) {
        // No window could be made (no display): answer 0 and stay usable.
        OpenCount -= 1;
        if (OpenCount < 0) OpenCount = 0;
        return false;
    }
    FormObject->Attach(Template);
    return true;
}

void TVstTemplateEditor::close() {
    OpenCount -= 1;
    if (OpenCount > 0) return;
    OpenCount = 0;
    delete FormObject;
    FormObject = nullptr;
    ParentWindow = nullptr;
}

void TVstTemplateEditor::idle() {
    if (!FormObject) return;
    FormObject->Idle();
    if (Template->OnEditorIdle.Assigned()) Template->OnEditorIdle(FormObject);
}

// ---------------------------------------------------------------------------------------------
// Construction

TVstTemplate::TVstTemplate(audioMasterCallback master, const TVstTemplateSetup& setup)
    : AudioEffectX(master, setup.NumPrograms, setup.NumParams),
      CanDoSet(setup.CanDoSet),
      NumInputs(setup.NumInputs),
      NumOutputs(setup.NumOutputs),
      VendorVersion(setup.VendorVersion),
      InitialDelay(setup.InitialDelay),
      EffectFlagSet(setup.EffectFlagSet) {
    CopyBounded(Identifier, setup.Identifier, sizeof Identifier);
    CopyBounded(EffectName, setup.EffectName, sizeof EffectName);
    CopyBounded(VendorName, setup.VendorName, sizeof VendorName);
    CopyBounded(ProductName, setup.ProductName, sizeof ProductName);
    QueuedOutgoing = 0;
    if (BlockLength == 0) SetInternalBlockLength(2048);

    Programs.reserve(size_t(numPrograms > 0 ? numPrograms : 0));
    for (int32_t i = 0; i < numPrograms; ++i) Programs.emplace_back(numParams);
    Properties.resize(size_t(numParams > 0 ? numParams : 0));
    for (int32_t i = 0; i < numParams; ++i) std::snprintf(Properties[size_t(i)].Name, 31, "Parameter %d", int(i));

    OutgoingMidi = std::make_unique<TOutgoingEvents>();
    OutgoingMidi->numEvents = 0;
    OutgoingMidi->reserved = 0;
    OutgoingRecords.reset(new VstMidiEvent[kOutgoingCapacity]());
    for (int32_t i = 0; i < kOutgoingCapacity; ++i) {
        OutgoingRecords[size_t(i)].type = kVstMidiType;
        OutgoingRecords[size_t(i)].byteSize = 24;
        OutgoingMidi->events[i] = reinterpret_cast<VstEvent*>(&OutgoingRecords[size_t(i)]);
    }

    if (setup.EditorFormClass) setEditor(new TVstTemplateEditor(this, setup.EditorFormClass));
    suspend();
    cEffect.uniqueID = PackIdentifier(Identifier);
    for (int bit = 0; bit < 9; ++bit) SetFlag(kFlagForBit[bit], (EffectFlagSet >> bit) & 1u);
    // Copied straight into the record: the host is not told of an I/O change while we are built.
    cEffect.numInputs = NumInputs;
    cEffect.numOutputs = NumOutputs;
    cEffect.initialDelay = InitialDelay;
    setProgram(0);
    ParametersChanged = 1;
}

TVstTemplate::~TVstTemplate() = default;

void TVstTemplate::SetInternalBlockLength(int32_t length) {
    BlockLength = length > 0 ? length : 1;
    WorkingInputs.SetSize(NumInputs, BlockLength);
    WorkingOutputs.SetSize(NumOutputs, BlockLength);
}

void TVstTemplate::setNumInputs(int32_t inputs) {
    NumInputs = inputs;
    AudioEffectX::setNumInputs(inputs);
    ioChanged();
}

void TVstTemplate::setNumOutputs(int32_t outputs) {
    NumOutputs = outputs;
    AudioEffectX::setNumOutputs(outputs);
    ioChanged();
}

void TVstTemplate::setInitialDelay(int32_t delay) {
    InitialDelay = delay;
    AudioEffectX::setInitialDelay(delay);
    ioChanged();
}

// ---------------------------------------------------------------------------------------------
// Parameters and programs

void TVstTemplate::setParameter(int32_t index, float value) {
    if (!(value <= 1.0f)) value = (value > 1.0f) ? 1.0f : 0.0f;   // NaN is unordered: it becomes 0
    // Below the smallest normal float a value means nothing audible, but every product with it is
    // subnormal and would be slow in the output and in the feedback lines: it is taken as 0.
    if (value < 0.0f || (value > 0.0f && value < std::numeric_limits<float>::min())) value = 0.0f;
    if (index < 0 || index >= numParams) return;
    Programs[size_t(int32_t(curProgram))].Values[size_t(index)] = value;
    ParametersChanged = 1;
    if (OnParameterChange.Assigned()) OnParameterChange(index);
}

float TVstTemplate::getParameter(int32_t index) {
    if (index < 0 || index >= numParams) return 0.0f;
    return Programs[size_t(int32_t(curProgram))].Values[size_t(index)];
}

void TVstTemplate::getParameterName(int32_t index, char* text) {
    if (index < 0 || index >= numParams) {
        CopyBounded(text, "undefined", sizeof(TVstParameterProperty::Name));
        return;
    }
    CopyBounded(text, Properties[size_t(index)].Name, sizeof(TVstParameterProperty::Name));
}

void TVstTemplate::getParameterLabel(int32_t index, char* text) {
    if (index < 0 || index >= numParams) {
        CopyBounded(text, "undefined", kVstMaxParamStrLen + 2);
        return;
    }
    CopyBounded(text, Properties[size_t(index)].Units, sizeof(TVstParameterProperty::Units));
}

void TVstTemplate::getParameterDisplay(int32_t index, char* text) {
    if (index < 0 || index >= numParams) {
        CopyBounded(text, "undefined", kVstMaxParamStrLen + 2);
        return;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", double(getParameterValue(index)));
    CopyBounded(text, buffer, kVstMaxParamStrLen + 1);
}

float TVstTemplate::getParameterValue(int32_t index) {
    if (index < 0 || index >= numParams) return 0.0f;
    TVstParameterProperty& p = Properties[size_t(index)];
    const Wide x = getParameter(index);
    const Wide f = p.CurveFactor;
    Wide y = x;
    if (p.Curve == ctExponential)
        y = std::exp(std::log(f + 1.0) * x) - 1.0;
    else if (p.Curve == ctLogarithmic)
        y = std::log(f * x + 1.0) / std::log(f + 1.0);
    const Wide v = Wide(p.Minimum) + (Wide(p.Maximum) - Wide(p.Minimum)) * y;
    const Wide s = p.SmoothingFactor;
    p.SmoothState1 = float(Wide(p.SmoothState1) + (v - Wide(p.SmoothState1)) * s);
    p.SmoothState2 = float(Wide(p.SmoothState2) + (Wide(p.SmoothState1) - Wide(p.SmoothState2)) * s);
    return p.SmoothState2;
}

void TVstTemplate::setProgram(int32_t program) {
    if (program < 0 || program >= numPrograms) return;
    curProgram = program;
    for (int32_t i = 0; i < numParams; ++i) setParameter(i, Programs[size_t(program)].Values[size_t(i)]);
    ParametersChanged = 1;
}

void TVstTemplate::setProgramName(const char* name) {
    CopyBounded(Programs[size_t(int32_t(curProgram))].Name, name, kProgramNameCapacity);
    ParametersChanged = 1;
}

void TVstTemplate::getProgramName(char* name) {
    CopyBounded(name, Programs[size_t(int32_t(curProgram))].Name, kProgramNameCapacity);
}

bool TVstTemplate::getProgramNameIndexed(int32_t, int32_t index, char* text) {
    if (index < 0 || index >= numPrograms) return false;
    CopyBounded(text, Programs[size_t(index)].Name, kProgramNameCapacity);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Block frame

void TVstTemplate::ProcessAudio(TArrayOfSingleArray&, TArrayOfSingleArray&, int32_t) {}

void TVstTemplate::ProcessMidiEvent(VstMidiEvent*) {}

void TVstTemplate::process(float** inputs, float** outputs, int32_t sampleFrames) {
    RunBlock(inputs, outputs, sampleFrames, true);
}

void TVstTemplate::processReplacing(float** inputs, float** outputs, int32_t sampleFrames) {
    RunBlock(inputs, outputs, sampleFrames, false);
}

void TVstTemplate::RunBlock(float** inputs, float** outputs, int32_t sampleFrames, bool accumulate) {
    if (sampleFrames < 0) return;   // nothing sensible to do with a negative count
    int32_t done = 0;
    do {
        const int32_t n = sampleFrames - done < BlockLength ? sampleFrames - done : BlockLength;
        BlockOffset = done;
        for (int32_t c = 0; c < NumOutputs; ++c) {
            TSingleArray& out = WorkingOutputs[c];
            out.SetLength(n);
            std::memset(out.Samples(), 0, sizeof(float) * size_t(n));
        }
        for (int32_t c = 0; c < NumInputs; ++c) {
            TSingleArray& in = WorkingInputs[c];
            in.SetLength(n);
            const float* host = inputs ? inputs[c] : nullptr;
            if (host)
                std::memcpy(in.Samples(), host + done, sizeof(float) * size_t(n));
            else
                std::memset(in.Samples(), 0, sizeof(float) * size_t(n));   // a missing channel is silence
        }
        ProcessAudio(WorkingInputs, WorkingOutputs, n);
        for (int32_t c = 0; c < NumOutputs && outputs; ++c) {
            float* host = outputs[c];
            if (!host) continue;
            const float* w = WorkingOutputs[c].Samples();
            if (accumulate)
                for (int32_t i = 0; i < n; ++i) host[done + i] += w[i];
            else
                std::memcpy(host + done, w, sizeof(float) * size_t(n));
        }
        done += n;
    } while (done < sampleFrames);
    BlockOffset = 0;
    if (QueuedOutgoing > 0) {
        OutgoingMidi->numEvents = QueuedOutgoing;
        sendVstEventsToHost(reinterpret_cast<VstEvents*>(OutgoingMidi.get()));
        QueuedOutgoing = 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Events, capabilities, pins, names

int32_t TVstTemplate::processEvents(VstEvents* events) {
    if (!events) return 0;
    // The record declares two entries; the host lays out numEvents of them. Indexing the declared
    // array past its second entry is undefined, so the entries are reached from their address.
    VstEvent* const* entries = reinterpret_cast<VstEvent* const*>(reinterpret_cast<const char*>(events) +
                                                                  offsetof(VstEvents, events));
    for (int32_t i = 0; i < events->numEvents; ++i) {
        VstEvent* e = entries[i];
        if (e && e->type == kVstMidiType) ProcessMidiEvent(reinterpret_cast<VstMidiEvent*>(e));
    }
    return 1;
}

int32_t TVstTemplate::canDo(const char* text) {
    if (!text) return 0;
    const void* end = std::memchr(text, '\0', kCanDoReadLimit);
    if (!end) return -1;
    for (size_t bit = 0; bit < kCanDoStrings.size(); ++bit)
        if (std::strcmp(text, kCanDoStrings[bit]) == 0) return (CanDoSet >> bit) & 1u ? 1 : 0;
    return -1;
}

namespace {
bool FillPin(int32_t index, int32_t count, const char* prefix, VstPinProperties* properties) {
    if (!properties || index < 0 || index >= count) return false;
    std::snprintf(properties->label, sizeof properties->label, "%s%d", prefix, int(index + 1));
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}
}  // namespace

bool TVstTemplate::getInputProperties(int32_t index, VstPinProperties* properties) {
    return FillPin(index, NumInputs, "Input #", properties);
}

bool TVstTemplate::getOutputProperties(int32_t index, VstPinProperties* properties) {
    return FillPin(index, NumOutputs, "Output #", properties);
}

bool TVstTemplate::getEffectName(char* text) {
    CopyBounded(text, EffectName, kVstMaxEffectNameLen + 1);
    return true;
}

bool TVstTemplate::getVendorString(char* text) {
    CopyBounded(text, VendorName, kVstMaxVendorStrLen + 1);
    return true;
}

bool TVstTemplate::getProductString(char* text) {
    CopyBounded(text, ProductName, kVstMaxProductStrLen + 1);
    return true;
}
