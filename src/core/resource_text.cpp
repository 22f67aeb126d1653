#include "core/resource_text.h"

#include <algorithm>
#include <map>
#include <vector>

#include "platform/critical_section.h"
#include "platform/string_resources.h"

namespace tav {
namespace {

platform::ModuleHandle g_module = nullptr;

struct TextCache {
    platform::CriticalSection lock;
    std::map<std::uint32_t, std::u16string> texts;
};

TextCache& Cache() {
    static TextCache cache;
    return cache;
}

// Room for the expansion: the format, each string argument by its length, numbers generously.
std::size_t EstimateExpansion(std::u16string_view format, std::span<const FormatArg> args) {
    std::size_t size = format.size() + 1;
    for (const FormatArg& arg : args) {
        std::size_t length = arg.GetKind() == FormatArg::Kind::Wide     ? arg.Wide().size()
                             : arg.GetKind() == FormatArg::Kind::Narrow ? arg.Narrow().size()
                                                                        : 0;
        size += std::max<std::size_t>(length, 16);
    }
    return size;
}

}  // namespace

void ResourceText::SetModule(platform::ModuleHandle module) { g_module = module; }
platform::ModuleHandle ResourceText::Module() { return g_module; }

int ResourceText::LoadText(std::uint32_t id, char16_t* buffer, int capacity) {
    int length = platform::LoadStringResource(g_module, id, buffer, capacity);
    if (length == 0 && buffer && capacity > 0) buffer[0] = 0;
    return length;
}

std::u16string ResourceText::LoadString(std::uint32_t id) {
    int size = 256;
    std::vector<char16_t> buffer(size);
    int length = LoadText(id, buffer.data(), size);
    if (size - length <= 1) {
        // The text may have been cut: grow until it fits with room to spare.
        size = 512;
        while (true) {
            buffer.assign(size, 0);
            length = LoadText(id, buffer.data(), size);
            if (size - length > 1) break;
            size += 256;
        }
    }
    return std::u16string(buffer.data(), length);
}

std::u16string ResourceText::FormatTextArgs(std::uint32_t id, std::span<const FormatArg> args) {
    std::u16string format = LoadString(id);
    std::size_t limit = std::min(EstimateExpansion(format, args), kFormatLimit - 1);
    return FormatToString(limit, format, args);
}

const char16_t* ResourceText::CachedText(platform::ModuleHandle module, std::uint32_t id) {
    TextCache& cache = Cache();
    {
        platform::CriticalSectionLock lock(cache.lock);
        auto found = cache.texts.find(id);
        if (found != cache.texts.end()) return found->second.c_str();
    }
    // Loaded outside the lock; a text inserted meanwhile by another caller wins.
    std::vector<char16_t> buffer(kCacheBufferSize, 0);
    int length = platform::LoadStringResource(module, id, buffer.data(), kCacheBufferSize - 1);
    if (length <= 0) return nullptr;
    platform::CriticalSectionLock lock(cache.lock);
    auto entry = cache.texts.try_emplace(id, buffer.data(), length).first;
    return entry->second.c_str();
}

void ShowWarningBox(std::u16string_view text) {
    ShowCaptionedBox(nullptr, text, platform::kMbOk | platform::kMbIconWarning);
}

int ShowCaptionedBox(platform::WindowHandle owner, std::u16string_view text, std::uint32_t flags) {
    std::u16string caption = ResourceText::LoadString(kTextWarningCaption);
    return platform::ShowMessageBox(owner, text, caption, flags);
}

}  // namespace tav
