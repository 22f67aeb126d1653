// Control of the portable platform: the in-process state behind the platform seams that tests and
// the console emulator set up, script and read back.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_box.h"
#include "platform/registry.h"

namespace platform::portable {

// ---- Registry ----

struct RegistryValue {
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data;
};

// Removes every key, value, environment variable and denial; open handles stay valid
// but refer to keys that no longer exist.
void ResetRegistry();
void AddRegistryKey(RegistryRoot root, std::u16string_view key);
// Deletes the key with its subkeys; true when it existed.
bool DeleteRegistryKey(RegistryRoot root, std::u16string_view key);
bool RegistryKeyExists(RegistryRoot root, std::u16string_view key);
// Names of the direct subkeys, as they were first written.
std::vector<std::u16string> RegistrySubKeys(RegistryRoot root, std::u16string_view key);
// Sets a value, creating the key.
void PutRegistryValue(RegistryRoot root, std::u16string_view key, std::string_view name,
                      RegistryValue value);
// A string value of type kRegSz or kRegExpandSz, stored with its terminator.
inline void PutRegistryString(RegistryRoot root, std::u16string_view key, std::string_view name,
                              std::string_view text, std::uint32_t type = kRegSz) {
    RegistryValue value{type, std::vector<std::uint8_t>(text.begin(), text.end())};
    value.data.push_back(0);
    PutRegistryValue(root, key, name, std::move(value));
}
std::optional<RegistryValue> GetRegistryValue(RegistryRoot root, std::u16string_view key,
                                              std::string_view name);
// Names of a key's values.
std::vector<std::string> RegistryValueNames(RegistryRoot root, std::u16string_view key);
// Opening or creating this key (not its subkeys) fails with kErrorAccessDenied.
void DenyRegistryKey(RegistryRoot root, std::u16string_view key, bool denied = true);
// Handles opened and not closed yet.
std::size_t OpenRegistryHandleCount();
// Variables seen by ExpandEnvironmentStrings; unset ones fall back to the process environment.
void SetEnvironmentValue(std::string_view name, std::optional<std::string> value);

// ---- Message boxes ----

struct MessageBoxRecord {
    WindowHandle owner = nullptr;
    std::u16string caption;
    std::u16string text;
    std::uint32_t flags = 0;
    int answer = 0;
};

// Forgets the shown boxes, the queued answers and the observer.
void ResetMessageBoxes();
// The answer of the next box; without queued answers a box is answered with its first button
// (OK or Yes).
void QueueMessageBoxAnswer(int button);
std::size_t QueuedMessageBoxAnswers();
const std::vector<MessageBoxRecord>& ShownMessageBoxes();
// Called with each box as it is shown, before it returns; it may choose the answer by returning a
// button, or return 0 to leave the choice to the queue.
void SetMessageBoxObserver(std::function<int(const MessageBoxRecord&)> observer);

// ---- String resources ----

// The user-interface language that the resource loader prefers (default 1033).
void SetUiLanguage(std::uint16_t language);
std::uint16_t UiLanguage();

// ---- Clock ----

// Fixes the clock to a FILETIME value; nullopt returns to the real time.
void FixSystemTime(std::optional<std::uint64_t> fileTime);

// ---- COM ----

// The result of the following CoInitialize calls (default 0, S_OK; 1, S_FALSE, when the
// apartment was initialised already).
void SetCoInitializeResult(std::optional<std::int32_t> result);
// Successful CoInitialize calls minus CoUninitialize calls.
int ComInitializeBalance();
void ResetCom();

}  // namespace platform::portable
