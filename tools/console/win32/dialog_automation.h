// The scripted user of the Windows console: it reads and drives the library's real "Choose
// Folders" dialog (template 200) and the message boxes the library shows.
//
// Every function runs on the thread that runs the modal dialog, normally from a thread timer
// (SetTimer(NULL, ...)) that the dialog's modal loop dispatches when its queue is idle. Nothing
// here waits for the dialog: state is read with SendMessage (a direct call for windows of the
// calling thread) and input is posted, so the modal loop handles it before the next tick.
//
// Input is posted window messages, not SendInput:
//   - tree clicks: SetCursorPos to the point on the screen, then WM_LBUTTONDOWN / WM_LBUTTONUP
//     posted to the tree. A posted message carries the cursor position of the moment it was
//     posted, so GetMessagePos in the dialog's NM_CLICK handler sees the clicked point, and the
//     tree's drag check finds the button-up in its queue at once and reports NM_CLICK. Posted
//     clicks never pair into a double click, as two quick SendInput clicks on the same item would;
//   - SHIFT: the VK_SHIFT and VK_LSHIFT bits of the thread's keyboard state (SetKeyboardState),
//     which GetKeyState reads while the posted input is handled; ReleaseModifiers clears them on
//     the next tick. The desktop's key state (GetAsyncKeyState) is left alone;
//   - the space bar: WM_KEYDOWN / WM_KEYUP of VK_SPACE posted to the tree after giving it the
//     focus; the tree turns the key-down into TVN_KEYDOWN;
//   - radio buttons: a posted BM_CLICK, so the auto radio button checks itself and unchecks the
//     others of its group before BN_CLICKED; OK and Cancel: WM_COMMAND / BN_CLICKED posted to the
//     dialog with the button's window; the close box: a posted WM_SYSCOMMAND / SC_CLOSE, which
//     the dialog manager turns into IDCANCEL.
#pragma once

#include <windows.h>
// windows.h first: the common controls need its declarations.
#include <commctrl.h>

#include <string>

#include "platform/portable/portable_dialog.h"

namespace console::win32 {

// What the dialog shows now: caption, window rectangle (screen coordinates), whether the tree has
// a normal image list, the controls in child order (the template's order) and the tree's items in
// control order, each before its children. Unnamed statics and group boxes (id 0xFFFF or -1) get
// id -1; items take the tree window's enabled state.
platform::portable::DialogView ReadDialogView(HWND dialog);

// Starts one scripted action: "done" once its input is posted, otherwise why nothing reached the
// dialog ("the tree is disabled", "no such item", "the item has no image", "no such radio
// button", "the radio button is disabled", "the OK button is disabled"). A click on an item first
// expands its collapsed ancestors and scrolls it into view, even when it then finds that the item
// has no image; "the item is not visible" when the point to click is still outside the tree's
// client area or off the screen, where the cursor cannot carry it to the dialog.
std::string StartDialogAction(HWND dialog, const platform::portable::DialogAction& action);

// Lets go of the SHIFT key an action held down. Call it on the tick after the action, once its
// posted input has been handled.
void ReleaseModifiers();

// Whether the window is a message box of the calling thread: a "#32770" dialog holding only
// statics and buttons, one of them the static text with id 0xFFFF.
bool IsMessageBox(HWND window);

// Presses the box's button for IDOK, IDCANCEL, IDYES, IDNO, ...: posts the button's WM_COMMAND /
// BN_CLICKED to the box, which ends with that button.
void AnswerMessageBox(HWND box, int button);

}  // namespace console::win32
