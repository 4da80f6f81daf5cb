#include "lv2host.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/presets/presets.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {
constexpr size_t kSequenceBytes = 1 << 16;

struct Node {
    explicit Node(LilvNode* node) : node(node) {}
    ~Node() { lilv_node_free(node); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    LilvNode* node;
};
} // namespace

// --- the world ---

Lv2World::Lv2World(const std::string& lv2Path, const char* pluginUri) : world_(lilv_world_new()) {
    // lilv reads LV2_PATH when it loads: the bundle under test, and the
    // LV2 vocabularies its description uses.
    setenv("LV2_PATH", (lv2Path + ":/usr/lib/lv2").c_str(), 1);
    lilv_world_load_all(world_);
    Node uri(lilv_new_uri(world_, pluginUri));
    plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri.node);
    map_ = {this,
            [](LV2_URID_Map_Handle h, const char* u) { return static_cast<Lv2World*>(h)->Map(u); }};
    unmap_ = {this, [](LV2_URID_Unmap_Handle h, LV2_URID u) {
                  return static_cast<Lv2World*>(h)->Unmap(u);
              }};
    mapFeature_ = {LV2_URID__map, &map_};
    unmapFeature_ = {LV2_URID__unmap, &unmap_};
    features_[0] = &mapFeature_;
    features_[1] = &unmapFeature_;
    features_[2] = nullptr;
}

Lv2World::~Lv2World() {
    lilv_world_free(world_);
}

LV2_URID Lv2World::Map(const char* uri) {
    const auto found = std::find(uris_.begin(), uris_.end(), uri);
    if (found != uris_.end()) return static_cast<LV2_URID>(found - uris_.begin() + 1);
    uris_.emplace_back(uri);
    return static_cast<LV2_URID>(uris_.size());
}

const char* Lv2World::Unmap(LV2_URID urid) const {
    return urid >= 1 && urid <= uris_.size() ? uris_[urid - 1].c_str() : nullptr;
}

std::vector<std::pair<std::string, std::string>> Lv2World::Presets() const {
    std::vector<std::pair<std::string, std::string>> presets;
    Node preset(lilv_new_uri(world_, LV2_PRESETS__Preset));
    Node label(lilv_new_uri(world_, LILV_NS_RDFS "label"));
    LilvNodes* related = lilv_plugin_get_related(plugin_, preset.node);
    LILV_FOREACH(nodes, i, related) {
        const LilvNode* uri = lilv_nodes_get(related, i);
        lilv_world_load_resource(world_, uri);
        LilvNode* name = lilv_world_get(world_, uri, label.node, nullptr);
        presets.emplace_back(lilv_node_as_uri(uri), name ? lilv_node_as_string(name) : "");
        lilv_node_free(name);
    }
    lilv_nodes_free(related);
    return presets;
}

// --- an instance ---

Lv2Instance::Lv2Instance(Lv2World& world, double rate)
    : world_(world), rate_(static_cast<unsigned>(rate)), sequence_(kSequenceBytes / 8) {
    const LilvPlugin* plugin = world.Plugin();
    if (!plugin) return;
    const uint32_t ports = lilv_plugin_get_num_ports(plugin);
    controls_.assign(ports, 0.0f);
    std::vector<float> minimum(ports), maximum(ports), defaults(ports);
    lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
    for (uint32_t i = 0; i < ports; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        index_[lilv_node_as_string(lilv_port_get_symbol(plugin, port))] = i;
        if (!std::isnan(defaults[i])) controls_[i] = defaults[i];
    }
    instance_ = lilv_plugin_instantiate(plugin, rate, world.Features());
    if (!instance_) return;
    Node control(lilv_new_uri(world.World(), LV2_CORE__ControlPort));
    Node atom(lilv_new_uri(world.World(), LV2_ATOM__AtomPort));
    for (uint32_t i = 0; i < ports; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        if (lilv_port_is_a(plugin, port, control.node))
            lilv_instance_connect_port(instance_, i, &controls_[i]);
        else if (lilv_port_is_a(plugin, port, atom.node))
            lilv_instance_connect_port(instance_, i, sequence_.data());
    }
    lilv_instance_activate(instance_);
}

Lv2Instance::~Lv2Instance() {
    if (!instance_) return;
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
}

void Lv2Instance::Set(const std::string& symbol, float value) {
    const auto found = index_.find(symbol);
    if (found == index_.end()) throw std::runtime_error("no port " + symbol);
    controls_[found->second] = value;
}

float Lv2Instance::Get(const std::string& symbol) const {
    const auto found = index_.find(symbol);
    if (found == index_.end()) throw std::runtime_error("no port " + symbol);
    return controls_[found->second];
}

