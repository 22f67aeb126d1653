#include "platform/string_resources.h"

#include <algorithm>
#include <map>
#include <vector>

#include "platform/portable/portable_platform.h"

namespace platform {
namespace {

constexpr std::uint16_t kEnglishUs = 1033;

struct Resources {
    std::map<ModuleHandle, std::vector<StringResource>> tables;
    std::uint16_t language = kEnglishUs;
};

Resources& State() {
    static Resources resources;
    return resources;
}

const char16_t* Find(const std::vector<StringResource>& table, std::uint16_t language,
                     std::uint32_t id) {
    for (const StringResource& entry : table)
        if (entry.language == language && entry.id == id) return entry.text;
    return nullptr;
}

}  // namespace

int LoadStringResource(ModuleHandle module, std::uint32_t id, char16_t* buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    buffer[0] = 0;
    auto it = State().tables.find(module);
    if (it == State().tables.end()) return 0;
    // The loader prefers the user-interface language and falls back to English.
    const char16_t* text = Find(it->second, State().language, id);
    if (!text) text = Find(it->second, kEnglishUs, id);
    if (!text) return 0;
    int length = 0;
    while (text[length] && length < capacity - 1) {
        buffer[length] = text[length];
        ++length;
    }
    buffer[length] = 0;
    return length;
}

void RegisterStringTable(ModuleHandle module, std::span<const StringResource> table) {
    State().tables[module].assign(table.begin(), table.end());
}

namespace portable {

void SetUiLanguage(std::uint16_t language) { State().language = language; }
std::uint16_t UiLanguage() { return State().language; }

}  // namespace portable
}  // namespace platform
