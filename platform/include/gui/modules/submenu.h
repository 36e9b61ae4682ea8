/* Submenu: a scrolling list of items with an optional header. Up/Down move the selection (with
 * wrap-around), OK calls the item's callback with its index. */
#pragma once
#include <stdint.h>

#include <gui/view.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Submenu Submenu;
typedef void (*SubmenuItemCallback)(void* context, uint32_t index);

Submenu* submenu_alloc(void);
void submenu_free(Submenu* submenu);
View* submenu_get_view(Submenu* submenu);
/* The label is copied. */
void submenu_add_item(
    Submenu* submenu,
    const char* label,
    uint32_t index,
    SubmenuItemCallback callback,
    void* callback_context);
/* Removes the items and the header; the selection goes back to the first item. */
void submenu_reset(Submenu* submenu);
/* Selects the item added with `index`; an unknown index selects the first item. */
void submenu_set_selected_item(Submenu* submenu, uint32_t index);
/* The header is copied; null removes it. */
void submenu_set_header(Submenu* submenu, const char* header);

#ifdef __cplusplus
}
#endif