void Lv2Instance::Run(uint32_t frames, const std::vector<MidiAt>& midi, float* left, float* right,
                      const std::function<void(bool before)>& around) {
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(sequence_.data());
    sequence->atom.type = world_.Map(LV2_ATOM__Sequence);
    sequence->body.unit = 0;
    sequence->body.pad = 0;
    lv2_atom_sequence_clear(sequence);
    const LV2_URID midiEvent = world_.Map(LV2_MIDI__MidiEvent);
    for (const MidiAt& m : midi) {
        struct {
            LV2_Atom_Event event;
            uint8_t bytes[8];
        } e{};
        e.event.time.frames = static_cast<int64_t>(m.frame);
        e.event.body = {static_cast<uint32_t>(m.bytes.size()), midiEvent};
        std::memcpy(e.bytes, m.bytes.data(), std::min(m.bytes.size(), sizeof e.bytes));
        if (!lv2_atom_sequence_append_event(sequence, kSequenceBytes, &e.event))
            throw std::runtime_error("too many events for one run");
    }
    lilv_instance_connect_port(instance_, index_.at("out_left"), left);
    lilv_instance_connect_port(instance_, index_.at("out_right"), right);
    if (around) around(true);
    lilv_instance_run(instance_, frames);
    if (around) around(false);
    now_ += frames;
}

void Lv2Instance::Play(uint64_t frames, uint32_t block, const std::vector<MidiAt>& midi,
                       const std::vector<PortAt>& ports, Signal& out) {
    const uint64_t end = now_ + frames;
    std::vector<float> left(block), right(block);
    while (now_ < end) {
        for (const PortAt& p : ports)
            if (p.frame == now_) Set(p.symbol, p.value);
        uint64_t until = std::min(end, now_ + block);
        for (const PortAt& p : ports)
            if (p.frame > now_ && p.frame < until) until = p.frame;
        std::vector<MidiAt> events;
        for (const MidiAt& m : midi)
            if (m.frame >= now_ && m.frame < until) events.push_back({m.frame - now_, m.bytes});
        const uint32_t n = static_cast<uint32_t>(until - now_);
        Run(n, events, left.data(), right.data());
        for (uint32_t i = 0; i < n; ++i) {
            out.samples.push_back(left[i]);
            out.samples.push_back(right[i]);
        }
    }
}

Signal Lv2Instance::Play(uint64_t frames, uint32_t block, const std::vector<MidiAt>& midi,
                         const std::vector<PortAt>& ports) {
    Signal out;
    out.rate = rate_;
    Play(frames, block, midi, ports, out);
    return out;
}

void Lv2Instance::Reactivate() {
    lilv_instance_deactivate(instance_);
    lilv_instance_activate(instance_);
}

// --- state ---

const void* Lv2Instance::GetValue(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
    auto& self = *static_cast<Lv2Instance*>(user);
    const auto found = self.index_.find(symbol);
    if (found == self.index_.end()) return nullptr;
    *size = sizeof(float);
    *type = self.world_.Map(LV2_ATOM__Float);
    return &self.controls_[found->second];
}

void Lv2Instance::SetValue(const char* symbol, void* user, const void* value, uint32_t,
                           uint32_t type) {
    auto& self = *static_cast<Lv2Instance*>(user);
    const auto found = self.index_.find(symbol);
    if (found == self.index_.end()) return;
    float v = 0;
    if (type == self.world_.Map(LV2_ATOM__Float))
        v = *static_cast<const float*>(value);
    else if (type == self.world_.Map(LV2_ATOM__Double))
        v = static_cast<float>(*static_cast<const double*>(value));
    else if (type == self.world_.Map(LV2_ATOM__Int))
        v = static_cast<float>(*static_cast<const int32_t*>(value));
    else
        throw std::runtime_error(std::string("a value of another type for ") + symbol);
    self.controls_[found->second] = v;
}

std::string Lv2Instance::SaveState() {
    LilvState* state = lilv_state_new_from_instance(world_.Plugin(), instance_, world_.MapFeature(),
                                                    nullptr, nullptr, nullptr, nullptr, GetValue,
                                                    this, 0, world_.Features());
    char* text = lilv_state_to_string(world_.World(), world_.MapFeature(), world_.UnmapFeature(),
                                      state, "urn:vi801:test-state", nullptr);
    std::string saved = text ? text : "";
    lilv_free(text);
    lilv_state_free(state);
    return saved;
}

void Lv2Instance::Restore(const LilvState* state) {
    if (!state) throw std::runtime_error("no state to restore");
    lilv_state_restore(state, instance_, SetValue, this, 0, world_.Features());
}

void Lv2Instance::RestoreState(const std::string& text) {
    LilvState* state =
        lilv_state_new_from_string(world_.World(), world_.MapFeature(), text.c_str());
    Restore(state);
    lilv_state_free(state);
}

void Lv2Instance::LoadPreset(const std::string& uri) {
    Node node(lilv_new_uri(world_.World(), uri.c_str()));
    lilv_world_load_resource(world_.World(), node.node);
    LilvState* state = lilv_state_new_from_world(world_.World(), world_.MapFeature(), node.node);
    Restore(state);
    lilv_state_free(state);
}
