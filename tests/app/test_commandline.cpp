#include "app/commandline.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {
struct ParseCase {
    std::vector<std::string> args;
    bool ok;
    CardOption card = CardOption::Auto;
    std::string portLog = "";
    bool help = false;
    bool version = false;
    std::string midiIn = "";
    bool noSettings = false;
};
void PrintTo(const ParseCase& c, std::ostream* os) {
    for (const auto& a : c.args)
        *os << a << " ";
}

class ParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, Parses) {
    const ParseCase& c = GetParam();
    const CommandLineResult result = ParseCommandLine(c.args);
    std::string joined;
    for (const auto& a : c.args)
        joined += a + " ";
    ASSERT_EQ(result.Ok(), c.ok) << joined << "-> " << result.error;
    if (!c.ok) {
        EXPECT_EQ(result.error.find('\n'), std::string::npos);
        return;
    }
    EXPECT_EQ(result.options.card, c.card) << joined;
    EXPECT_EQ(result.options.portLog, c.portLog) << joined;
    EXPECT_EQ(result.options.help, c.help) << joined;
    EXPECT_EQ(result.options.version, c.version) << joined;
    EXPECT_EQ(result.options.midiIn, c.midiIn) << joined;
    EXPECT_EQ(result.options.noSettings, c.noSettings) << joined;
}

INSTANTIATE_TEST_SUITE_P(
    Options, ParseTest,
    testing::Values(ParseCase{{}, true}, ParseCase{{"--card=auto"}, true, CardOption::Auto},
                    ParseCase{{"--card=hardware"}, true, CardOption::Hardware},
                    ParseCase{{"--card=emulated"}, true, CardOption::Emulated},
                    ParseCase{{"--card=alsa"}, true, CardOption::Alsa},
                    ParseCase{{"--card", "emulated"}, true, CardOption::Emulated},
                    ParseCase{{"--card=hardware", "--card=emulated"}, true, CardOption::Emulated},
                    ParseCase{{"--port-log=ports.txt"}, true, CardOption::Auto, "ports.txt"},
                    ParseCase{{"--port-log", "a=b.log", "--card=hardware"},
                              true,
                              CardOption::Hardware,
                              "a=b.log"},
                    ParseCase{{"--help"}, true, CardOption::Auto, "", true},
                    ParseCase{{"--midi-in=VI 801 virtual"},
                              true,
                              CardOption::Auto,
                              "",
                              false,
                              false,
                              "VI 801 virtual"},
                    ParseCase{{"--midi-in="}, false}, ParseCase{{"--midi-in"}, false},
                    ParseCase{{"--no-settings", "--card=emulated"},
                              true,
                              CardOption::Emulated,
                              "",
                              false,
                              false,
                              "",
                              true},
                    ParseCase{{"--no-settings=yes"}, false},
                    ParseCase{{"--version"}, true, CardOption::Auto, "", false, true},
                    ParseCase{{"--card=Emulated"}, false}, ParseCase{{"--card="}, false},
                    ParseCase{{"--card"}, false}, ParseCase{{"--cardx=auto"}, false},
                    ParseCase{{"--port-log="}, false}, ParseCase{{"--port-log"}, false},
                    ParseCase{{"--verbose"}, false}, ParseCase{{"-platform"}, false},
                    ParseCase{{"presets"}, false}, ParseCase{{"--help", "--bogus"}, false}));

// A typo is told in one line and the way to the help in another, under the
// name the program was started by; the usage itself would bury the line.
TEST(CommandLine, ABadOptionIsToldInOneLineWithTheWayToTheHelpWithStatus2) {
    for (const auto& [path, name] :
         {std::pair{"/usr/bin/vi801", "vi801"}, std::pair{"vi801", "vi801"},
          std::pair{"./build/src/vi801-dev", "vi801-dev"}}) {
        std::ostringstream out, err;
        EXPECT_EQ(HandleCommandLine(ParseCommandLine({"--card=gpu"}), path, out, err), 2);
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str(), std::string(name) +
                                 ": bad value 'gpu' for --card (auto, hardware, alsa or emulated)\n"
                                 "Try '" +
                                 name + " --help'\n");
    }
}

