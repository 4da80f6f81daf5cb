#include "app/commandline.h"

#include "presets/formats/bankfile.h"
#include "presets/presetfile.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include "files/outputfile.h"

#include <algorithm>
#include <iterator>
#include <ostream>
#include <span>

#ifndef VI801_VERSION
#define VI801_VERSION "1.0.0"
#endif

namespace {
// Arguments reach the parser one byte to one character, so that a file name
// that is no UTF-8 comes back as the bytes it was.
QString FromBytes(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string Bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

// The options that take no value, under every name they have.
const char* const kFlags[] = {"h", "help", "version", "program-changes", "no-settings"};

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
            return "unknown option '" + Bytes(arg) + "'";
    }
    // The parser refuses nothing else but a value option at the very end.
    return "option --" + Bytes(OptionName(args.back())) + " needs a value";
}

bool ReadCard(const QString& value, CardOption& card) {
    if (value == "auto")
        card = CardOption::Auto;
    else if (value == "hardware")
        card = CardOption::Hardware;
    else if (value == "emulated")
        card = CardOption::Emulated;
    else if (value == "alsa")
        card = CardOption::Alsa;
    else
        return false;
    return true;
}

// The options that take a value.
const char* const kValueOptions[] = {"card", "port-log", "midi-in", "record",  "render",
                                     "out",  "bank",     "preset",  "channel", "rate"};
// The bank-file options, which run instead of the synthesizer.
const char* const kBankFileOptions[] = {"import", "list"};
// What can't go with them: everything that plays.
const char* const kPlayingOptions[] = {"card", "port-log", "midi-in", "record", "render"};
// The options that name a file, and those that mean something only to --render.
const char* const kFileOptions[] = {"port-log", "record", "render", "out"};
const char* const kRenderOptions[] = {"out",     "bank", "preset",
                                      "channel", "rate", "program-changes"};
const auto& kBanks = kBankNames;

bool ReadNumber(const QString& value, unsigned low, unsigned high, unsigned& number) {
    bool ok = false;
    const unsigned n = value.toUInt(&ok);
    if (!ok || n < low || n > high) return false;
    number = n;
    return true;
}

std::string BadValue(const QCommandLineParser& parser, const char* option, const char* expected) {
    return "bad value '" + Bytes(parser.value(option)) + "' for --" + option + " (" + expected +
           ")";
}

// Reads the values into options; what is wrong with the first bad one, or empty.
std::string ReadValues(const QCommandLineParser& parser, CommandLine& options) {
    if (parser.isSet("card") && !ReadCard(parser.value("card"), options.card))
        return BadValue(parser, "card", "auto, hardware, alsa or emulated");
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
        *texts[i] = Bytes(parser.value(names[i]));
    for (const char* name : kBankFileOptions)
        if (parser.isSet(name) && parser.value(name).isEmpty())
            return std::string("option --") + name + " needs a bank file";
    options.import = Bytes(parser.value("import"));
    options.prefix = Bytes(parser.value("prefix"));
    options.list = Bytes(parser.value("list"));
    return {};
}

// The bank-file options with what can't go with them; empty when all is well.
std::string CheckBankFileOptions(const QCommandLineParser& parser, const CommandLine& options) {
    if (parser.isSet("prefix") && options.import.empty()) return "option --prefix needs --import";
    if (!options.import.empty() && !options.list.empty())
        return "options --import and --list can't go together";
    if (options.import.empty() && options.list.empty()) return {};
    const char* bankOption = options.import.empty() ? "list" : "import";
    for (const char* name : kPlayingOptions)
        if (parser.isSet(name))
            return std::string("options --") + bankOption + " and --" + name + " can't go together";
    return {};
}

bool RealCard(CardOption card) {
    return card == CardOption::Hardware || card == CardOption::Alsa;
}

std::string CardName(CardOption card) {
    return card == CardOption::Alsa ? "alsa" : "hardware";
}

// Options that can't go together; empty when they can.
std::string CheckCombination(const QCommandLineParser& parser, const CommandLine& options) {
    if (std::string error = CheckBankFileOptions(parser, options); !error.empty()) return error;
    if (options.render.empty()) {
        for (const char* name : kRenderOptions)
            if (parser.isSet(name)) return std::string("option --") + name + " needs --render";
        if (!options.record.empty() && RealCard(options.card))
            return "option --record records the emulated card, not --card=" +
                   CardName(options.card);
        return {};
    }
    if (options.out.empty()) return "option --render needs --out=FILE";
    if (!options.record.empty()) return "options --render and --record can't go together";
    if (!options.midiIn.empty()) return "options --render and --midi-in can't go together";
    if (RealCard(options.card))
        return "option --render plays the emulated card, not --card=" + CardName(options.card);
    return {};
}
} // namespace

