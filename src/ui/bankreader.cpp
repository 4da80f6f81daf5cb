#include "ui/bankreader.h"

#include <QMetaObject>
#include <QObject>

#include <chrono>
#include <memory>

BankReader::BankReader(QObject* context, std::function<void(Batch)> deliver,
                       std::function<void()> finished)
    : context_(context), deliver_(std::move(deliver)), finished_(std::move(finished)),
      thread_([this] { Run(); }) {}

BankReader::~BankReader() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void BankReader::Read(const std::vector<std::filesystem::path>& paths) {
    if (paths.empty()) return;
    asked_ += paths.size();
    {
        const std::lock_guard lock(mutex_);
        queue_.insert(queue_.end(), paths.begin(), paths.end());
    }
    wake_.notify_one();
}

void BankReader::Run() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        const std::filesystem::path path = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        const PathFiles files = BankFilesOf(path);
        Batch batch;
        if (!files.Reason.empty()) batch.push_back({path, std::nullopt, files.Reason});
        auto sent = Clock::now();
        for (const std::filesystem::path& file : files.Files) {
            {
                const std::lock_guard check(mutex_);
                if (stop_) return;
            }
            batch.push_back(ReadBankOrReason(file));
            if (batch.size() >= kBatchFiles ||
                Clock::now() - sent >= std::chrono::milliseconds(kBatchMs)) {
                Deliver(std::move(batch));
                batch.clear();
                sent = Clock::now();
            }
        }
        if (!batch.empty()) Deliver(std::move(batch));
        lock.lock();
        ++taken_;
        if (queue_.empty()) Finished(taken_);
    }
}

// Queued to the context: a result posted for a window that is gone is
// dropped with it. The functor is copied, so the results travel shared.
void BankReader::Deliver(Batch batch) {
    auto shared = std::make_shared<Batch>(std::move(batch));
    QMetaObject::invokeMethod(
        context_, [this, shared] { deliver_(std::move(*shared)); }, Qt::QueuedConnection);
}

void BankReader::Finished(size_t done) {
    QMetaObject::invokeMethod(
        context_,
        [this, done] {
            done_ = done;
            if (!Busy()) finished_();
        },
        Qt::QueuedConnection);
}