TEST(CommandLine, HelpAndVersionPrintAndEnd) {
    std::ostringstream out, err;
    EXPECT_EQ(HandleCommandLine(ParseCommandLine({"--help"}), "vi801", out, err), 0);
    EXPECT_EQ(out.str(), UsageText("vi801"));
    for (const char* option :
         {"--card=auto|hardware|alsa|emulated", "--port-log=FILE", "--midi-in=TEXT", "--help",
          "--version", "--record=FILE", "--render=SONG", "--out=FILE", "--bank=2op|4op|6op",
          "--preset=NAME", "--program-changes", "--channel=N", "--rate=HZ",
          "vi801 --render=", "--list=FILE", "--import=FILE", "--prefix=TEXT",
          "vi801 --import=", "WOPL, OPLI, OP2, IBK, BNK, SBI, TMB"})
        EXPECT_NE(out.str().find(option), std::string::npos) << option;
    out.str("");
    EXPECT_EQ(HandleCommandLine(ParseCommandLine({"--version"}), "vi801", out, err), 0);
    EXPECT_EQ(out.str().rfind("VI 801 ", 0), 0u);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(HandleCommandLine(ParseCommandLine({"--card=emulated"}), "vi801", out, err), -1);
}

TEST(CommandLine, RenderAndRecordOptionsAreRead) {
    const CommandLine render =
        ParseCommandLine({"--render=a song.mid", "--out", "a song.wav", "--bank=4op",
                          "--preset=Pipe Organ", "--channel=10", "--rate=44100",
                          "--program-changes"})
            .options;
    EXPECT_EQ(render.render, "a song.mid");
    EXPECT_EQ(render.out, "a song.wav");
    EXPECT_EQ(render.bank, "4op");
    EXPECT_EQ(render.preset, "Pipe Organ");
    EXPECT_EQ(render.channel, 10);
    EXPECT_EQ(render.rate, 44100u);
    EXPECT_TRUE(render.programChanges);
    const CommandLine defaults = ParseCommandLine({"--render=s.mid", "--out=s.wav"}).options;
    EXPECT_EQ(defaults.channel, 1);
    EXPECT_EQ(defaults.rate, 48000u);
    EXPECT_EQ(defaults.bank, "");
    EXPECT_FALSE(defaults.programChanges);
    EXPECT_EQ(ParseCommandLine({"--record=take.wav"}).options.record, "take.wav");
}

TEST(CommandLine, RenderAndRecordOptionsAreRefusedWithTheReason) {
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"--out=x.wav"}, "option --out needs --render"},
        {{"--preset=Flute"}, "option --preset needs --render"},
        {{"--program-changes"}, "option --program-changes needs --render"},
        {{"--render=s", "--out=x", "--program-changes=yes"},
         "unknown option '--program-changes=yes'"},
        {{"--render=s.mid"}, "option --render needs --out=FILE"},
        {{"--render=s.mid", "--out=x", "--record=y"},
         "options --render and --record can't go together"},
        {{"--render=s.mid", "--out=x", "--card=hardware"},
         "option --render plays the emulated card, not --card=hardware"},
        {{"--record=y", "--card=hardware"},
         "option --record records the emulated card, not --card=hardware"},
        {{"--render=s.mid", "--out=x", "--card=alsa"},
         "option --render plays the emulated card, not --card=alsa"},
        {{"--record=y", "--card=alsa"},
         "option --record records the emulated card, not --card=alsa"},
        {{"--render=s", "--out=x", "--channel=0"}, "bad value '0' for --channel (1 to 16)"},
        {{"--render=s", "--out=x", "--channel=17"}, "bad value '17' for --channel (1 to 16)"},
        {{"--render=s", "--out=x", "--rate=7999"}, "bad value '7999' for --rate (8000 to 192000)"},
        {{"--render=s", "--out=x", "--rate=48k"}, "bad value '48k' for --rate (8000 to 192000)"},
        {{"--render=s", "--out=x", "--bank=3op"}, "bad value '3op' for --bank (2op, 4op or 6op)"},
        {{"--render=s", "--out=x", "--preset="}, "option --preset needs a name"},
        {{"--record="}, "option --record needs a file name"},
    };
    for (const auto& [args, error] : refusals)
        EXPECT_EQ(ParseCommandLine(args).error, error) << args.back();
}

