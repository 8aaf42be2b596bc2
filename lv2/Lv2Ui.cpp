// The LV2 edition's editor: an X11 UI that opens the effect's own editor in the host's parent
// window, through the same editor calls a VST 2 host makes (open, rectangle, idle, close). It
// reaches the effect through instance-access; a host that does not offer it keeps its own
// controls. Everything here runs on the host's UI thread.
#include "lv2/Lv2Layout.h"

#include <X11/Xlib.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include <cstring>
#include <vector>

namespace {

struct TLv2Ui {
    TLv2Bridge* Bridge = nullptr;
    AEffect* Effect = nullptr;
    LV2UI_Write_Function Write = nullptr;
    LV2UI_Controller Controller = nullptr;
    const LV2UI_Resize* Resize = nullptr;
};

void ResizeHook(void* ui, int32_t width, int32_t height) {
    auto* self = static_cast<TLv2Ui*>(ui);
    if (self->Resize && width > 0 && height > 0) self->Resize->ui_resize(self->Resize->handle, width, height);
}

// The editor moved a parameter: the host hears of it when it is one of its control ports, so its
// own controls, automation and saved session follow. The rest is in the effect's saved state.
void AutomateHook(void* ui, int32_t param, float value) {
    auto* self = static_cast<TLv2Ui*>(ui);
    const int32_t port = Lv2PortOfParam(param);
    if (port >= 0 && self->Write) self->Write(self->Controller, uint32_t(port), sizeof value, 0, &value);
}

std::vector<Window> Children(Display* d, Window parent) {
    std::vector<Window> list;
    Window root = 0, up = 0, *kids = nullptr;
    unsigned int n = 0;
    if (XQueryTree(d, parent, &root, &up, &kids, &n) && kids) {
        list.assign(kids, kids + n);
        XFree(kids);
    }
    return list;
}

// The window the editor made inside the parent: the child that was not there before.
Window NewChild(Window parent, const std::vector<Window>& before, Display* d) {
    const std::vector<Window> after = Children(d, parent);
    for (auto it = after.rbegin(); it != after.rend(); ++it) {
        bool old = false;
        for (Window w : before) old = old || w == *it;
        if (!old) return *it;
    }
    return parent;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) noexcept {
    if (!pluginUri || std::strcmp(pluginUri, kLv2PluginUri) != 0) return nullptr;
    void* parent = nullptr;
    void* instance = nullptr;
    const LV2UI_Resize* resize = nullptr;
    for (int i = 0; features && features[i]; ++i) {
        if (!std::strcmp(features[i]->URI, LV2_UI__parent)) parent = features[i]->data;
        if (!std::strcmp(features[i]->URI, LV2_INSTANCE_ACCESS_URI)) instance = features[i]->data;
        if (!std::strcmp(features[i]->URI, LV2_UI__resize)) resize = static_cast<const LV2UI_Resize*>(features[i]->data);
    }
    auto* bridge = static_cast<TLv2Bridge*>(instance);
    if (!parent || !bridge || bridge->Magic != TLv2Bridge::kMagic || !bridge->Effect) return nullptr;
    AEffect* effect = bridge->Effect;

    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    const Window parentWindow = Window(reinterpret_cast<uintptr_t>(parent));
    const std::vector<Window> before = Children(display, parentWindow);
    TLv2Ui* self = nullptr;
    try {
        self = new TLv2Ui{bridge, effect, write, controller, resize};
    } catch (...) {
    }
    if (!self || !effect->dispatcher(effect, effEditOpen, 0, 0, parent, 0.0f)) {
        XCloseDisplay(display);
        delete self;
        return nullptr;
    }
    const Window editor = NewChild(parentWindow, before, display);
    XCloseDisplay(display);
    if (widget) *widget = reinterpret_cast<LV2UI_Widget>(uintptr_t(editor));

    bridge->UiHandle = self;
    bridge->UiResize = &ResizeHook;
    bridge->UiAutomate = &AutomateHook;
    ERect* rect = nullptr;
    if (effect->dispatcher(effect, effEditGetRect, 0, 0, &rect, 0.0f) && rect)
        ResizeHook(self, rect->right - rect->left, rect->bottom - rect->top);
    return self;
}

void Cleanup(LV2UI_Handle handle) noexcept {
    auto* self = static_cast<TLv2Ui*>(handle);
    if (self->Bridge->UiHandle == self) {
        self->Bridge->UiHandle = nullptr;
        self->Bridge->UiResize = nullptr;
        self->Bridge->UiAutomate = nullptr;
    }
    self->Effect->dispatcher(self->Effect, effEditClose, 0, 0, nullptr, 0.0f);
    delete self;
}

// Control ports reach the effect through its run(); the editor reads the effect itself.
void PortEvent(LV2UI_Handle, uint32_t, uint32_t, uint32_t, const void*) noexcept {}

int Idle(LV2UI_Handle handle) noexcept {
    auto* self = static_cast<TLv2Ui*>(handle);
    self->Effect->dispatcher(self->Effect, effEditIdle, 0, 0, nullptr, 0.0f);
    return 0;
}

const void* ExtensionData(const char* uri) noexcept {
    static const LV2UI_Idle_Interface idle = {Idle};
    if (uri && !std::strcmp(uri, LV2_UI__idleInterface)) return &idle;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kLv2UiUri, Instantiate, Cleanup, PortEvent, ExtensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
