#include "accessibletree.h"
#include "error.h"
#include "hardware/ccsregistry.h"
#include "ui/portform.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
// A device view with one started FM801 whose only port range starts at
// `base` (none when base is 0).
std::unique_ptr<RegistryAccessor> Detected(uint64_t base,
                                           RegistryDataType type = RegistryDataType::Binary) {
    auto registry = std::make_unique<MemoryRegistry>();
    registry->AddKey(kPciEnumKey);
    if (base != 0) {
        const std::string path =
            std::string(kPciEnumKey) + "\\VEN_1319&DEV_0801&SUBSYS_13191319&REV_B2\\0000:05:00.0";
        registry->SetValue(path + "\\Control", "AllocConfig", RegistryDataType::Binary, {});
        registry->SetValue(path + "\\LogConf", "BootConfig", type,
                           BuildResourceList({{ResourceRange::Port, base, 0x80}}));
    }
    return registry;
}

CardInUse Card(CardKind kind, bool chosenByOption = false, AudioOutputInfo output = {}) {
    CardInUse card;
    card.kind = kind;
    card.chosenByOption = chosenByOption;
    card.output = std::move(output);
    return card;
}

CardInUse Hardware() {
    return Card(CardKind::Hardware);
}

TEST(PortForm, AddressText) {
    const std::pair<uint16_t, const char*> cases[] = {
        {0xE800, "VI 801 Device found at 0xE800"}, {0x0400, "VI 801 Device found at 0x0400"},
        {0x00AB, "VI 801 Device found at 0x00AB"}, {0x0001, "VI 801 Device found at 0x0001"},
        {0x0000, "VI 801 Device not found"},       {0xFFFF, "VI 801 Device not found"},
    };
    for (const auto& [base, text] : cases)
        EXPECT_EQ(AddressText(base), text) << base;
}

TEST(PortForm, LayoutAndCaptions) {
    TFormPort form(nullptr, Hardware(), Detected(0xE800));
    EXPECT_EQ(form.windowTitle(), "Device detection - VI 801");
    EXPECT_EQ(form.size(), QSize(369, 189));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinMaxButtonsHint);
    EXPECT_EQ(form.font().pixelSize(), 11);

    EXPECT_EQ(form.GroupBox1->title(), "VI 801 Midi Synthesizer");
    EXPECT_EQ(form.GroupBox1->geometry(), QRect(4, 8, 361, 177));
    EXPECT_EQ(form.ButtonOk->text(), "OK");
    EXPECT_EQ(form.ButtonOk->geometry(), QRect(176, 136, 75, 25));
    EXPECT_EQ(form.ButtonCancel->text(), "Cancel");
    EXPECT_EQ(form.ButtonCancel->geometry(), QRect(272, 136, 75, 25));
    EXPECT_EQ(form.ButtonOk->parentWidget(), form.GroupBox1);
    EXPECT_EQ(form.ButtonOk->nextInFocusChain(), form.ButtonCancel);
    EXPECT_FALSE(form.ButtonOk->isDefault());
    EXPECT_FALSE(form.ButtonCancel->isDefault());
    EXPECT_EQ(form.Label1->pos(), QPoint(16, 32));
    EXPECT_EQ(form.Label2->pos(), QPoint(16, 48));
    EXPECT_EQ(form.Label3->pos(), QPoint(16, 80));
    EXPECT_EQ(form.LabelAddress->pos(), QPoint(16, 112));
    EXPECT_EQ(form.LabelAddress->text(), "VI 801 Device found at 0xE800");
    // One line, as wide as its text.
    EXPECT_EQ(form.LabelAddress->size(), form.LabelAddress->sizeHint());
    // A screen reader reads the buttons by their captions and says what each does.
    const std::vector<AccessibleControl> controls = OperableControls(&form);
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[0].name, "OK");
    EXPECT_EQ(controls[1].name, "Cancel");
    EXPECT_FALSE(controls[0].description.isEmpty() || controls[1].description.isEmpty());
}

