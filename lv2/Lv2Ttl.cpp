// Writes the bundle's data (manifest.ttl, QBFX_F.ttl, presets.ttl) from the effect itself: it is
// built as a host builds it, and port names, defaults and preset values are read through the
// effect's own record, so the data cannot drift from the parameter table.
// Usage: qbfx_lv2_ttl BUNDLE_FOLDER [with-ui]
#include "lv2/Lv2Layout.h"
#include "plugin/uPlugin.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

VstIntPtr VSTCALL QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// A Turtle decimal that reads back as the same float.
std::string Number(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", double(v));
    std::string s(text);
    if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
    return s;
}

std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string ParamName(AEffect* e, int32_t index) {
    char name[kHostParamStrBuffer] = {};
    e->dispatcher(e, effGetParamName, index, 0, name, 0.0f);
    return name;
}

std::string ProgramName(AEffect* e, int32_t program) {
    char name[kHostParamStrBuffer] = {};
    e->dispatcher(e, effGetProgramNameIndexed, program, 0, name, 0.0f);
    return name;
}

const char* kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix owl: <http://www.w3.org/2002/07/owl#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";

std::string PresetUri(int32_t program) { return std::string(kLv2PluginUri) + "#preset" + std::to_string(program + 1); }

std::string Manifest(AEffect* e, bool withUi) {
    std::ostringstream t;
    t << kPrefixes;
    t << "<" << kLv2PluginUri << ">\n    a lv2:Plugin ;\n    lv2:binary <QBFX_F.so> ;\n"
      << "    rdfs:seeAlso <QBFX_F.ttl> .\n";
    if (withUi)
        t << "\n<" << kLv2UiUri << ">\n    a ui:X11UI ;\n    ui:binary <QBFX_F_ui.so> ;\n"
          << "    rdfs:seeAlso <QBFX_F.ttl> .\n";
    for (int32_t p = 0; p < kNumPrograms; ++p)
        t << "\n<" << PresetUri(p) << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << kLv2PluginUri << "> ;\n"
          << "    rdfs:label " << Quoted(ProgramName(e, p)) << " ;\n    rdfs:seeAlso <presets.ttl> .\n";
    return t.str();
}

void AudioPort(std::ostringstream& t, uint32_t index, bool input, const char* symbol, const char* name) {
    t << "    [\n        a lv2:" << (input ? "InputPort" : "OutputPort") << " , lv2:AudioPort ;\n"
      << "        lv2:index " << index << " ;\n        lv2:symbol \"" << symbol << "\" ;\n"
      << "        lv2:name \"" << name << "\"\n    ] ,\n";
}

// The two choosers list their positions by name, at the values the handler rounds to each
// position (the editor's slider stops and the MIDI triggers set the same values).
void ScalePoints(std::ostringstream& t, int32_t param) {
    const auto points = [&](const auto& names) {
        const double last = kParamTable[size_t(param)].Working.Scale;
        t << "        lv2:portProperty lv2:enumeration ;\n        lv2:scalePoint";
        for (size_t k = 0; k < names.size(); ++k)
            t << (k ? " ,\n            " : " ") << "[ rdfs:label " << Quoted(names[k]) << " ; rdf:value "
              << Number(float(double(k) / last)) << " ]";
        t << " ;\n";
    };
    if (param == kLfoWav) points(kLfoWaveNames);
    if (param == kOutSel) points(kEffectNames);
}

