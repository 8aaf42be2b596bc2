#include "tests/support/TestHost.h"

#include <cstring>
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {
thread_local TestHost* Constructing = nullptr;   // the host whose `main` call is under way

#if defined(_WIN32)
void* LoadModule(const std::string& path) { return reinterpret_cast<void*>(LoadLibraryA(path.c_str())); }
void* FindSymbol(void* lib, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name));
}
void UnloadModule(void* lib) { FreeLibrary(static_cast<HMODULE>(lib)); }
#else
void* LoadModule(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* FindSymbol(void* lib, const char* name) { return dlsym(lib, name); }
void UnloadModule(void* lib) { dlclose(lib); }
#endif
}  // namespace

TestHost TestHost::FromLibrary(const std::string& path) {
    void* lib = LoadModule(path);
    Entry entry = nullptr;
    if (lib) entry = reinterpret_cast<Entry>(FindSymbol(lib, "main"));
    TestHost host(entry);
    host.Library = lib;
    return host;
}

TestHost::TestHost(TestHost&& other) noexcept
    : VersionAnswer(other.VersionAnswer), ServeTime(other.ServeTime), Time(other.Time),
      AdvanceTime(other.AdvanceTime), EntryPoint(other.EntryPoint), Library(other.Library),
      Record(other.Record) {
    other.Library = nullptr;
    other.Record = nullptr;
    if (Record) Record->user = this;
}

TestHost::~TestHost() {
    Close();
    if (Library) UnloadModule(Library);
}

AEffect* TestHost::Open() {
    if (!EntryPoint) return nullptr;
    Constructing = this;
    Record = EntryPoint(&TestHost::Callback);
    Constructing = nullptr;
    if (Record) Record->user = this;
    return Record;
}

void TestHost::Close() {
    if (!Record) return;
    Record->dispatcher(Record, effClose, 0, 0, nullptr, 0.0f);
    Record = nullptr;
}

VstIntPtr TestHost::Dispatch(int32_t opcode, int32_t index, VstIntPtr value, void* ptr, float opt) {
    const VstIntPtr r = Record->dispatcher(Record, opcode, index, value, ptr, opt);
    if (opcode == effClose) Record = nullptr;
    return r;
}

ERect TestHost::EditorRect() {
    ERect* r = nullptr;
    if (Dispatch(effEditGetRect, 0, 0, &r) != 1 || !r) return ERect{-1, -1, -1, -1};
    return *r;
}

std::string TestHost::ParamString(int32_t opcode, int32_t index) {
    char text[256];
    std::memset(text, 0, sizeof text);
    Dispatch(opcode, index, 0, text);
    return std::string(text);
}

int32_t TestHost::ParamIndex(const std::string& name) {
    for (int32_t i = 0; i < Record->numParams; ++i)
        if (ParamString(effGetParamName, i) == name) return i;
    return -1;
}

void TestHost::Process(const float* inL, const float* inR, float* outL, float* outR, int32_t frames, bool replacing) {
    float* in[2] = {const_cast<float*>(inL), const_cast<float*>(inR)};
    float* out[2] = {outL, outR};
    if (replacing)
        Record->processReplacing(Record, in, out, frames);
    else
        Record->process(Record, in, out, frames);
    if (AdvanceTime && frames > 0) {
        Time.samplePos += frames;
        if (Time.tempo > 0 && Time.sampleRate > 0) Time.ppqPos += frames * Time.tempo / (60.0 * Time.sampleRate);
    }
}

void TestHost::SendMidi(const std::vector<std::vector<uint8_t>>& messages, int32_t deltaFrames) {
    std::vector<VstMidiEvent> events(messages.size());
    std::vector<VstEvent*> pointers(messages.size() + 2, nullptr);
    for (size_t i = 0; i < messages.size(); ++i) {
        VstMidiEvent& e = events[i];
        std::memset(&e, 0, sizeof e);
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = deltaFrames;
        for (size_t b = 0; b < messages[i].size() && b < 3; ++b) e.midiData[b] = char(messages[i][b]);
        pointers[i] = reinterpret_cast<VstEvent*>(&e);
    }
    // VstEvents ends in a variable-length pointer array: lay it out in one buffer.
    std::vector<char> storage(offsetof(VstEvents, events) + pointers.size() * sizeof(VstEvent*));
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    list->numEvents = int32_t(messages.size());
    list->reserved = 0;
    std::memcpy(storage.data() + offsetof(VstEvents, events), pointers.data(), pointers.size() * sizeof(VstEvent*));
    Dispatch(effProcessEvents, 0, 0, list);
}

std::vector<HostCall> TestHost::Calls() const {
    std::lock_guard<std::mutex> lock(CallsLock);
    return Recorded;
}

int32_t TestHost::CountCalls(int32_t opcode) const {
    std::lock_guard<std::mutex> lock(CallsLock);
    int32_t n = 0;
    for (const HostCall& c : Recorded) n += c.Opcode == opcode;
    return n;
}

void TestHost::ClearCalls() {
    std::lock_guard<std::mutex> lock(CallsLock);
    Recorded.clear();
}

VstIntPtr VSTCALL TestHost::Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                     float opt) {
    TestHost* host = effect && effect->user ? static_cast<TestHost*>(effect->user) : Constructing;
    if (!host) return 0;
    return host->Answer(opcode, index, value, ptr, opt);
}

VstIntPtr TestHost::Answer(int32_t opcode, int32_t index, VstIntPtr value, void*, float opt) {
    {
        std::lock_guard<std::mutex> lock(CallsLock);
        Recorded.push_back({opcode, index, value, opt});
    }
    switch (opcode) {
    case audioMasterVersion: return VersionAnswer;
    case audioMasterGetTime: return ServeTime ? reinterpret_cast<VstIntPtr>(&Time) : 0;
    case audioMasterWantMidi: return 1;
    default: return 0;
    }
}
