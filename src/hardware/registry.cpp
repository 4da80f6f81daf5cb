#include "hardware/registry.h"

#include "error.h"
#include "hardware/littleendian.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

const char* const kPciEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\PCI";

void MemoryRegistry::AddKey(const std::string& path) {
    std::string parent;
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = path.find('\\', begin);
        if (end == std::string::npos) end = path.size();
        const std::string name = path.substr(begin, end - begin);
        const std::string full = parent.empty() ? name : parent + "\\" + name;
        if (!keys_.count(full)) {
            keys_[full];
            keys_[parent].subkeys.push_back(name);
        }
        parent = full;
        begin = end + 1;
    }
}

void MemoryRegistry::SetValue(const std::string& keyPath, const std::string& name,
                              RegistryDataType type, std::vector<uint8_t> data) {
    AddKey(keyPath);
    keys_[keyPath].values[name] = Value{type, std::move(data)};
}

bool MemoryRegistry::OpenKey(const std::string& path) {
    if (open_) openedWhileOpen_ = true;
    opened_.push_back(path);
    const auto found = keys_.find(path);
    open_ = found == keys_.end() || path.empty() ? nullptr : &found->second;
    return open_ != nullptr;
}

void MemoryRegistry::CloseKey() {
    open_ = nullptr;
}

std::vector<std::string> MemoryRegistry::GetKeyNames() {
    return open_ ? open_->subkeys : std::vector<std::string>{};
}

bool MemoryRegistry::ValueExists(const std::string& name) {
    return open_ && open_->values.count(name);
}

size_t MemoryRegistry::ReadBinaryData(const std::string& name, void* buffer, size_t size) {
    if (!open_) return 0;
    const auto found = open_->values.find(name);
    if (found == open_->values.end()) return 0;
    const Value& value = found->second;
    const bool binary =
        value.type == RegistryDataType::Binary || value.type == RegistryDataType::Unknown;
    if (!binary || value.data.size() > size) throw Error("Invalid data type for '" + name + "'");
    std::copy(value.data.begin(), value.data.end(), static_cast<uint8_t*>(buffer));
    return value.data.size();
}

namespace {
// First line of a sysfs attribute; empty when it can't be read.
std::string ReadAttribute(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

bool ParseNumber(const std::string& text, uint64_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 0);
    return end != text.c_str();
}

uint64_t NumberOr(const std::filesystem::path& path, uint64_t fallback) {
    uint64_t value = 0;
    return ParseNumber(ReadAttribute(path), value) ? value : fallback;
}

// Kernel resource flags in the sysfs "resource" file.
constexpr uint64_t kResourceIo = 0x100;
constexpr uint64_t kResourceMem = 0x200;

std::vector<ResourceRange> ReadResources(const std::filesystem::path& device) {
    std::vector<ResourceRange> ranges;
    std::ifstream file(device / "resource");
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string startText, endText, flagsText;
        uint64_t start = 0, end = 0, flags = 0;
        if (!(fields >> startText >> endText >> flagsText) || !ParseNumber(startText, start) ||
            !ParseNumber(endText, end) || !ParseNumber(flagsText, flags) || end < start ||
            (start == 0 && end == 0))
            continue;
        ResourceRange range;
        if (flags & kResourceIo)
            range.type = ResourceRange::Port;
        else if (flags & kResourceMem)
            range.type = ResourceRange::Memory;
        else
            continue;
        range.start = start;
        range.length = static_cast<uint32_t>(std::min<uint64_t>(end - start + 1, UINT32_MAX));
        ranges.push_back(range);
    }
    const uint64_t irq = NumberOr(device / "irq", 0);
    if (irq != 0) ranges.push_back({ResourceRange::Interrupt, irq, 0});
    return ranges;
}
} // namespace

std::vector<uint8_t> BuildResourceList(const std::vector<ResourceRange>& ranges, uint32_t busNumber,
                                       uint32_t interfaceType) {
    std::vector<uint8_t> out;
    AppendLittleEndian<uint32_t>(out, 1); // one full descriptor
    AppendLittleEndian<uint32_t>(out, interfaceType);
    AppendLittleEndian<uint32_t>(out, busNumber);
    AppendLittleEndian<uint16_t>(out, 1); // version
    AppendLittleEndian<uint16_t>(out, 1); // revision
    AppendLittleEndian(out, static_cast<uint32_t>(ranges.size()));
    for (const ResourceRange& range : ranges) {
        out.push_back(range.type);
        out.push_back(1);                                                     // device exclusive
        AppendLittleEndian<uint16_t>(out, range.type == ResourceRange::Port); // port: I/O space
        AppendLittleEndian<uint64_t>(out, range.start);
        AppendLittleEndian<uint32_t>(out, range.length);
    }
    return out;
}

SysfsRegistry::SysfsRegistry(const std::string& devicesRoot) {
    namespace fs = std::filesystem;
    std::vector<std::string> addresses;
    std::error_code error;
    for (fs::directory_iterator it(devicesRoot, error), end; !error && it != end;
         it.increment(error))
        addresses.push_back(it->path().filename().string());
    // Directory order is arbitrary; address order makes "the last one" stable.
    std::sort(addresses.begin(), addresses.end());

    AddKey(kPciEnumKey);
    for (const std::string& address : addresses) {
        const fs::path device = fs::path(devicesRoot) / address;
        uint64_t vendor = 0, deviceId = 0;
        if (!ParseNumber(ReadAttribute(device / "vendor"), vendor) ||
            !ParseNumber(ReadAttribute(device / "device"), deviceId))
            continue;
        char name[64];
        std::snprintf(name, sizeof name, "VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X",
                      static_cast<unsigned>(vendor & 0xFFFF),
                      static_cast<unsigned>(deviceId & 0xFFFF),
                      static_cast<unsigned>(NumberOr(device / "subsystem_device", 0) & 0xFFFF),
                      static_cast<unsigned>(NumberOr(device / "subsystem_vendor", 0) & 0xFFFF),
                      static_cast<unsigned>(NumberOr(device / "revision", 0) & 0xFF));
        const std::string instance = std::string(kPciEnumKey) + "\\" + name + "\\" + address;

        // "dddd:bb:dd.f"
        uint32_t bus = 0;
        const size_t colon = address.find(':');
        if (colon != std::string::npos)
            bus = static_cast<uint32_t>(std::strtoul(address.c_str() + colon + 1, nullptr, 16));
        const std::vector<uint8_t> resources = BuildResourceList(ReadResources(device), bus);

        AddKey(instance + "\\Control");
        if (NumberOr(device / "enable", 0) != 0)
            SetValue(instance + "\\Control", "AllocConfig", RegistryDataType::Binary, resources);
        SetValue(instance + "\\LogConf", "BootConfig", RegistryDataType::Binary, resources);
    }
}

EmulatedCardRegistry::EmulatedCardRegistry(uint16_t portBase) {
    const std::string instance =
        std::string(kPciEnumKey) + "\\VEN_1319&DEV_0801&SUBSYS_00001319&REV_B2\\" + kInstanceName;
    // The FM801 decodes 128 bytes of I/O space.
    const std::vector<uint8_t> resources =
        BuildResourceList({{ResourceRange::Port, portBase, 0x80}});
    SetValue(instance + "\\Control", "AllocConfig", RegistryDataType::Binary, resources);
    SetValue(instance + "\\LogConf", "BootConfig", RegistryDataType::Binary, resources);
}
