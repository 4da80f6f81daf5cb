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

bool BankCatalog::Add(BankRead read) {
    const auto same = std::find_if(files_.begin(), files_.end(),
                                   [&read](const BankRead& f) { return f.Path == read.Path; });
    if (same != files_.end()) {
        *same = std::move(read);
        return false;
    }
    files_.push_back(std::move(read));
    return true;
}

size_t BankCatalog::BankCount() const {
    return static_cast<size_t>(
        std::count_if(files_.begin(), files_.end(), [](const BankRead& f) { return f.Bank; }));
}

size_t BankCatalog::InstrumentCount() const {
    size_t count = 0;
    for (const BankRead& f : files_)
        if (f.Bank)
            count += static_cast<size_t>(
                std::count_if(f.Bank->Instruments.begin(), f.Bank->Instruments.end(),
                              [](const BankInstrument& i) { return !IsEmpty(i); }));
    return count;
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
            if (IsEmpty(instrument) || (kind && instrument.Kind() != *kind) ||
                !MatchesSearch(instrument, search))
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
