#pragma once
// Reads bank files on a thread of its own, one at a time, and hands the
// results to a window's thread as they are read, a few at a time (at most
// kBatchMs apart): a folder of thousands of banks, or one on a slow disk,
// never holds up the window, nor floods it with one event per file.
#include "presets/formats/bankcatalog.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class QObject;

class BankReader {
public:
    static constexpr int kBatchMs = 50;
    static constexpr size_t kBatchFiles = 256;
    using Batch = std::vector<BankRead>;

    // Both run on the context's thread: deliver for the files read,
    // finished when everything asked for so far has been delivered. The
    // context owns the reader: it outlives it.
    BankReader(QObject* context, std::function<void(Batch)> deliver,
               std::function<void()> finished);
    // Stops after the file being read; nothing more is delivered.
    ~BankReader();
    BankReader(const BankReader&) = delete;
    BankReader& operator=(const BankReader&) = delete;

    // Files, and folders standing for the files directly in them
    // (BankFilesOf), read after those asked for before.
    void Read(const std::vector<std::filesystem::path>& paths);
    // On the context's thread: something asked for is not delivered yet.
    bool Busy() const { return done_ != asked_; }

private:
    void Run();
    void Deliver(Batch batch);
    void Finished(size_t done);

    QObject* const context_;
    const std::function<void(Batch)> deliver_;
    const std::function<void()> finished_;
    size_t asked_ = 0; // paths asked for, and done, counted on the context's thread
    size_t done_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::filesystem::path> queue_;
    size_t taken_ = 0; // paths the thread has taken and read whole
    bool stop_ = false;
    std::thread thread_;
};
