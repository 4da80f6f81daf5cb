#include "hardware/ccsregistry.h"

#include "hardware/littleendian.h"

#include <algorithm>
#include <vector>

namespace {
// Enumerated device keys begin with vendor and device; what follows
// (subsystem, revision) may be anything.
constexpr char kDevicePrefix[] = "VEN_1319&DEV_0801";
constexpr size_t kDevicePrefixLength = sizeof kDevicePrefix - 1; // 17

// The resource list: its bus type, where its fields lie, and the type of a
// port range among its 16-byte partial descriptors.
constexpr uint8_t kInterfacePciBus = 5, kResourcePort = 1;
constexpr size_t kInterfaceTypeOffset = 4, kPartialCountOffset = 16, kPartialsOffset = 20;
constexpr size_t kPartialSize = 16, kPortStartOffset = 4;

} // namespace

bool ParseBootConfig(const uint8_t* data, size_t size, uint16_t& portBase) {
    if (size <= kInterfaceTypeOffset || data[kInterfaceTypeOffset] != kInterfacePciBus ||
        size < kPartialsOffset)
        return false;
    bool found = false;
    const uint32_t count = ReadLittleEndian<uint32_t>(data + kPartialCountOffset);
    // Only descriptors that lie wholly within the bytes read are examined.
    const size_t fit = (size - kPartialsOffset) / kPartialSize;
    for (size_t k = 0; k < count && k < fit; ++k) {
        const uint8_t* descriptor = data + kPartialsOffset + k * kPartialSize;
        if (descriptor[0] == kResourcePort) {
            portBase = ReadLittleEndian<uint16_t>(descriptor + kPortStartOffset);
            found = true;
        }
    }
    return found;
}

CCSRegistry::CCSRegistry() : CCSRegistry(std::make_unique<SysfsRegistry>()) {}

// The view and the key lists live only for the search; an error from the
// search frees them on the way out.
CCSRegistry::CCSRegistry(std::unique_ptr<RegistryAccessor> registry) {
    Search(*registry);
}

void CCSRegistry::Search(RegistryAccessor& registry) {
    PortBase = 0;
    const std::string base = kPciEnumKey;
    // Whether the open worked is not asked: a missing key lists nothing.
    registry.OpenKey(base);
    const std::vector<std::string> deviceKeys = registry.GetKeyNames();
    registry.CloseKey();

    for (const std::string& device : deviceKeys) {
        if (device.compare(0, kDevicePrefixLength, kDevicePrefix) != 0) continue;
        const std::string devicePath = base + "\\" + device;
        registry.OpenKey(devicePath);
        const std::vector<std::string> instanceKeys = registry.GetKeyNames();
        registry.CloseKey();
        for (const std::string& instance : instanceKeys)
            SearchInstance(registry, devicePath + "\\" + instance, instance);
    }
}

void CCSRegistry::SearchInstance(RegistryAccessor& registry, const std::string& instancePath,
                                 const std::string& instance) {
    if (!registry.OpenKey(instancePath + "\\Control")) return;
    // Only started devices have resources allocated in this boot.
    const bool allocated = registry.ValueExists("AllocConfig");
    registry.CloseKey();
    if (!allocated) return;
    if (!registry.OpenKey(instancePath + "\\LogConf")) return;
    if (registry.ValueExists("BootConfig")) {
        std::vector<uint8_t> buffer(kBootConfigBufferSize);
        const size_t read = registry.ReadBinaryData("BootConfig", buffer.data(), buffer.size());
        // Remember which instance the base came from, for the dialog.
        if (ParseBootConfig(buffer.data(), std::min(read, buffer.size()), PortBase))
            Instance = instance;
    }
    registry.CloseKey();
}

bool Fm801Present(const std::string& devicesRoot) {
    try {
        const uint16_t base =
            CCSRegistry(std::make_unique<SysfsRegistry>(devicesRoot)).GetPortBase();
        return base != 0 && base != 0xFFFF;
    } catch (const std::exception&) {
        // A resource list that can't be read is the dialog's to report.
        return true;
    }
}
