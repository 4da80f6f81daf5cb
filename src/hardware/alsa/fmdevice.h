#pragma once
// The two doors of a card that its kernel driver owns: the driver's direct
// FM device, which takes requests of <sound/asound_fm.h> and no register
// writes, and the card's mixer control of the synthesizer's volume. The ALSA
// card path reaches the card only through them, so a test can stand in for both.
#include <string>

class FmDevice {
public:
    virtual ~FmDevice() = default;
    // One request (SNDRV_DM_FM_IOCTL_*). The argument points to the request's
    // structure, or is the integer itself for SET_MODE and SET_CONNECTION, as
    // the driver reads them. 0, or a negative errno.
    virtual int Ioctl(unsigned int request, void* argument) = 0;
};

// A mixer element with a playback volume (stereo or mono) and perhaps a
// playback switch (on = heard). Values are the element's own, Min() to Max().
class VolumeControl {
public:
    struct Setting {
        long left = 0, right = 0;
        bool on = true;
        bool operator==(const Setting&) const = default;
    };

    virtual ~VolumeControl() = default;
    virtual std::string Name() const = 0; // "FM"
    virtual long Min() const = 0;
    virtual long Max() const = 0;
    virtual bool HasSwitch() const = 0;
    // Read afresh: another program may have moved it.
    virtual Setting Get() = 0;
    virtual void Set(const Setting& setting) = 0;
};
