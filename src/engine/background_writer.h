#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace folio::engine {

// Writes all `size` bytes at `offset`; errno of the failure, or 0.
int WriteFully(int fd, uint64_t offset, const uint8_t* data, size_t size);

// One positioned write at a time to a file, made on a helper thread kept for
// the object's life, so that the caller prepares the next meanwhile. Each write
// also has the disk start on it, so that a final flush has little left to wait for.
class BackgroundWriter {
  public:
    // Starts the helper thread, so that failing to is an error here and not in the
    // middle of libtiff writing.
    explicit BackgroundWriter(int fd);
    // Waits for the write under way.
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // Starts writing; `data` must stay untouched until Wait() returns. Call Wait()
    // first when a write may be under way.
    void Start(const uint8_t* data, uint64_t offset, size_t size);
    // Waits for the write under way, if any; errno of its failure, or 0.
    int Wait();

  private:
    void Run();

    int fd_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool busy_ = false;
    bool stopping_ = false;
    const uint8_t* data_ = nullptr;
    uint64_t offset_ = 0;
    size_t size_ = 0;
    int error_ = 0;
    std::thread thread_;  // last: Run() uses the members above
};

}  // namespace folio::engine
