#include "platform/file_pipeline.h"

#include <cerrno>
#include <new>
#include <unistd.h>

namespace megcxc {

ReadAhead::ReadAhead(int fd, int64_t offset, std::size_t blockBytes, std::size_t headroom, std::size_t depth)
    : fd_(fd), offset_(offset), block_(blockBytes), headroom_(headroom), depth_(depth == 0 ? 1 : depth) {
  free_.resize(depth_);
  thread_ = std::thread([this] { run(); });
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  freeCv_.notify_all();
  thread_.join();
}

void ReadAhead::run() {
  for (;;) {
    ByteBuffer buffer;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      freeCv_.wait(lock, [this] { return stop_ || !free_.empty(); });
      if (stop_) return;
      buffer = std::move(free_.back());
      free_.pop_back();
    }
    Block b;
    try {
      // Never shrunk: a buffer that went round once keeps its pages.
      if (buffer.size() < headroom_ + block_) buffer.resize(headroom_ + block_);
    } catch (const std::bad_alloc&) {
      b.error = ENOMEM;
    }
    while (b.error == 0 && b.size < block_) {
      const ssize_t got = ::pread(fd_, buffer.data() + headroom_ + b.size, block_ - b.size, offset_);
      if (got < 0) {
        if (errno == EINTR) continue;
        b.error = errno;
        break;
      }
      if (got == 0) break;
      b.size += static_cast<std::size_t>(got);
      offset_ += got;
    }
    // A short block is the last: the file ended (or failed) inside it. An
    // empty one tells the owner so.
    const bool last = b.size < block_;
    b.bytes = std::move(buffer);
    std::lock_guard<std::mutex> lock(mutex_);
    if (last && b.size > 0 && b.error == 0) {
      ready_.push_back(std::move(b));
      ready_.push_back(Block{});
    } else {
      ready_.push_back(std::move(b));
    }
    if (last) finished_ = true;
    readyCv_.notify_one();
    if (last) return;
  }
}

ReadAhead::Block ReadAhead::next() {
  std::unique_lock<std::mutex> lock(mutex_);
  readyCv_.wait(lock, [this] { return !ready_.empty() || finished_; });
  if (ready_.empty()) return Block{};
  Block b = std::move(ready_.front());
  ready_.pop_front();
  return b;
}

void ReadAhead::recycle(ByteBuffer&& buffer) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finished_) return;  // nothing more will be read into it
    free_.push_back(std::move(buffer));
  }
  freeCv_.notify_one();
}

WriteBehind::WriteBehind(int fd, std::size_t depth) : fd_(fd), depth_(depth == 0 ? 1 : depth) {
  thread_ = std::thread([this] { run(); });
}

WriteBehind::~WriteBehind() {
  drain();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  queuedCv_.notify_all();
  thread_.join();
}

void WriteBehind::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    queuedCv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping with nothing left
    Job job = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    const bool write = error_ == 0;
    lock.unlock();
    int failed = 0;
    std::size_t done = 0;
    while (write && done < job.size) {
      const ssize_t put = ::write(fd_, job.bytes.data() + done, job.size - done);
      if (put < 0) {
        if (errno == EINTR) continue;
        failed = errno;
        break;
      }
      done += static_cast<std::size_t>(put);
    }
    lock.lock();
    if (failed && error_ == 0) error_ = failed;
    busy_ = false;
    free_.push_back(std::move(job.bytes));
    doneCv_.notify_all();
  }
}

int WriteBehind::push(ByteBuffer& buffer, std::size_t bytes) {
  ByteBuffer spare;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    doneCv_.wait(lock, [this] { return queue_.size() < depth_ || error_ != 0; });
    if (error_ != 0) return error_;
    if (!free_.empty()) {
      spare = std::move(free_.back());
      free_.pop_back();
    }
  }
  // Outside the lock: a first round allocates its buffers.
  try {
    if (spare.size() < buffer.size()) spare.resize(buffer.size());
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(Job{std::move(buffer), bytes});
  }
  queuedCv_.notify_one();
  buffer = std::move(spare);
  return 0;
}

int WriteBehind::drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  doneCv_.wait(lock, [this] { return queue_.empty() && !busy_; });
  return error_;
}

}  // namespace megcxc
