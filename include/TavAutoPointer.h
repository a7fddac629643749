// TavCommon::AutoPointer: an owning pointer that releases its object through
// a deallocator class (Deallocator{}.deallocate(pointer)), so objects made by
// a library factory are destroyed by the library that made them.
//
// A pointer plus an ownership flag: only an owning AutoPointer releases.
// Move-only; not thread-safe.
#ifndef TAV_AUTO_POINTER_H
#define TAV_AUTO_POINTER_H

namespace TavCommon {

template <typename T, typename Deallocator>
class AutoPointer {
 public:
  AutoPointer() noexcept = default;
  // Takes ownership of pointer when owner is true.
  explicit AutoPointer(T* pointer, bool owner = true) noexcept
      : _pointer(pointer), _owner(owner && pointer != nullptr) {}
  AutoPointer(AutoPointer&& other) noexcept : _pointer(other._pointer), _owner(other._owner) {
    other._pointer = nullptr;
    other._owner = false;
  }
  AutoPointer& operator=(AutoPointer&& other) noexcept {
    if (this != &other) {
      reset();
      _pointer = other._pointer;
      _owner = other._owner;
      other._pointer = nullptr;
      other._owner = false;
    }
    return *this;
  }
  AutoPointer(const AutoPointer&) = delete;
  AutoPointer& operator=(const AutoPointer&) = delete;
  ~AutoPointer() { reset(); }

  T* get() const noexcept { return _pointer; }
  T* operator->() const noexcept { return _pointer; }
  T& operator*() const noexcept { return *_pointer; }
  explicit operator bool() const noexcept { return _pointer != nullptr; }
  bool isOwner() const noexcept { return _owner; }

  // Gives the object up without releasing it; the caller now owns it.
  T* release() noexcept {
    T* pointer = _pointer;
    _pointer = nullptr;
    _owner = false;
    return pointer;
  }
  // Releases the held object (if owned) and holds pointer instead.
  void reset(T* pointer = nullptr, bool owner = true) noexcept {
    if (_owner && _pointer != nullptr && _pointer != pointer) Deallocator{}.deallocate(_pointer);
    _pointer = pointer;
    _owner = owner && pointer != nullptr;
  }

 private:
  T* _pointer = nullptr;
  bool _owner = false;
};

}  // namespace TavCommon

#endif  // TAV_AUTO_POINTER_H
