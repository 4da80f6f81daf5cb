#pragma once
// The MIDI events of an LV2 atom sequence, read byte-wise: the format asks
// for 64-bit alignment, but hosts do hand over sequences that are only
// 32-bit aligned (jalv 1.6 does), where reading the event headers in place
// would be undefined behaviour.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace plugin {

// Calls play(frame, bytes, size) for each event of type `midiEvent`, in
// order. An event that claims more than the sequence holds ends it.
template <typename Play>
void ForEachMidiEvent(const void* sequence, uint32_t midiEvent, const Play& play) {
    const auto* bytes = static_cast<const uint8_t*>(sequence);
    LV2_Atom atom;
    std::memcpy(&atom, bytes, sizeof atom);
    if (atom.size < sizeof(LV2_Atom_Sequence_Body)) return;
    const uint8_t* event = bytes + sizeof(LV2_Atom_Sequence);
    const uint8_t* end = bytes + sizeof(LV2_Atom) + atom.size;
    while (end - event >= static_cast<ptrdiff_t>(sizeof(LV2_Atom_Event))) {
        LV2_Atom_Event header;
        std::memcpy(&header, event, sizeof header);
        const uint8_t* body = event + sizeof header;
        if (header.body.size > static_cast<size_t>(end - body)) return;
        if (header.body.type == midiEvent) play(header.time.frames, body, header.body.size);
        event = body + lv2_atom_pad_size(header.body.size);
    }
}

} // namespace plugin