CommandLineResult ParseCommandLine(const std::vector<std::string>& args) {
    QCommandLineParser parser;
    // One dash or two: "-h" and "--help" alike, and "-platform" is one option.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({QCommandLineOption({"h", "help"}, {}), QCommandLineOption("version", {}),
                       QCommandLineOption("program-changes", {}),
                       QCommandLineOption("no-settings", {})});
    for (const char* name : kValueOptions)
        parser.addOption(QCommandLineOption(name, {}, "value"));
    for (const char* name : {"import", "prefix", "list"})
        parser.addOption(QCommandLineOption(name, {}, "value"));
    QStringList arguments;
    for (const std::string& arg : args)
        arguments << FromBytes(arg);

    CommandLineResult result;
    CommandLine& options = result.options;
    if (!parser.parse(QStringList{"vi801"} + arguments))
        result.error = RefusalText(parser, arguments);
    else if (!parser.positionalArguments().isEmpty())
        result.error = "unexpected argument '" + Bytes(parser.positionalArguments().first()) + "'";
    else if (result.error = ReadValues(parser, options); result.error.empty())
        result.error = CheckCombination(parser, options);
    options.help = parser.isSet("help");
    options.version = parser.isSet("version");
    options.programChanges = parser.isSet("program-changes");
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
           "  --card=auto|hardware|alsa|emulated\n"
           "                    which card to play: hardware drives an FM801's ports\n"
           "                    (root only), alsa its OPL3 through the card's own\n"
           "                    driver (group audio), emulated a software OPL3; auto\n"
           "                    (the default) takes the first of them that works\n"
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
           "  --preset=NAME     the preset to play the whole song with (default: the\n"
           "                    Default patch, and the song's program changes choose)\n"
           "  --program-changes with --preset, the song's program changes still choose\n"
           "                    presets of the bank, as they do when played live\n"
           "  --channel=N       the MIDI channel played, 1 to 16 (default 1)\n"
           "  --rate=HZ         the sample rate, 8000 to 192000 (default 48000)\n"
           "\n"
           "Bank files of other programs (" +
           BankFormatNames() +
           "):\n"
           "  --list=FILE       print every instrument of FILE, one a line\n"
           "  --import=FILE     write every instrument of FILE as a preset into the\n"
           "                    banks, 2op or 4op by its kind; existing presets stay\n"
           "  --prefix=TEXT     with --import: put TEXT before each preset's name\n"
           "\n"
           "Examples:\n"
           "  vi801 --render=song.mid --out=song.wav --bank=6op --preset='Grand Piano'\n"
           "  vi801 --import=GENMIDI.OP2 --prefix='OP2 '\n";
}

std::string VersionText() {
    return std::string("VI 801 ") + VI801_VERSION + "\n";
}

int HandleCommandLine(const CommandLineResult& result, const std::string& path, std::ostream& out,
                      std::ostream& err) {
    const std::string program = path.substr(path.find_last_of('/') + 1);
    if (!result.Ok()) {
        err << program << ": " << result.error << "\nTry '" << program << " --help'\n";
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
    if (const std::string clash = FileClash(result.options); !clash.empty()) {
        err << program << ": " << clash << "\n";
        return 2;
    }
    return -1;
}

std::string FileClash(const CommandLine& options) {
    struct Named {
        const char* option;
        const std::string& path;
    };
    const Named files[] = {{"render", options.render},
                           {"out", options.out},
                           {"record", options.record},
                           {"port-log", options.portLog}};
    for (size_t i = 0; i < std::size(files); ++i) {
        const auto first = files[i].path.empty() ? std::nullopt : IdentityOf(files[i].path);
        for (size_t j = i + 1; first && j < std::size(files); ++j) {
            const auto second = files[j].path.empty() ? std::nullopt : IdentityOf(files[j].path);
            // A character device (/dev/null) keeps nothing for a second writer to spoil.
            if (!second || !(*first == *second) || first->characterDevice) continue;
            if (i == 0)
                return std::string("option --") + files[j].option + " names the MIDI file itself";
            return std::string("options --") + files[i].option + " and --" + files[j].option +
                   " name the same file";
        }
    }
    return {};
}

CardKind ChooseCard(CardOption option, const CardsAtHand& found) {
    switch (option) {
    case CardOption::Hardware:
        return CardKind::Hardware;
    case CardOption::Emulated:
        return CardKind::Emulated;
    case CardOption::Alsa:
        return CardKind::Alsa;
    case CardOption::Auto:
        break;
    }
    if (found.portsWork) return CardKind::Hardware;
    return found.alsaDeviceOpen ? CardKind::Alsa : CardKind::Emulated;
}

RenderOptions RenderOptionsOf(const CommandLine& options) {
    return {options.out, options.rate, options.channel, options.preset, options.programChanges};
}
