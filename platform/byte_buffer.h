// ByteBuffer: the byte buffers an archive and the file workers fill.
//
// A std::vector<unsigned char> zeroes every byte it grows by. The buffers of a
// save or load are a few MiB that are always written before they are read, so
// that zeroing is a wasted pass, and on memory new to the process it is the
// first touch of every page before the data arrives. The allocator below
// leaves grown bytes unset.
//
// Buffers of kPageBlockFrom bytes or more live on whole 2 MiB pages
// (mapPageBlock): a save's three 2 MiB buffers then take three page faults
// instead of 1,536, which on this kind of virtual machine cost about 1.5 us
// each (AddressSanitizer builds keep them on malloc).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/plane_arena.h"

namespace megcxc {

// The construct() of an allocator whose containers leave new elements
// unset: value-initialisation (resize, the sized constructor) becomes
// default-initialisation; construction with arguments is unchanged.
struct LeavesNewElementsUnset {
  template <class U>
  void construct(U* at) noexcept {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};

template <class T>
struct UnsetAllocator : std::allocator<T>, LeavesNewElementsUnset {
  template <class U>
  struct rebind {
    using other = UnsetAllocator<U>;
  };
  UnsetAllocator() = default;
  template <class U>
  UnsetAllocator(const UnsetAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    const std::size_t bytes = pageBytes(n);
    if (bytes == 0) return std::allocator<T>::allocate(n);
    void* p = mapPageBlock(bytes);
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    const std::size_t bytes = pageBytes(n);
    if (bytes == 0) std::allocator<T>::deallocate(p, n);
    else unmapPageBlock(p, bytes);
  }
 private:
  // The mapping of a block of n elements: whole 2 MiB pages from
  // kPageBlockFrom bytes on, 0 for a malloc block.
  static std::size_t pageBytes(std::size_t n) {
    if (n < kPageBlockFrom / sizeof(T) || n > (SIZE_MAX - PlaneArena::kChunkBytes) / sizeof(T)) return 0;
    const std::size_t page = PlaneArena::kChunkBytes;
    return (n * sizeof(T) + page - 1) / page * page;
  }
};

template <class T, class U>
bool operator==(const UnsetAllocator<T>&, const UnsetAllocator<U>&) noexcept {
  return true;
}

using ByteBuffer = std::vector<unsigned char, UnsetAllocator<unsigned char>>;

}  // namespace megcxc
