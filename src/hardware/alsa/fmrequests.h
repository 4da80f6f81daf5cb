#pragma once
// The chip's register writes as requests of the kernel's OPL3 driver. The
// driver takes no single register: a request sets a whole operator together
// with its channel's connection byte, a channel's pitch and key, or the depth
// and rhythm byte. So an image of every register written is kept, and each
// write sends the one request that covers its register, filled from the image.
//
//   register written                 request (registers the driver then writes)
//   20/40/60/80/E0 + operator        SET_VOICE, voice 0-17, op 0-1 (20 40 60 80, the voice's C0,
//   E0) C0-C8                            SET_VOICE of the channel's first operator A0-A8, B0-B8
//   PLAY_NOTE: voice, octave, F-number, key on (A0, then B0) 08, BD (bank 0) SET_PARAMS: note
//   select, depths, rhythm (08, then BD) 104                              SET_CONNECTION: the
//   four-operator pairs (104) 105                              none: the driver keeps the chip in
//   OPL3 mode from its start 01-04, bank 1's 101-103          none: test and timer registers are
//   the driver's
//
// A write that leaves a register as the chip already holds it sends nothing:
// the chip's registers are levels, and rewriting one changes nothing, key on
// included. Bits that no request carries (C0 bits 6-7, E0 bits 3-7, 08 bits
// other than note select) reach the chip as 0.
#include "hardware/alsa/fmdevice.h"

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>

class Opl3FmRequests {
public:
    static constexpr uint16_t kRegisterCount = 0x200;

    explicit Opl3FmRequests(FmDevice& device) : device_(device) {}

    // Takes the chip over: silences it (RESET) and makes all 18 two-operator
    // voices and the stereo outputs reachable (SET_MODE OPL3, checked with
    // INFO). 0, or the negative errno of the request that failed.
    int Start();
    // One register write: index 0x000-0x1FF, bank 1 from 0x100.
    void Write(uint16_t index, uint8_t value);

    uint8_t Image(uint16_t index) const { return image_[index]; }
    // Requests sent, and those the driver refused with the last refusal's errno.
    size_t Sent() const { return sent_; }
    size_t Refused() const { return refused_; }
    int LastError() const { return lastError_; }

private:
    void SendFor(uint16_t index);
    void SendVoice(unsigned bank, unsigned channel, unsigned op);
    void SendNote(unsigned bank, unsigned channel);
    void SendParams();
    void SendConnection();
    // Registers the request set from the image, when the driver took it.
    template <size_t N>
    void Request(unsigned request, void* argument, const std::array<uint16_t, N>& written);

    FmDevice& device_;
    std::array<uint8_t, kRegisterCount> image_{};
    std::bitset<kRegisterCount> onChip_; // the chip holds the image's value
    size_t sent_ = 0, refused_ = 0;
    int lastError_ = 0;
};
