// The library's one export: hosts look up `main` and call it once per instance.
#include "plugin/uPlugin.h"

#if defined(QBFX_WITH_EDITOR)
#include "editor/PluginEditorWindow.h"
static constexpr TEditorFormFactory kEditorForm = &CreatePluginEditorWindow;
#else
static constexpr TEditorFormFactory kEditorForm = nullptr;
#endif

#if defined(_WIN32)
// Exported as `main` by plugin/exports.def: an assembler label would lose the leading underscore
// that 32-bit Windows symbols carry, and the linker could not find it.
extern "C" AEffect* VSTCALL VstEntry(audioMasterCallback audioMaster);
#else
extern "C" __attribute__((visibility("default"))) AEffect* VstEntry(audioMasterCallback audioMaster) __asm__("main");
#endif

AEffect* VstEntry(audioMasterCallback audioMaster) { return CreateEffect(audioMaster, kEditorForm); }
