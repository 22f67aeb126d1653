// Dialog-host seam: a modal dialog from one of the library's dialog templates, with the tree-view,
// button and static controls it holds. The dialog's logic implements DialogHandler once and works
// only through DialogHost; win32/ runs it with DialogBoxParamW, portable/ with a modelled dialog
// that a scripted user drives (platform/portable/portable_dialog.h).
//
// The calls follow the Win32 messages they stand for: tree items are HTREEITEMs, the relations
// of NextTreeItem are the TVGN_ codes, hit-test flags are the TVHT_ flags, results of a handler
// are what the dialog procedure would return for the message.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/message_box.h"

namespace platform {

// A tree-view item (HTREEITEM). Null stands for no item and, as a parent, for the top level.
using TreeItem = void*;

// TVM_GETNEXTITEM relations. Root and Caret ignore the item passed.
enum class TreeRelation : std::uint32_t {
    Root = 0x0000,    // TVGN_ROOT: the first top-level item
    Next = 0x0001,    // TVGN_NEXT: the next sibling
    Parent = 0x0003,  // TVGN_PARENT
    Child = 0x0004,   // TVGN_CHILD: the first child
    Caret = 0x0009,   // TVGN_CARET: the selected item
};

// TVM_HITTEST flags.
inline constexpr std::uint32_t kTreeHitNowhere = 0x0001;
inline constexpr std::uint32_t kTreeHitOnIcon = 0x0002;
inline constexpr std::uint32_t kTreeHitOnLabel = 0x0004;
inline constexpr std::uint32_t kTreeHitOnIndent = 0x0008;
inline constexpr std::uint32_t kTreeHitOnButton = 0x0010;
inline constexpr std::uint32_t kTreeHitOnRight = 0x0020;
inline constexpr std::uint32_t kTreeHitAbove = 0x0100;
inline constexpr std::uint32_t kTreeHitBelow = 0x0200;
inline constexpr std::uint32_t kTreeHitToRight = 0x0400;
inline constexpr std::uint32_t kTreeHitToLeft = 0x0800;

// WM_COMMAND notification of a button, and the one virtual key the library handles.
inline constexpr std::uint16_t kButtonClicked = 0;  // BN_CLICKED
inline constexpr std::uint16_t kVirtualKeySpace = 0x20;

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A new item for TVM_INSERTITEM with TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM |
// TVIF_CHILDREN: the same index as image and selected image.
struct TreeInsert {
    TreeItem parent = nullptr;  // null: a top-level item
    bool sorted = false;        // TVI_SORT among the parent's children; else TVI_ROOT
    std::u16string_view text;
    int image = 0;
    std::intptr_t param = 0;
    bool hasChildren = false;  // cChildren 1 or 0
};

// What TVM_GETITEM reads with TVIF_HANDLE | TVIF_IMAGE | TVIF_PARAM | TVIF_CHILDREN.
struct TreeItemState {
    int image = 0;
    std::intptr_t param = 0;
    int children = 0;
};

struct TreeHit {
    TreeItem item = nullptr;
    std::uint32_t flags = 0;
};

// The open dialog, as its handler sees it. Controls are named by their ids in the template.
class DialogHost {
  public:
    // The dialog's window, the owner of the boxes it shows.
    virtual WindowHandle Window() = 0;

    // ImageList_LoadImageW of a bitmap resource cut into square images of imageSize pixels,
    // white as the mask colour, set as the tree's normal image list (TVSIL_NORMAL). The host
    // destroys the list when the dialog ends.
    virtual bool SetTreeImageList(int tree, int bitmapId, int imageSize) = 0;
    // Null when the item could not be inserted.
    virtual TreeItem InsertTreeItem(int tree, const TreeInsert& item) = 0;
    virtual TreeItem NextTreeItem(int tree, TreeItem item, TreeRelation relation) = 0;
    virtual bool GetTreeItem(int tree, TreeItem item, TreeItemState& state) = 0;
    // TVM_SETITEM with TVIF_HANDLE | TVIF_IMAGE | TVIF_SELECTEDIMAGE: both images set to image.
    virtual bool SetTreeItemImage(int tree, TreeItem item, int image) = 0;
    virtual bool ExpandTreeItem(int tree, TreeItem item) = 0;  // TVE_EXPAND
    virtual bool SelectTreeItem(int tree, TreeItem item) = 0;  // TVGN_CARET

    // GetMessagePos: the cursor position of the message being handled, in screen coordinates.
    virtual Point MessagePosition() = 0;
    virtual Point ScreenToClient(int control, Point screen) = 0;
    // TVM_HITTEST at a point in the tree's client coordinates.
    virtual TreeHit HitTestTree(int tree, Point client) = 0;

    virtual void SetButtonCheck(int button, bool checked) = 0;  // BM_SETCHECK
    virtual bool IsButtonChecked(int button) = 0;               // IsDlgButtonChecked
    virtual void EnableControl(int control, bool enabled) = 0;
    // A control the dialog does not have is left alone.
    virtual void SetControlText(int control, std::u16string_view text) = 0;

    // Centres the dialog over its owner when the owner is visible and not minimised, otherwise
    // over the work area, then moves it without resizing into the work area (CentreInWorkArea).
    virtual void CentreDialog() = 0;
    // Either SHIFT key down (GetKeyState of VK_LSHIFT or VK_RSHIFT negative).
    virtual bool IsShiftDown() = 0;
    virtual void EndDialog(std::intptr_t result) = 0;

  protected:
    ~DialogHost() = default;
};

// The dialog's logic: the messages it handles, each with the result the dialog procedure
// returns for it.
class DialogHandler {
  public:
    // WM_INITDIALOG: true lets the system set the focus.
    virtual bool OnInitDialog(DialogHost& host) = 0;
    // WM_NOTIFY with NM_CLICK from a tree view.
    virtual std::intptr_t OnTreeClick(DialogHost& host, int tree) = 0;
    // WM_NOTIFY with TVN_KEYDOWN from a tree view.
    virtual std::intptr_t OnTreeKeyDown(DialogHost& host, int tree, std::uint16_t virtualKey) = 0;
    // WM_COMMAND. The close box and the Escape key arrive as the Cancel button (id 2).
    virtual void OnCommand(DialogHost& host, int control, std::uint16_t notification) = 0;

  protected:
    ~DialogHandler() = default;
};

// DialogBoxParamW with the library module's dialog template: the value the handler passed to
// EndDialog, or -1 when the dialog could not be made.
std::intptr_t RunModalDialog(int templateId, WindowHandle owner, DialogHandler& handler);

// GetActiveWindow: the calling thread's active window, null when it has none.
WindowHandle ActiveWindow();

// Where a dialog of the given rectangle goes: centred over centre, then moved without resizing
// so that it lies inside workArea (a left edge left of the work area becomes its left edge, a
// right edge beyond it shifts the dialog left by the overshoot; likewise top and bottom).
inline Rect CentreInWorkArea(Rect dialog, Rect centre, Rect workArea) {
    std::int32_t width = dialog.Width();
    std::int32_t height = dialog.Height();
    std::int32_t left = (centre.left + centre.right) / 2 - width / 2;
    std::int32_t top = (centre.top + centre.bottom) / 2 - height / 2;
    if (left < workArea.left) {
        left = workArea.left;
    } else if (left + width > workArea.right) {
        left = workArea.right - width;
    }
    if (top < workArea.top) {
        top = workArea.top;
    } else if (top + height > workArea.bottom) {
        top = workArea.bottom - height;
    }
    return {left, top, left + width, top + height};
}

}  // namespace platform
