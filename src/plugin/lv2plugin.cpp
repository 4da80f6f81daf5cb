// The LV2 entry points: the descriptor, the ports, run() over the MIDI
// event sequence and the state extension. Everything else is the
// Instrument's.
#include "plugin/atomsequence.h"
#include "plugin/instrument.h"
#include "plugin/lv2uris.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/core/lv2_util.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <exception>
#include <string_view>

namespace {

struct Plugin {
    plugin::Instrument instrument;
    LV2_URID midiEvent;
    LV2_URID sessionKey;
    LV2_URID chunk;
    const void* midiIn = nullptr; // an atom sequence, maybe only 32-bit aligned
    float* left = nullptr;
    float* right = nullptr;
};

// The resampler takes any rate; these are the ends a host could mean.
constexpr double kLowestRate = 8000, kHighestRate = 384000;

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    LV2_URID_Map* map = nullptr;
    const char* missing = lv2_features_query(features, LV2_URID__map, &map, true, nullptr);
    if (missing || !(rate >= kLowestRate && rate <= kHighestRate)) return nullptr;
    try {
        return new Plugin{plugin::Instrument(static_cast<unsigned>(std::lround(rate))),
                          map->map(map->handle, LV2_MIDI__MidiEvent),
                          map->map(map->handle, plugin::kSessionUri),
                          map->map(map->handle, LV2_ATOM__Chunk)};
    } catch (const std::exception&) {
        return nullptr;
    }
}

void ConnectPort(LV2_Handle handle, uint32_t port, void* data) {
    auto& p = *static_cast<Plugin*>(handle);
    switch (port) {
    case plugin::kLeftOut:
        p.left = static_cast<float*>(data);
        break;
    case plugin::kRightOut:
        p.right = static_cast<float*>(data);
        break;
    case plugin::kMidiIn:
        p.midiIn = data;
        break;
    default:
        if (port - plugin::kFirstControl < plugin::ControlPorts().size())
            p.instrument.ConnectControl(port - plugin::kFirstControl, static_cast<float*>(data));
        break;
    }
    p.instrument.ConnectOutputs(p.left, p.right);
}

void Activate(LV2_Handle handle) {
    static_cast<Plugin*>(handle)->instrument.Activate();
}

void Run(LV2_Handle handle, uint32_t frames) {
    auto& p = *static_cast<Plugin*>(handle);
    if (!p.left || !p.right) return; // a host must connect them: nothing to play into
    p.instrument.Run(frames, [&p](const auto& play) {
        if (p.midiIn) plugin::ForEachMidiEvent(p.midiIn, p.midiEvent, play);
    });
}

void Cleanup(LV2_Handle handle) {
    delete static_cast<Plugin*>(handle);
}

LV2_State_Status Save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state,
                      uint32_t, const LV2_Feature* const*) {
    auto& p = *static_cast<Plugin*>(handle);
    try {
        const std::vector<uint8_t> bytes = p.instrument.Save();
        return store(state, p.sessionKey, bytes.data(), bytes.size(), p.chunk,
                     LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    } catch (const std::exception&) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

// A state without a session (a preset of port values alone) leaves the
// instrument as it is.
LV2_State_Status Restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle state, uint32_t, const LV2_Feature* const*) {
    auto& p = *static_cast<Plugin*>(handle);
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void* value = retrieve(state, p.sessionKey, &size, &type, &flags);
    if (!value) return LV2_STATE_SUCCESS;
    if (type != p.chunk) return LV2_STATE_ERR_BAD_TYPE;
    try {
        const auto* bytes = static_cast<const uint8_t*>(value);
        return p.instrument.Restore({bytes, size}) ? LV2_STATE_SUCCESS : LV2_STATE_ERR_UNKNOWN;
    } catch (const std::exception&) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

const void* ExtensionData(const char* uri) {
    static const LV2_State_Interface state = {Save, Restore};
    if (std::string_view(uri) == LV2_STATE__interface) return &state;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {
    plugin::kPluginUri, Instantiate, ConnectPort, Activate, Run, nullptr, Cleanup, ExtensionData,
};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
