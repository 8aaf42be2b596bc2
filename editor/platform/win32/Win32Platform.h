#pragma once
// The editor's window on Windows: a WS_CHILD of the host's window whose messages become the
// form's events, a window timer for the form's timer, the dirty area blitted in WM_PAINT and the
// context menu as a system popup menu. The host's message loop drives it; host GUI thread only.
#include "editor/PluginEditorWindow.h"

#include <cstdint>
#include <memory>

class TWin32Platform final : public TFormPlatform {
public:
    // A hidden child window at (0, 0) of `parentHwnd`, with a window class of its own; null when
    // the parent is not a window or no window could be made.
    static std::unique_ptr<TWin32Platform> Create(void* parentHwnd, int width, int height);
    ~TWin32Platform() override;
    TWin32Platform(const TWin32Platform&) = delete;
    TWin32Platform& operator=(const TWin32Platform&) = delete;

    // Hands the window's messages to `form` (which owns this platform), starts the timer and
    // shows the window.
    void Bind(TPluginEditorWindow& form);

    bool KeyHeld(THeldKey key) override;
    int64_t NowMs() override;
    void Sleep(int ms) override;
    int Random(int range) override;
    void SizeChanged(int width, int height) override;
    void Present(TPluginEditorWindow& form) override;
    bool OpenMenu(TPluginEditorWindow& form, TPopupMenu& menu, int x, int y) override;

private:
    struct Impl;
    explicit TWin32Platform(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> P_;
};
