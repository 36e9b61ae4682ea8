// File browser: one folder's entries in the order the storage lists them, five 12 px rows, with
// the platform's keys (Up/Down wrap and speed up when held, OK enters or chooses, Left goes up
// unless at a top-level root, Back goes up unless at the base folder or a root, where the holder
// sees it). Folders are read through the "storage" record: at the start on the caller's thread,
// on navigation on the GUI thread.

#include <gui/modules/file_browser.h>

#include <furi.h>
#include <gui/canvas.h>
#include <gui/elements.h>
#include <storage/storage.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "core/fatal.h"
#include "dialogs_icons.h"
#include "gui/modules/module_model_i.h"

namespace {

constexpr int kListItems = 5;
constexpr int kFrameHeight = 12;
constexpr int kYOffset = 3;
constexpr int kMaxLenPx = 110;
constexpr uint32_t kScrollIntervalMs = 333;
constexpr uint32_t kScrollDelay = 2; // ticks (about 0.7 s) before a long selected name moves
constexpr std::size_t kNameBufferSize = 256;
constexpr std::size_t kCustomIconSize = 32;
constexpr const char* kAssetsDir = "assets";

enum class ItemType {
    Back,
    Folder,
    File
};

struct Item {
    ItemType type = ItemType::File;
    std::string path; // full platform path
    std::string name; // as shown
    bool custom_icon = false;
    std::array<uint8_t, kCustomIconSize> icon{};
};

struct Model {
    std::vector<Item> items;
    int32_t item_idx = 0;
    int32_t list_offset = 0;
    bool is_root = false;
    bool loaded = false;
    const Icon* file_icon = nullptr;
    uint32_t scroll_counter = 0;
    uint32_t held_ticks = 0;