struct RunCase {
    const char* what;
    uint64_t detected;
    std::function<void(TFormPort&)> act;
    uint16_t returned;
    bool okEnabled;
};
void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.what;
}

class PortFormRun : public testing::TestWithParam<RunCase> {};

TEST_P(PortFormRun, ReturnsTheBaseAsTheButtonsSay) {
    const RunCase& c = GetParam();
    TFormPort form(nullptr, Hardware(), Detected(c.detected));
    EXPECT_EQ(form.ButtonOk->isEnabled(), c.okEnabled);
    bool acted = false;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(form.isVisible());
        EXPECT_TRUE(form.isModal());
        c.act(form);
        acted = true;
        // Whatever the action, end the run so a failing case can't hang.
        if (form.isVisible()) form.done(QDialog::Rejected);
    });
    EXPECT_EQ(form.Execute(), c.returned) << c.what;
    EXPECT_TRUE(acted);
}

void Click(QPushButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortFormRun,
    testing::Values(
        RunCase{"found, OK", 0xE800, [](TFormPort& f) { Click(f.ButtonOk); }, 0xE800, true},
        RunCase{"found, Cancel", 0xE800, [](TFormPort& f) { Click(f.ButtonCancel); }, 0, true},
        RunCase{"not found, Cancel", 0, [](TFormPort& f) { Click(f.ButtonCancel); }, 0, false},
        RunCase{"not found, OK is dead", 0,
                [](TFormPort& f) {
                    Click(f.ButtonOk);
                    EXPECT_TRUE(f.isVisible());
                    Click(f.ButtonCancel);
                },
                0, false},
        RunCase{"0xFFFF is not found", 0xFFFF, [](TFormPort& f) { f.close(); }, 0, false},
        // The window's close box (or Alt+F4) and Escape cancel.
        RunCase{"found, closed otherwise", 0x0400, [](TFormPort& f) { f.close(); }, 0, true},
        RunCase{"found, Escape", 0xE800,
                [](TFormPort& f) {
                    QTest::keyClick(&f, Qt::Key_Escape);
                    EXPECT_FALSE(f.isVisible());
                },
                0, true},
        RunCase{"Enter clicks the focused button", 0xE800,
                [](TFormPort& f) {
                    f.ButtonCancel->setFocus();
                    QTest::keyClick(f.ButtonCancel, Qt::Key_Return);
                },
                0, true}));

TEST(PortForm, DetectionErrorLeavesTheConstructor) {
    try {
        TFormPort form(nullptr, Hardware(), Detected(0xE800, RegistryDataType::String));
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'BootConfig'");
    }
}

struct TextCase {
    const char* what;
    CardInUse card;
    uint64_t detected;
    std::vector<QString> fragments; // each must appear in one of the three lines
};
void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.what;
}

class PortFormTexts : public testing::TestWithParam<TextCase> {};

TEST_P(PortFormTexts, SayWhichCardAndWhichOutput) {
    const TextCase& c = GetParam();
    TFormPort form(nullptr, c.card, Detected(c.detected));
    const QLabel* labels[] = {form.Label1, form.Label2, form.Label3};
    QString all;
    for (const QLabel* label : labels) {
        EXPECT_FALSE(label->text().isEmpty()) << c.what;
        // The text fits the label's box at its width.
        EXPECT_LE(label->heightForWidth(label->width()), label->height())
            << c.what << ": " << label->text().toStdString();
        all += label->text() + "\n";
    }
    // The lines never overlap, and a blank line stays above the address.
    for (int i = 0; i < 2; ++i)
        EXPECT_LE(labels[i]->y() + labels[i]->heightForWidth(labels[i]->width()),
                  labels[i + 1]->y())
            << c.what;
    const int bottom = form.Label3->y() + form.Label3->heightForWidth(form.Label3->width());
    EXPECT_GE(form.LabelAddress->y() - bottom, QFontMetrics(form.Label3->font()).lineSpacing())
        << c.what;
    for (const QString& fragment : c.fragments)
        EXPECT_TRUE(all.contains(fragment))
            << c.what << ": no '" << fragment.toStdString() << "' in\n"
            << all.toStdString();
    // The address line says whether and where the card was found; no other
    // line says it again.
    for (const char* said : {"0x", "not found", "was found", "found at"})
        EXPECT_FALSE(all.contains(said)) << c.what << ": '" << said << "' in\n"
                                         << all.toStdString();
}

