// The one way the library keeps an object for the life of the process: made
// on first use (by whichever thread comes first), and never destroyed. The
// library stays mapped after dlclose and a host may exit with the device
// open, so no thread of ours, nor an exit handler, may ever see such an
// object go away; a function-local static would be destroyed at exit.
#pragma once

#include <mutex>
#include <new>

namespace wedgesim {

template <typename T>
class Resident {
 public:
  constexpr Resident() = default;
  Resident(const Resident&) = delete;
  Resident& operator=(const Resident&) = delete;

  T& get() {
    std::call_once(made_, [this] { new (storage_) T(); });
    return *std::launder(reinterpret_cast<T*>(storage_));
  }
  T& operator*() { return get(); }
  T* operator->() { return &get(); }

 private:
  std::once_flag made_;
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace wedgesim
