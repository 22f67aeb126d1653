// The Windows host: the real DLL under the real user32, comctl32, ole32 and advapi32 (Wine's,
// in the test runs), the simulator in TavSimProvider.dll beside the console, which MAPI32.DLL
// loads as its provider, and a scripted user that answers the real message boxes and drives the
// real "Choose Folders" dialog.
//
// The scripted user works on the console's own thread: a thread timer fires inside the modal
// loops of the dialog and of the boxes whenever their queues are empty, so each tick sees the
// effect of the input the previous one posted. The library's imports of the clock, COM
// initialisation, the registry handles, MessageBoxW, DialogBoxParamW and EndDialog are routed
// through the console (import_hooks.h) to record the calls as the portable host does and to
// apply the scenario's clock, CoInitialize result and denied registry keys; each forwards to the
// system's function.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "sim/sim_text.h"
#include "tools/console/host.h"
#include "tools/console/library.h"
#include "tools/console/win32/dialog_automation.h"
#include "tools/console/win32/import_hooks.h"

namespace console {
namespace {

namespace portable = platform::portable;
using sim::OrderedJson;

constexpr const wchar_t* kMailClients = L"Software\\Clients\\Mail";
constexpr const wchar_t* kClientName = L"Tavrel Simulated Organisation";
constexpr UINT kTickMilliseconds = 15;
constexpr int kClosesBeforeEnding = 3;

std::u16string Text16(const wchar_t* text) {
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = wchar_t(c - L'A' + L'a');
    return text;
}

// The first button of a box's button set: its answer when the scenario gives none.
int FirstButton(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return IDOK;
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        case MB_YESNOCANCEL:
        case MB_YESNO:
            return IDYES;
        case MB_RETRYCANCEL:
            return IDRETRY;
        case MB_CANCELTRYCONTINUE:
            return IDCANCEL;
        default:
            return IDOK;
    }
}

struct OpenDialog {
    HWND window = nullptr;
    DLGPROC procedure = nullptr;
    portable::DialogRecord record;
    bool initialPending = false;
    bool stepPending = false;
    int closesUnanswered = 0;  // closes by the console that the dialog has not obeyed yet
    portable::DialogStep step;
    std::size_t boxMark = 0;
};

struct State {
    HWND consoleWindow = nullptr;
    std::uint64_t clock = 0;
    std::set<std::wstring> deniedKeys;  // "hkcu\\software\\..." in lower case
    std::optional<std::int32_t> coInitializeResult;
    int comBalance = 0;
    std::map<HKEY, std::wstring> registryHandles;  // open handles and their lower-case paths
    std::deque<int> boxAnswers;
    std::vector<portable::MessageBoxRecord> boxes;
    int pendingAnswer = 0;  // the answer for the box now on the screen
    std::deque<portable::DialogAction> actions;
    std::vector<portable::DialogRecord> dialogs;
    OpenDialog* dialog = nullptr;
    UINT_PTR timer = 0;

    // The system's functions the hooks forward to.
    decltype(&::GetSystemTimeAsFileTime) getSystemTime = nullptr;
    decltype(&::CoInitialize) coInitialize = nullptr;
    decltype(&::CoUninitialize) coUninitialize = nullptr;
    decltype(&::RegOpenKeyExW) regOpenKey = nullptr;
    decltype(&::RegCreateKeyExW) regCreateKey = nullptr;
    decltype(&::RegCloseKey) regCloseKey = nullptr;
    decltype(&::MessageBoxW) messageBox = nullptr;
    decltype(&::DialogBoxParamW) dialogBoxParam = nullptr;
    decltype(&::EndDialog) endDialog = nullptr;
};

State& TheState() {
    static State state;
    return state;
}

// ---- Registry paths, for the denied keys and the handle count ----

std::wstring KeyPath(HKEY parent, const wchar_t* subKey) {
    State& state = TheState();
    std::wstring path;
    if (parent == HKEY_CURRENT_USER)
        path = L"hkcu";
    else if (parent == HKEY_LOCAL_MACHINE)
        path = L"hklm";
    else if (auto open = state.registryHandles.find(parent); open != state.registryHandles.end())
        path = open->second;
    else
        path = L"?";
    if (subKey && *subKey) path += L"\\" + Lower(subKey);
    return path;
}

// ---- Hooks ----

void WINAPI HookGetSystemTimeAsFileTime(LPFILETIME time) {
    const std::uint64_t clock = TheState().clock;
    time->dwLowDateTime = static_cast<DWORD>(clock);
    time->dwHighDateTime = static_cast<DWORD>(clock >> 32);
}

HRESULT WINAPI HookCoInitialize(LPVOID reserved) {
    State& state = TheState();
    HRESULT result;
    if (state.coInitializeResult && FAILED(*state.coInitializeResult)) {
        result = *state.coInitializeResult;
    } else {
        result = state.coInitialize(reserved);
        if (SUCCEEDED(result) && state.coInitializeResult) result = *state.coInitializeResult;
    }
    if (SUCCEEDED(result)) ++state.comBalance;
    return result;
}

void WINAPI HookCoUninitialize() {
    State& state = TheState();
    --state.comBalance;
    state.coUninitialize();
}

LSTATUS WINAPI HookRegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD options, REGSAM access,
                                 PHKEY result) {
    State& state = TheState();
    const std::wstring path = KeyPath(parent, subKey);
    if (state.deniedKeys.count(path)) return ERROR_ACCESS_DENIED;
    LSTATUS status = state.regOpenKey(parent, subKey, options, access, result);
    if (status == ERROR_SUCCESS && result) state.registryHandles[*result] = path;
    return status;
}

