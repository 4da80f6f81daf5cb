#include "app/commandline.h"

#include "presets/presetfile.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <ostream>
#include <span>

#ifndef VI801_VERSION
#define VI801_VERSION "1.0.0"
#endif

namespace {
// The options that take no value, under every name they have.
const char* const kFlags[] = {"h", "help", "version", "no-settings"};

// "--card=x" and "-card" both name "card".
QString OptionName(const QString& arg) {
    QString name = arg;
    while (name.startsWith('-'))
        name.remove(0, 1);
    return name.left(name.indexOf('='));
}

bool Among(const QString& name, std::span<const char* const> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

// What a command line the parser refused says to the user: the first
// argument at fault, as it was typed.
std::string RefusalText(const QCommandLineParser& parser, const QStringList& args) {
    const QStringList unknown = parser.unknownOptionNames();
    for (const QString& arg : args) {
        if (!arg.startsWith('-')) continue;
        const QString name = OptionName(arg);
        const bool valueGiven = arg.contains('=');
        if (unknown.contains(name) || (valueGiven && Among(name, kFlags)))
            return "unknown option '" + arg.toStdString() + "'";
    }
    // The parser refuses nothing else but a value option at the very end.
    return "option --" + OptionName(args.back()).toStdString() + " needs a value";
}

bool ReadCard(const QString& value, CardOption& card) {
    if (value == "auto")
        card = CardOption::Auto;
    else if (value == "hardware")
        card = CardOption::Hardware;
    else if (value == "emulated")
        card = CardOption::Emulated;
    else
        return false;
    return true;
}

// The options that take a value.
const char* const kValueOptions[] = {"card", "port-log", "midi-in", "record",  "render",
                                     "out",  "bank",     "preset",  "channel", "rate"};
// The options that name a file, and those that mean something only to --render.
const char* const kFileOptions[] = {"port-log", "record", "render", "out"};
const char* const kRenderOptions[] = {"out", "bank", "preset", "channel", "rate"};
const auto& kBanks = kBankNames;

bool ReadNumber(const QString& value, unsigned low, unsigned high, unsigned& number) {
    bool ok = false;
    const unsigned n = value.toUInt(&ok);
    if (!ok || n < low || n > high) return false;
    number = n;
    return true;
}

std::string BadValue(const QCommandLineParser& parser, const char* option, const char* expected) {
    return "bad value '" + parser.value(option).toStdString() + "' for --" + option + " (" +
           expected + ")";
}

// Reads the values into options; what is wrong with the first bad one, or empty.
std::string ReadValues(const QCommandLineParser& parser, CommandLine& options) {
    if (parser.isSet("card") && !ReadCard(parser.value("card"), options.card))
        return BadValue(parser, "card", "auto, hardware or emulated");
    for (const char* name : kFileOptions)
        if (parser.isSet(name) && parser.value(name).isEmpty())
            return std::string("option --") + name + " needs a file name";
    if (parser.isSet("preset") && parser.value("preset").isEmpty())
        return "option --preset needs a name";
    if (parser.isSet("midi-in") && parser.value("midi-in").isEmpty())
        return "option --midi-in needs a part of an input's name";
    if (parser.isSet("bank") && !Among(parser.value("bank"), kBanks))
        return BadValue(parser, "bank", "2op, 4op or 6op");
    unsigned channel = 1;
    if (parser.isSet("channel") && !ReadNumber(parser.value("channel"), 1, 16, channel))
        return BadValue(parser, "channel", "1 to 16");
    options.channel = static_cast<int>(channel);
    if (parser.isSet("rate") && !ReadNumber(parser.value("rate"), CommandLine::kLowestRate,
                                            CommandLine::kHighestRate, options.rate))
        return BadValue(parser, "rate", "8000 to 192000");
    std::string* const texts[] = {&options.portLog, &options.midiIn, &options.record,
                                  &options.render,  &options.out,    &options.bank,
                                  &options.preset};
    const char* const names[] = {"port-log", "midi-in", "record", "render",
                                 "out",      "bank",    "preset"};
    for (size_t i = 0; i < std::size(names); ++i)
        *texts[i] = parser.value(names[i]).toStdString();
    return {};
}

// Options that can't go together; empty when they can.
std::string CheckCombination(const QCommandLineParser& parser, const CommandLine& options) {
    if (options.render.empty()) {
        for (const char* name : kRenderOptions)
            if (parser.isSet(name)) return std::string("option --") + name + " needs --render";
        if (!options.record.empty() && options.card == CardOption::Hardware)
            return "option --record records the emulated card, not --card=hardware";
        return {};
    }
    if (options.out.empty()) return "option --render needs --out=FILE";
    if (!options.record.empty()) return "options --render and --record can't go together";
    if (!options.midiIn.empty()) return "options --render and --midi-in can't go together";
    if (options.card == CardOption::Hardware)
        return "option --render plays the emulated card, not --card=hardware";
    if (options.out == options.render) return "option --out names the MIDI file itself";
    return {};
}
} // namespace

CommandLineResult ParseCommandLine(const std::vector<std::string>& args) {
    QCommandLineParser parser;
    // One dash or two: "-h" and "--help" alike, and "-platform" is one option.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({QCommandLineOption({"h", "help"}, {}), QCommandLineOption("version", {}),
                       QCommandLineOption("no-settings", {})});
    for (const char* name : kValueOptions)
        parser.addOption(QCommandLineOption(name, {}, "value"));
    QStringList arguments;
    for (const std::string& arg : args)
        arguments << QString::fromStdString(arg);

    CommandLineResult result;
    CommandLine& options = result.options;
    if (!parser.parse(QStringList{"vi801"} + arguments))
        result.error = RefusalText(parser, arguments);
    else if (!parser.positionalArguments().isEmpty())
        result.error =
            "unexpected argument '" + parser.positionalArguments().first().toStdString() + "'";
    else if (result.error = ReadValues(parser, options); result.error.empty())
        result.error = CheckCombination(parser, options);
    options.help = parser.isSet("help");
    options.version = parser.isSet("version");
    options.noSettings = parser.isSet("no-settings");
    return result;
}