    int32_t count() const { return static_cast<int32_t>(items.size()); }
    int32_t real_entries() const { return count() - (is_root ? 0 : 1); }
};

// Shows the window of five rows around the selection, keeping one row of context.
void update_offset(Model& m) {
    const int32_t count = m.count();
    const int32_t bounds = count > kListItems - 1 ? 2 : count;
    if(count > kListItems - 1 && m.item_idx >= count - 1) {
        m.list_offset = m.item_idx - (kListItems - 1);
    } else if(m.list_offset < m.item_idx - bounds) {
        m.list_offset = std::clamp(m.item_idx - (kListItems - 2), 0, std::max(0, count - bounds));
    } else if(m.list_offset > m.item_idx - bounds) {
        m.list_offset = std::clamp(m.item_idx - 1, 0, std::max(0, count - bounds));
    }
    m.list_offset = std::clamp(m.list_offset, 0, std::max(0, count - kListItems));
}

bool ends_with(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string without_extension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// "/ext/a/b" -> "/ext/a"; true when what is left is a top-level root ("/ext") or nothing.
bool trim_last(std::string& path) {
    const std::size_t slash = path.rfind('/');
    if(slash == std::string::npos || slash == 0) {
        if(slash == std::string::npos || path.size() <= 1) path = "/";
        return true;
    }
    path.resize(slash);
    return path.rfind('/') == 0;
}

bool is_top_level(const std::string& path) {
    return path.rfind('/') == 0;
}

// A scrolling or "..."-cut single line, as the platform's scrollable text element draws it.
void draw_name(
    Canvas* canvas,
    uint8_t x,
    uint8_t y,
    uint8_t width,
    const std::string& text,
    std::size_t scroll,
    bool ellipsis) {
    std::string line = text;
    int available = width;
    if(canvas_string_width(canvas, line.c_str()) > available) {
        if(ellipsis) available -= canvas_string_width(canvas, "...");
        // How many leading characters may scroll away before the tail fits.
        std::size_t scroll_size = line.size();
        int right_width = 0;
        for(std::size_t i = line.size(); i > 0; --i) {
            right_width += canvas_glyph_width(canvas, line[i - 1]);
            if(right_width > available) break;
            --scroll_size;
            if(scroll_size == 0) break;
        }
        if(scroll_size > 0) {
            scroll_size += 3;
            line.erase(0, std::min(line.size(), scroll % scroll_size));
        }
        while(!line.empty() && canvas_string_width(canvas, line.c_str()) > available)
            line.pop_back();
        if(ellipsis) line += "...";
    }
    canvas_draw_str(canvas, x, y, line.c_str());
}

void draw_frame(Canvas* canvas, int row, bool scrollbar) {
    const int y = kYOffset + row * kFrameHeight;
    const int width = scrollbar ? 122 : 127;
    canvas_set_color(canvas, ColorBlack);
    canvas_draw_box(canvas, 0, static_cast<uint8_t>(y), static_cast<uint8_t>(width), kFrameHeight);
    canvas_set_color(canvas, ColorWhite);
    canvas_draw_dot(canvas, 0, static_cast<uint8_t>(y));
    canvas_draw_dot(canvas, 1, static_cast<uint8_t>(y));
    canvas_draw_dot(canvas, 0, static_cast<uint8_t>(y + 1));
    canvas_draw_dot(canvas, 0, static_cast<uint8_t>(y + kFrameHeight - 1));
    canvas_draw_dot(canvas, static_cast<uint8_t>(width - 1), static_cast<uint8_t>(y));
    canvas_draw_dot(
        canvas, static_cast<uint8_t>(width - 1), static_cast<uint8_t>(y + kFrameHeight - 1));
}

void draw(Canvas* canvas, void* model_memory) {
    const Model& m = *static_cast<Model*>(model_memory);
    canvas_clear(canvas);
    canvas_set_font(canvas, FontSecondary);
    if(!m.loaded) return;
    const bool scrollbar = m.count() > kListItems;
    for(int row = 0; row < std::min(m.count(), kListItems); ++row) {
        const int32_t idx = m.list_offset + row;
        if(idx < 0 || idx >= m.count()) break;
        const Item& item = m.items[static_cast<std::size_t>(idx)];
        const bool selected = idx == m.item_idx;
        std::size_t scroll = 0;
        if(selected) {
            draw_frame(canvas, row, scrollbar);
            scroll = m.scroll_counter < kScrollDelay ? 0 : m.scroll_counter - kScrollDelay + 1;
        } else {
            canvas_set_color(canvas, ColorBlack);
        }
        const uint8_t icon_y = static_cast<uint8_t>(kYOffset + 1 + row * kFrameHeight);
        if(item.type == ItemType::File && item.custom_icon) {
            canvas_draw_bitmap(canvas, 2, icon_y, 10, 10, item.icon.data());
        } else if(item.type == ItemType::File) {
            canvas_draw_icon(
                canvas, 2, icon_y, m.file_icon != nullptr ? m.file_icon : &dialogs_host::kIconFile);
        } else {
            canvas_draw_icon(
                canvas,
                2,
                icon_y,
                item.type == ItemType::Back ? &dialogs_host::kIconBack :
                                              &dialogs_host::kIconFolder);
        }
        draw_name(
            canvas,
            15,
            static_cast<uint8_t>(kYOffset + 9 + row * kFrameHeight),
            static_cast<uint8_t>(scrollbar ? kMaxLenPx - 6 : kMaxLenPx),
            item.name,
            scroll,
            !selected);
    }
    canvas_set_color(canvas, ColorBlack);
    if(m.real_entries() <= 0)
        canvas_draw_str_aligned(canvas, 64, 32, AlignCenter, AlignCenter, "<Empty>");
    if(scrollbar) {
        elements_scrollbar_pos(
            canvas,
            128,
            0,
            64,
            static_cast<uint16_t>(m.item_idx),
            static_cast<uint16_t>(m.count()));
    }
}

} // namespace

struct FileBrowser {
    View* view = nullptr;
    FuriString* result_path = nullptr;
    FuriTimer* scroll_timer = nullptr;
    Storage* storage = nullptr; // open between start and stop

    FileBrowserCallback callback = nullptr;
    void* context = nullptr;
    FileBrowserLoadItemCallback item_callback = nullptr;
    void* item_context = nullptr;

    std::string extension;
    std::string base_path;
    bool skip_assets = true;
    bool hide_dot_files = true;
    bool hide_ext = true;
    const Icon* file_icon = nullptr;

