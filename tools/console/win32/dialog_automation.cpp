#include "tools/console/win32/dialog_automation.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace console::win32 {
namespace {

using platform::portable::ControlKind;
using platform::portable::ControlView;
using platform::portable::DialogAction;
using platform::portable::DialogActionKind;
using platform::portable::DialogView;
using platform::portable::TreeItemView;

constexpr int kTree = 1000;
constexpr int kMessageBoxText = 0xFFFF;

std::u16string ToU16(std::wstring_view text) {
    return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

std::u16string WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return ToU16(text);
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    int length = GetClassNameW(window, name, 64);
    return std::wstring(name, static_cast<std::size_t>(std::max(length, 0)));
}

bool SameClass(const std::wstring& a, const wchar_t* b) {
    return lstrcmpiW(a.c_str(), b) == 0;
}

// A template's unnamed controls have 0xFFFF (DIALOG) or -1 (DIALOGEX) as their id.
int ControlId(HWND control) {
    int id = GetDlgCtrlID(control);
    return (id == -1 || id == 0xFFFF) ? -1 : id;
}

LONG_PTR ButtonType(HWND button) {
    return GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK;
}

bool IsRadioButton(HWND control) {
    if (!SameClass(ClassName(control), WC_BUTTONW)) return false;
    LONG_PTR type = ButtonType(control);
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

ControlKind KindOf(HWND control) {
    std::wstring name = ClassName(control);
    if (SameClass(name, WC_TREEVIEWW)) return ControlKind::TreeView;
    if (!SameClass(name, WC_BUTTONW)) return ControlKind::Static;
    switch (ButtonType(control)) {
        case BS_GROUPBOX:
            return ControlKind::GroupBox;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return ControlKind::RadioButton;
        default:
            // The template has no check boxes; any other button counts as a push button.
            return ControlKind::PushButton;
    }
}

HTREEITEM NextItem(HWND tree, HTREEITEM item, UINT relation) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

// TVM_GETITEMW of everything the view shows, the text in a buffer that grows until it fits.
bool ReadItem(HWND tree, HTREEITEM item, TVITEMW& data, std::u16string& text) {
    std::wstring buffer(256, L'\0');
    while (true) {
        data = {};
        data.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_IMAGE | TVIF_PARAM | TVIF_CHILDREN | TVIF_STATE;
        data.hItem = item;
        data.stateMask = TVIS_EXPANDED;
        data.pszText = buffer.data();
        data.cchTextMax = static_cast<int>(buffer.size());
        buffer[0] = L'\0';
        if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data))) return false;
        // The tree may hand back its own buffer instead of filling ours.
        const wchar_t* source = data.pszText ? data.pszText : L"";
        std::size_t length = std::wstring_view(source).size();
        if (source != buffer.data() || length + 1 < buffer.size()) {
            text = ToU16(std::wstring_view(source, length));
            return true;
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
}

std::u16string ItemText(HWND tree, HTREEITEM item) {
    TVITEMW data;
    std::u16string text;
    return ReadItem(tree, item, data, text) ? text : std::u16string();
}

// The first item in control order under first's level whose texts from here down are parts.
HTREEITEM FindPath(HWND tree, HTREEITEM first, const std::vector<std::u16string_view>& parts,
                   std::size_t depth) {
    for (HTREEITEM item = first; item; item = NextItem(tree, item, TVGN_NEXT)) {
        if (ItemText(tree, item) != parts[depth]) continue;
        if (depth + 1 == parts.size()) return item;
        if (HTREEITEM found = FindPath(tree, NextItem(tree, item, TVGN_CHILD), parts, depth + 1))
            return found;
    }
    return nullptr;
}

// Expands the item's collapsed ancestors from the top level down, then scrolls it into view.
void Reveal(HWND tree, HTREEITEM item) {
    std::vector<HTREEITEM> ancestors;
    for (HTREEITEM above = NextItem(tree, item, TVGN_PARENT); above;
         above = NextItem(tree, above, TVGN_PARENT)) {
        ancestors.push_back(above);
    }
    for (auto above = ancestors.rbegin(); above != ancestors.rend(); ++above) {
        UINT state = static_cast<UINT>(
            SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(*above), TVIS_EXPANDED));
        if (!(state & TVIS_EXPANDED)) {
            SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(*above));
        }
    }
    SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
}

