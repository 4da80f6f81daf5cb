#pragma once
// One bit range of a register: where it sits, how wide it is, and how a
// value is read from and put into a register image. A field may be stored
// inverted, as the chip's attenuations are: then Get and Put speak of the
// level and the register holds its complement.
#include <cstdint>

template <typename Word> struct BitField {
    uint8_t Shift;
    uint8_t Width;
    bool Inverted = false;

    constexpr unsigned Max() const { return (1u << Width) - 1; }
    constexpr Word Mask() const { return static_cast<Word>(Max() << Shift); }
    constexpr unsigned Get(Word image) const {
        const unsigned stored = (image >> Shift) & Max();
        return Inverted ? Max() - stored : stored;
    }
    // Bits of value beyond the field's width are dropped.
    constexpr Word Put(Word image, unsigned value) const {
        const unsigned stored = (Inverted ? ~value : value) & Max();
        return static_cast<Word>((image & ~Mask()) | (stored << Shift));
    }
    // A flag field takes any nonzero value as on.
    constexpr Word PutFlag(Word image, bool on) const { return Put(image, on ? Max() : 0); }
};

// Fields that together fill a register exactly once, with no bit claimed twice.
template <typename Word, typename... Fields>
constexpr bool FillsExactly(Word all, const Fields&... fields) {
    Word seen = 0;
    bool overlap = false;
    ((overlap = overlap || (seen & fields.Mask()) != 0, seen |= fields.Mask()), ...);
    return !overlap && seen == all;
}
