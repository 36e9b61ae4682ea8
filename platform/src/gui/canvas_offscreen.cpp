// host::OffscreenCanvas: a canvas outside the GUI service, for drawing code under test.
#include "canvas_i.h"
#include "host/gui.h"

namespace host {

OffscreenCanvas::OffscreenCanvas()
    : canvas_(new Canvas) {
    gui_host::canvas_reset_state(canvas_);
}

OffscreenCanvas::~OffscreenCanvas() {
    delete canvas_;
}

Screen OffscreenCanvas::screen() const {
    return canvas_->screen;
}

void OffscreenCanvas::reset() {
    canvas_reset(canvas_);
}

} // namespace host