TEST(CommandLine, BankFileOptionsAreReadAndRefusedWithTheReason) {
    const CommandLine import =
        ParseCommandLine({"--import=GENMIDI.OP2", "--prefix", "OP2 "}).options;
    EXPECT_EQ(import.import, "GENMIDI.OP2");
    EXPECT_EQ(import.prefix, "OP2 ");
    EXPECT_EQ(ParseCommandLine({"--list=a bank.wopl"}).options.list, "a bank.wopl");
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"--prefix=OP2 "}, "option --prefix needs --import"},
        {{"--list=a.op2", "--prefix=x"}, "option --prefix needs --import"},
        {{"--import="}, "option --import needs a bank file"},
        {{"--list="}, "option --list needs a bank file"},
        {{"--import=a.op2", "--list=a.op2"}, "options --import and --list can't go together"},
        {{"--import=a.op2", "--card=emulated"}, "options --import and --card can't go together"},
        {{"--list=a.op2", "--render=s.mid", "--out=s.wav"},
         "options --list and --render can't go together"},
        {{"--list=a.op2", "--record=x.wav"}, "options --list and --record can't go together"},
    };
    for (const auto& [args, error] : refusals)
        EXPECT_EQ(ParseCommandLine(args).error, error) << args.back();
}

TEST(CommandLine, FileNamesThatAreNoUtf8ComeBackAsTheirBytes) {
    const CommandLineResult result = ParseCommandLine(
        {"--render=caf\xe9.mid", "--out=caf\xe9.wav", "--port-log=\xff\xfe", "--preset=Caf\xe9"});
    ASSERT_TRUE(result.Ok()) << result.error;
    EXPECT_EQ(result.options.render, "caf\xe9.mid");
    EXPECT_EQ(result.options.out, "caf\xe9.wav");
    EXPECT_EQ(result.options.portLog, "\xff\xfe");
    EXPECT_EQ(result.options.preset, "Caf\xe9");
    EXPECT_EQ(ParseCommandLine({"--midi-in=\xe9t\xe9"}).options.midiIn, "\xe9t\xe9");
    EXPECT_EQ(ParseCommandLine({"--render=s", "--out=x", "--bank=\xe9"}).error,
              "bad value '\xe9' for --bank (2op, 4op or 6op)");
}

// One file named two ways is refused in one line, before anything is written.
TEST(CommandLine, OneFileGivenAsTheSongAndAnOutputOrAsTwoOutputsIsRefused) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vi801-clash-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "sub");
    std::ofstream((dir / "song.mid").string()) << "MThd";
    std::filesystem::create_symlink("song.mid", dir / "link.mid");
    const std::string d = dir.string() + "/";
    struct Case {
        std::vector<std::string> args;
        std::string error; // empty: the program goes on
    };
    const Case cases[] = {
        {{"--render=" + d + "song.mid", "--out=" + d + "./song.mid"},
         "option --out names the MIDI file itself"},
        {{"--render=" + d + "song.mid", "--out=" + d + "link.mid"},
         "option --out names the MIDI file itself"},
        {{"--render=" + d + "sub/../song.mid", "--out=x.wav", "--port-log=" + d + "song.mid"},
         "option --port-log names the MIDI file itself"},
        {{"--render=" + d + "song.mid", "--out=" + d + "new.wav",
          "--port-log=" + d + "sub/../new.wav"},
         "options --out and --port-log name the same file"},
        {{"--record=" + d + "take.wav", "--port-log=" + d + "./take.wav"},
         "options --record and --port-log name the same file"},
        {{"--render=" + d + "song.mid", "--out=/dev/null", "--port-log=/dev/null"}, ""},
        {{"--render=" + d + "song.mid", "--out=" + d + "song.wav",
          "--port-log=" + d + "sub/song.wav"},
         ""},
    };
    for (const Case& c : cases) {
        std::ostringstream out, err;
        const int status = HandleCommandLine(ParseCommandLine(c.args), "vi801", out, err);
        EXPECT_EQ(status, c.error.empty() ? -1 : 2) << c.args.back();
        EXPECT_EQ(err.str(), c.error.empty() ? "" : "vi801: " + c.error + "\n");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3); // nothing written
    std::filesystem::remove_all(dir);
}

TEST(CardChoice, AutoTakesTheFirstCardThatWorksAndTheOthersAreObeyed) {
    struct Case {
        CardOption option;
        CardsAtHand found;
        CardKind chosen;
    };
    const Case cases[] = {
        {CardOption::Auto, {true, true}, CardKind::Hardware},
        {CardOption::Auto, {true, false}, CardKind::Hardware},
        {CardOption::Auto, {false, true}, CardKind::Alsa},
        {CardOption::Auto, {false, false}, CardKind::Emulated},
        {CardOption::Hardware, {false, true}, CardKind::Hardware},
        {CardOption::Alsa, {true, false}, CardKind::Alsa},
        {CardOption::Emulated, {true, true}, CardKind::Emulated},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseCard(c.option, c.found), c.chosen)
            << int(c.option) << c.found.portsWork << c.found.alsaDeviceOpen;
}
} // namespace
