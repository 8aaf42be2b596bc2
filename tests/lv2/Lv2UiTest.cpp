// The LV2 edition's editor UI in a real X server, loaded from the built bundle as a host loads it:
// embedded in the host's parent window, sized through ui:resize, idled through the idle
// interface, and an editor change that is a control port reaches the host's write function.
#include "tests/lv2/Lv2Rig.h"

#include "plugin/uPlugin.h"

#include <gtest/gtest.h>
// After GoogleTest: Xlib defines None and Bool as macros.
#include <X11/Xlib.h>
#include "tests/support/TestDisplay.h"
#include <X11/extensions/XTest.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

constexpr int kW = 632, kFullH = 395, kPerformerH = 130;   // the editor's two views

struct Written {
    uint32_t Port;
    float Value;
};

class Lv2Ui : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display: run under xvfb-run";
        D = OpenTestDisplay();
        if (!D) GTEST_SKIP() << "cannot open the X display";
        XSetWindowAttributes wa{};
        wa.override_redirect = True;
        Parent = XCreateWindow(D, DefaultRootWindow(D), 0, 0, 800, 500, 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWOverrideRedirect, &wa);
        XMapRaised(D, Parent);
        XSync(D, False);
        UiLibrary = dlopen((std::string(QBFX_LV2_BUNDLE) + "/QBFX_F_ui.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(UiLibrary, nullptr) << dlerror();
        auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(UiLibrary, "lv2ui_descriptor"));
        ASSERT_NE(entry, nullptr);
        Ui = entry(0);
        ASSERT_NE(Ui, nullptr);
        ASSERT_TRUE(Plugin.Ok());
    }
    void TearDown() override {
        if (Handle) Ui->cleanup(Handle);
        if (UiLibrary) dlclose(UiLibrary);
        if (D) {
            XDestroyWindow(D, Parent);
            XCloseDisplay(D);
        }
    }

    LV2UI_Handle Open(bool instanceAccess) {
        const LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(uintptr_t(Parent))};
        const LV2_Feature access{LV2_INSTANCE_ACCESS_URI, Plugin.Instance()};
        const LV2_Feature resize{LV2_UI__resize, &Resize};
        const LV2_Feature* features[] = {&parent, &resize, instanceAccess ? &access : nullptr, nullptr};
        Handle = Ui->instantiate(Ui, kLv2PluginUri, QBFX_LV2_BUNDLE, &WriteEntry, this, &Widget, features);
        return Handle;
    }
    void Pump(int ms) {
        const auto* idle = static_cast<const LV2UI_Idle_Interface*>(Ui->extension_data(LV2_UI__idleInterface));
        ASSERT_NE(idle, nullptr);
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            EXPECT_EQ(idle->idle(Handle), 0);
            XSync(D, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    void Click(int x, int y, int times) {
        int rx = 0, ry = 0;
        ::Window child = 0;
        XTranslateCoordinates(D, Parent, DefaultRootWindow(D), x, y, &rx, &ry, &child);
        XTestFakeMotionEvent(D, -1, rx, ry, CurrentTime);
        for (int i = 0; i < times; ++i) {
            XTestFakeButtonEvent(D, 1, True, CurrentTime);
            XTestFakeButtonEvent(D, 1, False, CurrentTime);
        }
        XSync(D, False);
        Pump(200);
    }
    std::vector<::Window> Children() {
        ::Window root = 0, up = 0, *kids = nullptr;
        unsigned n = 0;
        XQueryTree(D, Parent, &root, &up, &kids, &n);
        std::vector<::Window> list(kids, kids + n);
        if (kids) XFree(kids);
        return list;
    }

    static int ResizeEntry(LV2UI_Feature_Handle h, int w, int hgt) {
        static_cast<Lv2Ui*>(h)->Sizes.push_back({w, hgt});
        return 0;
    }
    static void WriteEntry(LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t protocol, const void* buffer) {
        if (size != sizeof(float) || protocol != 0) return;
        float v;
        std::memcpy(&v, buffer, sizeof v);
        static_cast<Lv2Ui*>(c)->Writes.push_back({port, v});
    }

    Display* D = nullptr;
    ::Window Parent = 0;
    Lv2Rig Plugin{std::string(QBFX_LV2_BUNDLE) + "/QBFX_F.so", 48000.0};
    void* UiLibrary = nullptr;
    const LV2UI_Descriptor* Ui = nullptr;
    LV2UI_Handle Handle = nullptr;
    LV2UI_Widget Widget = nullptr;
    LV2UI_Resize Resize{this, &ResizeEntry};
    std::vector<std::array<int, 2>> Sizes;
    std::vector<Written> Writes;
};

}  // namespace

TEST_F(Lv2Ui, OpensEmbeddedInTheParentAtItsSizeAndGoesWithCleanup) {
    ASSERT_NE(Open(true), nullptr);
    const std::vector<::Window> kids = Children();
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(::Window(reinterpret_cast<uintptr_t>(Widget)), kids[0]);
    ASSERT_FALSE(Sizes.empty());
    EXPECT_EQ(Sizes.back(), (std::array<int, 2>{kW, kFullH}));
    Pump(200);
    XWindowAttributes a{};
    XGetWindowAttributes(D, kids[0], &a);
    EXPECT_EQ(a.width, kW);
    EXPECT_EQ(a.height, kFullH);
    EXPECT_EQ(a.map_state, IsViewable);
    Ui->cleanup(Handle);
    Handle = nullptr;
    XSync(D, False);
    EXPECT_TRUE(Children().empty());
}

// The editor's own view switch asks the host for the new size; an effect button moves the
// effect selector, a control port, and the host hears of it.
TEST_F(Lv2Ui, EditorResizesThroughTheHostAndReportsControlChanges) {
    ASSERT_NE(Open(true), nullptr);
    Pump(200);
    Click(90 + 17, 20 + 14, 1);   // effect button 3
    bool reported = false;
    for (const Written& w : Writes) {
        reported = reported || (w.Port == uint32_t(Lv2PortOfParam(kOutSel)) && w.Value == float(2.0 / 7.0));
        EXPECT_TRUE(w.Port >= kPortFirstControl && w.Port < kPortLatency) << w.Port;   // triggers are state
    }
    EXPECT_TRUE(reported);
    Click(127, 203, 2);   // double click on the gap between two panels: performer view
    ASSERT_FALSE(Sizes.empty());
    EXPECT_EQ(Sizes.back(), (std::array<int, 2>{kW, kPerformerH}));
}

TEST_F(Lv2Ui, WithoutInstanceAccessTheHostKeepsItsOwnControls) {
    EXPECT_EQ(Open(false), nullptr);
    EXPECT_TRUE(Children().empty());
}
