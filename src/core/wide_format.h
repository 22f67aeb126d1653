#pragma once
// The library's one formatter: the subset of wsprintfW that the diagnostic log and the
// localised texts use, with explicit output limits and type-checked arguments.
//
// A conversion is written  %[flags][width][.precision][size]type
//   flags      any of '-' (left-justify), '0' (pad numbers with zeros), '#' (0x / 0X before hex
//              values), in any order; '-' wins over '0'; strings and characters pad with blanks
//   width      minimum number of units; padding counts toward the output limit
//   precision  strings: at most that many units of the argument; numbers: at least that many
//              digits (0 or a bare '.' means 1, so zero prints "0")
//   size       'l' or 'w' (wide %s/%S/%c, no effect on integers), 'h' (narrow %s/%S/%c, 16-bit
//              integers), as wsprintfW reads them
//   type       s  UTF-16 string            S  8-bit string in the system code page
//              c  one UTF-16 unit          C  one 8-bit character in the system code page
//              d, i  signed 32-bit decimal u  unsigned 32-bit decimal
//              x, X  unsigned 32-bit hexadecimal, lower / upper case digits
// %u, %x and %X read the argument's 32 bits as unsigned and %d as signed, whichever integer kind
// was passed: an HRESULT of 0x80004005 prints "80004005" through "0x%08x".
//
// Outside that subset the formatter behaves as follows (wsprintfW's own behaviour where it
// defines one):
//   - A null string argument prints "(null)" (subject to precision and width).
//   - A zero character argument of %c / %C writes nothing but its padding.
//   - A '%' followed by a character that is not a type drops the '%' and whatever flags, width,
//     precision and size were read, and copies that character as ordinary text without consuming
//     an argument; "%%" is the case of this that writes one '%'. Types of wsprintfW that take
//     arguments this formatter does not accept (%p, %I64...) are copied the same way.
//   - A '%' (with or without flags, width...) at the very end of the format is dropped.
//   - A zero unit in the format ends it, as it ends wsprintfW's zero-terminated format.
//   - A conversion whose argument is missing writes nothing at all, not even its padding.
//   - An argument of the wrong kind prints the way its own kind prints, with the same flags,
//     width and precision: a string given to %d or %c prints as %s (UTF-16) or %S (8-bit) would,
//     an integer given to %s or %S prints as %d (signed) or %u (unsigned) would. An 8-bit string
//     given to %s, or a UTF-16 string given to %S, is therefore printed correctly.
//   - Surplus arguments are ignored.
// Output is cut at the limit wherever it falls, inside a conversion or its padding included;
// a huge width or precision costs nothing beyond the units actually written.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace tav {

// One argument of a format. It only refers to the string it was made from, which must outlive
// the formatting call (it does when the argument is made in the call's own argument list).
class FormatArg {
public:
    enum class Kind { Wide, Narrow, Signed, Unsigned };

    FormatArg(const char16_t* s) noexcept;  // Wide; may be null
    FormatArg(const std::u16string& s) noexcept : FormatArg(std::u16string_view(s)) {}
    FormatArg(std::u16string_view s) noexcept;  // Wide; need not be zero-terminated
    FormatArg(const char* s) noexcept;          // Narrow; may be null
    FormatArg(const std::string& s) noexcept : FormatArg(std::string_view(s)) {}
    FormatArg(std::string_view s) noexcept;  // Narrow; need not be zero-terminated
    FormatArg(std::int32_t v) noexcept
        : kind_(Kind::Signed), bits_(static_cast<std::uint32_t>(v)) {}
    FormatArg(std::uint32_t v) noexcept : kind_(Kind::Unsigned), bits_(v) {}
    FormatArg(char16_t c) noexcept : kind_(Kind::Unsigned), bits_(c) {}

    // Other integer types of at most 32 bits (short, Windows' long and DWORD, char...) keep their
    // signedness.
    template <class T>
        requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && sizeof(T) <= 4)
    FormatArg(T v) noexcept
        : kind_(std::is_signed_v<T> ? Kind::Signed : Kind::Unsigned),
          bits_(static_cast<std::uint32_t>(v)) {}

    // bool, 64-bit integers and floating-point values have no conversion in the format subset.
    template <class T>
        requires(std::is_arithmetic_v<T> &&
                 (std::is_same_v<T, bool> || std::is_floating_point_v<T> || sizeof(T) > 4))
    FormatArg(T) = delete;
    FormatArg(std::nullptr_t) = delete;  // say which kind of string is missing

    Kind GetKind() const noexcept { return kind_; }
    bool IsNull() const noexcept { return null_; }  // a null Wide or Narrow pointer
    std::u16string_view Wide() const noexcept { return {wide_, length_}; }
    std::string_view Narrow() const noexcept { return {narrow_, length_}; }
    std::uint32_t Bits() const noexcept { return bits_; }  // Signed: two's complement

private:
    Kind kind_;
    bool null_ = false;
    const char16_t* wide_ = nullptr;
    const char* narrow_ = nullptr;
    std::size_t length_ = 0;
    std::uint32_t bits_ = 0;
};

// Expands format with args into out[0..capacity): writes at most capacity - 1 units and a
// terminating zero (nothing at all when capacity is 0). Returns the number of units written,
// the terminator not counted.
std::size_t FormatInto(char16_t* out, std::size_t capacity, std::u16string_view format,
                       std::span<const FormatArg> args);

// Expands format with args into a new string of at most limit units.
std::u16string FormatToString(std::size_t limit, std::u16string_view format,
                              std::span<const FormatArg> args);

template <class... A>
std::size_t FormatWide(char16_t* out, std::size_t capacity, std::u16string_view format,
                       const A&... args) {
    if constexpr (sizeof...(A) == 0) {
        return FormatInto(out, capacity, format, {});
    } else {
        const FormatArg list[] = {args...};
        return FormatInto(out, capacity, format, list);
    }
}

template <class... A>
std::u16string FormatWideString(std::size_t limit, std::u16string_view format, const A&... args) {
    if constexpr (sizeof...(A) == 0) {
        return FormatToString(limit, format, {});
    } else {
        const FormatArg list[] = {args...};
        return FormatToString(limit, format, list);
    }
}

}  // namespace tav
