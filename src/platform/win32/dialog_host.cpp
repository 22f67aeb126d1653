#include "platform/dialog_host.h"

#include <windows.h>
// windows.h first: the common controls need its declarations.
#include <commctrl.h>

#include <string>

#include "platform/critical_section.h"
#include "platform/module.h"

namespace platform {
namespace {

const char g_anchor = 0;

HINSTANCE LibraryModule() {
    return static_cast<HINSTANCE>(ModuleOfAddress(&g_anchor));
}

// Held while a dialog window is being made, from DialogBoxParamW until its WM_INITDIALOG.
CriticalSection& WindowCreationLock() {
    static CriticalSection lock;
    return lock;
}

HTREEITEM AsItem(TreeItem item) {
    return static_cast<HTREEITEM>(item);
}

class Win32Dialog final : public DialogHost {
  public:
    explicit Win32Dialog(DialogHandler& handler) : handler_(handler) {}
    ~Win32Dialog() {
        if (images_) ImageList_Destroy(images_);
        LeaveCreationLock();
    }
    Win32Dialog(const Win32Dialog&) = delete;
    Win32Dialog& operator=(const Win32Dialog&) = delete;

    void EnterCreationLock() {
        WindowCreationLock().Enter();
        creating_ = true;
    }
    void LeaveCreationLock() {
        if (creating_) WindowCreationLock().Leave();
        creating_ = false;
    }

    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* dialog = reinterpret_cast<Win32Dialog*>(lParam);
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            dialog->window_ = window;
            dialog->LeaveCreationLock();
            return dialog->handler_.OnInitDialog(*dialog) ? TRUE : FALSE;
        }
        auto* dialog = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
        if (!dialog) return FALSE;
        return dialog->Handle(message, wParam, lParam);
    }

    // ---- DialogHost ----

    WindowHandle Window() override { return window_; }

