// The dialogs service: the "dialogs" record, the blocking file browser and message dialogs.
//
// A call shows its dialog's view full screen through a small view holder (a view port on the GUI's
// Fullscreen layer that forwards drawing and keys to the view, and turns an unconsumed short Back
// into the holder's back action) and blocks its caller until the user answers. One dialog shows
// at a time; a second caller waits for the first.

#include <dialogs/dialogs.h>

#include <furi.h>
#include <gui/elements.h>
#include <gui/gui.h>
#include <gui/view_port.h>
#include <storage/storage.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/fatal.h"
#include "dialogs_icons.h"
#include "gui/modules/module_model_i.h"
#include "gui/view_i.h"
#include "host/dialogs.h"
#include "host/kernel.h"

struct DialogsApp {
    FuriMutex* busy = nullptr; // one dialog at a time

    mutable std::mutex mutex; // guards what tests read from other OS threads
    bool showing = false;
    std::vector<host::ShownDialog> history;
    std::optional<DialogMessageButton> auto_answer;

    std::optional<DialogMessageButton> answer_now() const {
        std::lock_guard lock(mutex);
        return auto_answer;
    }

    std::size_t record(host::ShownDialog dialog) {
        std::lock_guard lock(mutex);
        showing = true;
        history.push_back(std::move(dialog));
        return history.size() - 1;
    }

    void finish(std::size_t index, int result, std::string chosen = {}) {
        std::lock_guard lock(mutex);
        showing = false;
        if(index < history.size()) {
            history[index].finished = true;
            history[index].result = result;
            history[index].chosen = std::move(chosen);
        }
    }
};

struct DialogMessage {
    struct Text {
        const char* text = nullptr; // the caller's pointer, as the platform keeps it
        uint8_t x = 0;
        uint8_t y = 0;
        Align horizontal = AlignLeft;
        Align vertical = AlignTop;
    };
    Text header;
    Text text;
    const Icon* icon = nullptr;
    uint8_t icon_x = 0;
    uint8_t icon_y = 0;
    const char* left = nullptr;
    const char* center = nullptr;
    const char* right = nullptr;
};

namespace {

constexpr host::NotNull<DialogsApp> require_app{"dialogs app"};

constexpr host::NotNull<DialogMessage> require_message{"message"};

/// Shows one view full screen until done() is called (from the view's callbacks, on the GUI
/// thread); then wait() returns on the caller's thread.
class ViewHolder {
public:
    using BackAction = void (*)(void* context);

    ViewHolder(View* view, BackAction back, void* back_context)
        : view_(view)
        , back_(back)
        , back_context_(back_context) {
        gui_ = static_cast<Gui*>(furi_record_open(RECORD_GUI));
        port_ = view_port_alloc();
        in_input_ = furi_mutex_alloc(FuriMutexTypeRecursive);
        done_ = furi_semaphore_alloc(1, 0);
        view_port_draw_callback_set(port_, draw, this);
        view_port_input_callback_set(port_, input, this);
        view_set_update_callback(view_, update);
        view_set_update_callback_context(view_, port_);
    }

    ~ViewHolder() {
        view_set_update_callback(view_, nullptr);
        view_set_update_callback_context(view_, nullptr);
        furi_semaphore_free(done_);
        furi_mutex_free(in_input_);
        view_port_free(port_);
        furi_record_close(RECORD_GUI);
    }

    ViewHolder(const ViewHolder&) = delete;
    ViewHolder& operator=(const ViewHolder&) = delete;

    /// Shows the view, blocks until done(), hides it again.
    void run() {
        view_enter(view_);
        gui_add_view_port(gui_, port_, GuiLayerFullscreen);
        furi_semaphore_acquire(done_, FuriWaitForever);
        gui_remove_view_port(gui_, port_);
        // The GUI thread may still be inside the callback that ended the dialog: wait for it.
        furi_mutex_acquire(in_input_, FuriWaitForever);
        finished_ = true;
        furi_mutex_release(in_input_);
        view_exit(view_);
    }

