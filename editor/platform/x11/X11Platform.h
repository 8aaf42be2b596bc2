#pragma once
// The editor's window on X11: its own display connection, a child of the host's window, the
// event translation and the blit of the dirty area, and the context menu in top-level windows of
// its own. Host GUI thread only; never blocks.
#include "editor/PluginEditorWindow.h"

#include <cstdint>
#include <memory>

class TX11Platform final : public TFormPlatform {
public:
    // Null when there is no display or the parent window does not exist.
    static std::unique_ptr<TX11Platform> Create(unsigned long parentWindow, int width, int height);
    ~TX11Platform() override;

    bool KeyHeld(THeldKey key) override;
    int64_t NowMs() override;
    void Sleep(int ms) override;
    int Random(int range) override;
    void SizeChanged(int width, int height) override;
    void PumpEvents(TPluginEditorWindow& form) override;
    void Present(TPluginEditorWindow& form) override;
    // The menu opens in override-redirect windows on the root, one per open level, at the root
    // point of (x, y); it holds the pointer and keyboard grabs until it closes. False (the form
    // then shows it inline) when the pointer cannot be grabbed or the editor window is gone.
    bool OpenMenu(TPluginEditorWindow& form, TPopupMenu& menu, int x, int y) override;

    unsigned long Window() const;

private:
    struct Impl;
    explicit TX11Platform(std::unique_ptr<Impl> impl);
    void Pump(TPluginEditorWindow& form);
    std::unique_ptr<Impl> P_;
};
