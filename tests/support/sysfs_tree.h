#pragma once
// A temporary /sys/bus/pci/devices for tests.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

class SysfsTree {
public:
    SysfsTree() {
        root_ = std::filesystem::temp_directory_path() /
                ("vi801-sysfs-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::create_directories(root_);
    }
    ~SysfsTree() { std::filesystem::remove_all(root_); }
    std::string Root() const { return root_.string(); }

    struct Range {
        uint64_t start, end, flags;
    };
    void AddDevice(const std::string& address, uint16_t vendor, uint16_t device, bool enabled,
                   const std::vector<Range>& ranges, unsigned irq = 0) {
        const auto dir = root_ / address;
        std::filesystem::create_directories(dir);
        Write(dir / "vendor", Hex(vendor, 4));
        Write(dir / "device", Hex(device, 4));
        Write(dir / "subsystem_vendor", Hex(vendor, 4));
        Write(dir / "subsystem_device", Hex(0x1319, 4));
        Write(dir / "revision", Hex(0xB2, 2));
        Write(dir / "enable", enabled ? "1\n" : "0\n");
        Write(dir / "irq", std::to_string(irq) + "\n");
        std::string resource;
        for (const Range& r : ranges)
            resource += Hex(r.start, 16) + " " + Hex(r.end, 16) + " " + Hex(r.flags, 16) + "\n";
        // Unused BARs read as zeros.
        resource += Hex(0, 16) + " " + Hex(0, 16) + " " + Hex(0, 16) + "\n";
        Write(dir / "resource", resource);
    }

private:
    static std::string Hex(uint64_t v, int digits) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(v));
        return std::string(text) + (digits == 16 ? "" : "\n");
    }
    static void Write(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path) << text;
    }
    std::filesystem::path root_;
    static inline int counter_ = 0;
};

// Kernel resource flags of an I/O and a memory range.
constexpr uint64_t kIo = 0x40101;
constexpr uint64_t kMem = 0x40200;
