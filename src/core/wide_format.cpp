#include "core/wide_format.h"

#include <algorithm>
#include <array>

#include "core/text.h"
#include "platform/code_page.h"

namespace tav {

FormatArg::FormatArg(const char16_t* s) noexcept
    : kind_(Kind::Wide), null_(s == nullptr), wide_(s), length_(WideLength(s)) {}

FormatArg::FormatArg(std::u16string_view s) noexcept
    : kind_(Kind::Wide), wide_(s.data()), length_(s.size()) {}

FormatArg::FormatArg(const char* s) noexcept
    : kind_(Kind::Narrow),
      null_(s == nullptr),
      narrow_(s),
      length_(s == nullptr ? 0 : std::char_traits<char>::length(s)) {}

FormatArg::FormatArg(std::string_view s) noexcept
    : kind_(Kind::Narrow), narrow_(s.data()), length_(s.size()) {}

namespace {

constexpr std::u16string_view kNullText = u"(null)";

// Width and precision beyond this are read as this; it keeps the length arithmetic below far
// from overflow on 32-bit targets and is still more than any output limit.
constexpr std::size_t kMaxField = 0x7FFFFFFF;

// Output that silently stops at its limit. Full() lets the expansion stop early.
class BufferSink {
public:
    BufferSink(char16_t* out, std::size_t room) : out_(out), room_(room) {}
    bool Full() const { return room_ == 0; }
    std::size_t Count() const { return count_; }
    void Repeat(char16_t unit, std::size_t n) {
        n = std::min(n, room_);
        std::fill_n(out_ + count_, n, unit);
        count_ += n;
        room_ -= n;
    }
    void Write(std::u16string_view text) {
        const std::size_t n = std::min(text.size(), room_);
        std::copy_n(text.data(), n, out_ + count_);
        count_ += n;
        room_ -= n;
    }

private:
    char16_t* out_;
    std::size_t room_;
    std::size_t count_ = 0;
};

class StringSink {
public:
    StringSink(std::u16string& out, std::size_t room) : out_(out), room_(room) {}
    bool Full() const { return room_ == 0; }
    void Repeat(char16_t unit, std::size_t n) {
        n = std::min(n, room_);
        out_.append(n, unit);
        room_ -= n;
    }
    void Write(std::u16string_view text) {
        const std::size_t n = std::min(text.size(), room_);
        out_.append(text.data(), n);
        room_ -= n;
    }

private:
    std::u16string& out_;
    std::size_t room_;
};

enum class Size { Default, Short, Long };

struct Directive {
    bool left = false;
    bool zero = false;
    bool hexPrefix = false;
    std::size_t width = 0;
    bool hasPrecision = false;
    std::size_t precision = 0;
    Size size = Size::Default;
    char16_t type = 0;
};

bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

std::size_t ReadNumber(std::u16string_view format, std::size_t& pos) {
    std::size_t value = 0;
    for (; pos < format.size() && IsDigit(format[pos]); ++pos) {
        value = std::min(kMaxField, value * 10 + static_cast<std::size_t>(format[pos] - u'0'));
    }
    return value;
}

// Reads the directive after a '%' at pos. False when the format ends before its type.
bool ReadDirective(std::u16string_view format, std::size_t& pos, Directive& dir) {
    for (; pos < format.size(); ++pos) {
        const char16_t unit = format[pos];
        if (unit == u'-') {
            dir.left = true;
        } else if (unit == u'0') {
            dir.zero = true;
        } else if (unit == u'#') {
            dir.hexPrefix = true;
        } else {
            break;
        }
    }
    dir.width = ReadNumber(format, pos);
    if (pos < format.size() && format[pos] == u'.') {
        ++pos;
        dir.hasPrecision = true;
        dir.precision = ReadNumber(format, pos);
    }
    if (pos < format.size()) {
        const char16_t unit = format[pos];
        if (unit == u'h') {
            dir.size = Size::Short;
            ++pos;
        } else if (unit == u'l' || unit == u'w') {
            dir.size = Size::Long;
            ++pos;
        }
    }
    if (pos >= format.size()) return false;
    dir.type = format[pos++];
    return true;
}

enum class Conversion { WideString, NarrowString, WideChar, NarrowChar, Signed, Unsigned, Hex,
                        None };

Conversion Classify(const Directive& dir) {
    switch (dir.type) {
        case u's':
            return dir.size == Size::Short ? Conversion::NarrowString : Conversion::WideString;
        case u'S':
            return dir.size == Size::Long ? Conversion::WideString : Conversion::NarrowString;
        case u'c':
            return dir.size == Size::Short ? Conversion::NarrowChar : Conversion::WideChar;
        case u'C':
            return dir.size == Size::Long ? Conversion::WideChar : Conversion::NarrowChar;
        case u'd':
        case u'i':
            return Conversion::Signed;
        case u'u':
            return Conversion::Unsigned;
        case u'x':
        case u'X':
            return Conversion::Hex;
        default:
            return Conversion::None;
    }
}

bool IsString(Conversion c) {
    return c == Conversion::WideString || c == Conversion::NarrowString;
}

template <class Sink>
class Expander {
public:
    Expander(Sink& sink, std::span<const FormatArg> args) : sink_(sink), args_(args) {}

