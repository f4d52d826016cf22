// Owning pointers for handles of C libraries and system calls: a unique_ptr whose deleter calls
// one release function, for example OwnedPtr<BIO, BIO_free>. Release functions that take more
// arguments or are macros get a one-line wrapper function of their own.
#pragma once

#include <memory>

namespace kv {

template <auto Release>
struct ReleaseWith {
  template <typename T>
  void operator()(T* handle) const {
    Release(handle);
  }
};

template <typename T, auto Release>
using OwnedPtr = std::unique_ptr<T, ReleaseWith<Release>>;

}  // namespace kv
