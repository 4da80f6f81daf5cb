#include "hardware/alsa/alsasystem.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

std::string Opl3Device::Name() const {
    return "hw:" + std::to_string(card) + "," + std::to_string(device);
}

std::string Opl3Device::Description() const {
    return cardName.empty() ? Name() : Name() + " (" + cardName + ")";
}

std::string Opl3OpenRefusal(const Opl3Device& device, int error) {
    std::string text =
        "can't open the OPL3 device " + device.Description() + ": " + std::strerror(error);
    if (error == EACCES || error == EPERM)
        text += "; users of the group 'audio' may open it (sudo adduser $USER audio, "
                "then log in again)";
    else if (error == EBUSY || error == EAGAIN)
        text += "; another program holds it (a synthesizer, or the sequencer's OPL3 port)";
    return text;
}

namespace {
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

// ALSA's own messages stay off the terminal while cards are looked at: what
// matters is told in the program's words.
struct QuietAlsaMessages {
    QuietAlsaMessages() { snd_lib_error_set_handler(&QuietAlsa); }
    ~QuietAlsaMessages() { snd_lib_error_set_handler(nullptr); }
};

template <typename T, void (*Free)(T*)> struct Owned {
    T* p = nullptr;
    ~Owned() {
        if (p) Free(p);
    }
};

bool IsFm(snd_hwdep_iface_t iface) {
    return iface == SND_HWDEP_IFACE_OPL3 || iface == SND_HWDEP_IFACE_OPL4;
}

void AddCardDevices(int card, std::vector<Opl3Device>& found) {
    snd_ctl_t* ctl = nullptr;
    if (snd_ctl_open(&ctl, ("hw:" + std::to_string(card)).c_str(), 0) < 0) return;
    Owned<snd_ctl_card_info_t, snd_ctl_card_info_free> cardInfo;
    Owned<snd_hwdep_info_t, snd_hwdep_info_free> info;
    if (snd_ctl_card_info_malloc(&cardInfo.p) == 0 && snd_hwdep_info_malloc(&info.p) == 0 &&
        snd_ctl_card_info(ctl, cardInfo.p) == 0) {
        int device = -1;
        while (snd_ctl_hwdep_next_device(ctl, &device) == 0 && device >= 0) {
            snd_hwdep_info_set_device(info.p, static_cast<unsigned>(device));
            if (snd_ctl_hwdep_info(ctl, info.p) != 0 || !IsFm(snd_hwdep_info_get_iface(info.p)))
                continue;
            found.push_back({card, device, snd_ctl_card_info_get_name(cardInfo.p),
                             snd_ctl_card_info_get_driver(cardInfo.p),
                             snd_hwdep_info_get_name(info.p)});
        }
    }
    snd_ctl_close(ctl);
}

class HwdepFm final : public FmDevice {
public:
    explicit HwdepFm(snd_hwdep_t* handle) : handle_(handle) {}
    // The driver silences the chip when its device is closed.
    ~HwdepFm() override { snd_hwdep_close(handle_); }
    int Ioctl(unsigned int request, void* argument) override {
        return snd_hwdep_ioctl(handle_, request, argument);
    }

private:
    snd_hwdep_t* handle_;
};

class MixerVolume final : public VolumeControl {
public:
    MixerVolume(snd_mixer_t* mixer, snd_mixer_elem_t* element, std::string name)
        : mixer_(mixer), element_(element), name_(std::move(name)) {
        snd_mixer_selem_get_playback_volume_range(element_, &min_, &max_);
        mono_ = snd_mixer_selem_is_playback_mono(element_) != 0;
        switch_ = snd_mixer_selem_has_playback_switch(element_) != 0;
    }
    ~MixerVolume() override { snd_mixer_close(mixer_); }

    std::string Name() const override { return name_; }
    long Min() const override { return min_; }
    long Max() const override { return max_; }
    bool HasSwitch() const override { return switch_; }