    void Run(std::u16string_view format) {
        std::size_t pos = 0;
        while (pos < format.size() && !sink_.Full()) {
            // Copy the plain text up to the next '%' (or the end of a zero-terminated format).
            const std::size_t stop = std::min(format.find_first_of(u"%\0", pos, 2), format.size());
            sink_.Write(format.substr(pos, stop - pos));
            pos = stop;
            if (pos == format.size() || format[pos] == u'\0') return;
            ++pos;  // the '%'
            Directive dir;
            if (!ReadDirective(format, pos, dir)) return;  // a '%' at the very end is dropped
            if (dir.type == u'\0') return;
            Convert(dir);
        }
    }

private:
    void Convert(const Directive& dir) {
        Conversion conversion = Classify(dir);
        if (conversion == Conversion::None) {
            sink_.Write(std::u16string_view(&dir.type, 1));  // "%%", "%q": the character itself
            return;
        }
        if (next_ >= args_.size()) return;  // missing argument: nothing
        const FormatArg& arg = args_[next_++];
        const bool argIsString = arg.GetKind() == FormatArg::Kind::Wide ||
                                 arg.GetKind() == FormatArg::Kind::Narrow;
        // An argument of the wrong kind prints as its own kind does.
        if (argIsString && !IsString(conversion)) {
            conversion = arg.GetKind() == FormatArg::Kind::Wide ? Conversion::WideString
                                                                : Conversion::NarrowString;
        } else if (!argIsString && IsString(conversion)) {
            conversion = arg.GetKind() == FormatArg::Kind::Signed ? Conversion::Signed
                                                                  : Conversion::Unsigned;
        }
        switch (conversion) {
            case Conversion::WideString:
            case Conversion::NarrowString:
                PutString(dir, arg);
                break;
            case Conversion::WideChar:
                PutChar(dir, static_cast<char16_t>(arg.Bits()));
                break;
            case Conversion::NarrowChar:
                PutNarrowChar(dir, static_cast<char>(arg.Bits() & 0xFF));
                break;
            default:
                PutNumber(dir, conversion, arg.Bits());
                break;
        }
    }

    // Writes body padded to the dir's width with blanks, on the left unless '-' was given.
    template <class Body>
    void Padded(const Directive& dir, std::size_t length, Body body) {
        const std::size_t pad = dir.width > length ? dir.width - length : 0;
        if (!dir.left) sink_.Repeat(u' ', pad);
        body();
        if (dir.left) sink_.Repeat(u' ', pad);
    }

    void PutText(const Directive& dir, std::u16string_view text) {
        if (dir.hasPrecision) text = text.substr(0, std::min(text.size(), dir.precision));
        Padded(dir, text.size(), [&] { sink_.Write(text); });
    }

    void PutString(const Directive& dir, const FormatArg& arg) {
        if (arg.IsNull()) {
            PutText(dir, kNullText);
        } else if (arg.GetKind() == FormatArg::Kind::Wide) {
            PutText(dir, arg.Wide());
        } else {
            PutText(dir, platform::FromSystemCodePage(arg.Narrow()));
        }
    }

    void PutChar(const Directive& dir, char16_t unit) {
        const std::size_t length = unit == 0 ? 0 : 1;
        Padded(dir, length, [&] { sink_.Write(std::u16string_view(&unit, length)); });
    }

    void PutNarrowChar(const Directive& dir, char byte) {
        if (byte == 0) {
            PutChar(dir, 0);
            return;
        }
        const std::u16string wide = platform::FromSystemCodePage(std::string_view(&byte, 1));
        Padded(dir, wide.size(), [&] { sink_.Write(wide); });
    }

    void PutNumber(const Directive& dir, Conversion conversion, std::uint32_t bits) {
        if (dir.size == Size::Short) {
            bits = conversion == Conversion::Signed
                       ? static_cast<std::uint32_t>(static_cast<std::int16_t>(bits & 0xFFFF))
                       : bits & 0xFFFF;
        }
        const bool negative =
            conversion == Conversion::Signed && static_cast<std::int32_t>(bits) < 0;
        std::uint32_t magnitude = negative ? 0u - bits : bits;
        const bool hex = conversion == Conversion::Hex;
        const char16_t* digitSet = dir.type == u'X' ? u"0123456789ABCDEF" : u"0123456789abcdef";
        const std::uint32_t base = hex ? 16 : 10;

        std::array<char16_t, 10> digits{};  // 4294967295 has ten decimal digits
        std::size_t first = digits.size();
        do {
            digits[--first] = digitSet[magnitude % base];
            magnitude /= base;
        } while (magnitude != 0);
        const std::u16string_view digitText(digits.data() + first, digits.size() - first);

        const std::u16string_view prefix =
            negative ? u"-" : (hex && dir.hexPrefix ? (dir.type == u'X' ? u"0X" : u"0x") : u"");
        // Minimum digits; none given, 0 or a bare '.' all mean 1.
        const std::size_t precision = std::max<std::size_t>(dir.precision, 1);
        std::size_t zeros = precision > digitText.size() ? precision - digitText.size() : 0;
        if (dir.zero && !dir.left) {
            const std::size_t used = prefix.size() + zeros + digitText.size();
            if (dir.width > used) zeros += dir.width - used;
        }
        Padded(dir, prefix.size() + zeros + digitText.size(), [&] {
            sink_.Write(prefix);
            sink_.Repeat(u'0', zeros);
            sink_.Write(digitText);
        });
    }

    Sink& sink_;
    std::span<const FormatArg> args_;
    std::size_t next_ = 0;
};

}  // namespace

std::size_t FormatInto(char16_t* out, std::size_t capacity, std::u16string_view format,
                       std::span<const FormatArg> args) {
    if (out == nullptr || capacity == 0) return 0;
    BufferSink sink(out, capacity - 1);
    Expander<BufferSink>(sink, args).Run(format);
    out[sink.Count()] = u'\0';
    return sink.Count();
}

std::u16string FormatToString(std::size_t limit, std::u16string_view format,
                              std::span<const FormatArg> args) {
    std::u16string result;
    StringSink sink(result, limit);
    Expander<StringSink>(sink, args).Run(format);
    return result;
}

}  // namespace tav
