#include "app/commandline.h"

#include <gtest/gtest.h>

#include <sstream>

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

TEST(CommandLine, BadOptionGivesOneErrorLineAndUsageOnStandardErrorWithStatus2) {
    std::ostringstream out, err;
    const int status =
        HandleCommandLine(ParseCommandLine({"--card=gpu"}), "/usr/bin/vi801", out, err);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(out.str(), "");
    const std::string text = err.str();
    const std::string first = text.substr(0, text.find('\n'));
    EXPECT_EQ(first.rfind("vi801: ", 0), 0u);
    EXPECT_NE(first.find("gpu"), std::string::npos);
    EXPECT_EQ(text.substr(first.size() + 1), UsageText("vi801"));
}

TEST(CommandLine, HelpAndVersionPrintAndEnd) {
    std::ostringstream out, err;
    EXPECT_EQ(HandleCommandLine(ParseCommandLine({"--help"}), "vi801", out, err), 0);
    EXPECT_EQ(out.str(), UsageText("vi801"));
    for (const char* option :
         {"--card=auto|hardware|emulated", "--port-log=FILE", "--midi-in=TEXT", "--help",
          "--version", "--record=FILE", "--render=SONG", "--out=FILE", "--bank=2op|4op|6op",
          "--preset=NAME", "--channel=N", "--rate=HZ", "vi801 --render="})
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
                          "--preset=Pipe Organ", "--channel=10", "--rate=44100"})
            .options;
    EXPECT_EQ(render.render, "a song.mid");
    EXPECT_EQ(render.out, "a song.wav");
    EXPECT_EQ(render.bank, "4op");
    EXPECT_EQ(render.preset, "Pipe Organ");
    EXPECT_EQ(render.channel, 10);
    EXPECT_EQ(render.rate, 44100u);
    const CommandLine defaults = ParseCommandLine({"--render=s.mid", "--out=s.wav"}).options;
    EXPECT_EQ(defaults.channel, 1);
    EXPECT_EQ(defaults.rate, 48000u);
    EXPECT_EQ(defaults.bank, "");
    EXPECT_EQ(ParseCommandLine({"--record=take.wav"}).options.record, "take.wav");
}

TEST(CommandLine, RenderAndRecordOptionsAreRefusedWithTheReason) {
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"--out=x.wav"}, "option --out needs --render"},
        {{"--preset=Flute"}, "option --preset needs --render"},
        {{"--render=s.mid"}, "option --render needs --out=FILE"},
        {{"--render=s.mid", "--out=s.mid"}, "option --out names the MIDI file itself"},
        {{"--render=s.mid", "--out=x", "--record=y"},
         "options --render and --record can't go together"},
        {{"--render=s.mid", "--out=x", "--card=hardware"},
         "option --render plays the emulated card, not --card=hardware"},
        {{"--record=y", "--card=hardware"},
         "option --record records the emulated card, not --card=hardware"},
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

TEST(CardChoice, AutoFollowsThePresenceOfACard) {
    EXPECT_EQ(ChooseCard(CardOption::Auto, true), CardKind::Hardware);
    EXPECT_EQ(ChooseCard(CardOption::Auto, false), CardKind::Emulated);
    EXPECT_EQ(ChooseCard(CardOption::Hardware, false), CardKind::Hardware);
    EXPECT_EQ(ChooseCard(CardOption::Emulated, true), CardKind::Emulated);
}
} // namespace
