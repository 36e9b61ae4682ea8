#pragma once
#include <dialogs/dialogs.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace host {

class Runtime;

/// One dialog the service showed, in the order they were shown.
struct ShownDialog {
    enum class Kind {
        FileBrowser,
        Message
    };
    Kind kind = Kind::Message;
    std::string text;      ///< a message's text ("" when none); a browser's start path
    bool finished = false; ///< the user answered
    /// Message: the DialogMessageButton. Browser: 1 when a file was chosen, else 0.
    int result = 0;
    std::string chosen; ///< the browser's chosen path ("" when left)
};

/// The dialogs service of the host runtime: the record "dialogs" (a DialogsApp*). Each call blocks
/// its caller while the dialog shows on the GUI's Fullscreen layer above the app, one dialog at a
/// time; keys reach it through the GUI service as usual. The file browser reads folders through
/// the "storage" record, so a StorageService must exist while it shows.
///
/// Construct on a platform thread after the Runtime and the GuiService; destroy before them, after
/// the apps closed the record:
///     host::GuiService gui(runtime);
///     host::StorageService storage(runtime, dir, "corvane");
///     host::DialogsService dialogs(runtime);
///     ... app thread: dialog_message_show_storage_error(app, "Can not parse\nfile") ...
///     gui.input().short_press(InputKeyBack);  // the call returns
class DialogsService {
public:
    explicit DialogsService(Runtime& runtime);
    ~DialogsService();
    DialogsService(const DialogsService&) = delete;
    DialogsService& operator=(const DialogsService&) = delete;

    DialogsApp* app() const { return app_; }

    /// Thread-safe reads, from any OS thread.
    bool showing() const;
    std::vector<ShownDialog> history() const;
    /// The texts of the message dialogs shown so far, in order.
    std::vector<std::string> messages() const;
    void clear_history();

    /// Message dialogs answer at once with `button` instead of showing and waiting (runs without
    /// a user, such as fuzzing); they are still recorded. Nothing (the default): they show and wait.
    void answer_messages_with(std::optional<DialogMessageButton> button);

private:
    DialogsApp* app_;
};

} // namespace host
