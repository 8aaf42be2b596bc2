#include "plugin/uPlugin.h"

#include "dsp/ConvertersClass.h"
#include "dsp/Numbers.h"
#include "host/PluginFolder.h"
#include "plugin/EditorExchange.h"

#include <cmath>
#include <iterator>

const std::array<const char*, kNumPrograms> kProgramNames = {"FX set 1", "FX set 2", "FX set 3"};

namespace {

constexpr std::array<int32_t, kNumEffects> kSelectNotes = {35, 36, 38, 40, 41, 43, 45, 47};
constexpr std::array<int32_t, kNumEffects> kSyncNotes = {48, 50, 52, 53, 55, 57, 59, 60};
constexpr int32_t kHoldController = 64;
// A controller map is a few lines; anything beyond this is not one.
constexpr size_t kMidiMapMaxBytes = 1 << 20;

// The range of tempi and rates the engine accepts; outside it the nearest bound is used. No host
// runs below 8 kHz, and below it the flanger's ring (a hundredth of a second) is only a few
// samples long: its interpolation taps wrap onto the newest samples and the feedback diverges.
constexpr double kMinTempo = 1.0, kMaxTempo = 1000.0;
constexpr float kMinRate = 8000.0f, kMaxRate = 768000.0f;

// The host's sample rate as the engine takes it: within the range above, or `fallback` if unusable.
float UsableRate(float rate, float fallback) {
    if (!std::isfinite(rate) || rate <= 0.0f) return fallback;
    return rate < kMinRate ? kMinRate : (rate > kMaxRate ? kMaxRate : rate);
}

TVstTemplateSetup MakeSetup(TEditorFormFactory editorForm) {
    TVstTemplateSetup s;
    s.CanDoSet = 0x103BB;     // send/receive events and MIDI, time info, insert, send, dry/wet, 2in2out
    s.EffectFlagSet = 24;     // can-mono and can-replacing
    s.NumInputs = 2;
    s.NumOutputs = 2;
    s.Identifier = "NV05";
    s.EffectName = "Quenby_F";
    s.ProductName = "Quenby FX Free";
    s.VendorName = "Norvell Audio";
    s.VendorVersion = 1148;
    s.InitialDelay = 0;
    s.NumPrograms = kNumPrograms;
    s.NumParams = kNumParams;
    s.EditorFormClass = editorForm;
    return s;
}

float Ratio(Wide a, Wide b) { return float(a / b); }

// The working value of parameter `index` at value v, as its description scales it: a fraction...
float Working(int32_t index, Wide v) {
    const TValueScale& s = kParamTable[size_t(index)].Working;
    const Wide y = v * s.Scale;
    return float(s.Offset == 0.0 ? y : y + s.Offset);
}

// ...or a whole number, the offset added before or after the rounding.
int32_t WorkingWhole(int32_t index, Wide v) {
    const TValueScale& s = kParamTable[size_t(index)].Working;
    if (s.Kind == TScaleKind::WholeThenOffset) return RoundInt(float(v * s.Scale)) + int32_t(s.Offset);
    return RoundInt(Working(index, v));
}

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool SameText(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        const char x = (a[i] >= 'A' && a[i] <= 'Z') ? char(a[i] + 32) : a[i];
        const char y = (b[i] >= 'A' && b[i] <= 'Z') ? char(b[i] + 32) : b[i];
        if (x != y) return false;
    }
    return i == a.size() && !b[i];
}

// A whole number: decimal with an optional sign, or 0x/0X hexadecimal of three or more characters.
int32_t ParseWholeNumber(const std::string& text) {
    const std::string s = Trim(text);
    if (s.empty()) return 0;
    long long v = 0;
    if (s.size() >= 3 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        for (size_t i = 2; i < s.size(); ++i) {
            const char c = s[i];
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return 0;
            v = v * 16 + d;
            if (v > 0xFFFFFFFFLL) return 0;
        }
        return int32_t(uint32_t(v));
    }
    size_t i = 0;
    bool negative = false;
    if (s[0] == '-' || s[0] == '+') {
        negative = s[0] == '-';
        i = 1;
    }
    if (i >= s.size()) return 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return 0;
        v = v * 10 + (s[i] - '0');
        if (v > 2147483648LL) return 0;
    }
    v = negative ? -v : v;
    return v > INT32_MAX ? 0 : int32_t(v);
}

void ForwardToHandler(void* self, int32_t index) { static_cast<APlugin*>(self)->ParameterChanged(index); }
void ForwardToEditorIdle(void* self, TEditorForm* form) { static_cast<APlugin*>(self)->EditorIdle(form); }

}  // namespace

