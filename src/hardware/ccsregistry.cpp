#include "hardware/ccsregistry.h"

#include <algorithm>

namespace {
// Enumerated device keys begin with vendor and device; what follows
// (subsystem, revision) may be anything.
constexpr char kDevicePrefix[] = "VEN_1319&DEV_0801";
constexpr size_t kDevicePrefixLength = sizeof kDevicePrefix - 1; // 17

constexpr uint8_t kInterfacePciBus = 5;
constexpr uint8_t kResourcePort = 1;
constexpr size_t kInterfaceTypeOffset = 4;
constexpr size_t kPartialCountOffset = 16;
constexpr size_t kPartialsOffset = 20;
constexpr size_t kPartialSize = 16;
constexpr size_t kPortStartOffset = 4;

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
} // namespace

bool ParseBootConfig(const uint8_t* data, size_t size, uint16_t& portBase) {
    if (size <= kInterfaceTypeOffset || data[kInterfaceTypeOffset] != kInterfacePciBus ||
        size < kPartialsOffset)
        return false;
    bool found = false;
    const uint32_t count = ReadU32(data + kPartialCountOffset);
    // Only descriptors that lie wholly within the bytes read are examined.
    const size_t fit = (size - kPartialsOffset) / kPartialSize;
    for (size_t k = 0; k < count && k < fit; ++k) {
        const uint8_t* descriptor = data + kPartialsOffset + k * kPartialSize;
        if (descriptor[0] == kResourcePort) {
            portBase =
                uint16_t(descriptor[kPortStartOffset] | descriptor[kPortStartOffset + 1] << 8);
            found = true;
        }
    }
    return found;
}

CCSRegistry::CCSRegistry() : CCSRegistry(CreateRegistryAccessor()) {}

CCSRegistry::CCSRegistry(std::unique_ptr<RegistryAccessor> registry)
    : Registry(std::move(registry)) {
    // The accessor and both lists live only for the search; an error from
    // the search frees them on the way out.
    Search();
    InstanceKeys.reset();
    DeviceKeys.reset();
    Registry.reset();
}

void CCSRegistry::Search() {
    PortBase = 0;
    const std::string base = kPciEnumKey;
    DeviceKeys = std::make_unique<std::vector<std::string>>();
    // Whether the open worked is not asked: a missing key lists nothing.
    Registry->OpenKey(base);
    *DeviceKeys = Registry->GetKeyNames();
    Registry->CloseKey();

    InstanceKeys = std::make_unique<std::vector<std::string>>();
    for (const std::string& device : *DeviceKeys) {
        if (device.compare(0, kDevicePrefixLength, kDevicePrefix) != 0) continue;
        const std::string devicePath = base + "\\" + device;
        InstanceKeys->clear();
        Registry->OpenKey(devicePath);
        *InstanceKeys = Registry->GetKeyNames();
        Registry->CloseKey();

        for (const std::string& instance : *InstanceKeys) {
            const std::string instancePath = devicePath + "\\" + instance;
            if (!Registry->OpenKey(instancePath + "\\Control")) continue;
            // Only started devices have resources allocated in this boot.
            const bool allocated = Registry->ValueExists("AllocConfig");
            Registry->CloseKey();
            if (!allocated) continue;
            if (!Registry->OpenKey(instancePath + "\\LogConf")) continue;
            if (Registry->ValueExists("BootConfig")) {
                std::vector<uint8_t> buffer(kBootConfigBufferSize);
                const size_t read =
                    Registry->ReadBinaryData("BootConfig", buffer.data(), buffer.size());
                // Remember which instance the base came from, for the dialog.
                if (ParseBootConfig(buffer.data(), std::min(read, buffer.size()), PortBase))
                    Instance = instance;
            }
            Registry->CloseKey();
        }
    }
}