std::string PluginData(AEffect* e, bool withUi) {
    char product[kVstMaxProductStrLen + 1] = {}, vendor[kVstMaxVendorStrLen + 1] = {};
    e->dispatcher(e, effGetProductString, 0, 0, product, 0.0f);
    e->dispatcher(e, effGetVendorString, 0, 0, vendor, 0.0f);
    const auto version = e->dispatcher(e, effGetVendorVersion, 0, 0, nullptr, 0.0f);
    std::ostringstream t;
    t << kPrefixes;
    t << "<" << kLv2PluginUri << ">\n    a lv2:Plugin , doap:Project ;\n"
      << "    doap:name " << Quoted(product) << " ;\n"
      << "    doap:maintainer [ foaf:name " << Quoted(vendor) << " ] ;\n"
      << "    rdfs:comment \"A real-time stereo multi-effect: eight tempo-synced effects fired from MIDI notes "
         "or the editor's triggers. The triggers, colour, view, maximum mix levels, effect selector and synced "
         "value are saved with the session through the state extension.\" ;\n"
      << "    lv2:minorVersion " << version % 1000 << " ;\n    lv2:microVersion 0 ;\n"
      << "    lv2:requiredFeature urid:map ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable , opts:options ;\n"
      << "    opts:supportedOption bufsz:maxBlockLength , bufsz:nominalBlockLength ;\n"
      << "    lv2:extensionData state:interface ;\n";
    if (withUi) t << "    ui:ui <" << kLv2UiUri << "> ;\n";
    t << "    lv2:port\n";
    AudioPort(t, kPortInL, true, "in_l", "Input #1");
    AudioPort(t, kPortInR, true, "in_r", "Input #2");
    AudioPort(t, kPortOutL, false, "out_l", "Output #1");
    AudioPort(t, kPortOutR, false, "out_r", "Output #2");
    t << "    [\n        a lv2:InputPort , atom:AtomPort ;\n        atom:bufferType atom:Sequence ;\n"
      << "        atom:supports midi:MidiEvent , time:Position ;\n        lv2:designation lv2:control ;\n"
      << "        lv2:index " << kPortEvents << " ;\n        lv2:symbol \"events\" ;\n"
      << "        lv2:name \"MIDI and time\"\n    ] ,\n";
    for (size_t i = 0; i < kLv2Controls.size(); ++i) {
        const TLv2Control& c = kLv2Controls[i];
        t << "    [\n        a lv2:InputPort , lv2:ControlPort ;\n"
          << "        lv2:index " << kPortFirstControl + i << " ;\n        lv2:symbol \"" << c.Symbol << "\" ;\n"
          << "        lv2:name " << Quoted(ParamName(e, c.Param)) << " ;\n"
          << "        lv2:default " << Number(e->getParameter(e, c.Param)) << " ;\n";
        ScalePoints(t, c.Param);
        t << "        lv2:minimum 0.0 ;\n        lv2:maximum 1.0\n    ] ,\n";
    }
    t << "    [\n        a lv2:OutputPort , lv2:ControlPort ;\n        lv2:index " << kPortLatency << " ;\n"
      << "        lv2:symbol \"latency\" ;\n        lv2:name \"Latency\" ;\n"
      << "        lv2:designation lv2:latency ;\n        lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
      << "        units:unit units:frame ;\n        lv2:minimum 0 ;\n        lv2:maximum 0\n    ] .\n";
    // The saved state's keys, each a float value of the effect's parameter of that name.
    for (const TLv2StateKey& k : kLv2StateKeys)
        t << "\n<" << kLv2StatePrefix << k.Key << ">\n    a rdf:Property , owl:DatatypeProperty ;\n"
          << "    rdfs:label " << Quoted(ParamName(e, k.Param)) << " ;\n    rdfs:range xsd:float .\n";
    if (withUi)
        t << "\n<" << kLv2UiUri << ">\n    a ui:X11UI ;\n"
          << "    lv2:requiredFeature ui:idleInterface , <http://lv2plug.in/ns/ext/instance-access> ;\n"
          << "    lv2:optionalFeature ui:parent , ui:resize ;\n"
          << "    lv2:extensionData ui:idleInterface .\n";
    return t.str();
}

// A preset holds what a factory program sets: the sound controls and the maximum mix levels.
std::string Presets(AEffect* e) {
    std::ostringstream t;
    t << kPrefixes;
    for (int32_t p = 0; p < kNumPrograms; ++p) {
        e->dispatcher(e, effSetProgram, 0, p, nullptr, 0.0f);
        t << "<" << PresetUri(p) << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << kLv2PluginUri << "> ;\n"
          << "    rdfs:label " << Quoted(ProgramName(e, p)) << " ;\n    lv2:port\n";
        for (size_t i = 0; i < kLv2Controls.size(); ++i)
            t << "        [ lv2:symbol \"" << kLv2Controls[i].Symbol << "\" ; pset:value "
              << Number(e->getParameter(e, kLv2Controls[i].Param)) << " ]"
              << (i + 1 < kLv2Controls.size() ? " ,\n" : " ;\n");
        t << "    state:state [\n";
        bool first = true;
        for (const TLv2StateKey& k : kLv2StateKeys) {
            if (!kParamTable[size_t(k.Param)].Factory) continue;
            t << (first ? "" : " ;\n") << "        <" << kLv2StatePrefix << k.Key << "> \""
              << Number(e->getParameter(e, k.Param)) << "\"^^xsd:float";
            first = false;
        }
        t << "\n    ] .\n\n";
    }
    e->dispatcher(e, effSetProgram, 0, 0, nullptr, 0.0f);
    return t.str();
}

bool Write(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    return bool(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: qbfx_lv2_ttl BUNDLE_FOLDER [with-ui]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool withUi = argc == 3 && !std::strcmp(argv[2], "with-ui");
    AEffect* e = CreateEffect(&QuietHost, nullptr);
    if (!e) {
        std::fprintf(stderr, "qbfx_lv2_ttl: the effect could not be built\n");
        return 1;
    }
    const bool ok = Write(dir + "/manifest.ttl", Manifest(e, withUi)) &&
                    Write(dir + "/QBFX_F.ttl", PluginData(e, withUi)) && Write(dir + "/presets.ttl", Presets(e));
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    if (!ok) std::fprintf(stderr, "qbfx_lv2_ttl: cannot write into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