int32_t ReadIniInteger(const std::string& text, const char* section, const char* key) {
    bool inSection = false;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            inSection = close != std::string::npos && SameText(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection) continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos || !SameText(Trim(line.substr(0, eq)), key)) continue;
        std::string value = line.substr(eq + 1);
        // A trailing comment is allowed after the number.
        const size_t comment = value.find(';');
        if (comment != std::string::npos) value = value.substr(0, comment);
        return ParseWholeNumber(value);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------

APlugin::APlugin(audioMasterCallback master, TEditorFormFactory editorForm)
    : TVstTemplate(master, MakeSetup(editorForm)) {
    InitializeParameters();
    OnParameterChange.Assign(this, &ForwardToHandler);
    OnEditorIdle.Assign(this, &ForwardToEditorIdle);
    Engine.Frame.PosLong = -1;
    Engine.Frame.PosFlanger = -1;
    Engine.Frame.PosSecond = -1;
    Engine.Slicer.SliPos = -1;
    Engine.Slicer.SliReadPos = -1;
    Engine.Slicer.SliRestart = 1;
    setProgram(0);
}

void APlugin::InitializeParameters() {
    for (int32_t i = 0; i < kNumParams; ++i) {
        const TParamInfo& info = kParamTable[size_t(i)];
        TVstParameterProperty& p = ParameterProperty(i);
        if (info.Name) CopyBounded(p.Name, info.Name, sizeof p.Name);
        CopyBounded(p.Units, info.Unit, sizeof p.Units);
        p.Curve = info.Curve;
    }
    for (int32_t program = kNumPrograms - 1; program >= 0; --program) {
        setProgram(program);
        for (int32_t i = 0; i < kNumParams; ++i)
            if (kParamTable[size_t(i)].Factory) setParameter(i, kParamTable[size_t(i)].Values[size_t(program)]);
        setProgramName(kProgramNames[size_t(program)]);
    }
    Engine.Frame.CycleRestart = 1.0f;
    // The data folder must be known before the map is read from it.
    DataFolder = PluginFolder() + "Data" + PathSeparator();
    LoadMidiMap();
    for (int32_t k = 0; k < kNumEffects; ++k) MaxMix[size_t(k)] = getParameter(kFx1MaxMix + k);
}

void APlugin::LoadMidiMap() {
    const std::string text =
        DataFolder.empty() ? std::string() : ReadRegularFile(DataFolder + kMidiMapFile, kMidiMapMaxBytes);
    SelectNote = kSelectNotes;
    SyncNote = kSyncNotes;
    for (size_t s = 0; s < size_t(kNumParamCC); ++s)
        ParamCC[s] = text.empty() ? 0 : ReadIniInteger(text, kMidiMapSection, kParamTable[kMappedParams[s]].MapKey);
    HoldCC = kHoldController;
}