AudioOutputInfo Open() {
    AudioOutputInfo output;
    output.open = true;
    output.api = "PulseAudio";
    output.device = "Built-in Audio Analog Stereo";
    output.rate = 48000;
    output.period = 256;
    output.latencyMs = 10.6667;
    return output;
}

AudioOutputInfo Closed(const char* reason = "no audio device") {
    AudioOutputInfo output;
    output.error = reason;
    return output;
}

CardInUse Alsa(std::string device, std::vector<std::string> others = {}, std::string control = "FM",
               bool hasSwitch = true) {
    CardInUse card = Card(CardKind::Alsa);
    card.alsa = {std::move(device), std::move(others), std::move(control), hasSwitch};
    return card;
}

CardInUse RefusedThenEmulated() {
    CardInUse card = Card(CardKind::Emulated, false, Open());
    card.alsaRefused = "can't open the OPL3 device hw:0,0 (ForteMedia FM801): Permission denied";
    return card;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortFormTexts,
    testing::Values(
        TextCase{"real card", Hardware(), 0xE800, {"0000:05:00.0", "FM801"}},
        TextCase{"real card asked for, none there",
                 Card(CardKind::Hardware, true),
                 0,
                 {"real card was asked for", "PCI bus", "--card=auto"}},
        TextCase{"emulated, none found",
                 Card(CardKind::Emulated, false, Open()),
                 0xE800,
                 {"No FM801", "emulates", "PulseAudio", "Built-in Audio Analog Stereo", "48000 Hz",
                  "256 frames", "10.7 ms"}},
        TextCase{"emulated, asked for",
                 Card(CardKind::Emulated, true, Open()),
                 0xE800,
                 {"emulates an FM801", "As asked"}},
        TextCase{"emulated, silent",
                 Card(CardKind::Emulated, false, Closed()),
                 0xE800,
                 {"No sound output could be opened", "no audio device", "silently"}},
        TextCase{"emulated, silent for a reason over two lines",
                 Card(CardKind::Emulated, false,
                      Closed("JACK: no server running; PulseAudio: no server running; "
                             "ALSA: no device")),
                 0xE800,
                 {"ALSA: no device", "emulates one."}},
        TextCase{"through ALSA",
                 Alsa("hw:0,0 (ForteMedia FM801)"),
                 0xD000,
                 {"ALSA", "hw:0,0 (ForteMedia FM801)", "No root", "mixer control \"FM\"", "mute"}},
        TextCase{"through ALSA, more devices found",
                 Alsa("hw:0,0 (ForteMedia FM801)",
                      {"hw:1,0 (C-Media CMI8738)", "hw:2,0 (Sound Blaster 16)"}),
                 0xE800,
                 {"Also found: hw:1,0 (C-Media CMI8738), hw:2,0 (Sound Blaster 16)"}},
        TextCase{"through ALSA, a control without a switch",
                 Alsa("hw:0,0 (ForteMedia FM801)", {}, "Synth", false),
                 0xE800,
                 {"\"Synth\"", "no mute"}},
        TextCase{"through ALSA, no mixer control",
                 Alsa("hw:0,0 (ForteMedia FM801)", {}, ""),
                 0xE800,
                 {"no FM control"}},
        TextCase{"ALSA asked for, none there", Alsa(""), 0, {"no OPL3 device", "--card=auto"}},
        TextCase{"ALSA's device refused, emulated instead",
                 RefusedThenEmulated(),
                 0xE800,
                 {"refused", "emulates"}}));
} // namespace
