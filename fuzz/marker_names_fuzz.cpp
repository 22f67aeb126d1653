// The ASCII-packed names of named properties: the library's packing of the marker names and the
// simulator's packing and decoding, which the organisation's JSON form and its dumps use.
//
// Input: bytes, read both as the ASCII text of a name and as a name's UTF-16LE units.
//
// Properties: the library and the simulator pack every text to the same units; a packed text of
// printable characters decodes to itself and nothing else decodes; a name that decodes packs
// back to its units; a dump's name (decoded, or UTF-8 when it does not decode) loads back to the
// units it came from whenever they are well-formed UTF-16.
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_input.h"
#include "redirect/marker_names.h"
#include "sim/org_json.h"
#include "sim/sim_text.h"

namespace {

bool Printable(unsigned char c) { return c >= 0x20 && c < 0x7F; }

bool WellFormedUtf16(std::u16string_view units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (unit >= 0xD800 && unit < 0xDC00) {
            if (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] >= 0xE000)
                return false;
            ++i;
        } else if (unit >= 0xDC00 && unit < 0xE000) {
            return false;
        }
    }
    return true;
}

std::u16string LibraryPacking(std::string_view text) {
    std::u16string units((text.size() + 1) / 2, u'\0');
    tav::PackAsciiUnits(text, units.data());
    return units;
}

// What the organisation's loader makes of a dumped name.
std::u16string Reloaded(std::u16string_view name) {
    if (auto ascii = sim::UnpackAsciiName(name)) return sim::PackAsciiName(*ascii);
    return sim::FromUtf8(sim::ToUtf8(name));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The library's own marker names are the texts it means.
    TAV_FUZZ_CHECK(sim::UnpackAsciiName(tav::kSynchStateName.units) == "PR_KVO_SYNCH_STATE");
    TAV_FUZZ_CHECK(sim::UnpackAsciiName(tav::kSynchEntryIdName.units) == "PR_KVO_SYNCH_ENTRYID");
    TAV_FUZZ_CHECK(sim::UnpackAsciiName(tav::kSelectTimeName.units) == "PR_KVO_SELECT_TIME");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::u16string packed = sim::PackAsciiName(text);
    TAV_FUZZ_CHECK(packed == LibraryPacking(text));
    TAV_FUZZ_CHECK(packed.size() == (text.size() + 1) / 2);
    bool printable = !text.empty();
    for (unsigned char c : text) printable = printable && Printable(c);
    const std::optional<std::string> decoded = sim::UnpackAsciiName(packed);
    if (text.size() % 2 == 0 && !text.empty() && text.back() == '\0') {
        // A zero last character of an even-length text is the terminator of the odd-length text
        // before it: both pack to the same units.
        TAV_FUZZ_CHECK(sim::PackAsciiName(text.substr(0, text.size() - 1)) == packed);
    } else {
        TAV_FUZZ_CHECK(decoded.has_value() == printable);
        if (decoded) TAV_FUZZ_CHECK(*decoded == text);
    }

    tav::fuzz::Input in(data, size);
    const std::u16string name = in.RestAsUnits();
    if (const std::optional<std::string> ascii = sim::UnpackAsciiName(name)) {
        TAV_FUZZ_CHECK(sim::PackAsciiName(*ascii) == name);
        TAV_FUZZ_CHECK(LibraryPacking(*ascii) == name);
    }
    if (WellFormedUtf16(name)) TAV_FUZZ_CHECK(Reloaded(name) == name);
    return 0;
}