    /// The first call ends run(); later ones are ignored.
    void done() {
        if(signalled_) return;
        signalled_ = true;
        furi_semaphore_release(done_);
    }

private:
    static void draw(Canvas* canvas, void* context) {
        auto* self = static_cast<ViewHolder*>(context);
        view_draw(self->view_, canvas);
    }

    static void input(InputEvent* event, void* context) {
        auto* self = static_cast<ViewHolder*>(context);
        furi_mutex_acquire(self->in_input_, FuriWaitForever);
        if(!self->finished_ && !self->signalled_) {
            const bool consumed = view_input(self->view_, event);
            if(!consumed && event->type == InputTypeShort && event->key == InputKeyBack &&
               self->back_ != nullptr && !self->signalled_) {
                self->back_(self->back_context_);
            }
        }
        furi_mutex_release(self->in_input_);
    }

    static void update(View* view, void* context) {
        (void)view;
        view_port_update(static_cast<ViewPort*>(context));
    }

    View* view_;
    BackAction back_;
    void* back_context_;
    Gui* gui_ = nullptr;
    ViewPort* port_ = nullptr;
    FuriMutex* in_input_ = nullptr;
    FuriSemaphore* done_ = nullptr;
    bool signalled_ = false; // GUI thread only (under in_input_)
    bool finished_ = false;
};

/// Holds the service's busy lock for one dialog.
class BusyLock {
public:
    explicit BusyLock(DialogsApp* app)
        : app_(app) {
        furi_mutex_acquire(app_->busy, FuriWaitForever);
    }
    ~BusyLock() { furi_mutex_release(app_->busy); }
    BusyLock(const BusyLock&) = delete;
    BusyLock& operator=(const BusyLock&) = delete;

private:
    DialogsApp* app_;
};

// ---- Message dialog ----------------------------------------------------------------------------

struct MessageModel {
    DialogMessage message;
};

struct MessageRun {
    ViewHolder* holder = nullptr;
    DialogMessageButton result = DialogMessageButtonBack;

    void answer(DialogMessageButton button) {
        result = button;
        holder->done();
    }
};

void draw_message_text(Canvas* canvas, const DialogMessage::Text& text, Font font) {
    if(text.text == nullptr) return;
    canvas_set_font(canvas, font);
    elements_multiline_text_aligned(
        canvas, text.x, text.y, text.horizontal, text.vertical, text.text);
}

void message_draw(Canvas* canvas, void* model_memory) {
    const DialogMessage& m = static_cast<MessageModel*>(model_memory)->message;
    canvas_clear(canvas);
    canvas_set_color(canvas, ColorBlack);
    if(m.icon != nullptr) canvas_draw_icon(canvas, m.icon_x, m.icon_y, m.icon);
    draw_message_text(canvas, m.header, FontPrimary);
    draw_message_text(canvas, m.text, FontSecondary);
    canvas_set_font(canvas, FontSecondary);
    if(m.left != nullptr) elements_button_left(canvas, m.left);
    if(m.center != nullptr) elements_button_center(canvas, m.center);
    if(m.right != nullptr) elements_button_right(canvas, m.right);
}

void message_back(void* context) {
    static_cast<MessageRun*>(context)->answer(DialogMessageButtonBack);
}

struct MessageView {
    View* view = nullptr;
    MessageRun run;

    explicit MessageView(const DialogMessage& message) {
        view = view_alloc();
        gui_modules::model_construct<MessageModel>(view);
        gui_modules::with_model<MessageModel>(view, false, [&](MessageModel& m) {
            m.message = message;
        });
        view_set_context(view, this);
        view_set_draw_callback(view, message_draw);
        view_set_input_callback(view, input);
    }

    ~MessageView() {
        gui_modules::model_destroy<MessageModel>(view);
        view_free(view);
    }

    MessageView(const MessageView&) = delete;
    MessageView& operator=(const MessageView&) = delete;

