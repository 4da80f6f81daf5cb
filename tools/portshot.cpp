// Saves a picture of the detection dialog, to look at its layout:
//   vi801_portshot OUT.png [found|notfound|emulated|silent|alsa|refused|live]
// "live" runs the real choice of card (--card=auto) on this machine.
#include "app/cardsession.h"
#include "hardware/ccsregistry.h"
#include "ui/portform.h"
#include "ui/toolkit.h"

#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s OUT.png [found|notfound|emulated|silent|alsa|refused|live]\n",
                     argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const std::string mode = argc > 2 ? argv[2] : "found";
    Application app(argc, argv);

    CardInUse card;
    std::optional<CardSession> session;
    uint16_t base = 0xE800;
    if (mode == "found") {
        base = 0xD000;
    } else if (mode == "notfound") {
        base = 0;
        card.chosenByOption = true;
    } else if (mode == "emulated" || mode == "silent") {
        card.kind = CardKind::Emulated;
        card.output.open = mode == "emulated";
        card.output.api = "PulseAudio";
        card.output.device = "Built-in Audio Analog Stereo";
        card.output.rate = 48000;
        card.output.period = 128;
        card.output.latencyMs = 5.3;
        card.output.error = "JACK: no server running; PulseAudio: no server; ALSA: no sound card";
    } else if (mode == "alsa") {
        base = 0xD000;
        card.kind = CardKind::Alsa;
        card.alsa = {"hw:0,0 (ForteMedia FM801)", {"hw:1,0 (C-Media CMI8738)"}, "FM", true};
    } else if (mode == "refused") {
        card.kind = CardKind::Emulated;
        card.output.open = true;
        card.output.api = "PulseAudio";
        card.output.device = "Built-in Audio Analog Stereo";
        card.output.rate = 48000;
        card.output.period = 128;
        card.output.latencyMs = 5.3;
        card.alsaRefused =
            "can't open the OPL3 device hw:0,0 (ForteMedia FM801): Permission denied";
    } else if (mode == "live") {
        session.emplace(CommandLine{});
        card = session->Card();
    } else {
        std::fprintf(stderr, "unknown mode '%s'\n", mode.c_str());
        return 2;
    }
    std::unique_ptr<RegistryAccessor> view;
    if (session) {
        view = session->DeviceView();
    } else if (card.kind == CardKind::Emulated) {
        view = std::make_unique<EmulatedCardRegistry>();
    } else {
        auto registry = std::make_unique<MemoryRegistry>();
        registry->AddKey(kPciEnumKey);
        if (base) {
            const std::string path = std::string(kPciEnumKey) +
                                     "\\VEN_1319&DEV_0801&SUBSYS_13191319&REV_B2\\0000:05:00.0";
            registry->SetValue(path + "\\Control", "AllocConfig", RegistryDataType::Binary, {});
            registry->SetValue(path + "\\LogConf", "BootConfig", RegistryDataType::Binary,
                               BuildResourceList({{ResourceRange::Port, base, 0x80}}));
        }
        view = std::move(registry);
    }

    TFormPort form(nullptr, card, std::move(view));
    bool saved = false;
    QTimer::singleShot(300, [&] {
        saved = form.grab().save(QString::fromStdString(out));
        form.ButtonCancelClick();
    });
    form.Execute();
    std::printf("%s: %s\n", out.c_str(), saved ? "saved" : "NOT saved");
    return saved ? 0 : 1;
}
