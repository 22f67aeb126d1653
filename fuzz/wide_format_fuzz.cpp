// The formatter over arbitrary formats and arguments.
//
// Input: capacity (1 byte), argument count (1 byte, modulo 8), the arguments, then the format as
// UTF-16LE. An argument is a kind byte (modulo 6) followed by its value:
//   0 UTF-16 string: length byte, then that many units    1 8-bit string: length byte, bytes
//   2 signed 32-bit (4 bytes)   3 unsigned 32-bit (4 bytes)   4 null UTF-16   5 null 8-bit
//
// Properties: FormatInto never writes outside its buffer, terminates it and counts what it wrote;
// the buffer and the string form agree; output is the unlimited expansion cut at the limit;
// a format without '%' is copied as it is up to its first zero unit.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/wide_format.h"
#include "fuzz_input.h"

namespace {

using tav::FormatArg;

// Larger than the capacities the input can ask for and than what any seed expands to, small
// enough that a width of 2^31 costs nothing: the reference expansion.
constexpr std::size_t kReferenceLimit = 4096;

struct Arguments {
    std::vector<std::u16string> wide;  // owned texts of the string arguments
    std::vector<std::string> narrow;
    std::vector<FormatArg> list;
};

void ReadArguments(tav::fuzz::Input& in, Arguments& args) {
    const unsigned count = in.Byte() % 8;
    // The texts are read first so that the views in the arguments stay valid.
    struct Pending {
        unsigned kind;
        std::uint32_t bits;
        std::size_t text;
    };
    std::vector<Pending> pending;
    for (unsigned i = 0; i < count; ++i) {
        Pending p{in.Byte() % 6u, 0, 0};
        if (p.kind == 0) {
            p.text = args.wide.size();
            args.wide.push_back(in.Units(in.Byte()));
        } else if (p.kind == 1) {
            p.text = args.narrow.size();
            args.narrow.push_back(in.Bytes(in.Byte()));
        } else if (p.kind == 2 || p.kind == 3) {
            p.bits = in.Word();
        }
        pending.push_back(p);
    }
    for (const Pending& p : pending) {
        switch (p.kind) {
            case 0: args.list.emplace_back(std::u16string_view(args.wide[p.text])); break;
            case 1: args.list.emplace_back(std::string_view(args.narrow[p.text])); break;
            case 2: args.list.emplace_back(static_cast<std::int32_t>(p.bits)); break;
            case 3: args.list.emplace_back(p.bits); break;
            case 4: args.list.emplace_back(static_cast<const char16_t*>(nullptr)); break;
            default: args.list.emplace_back(static_cast<const char*>(nullptr)); break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tav::fuzz::Input in(data, size);
    const std::size_t capacity = in.Byte();
    Arguments args;
    ReadArguments(in, args);
    const std::u16string format = in.RestAsUnits();

    // A buffer of exactly the capacity, so that AddressSanitizer sees any write beyond it.
    std::unique_ptr<char16_t[]> buffer(capacity ? new char16_t[capacity] : nullptr);
    const char16_t sentinel = u'\xA5A5';
    for (std::size_t i = 0; i < capacity; ++i) buffer[i] = sentinel;
    const std::size_t written = tav::FormatInto(buffer.get(), capacity, format, args.list);
    if (capacity == 0) {
        TAV_FUZZ_CHECK(written == 0);
    } else {
        TAV_FUZZ_CHECK(written < capacity);
        TAV_FUZZ_CHECK(buffer[written] == u'\0');
    }

    const std::u16string reference = tav::FormatToString(kReferenceLimit, format, args.list);
    TAV_FUZZ_CHECK(reference.size() <= kReferenceLimit);
    const std::size_t limit = capacity ? capacity - 1 : 0;
    const std::u16string limited = tav::FormatToString(limit, format, args.list);
    TAV_FUZZ_CHECK(limited.size() <= limit);
    TAV_FUZZ_CHECK(limited == reference.substr(0, limit));
    if (capacity != 0) TAV_FUZZ_CHECK(std::u16string_view(buffer.get(), written) == limited);

    // Plain text is copied up to the zero unit that ends the format.
    const std::u16string head = format.substr(0, format.find(u'\0'));
    if (head.find(u'%') == std::u16string::npos)
        TAV_FUZZ_CHECK(reference == head.substr(0, kReferenceLimit));
    return 0;
}
