#pragma once
// Little-endian integers in byte buffers: file layouts and resource lists.
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

template <typename T> constexpr T ReadLittleEndian(const uint8_t* bytes) {
    using U = std::make_unsigned_t<T>;
    U value = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        value = static_cast<U>(value | static_cast<U>(bytes[i]) << (8 * i));
    return static_cast<T>(value);
}

template <typename T> constexpr void WriteLittleEndian(uint8_t* bytes, T value) {
    const auto u = static_cast<std::make_unsigned_t<T>>(value);
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<uint8_t>(u >> (8 * i));
}

template <typename T> void AppendLittleEndian(std::vector<uint8_t>& out, T value) {
    out.resize(out.size() + sizeof(T));
    WriteLittleEndian(out.data() + out.size() - sizeof(T), value);
}
