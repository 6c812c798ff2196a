// What the fuzz targets share: a reader that takes fields from the front of the input, the
// UTF-16 conversions of registry data, and a check that ends the run on a broken rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// Unlike assert, this stays on in every build: a broken rule is a finding.
#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: rule broken: %s\n", __FILE__, __LINE__, #condition);      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Remaining() const { return size_ - pos_; }

    // Past the end every field reads as zero.
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t Word() {
        const std::uint16_t low = Byte();
        return static_cast<std::uint16_t>(low | (Byte() << 8));
    }
    std::uint32_t Dword() {
        const std::uint32_t low = Word();
        return low | (static_cast<std::uint32_t>(Word()) << 16);
    }

    // A copy of exactly `count` bytes (fewer at the end), so that ASan sees any read past it.
    std::vector<std::uint8_t> Bytes(std::size_t count) {
        if (count > Remaining()) {
            count = Remaining();
        }
        std::vector<std::uint8_t> bytes(data_ + pos_, data_ + pos_ + count);
        pos_ += count;
        return bytes;
    }
    std::vector<std::uint8_t> Rest() { return Bytes(Remaining()); }

    // A registry value type: mostly the small ones that mean something, sometimes any.
    std::uint32_t ValueType() {
        const std::uint8_t selector = Byte();
        return selector == 0xFF ? Dword() : selector;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Little-endian UTF-16 units, as the registry stores text; an odd last byte is dropped.
inline std::wstring UnitsOf(const std::vector<std::uint8_t>& bytes) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return text;
}

inline std::vector<std::uint8_t> BytesOf(std::wstring_view text, bool withNul) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    if (withNul) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}
