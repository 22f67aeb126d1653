#include "platform/registry.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "platform/portable/portable_platform.h"

namespace platform {
namespace {

char16_t Fold(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c; }

std::u16string FoldPath(std::u16string_view path) {
    std::u16string out;
    for (char16_t c : path) out.push_back(Fold(c));
    while (!out.empty() && out.back() == u'\\') out.pop_back();
    std::size_t start = 0;
    while (start < out.size() && out[start] == u'\\') ++start;
    return out.substr(start);
}

std::string FoldName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return out;
}

struct Key {
    std::u16string name;  // as first written
    std::map<std::string, std::pair<std::string, portable::RegistryValue>> values;  // folded name
};

struct Handle {
    RegistryRoot root;
    std::u16string path;  // folded
    std::uint32_t access;
};

struct Registry {
    std::map<std::pair<RegistryRoot, std::u16string>, Key> keys;  // folded full path
    std::set<std::pair<RegistryRoot, std::u16string>> denied;
    std::set<Handle*> handles;
    std::map<std::string, std::optional<std::string>> environment;
};

Registry& State() {
    static Registry registry;
    return registry;
}

std::u16string TrimPath(std::u16string_view path) {
    std::size_t start = 0, end = path.size();
    while (start < end && path[start] == u'\\') ++start;
    while (end > start && path[end - 1] == u'\\') --end;
    return std::u16string(path.substr(start, end - start));
}

// Creates the key and its missing parents.
Key& Ensure(RegistryRoot root, std::u16string_view path) {
    std::u16string trimmed = TrimPath(path);
    std::size_t pos = 0;
    Key* key = nullptr;
    while (true) {
        std::size_t next = trimmed.find(u'\\', pos);
        std::u16string prefix = trimmed.substr(0, next);
        auto [it, added] = State().keys.try_emplace({root, FoldPath(prefix)});
        if (added) {
            std::size_t slash = prefix.rfind(u'\\');
            it->second.name = slash == std::u16string::npos ? prefix : prefix.substr(slash + 1);
        }
        key = &it->second;
        if (next == std::u16string::npos) break;
        pos = next + 1;
    }
    return *key;
}

Key* Find(RegistryRoot root, std::u16string_view path) {
    auto it = State().keys.find({root, FoldPath(path)});
    return it == State().keys.end() ? nullptr : &it->second;
}

Handle* Live(RegistryHandle key) {
    auto* handle = static_cast<Handle*>(key);
    return State().handles.count(handle) ? handle : nullptr;
}

std::int32_t OpenHandle(RegistryRoot root, std::u16string_view subKey, std::uint32_t access,
                        RegistryHandle* out) {
    auto* handle = new Handle{root, FoldPath(subKey), access};
    State().handles.insert(handle);
    *out = handle;
    return kErrorSuccess;
}

}  // namespace

std::int32_t OpenRegistryKey(RegistryRoot root, std::u16string_view subKey, std::uint32_t access,
                        RegistryHandle* key) {
    if (!key) return kErrorInvalidParameter;
    *key = nullptr;
    if (State().denied.count({root, FoldPath(subKey)})) return kErrorAccessDenied;
    if (!Find(root, subKey)) return kErrorFileNotFound;
    return OpenHandle(root, subKey, access, key);
}

std::int32_t CreateRegistryKey(RegistryRoot root, std::u16string_view subKey, std::uint32_t access,
                          RegistryHandle* key) {
    if (!key) return kErrorInvalidParameter;
    *key = nullptr;
    if (State().denied.count({root, FoldPath(subKey)})) return kErrorAccessDenied;
    Ensure(root, subKey);
    return OpenHandle(root, subKey, access, key);
}

std::int32_t ReadRegistryValue(RegistryHandle key, const char* name, std::uint32_t* type,
                           std::uint8_t* data, std::uint32_t* size) {
    Handle* handle = Live(key);
    if (!handle) return kErrorInvalidHandle;
    if (data && !size) return kErrorInvalidParameter;
    Key* node = Find(handle->root, handle->path);
    if (!node) return kErrorFileNotFound;
    auto it = node->values.find(FoldName(name ? name : ""));
    if (it == node->values.end()) return kErrorFileNotFound;
    const portable::RegistryValue& value = it->second.second;
    if (type) *type = value.type;
    const auto needed = static_cast<std::uint32_t>(value.data.size());
    if (!data) {
        if (size) *size = needed;
        return kErrorSuccess;
    }
    if (*size < needed) {
        *size = needed;
        return kErrorMoreData;
    }
    if (needed) std::memcpy(data, value.data.data(), needed);
    *size = needed;
    return kErrorSuccess;
}

