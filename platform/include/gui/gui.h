/* GUI service: owns the screen, stacks view ports on layers, routes input. Record "gui". */
#pragma once
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include <gui/canvas.h>
#include <gui/view_port.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RECORD_GUI "gui"

typedef enum {
    GuiLayerDesktop = 0,
    GuiLayerWindow = 1,
    GuiLayerStatusBarLeft = 2,
    GuiLayerStatusBarRight = 3,
    GuiLayerFullscreen = 4,
    GuiLayerMAX = 5,
} GuiLayer;

typedef struct Gui Gui;

/* furi_checks layer < GuiLayerMAX and that the view port is not on the GUI already. */
void gui_add_view_port(Gui* gui, ViewPort* view_port, GuiLayer layer);
void gui_remove_view_port(Gui* gui, ViewPort* view_port);
/* Moves the view port to the top of its layer. */
void gui_view_port_send_to_front(Gui* gui, ViewPort* view_port);
/* Size in bytes of the screen's frame buffer (1024). */
size_t gui_get_framebuffer_size(const Gui* gui);
/* Lockdown hides the status bars (kept for API completeness; the host has none). */
void gui_set_lockdown(Gui* gui, bool lockdown);

#ifdef __cplusplus
}
#endif
