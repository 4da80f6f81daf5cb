// What a sound browser lists: files read one at a time, refusals with their
// reasons, and the instruments a search and a kind show.
#include "bankwriters.h"
#include "presets/formats/bankcatalog.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fs = std::filesystem;

namespace {

BankInstrument Named(int seed, VoiceLayout layout, const std::string& name, size_t index,
                     bool percussion = false) {
    BankInstrument i = SampleInstrument(seed, layout, name);
    i.Index = index;
    i.Percussion = percussion;
    return i;
}

// keys.ibk (names of 8 bytes at most): Piano, Organ (2-op), place 2 empty, Snare (percussion).
// quad.wopl: Quad Piano (4-op) in bank "Melodic".
// dmx.op2: Double Bass (pseudo-4-op), Choir (2-op).
// notes.txt: refused.
class Library : public testing::Test {
protected:
    void SetUp() override {
        folder.Put("keys.ibk", WriteIbk({Named(1, VoiceLayout::OnePair, "Piano", 0),
                                         Named(2, VoiceLayout::OnePair, "Organ", 1),
                                         Named(3, VoiceLayout::OnePair, "Snare", 3, true)}));
        folder.Put("quad.wopl",
                   WriteWopl(3, {Named(4, VoiceLayout::FourOperator, "Quad Piano", 0)}));
        folder.Put("dmx.op2", WriteOp2({Named(5, VoiceLayout::TwoPairs, "Double Bass", 0),
                                        Named(6, VoiceLayout::OnePair, "Choir", 1)}));
        folder.Put("notes.txt", BankBytes(10, 'x'));
        folder.Put("sub/inner.ibk", WriteIbk({Named(7, VoiceLayout::OnePair, "Inner", 0)}));
        for (const fs::path& file : BankFilesOf(folder.root).Files)
            catalog.Add(ReadBankOrReason(file));
    }

    std::vector<std::string> Labels(std::string_view search, KindFilter kind) const {
        std::vector<std::string> labels;
        for (const CatalogEntry& e : catalog.Find(search, kind))
            labels.push_back(catalog.Instrument(e).Label());
        return labels;
    }

    TempFolder folder{"catalog"};
    BankCatalog catalog;
};

TEST_F(Library, AFolderListsItsFilesByNameAndSaysWhyItRefusesOne) {
    const PathFiles listed = BankFilesOf(folder.root);
    EXPECT_EQ(listed.Files,
              (std::vector<fs::path>{folder.root / "dmx.op2", folder.root / "keys.ibk",
                                     folder.root / "notes.txt", folder.root / "quad.wopl"}));
    EXPECT_TRUE(listed.Reason.empty());
    // A file stands for itself; a folder that is not there is one file that can't be opened.
    EXPECT_EQ(BankFilesOf(folder.root / "keys.ibk").Files,
              std::vector<fs::path>{folder.root / "keys.ibk"});

    EXPECT_EQ(catalog.BankCount(), 3u);
    EXPECT_EQ(catalog.InstrumentCount(), 6u); // 175 places of the OP2 bank, most of them empty
    EXPECT_EQ(catalog.Refused(),
              (std::vector<std::string>{(folder.root / "notes.txt").string() +
                                        ": not a bank of a format this program reads (WOPL, OPLI, "
                                        "OP2, IBK, BNK, SBI, TMB)"}));
    EXPECT_EQ(ShortReason(*catalog.RefusedFiles().at(0)),
              "notes.txt: not a bank of a format this program reads (WOPL, OPLI, OP2, IBK, BNK, "
              "SBI, TMB)");
    EXPECT_EQ(catalog.Instrument(catalog.Find("quad", {}).at(0)).File,
              (folder.root / "quad.wopl").string());
}

TEST_F(Library, SearchAndKindChooseTheInstrumentsShownInFileOrder) {
    const struct {
        const char* search;
        KindFilter kind;
        std::vector<std::string> shown;
    } cases[] = {
        {"", {}, {"Double Bass", "Choir", "Piano", "Organ", "Snare", "Quad Piano"}},
        {"piano", {}, {"Piano", "Quad Piano"}},
        {"PIANO quad", {}, {"Quad Piano"}},
        {"melodic", {}, {"Quad Piano"}},           // the bank's name
        {"keys", {}, {"Piano", "Organ", "Snare"}}, // the file's name
        {"", InstrumentKind::TwoOperator, {"Choir", "Piano", "Organ"}},
        {"", InstrumentKind::FourOperator, {"Quad Piano"}},
        {"", InstrumentKind::DoubleVoice, {"Double Bass"}},
        {"", InstrumentKind::Percussion, {"Snare"}},
        {"piano", InstrumentKind::TwoOperator, {"Piano"}},
        {"piano", InstrumentKind::Percussion, {}},
        {"harp", {}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Labels(c.search, c.kind), c.shown)
            << '"' << c.search << "\" " << KindFilterName(c.kind);
}

TEST_F(Library, AFileReadAgainTakesThePlaceOfWhatItGaveBefore) {
    // Opened by hand although the folder gave it: listed once.
    EXPECT_FALSE(catalog.Add(ReadBankOrReason(folder.root / "keys.ibk")));
    EXPECT_EQ(Labels("organ", {}), std::vector<std::string>{"Organ"});
    // Now broken: its instruments go, its reason comes.
    folder.Put("keys.ibk", BankBytes(3, 'I'));
    catalog.Add(ReadBankOrReason(folder.root / "keys.ibk"));
    EXPECT_TRUE(Labels("organ", {}).empty());
    EXPECT_EQ(catalog.Refused().size(), 2u);
    // Mended: the other way round, in the same place of the list.
    folder.Put("keys.ibk", WriteIbk({Named(1, VoiceLayout::OnePair, "Organ", 0)}));
    catalog.Add(ReadBankOrReason(folder.root / "keys.ibk"));
    EXPECT_EQ(Labels("", InstrumentKind::TwoOperator),
              (std::vector<std::string>{"Choir", "Organ"}));
    EXPECT_EQ(catalog.Refused().size(), 1u);
    // A new file comes last, and its instruments can be found alone.
    folder.Put("more.ibk", WriteIbk({Named(8, VoiceLayout::OnePair, "Organ 2", 0)}));
    EXPECT_TRUE(catalog.Add(ReadBankOrReason(folder.root / "more.ibk")));
    EXPECT_EQ(catalog.Find("organ", {}, catalog.FileCount() - 1),
              (std::vector<CatalogEntry>{{catalog.FileCount() - 1, 0}}));
    catalog.Clear();
    EXPECT_EQ(catalog.BankCount() + catalog.Refused().size(), 0u);
}

TEST(BankCatalogText, KindNamesBankLabelsAndPreviewNotes) {
    EXPECT_EQ(KindFilterName(std::nullopt), "All kinds");
    EXPECT_EQ(KindFilterName(InstrumentKind::DoubleVoice), "pseudo-4-op");

    BankInstrument i;
    i.File = "/home/you/banks/gm.wopl";
    EXPECT_EQ(BankLabel(i), "gm.wopl");
    i.Bank = "Drums";
    EXPECT_EQ(BankLabel(i), "gm.wopl / Drums");

    const std::pair<std::optional<uint8_t>, uint8_t> notes[] = {
        {std::nullopt, 60}, {35, 35}, {0, 0}, {127, 127}, {128, 60}, {255, 60}};
    for (const auto& [fixed, note] : notes) {
        i.FixedNote = fixed;
        EXPECT_EQ(PreviewNote(i), note);
    }
}

} // namespace
