#include "app/bankcommands.h"

#include "error.h"
#include "presets/formats/bankfile.h"
#include "presets/formats/bankimport.h"

#include <cstdio>
#include <ostream>
#include <system_error>

namespace {

std::string ListLine(const BankInstrument& i) {
    char head[32];
    std::snprintf(head, sizeof head, "%5zu  %-11s  ", i.Index,
                  std::string(KindName(i.Kind())).c_str());
    return head + i.Label();
}

std::string Counted(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

size_t InBank(const std::vector<ImportedPreset>& presets, const char* bank) {
    size_t n = 0;
    for (const ImportedPreset& p : presets)
        n += p.Bank == bank;
    return n;
}

} // namespace

int RunList(const CommandLine& options, std::ostream& out, std::ostream& err,
            const std::string& program) {
    try {
        const BankFile bank = ReadBankFile(options.list);
        for (const BankInstrument& i : bank.Instruments)
            out << ListLine(i) << "\n";
        return 0;
    } catch (const Error& error) {
        err << program << ": " << error.what() << "\n";
        return 1;
    }
}

int RunImport(const CommandLine& options, const std::filesystem::path& root, std::ostream& out,
              std::ostream& err, const std::string& program) {
    BankFile bank;
    try {
        bank = ReadBankFile(options.import);
    } catch (const Error& error) {
        err << program << ": " << error.what() << "\n";
        return 1;
    }
    for (const char* folder : {"2op", "4op"})
        if (std::error_code e; !std::filesystem::is_directory(root / folder, e)) {
            err << program << ": no bank folder " << (root / folder).string()
                << ": presets go into the banks VI 801 plays from\n";
            return 1;
        }
    const ImportResult result = ImportInstruments(bank.Instruments, root, options.prefix);
    for (const ImportedPreset& p : result.Skipped)
        out << "skipped " << p.Bank << "/" << p.Name << ": a preset of that name is there\n";
    for (const ImportedPreset& p : result.Failed)
        err << program << ": can't write " << (root / p.Bank / (p.Name + ".sbi")).string() << "\n";
    out << options.import << " (" << bank.Format
        << "): " << Counted(result.Written.size(), "preset", "presets") << " imported into "
        << root.string() << " (" << InBank(result.Written, "2op") << " in 2op, "
        << InBank(result.Written, "4op") << " in 4op)";
    if (!result.Skipped.empty()) out << ", " << result.Skipped.size() << " skipped";
    if (result.Empty)
        out << ", " << Counted(result.Empty, "empty place", "empty places") << " left out";
    out << "\n";
    return result.Failed.empty() ? 0 : 1;
}
