// A few objects kept per thread for reuse, so that a loop that runs one
// statement or fetches one tuple after another allocates nothing once warm.
// Private to platform/engine.
#ifndef TAVODB_PLATFORM_ENGINE_THREAD_SPARES_H
#define TAVODB_PLATFORM_ENGINE_THREAD_SPARES_H

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace engine {

// T is movable, and a default-constructed T stands for "none" (an empty
// unique_ptr, an empty vector). Objects are kept by value; what they own stays
// allocated while they wait, so callers trim what is not worth keeping before
// keep().
//
// take() and keep() run once per fetched row, so the slots are plain
// thread-local storage that needs no per-access initialisation check; the
// destructor that frees the kept objects at thread exit is registered once,
// by the first keep() of the thread.
template <class T, std::size_t Limit>
class ThreadSpares {
  static_assert(std::is_nothrow_move_constructible_v<T>);

 public:
  // A kept object of this thread, or T() when there is none.
  static T take() noexcept {
    Slots& slots = local;
    if (slots.count == 0) return T();
    T* kept = slots.at(--slots.count);
    T object = std::move(*kept);
    kept->~T();
    return object;
  }

  // Keeps `object` for a later take() on this thread. When enough are kept or
  // the thread is ending, `object` is left as it is, for the caller to
  // destroy.
  static void keep(T&& object) noexcept {
    Slots& slots = local;
    if (slots.count >= Limit || slots.state == State::Gone) return;
    if (slots.state == State::Unregistered) registerCleanup();
    new (slots.at(slots.count)) T(std::move(object));
    ++slots.count;
  }

 private:
  // Gone: the thread is ending and its slots were emptied; objects given back
  // later in the exit (by other thread-local or static objects) are not kept.
  enum class State : unsigned char { Unregistered, Registered, Gone };

  struct Slots {
    T* at(std::size_t index) noexcept {
      return std::launder(reinterpret_cast<T*>(storage + index * sizeof(T)));
    }
    alignas(T) unsigned char storage[Limit * sizeof(T)];
    std::size_t count;
    State state;
  };

  struct Cleanup {
    ~Cleanup() {
      Slots& slots = local;
      while (slots.count > 0) slots.at(--slots.count)->~T();
      slots.state = State::Gone;
    }
  };

  static void registerCleanup() noexcept {
    [[maybe_unused]] static thread_local Cleanup cleanup;
    local.state = State::Registered;
  }

  static thread_local inline Slots local{};
};

}  // namespace engine

#endif  // TAVODB_PLATFORM_ENGINE_THREAD_SPARES_H
