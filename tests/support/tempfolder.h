#pragma once
// A folder of the test's own under the system's temporary folder, named
// after the process and a tag, removed with everything in it at the end.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

class TempFolder {
public:
    explicit TempFolder(const std::string& tag)
        : root(std::filesystem::temp_directory_path() /
               ("vi801-" + tag + "-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Writes bytes to a file under the folder, making its folders.
    void Put(const std::filesystem::path& relative, const std::vector<uint8_t>& bytes) const {
        std::filesystem::create_directories((root / relative).parent_path());
        std::ofstream(root / relative, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }

    const std::filesystem::path root;
};
