#include "plugin/turtle.h"

#include "plugin/lv2uris.h"
#include "presets/presetfile.h"

#include <sstream>

namespace plugin {

namespace {

// Raised whenever the ports change, so hosts know the plugin's version.
constexpr int kMinorVersion = 2, kMicroVersion = 0;

constexpr const char* kPrefixes = "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
                                  "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
                                  "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
                                  "@prefix midi:  <http://lv2plug.in/ns/ext/midi#> .\n"
                                  "@prefix pg:    <http://lv2plug.in/ns/ext/port-groups#> .\n"
                                  "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
                                  "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                                  "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
                                  "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                                  "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
                                  "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n\n";

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string Iri(const std::string& iri) {
    return "<" + iri + ">";
}

std::string Own(const std::string& fragment) {
    return Iri(std::string(kPluginUri) + "#" + fragment);
}

// Hosts read control values as floats.
std::string Number(int value) {
    return std::to_string(value) + ".0";
}

std::string BankUri(const std::string& bank) {
    return Own("bank-" + bank);
}

void WriteGroups(std::ostream& out) {
    out << Own("out") << " a pg:StereoGroup, pg:OutputGroup ;\n"
        << "    lv2:symbol \"out\" ;\n    rdfs:label \"Audio Out\" .\n\n";
    for (const PortGroup& group : PortGroups())
        out << Own(group.symbol) << " a pg:Group ;\n    lv2:symbol " << Quoted(group.symbol)
            << " ;\n    rdfs:label " << Quoted(group.label) << " .\n\n";
    for (size_t b = 0; b < kBankNames.size(); ++b)
        out << BankUri(kBankNames[b]) << " a pset:Bank ;\n    rdfs:label " << Quoted(kBankTexts[b])
            << " .\n\n";
}

void WriteFixedPorts(std::ostream& out) {
    const char* sides[2][3] = {{"out_left", "Left", "pg:left"}, {"out_right", "Right", "pg:right"}};
    const uint32_t indices[2] = {kLeftOut, kRightOut};
    for (int i = 0; i < 2; ++i)
        out << "    lv2:port [\n        a lv2:OutputPort, lv2:AudioPort ;\n"
            << "        lv2:index " << indices[i] << " ;\n        lv2:symbol \"" << sides[i][0]
            << "\" ;\n        lv2:name \"" << sides[i][1] << "\" ;\n        pg:group " << Own("out")
            << " ;\n        lv2:designation " << sides[i][2] << " ;\n    ] ;\n";
    out << "    lv2:port [\n        a lv2:InputPort, atom:AtomPort ;\n"
        << "        atom:bufferType atom:Sequence ;\n        atom:supports midi:MidiEvent ;\n"
        << "        lv2:designation lv2:control ;\n        lv2:index " << kMidiIn << " ;\n"
        << "        lv2:symbol \"midi_in\" ;\n        lv2:name \"MIDI In\" ;\n    ] ;\n";
}

void WriteControlPort(std::ostream& out, const ControlPort& port, uint32_t index, int value) {
    out << "    lv2:port [\n        a lv2:InputPort, lv2:ControlPort ;\n"
        << "        lv2:index " << index << " ;\n        lv2:symbol " << Quoted(port.symbol)
        << " ;\n        lv2:name " << Quoted(port.name) << " ;\n        pg:group "
        << Own(port.group) << " ;\n        lv2:default " << Number(value)
        << " ;\n        lv2:minimum " << Number(port.minimum) << " ;\n        lv2:maximum "
        << Number(port.maximum) << " ;\n";
    switch (port.kind) {
    case PortKind::Toggle:
        out << "        lv2:portProperty lv2:toggled ;\n";
        break;
    case PortKind::Integer:
        out << "        lv2:portProperty lv2:integer ;\n";
        break;
    case PortKind::List:
        out << "        lv2:portProperty lv2:integer, lv2:enumeration ;\n";
        for (size_t i = 0; i < port.items.size(); ++i)
            out << (i ? " ,\n            [ " : "        lv2:scalePoint [ ") << "rdfs:label "
                << Quoted(port.items[i]) << " ; rdf:value "
                << Number(port.minimum + static_cast<int>(i)) << " ]";
        out << " ;\n";
        break;
    }
    if (port.cents) out << "        units:unit units:cent ;\n";
    out << "    ]";
}

} // namespace

std::string PresetSlug(const PresetEntry& preset) {
    std::string slug = preset.bank + "-";
    bool dash = false;
    for (char c : preset.name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        const bool upper = c >= 'A' && c <= 'Z';
        if (keep || upper) {
            if (dash && slug.back() != '-') slug += '-';
            slug += upper ? static_cast<char>(c - 'A' + 'a') : c;
            dash = false;
        } else {
            dash = true;
        }
    }
    return slug;
}

std::string PresetUri(const PresetEntry& preset) {
    return std::string(kPluginUri) + "#preset-" + PresetSlug(preset);
}

std::string PresetFile(const PresetEntry& preset) {
    return "presets/" + PresetSlug(preset) + ".ttl";
}

std::string PluginTurtle(const std::vector<int>& defaults) {
    std::ostringstream out;
    out << kPrefixes;
    WriteGroups(out);
    out << Iri(kPluginUri) << "\n    a lv2:Plugin, lv2:InstrumentPlugin ;\n"
        << "    doap:name \"VI 801\" ;\n"
        << "    rdfs:comment \"A six-operator FM synthesizer on an emulated OPL3: operators 1-4 "
           "form one voice and 5-6 another, both sounding on every note, six notes at once.\" ;\n"
        << "    lv2:minorVersion " << kMinorVersion << " ;\n    lv2:microVersion " << kMicroVersion
        << " ;\n"
        << "    lv2:requiredFeature urid:map ;\n    lv2:optionalFeature lv2:hardRTCapable ;\n"
        << "    lv2:extensionData state:interface ;\n";
    WriteFixedPorts(out);
    const std::vector<ControlPort>& ports = ControlPorts();
    for (size_t i = 0; i < ports.size(); ++i) {
        WriteControlPort(out, ports[i], kFirstControl + static_cast<uint32_t>(i), defaults[i]);
        out << (i + 1 < ports.size() ? " ;\n" : " .\n");
    }
    return out.str();
}

std::string ManifestTurtle(const std::string& binary, const std::vector<PresetEntry>& presets) {
    std::ostringstream out;
    out << kPrefixes << Iri(kPluginUri) << "\n    a lv2:Plugin, lv2:InstrumentPlugin ;\n"
        << "    lv2:binary " << Iri(binary) << " ;\n    rdfs:seeAlso <vi801.ttl> .\n";
    for (const PresetEntry& preset : presets)
        out << "\n"
            << Iri(PresetUri(preset)) << "\n    a pset:Preset ;\n    lv2:appliesTo "
            << Iri(kPluginUri) << " ;\n    rdfs:seeAlso " << Iri(PresetFile(preset)) << " .\n";
    return out.str();
}

std::string PresetTurtle(const PresetEntry& preset) {
    std::ostringstream out;
    out << kPrefixes << Iri(PresetUri(preset)) << "\n    a pset:Preset ;\n    lv2:appliesTo "
        << Iri(kPluginUri) << " ;\n    rdfs:label " << Quoted(preset.name) << " ;\n    pset:bank "
        << BankUri(preset.bank);
    for (const auto& [symbol, value] : preset.values)
        out << " ;\n    lv2:port [\n        lv2:symbol " << Quoted(symbol)
            << " ;\n        pset:value " << Number(value) << " ;\n    ]";
    out << " .\n";
    return out.str();
}

} // namespace plugin
