#pragma once
// What a sound browser lists: the bank files it has read (a library folder,
// files the user opened), the files it could not read with their reasons,
// and which instruments a search and a kind show. No Qt, no threads: the
// reading may happen anywhere, one file at a time, and is added here.
#include "presets/formats/bankfile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Every kind (nullopt) or one.
using KindFilter = std::optional<InstrumentKind>;
inline constexpr std::array<KindFilter, 5> kKindFilters = {
    std::nullopt, InstrumentKind::TwoOperator, InstrumentKind::FourOperator,
    InstrumentKind::DoubleVoice, InstrumentKind::Percussion};
// "All kinds", or the kind's own name.
std::string_view KindFilterName(KindFilter filter);

// One file read: its instruments, or the one-line reason it was refused.
struct BankRead {
    std::filesystem::path Path;
    std::optional<BankFile> Bank;
    std::string Reason; // "<path>: <reason>" when there is no Bank
};
BankRead ReadBankOrReason(const std::filesystem::path& path);
// The reason with the file named by its own name alone: "<name>: <reason>".
std::string ShortReason(const BankRead& read);

// What a path given to a browser stands for: the regular files directly in
// it when it is a folder (in the order of their names), else itself. A
// folder that can't be listed gives its reason instead.
struct PathFiles {
    std::vector<std::filesystem::path> Files;
    std::string Reason;
};
PathFiles BankFilesOf(const std::filesystem::path& path);

// An instrument of the catalog: its file's place and its own.
struct CatalogEntry {
    size_t file = 0;
    size_t instrument = 0;
    bool operator==(const CatalogEntry&) const = default;
};

class BankCatalog {
public:
    // A file read again (the same path) takes the place of what it gave
    // before, its instruments or its refusal. True when the file is new:
    // it is then the last one.
    bool Add(BankRead read);
    size_t FileCount() const { return files_.size(); }
    const BankRead& File(size_t index) const { return files_.at(index); }
    void Clear();

    size_t BankCount() const { return banks_; }
    // Empty places of fixed-size banks are not instruments: they are left out.
    size_t InstrumentCount() const { return instruments_; }
    // The files refused, in the order they came, and their reasons.
    std::vector<const BankRead*> RefusedFiles() const;
    std::vector<std::string> Refused() const;

    // The instruments a search (MatchesSearch) and a kind show, file by
    // file in the order they came (from file `first` on), each file's in
    // its own order.
    std::vector<CatalogEntry> Find(std::string_view search, KindFilter kind,
                                   size_t first = 0) const;
    const BankInstrument& Instrument(CatalogEntry entry) const;

private:
    void Count(const BankRead& file, int sign);

    std::vector<BankRead> files_;
    std::unordered_map<std::string, size_t> places_; // by path
    size_t banks_ = 0, instruments_ = 0;
};

// Where the instrument comes from: its file's name, and the bank's name
// after it where the file names its banks.
std::string BankLabel(const BankInstrument& instrument);

// The note a preview plays: the instrument's fixed note, or middle C.
inline constexpr uint8_t kMiddleC = 60;
uint8_t PreviewNote(const BankInstrument& instrument);