void APlugin::ParameterChanged(int32_t index) {
    TFxEngine& e = Engine;
    if (index >= kTrgFx1 && index <= kTrgFx1 + 7) setParameter(kOutSel, Ratio(index, 7.0));
    if (index >= kTrgSv1 && index <= kTrgSv1 + 7) {
        const float v = getParameter(index);
        if (v == 0.0f) {
            setParameter(kOutMix, 0.0f);
        } else if (v > 0.0f) {
            setParameter(kSyncedValue, float(Wide(index - 9) * 0.125));
            setParameter(kOutMix, MaxMix[size_t(int32_t(e.SelectedFx))]);
        }
    }
    const Wide v = getParameter(index);
    switch (index) {
    case kLfoWav: e.LfoWave = WorkingWhole(kLfoWav, v); break;
    case kLfoAmp: e.LfoAmp = Working(kLfoAmp, v); break;
    case kLfoPha: e.LfoPhase = Working(kLfoPha, v); break;
    case kOutSel: e.SelectedFx = WorkingWhole(kOutSel, v); break;
    case kOutMix: e.OutMix = Working(kOutMix, v); break;
    case kOutAmp: e.OutAmp = Working(kOutAmp, v); break;
    case kSyncedValue:
        e.Decimator.SyncStep = WorkingWhole(kSyncedValue, v);
        e.Slicer.SyncSlice = float(v * 7.9);
        e.TriCombs.SyncStepCombs = WorkingWhole(kSyncedValue, v);
        break;
    case kDelFbck: e.Delay.DelFeedback = Working(kDelFbck, v); break;
    case kDelDmpLow: e.Delay.DelDampLow = Working(kDelDmpLow, v); break;
    case kDelDmpHigh: e.Delay.DelDampHigh = Working(kDelDmpHigh, v); break;
    case kGliAmp: e.Glide.GliAmp = Working(kGliAmp, v); break;
    case kGliCtrl1: e.Glide.GliCtrl1 = Working(kGliCtrl1, v); break;
    case kGliCtrl2: e.Glide.GliCtrl2 = Working(kGliCtrl2, v); break;
    case kFlaFbck: e.Flanger.FlaFeedback = Working(kFlaFbck, v); break;
    case kFlaDmp: e.Flanger.FlaDamp = Working(kFlaDmp, v); break;
    case kPhaFrq: e.Phaser.PhaFreq = Working(kPhaFrq, v); break;
    case kPhaDpt: e.Phaser.PhaDepth = WorkingWhole(kPhaDpt, v); break;
    case kPhaFbck: e.Phaser.PhaFeedback = Working(kPhaFbck, v); break;
    case kDecSat: e.Decimator.DecSat = Working(kDecSat, v); break;
    case kSliSp:
        e.Slicer.SliSpeed = WorkingWhole(kSliSp, v);
        e.Slicer.SliRestart = 1;
        break;
    case kSliQtz: e.Slicer.SliQuant = WorkingWhole(kSliQtz, v); break;
    case kSliVar: e.Slicer.SliVar = WorkingWhole(kSliVar, v); break;
    case kRngTon: e.Ringer.RngTone = Working(kRngTon, v); break;
    case kRngFbck: e.Ringer.RngFeedback = Working(kRngFbck, v); break;
    case kRngDmp: e.Ringer.RngDamp = Working(kRngDmp, v); break;
    default: break;
    }
    // Always recomputed, from the sample rate and tempo of the most recent block.
    const Wide sv = getParameter(kSyncedValue);
    e.Decimator.DecHold = RoundInt(float(Wide(getParameter(kDecSr)) * Wide(int32_t(e.SrInt))));
    e.Flanger.FlaDelay = float(Wide(getParameter(kFlaDel)) * Wide(int32_t(e.SrHundredth)));
    e.LfoRate = float(sv * 2.0 * Wide(float(e.BeatsPerSecond)));
    e.SyncDelayLength = RoundInt(float(sv * 2.0 * Wide(float(e.SamplesPerBeat))));
    int32_t level = WorkingWhole(kDecBd, getParameter(kDecBd));
    const int32_t last = int32_t(kDecLevelTable.size()) - 1;
    level = level < 0 ? 0 : (level > last ? last : level);
    e.Decimator.DecLevels = float(kDecLevelTable[size_t(level)]);
    e.TriCombs.ChdSel = WorkingWhole(kChdSel, getParameter(kChdSel));
    e.TriCombs.ChdRoot = WorkingWhole(kChdRoot, getParameter(kChdRoot));
    e.TriCombs.ChdFeedback = Working(kChdFbck, getParameter(kChdFbck));
}

void APlugin::EditorIdle(TEditorForm* form) {
    if (!form) return;
    auto* link = static_cast<TPluginFormBase*>(form);   // our factory only ever makes these
    for (int32_t k = 0; k < kNumEffects; ++k) MaxMix[size_t(k)] = link->FxMaxMix[size_t(k)];
    const Wide amp = float(Engine.LfoAmp);
    for (int32_t j = 0; j < kScopeRows; ++j) {
        link->ScopeRowL[size_t(j)] = RoundInt(float(Wide(float(Engine.ScopeL[size_t(j)])) * 30.0 * amp)) + 10;
        link->ScopeRowR[size_t(j)] = RoundInt(float(Wide(float(Engine.ScopeR[size_t(j)])) * 30.0 * amp)) + 50;
    }
    link->HostTempo = Engine.Tempo;
}

