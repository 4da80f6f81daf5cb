#include "presets/formats/bankcatalog.h"

#include "error.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

std::string_view KindFilterName(KindFilter filter) {
    return filter ? KindName(*filter) : "All kinds";
}

BankRead ReadBankOrReason(const fs::path& path) {
    BankRead read{path, std::nullopt, {}};
    try {
        read.Bank = ReadBankFile(path);
    } catch (const Error& error) {
        read.Reason = error.what();
    }
    return read;
}

std::string ShortReason(const BankRead& read) {
    const std::string path = read.Path.string();
    if (read.Reason.compare(0, path.size(), path) != 0) return read.Reason;
    return read.Path.filename().string() + read.Reason.substr(path.size());
}

PathFiles BankFilesOf(const fs::path& path) {
    std::error_code error;
    if (!fs::is_directory(path, error)) return {{path}, {}};
    PathFiles result;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file(error)) result.Files.push_back(it->path());
    if (error) {
        result.Files.clear();
        result.Reason = path.string() + ": can't list it: " + error.message();
    }
    std::sort(result.Files.begin(), result.Files.end());
    return result;
}

// Thousands of files come one at a time: each finds its place, and the
// counts follow, without a walk over the others.
bool BankCatalog::Add(BankRead read) {
    if (read.Bank) std::erase_if(read.Bank->Instruments, IsEmpty);
    const auto [place, added] = places_.try_emplace(read.Path.string(), files_.size());
    if (!added) {
        Count(files_[place->second], -1);
        files_[place->second] = std::move(read);
        Count(files_[place->second], +1);
        return false;
    }
    files_.push_back(std::move(read));
    Count(files_.back(), +1);
    return true;
}

void BankCatalog::Clear() {
    files_.clear();
    places_.clear();
    banks_ = instruments_ = 0;
}

void BankCatalog::Count(const BankRead& file, int sign) {
    if (!file.Bank) return;
    const size_t count = file.Bank->Instruments.size();
    banks_ = sign > 0 ? banks_ + 1 : banks_ - 1;
    instruments_ = sign > 0 ? instruments_ + count : instruments_ - count;
}

std::vector<const BankRead*> BankCatalog::RefusedFiles() const {
    std::vector<const BankRead*> refused;
    for (const BankRead& f : files_)
        if (!f.Bank) refused.push_back(&f);
    return refused;
}

std::vector<std::string> BankCatalog::Refused() const {
    std::vector<std::string> reasons;
    for (const BankRead* f : RefusedFiles())
        reasons.push_back(f->Reason);
    return reasons;
}

std::vector<CatalogEntry> BankCatalog::Find(std::string_view search, KindFilter kind,
                                            size_t first) const {
    std::vector<CatalogEntry> found;
    for (size_t f = first; f < files_.size(); ++f) {
        if (!files_[f].Bank) continue;
        const std::vector<BankInstrument>& instruments = files_[f].Bank->Instruments;
        for (size_t i = 0; i < instruments.size(); ++i) {
            const BankInstrument& instrument = instruments[i];
            if ((kind && instrument.Kind() != *kind) || !MatchesSearch(instrument, search))
                continue;
            found.push_back({f, i});
        }
    }
    return found;
}

const BankInstrument& BankCatalog::Instrument(CatalogEntry entry) const {
    return files_.at(entry.file).Bank.value().Instruments.at(entry.instrument);
}

std::string BankLabel(const BankInstrument& instrument) {
    std::string label = fs::path(instrument.File).filename().string();
    if (!instrument.Bank.empty()) label += " / " + instrument.Bank;
    return label;
}

uint8_t PreviewNote(const BankInstrument& instrument) {
    return instrument.FixedNote && *instrument.FixedNote < 128 ? *instrument.FixedNote : kMiddleC;
}