    Setting Get() override {
        snd_mixer_handle_events(mixer_); // what another program set since
        Setting s;
        snd_mixer_selem_get_playback_volume(element_, SND_MIXER_SCHN_FRONT_LEFT, &s.left);
        s.right = s.left;
        if (!mono_)
            snd_mixer_selem_get_playback_volume(element_, SND_MIXER_SCHN_FRONT_RIGHT, &s.right);
        int on = 1;
        if (switch_) snd_mixer_selem_get_playback_switch(element_, SND_MIXER_SCHN_FRONT_LEFT, &on);
        s.on = on != 0;
        return s;
    }

    void Set(const Setting& s) override {
        if (mono_) {
            snd_mixer_selem_set_playback_volume_all(element_, (s.left + s.right) / 2);
        } else {
            snd_mixer_selem_set_playback_volume(element_, SND_MIXER_SCHN_FRONT_LEFT, s.left);
            snd_mixer_selem_set_playback_volume(element_, SND_MIXER_SCHN_FRONT_RIGHT, s.right);
        }
        if (switch_) snd_mixer_selem_set_playback_switch_all(element_, s.on ? 1 : 0);
    }

private:
    snd_mixer_t* mixer_;
    snd_mixer_elem_t* element_;
    std::string name_;
    long min_ = 0, max_ = 0;
    bool mono_ = false, switch_ = false;
};

snd_mixer_elem_t* FindVolume(snd_mixer_t* mixer, const char* name) {
    Owned<snd_mixer_selem_id_t, snd_mixer_selem_id_free> id;
    if (snd_mixer_selem_id_malloc(&id.p) != 0) return nullptr;
    snd_mixer_selem_id_set_name(id.p, name);
    snd_mixer_elem_t* element = snd_mixer_find_selem(mixer, id.p);
    return element && snd_mixer_selem_has_playback_volume(element) ? element : nullptr;
}

class RealAlsa final : public AlsaSystem {
public:
    std::vector<Opl3Device> FindOpl3Devices() override {
        const QuietAlsaMessages quiet;
        std::vector<Opl3Device> found;
        int card = -1;
        while (snd_card_next(&card) == 0 && card >= 0)
            AddCardDevices(card, found);
        std::stable_partition(found.begin(), found.end(),
                              [](const Opl3Device& d) { return d.driver == "FM801"; });
        return found;
    }

    int OpenFm(const Opl3Device& device, std::unique_ptr<FmDevice>& opened) override {
        const QuietAlsaMessages quiet;
        // Without NONBLOCK a device held by another opener makes the open wait.
        snd_hwdep_t* handle = nullptr;
        if (const int error = snd_hwdep_open(&handle, device.Name().c_str(),
                                             SND_HWDEP_OPEN_WRITE | SND_HWDEP_OPEN_NONBLOCK);
            error < 0)
            return error;
        opened = std::make_unique<HwdepFm>(handle);
        return 0;
    }

    std::unique_ptr<VolumeControl> OpenVolume(const Opl3Device& device) override {
        const QuietAlsaMessages quiet;
        snd_mixer_t* mixer = nullptr;
        if (snd_mixer_open(&mixer, 0) < 0) return nullptr;
        const std::string card = "hw:" + std::to_string(device.card);
        if (snd_mixer_attach(mixer, card.c_str()) == 0 &&
            snd_mixer_selem_register(mixer, nullptr, nullptr) == 0 && snd_mixer_load(mixer) == 0)
            for (const char* name : {"FM", "Synth"})
                if (snd_mixer_elem_t* element = FindVolume(mixer, name))
                    return std::make_unique<MixerVolume>(mixer, element, name);
        snd_mixer_close(mixer);
        return nullptr;
    }
};
} // namespace

AlsaSystem& AlsaSystem::Real() {
    static RealAlsa alsa;
    return alsa;
}