    bool SetTreeImageList(int tree, int bitmapId, int imageSize) override {
        if (images_) ImageList_Destroy(images_);
        images_ = ImageList_LoadImageW(LibraryModule(), MAKEINTRESOURCEW(bitmapId), imageSize, 0,
                                       RGB(255, 255, 255), IMAGE_BITMAP, 0);
        if (!images_) return false;
        SendTree(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images_));
        return true;
    }

    TreeItem InsertTreeItem(int tree, const TreeInsert& item) override {
        std::wstring text(reinterpret_cast<const wchar_t*>(item.text.data()), item.text.size());
        TVINSERTSTRUCTW insert{};
        insert.hParent = AsItem(item.parent);
        insert.hInsertAfter = item.sorted ? TVI_SORT : TVI_ROOT;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_PARAM | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
        insert.item.pszText = text.data();
        insert.item.iImage = item.image;
        insert.item.iSelectedImage = item.image;
        insert.item.lParam = item.param;
        insert.item.cChildren = item.hasChildren ? 1 : 0;
        return reinterpret_cast<TreeItem>(
            SendTree(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    }

    TreeItem NextTreeItem(int tree, TreeItem item, TreeRelation relation) override {
        return reinterpret_cast<TreeItem>(SendTree(
            tree, TVM_GETNEXTITEM, static_cast<WPARAM>(relation), reinterpret_cast<LPARAM>(item)));
    }

    bool GetTreeItem(int tree, TreeItem item, TreeItemState& state) override {
        TVITEMW data{};
        data.mask = TVIF_HANDLE | TVIF_IMAGE | TVIF_PARAM | TVIF_CHILDREN;
        data.hItem = AsItem(item);
        if (!SendTree(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data))) return false;
        state = {data.iImage, data.lParam, data.cChildren};
        return true;
    }

    bool SetTreeItemImage(int tree, TreeItem item, int image) override {
        TVITEMW data{};
        data.mask = TVIF_HANDLE | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        data.hItem = AsItem(item);
        data.iImage = image;
        data.iSelectedImage = image;
        return SendTree(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&data)) != 0;
    }

    bool ExpandTreeItem(int tree, TreeItem item) override {
        return SendTree(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item)) != 0;
    }

    bool SelectTreeItem(int tree, TreeItem item) override {
        return SendTree(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
    }

    Point MessagePosition() override {
        DWORD position = GetMessagePos();
        // Signed 16-bit coordinates: a second monitor left of the first has negative ones.
        return {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    }

    Point ScreenToClient(int control, Point screen) override {
        POINT point{screen.x, screen.y};
        ::ScreenToClient(GetDlgItem(window_, control), &point);
        return {point.x, point.y};
    }

    TreeHit HitTestTree(int tree, Point client) override {
        TVHITTESTINFO hit{};
        hit.pt = {client.x, client.y};
        SendTree(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
        return {hit.hItem, hit.flags};
    }

    void SetButtonCheck(int button, bool checked) override {
        CheckDlgButton(window_, button, checked ? BST_CHECKED : BST_UNCHECKED);
    }

    bool IsButtonChecked(int button) override {
        return IsDlgButtonChecked(window_, button) == BST_CHECKED;
    }

    void EnableControl(int control, bool enabled) override {
        if (HWND child = GetDlgItem(window_, control)) EnableWindow(child, enabled ? TRUE : FALSE);
    }

    void SetControlText(int control, std::u16string_view text) override {
        if (!GetDlgItem(window_, control)) return;
        std::wstring copy(reinterpret_cast<const wchar_t*>(text.data()), text.size());
        SetDlgItemTextW(window_, control, copy.c_str());
    }

    void CentreDialog() override {
        RECT dialog{};
        RECT work{};
        GetWindowRect(window_, &dialog);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        RECT centre = work;
        HWND owner = GetWindow(window_, GW_OWNER);
        if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &centre);
        Rect placed = CentreInWorkArea(Convert(dialog), Convert(centre), Convert(work));
        SetWindowPos(window_, nullptr, placed.left, placed.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    bool IsShiftDown() override { return GetKeyState(VK_LSHIFT) < 0 || GetKeyState(VK_RSHIFT) < 0; }

    void EndDialog(std::intptr_t result) override { ::EndDialog(window_, result); }

  private:
    static Rect Convert(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

    LRESULT SendTree(int tree, UINT message, WPARAM wParam, LPARAM lParam) {
        return SendDlgItemMessageW(window_, tree, message, wParam, lParam);
    }

    // The result of a WM_NOTIFY goes through DWLP_MSGRESULT.
    INT_PTR NotifyResult(std::intptr_t result) {
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
        return TRUE;
    }

    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NOTIFY) {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            int control = static_cast<int>(header->idFrom);
            if (header->code == static_cast<UINT>(NM_CLICK)) {
                return NotifyResult(handler_.OnTreeClick(*this, control));
            }
            if (header->code == static_cast<UINT>(TVN_KEYDOWN)) {
                const auto* key = reinterpret_cast<const NMTVKEYDOWN*>(lParam);
                return NotifyResult(handler_.OnTreeKeyDown(*this, control, key->wVKey));
            }
            return FALSE;
        }
        if (message == WM_COMMAND) {
            handler_.OnCommand(*this, LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }

    DialogHandler& handler_;
    HWND window_ = nullptr;
    HIMAGELIST images_ = nullptr;
    bool creating_ = false;
};

}  // namespace

std::intptr_t RunModalDialog(int templateId, WindowHandle owner, DialogHandler& handler) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    Win32Dialog dialog(handler);
    dialog.EnterCreationLock();
    return DialogBoxParamW(LibraryModule(), MAKEINTRESOURCEW(templateId), static_cast<HWND>(owner),
                           &Win32Dialog::Procedure, reinterpret_cast<LPARAM>(&dialog));
}

WindowHandle ActiveWindow() {
    return GetActiveWindow();
}

}  // namespace platform