LSTATUS WINAPI HookRegCreateKeyExW(HKEY parent, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                                   DWORD options, REGSAM access,
                                   const LPSECURITY_ATTRIBUTES security, PHKEY result,
                                   LPDWORD disposition) {
    State& state = TheState();
    const std::wstring path = KeyPath(parent, subKey);
    if (state.deniedKeys.count(path)) return ERROR_ACCESS_DENIED;
    LSTATUS status = state.regCreateKey(parent, subKey, reserved, keyClass, options, access,
                                        security, result, disposition);
    if (status == ERROR_SUCCESS && result) state.registryHandles[*result] = path;
    return status;
}

LSTATUS WINAPI HookRegCloseKey(HKEY key) {
    State& state = TheState();
    LSTATUS status = state.regCloseKey(key);
    if (status == ERROR_SUCCESS) state.registryHandles.erase(key);
    return status;
}

int WINAPI HookMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    State& state = TheState();
    portable::MessageBoxRecord record{owner, Text16(caption), Text16(text), type, 0};
    const int previous = state.pendingAnswer;
    if (!state.boxAnswers.empty()) {
        state.pendingAnswer = state.boxAnswers.front();
        state.boxAnswers.pop_front();
    } else {
        state.pendingAnswer = FirstButton(type);
    }
    const int answer = state.messageBox(owner, text, caption, type);
    state.pendingAnswer = previous;
    record.answer = answer;
    state.boxes.push_back(std::move(record));
    return answer;
}

INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    OpenDialog* dialog = TheState().dialog;
    if (!dialog) return FALSE;
    if (message == WM_INITDIALOG) {
        dialog->window = window;
        dialog->record.created = true;
        dialog->record.window = window;
        INT_PTR result = dialog->procedure(window, message, wParam, lParam);
        dialog->record.initResult = result != 0;
        dialog->initialPending = true;
        return result;
    }
    return dialog->procedure(window, message, wParam, lParam);
}

void FinishStep(OpenDialog& dialog) {
    State& state = TheState();
    dialog.step.after = win32::ReadDialogView(dialog.window);
    dialog.step.boxes.assign(state.boxes.begin() + std::ptrdiff_t(dialog.boxMark),
                             state.boxes.end());
    dialog.record.steps.push_back(std::move(dialog.step));
    dialog.step = portable::DialogStep();
    dialog.stepPending = false;
    win32::ReleaseModifiers();
}

BOOL WINAPI HookEndDialog(HWND window, INT_PTR result) {
    State& state = TheState();
    // The view after the step that ended the dialog, while its controls still exist.
    if (state.dialog && state.dialog->window == window && state.dialog->stepPending)
        FinishStep(*state.dialog);
    return (state.endDialog ? state.endDialog : &::EndDialog)(window, result);
}

INT_PTR WINAPI HookDialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC procedure,
                                   LPARAM parameter) {
    State& state = TheState();
    OpenDialog dialog;
    dialog.procedure = procedure;
    dialog.record.templateId = IS_INTRESOURCE(name) ? int(reinterpret_cast<ULONG_PTR>(name)) : 0;
    dialog.record.owner = owner;
    OpenDialog* outer = state.dialog;
    state.dialog = &dialog;
    INT_PTR result = state.dialogBoxParam(instance, name, owner, DialogProcedure, parameter);
    if (dialog.stepPending) FinishStep(dialog);
    state.dialog = outer;
    dialog.record.result = result;
    state.dialogs.push_back(std::move(dialog.record));
    return result;
}

// ---- Screenshots ----

