// ReadAhead and WriteBehind: a worker thread that does a disk file's system
// calls in whole buffers while the thread that owns the file (de)serialises
// other buffers.
//
// An archive of a 306-sensor collection is over a gigabyte. Read or written
// on one thread, the time of the system calls (the kernel copying between
// the page cache and our buffers) adds to the time of parsing the rows into
// planes or copying them out; on a second core the two overlap. Buffers are
// traded, never copied: the owner gives back the buffer it has finished with
// and takes the next one.
//
// Internal to CFile (platform/cfile.cpp), which owns at most one of each.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/byte_buffer.h"

namespace megcxc {

class ReadAhead {
 public:
  // A block of the file: `size` bytes at bytes[headroom...], `size` 0 at the
  // end of the file; `error` is the errno of a failed read (the last block).
  struct Block {
    ByteBuffer bytes;
    std::size_t size = 0;
    int error = 0;
  };

  // Starts reading `fd` (not owned; pread, so the descriptor's offset is
  // left alone) from `offset` in blocks of `blockBytes`, each stored after
  // `headroom` free bytes of its buffer, at most `depth` blocks ahead of the
  // owner. Throws std::system_error when no thread can be started.
  ReadAhead(int fd, int64_t offset, std::size_t blockBytes, std::size_t headroom, std::size_t depth);
  // Stops reading and joins the thread.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Waits for the next block. After the end (or an error) every call
  // returns an empty block at once.
  Block next();
  // Gives a buffer back to be filled again (any size; the thread resizes it).
  void recycle(ByteBuffer&& buffer);

 private:
  void run();

  const int fd_;
  int64_t offset_;
  const std::size_t block_, headroom_, depth_;
  std::mutex mutex_;
  std::condition_variable readyCv_, freeCv_;
  std::deque<Block> ready_;
  std::vector<ByteBuffer> free_;
  bool stop_ = false;
  bool finished_ = false;  // the thread has queued its last block
  std::thread thread_;
};

class WriteBehind {
 public:
  // Writes to `fd` (not owned, at its offset) on a thread of its own, at
  // most `depth` buffers behind the owner. Throws std::system_error when no
  // thread can be started.
  WriteBehind(int fd, std::size_t depth);
  // Writes what is queued, then joins the thread (errors are dropped: call
  // drain() to see them).
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Queues the first `bytes` of `buffer` and puts in its place an unused
  // buffer of at least the same size. Returns the errno of an earlier
  // failed write instead (nothing queued, `buffer` left alone); once a write
  // has failed, nothing more is written.
  int push(ByteBuffer& buffer, std::size_t bytes);
  // Waits until everything queued is written; returns the errno of the
  // first failed write, 0 when all went to the file.
  int drain();

 private:
  struct Job {
    ByteBuffer bytes;
    std::size_t size = 0;
  };
  void run();

  const int fd_;
  const std::size_t depth_;
  std::mutex mutex_;
  std::condition_variable queuedCv_, doneCv_;
  std::deque<Job> queue_;
  std::vector<ByteBuffer> free_;
  bool busy_ = false;  // the thread is writing a job it has taken off the queue
  bool stop_ = false;
  int error_ = 0;
  std::thread thread_;
};

}  // namespace megcxc