    // A button answers on a short press of its key, and only when it has a text.
    static bool input(InputEvent* event, void* context) {
        auto* self = static_cast<MessageView*>(context);
        if(event->type != InputTypeShort) return false;
        const DialogMessage m = gui_modules::with_model<MessageModel>(
            self->view, false, [](MessageModel& model) { return model.message; });
        if(event->key == InputKeyLeft && m.left != nullptr) {
            self->run.answer(DialogMessageButtonLeft);
            return true;
        }
        if(event->key == InputKeyOk && m.center != nullptr) {
            self->run.answer(DialogMessageButtonCenter);
            return true;
        }
        if(event->key == InputKeyRight && m.right != nullptr) {
            self->run.answer(DialogMessageButtonRight);
            return true;
        }
        return false;
    }
};

// ---- File browser ------------------------------------------------------------------------------

struct BrowserRun {
    ViewHolder* holder = nullptr;
    bool chosen = false;
};

void browser_chosen(void* context) {
    auto* run = static_cast<BrowserRun*>(context);
    run->chosen = true;
    run->holder->done();
}

void browser_back(void* context) {
    auto* run = static_cast<BrowserRun*>(context);
    run->chosen = false;
    run->holder->done();
}

} // namespace

extern "C" {

// ---- Messages ----

DialogMessage* dialog_message_alloc(void) {
    return host::make_tracked<DialogMessage>();
}

void dialog_message_free(DialogMessage* message) {
    host::destroy_tracked(require_message(message, "dialog_message_free"));
}

void dialog_message_set_text(
    DialogMessage* message,
    const char* text,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical) {
    require_message(message, "dialog_message_set_text")->text = {text, x, y, horizontal, vertical};
}

void dialog_message_set_header(
    DialogMessage* message,
    const char* text,
    uint8_t x,
    uint8_t y,
    Align horizontal,
    Align vertical) {
    require_message(message, "dialog_message_set_header")->header = {
        text, x, y, horizontal, vertical};
}

void dialog_message_set_icon(DialogMessage* message, const Icon* icon, uint8_t x, uint8_t y) {
    require_message(message, "dialog_message_set_icon");
    message->icon = icon;
    message->icon_x = x;
    message->icon_y = y;
}

void dialog_message_set_buttons(
    DialogMessage* message,
    const char* left,
    const char* center,
    const char* right) {
    require_message(message, "dialog_message_set_buttons");
    message->left = left;
    message->center = center;
    message->right = right;
}

DialogMessageButton dialog_message_show(DialogsApp* context, const DialogMessage* message) {
    require_app(context, "dialog_message_show");
    if(message == nullptr) host::fatal("dialog_message_show: message is null");
    BusyLock busy(context);
    const char* text = message->text.text != nullptr ? message->text.text : "";
    if(const auto answer = context->answer_now()) {
        context->finish(
            context->record({host::ShownDialog::Kind::Message, text, false, 0, {}}), *answer);
        return *answer;
    }
    MessageView view(*message);
    ViewHolder holder(view.view, message_back, &view.run);
    view.run.holder = &holder;
    const std::size_t index =
        context->record({host::ShownDialog::Kind::Message, text, false, 0, {}});
    holder.run();
    context->finish(index, view.run.result);
    return view.run.result;
}

void dialog_message_show_storage_error(DialogsApp* context, const char* error_text) {
    require_app(context, "dialog_message_show_storage_error");
    DialogMessage* message = dialog_message_alloc();
    dialog_message_set_text(message, error_text, 88, 32, AlignCenter, AlignCenter);
    dialog_message_set_icon(message, &dialogs_host::kIconSdQuestion, 5, 6);
    dialog_message_set_buttons(message, "Back", nullptr, nullptr);
    dialog_message_show(context, message);
    dialog_message_free(message);
}

// ---- File browser ----

void dialog_file_browser_set_basic_options(
    DialogsFileBrowserOptions* options,
    const char* extension,
    const Icon* icon) {
    if(options == nullptr) host::fatal("dialog_file_browser_set_basic_options: options is null");
    options->extension = extension;
    options->base_path = nullptr;
    options->skip_assets = true;
    options->hide_dot_files = true;
    options->icon = icon;
    options->hide_ext = true;
    options->item_loader_callback = nullptr;
    options->item_loader_context = nullptr;
}

bool dialog_file_browser_show(
    DialogsApp* context,
    FuriString* result_path,
    FuriString* path,
    const DialogsFileBrowserOptions* options) {
    require_app(context, "dialog_file_browser_show");
    if(result_path == nullptr) host::fatal("dialog_file_browser_show: result_path is null");

    // The caller's strings are resolved in place on the caller's thread, so "/data" names the
    // calling app's folder.
    FuriString* base_path = furi_string_alloc();
    {
        Storage* storage = static_cast<Storage*>(furi_record_open(RECORD_STORAGE));
        if(options != nullptr && options->base_path != nullptr) {
            furi_string_set_str(base_path, options->base_path);
            storage_common_resolve_path_and_ensure_app_directory(storage, base_path);
        }
        storage_common_resolve_path_and_ensure_app_directory(storage, result_path);
        if(path != nullptr) storage_common_resolve_path_and_ensure_app_directory(storage, path);
        furi_record_close(RECORD_STORAGE);
    }

    BusyLock busy(context);
    BrowserRun run;
    FileBrowser* browser = file_browser_alloc(result_path);
    file_browser_configure(
        browser,
        options != nullptr ? options->extension : "",
        furi_string_get_cstr(base_path),
        options != nullptr ? options->skip_assets : true,
        options != nullptr ? options->hide_dot_files : true,
        options != nullptr ? options->icon : nullptr,
        options != nullptr ? options->hide_ext : true);
    if(options != nullptr)
        file_browser_set_item_callback(
            browser, options->item_loader_callback, options->item_loader_context);
    file_browser_set_callback(browser, browser_chosen, &run);
    FuriString* start =
        furi_string_alloc_set_str(furi_string_get_cstr(path != nullptr ? path : result_path));
    file_browser_start(browser, start);
    {
        ViewHolder holder(file_browser_get_view(browser), browser_back, &run);
        run.holder = &holder;
        const std::size_t index = context->record(
            {host::ShownDialog::Kind::FileBrowser, furi_string_get_cstr(start), false, 0, {}});
        holder.run();
        context->finish(
            index, run.chosen ? 1 : 0, run.chosen ? furi_string_get_cstr(result_path) : "");
    }
    file_browser_stop(browser);
    file_browser_free(browser);
    furi_string_free(start);
    furi_string_free(base_path);
    return run.chosen;
}

} // extern "C"

