#pragma once
#include <gui/gui.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "host/input.h"
#include "host/screen.h"

namespace host {

class Runtime;

/// The GUI service of the host runtime: the record "gui" (a Gui*) and its thread "GuiSrv", which
/// draws the view ports and routes input to them. Construct it on a platform thread after the
/// Runtime and destroy it, on a platform thread, before the Runtime (and after the apps have
/// removed their view ports and closed the record).
///
/// Frames: Desktop, then Window on top of it; an enabled view port on Fullscreen hides both.
/// Only the topmost enabled view port of each layer is drawn. Input goes to the topmost enabled
/// view port of Fullscreen, else Window, else Desktop; the status bar layers are not drawn on
/// the host and get no input.
class GuiService {
public:
    using FrameCallback = std::function<void(const Screen&)>;

    explicit GuiService(Runtime& runtime);
    ~GuiService();
    GuiService(const GuiService&) = delete;
    GuiService& operator=(const GuiService&) = delete;

    Gui* gui() const { return gui_; }
    InputDevice& input() { return *input_; }

    /// The last committed frame (blank, frame number 0, before the first redraw). Any thread.
    Screen screen() const;
    std::uint64_t frame_count() const;
    /// Called on the GUI thread after every commit. Keep it short; it must not call back into
    /// the GUI service's locking functions from another OS thread.
    void set_frame_callback(FrameCallback callback);

    /// Input events lost because the GUI's queue was full.
    std::uint64_t dropped_inputs() const;

private:
    Gui* gui_ = nullptr;
    std::unique_ptr<InputDevice> input_;
};

/// A canvas outside the GUI, for drawing code under test (a module's draw callback, elements).
/// Starts blank with the GUI's defaults (black, FontSecondary, the whole screen).
class OffscreenCanvas {
public:
    OffscreenCanvas();
    ~OffscreenCanvas();
    OffscreenCanvas(const OffscreenCanvas&) = delete;
    OffscreenCanvas& operator=(const OffscreenCanvas&) = delete;

    Canvas* get() const { return canvas_; }
    operator Canvas*() const { return canvas_; }
    /// Pixels and strings drawn so far.
    Screen screen() const;
    /// Blank again, defaults restored.
    void reset();

private:
    Canvas* canvas_;
};

} // namespace host
