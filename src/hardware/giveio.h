#pragma once
// The only door to the card's I/O ports. Everything above uses these four
// free functions; which backend answers them is chosen once at start.
#include "error.h"

#include <cstdint>
#include <memory>

// Raises "Couldn't access giveio device" when the backend refuses port access.
void EnablePortAccess();
void OutByte(uint16_t port, uint8_t value);
void OutWord(uint16_t port, uint16_t value);
uint16_t InWord(uint16_t port);

// A backend answers the primitives. Implementations: real x86 ports, the
// emulated card, the port log, and the tests' recorder.
class PortBackend {
public:
    virtual ~PortBackend() = default;
    virtual void EnableAccess() = 0;
    virtual void OutByte(uint16_t port, uint8_t value) = 0;
    virtual void OutWord(uint16_t port, uint16_t value) = 0;
    virtual uint16_t InWord(uint16_t port) = 0;
};

// Installs the backend used from now on and returns the previous one.
// The backend must outlive its installation. nullptr restores the default
// (hardware) backend.
PortBackend* InstallPortBackend(PortBackend* backend);
// The calling thread's own backend, which wins over the process-wide one
// on this thread only (an audio thread playing its own card, one plugin
// instance of several). nullptr leaves the thread to the process-wide one.
// Returns the thread's previous one.
PortBackend* InstallThreadPortBackend(PortBackend* backend);
PortBackend& CurrentPortBackend();

extern const char* const kPortAccessError; // "Couldn't access giveio device"

// The refusal of port access: its message is always kPortAccessError; the
// system's reason (an errno value) tells the terminal why.
class PortAccessError : public Error {
public:
    explicit PortAccessError(int reason) : Error(kPortAccessError), reason_(reason) {}
    int Reason() const { return reason_; }

private:
    int reason_;
};

// Real port I/O: iopl(3), then outb/outw/inw. On processors without port
// I/O it exists and always refuses access.
class HardwarePorts : public PortBackend {
public:
    void EnableAccess() override;
    void OutByte(uint16_t port, uint8_t value) override;
    void OutWord(uint16_t port, uint16_t value) override;
    uint16_t InWord(uint16_t port) override;
    static HardwarePorts& Instance();
};

// Installs a backend for the lifetime of a scope (tests, tools).
class ScopedPortBackend {
public:
    explicit ScopedPortBackend(PortBackend& backend) : previous_(InstallPortBackend(&backend)) {}
    ~ScopedPortBackend() { InstallPortBackend(previous_); }
    ScopedPortBackend(const ScopedPortBackend&) = delete;
    ScopedPortBackend& operator=(const ScopedPortBackend&) = delete;

private:
    PortBackend* previous_;
};

// The same for the calling thread alone.
class ScopedThreadPortBackend {
public:
    explicit ScopedThreadPortBackend(PortBackend& backend)
        : previous_(InstallThreadPortBackend(&backend)) {}
    ~ScopedThreadPortBackend() { InstallThreadPortBackend(previous_); }
    ScopedThreadPortBackend(const ScopedThreadPortBackend&) = delete;
    ScopedThreadPortBackend& operator=(const ScopedThreadPortBackend&) = delete;

private:
    PortBackend* previous_;
};