// With TAV_CONSOLE_SCREENSHOTS set to a folder, the console saves what the screen shows of each
// dialog when it first stands ready and of each message box, as 24-bit BMP files
// (dialog-<n>.bmp, box-<n>.bmp).
std::string ScreenshotFolder() {
    char folder[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("TAV_CONSOLE_SCREENSHOTS", folder, MAX_PATH);
    return length && length < MAX_PATH ? std::string(folder, length) : std::string();
}

// Ticks a window is left on the screen before it is photographed: the X server shows it only
// after Wine has mapped and painted it.
int SettleTicks() {
    static const int ticks = ScreenshotFolder().empty() ? 0 : 40;
    return ticks;
}

// True once `window` has been waited for long enough (always at once without screenshots).
bool Settled(HWND window) {
    static HWND waitingFor = nullptr;
    static int waited = 0;
    if (window != waitingFor) {
        waitingFor = window;
        waited = 0;
    }
    return waited++ >= SettleTicks();
}

void SaveScreenshot(HWND window, const char* kind) {
    static int count = 0;
    const std::string folder = ScreenshotFolder();
    if (folder.empty()) return;
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (DWORD(width) * 3 + 3) & ~3u;
    std::vector<unsigned char> pixels(std::size_t(stride) * DWORD(height));
    GetDIBits(memory, bitmap, 0, UINT(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + DWORD(pixels.size());
    const std::string path =
        folder + "\\" + kind + "-" + std::to_string(++count) + ".bmp";
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(out, &file, sizeof file, &written, nullptr);
    WriteFile(out, &info, sizeof info, &written, nullptr);
    WriteFile(out, pixels.data(), DWORD(pixels.size()), &written, nullptr);
    CloseHandle(out);
}

// ---- The scripted user ----

struct BoxSearch {
    HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM context) {
    if (IsWindowVisible(window) && win32::IsMessageBox(window)) {
        reinterpret_cast<BoxSearch*>(context)->found = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    State& state = TheState();
    BoxSearch search;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
        if (state.pendingAnswer) {
            if (!Settled(search.found)) return;
            SaveScreenshot(search.found, "box");
            win32::AnswerMessageBox(search.found, state.pendingAnswer);
        }
        return;
    }
    OpenDialog* dialog = state.dialog;
    if (!dialog || !dialog->window || !IsWindow(dialog->window)) return;
    if (dialog->initialPending) {
        if (!Settled(dialog->window)) return;
        dialog->record.initial = win32::ReadDialogView(dialog->window);
        dialog->initialPending = false;
        SaveScreenshot(dialog->window, "dialog");
    }
    if (dialog->stepPending) FinishStep(*dialog);
    std::string outcome;
    if (state.actions.empty()) {
        dialog->step.action = portable::CloseDialog();
        outcome = "no action left: closed";
        // A dialog that ignores being closed would hold the run: after a few tries the
        // console ends it itself.
        if (++dialog->closesUnanswered > kClosesBeforeEnding) {
            dialog->step.outcome = "no action left: ended by the console";
            dialog->boxMark = state.boxes.size();
            dialog->stepPending = true;
            HookEndDialog(dialog->window, IDCANCEL);
            return;
        }
    } else {
        dialog->step.action = state.actions.front();
        state.actions.pop_front();
    }
    dialog->boxMark = state.boxes.size();
    std::string performed = win32::StartDialogAction(dialog->window, dialog->step.action);
    dialog->step.outcome = outcome.empty() ? performed : outcome;
    dialog->stepPending = true;
    // An action that reached nothing changes nothing: its view is the present one.
    if (performed != "done") FinishStep(*dialog);
}

// ---- The console's window ----

LRESULT CALLBACK ConsoleProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeConsoleWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ConsoleProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TavrelManagerConsole";
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Tavrel Manager",
                                  WS_OVERLAPPEDWINDOW, 80, 60, 960, 720, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    SetActiveWindow(window);
    return window;
}

// Registers the provider DLL as the mail client whose extended MAPI MAPI32.DLL loads: the
// default value of HKLM\Software\Clients\Mail names the client, its key's DLLPathEx the DLL.
void RegisterProvider(const std::filesystem::path& provider) {
    HKEY mail = nullptr, client = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMailClients, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &mail, nullptr) != ERROR_SUCCESS)
        throw LibraryError("cannot write HKLM\\Software\\Clients\\Mail");
    const std::wstring name = kClientName;
    RegSetValueExW(mail, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                   DWORD((name.size() + 1) * sizeof(wchar_t)));
    if (RegCreateKeyExW(mail, kClientName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &client,
                        nullptr) == ERROR_SUCCESS) {
        const std::wstring path = provider.wstring();
        RegSetValueExW(client, L"DLLPathEx", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       DWORD((path.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(client);
    }
    RegCloseKey(mail);
}

using ControlFn = const char*(__cdecl*)(const char*);

class Win32Host final : public Host {
  public:
    Win32Host() {
        const std::filesystem::path provider = ExecutableDir() / L"TavSimProvider.dll";
        RegisterProvider(provider);
        provider_ = LoadLibraryW(provider.c_str());
        if (!provider_)
            throw LibraryError("cannot load " + provider.string() + ": error " +
                               std::to_string(GetLastError()));
        control_ = reinterpret_cast<ControlFn>(
            reinterpret_cast<void*>(GetProcAddress(provider_, "TavSimControl")));
        if (!control_) throw LibraryError(provider.string() + " does not export TavSimControl");
        State& state = TheState();
        if (!state.consoleWindow) state.consoleWindow = MakeConsoleWindow();
    }

    void Reset(std::uint64_t clock, std::uint16_t language) override {
        State& state = TheState();
        state.clock = clock;
        state.deniedKeys.clear();
        state.coInitializeResult.reset();
        state.comBalance = 0;
        state.boxAnswers.clear();
        state.boxes.clear();
        state.actions.clear();
        state.dialogs.clear();
        SetThreadUILanguage(language);
    }

    void ApplySetup(const OrderedJson& host) override {
        State& state = TheState();
        if (host.contains("clock") && !host["clock"].is_null())
            state.clock = host["clock"].get<std::uint64_t>();
        if (host.contains("language")) SetThreadUILanguage(host["language"].get<LANGID>());
        for (const auto& key : host.value("deniedKeys", OrderedJson::array())) {
            const std::string root = key["root"].get<std::string>();
            const std::u16string path = sim::FromUtf8(key["key"].get<std::string>());
            state.deniedKeys.insert(Lower((root == "HKCU" ? L"hkcu\\" : L"hklm\\") +
                                          std::wstring(path.begin(), path.end())));
        }
    }

    void Attach(Library& library) override {
        auto module = static_cast<HMODULE>(library.Handle());
        State& state = TheState();
        auto patch = [&](auto& original, const char* dll, const char* name, auto* hook) {
            void* previous = win32::PatchImport(module, dll, name, reinterpret_cast<void*>(hook));
            if (previous) original = reinterpret_cast<std::decay_t<decltype(original)>>(previous);
        };
        patch(state.getSystemTime, "KERNEL32.dll", "GetSystemTimeAsFileTime",
              &HookGetSystemTimeAsFileTime);
        patch(state.coInitialize, "ole32.dll", "CoInitialize", &HookCoInitialize);
        patch(state.coUninitialize, "ole32.dll", "CoUninitialize", &HookCoUninitialize);
        patch(state.regOpenKey, "ADVAPI32.dll", "RegOpenKeyExW", &HookRegOpenKeyExW);
        patch(state.regCreateKey, "ADVAPI32.dll", "RegCreateKeyExW", &HookRegCreateKeyExW);
        patch(state.regCloseKey, "ADVAPI32.dll", "RegCloseKey", &HookRegCloseKey);
        patch(state.messageBox, "USER32.dll", "MessageBoxW", &HookMessageBoxW);
        patch(state.dialogBoxParam, "USER32.dll", "DialogBoxParamW", &HookDialogBoxParamW);
        patch(state.endDialog, "USER32.dll", "EndDialog", &HookEndDialog);
        state.timer = SetTimer(nullptr, 0, kTickMilliseconds, Tick);
    }

    void Detach() override {
        State& state = TheState();
        if (state.timer) KillTimer(nullptr, state.timer);
        state.timer = 0;
    }

    void QueueMessageBoxAnswer(int button) override { TheState().boxAnswers.push_back(button); }
    void QueueDialogAction(const portable::DialogAction& action) override {
        TheState().actions.push_back(action);
    }
    std::vector<portable::MessageBoxRecord> TakeMessageBoxes() override {
        State& state = TheState();
        std::vector<portable::MessageBoxRecord> boxes = std::move(state.boxes);
        state.boxes.clear();
        state.boxAnswers.clear();
        return boxes;
    }
    std::vector<portable::DialogRecord> TakeDialogs() override {
        State& state = TheState();
        std::vector<portable::DialogRecord> dialogs = std::move(state.dialogs);
        state.dialogs.clear();
        state.actions.clear();
        return dialogs;
    }
    std::size_t QueuedDialogActions() override { return TheState().actions.size(); }
    void SetCoInitializeResult(std::optional<std::int32_t> result) override {
        TheState().coInitializeResult = result;
    }
    int ComInitializeBalance() override { return TheState().comBalance; }
    std::size_t OpenRegistryHandles() override { return TheState().registryHandles.size(); }
    platform::WindowHandle ConsoleWindow() override { return TheState().consoleWindow; }

  protected:
    std::string SimText(const std::string& request) override { return control_(request.c_str()); }

  private:
    HMODULE provider_ = nullptr;
    ControlFn control_ = nullptr;
};

}  // namespace

std::unique_ptr<Host> MakeHost() {
    return std::make_unique<Win32Host>();
}

}  // namespace console