// The hit-test flags at a client point when it hits item, else 0.
UINT HitFlags(HWND tree, HTREEITEM item, POINT point) {
    TVHITTESTINFO hit{};
    hit.pt = point;
    SendMessageW(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    return hit.hItem == item ? hit.flags : 0;
}

// The columns of an item's row left of its label where the tree reports the given hit flag,
// found with TVM_HITTEST: [first, last], or first > last when there are none.
struct Span {
    LONG first = 1;
    LONG last = 0;
    bool Empty() const { return first > last; }
    LONG Middle() const { return (first + last) / 2; }
};

Span FindSpan(HWND tree, HTREEITEM item, const RECT& label, UINT flag) {
    Span span;
    LONG y = (label.top + label.bottom) / 2;
    for (LONG x = 0; x < label.left; ++x) {
        if (!(HitFlags(tree, item, {x, y}) & flag)) continue;
        if (span.Empty()) span.first = x;
        span.last = x;
    }
    return span;
}

// Where a click of the given kind lands on item, in the tree's client coordinates: the middle
// of the image, a few pixels into the label, or the middle of the expand button. An item with no
// button is clicked where its button would be, half an indent left of its image.
bool ClickPoint(HWND tree, HTREEITEM item, DialogActionKind kind, POINT& point) {
    RECT label{};
    std::memcpy(&label, &item, sizeof item);  // TVM_GETITEMRECT takes the item in the rectangle
    if (!SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&label))) return false;
    point.y = (label.top + label.bottom) / 2;
    if (kind == DialogActionKind::ClickLabel) {
        point.x = label.left + std::min<LONG>((label.right - label.left) / 2, 8);
        return true;
    }
    // The dialog's check box is the item's normal image (the tree has no state images).
    Span image = FindSpan(tree, item, label, TVHT_ONITEMICON);
    if (kind == DialogActionKind::ClickImage) {
        point.x = image.Empty() ? label.left - 8 : image.Middle();
        return true;
    }
    Span button = FindSpan(tree, item, label, TVHT_ONITEMBUTTON);
    if (!button.Empty()) {
        point.x = button.Middle();
    } else {
        LONG indent = static_cast<LONG>(SendMessageW(tree, TVM_GETINDENT, 0, 0));
        point.x = (image.Empty() ? label.left : image.first) - indent / 2;
    }
    return true;
}

void PressShift() {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] |= 0x80;
    keys[VK_LSHIFT] |= 0x80;
    SetKeyboardState(keys);
}

// Moves the cursor to a point of the window's client area, so that messages posted from now on
// carry it as their position. False when the point is outside the client area or the cursor
// cannot get there (off the screen).
bool MoveCursorTo(HWND window, POINT client) {
    RECT area{};
    GetClientRect(window, &area);
    if (!PtInRect(&area, client)) return false;
    POINT screen = client;
    ClientToScreen(window, &screen);
    POINT cursor{};
    return SetCursorPos(screen.x, screen.y) && GetCursorPos(&cursor) && cursor.x == screen.x &&
           cursor.y == screen.y;
}

void PostClick(HWND window, POINT client, bool shift) {
    WPARAM keys = shift ? MK_SHIFT : 0;
    LPARAM where = MAKELPARAM(client.x, client.y);
    PostMessageW(window, WM_LBUTTONDOWN, keys | MK_LBUTTON, where);
    PostMessageW(window, WM_LBUTTONUP, keys, where);
}

std::string ClickItem(HWND dialog, const DialogAction& action) {
    HWND tree = GetDlgItem(dialog, kTree);
    if (!tree || !IsWindowEnabled(tree)) return "the tree is disabled";
    std::vector<std::u16string_view> parts = platform::portable::SplitItemPath(action.path);
    HTREEITEM item = FindPath(tree, NextItem(tree, nullptr, TVGN_ROOT), parts, 0);
    if (!item) return "no such item";
    Reveal(tree, item);
    if (action.kind == DialogActionKind::ClickImage &&
        !SendMessageW(tree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0)) {
        return "the item has no image";
    }
    POINT point{};
    if (!ClickPoint(tree, item, action.kind, point) || !MoveCursorTo(tree, point)) {
        return "the item is not visible";
    }
    if (action.shift) PressShift();
    PostClick(tree, point, action.shift);
    return "done";
}

