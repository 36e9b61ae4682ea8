// The loaded tag's banks in hex, one at a time: the right button cycles EPC, TID, USER.
#include "../app/uhf_app.h"

#include <dolphin/dolphin.h>

#include <inttypes.h>
#include <stdlib.h>

void uhf_scene_device_info_widget_callback(GuiButtonType result, InputType type, void* context);

namespace {

// A bank of up to 13 bytes wraps into two lines of hex above the buttons (the multi-line element
// cuts its first line after 19 characters); a longer one would run under them. It goes into a
// text scroll instead, 7 bytes a line, two lines in view, Up and Down to scroll.
constexpr uint32_t kBankBytesThatFit = 13;
constexpr uint32_t kBytesPerScrollLine = 7;
constexpr uint8_t kHexX = 3;
constexpr uint8_t kHexY = 24;
constexpr uint8_t kScrollWidth = 128 - kHexX;
constexpr uint8_t kScrollHeight = 23; // the rows of two lines of FontKeyboard, above the buttons

/** The whole bank on the screen: as a wrapped block when it fits, else as a scrolling one. */
void add_bank_bytes(Widget* widget, const uint8_t* data, uint32_t size) {
    if(size <= kBankBytesThatFit) {
        char* hex = convertToHexString(data, size);
        if(!hex) return;
        widget_add_string_multiline_element(
            widget, kHexX, kHexY, AlignLeft, AlignTop, FontKeyboard, hex);
        free(hex);
        return;
    }
    // Each line starts with ESC '*', the monospace font, which holds up to its '\n'.
    FuriString* text = furi_string_alloc();
    for(uint32_t i = 0; i < size; ++i) {
        const bool first = i % kBytesPerScrollLine == 0;
        furi_string_cat_printf(
            text, "%s%02X", first ? (i == 0 ? "\x1b*" : "\n\x1b*") : " ", data[i]);
    }
    widget_add_text_scroll_element(
        widget, kHexX, kHexY, kScrollWidth, kScrollHeight, furi_string_get_cstr(text));
    furi_string_free(text);
}

// The bank shown, by this screen's own numbering (0 EPC, 1 TID, 2 USER; not the module's bank
// numbers). Changed only by get_next_bank_info_str, which the button label asks for.
uint8_t device_info_bank = 0;

const char* get_current_bank_info_str() {
    switch(device_info_bank) {
    case 1:
        return "TID Bank";
    case 2:
        return "User Bank";
    default:
        return "EPC Bank";
    }
}

/** The next bank's short name; the screen moves on to that bank. */
const char* get_next_bank_info_str() {
    switch(device_info_bank) {
    case 0:
        device_info_bank = 1;
        return "TID";
    case 1:
        device_info_bank = 2;
        return "USER";
    default:
        device_info_bank = 0;
        return "EPC";
    }
}

void change_view_on_event(UHFApp* app) {
    UHFTag* tag = app->uhf_device->uhf_tag_wrapper->uhf_tag;
    FuriString* length_str = furi_string_alloc();
    widget_reset(app->widget);
    widget_add_string_element(
        app->widget, 64, 5, AlignCenter, AlignCenter, FontPrimary, get_current_bank_info_str());

    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if(tag) {
        switch(device_info_bank) {
        case 1:
            data = uhf_tag_get_tid(tag);
            size = uhf_tag_get_tid_size(tag);
            break;
        case 2:
            data = uhf_tag_get_user(tag);
            size = uhf_tag_get_user_size(tag);
            break;
        default:
            data = uhf_tag_get_epc(tag);
            size = uhf_tag_get_epc_size(tag);
            break;
        }
    }
    furi_string_cat_printf(length_str, "Length: %" PRIu32 " bytes", size);

    widget_add_string_element(
        app->widget, 3, 12, AlignLeft, AlignTop, FontKeyboard, furi_string_get_cstr(length_str));
    add_bank_bytes(app->widget, data, size);
    widget_add_button_element(
        app->widget,
        GuiButtonTypeRight,
        get_next_bank_info_str(),
        uhf_scene_device_info_widget_callback,
        app);
    widget_add_button_element(
        app->widget, GuiButtonTypeLeft, "Back", uhf_scene_device_info_widget_callback, app);

    furi_string_free(length_str);
}

} // namespace

void uhf_scene_device_info_widget_callback(GuiButtonType result, InputType type, void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(type == InputTypeShort) view_dispatcher_send_custom_event(app->view_dispatcher, result);
}

void uhf_scene_device_info_on_enter(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    device_info_bank = 0;
    dolphin_deed(DolphinDeedNfcReadSuccess);
    change_view_on_event(app);
    view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewWidget);
}

bool uhf_scene_device_info_on_event(void* context, SceneManagerEvent event) {
    UHFApp* app = static_cast<UHFApp*>(context);
    if(event.type == SceneManagerEventTypeBack) {
        scene_manager_previous_scene(app->scene_manager);
        return true;
    }
    if(event.type != SceneManagerEventTypeCustom) return false;
    if(event.event == GuiButtonTypeLeft) return scene_manager_previous_scene(app->scene_manager);
    if(event.event == GuiButtonTypeRight) {
        change_view_on_event(app);
        return false;
    }
    if(event.event == UHFCustomEventSceneDone) {
        view_dispatcher_switch_to_view(app->view_dispatcher, UHFViewWidget);
        return true;
    }
    return false;
}

void uhf_scene_device_info_on_exit(void* context) {
    UHFApp* app = static_cast<UHFApp*>(context);
    widget_reset(app->widget);
}
