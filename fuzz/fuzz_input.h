// The fuzz targets' view of their input: bytes taken from the front, little-endian, with zeros
// once the input is used up, and a check that stops the run with a message when a property fails.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace tav::fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Left() const { return size_ - pos_; }
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t Unit() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
    std::uint32_t Word() {
        std::uint32_t low = Unit();
        return low | static_cast<std::uint32_t>(Unit()) << 16;
    }
    // count bytes, or as many as are left.
    std::string Bytes(std::size_t count) {
        count = std::min(count, Left());
        std::string bytes(reinterpret_cast<const char*>(data_ + pos_), count);
        pos_ += count;
        return bytes;
    }
    // count UTF-16 units (two bytes each, little-endian), or as many as are left.
    std::u16string Units(std::size_t count) {
        count = std::min(count, Left() / 2);
        std::u16string units;
        for (std::size_t i = 0; i < count; ++i) units.push_back(static_cast<char16_t>(Unit()));
        return units;
    }
    std::u16string RestAsUnits() { return Units(Left() / 2); }
    std::string RestAsBytes() { return Bytes(Left()); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A property of the code under test does not hold: report it and abort, which libFuzzer records
// as a crash with the input that caused it.
[[noreturn]] inline void Violated(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, what);
    std::abort();
}

}  // namespace tav::fuzz

#define TAV_FUZZ_CHECK(condition) \
    ((condition) ? void(0) : ::tav::fuzz::Violated(__FILE__, __LINE__, #condition))
