#pragma once
// A read-only view of a hierarchical registry of keys and values, the record
// of enumerated PCI devices that the detection walks. Keys are named by their
// full path from the root, with a single backslash between names.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

enum class RegistryDataType { String, ExpandString, Integer, Binary, Unknown };

class RegistryAccessor {
public:
    virtual ~RegistryAccessor() = default;
    // Opens an existing key, never creating it; a key already open is closed
    // first. False when the key does not exist.
    virtual bool OpenKey(const std::string& path) = 0;
    virtual void CloseKey() = 0;
    // Subkey names of the open key in enumeration order; empty when none is open.
    virtual std::vector<std::string> GetKeyNames() = 0;
    virtual bool ValueExists(const std::string& name) = 0;
    // Copies a binary (or untyped) value into buffer and returns its length.
    // Raises "Invalid data type for '<name>'" for any other type or a value
    // longer than the buffer.
    virtual size_t ReadBinaryData(const std::string& name, void* buffer, size_t size) = 0;
};

// Keys and values held in memory, enumerated in the order they were added.
// Records every open so the order of access can be checked.
class MemoryRegistry : public RegistryAccessor {
public:
    struct Value {
        RegistryDataType type = RegistryDataType::Binary;
        std::vector<uint8_t> data;
    };

    // Adds the key and any missing parent keys.
    void AddKey(const std::string& path);
    void SetValue(const std::string& keyPath, const std::string& name, RegistryDataType type,
                  std::vector<uint8_t> data);

    bool OpenKey(const std::string& path) override;
    void CloseKey() override;
    std::vector<std::string> GetKeyNames() override;
    bool ValueExists(const std::string& name) override;
    size_t ReadBinaryData(const std::string& name, void* buffer, size_t size) override;

    // Every OpenKey path in order, and whether any open found another key
    // still open.
    const std::vector<std::string>& OpenedPaths() const { return opened_; }
    bool OpenedWhileOpen() const { return openedWhileOpen_; }

private:
    struct Key {
        std::vector<std::string> subkeys;
        std::map<std::string, Value> values;
    };
    std::map<std::string, Key> keys_;
    Key* open_ = nullptr;
    std::vector<std::string> opened_;
    bool openedWhileOpen_ = false;
};

// The device enumeration key under which the detection looks.
extern const char* const kPciEnumKey; // "SYSTEM\CurrentControlSet\Enum\PCI"

// Resource list layout as stored in "BootConfig": one full descriptor for a
// PCI bus, then one 16-byte partial descriptor per range.
struct ResourceRange {
    enum Type : uint8_t { Port = 1, Interrupt = 2, Memory = 3 };
    uint8_t type = Port;
    uint64_t start = 0;
    uint32_t length = 0;
};
std::vector<uint8_t> BuildResourceList(const std::vector<ResourceRange>& ranges,
                                       uint32_t busNumber = 0, uint32_t interfaceType = 5);

// The PCI devices of a sysfs tree (normally /sys/bus/pci/devices), read once
// at construction. Each device appears as
//   <enum>\VEN_vvvv&DEV_dddd&SUBSYS_ssssvvvv&REV_rr\<PCI address>
// with Control\AllocConfig present when the device is enabled and
// LogConf\BootConfig holding its I/O, memory and interrupt resources.
class SysfsRegistry : public MemoryRegistry {
public:
    explicit SysfsRegistry(const std::string& devicesRoot = kDefaultRoot);
    static constexpr const char* kDefaultRoot = "/sys/bus/pci/devices";
};

// The emulated card as the only device: one started FM801 with one I/O range.
class EmulatedCardRegistry : public MemoryRegistry {
public:
    explicit EmulatedCardRegistry(uint16_t portBase = 0xE800);
    static constexpr const char* kInstanceName = "emulated";
};