    std::string current; // the folder shown (caller's thread at start, then the GUI thread)
};

namespace {

constexpr host::NotNull<FileBrowser> require_browser{"file browser"};

bool stat_is_dir(Storage* storage, const std::string& path, bool* exists = nullptr) {
    FileInfo info{};
    const bool ok = storage_common_stat(storage, path.c_str(), &info) == FSE_OK;
    if(exists != nullptr) *exists = ok;
    return ok && file_info_is_dir(&info);
}

bool shown(const FileBrowser& browser, const std::string& name, bool is_folder) {
    if(browser.hide_dot_files && !name.empty() && name.front() == '.') return false;
    if(is_folder) return !(browser.skip_assets && name == kAssetsDir);
    if(browser.extension.empty() || browser.extension == "*") return true;
    return ends_with(name, browser.extension);
}

/// Lists `folder` (walking up to the nearest existing folder) and selects the entry named
/// `select` when it is there, else the first row.
void open_folder(FileBrowser* browser, std::string folder, const std::string& select) {
    while(folder.size() > 1 && folder.back() == '/') folder.pop_back();
    bool is_root = is_top_level(folder);
    for(;;) {
        if(stat_is_dir(browser->storage, folder) || is_root) break;
        is_root = trim_last(folder);
    }

    std::vector<Item> items;
    if(!is_root) items.push_back({ItemType::Back, {}, ". .", false, {}});
    int32_t selected = -1;
    File* dir = storage_file_alloc(browser->storage);
    if(storage_dir_open(dir, folder.c_str())) {
        FileInfo info{};
        std::array<char, kNameBufferSize> name{};
        while(storage_dir_read(dir, &info, name.data(), static_cast<uint16_t>(name.size()))) {
            const std::string entry = name.data();
            const bool is_folder = file_info_is_dir(&info);
            if(entry.empty() || !shown(*browser, entry, is_folder)) continue;
            Item item;
            item.type = is_folder ? ItemType::Folder : ItemType::File;
            item.path = folder + "/" + entry;
            item.name = (!is_folder && browser->hide_ext) ? without_extension(entry) : entry;
            if(!is_folder && browser->item_callback != nullptr) {
                FuriString* path = furi_string_alloc_set_str(item.path.c_str());
                FuriString* custom_name = furi_string_alloc();
                uint8_t* icon = item.icon.data();
                if(browser->item_callback(path, browser->item_context, &icon, custom_name)) {
                    item.custom_icon = icon != nullptr;
                    if(icon != nullptr && icon != item.icon.data())
                        std::copy_n(icon, item.icon.size(), item.icon.begin());
                    if(!furi_string_empty(custom_name))
                        item.name = furi_string_get_cstr(custom_name);
                }
                furi_string_free(custom_name);
                furi_string_free(path);
            }
            if(!select.empty() && entry == select) selected = static_cast<int32_t>(items.size());
            items.push_back(std::move(item));
        }
    }
    storage_dir_close(dir);
    storage_file_free(dir);

    browser->current = folder;
    gui_modules::with_model<Model>(browser->view, true, [&](Model& m) {
        m.items = std::move(items);
        m.is_root = is_root;
        m.item_idx = selected >= 0 ? selected : 0;
        m.list_offset = 0;
        m.scroll_counter = 0;
        m.held_ticks = 0;
        m.file_icon = browser->file_icon;
        m.loaded = true;
        update_offset(m);
    });
}

void go_up(FileBrowser* browser) {
    std::string parent = browser->current;
    const std::size_t slash = parent.rfind('/');
    const std::string left = slash == std::string::npos ? std::string() : parent.substr(slash + 1);
    trim_last(parent);
    open_folder(browser, parent, left);
}

void move_selection(FileBrowser* browser, InputKey key, InputType type) {
    gui_modules::with_model<Model>(browser->view, true, [&](Model& m) {
        const int32_t count = m.count();
        if(count == 0) return;
        int32_t speed = 1;
        if(m.held_ticks > 5) speed = (m.held_ticks % 2) ? 0 : (m.held_ticks > 9 ? 5 : 3);
        const int32_t step = key == InputKeyUp ? -speed : speed;
        m.item_idx = ((m.item_idx + step) % count + count) % count;
        update_offset(m);
        m.scroll_counter = 0;
        m.held_ticks = type == InputTypeRepeat ? m.held_ticks + 1 : 0;
    });
}

bool input(InputEvent* event, void* context) {
    auto* browser = static_cast<FileBrowser*>(context);
    if(event->key == InputKeyUp || event->key == InputKeyDown) {
        if(event->type == InputTypeShort || event->type == InputTypeRepeat)
            move_selection(browser, event->key, event->type);
        return true;
    }
    if(event->key == InputKeyOk) {
        if(event->type != InputTypeShort) return true;
        struct {
            bool any = false;
            Item item;
        } selected;
        gui_modules::with_model<Model>(browser->view, false, [&](Model& m) {
            if(m.item_idx >= 0 && m.item_idx < m.count()) {
                selected.any = true;
                selected.item = m.items[static_cast<std::size_t>(m.item_idx)];
            }
        });
        if(!selected.any) return true;
        switch(selected.item.type) {
        case ItemType::Back:
            go_up(browser);
            break;
        case ItemType::Folder:
            open_folder(browser, selected.item.path, {});
            break;
        case ItemType::File:
            furi_string_set_str(browser->result_path, selected.item.path.c_str());
            if(browser->callback != nullptr) browser->callback(browser->context);
            break;
        }
        return true;
    }
    const bool is_root =
        gui_modules::with_model<Model>(browser->view, false, [](Model& m) { return m.is_root; });
    if(event->key == InputKeyLeft) {
        if(event->type == InputTypeShort && !is_root) go_up(browser);
        return true;
    }
    if(event->key == InputKeyBack && event->type == InputTypeShort) {
        if(is_root || browser->current == browser->base_path) return false; // the holder leaves
        go_up(browser);
        return true;
    }
    return false;
}

void scroll_tick(void* context) {
    auto* browser = static_cast<FileBrowser*>(context);
    gui_modules::with_model<Model>(browser->view, true, [](Model& m) { ++m.scroll_counter; });
}

void enter_callback(void* context) {
    auto* browser = static_cast<FileBrowser*>(context);
    gui_modules::with_model<Model>(browser->view, false, [](Model& m) { m.scroll_counter = 0; });
    furi_timer_start(browser->scroll_timer, furi_ms_to_ticks(kScrollIntervalMs));
}

void exit_callback(void* context) {
    furi_timer_stop(static_cast<FileBrowser*>(context)->scroll_timer);
}

} // namespace

extern "C" {

FileBrowser* file_browser_alloc(FuriString* result_path) {
    if(result_path == nullptr) host::fatal("file_browser_alloc: result_path is null");
    auto* browser = host::make_tracked<FileBrowser>();
    browser->result_path = result_path;
    browser->view = view_alloc();
    gui_modules::model_construct<Model>(browser->view);
    view_set_context(browser->view, browser);
    view_set_draw_callback(browser->view, draw);
    view_set_input_callback(browser->view, input);
    view_set_enter_callback(browser->view, enter_callback);
    view_set_exit_callback(browser->view, exit_callback);
    browser->scroll_timer = furi_timer_alloc(scroll_tick, FuriTimerTypePeriodic, browser);
    return browser;
}

void file_browser_free(FileBrowser* browser) {
    require_browser(browser, "file_browser_free");
    file_browser_stop(browser);
    furi_timer_stop(browser->scroll_timer);
    furi_timer_free(browser->scroll_timer);
    gui_modules::model_destroy<Model>(browser->view);
    view_free(browser->view);
    host::destroy_tracked(browser);
}

View* file_browser_get_view(FileBrowser* browser) {
    return require_browser(browser, "file_browser_get_view")->view;
}

void file_browser_configure(
    FileBrowser* browser,
    const char* extension,
    const char* base_path,
    bool skip_assets,
    bool hide_dot_files,
    const Icon* file_icon,
    bool hide_ext) {
    require_browser(browser, "file_browser_configure");
    browser->extension = extension != nullptr ? extension : "";
    browser->base_path = base_path != nullptr ? base_path : "";
    while(browser->base_path.size() > 1 && browser->base_path.back() == '/')
        browser->base_path.pop_back();
    browser->skip_assets = skip_assets;
    browser->hide_dot_files = hide_dot_files;
    browser->file_icon = file_icon;
    browser->hide_ext = hide_ext;
}

void file_browser_start(FileBrowser* browser, FuriString* path) {
    require_browser(browser, "file_browser_start");
    if(browser->storage == nullptr)
        browser->storage = static_cast<Storage*>(furi_record_open(RECORD_STORAGE));
    std::string start = path != nullptr ? furi_string_get_cstr(path) : "";
    if(start.empty())
        start = browser->base_path.empty() ? STORAGE_EXT_PATH_PREFIX : browser->base_path;
    // A path naming an existing file opens its folder with the file selected.
    bool exists = false;
    const bool is_dir = stat_is_dir(browser->storage, start, &exists);
    std::string select;
    if(exists && !is_dir) {
        const std::size_t slash = start.rfind('/');
        select = start.substr(slash + 1);
        trim_last(start);
    }
    open_folder(browser, start, select);
}

void file_browser_stop(FileBrowser* browser) {
    require_browser(browser, "file_browser_stop");
    furi_timer_stop(browser->scroll_timer);
    if(browser->storage != nullptr) {
        furi_record_close(RECORD_STORAGE);
        browser->storage = nullptr;
    }
    gui_modules::with_model<Model>(browser->view, false, [](Model& m) {
        m.items.clear();
        m.loaded = false;
    });
}

void file_browser_set_callback(FileBrowser* browser, FileBrowserCallback callback, void* context) {
    require_browser(browser, "file_browser_set_callback");
    browser->callback = callback;
    browser->context = context;
}

void file_browser_set_item_callback(
    FileBrowser* browser,
    FileBrowserLoadItemCallback callback,
    void* context) {
    require_browser(browser, "file_browser_set_item_callback");
    browser->item_callback = callback;
    browser->item_context = context;
}

} // extern "C"