std::int32_t WriteRegistryValue(RegistryHandle key, const char* name, std::uint32_t type,
                         const std::uint8_t* data, std::uint32_t size) {
    Handle* handle = Live(key);
    if (!handle) return kErrorInvalidHandle;
    if ((handle->access & 0x2) == 0) return kErrorAccessDenied;  // KEY_SET_VALUE
    if (!data && size) return kErrorInvalidParameter;
    Key* node = Find(handle->root, handle->path);
    if (!node) return kErrorFileNotFound;
    std::string valueName = name ? name : "";
    portable::RegistryValue value{type, std::vector<std::uint8_t>(data, data + size)};
    node->values[FoldName(valueName)] = {valueName, std::move(value)};
    return kErrorSuccess;
}

std::int32_t CloseRegistryKey(RegistryHandle key) {
    Handle* handle = Live(key);
    if (!handle) return kErrorInvalidHandle;
    State().handles.erase(handle);
    delete handle;
    return kErrorSuccess;
}

std::uint32_t ExpandEnvironment(const char* source, char* destination, std::uint32_t size) {
    if (!source) return 0;
    std::string out;
    std::string_view text(source);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t open = text.find('%', pos);
        std::size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
        if (close == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, open - pos));
        std::string name(text.substr(open + 1, close - open - 1));
        std::optional<std::string> value;
        if (auto it = State().environment.find(FoldName(name)); it != State().environment.end())
            value = it->second;
        else if (const char* env = name.empty() ? nullptr : std::getenv(name.c_str()))
            value = env;
        if (value) {
            out.append(*value);
            pos = close + 1;
        } else {
            // Unknown variables stay as they are; the closing '%' may open the next one.
            out.append(text.substr(open, close - open));
            pos = close;
        }
    }
    const auto needed = static_cast<std::uint32_t>(out.size() + 1);
    if (destination && size >= needed) std::memcpy(destination, out.c_str(), needed);
    return needed;
}

namespace portable {

void ResetRegistry() {
    State().keys.clear();
    State().denied.clear();
    State().environment.clear();
}

void AddRegistryKey(RegistryRoot root, std::u16string_view key) { Ensure(root, key); }

bool DeleteRegistryKey(RegistryRoot root, std::u16string_view key) {
    std::u16string folded = FoldPath(key);
    bool existed = false;
    for (auto it = State().keys.begin(); it != State().keys.end();) {
        const auto& [keyRoot, path] = it->first;
        bool below = path.size() > folded.size() && path.compare(0, folded.size(), folded) == 0 &&
                     path[folded.size()] == u'\\';
        if (keyRoot == root && (path == folded || below)) {
            existed = existed || path == folded;
            it = State().keys.erase(it);
        } else {
            ++it;
        }
    }
    return existed;
}

bool RegistryKeyExists(RegistryRoot root, std::u16string_view key) {
    return Find(root, key) != nullptr;
}

std::vector<std::u16string> RegistrySubKeys(RegistryRoot root, std::u16string_view key) {
    std::u16string folded = FoldPath(key);
    std::vector<std::u16string> names;
    for (const auto& [id, node] : State().keys) {
        const auto& [keyRoot, path] = id;
        if (keyRoot != root || path.size() <= folded.size()) continue;
        std::size_t start = folded.empty() ? 0 : folded.size() + 1;
        if (!folded.empty() && (path.compare(0, folded.size(), folded) != 0 ||
                                path[folded.size()] != u'\\'))
            continue;
        if (path.find(u'\\', start) == std::u16string::npos) names.push_back(node.name);
    }
    return names;
}

void PutRegistryValue(RegistryRoot root, std::u16string_view key, std::string_view name,
                      RegistryValue value) {
    Key& node = Ensure(root, key);
    node.values[FoldName(name)] = {std::string(name), std::move(value)};
}

std::optional<RegistryValue> GetRegistryValue(RegistryRoot root, std::u16string_view key,
                                              std::string_view name) {
    Key* node = Find(root, key);
    if (!node) return std::nullopt;
    auto it = node->values.find(FoldName(name));
    if (it == node->values.end()) return std::nullopt;
    return it->second.second;
}

std::vector<std::string> RegistryValueNames(RegistryRoot root, std::u16string_view key) {
    std::vector<std::string> names;
    if (Key* node = Find(root, key))
        for (const auto& [folded, entry] : node->values) names.push_back(entry.first);
    return names;
}

void DenyRegistryKey(RegistryRoot root, std::u16string_view key, bool denied) {
    if (denied)
        State().denied.insert({root, FoldPath(key)});
    else
        State().denied.erase({root, FoldPath(key)});
}

std::size_t OpenRegistryHandleCount() { return State().handles.size(); }

void SetEnvironmentValue(std::string_view name, std::optional<std::string> value) {
    State().environment[FoldName(name)] = std::move(value);
}

}  // namespace portable
}  // namespace platform