void APlugin::ProcessAudio(TArrayOfSingleArray& inputs, TArrayOfSingleArray& outputs, int32_t sampleFrames) {
    if (sampleFrames <= 0) return;
    if (BlockOffset == 0) {
        // One time request per host block; without usable information the last valid values hold,
        // and before any, 120 beats per minute with the transport treated as stopped.
        TBlockTime t = LastTime;
        const VstTimeInfo* info = getTimeInfo(kVstPpqPosValid | kVstTempoValid);
        if (info) {
            if ((info->flags & kVstTempoValid) && std::isfinite(info->tempo) && info->tempo > 0.0)
                t.Tempo = info->tempo < kMinTempo ? kMinTempo : (info->tempo > kMaxTempo ? kMaxTempo : info->tempo);
            if ((info->flags & kVstPpqPosValid) && std::isfinite(info->ppqPos)) t.PpqPos = info->ppqPos;
            t.Playing = (info->flags & kVstTransportPlaying) != 0;
        } else {
            t.Playing = false;
        }
        t.SampleRate = UsableRate(getSampleRate(), t.SampleRate);
        LastTime = t;
        Engine.BeginBlock(t);
    }
    Engine.ProcessFrames(inputs[0].Samples(), inputs[1].Samples(), outputs[0].Samples(), outputs[1].Samples(),
                         sampleFrames);
}

void APlugin::resume() {
    TVstTemplate::resume();
    Engine.PrepareLines(UsableRate(getSampleRate(), TBlockTime{}.SampleRate));
}

void APlugin::ProcessMidiEvent(VstMidiEvent* event) {
    if (!event) return;
    MidiStatus = uint8_t(event->midiData[0]) & 0xF0;
    MidiData1 = uint8_t(event->midiData[1]) & 0x7F;
    MidiData2 = uint8_t(event->midiData[2]) & 0x7F;
    const int32_t c = MidiData1, v = MidiData2;

    if (MidiStatus == 0xB0) {
        for (size_t s = 0; s < size_t(kNumParamCC); ++s)
            if (c == ParamCC[s]) setParameter(kMappedParams[s], Ratio(v, 127.0));
        for (int32_t k = 0; k < kNumEffects; ++k)
            if (c == SelectCC[size_t(k)]) setParameter(kOutSel, Ratio(k, 7.0));
        for (int32_t k = 0; k < kNumEffects; ++k)
            if (c == SyncCC[size_t(k)] && v > 0) {
                setParameter(kSyncedValue, Ratio(k + 1, 8.0));
                setParameter(kOutMix, MaxMix[size_t(int32_t(Engine.SelectedFx))]);
            }
        for (int32_t k = 0; k < kNumEffects; ++k)
            if (c == SyncCC[size_t(k)] && v == 0) {
                setParameter(kSyncedValue, Ratio(k + 1, 8.0));
                setParameter(kOutMix, 0.0f);
            }
        if (c == HoldCC && v > 0) {
            HoldOn = 1;
            Engaged = 1;
            setParameter(kOutMix, MaxMix[size_t(int32_t(Engine.SelectedFx))]);
        }
        if (c == HoldCC && v == 0) {
            HoldOn = 0;
            Engaged = 0;
            setParameter(kOutMix, 0.0f);
        }
    }

    if (MidiStatus == 0x90 || MidiStatus == 0x80) {
        const int32_t n = MidiData1;
        for (int32_t k = 0; k < kNumEffects; ++k)
            if (n == SelectNote[size_t(k)]) {
                setParameter(kOutSel, Ratio(k, 7.0));
                Engine.SelectedFx = k;
                if (Engaged > 0) setParameter(kOutMix, MaxMix[size_t(k)]);
            }
        for (int32_t k = 0; k < kNumEffects; ++k)
            if (n == SyncNote[size_t(k)]) {
                setParameter(kSyncedValue, Ratio(k + 1, 8.0));
                setParameter(kOutMix, MaxMix[size_t(int32_t(Engine.SelectedFx))]);
                Engaged = 1;
                SyncNoteHeld[size_t(k)] = 1;
            }
        const bool release = (MidiStatus == 0x90 && MidiData2 == 0) || MidiStatus == 0x80;
        if (release && HoldOn <= 0) {
            for (int32_t k = 0; k < kNumEffects; ++k) {
                if (n != SyncNote[size_t(k)]) continue;
                SyncNoteHeld[size_t(k)] = 0;
                for (int32_t j = 0; j < kNumEffects; ++j)
                    if (SyncNoteHeld[size_t(j)] == 1) {
                        setParameter(kSyncedValue, Ratio(j + 1, 8.0));
                        return;   // "OUT Mix" keeps its value while another step is held
                    }
                setParameter(kOutMix, 0.0f);
                Engaged = 0;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------

AEffect* CreateEffect(audioMasterCallback audioMaster, TEditorFormFactory editorForm) {
    if (!audioMaster) return nullptr;
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    try {
        auto* effect = new APlugin(audioMaster, editorForm);
        return effect->getAeffect();
    } catch (...) {
        return nullptr;
    }
}