std::string PressSpace(HWND dialog, bool shift) {
    HWND tree = GetDlgItem(dialog, kTree);
    if (!tree || !IsWindowEnabled(tree)) return "the tree is disabled";
    SetFocus(tree);
    if (shift) PressShift();
    UINT scan = MapVirtualKeyW(VK_SPACE, MAPVK_VK_TO_VSC);
    LPARAM down = 1 | static_cast<LPARAM>(scan << 16);
    LPARAM up = down | (LPARAM{1} << 30) | static_cast<LPARAM>(1u << 31);
    PostMessageW(tree, WM_KEYDOWN, VK_SPACE, down);
    PostMessageW(tree, WM_KEYUP, VK_SPACE, up);
    return "done";
}

std::string ClickRadio(HWND dialog, int id) {
    HWND radio = GetDlgItem(dialog, id);
    if (!radio || !IsRadioButton(radio)) return "no such radio button";
    if (!IsWindowEnabled(radio)) return "the radio button is disabled";
    PostMessageW(radio, BM_CLICK, 0, 0);
    return "done";
}

void PostButtonCommand(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

DialogView ReadDialogView(HWND dialog) {
    DialogView view;
    view.caption = WindowText(dialog);
    RECT rect{};
    GetWindowRect(dialog, &rect);
    view.window = {rect.left, rect.top, rect.right, rect.bottom};

    HWND tree = nullptr;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        ControlView control;
        control.id = ControlId(child);
        control.kind = KindOf(child);
        control.text = WindowText(child);
        control.enabled = IsWindowEnabled(child) != FALSE;
        if (control.kind == ControlKind::RadioButton) {
            control.checked = SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
        }
        if (control.kind == ControlKind::TreeView && control.id == kTree) tree = child;
        view.controls.push_back(std::move(control));
    }
    if (!tree) return view;

    view.imageList = SendMessageW(tree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0) != 0;
    bool enabled = IsWindowEnabled(tree) != FALSE;
    HTREEITEM caret = NextItem(tree, nullptr, TVGN_CARET);
    auto add = [&](auto& self, HTREEITEM first, int depth) -> void {
        for (HTREEITEM item = first; item; item = NextItem(tree, item, TVGN_NEXT)) {
            TVITEMW data;
            TreeItemView entry;
            if (ReadItem(tree, item, data, entry.text)) {
                entry.image = data.iImage;
                entry.children = data.cChildren;
                entry.expanded = (data.state & TVIS_EXPANDED) != 0;
                entry.param = data.lParam;
            }
            entry.depth = depth;
            entry.enabled = enabled;
            entry.caret = item == caret;
            view.tree.push_back(std::move(entry));
            self(self, NextItem(tree, item, TVGN_CHILD), depth + 1);
        }
    };
    add(add, NextItem(tree, nullptr, TVGN_ROOT), 0);
    return view;
}

std::string StartDialogAction(HWND dialog, const DialogAction& action) {
    switch (action.kind) {
        case DialogActionKind::ClickImage:
        case DialogActionKind::ClickLabel:
        case DialogActionKind::ClickButton:
            return ClickItem(dialog, action);
        case DialogActionKind::PressSpace:
            return PressSpace(dialog, action.shift);
        case DialogActionKind::ClickRadio:
            return ClickRadio(dialog, action.control);
        case DialogActionKind::Ok: {
            HWND ok = GetDlgItem(dialog, IDOK);
            if (!ok || !IsWindowEnabled(ok)) return "the OK button is disabled";
            PostButtonCommand(dialog, IDOK);
            return "done";
        }
        case DialogActionKind::Cancel:
            PostButtonCommand(dialog, IDCANCEL);
            return "done";
        case DialogActionKind::Close:
            PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            return "done";
    }
    return "unknown action";
}

void ReleaseModifiers() {
    BYTE keys[256] = {};
    if (!GetKeyboardState(keys)) return;
    if (!((keys[VK_SHIFT] | keys[VK_LSHIFT] | keys[VK_RSHIFT]) & 0x80)) return;
    keys[VK_SHIFT] &= 0x7F;
    keys[VK_LSHIFT] &= 0x7F;
    keys[VK_RSHIFT] &= 0x7F;
    SetKeyboardState(keys);
}

bool IsMessageBox(HWND window) {
    if (!window || !IsWindow(window)) return false;
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return false;
    if (!SameClass(ClassName(window), L"#32770")) return false;
    bool text = false;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        std::wstring name = ClassName(child);
        bool isStatic = SameClass(name, WC_STATICW);
        if (!isStatic && !SameClass(name, WC_BUTTONW)) return false;
        if (isStatic && GetDlgCtrlID(child) == kMessageBoxText) text = true;
    }
    return text;
}

void AnswerMessageBox(HWND box, int button) {
    PostButtonCommand(box, button);
}

}  // namespace console::win32
