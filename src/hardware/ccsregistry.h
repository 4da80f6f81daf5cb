#pragma once
// Finds the FM801's I/O port base among the PCI devices recorded in the
// registry, without touching the hardware. The whole search runs in the
// constructor.
#include "hardware/registry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CCSRegistry {
public:
    // Searches the sysfs view of the PCI devices.
    CCSRegistry();
    // Searches the given view; it is released when the search ends.
    explicit CCSRegistry(std::unique_ptr<RegistryAccessor> registry);

    // 0 when no FM801 was found.
    uint16_t GetPortBase() const { return PortBase; }
    // The instance key that gave the base (on Linux the PCI address); empty
    // when none did.
    const std::string& GetInstance() const { return Instance; }

private:
    void Search(RegistryAccessor& registry);
    void SearchInstance(RegistryAccessor& registry, const std::string& instancePath,
                        const std::string& instance);

    uint16_t PortBase = 0;
    std::string Instance;
};

constexpr size_t kBootConfigBufferSize = 1024;

// Walks the first full descriptor of a resource list of `size` bytes and sets
// `portBase` to the low 16 bits of the start of its last I/O port range.
// False, and `portBase` unchanged, when it holds none. Reads nothing beyond
// `size`.
bool ParseBootConfig(const uint8_t* data, size_t size, uint16_t& portBase);

// A started FM801 in the sysfs tree at devicesRoot, found by the same search
// the detection dialog runs.
bool Fm801Present(const std::string& devicesRoot);
