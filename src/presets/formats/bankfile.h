#pragma once
// Bank files of any format this program reads: which format a file is, and
// its instruments. Formats with a magic are known by it; TMB, which has
// none, by its size.
#include "presets/formats/bankinstrument.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct BankFile {
    std::string Format; // "WOPL", "OPLI", "OP2", "TMB", "IBK", "BNK", "SBI"
    std::vector<BankInstrument> Instruments;
};

// No bank of any of these formats comes near this size.
constexpr size_t kMaxBankFileSize = 16 << 20;

// The names of the formats, for messages: "WOPL, OPLI, OP2, IBK, BNK, SBI, TMB".
std::string BankFormatNames();

// The instruments of a file's bytes; `file` goes into each instrument's File.
// Raises an Error whose text is the one-line reason for a refusal.
BankFile ParseBankFile(std::span<const uint8_t> bytes, const std::string& file = {});

// Every bank file directly in a folder, as a browser lists them: the
// instruments of the files it reads, in the order of their names, and the
// one-line reason for each file it can't read.
struct BankLibrary {
    std::vector<BankFile> Banks;
    std::vector<std::string> Refused; // "<path>: <reason>"
};
BankLibrary ReadBankFolder(const std::filesystem::path& folder);

// Reads the file (a regular file of at most kMaxBankFileSize bytes) and
// parses it. Raises an Error "<path>: <reason>" when it can't.
BankFile ReadBankFile(const std::filesystem::path& path);
