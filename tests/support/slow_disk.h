// A disk under a recording that holds each call that makes, writes, flushes or closes a file
// (a hung network share, a slow USB stick) for `hold` or until released.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "diag/recording.h"

namespace testing_support {

class SlowDisk final : public diag::RecordingDisk {
  public:
    explicit SlowDisk(std::chrono::milliseconds hold) : hold_(hold) {}
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        wake_.notify_all();
    }
    std::atomic<int> calls{0};  // begun, held or not

    void MakeFolder(const std::filesystem::path& folder) override {
        Hold(), RecordingDisk::MakeFolder(folder);
    }
    std::unique_ptr<diag::RecordingFile> Create(const std::filesystem::path& path) override {
        auto file = (Hold(), RecordingDisk::Create(path));
        return file ? std::make_unique<File>(std::move(file), *this) : nullptr;
    }

  private:
    struct File final : diag::RecordingFile {
        File(std::unique_ptr<diag::RecordingFile> f, SlowDisk& d) : inner(std::move(f)), disk(d) {}
        bool Write(std::string_view bytes) override { return disk.Hold(), inner->Write(bytes); }
        bool Flush() override { return disk.Hold(), inner->Flush(); }
        bool Close() override { return disk.Hold(), inner->Close(); }
        std::unique_ptr<diag::RecordingFile> inner;
        SlowDisk& disk;
    };
    void Hold() {
        ++calls;
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, hold_, [this] { return released_; });
    }
    const std::chrono::milliseconds hold_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool released_ = false;
};

}  // namespace testing_support
