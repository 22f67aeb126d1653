// The machine side of the simulator when it runs as the MAPI provider DLL on Windows. The
// simulator's setup writes the registry, the environment, the clock and the UI language through
// the portable platform's control functions; here they reach the real registry (only below the
// keys the organisations use, which a reset deletes) and the process environment, and keep the
// clock, the language and the denied keys for the console emulator (sim/host_settings.h).
#include "sim/host_settings.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "platform/clock.h"
#include "platform/portable/portable_platform.h"
#include "sim/sim_text.h"

namespace platform::portable {
namespace {

// The subtrees an organisation's setup and the profiles may write; nothing else of the
// machine's registry is read back or deleted.
struct Subtree {
    RegistryRoot root;
    const char16_t* key;
};
constexpr Subtree kSubtrees[] = {
    {RegistryRoot::CurrentUser, u"Software\\Morvane"},
    {RegistryRoot::LocalMachine, u"Software\\Morvane"},
    {RegistryRoot::CurrentUser,
     u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles"},
};

struct State {
    std::optional<std::uint64_t> clock;
    std::uint16_t language = 1033;
    std::set<std::pair<RegistryRoot, std::u16string>> denied;
    std::map<std::string, std::optional<std::string>> savedEnvironment;
};

State& TheState() {
    static State state;
    return state;
}

HKEY RootKey(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

const wchar_t* Wide(std::u16string_view text, std::u16string& storage) {
    storage.assign(text);
    return reinterpret_cast<const wchar_t*>(storage.c_str());
}

std::u16string Lower(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& unit : out)
        if (unit >= u'A' && unit <= u'Z') unit = char16_t(unit - u'A' + u'a');
    return out;
}

// True when `inner` is `outer` or lies below it, comparing key names as Windows does.
bool Within(std::u16string_view inner, std::u16string_view outer) {
    const std::u16string a = Lower(inner), b = Lower(outer);
    return a == b || (a.size() > b.size() && a.compare(0, b.size(), b) == 0 && a[b.size()] == u'\\');
}

// Keys inside a subtree hold what the setup wrote; keys above one are only paths to it.
bool Inside(RegistryRoot root, std::u16string_view key) {
    for (const Subtree& tree : kSubtrees)
        if (tree.root == root && Within(key, tree.key)) return true;
    return false;
}
bool Visible(RegistryRoot root, std::u16string_view key) {
    if (key.empty() || Inside(root, key)) return true;
    for (const Subtree& tree : kSubtrees)
        if (tree.root == root && Within(tree.key, key)) return true;
    return false;
}

HKEY Open(RegistryRoot root, std::u16string_view key, REGSAM access) {
    std::u16string storage;
    HKEY handle = nullptr;
    if (key.empty()) return RootKey(root);
    if (RegOpenKeyExW(RootKey(root), Wide(key, storage), 0, access, &handle) != ERROR_SUCCESS)
        return nullptr;
    return handle;
}
void Close(RegistryRoot root, HKEY handle) {
    if (handle && handle != RootKey(root)) RegCloseKey(handle);
}

std::u16string Child(std::u16string_view key, std::u16string_view name) {
    std::u16string out(key);
    if (!out.empty()) out += u'\\';
    out += name;
    return out;
}

}  // namespace

void ResetRegistry() {
    for (const Subtree& tree : kSubtrees) {
        std::u16string storage;
        RegDeleteTreeW(RootKey(tree.root), Wide(tree.key, storage));
        RegDeleteKeyW(RootKey(tree.root), Wide(tree.key, storage));
    }
    State& state = TheState();
    state.denied.clear();
    for (const auto& [name, value] : state.savedEnvironment)
        SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
    state.savedEnvironment.clear();
}

void AddRegistryKey(RegistryRoot root, std::u16string_view key) {
    std::u16string storage;
    HKEY handle = nullptr;
    if (RegCreateKeyExW(RootKey(root), Wide(key, storage), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &handle, nullptr) == ERROR_SUCCESS)
        RegCloseKey(handle);
}

bool DeleteRegistryKey(RegistryRoot root, std::u16string_view key) {
    const bool existed = RegistryKeyExists(root, key);
    std::u16string storage;
    RegDeleteTreeW(RootKey(root), Wide(key, storage));
    RegDeleteKeyW(RootKey(root), Wide(key, storage));
    return existed;
}

bool RegistryKeyExists(RegistryRoot root, std::u16string_view key) {
    HKEY handle = Open(root, key, KEY_READ);
    Close(root, handle);
    return handle != nullptr;
}

std::vector<std::u16string> RegistrySubKeys(RegistryRoot root, std::u16string_view key) {
    std::vector<std::u16string> names;
    if (!Visible(root, key)) return names;
    HKEY handle = Open(root, key, KEY_READ);
    if (!handle) return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(handle, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        std::u16string child(reinterpret_cast<const char16_t*>(name), length);
        if (Visible(root, Child(key, child))) names.push_back(std::move(child));
    }
    Close(root, handle);
    return names;
}

void PutRegistryValue(RegistryRoot root, std::u16string_view key, std::string_view name,
                      RegistryValue value) {
    AddRegistryKey(root, key);
    HKEY handle = Open(root, key, KEY_SET_VALUE);
    if (!handle) return;
    const std::string valueName(name);
    RegSetValueExA(handle, valueName.c_str(), 0, value.type, value.data.data(),
                   static_cast<DWORD>(value.data.size()));
    Close(root, handle);
}

std::optional<RegistryValue> GetRegistryValue(RegistryRoot root, std::u16string_view key,
                                              std::string_view name) {
    HKEY handle = Open(root, key, KEY_QUERY_VALUE);
    if (!handle) return std::nullopt;
    const std::string valueName(name);
    DWORD type = 0, size = 0;
    std::optional<RegistryValue> out;
    if (RegQueryValueExA(handle, valueName.c_str(), nullptr, &type, nullptr, &size) ==
        ERROR_SUCCESS) {
        RegistryValue value{type, std::vector<std::uint8_t>(size)};
        if (RegQueryValueExA(handle, valueName.c_str(), nullptr, &type, value.data.data(),
                             &size) == ERROR_SUCCESS) {
            value.data.resize(size);
            out = std::move(value);
        }
    }
    Close(root, handle);
    return out;
}

std::vector<std::string> RegistryValueNames(RegistryRoot root, std::u16string_view key) {
    std::vector<std::string> names;
    if (!Inside(root, key)) return names;
    HKEY handle = Open(root, key, KEY_QUERY_VALUE);
    if (!handle) return names;
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD length = sizeof name;
        if (RegEnumValueA(handle, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    Close(root, handle);
    return names;
}

void DenyRegistryKey(RegistryRoot root, std::u16string_view key, bool denied) {
    auto entry = std::make_pair(root, std::u16string(key));
    if (denied)
        TheState().denied.insert(entry);
    else
        TheState().denied.erase(entry);
}

void SetEnvironmentValue(std::string_view name, std::optional<std::string> value) {
    const std::string variable(name);
    State& state = TheState();
    if (!state.savedEnvironment.count(variable)) {
        char buffer[32768];
        DWORD length = GetEnvironmentVariableA(variable.c_str(), buffer, sizeof buffer);
        state.savedEnvironment[variable] =
            length && length < sizeof buffer ? std::optional<std::string>(buffer) : std::nullopt;
    }
    SetEnvironmentVariableA(variable.c_str(), value ? value->c_str() : nullptr);
}

void SetUiLanguage(std::uint16_t language) {
    TheState().language = language;
}
std::uint16_t UiLanguage() {
    return TheState().language;
}

void FixSystemTime(std::optional<std::uint64_t> fileTime) {
    TheState().clock = fileTime;
}

}  // namespace platform::portable

namespace platform {

// The simulator's own clock (submission times): the setup's, else the machine's.
std::uint64_t SystemTimeAsFileTime() {
    if (auto clock = portable::TheState().clock) return *clock;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (std::uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::int64_t CurrentTimeSeconds() {
    return static_cast<std::int64_t>(SystemTimeAsFileTime() / 10000000ULL) - 11644473600LL;
}

}  // namespace platform

namespace sim {

OrderedJson HostSettings() {
    const auto& state = platform::portable::TheState();
    OrderedJson denied = OrderedJson::array();
    for (const auto& [root, key] : state.denied)
        denied.push_back(OrderedJson{
            {"root", root == platform::RegistryRoot::CurrentUser ? "HKCU" : "HKLM"},
            {"key", ToUtf8(key)}});
    return OrderedJson{{"clock", state.clock ? OrderedJson(*state.clock) : OrderedJson()},
                       {"language", state.language},
                       {"deniedKeys", std::move(denied)}};
}

}  // namespace sim