namespace host {

DialogsService::DialogsService(Runtime& runtime)
    : app_(new DialogsApp) {
    (void)runtime;
    app_->busy = furi_mutex_alloc(FuriMutexTypeNormal);
    furi_record_create(RECORD_DIALOGS, app_);
}

DialogsService::~DialogsService() {
    if(!host::record_destroy(RECORD_DIALOGS)) {
        host::fatal(
            "DialogsService: the \"dialogs\" record is still open; close it before the service ends");
    }
    furi_mutex_free(app_->busy);
    delete app_;
}

bool DialogsService::showing() const {
    std::lock_guard lock(app_->mutex);
    return app_->showing;
}

std::vector<ShownDialog> DialogsService::history() const {
    std::lock_guard lock(app_->mutex);
    return app_->history;
}

std::vector<std::string> DialogsService::messages() const {
    std::lock_guard lock(app_->mutex);
    std::vector<std::string> texts;
    for(const ShownDialog& dialog : app_->history)
        if(dialog.kind == ShownDialog::Kind::Message) texts.push_back(dialog.text);
    return texts;
}

void DialogsService::clear_history() {
    std::lock_guard lock(app_->mutex);
    app_->history.clear();
}

void DialogsService::answer_messages_with(std::optional<DialogMessageButton> button) {
    std::lock_guard lock(app_->mutex);
    app_->auto_answer = button;
}

} // namespace host