CommandLineResult ParseCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return ParseCommandLine(args);
}

std::string UsageText(const std::string& program) {
    return "Usage: " + program +
           " [OPTION]...\n"
           "Play the OPL3 of an FM801 card, or of an emulated card, from MIDI input.\n"
           "\n"
           "  --card=auto|hardware|emulated\n"
           "                    which card to play: auto (the default) takes a real\n"
           "                    FM801 when one is present, otherwise the emulated card\n"
           "  --port-log=FILE   write every port access of the card to FILE\n"
           "  --midi-in=TEXT    play from the first MIDI input whose name contains TEXT\n"
           "                    (any case), e.g. --midi-in=virtual for VI 801's own\n"
           "                    input port that other programs connect to\n"
           "  --record=FILE     record what the emulated card plays, from start to end,\n"
           "                    into FILE (WAV, 24-bit, at the audio output's rate)\n"
           "  --no-settings     start as if no settings were remembered, and save none\n"
           "                    (they are kept in $XDG_CONFIG_HOME/vi801/vi801.conf)\n"
           "  --help            show this help and exit\n"
           "  --version         show the version and exit\n"
           "\n"
           "Render a MIDI file into a WAV file, with no window and no audio device:\n"
           "  --render=SONG     the standard MIDI file (format 0 or 1) to play\n"
           "  --out=FILE        the WAV file to write (24-bit); needed with --render\n"
           "  --bank=2op|4op|6op  the bank of the preset (default 6op)\n"
           "  --preset=NAME     the preset to play it with (default: the Default patch)\n"
           "  --channel=N       the MIDI channel played, 1 to 16 (default 1)\n"
           "  --rate=HZ         the sample rate, 8000 to 192000 (default 48000)\n"
           "\n"
           "Example:\n"
           "  vi801 --render=song.mid --out=song.wav --bank=6op --preset='Grand Piano'\n";
}

std::string VersionText() {
    return std::string("VI 801 ") + VI801_VERSION + "\n";
}

int HandleCommandLine(const CommandLineResult& result, const std::string& path, std::ostream& out,
                      std::ostream& err) {
    const std::string program = path.substr(path.find_last_of('/') + 1);
    if (!result.Ok()) {
        err << program << ": " << result.error << "\n" << UsageText(program);
        return 2;
    }
    if (result.options.help) {
        out << UsageText(program);
        return 0;
    }
    if (result.options.version) {
        out << VersionText();
        return 0;
    }
    return -1;
}

CardKind ChooseCard(CardOption option, bool fm801Present) {
    switch (option) {
    case CardOption::Hardware:
        return CardKind::Hardware;
    case CardOption::Emulated:
        return CardKind::Emulated;
    case CardOption::Auto:
        break;
    }
    return fm801Present ? CardKind::Hardware : CardKind::Emulated;
}

RenderOptions RenderOptionsOf(const CommandLine& options) {
    return {options.out, options.rate, options.channel};
}
