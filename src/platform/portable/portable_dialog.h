// Control of the portable dialog host: the scripted user in front of the library's modal dialogs
// and the record of what each dialog displayed.
//
// The portable host stands in for the dialog manager and the common controls. It knows the one
// dialog template of the library, 200 ("Choose Folders"), with its English texts, and bitmap 201
// (three 16 x 16 images); any other template fails to open, as DialogBoxParamW does for a missing
// resource (-1).
//
// The tree-view control is modelled as the dialog relies on it:
//   - items are inserted under a parent or, without one, at the top level; TVI_SORT puts an item
//     before the first sibling whose text compares greater, so equal texts keep their insertion
//     order; any other insertion appends. Windows compares the texts with a locale-aware,
//     case-insensitive comparison (lstrcmpi); the model folds the ASCII letters A-Z and compares
//     the UTF-16 units otherwise, so it orders non-ASCII letters and punctuation by code unit;
//   - expanded state, caret (selected item), image per item (the selected image is always the
//     same index), lParam and cChildren;
//   - a geometry for GetMessagePos, ScreenToClient and TVM_HITTEST: rows of 16 pixels, 19 pixels
//     of indent per level with a button column at every level (TVS_LINESATROOT), the 16-pixel
//     image, then the label (6 pixels per character plus 4). Only items whose ancestors are all
//     expanded have rows; the tree shows 12 rows and scrolls to an item when the user clicks it.
//   - a click on an item's image or label selects the item and then sends NM_CLICK; a click on
//     its button expands or collapses it and sends NM_CLICK. A disabled tree takes no clicks and
//     no keys.
// The dialog's client area starts 3 pixels right of and 22 pixels below the window's corner;
// dialog units are 6/4 pixels across and 13/8 down (MS Sans Serif 8 pt); the tree has a 1-pixel
// border. The window first lies at the screen's origin until the dialog places it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog_host.h"
#include "platform/portable/portable_platform.h"

namespace platform::portable {

// ---- The scripted user ----

enum class DialogActionKind {
    ClickImage,   // left click on an item's image (its check box)
    ClickLabel,   // left click on an item's label
    ClickButton,  // left click on an item's expand button
    PressSpace,   // the space bar, with the tree holding the focus
    ClickRadio,   // left click on a radio button
    Ok,           // the OK button
    Cancel,       // the Cancel button
    Close,        // the close box (or Escape): arrives as Cancel
};

struct DialogAction {
    DialogActionKind kind = DialogActionKind::Ok;
    // Clicks on items: the item's path of texts from its top-level item down, joined by '/'
    // ("Mailbox - John Doe/Inbox/Projects"); the first item in control order with that path.
    // Clicking an item first expands its collapsed ancestors, as the user would.
    std::u16string path;
    bool shift = false;  // SHIFT held down during the click or the key press
    int control = 0;     // ClickRadio: the button's id
};

inline DialogAction ClickItemImage(std::u16string path, bool shift = false) {
    return {DialogActionKind::ClickImage, std::move(path), shift, 0};
}
inline DialogAction ClickItemLabel(std::u16string path, bool shift = false) {
    return {DialogActionKind::ClickLabel, std::move(path), shift, 0};
}
inline DialogAction ClickItemButton(std::u16string path) {
    return {DialogActionKind::ClickButton, std::move(path), false, 0};
}
inline DialogAction PressSpace(bool shift = false) {
    return {DialogActionKind::PressSpace, {}, shift, 0};
}
inline DialogAction ClickRadio(int control) {
    return {DialogActionKind::ClickRadio, {}, false, control};
}
inline DialogAction PressOk() {
    return {DialogActionKind::Ok, {}, false, 0};
}
inline DialogAction PressCancel() {
    return {DialogActionKind::Cancel, {}, false, 0};
}
inline DialogAction CloseDialog() {
    return {DialogActionKind::Close, {}, false, 0};
}

// The texts of an item path, top level first ("a/b" gives "a", "b").
inline std::vector<std::u16string_view> SplitItemPath(std::u16string_view path) {
    std::vector<std::u16string_view> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t slash = path.find(u'/', start);
        parts.push_back(path.substr(start, slash - start));
        if (slash == std::u16string_view::npos) return parts;
        start = slash + 1;
    }
}

// Actions are taken in order, across dialogs: a dialog that ends leaves the rest for the next
// one. When a dialog is open and no action is left, the user closes it (Close). Boxes the dialog
// shows are answered from the message-box queue of portable_platform.h.
void QueueDialogAction(DialogAction action);
std::size_t QueuedDialogActions();

// ---- The screen ----

struct WindowSetup {
    WindowHandle handle = nullptr;
    Rect rect;
    bool visible = true;
    bool minimised = false;
};

// The active window that ActiveWindow returns (none by default), and where it is.
void SetActiveWindow(std::optional<WindowSetup> window);
// The desktop work area (default 0, 0, 1280, 984).
void SetWorkArea(Rect area);
// While set, every dialog fails to open (-1) as if its window could not be made.
void SetDialogCreationFails(bool fails);

// ---- What the dialogs displayed ----

struct TreeItemView {
    int depth = 0;  // 0 for a top-level item
    std::u16string text;
    int image = 0;
    int children = 0;  // cChildren
    bool expanded = false;
    bool enabled = true;  // the tree control's state; items have none of their own
    bool caret = false;
    std::intptr_t param = 0;
};

enum class ControlKind { Static, GroupBox, RadioButton, PushButton, TreeView };

struct ControlView {
    int id = 0;  // -1 for the template's unnamed statics and the group box
    ControlKind kind = ControlKind::Static;
    std::u16string text;
    bool enabled = true;
    bool checked = false;  // radio buttons
};

struct DialogView {
    std::u16string caption;
    Rect window;  // screen coordinates
    bool imageList = false;
    std::vector<ControlView> controls;  // in template order
    std::vector<TreeItemView> tree;     // every item in control order, each before its children
};

struct DialogStep {
    DialogAction action;
    // "done", or why nothing reached the dialog ("the tree is disabled", "no such item", ...).
    std::string outcome;
    std::vector<MessageBoxRecord> boxes;  // shown while the step was handled
    DialogView after;
};

struct DialogRecord {
    int templateId = 0;
    bool created = false;
    WindowHandle window = nullptr;
    WindowHandle owner = nullptr;
    bool initResult = false;  // WM_INITDIALOG's result
    DialogView initial;       // right after WM_INITDIALOG
    std::vector<DialogStep> steps;
    std::intptr_t result = 0;  // RunModalDialog's result
};

// Every dialog asked for since the last reset, in order, once it has ended.
const std::vector<DialogRecord>& ShownDialogs();
// Forgets the records, the queued actions, the active window, the work area and the failure.
void ResetDialogs();
// Whether a record keeps what the dialog displayed (its initial view and the view after each
// step); on until switched off, and again after ResetDialogs. A benchmark switches it off: a
// view of a tree of 100,000 items after every click is the host's cost, not the dialog's.
void RecordDialogViews(bool on);

// Lookups in a view: null when there is none.
const ControlView* FindControl(const DialogView& view, int id);
const TreeItemView* FindTreeItem(const DialogView& view, std::u16string_view path);

}  // namespace platform::portable
