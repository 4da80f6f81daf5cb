#include "cardchoice.h"

#include "hardware/ccsregistry.h"

#include <ostream>

#ifndef VI801_VERSION
#define VI801_VERSION "1.0.0"
#endif

namespace {
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
               std::string& value, std::string& error) {
    const std::string& arg = args[i];
    if (arg.size() > name.size() && arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
    } else if (i + 1 < args.size()) {
        value = args[++i];
    } else {
        error = "option " + name + " needs a value";
        return false;
    }
    return true;
}

bool Named(const std::string& arg, const std::string& name) {
    return arg == name || (arg.rfind(name + "=", 0) == 0);
}
} // namespace

CommandLineResult ParseCommandLine(const std::vector<std::string>& args) {
    CommandLineResult result;
    std::string& error = result.error;
    for (size_t i = 0; i < args.size() && error.empty(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        if (arg == "--help" || arg == "-h") {
            result.options.help = true;
        } else if (arg == "--version") {
            result.options.version = true;
        } else if (Named(arg, "--card")) {
            if (!TakeValue(args, i, "--card", value, error)) break;
            if (value == "auto")
                result.options.card = CardOption::Auto;
            else if (value == "hardware")
                result.options.card = CardOption::Hardware;
            else if (value == "emulated")
                result.options.card = CardOption::Emulated;
            else
                error = "bad value '" + value + "' for --card (auto, hardware or emulated)";
        } else if (Named(arg, "--port-log")) {
            if (!TakeValue(args, i, "--port-log", value, error)) break;
            if (value.empty()) error = "option --port-log needs a file name";
            result.options.portLog = value;
        } else if (arg.rfind("-", 0) == 0) {
            error = "unknown option '" + arg + "'";
        } else {
            error = "unexpected argument '" + arg + "'";
        }
    }
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
           "  --help            show this help and exit\n"
           "  --version         show the version and exit\n";
}

std::string VersionText() {
    return std::string("VI 801 ") + VI801_VERSION + "\n";
}

int HandleCommandLine(const CommandLineResult& result, const std::string& program,
                      std::ostream& out, std::ostream& err) {
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

bool Fm801Present(const std::string& devicesRoot) {
    try {
        const uint16_t base =
            CCSRegistry(std::make_unique<SysfsRegistry>(devicesRoot)).GetPortBase();
        return base != 0 && base != 0xFFFF;
    } catch (const std::exception&) {
        // A resource list that can't be read is the dialog's to report.
        return true;
    }
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
