// ByteBuffer: the byte buffers an archive and the file workers fill.
//
// A std::vector<unsigned char> zeroes every byte it grows by. The buffers of a
// save or load are a few MiB that are always written before they are read, so
// that zeroing is a wasted pass, and on memory new to the process it is the
// first touch of every page before the data arrives. The allocator below
// leaves grown bytes unset; everything else is std::vector.
#pragma once

#include <memory>
#include <new>
#include <vector>

namespace megcxc {

template <class T>
struct UnsetAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UnsetAllocator<U>;
  };
  UnsetAllocator() = default;
  template <class U>
  UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
  // Value-initialisation (resize, the sized constructor) default-initialises
  // instead; construction with arguments is unchanged.
  template <class U>
  void construct(U* at) noexcept {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};

using ByteBuffer = std::vector<unsigned char, UnsetAllocator<unsigned char>>;

}  // namespace megcxc
