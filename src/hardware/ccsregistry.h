#pragma once
// Finds the FM801's I/O port base among the PCI devices recorded in the
// registry, without touching the hardware. The whole search runs in the
// constructor.
#include "hardware/registry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CCSRegistry {
public:
    // Searches the accessor of CreateRegistryAccessor().
    CCSRegistry();
    explicit CCSRegistry(std::unique_ptr<RegistryAccessor> registry);

    // 0 when no FM801 was found.
    uint16_t GetPortBase() const { return PortBase; }
    // The instance key that gave the base (on Linux the PCI address); empty
    // when none did.
    const std::string& GetInstance() const { return Instance; }

private:
    void Search();

    std::unique_ptr<RegistryAccessor> Registry;
    std::unique_ptr<std::vector<std::string>> DeviceKeys;
    std::unique_ptr<std::vector<std::string>> InstanceKeys;
    uint16_t PortBase = 0;
    std::string Instance;
};

constexpr size_t kBootConfigBufferSize = 1024;

// Walks the first full descriptor of a resource list of `size` bytes and sets
// `portBase` to the low 16 bits of the start of its last I/O port range.
// False, and `portBase` unchanged, when it holds none. Reads nothing beyond
// `size`.
bool ParseBootConfig(const uint8_t* data, size_t size, uint16_t& portBase);
