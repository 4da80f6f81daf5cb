#pragma once
// Where MIDI input hands its messages over when they are not to wait for
// the owner's thread: called on the thread that receives them (the
// sequencer's reader, JACK's process thread), once per short message, in
// arrival order. It must not lock, allocate or wait.
#include "midi/shortmessage.h"

#include <cstdint>

class MidiReceiver {
public:
    enum class Thread : uint8_t { Sequencer, Jack }; // one producer each
    // frame: the JACK server's frame the message was sent at (Jack only).
    virtual void Receive(Thread thread, uint32_t handle, ShortMessage message, uint32_t frame) = 0;

protected:
    ~MidiReceiver() = default;
};
