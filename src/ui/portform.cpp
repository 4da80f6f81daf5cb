#include "ui/portform.h"

#include "hardware/ccsregistry.h"
#include "ui/accessible.h"
#include "ui/accessiblenames.h"
#include "ui/toolkit.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr int kLabelWidth = 337;
constexpr int kLineHeight = 16; // the pitch of the dialog's lines

bool Found(uint16_t portBase) {
    return portBase != 0 && portBase != 0xFFFF;
}

// Device names and reasons can be long: a name gets one line, a reason the
// label's two.
QString Elided(const std::string& text, int width) {
    return QFontMetrics(StandardFont())
        .elidedText(QString::fromStdString(text), Qt::ElideRight, width);
}

QString ElidedToTwoLines(const std::string& text, int width) {
    const QFontMetrics metrics(StandardFont());
    const QString full = QString::fromStdString(text);
    const QRect two(0, 0, width, 2 * metrics.lineSpacing());
    if (metrics.boundingRect(two, Qt::TextWordWrap, full).height() <= two.height()) return full;
    // Word wrapping loses up to a word per line: leave room for it.
    return metrics.elidedText(full, Qt::ElideRight, 2 * width - 8 * metrics.averageCharWidth());
}

// "0xE800": four upper-case digits.
QString HexAddress(uint16_t portBase) {
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(portBase, 4, 16, QLatin1Char('0')).toUpper();
}

QString OutputLine(const AudioOutputInfo& output) {
    if (!output.open)
        return QStringLiteral("No sound output could be opened, so it plays silently.");
    return QStringLiteral("It plays through %1, device \"%2\".")
        .arg(QString::fromStdString(output.api), Elided(output.device, 280));
}

QString FormatLine(const AudioOutputInfo& output) {
    if (!output.open)
        return output.error.empty() ? QStringLiteral("The reason is not known.")
                                    : ElidedToTwoLines(output.error, kLabelWidth);
    return QStringLiteral("%1 Hz, period %2 frames, latency %3 ms.")
        .arg(output.rate)
        .arg(output.period)
        .arg(output.latencyMs, 0, 'f', 1);
}
std::array<QString, 3> AlsaCardTexts(const CardInUse& card, uint16_t portBase) {
    const AlsaCardInfo& alsa = card.alsa;
    // The address line below says that nothing was found.
    if (!Found(portBase) || alsa.device.empty()) {
        return {QStringLiteral("The card through ALSA was asked for; it has no OPL3 device."),
                QStringLiteral("No emulated card stands in for it."),
                QStringLiteral("Start with --card=auto to play the emulated card.")};
    }
    const QString device = Elided("Its OPL3 plays through ALSA: " + alsa.device + ".", kLabelWidth);
    QString also = QStringLiteral("No root is needed: the card's own driver takes the notes.");
    if (!alsa.others.empty()) {
        std::string list;
        for (const std::string& other : alsa.others)
            list += (list.empty() ? "" : ", ") + other;
        also = ElidedToTwoLines("Also found: " + list + ".", kLabelWidth);
    }
    QString volume;
    if (alsa.volumeControl.empty())
        volume = QStringLiteral("The card's mixer has no FM control: volume, pan and mute are "
                                "not heard.");
    else if (alsa.volumeSwitch)
        volume = QStringLiteral("Volume, pan and mute set the mixer control \"%1\".")
                     .arg(QString::fromStdString(alsa.volumeControl));
    else
        volume = QStringLiteral("Volume and pan set the mixer control \"%1\"; it has no mute.")
                     .arg(QString::fromStdString(alsa.volumeControl));
    return {device, also, volume};
}
} // namespace

std::array<QString, 3> CardInformationTexts(const CardInUse& card, uint16_t portBase,
                                            const std::string& instance) {
    if (card.kind == CardKind::Alsa) return AlsaCardTexts(card, portBase);
    if (card.kind == CardKind::Emulated) {
        // The emulated card is found like a real one: the address line says where.
        QString first = card.chosenByOption
                            ? QStringLiteral("As asked, VI 801 emulates an FM801.")
                            : QStringLiteral("No FM801 card here: VI 801 emulates one.");
        // Its reason is in the line's tip and on the terminal.
        if (!card.alsaRefused.empty())
            first = QStringLiteral("ALSA's OPL3 device is refused: VI 801 emulates one.");
        return {first, OutputLine(card.output), FormatLine(card.output)};
    }
    if (!Found(portBase)) {
        return {QStringLiteral("The real card was asked for: VI 801 searched the PCI bus."),
                QStringLiteral("No emulated card stands in for it."),
                QStringLiteral("Start with --card=auto to play the emulated card.")};
    }
    const QString where = instance.empty()
                              ? QStringLiteral("The FM801 card on the PCI bus is used.")
                              : QStringLiteral("The FM801 card at PCI address %1 is used.")
                                    .arg(QString::fromStdString(instance));
    return {where, QStringLiteral("Its OPL3 plays through the card's own audio output."),
            QStringLiteral("Volume, pan and mute set the card's output level.")};
}

