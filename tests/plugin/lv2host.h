#pragma once
// A small LV2 host on lilv, as hosts load plugins: the world found on
// LV2_PATH, the features the plugin asks for, its ports connected to the
// host's own values, MIDI events in an atom sequence, runs split at chosen
// frames, and state and presets through lilv.
#include "emulated/signal.h"

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The world and the plugin, with a URID map of the host's own.
class Lv2World {
public:
    // lv2Path: where to look (LV2_PATH), e.g. the build tree's bundle folder.
    Lv2World(const std::string& lv2Path, const char* pluginUri);
    ~Lv2World();
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    const LilvPlugin* Plugin() const { return plugin_; }
    LilvWorld* World() const { return world_; }
    LV2_URID Map(const char* uri);
    const char* Unmap(LV2_URID urid) const;
    LV2_URID_Map* MapFeature() { return &map_; }
    LV2_URID_Unmap* UnmapFeature() { return &unmap_; }
    const LV2_Feature* const* Features() const { return features_; }
    // The presets lilv lists for the plugin: URI and label.
    std::vector<std::pair<std::string, std::string>> Presets() const;

private:
    LilvWorld* world_;
    const LilvPlugin* plugin_ = nullptr;
    std::vector<std::string> uris_;
    LV2_URID_Map map_;
    LV2_URID_Unmap unmap_;
    LV2_Feature mapFeature_, unmapFeature_;
    const LV2_Feature* features_[3];
};

struct MidiAt {
    uint64_t frame;
    std::vector<uint8_t> bytes;
};
struct PortAt {
    uint64_t frame;
    std::string symbol;
    float value;
};

// One instance, activated, its control ports at their defaults.
class Lv2Instance {
public:
    Lv2Instance(Lv2World& world, double rate);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    bool Valid() const { return instance_ != nullptr; }
    unsigned Rate() const { return rate_; }
    void Set(const std::string& symbol, float value);
    float Get(const std::string& symbol) const;

    // Plays the next `frames` frames in runs of at most `block`, a run
    // ending wherever a port changes; events and changes at frames counted
    // from the instance's first run. Appends what it plays to `out`.
    void Play(uint64_t frames, uint32_t block, const std::vector<MidiAt>& midi,
              const std::vector<PortAt>& ports, Signal& out);
    Signal Play(uint64_t frames, uint32_t block, const std::vector<MidiAt>& midi,
                const std::vector<PortAt>& ports = {});
    // One run of `frames` frames with these events (frames within the run),
    // its output into left and right. `around` is called just before and
    // just after lilv runs the plugin.
    void Run(uint32_t frames, const std::vector<MidiAt>& midi, float* left, float* right,
             const std::function<void(bool before)>& around = {});
    uint64_t Now() const { return now_; }
    // Switched off and on again, as a host does.
    void Reactivate();

    // State as lilv saves it in a session, as text; and restored from it.
    std::string SaveState();
    void RestoreState(const std::string& text);
    // A preset of the bundle applied as a host applies it.
    void LoadPreset(const std::string& uri);

private:
    static const void* GetValue(const char* symbol, void* user, uint32_t* size, uint32_t* type);
    static void SetValue(const char* symbol, void* user, const void* value, uint32_t size,
                         uint32_t type);
    void Restore(const LilvState* state);

    Lv2World& world_;
    unsigned rate_;
    LilvInstance* instance_ = nullptr;
    std::vector<float> controls_; // by port index
    std::map<std::string, uint32_t> index_;
    std::vector<uint64_t> sequence_; // the MIDI input's atom sequence, 8-byte aligned
    uint64_t now_ = 0;
};
