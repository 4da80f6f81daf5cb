#pragma once
// MIDI input: the input ports of the ALSA sequencer and, while a JACK
// server runs, of JACK, plus a virtual input that other programs connect
// to. Opening posts MM_MIM_OPEN to Owner; once Start has run every short
// message of the open input reaches Owner as MM_MIM_DATA, on Owner's thread,
// one at a time in arrival order. Create and use it on Owner's thread.
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QObject;
class MidiReceiver;

class Midi {
public:
    // The name of the sequencer client, of the JACK client and of the
    // virtual input port.
    static constexpr const char* kClientName = "VI 801";
    static constexpr const char* kNoInputText = "No midi input";
    static constexpr const char* kVirtualInputText = "VI 801 virtual input";
    // How long a MIDI system may take to list its inputs or open one; one
    // that does not answer in time is passed over.
    static constexpr std::chrono::milliseconds kAnswerWait{1000};

    // Lists the inputs; opens nothing. Without any MIDI system there are
    // none.
    explicit Midi(QObject* owner);
    ~Midi(); // closes the open input: no message is posted afterwards
    Midi(const Midi&) = delete;
    Midi& operator=(const Midi&) = delete;

    // "No midi input", the inputs, and last the virtual input when a MIDI
    // system is there. Returns the number of entries (at least 1).
    int GetDeviceList(QStringList& list) const;
    // Lists the inputs again, as the constructor does: inputs that appeared
    // since (a keyboard plugged in, a program started, a JACK server) are
    // offered, those that went are not. The open input stays open.
    void ListDevices();
    // Closes the open input, then opens entry index of the list (0 opens
    // nothing). Returns IsOpen.
    bool OpenDevice(int index);
    // Lets the open input deliver its messages. Returns IsOpen.
    bool Start();

    // From now on every short message goes to `receiver` on the thread that
    // receives it, instead of waiting for Owner's thread (null: to Owner again).
    void SetReceiver(MidiReceiver* receiver);

    QObject* const Owner;
    int32_t DeviceCount = 0; // entries after "No midi input"
    uint32_t Handle = 0;     // wParam of the open input's messages; never KeyboardSource
    bool IsOpen = false;
    // The MIDI systems that did not answer in time at start ("JACK"): their
    // inputs are not listed.
    std::vector<std::string> Unanswered;

    enum class System { Alsa, Jack };
    class Inbox;

private:
    struct Device {
        System system;
        std::string port;  // the system's own name for it
        bool virtualInput; // our own port, on every system there is
    };
    struct Input;

    void Close();
    bool OpenInput(const Device& device);

    std::vector<Device> devices_;
    std::vector<System> systems_; // the MIDI systems that answered at start
    uint32_t lastHandle_ = 0;
    std::unique_ptr<Inbox> inbox_; // outlives input_, which fills it
    std::unique_ptr<Input> input_;
    std::atomic<MidiReceiver*> receiver_{nullptr};
};