QString AddressText(uint16_t portBase) {
    if (!Found(portBase)) return QStringLiteral("VI 801 Device not found");
    return QStringLiteral("VI 801 Device found at ") + HexAddress(portBase);
}

TFormPort::TFormPort(QWidget* owner, const CardInUse& card, std::unique_ptr<RegistryAccessor> view)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    BuildForm();
    ShowDetection(card, std::move(view));
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFormPort::BuildForm() {
    setWindowTitle(QStringLiteral("Device detection - VI 801"));
    setFont(StandardFont());
    setFixedSize(369, 189);

    GroupBox1 = new QGroupBox(QStringLiteral("VI 801 Midi Synthesizer"), this);
    GroupBox1->setGeometry(4, 8, 361, 177);

    QLabel** labels[] = {&Label1, &Label2, &Label3};
    const int tops[] = {32, 48, 80};
    const int heights[] = {16, 32, 28};
    for (int i = 0; i < 3; ++i) {
        *labels[i] = new QLabel(GroupBox1);
        (*labels[i])->setGeometry(16, tops[i], kLabelWidth, heights[i]);
        (*labels[i])->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        (*labels[i])->setWordWrap(true);
    }
    LabelAddress = MakeLabel(GroupBox1, "LabelAddress", "VI 801 Found at address", 16, 112);

    ButtonOk = MakeButton(GroupBox1, "ButtonOk", "OK", 176, 136, 75);
    ButtonCancel = MakeButton(GroupBox1, "ButtonCancel", "Cancel", 272, 136, 75);
    SetAccessible(ButtonOk, ControlAccessible("ButtonOk"));
    SetAccessible(ButtonCancel, ControlAccessible("ButtonCancel"));
    setTabOrder(ButtonOk, ButtonCancel);
    // No default button: Enter clicks the focused button only.
    ButtonOk->setDefault(false);
    ButtonCancel->setDefault(false);
    OnClick(ButtonOk, [this] { ButtonOkClick(); });
    OnClick(ButtonCancel, [this] { ButtonCancelClick(); });
}

void TFormPort::ShowDetection(const CardInUse& card, std::unique_ptr<RegistryAccessor> view) {
    {
        const CCSRegistry detection = view ? CCSRegistry(std::move(view)) : CCSRegistry();
        PortBase = detection.GetPortBase();
        const auto texts = CardInformationTexts(card, PortBase, detection.GetInstance());
        Label1->setText(texts[0]);
        Label2->setText(texts[1]);
        Label3->setText(texts[2]);
        if (card.kind == CardKind::Emulated && !card.output.open)
            Label3->setToolTip(QString::fromStdString(card.output.error));
        if (card.kind == CardKind::Emulated && !card.alsaRefused.empty())
            Label1->setToolTip(QString::fromStdString(card.alsaRefused));
    }
    // A reason over two lines starts a line higher, so that a blank line
    // still stands above the address; the output line above it is one line then.
    if (Label3->heightForWidth(kLabelWidth) > kLineHeight) {
        Label2->resize(kLabelWidth, kLineHeight);
        Label3->move(16, 64);
    }
    LabelAddress->setText(AddressText(PortBase));
    LabelAddress->adjustSize();
    if (!Found(PortBase)) ButtonOk->setEnabled(false);
    (ButtonOk->isEnabled() ? ButtonOk : ButtonCancel)->setFocus();
}

uint16_t TFormPort::Execute() {
    exec();
    return PortBase;
}

void TFormPort::ButtonOkClick() {
    accept();
}

void TFormPort::ButtonCancelClick() {
    reject();
}

// Closing the dialog any other way than OK goes no further.
void TFormPort::reject() {
    PortBase = 0;
    QDialog::reject();
}
