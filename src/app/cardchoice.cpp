#include "app/cardchoice.h"

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
const char* const kFlags[] = {"h", "help", "version"};

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
} // namespace

CommandLineResult ParseCommandLine(const std::vector<std::string>& args) {
    QCommandLineParser parser;
    // One dash or two: "-h" and "--help" alike, and "-platform" is one option.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, {}), version("version", {});
    const QCommandLineOption card("card", {}, "card"), portLog("port-log", {}, "file");
    const QCommandLineOption midiIn("midi-in", {}, "text");
    parser.addOptions({help, version, card, portLog, midiIn});
    QStringList arguments;
    for (const std::string& arg : args)
        arguments << QString::fromStdString(arg);

    CommandLineResult result;
    CommandLine& options = result.options;
    if (!parser.parse(QStringList{"vi801"} + arguments)) {
        result.error = RefusalText(parser, arguments);
    } else if (!parser.positionalArguments().isEmpty()) {
        result.error =
            "unexpected argument '" + parser.positionalArguments().first().toStdString() + "'";
    } else if (parser.isSet(card) && !ReadCard(parser.value(card), options.card)) {
        result.error = "bad value '" + parser.value(card).toStdString() +
                       "' for --card (auto, hardware or emulated)";
    } else if (parser.isSet(portLog) && parser.value(portLog).isEmpty()) {
        result.error = "option --port-log needs a file name";
    } else if (parser.isSet(midiIn) && parser.value(midiIn).isEmpty()) {
        result.error = "option --midi-in needs a part of an input's name";
    }
    options.portLog = parser.value(portLog).toStdString();
    options.midiIn = parser.value(midiIn).toStdString();
    options.help = parser.isSet(help);
    options.version = parser.isSet(version);
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
           "  --help            show this help and exit\n"
           "  --version         show the version and exit\n";
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
