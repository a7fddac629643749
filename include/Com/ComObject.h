// Implementation helpers for COM objects: ComObject, a base that supplies
// reference counting and QueryInterface for a list of interfaces, and
// ComPtr, an owning interface pointer.
#ifndef COM_COM_OBJECT_H
#define COM_COM_OBJECT_H

#include <atomic>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "Com/ComBase.h"

namespace ComDetail {

// Walks Interface and the interfaces it extends; true (and *object set)
// when one of them has the identifier riid.
template <typename Interface, typename Object>
bool findInterface(Object* self, REFIID riid, void** object) {
  using Traits = ComInterfaceTraits<Interface>;
  if (IsEqualIID(riid, Traits::iid)) {
    *object = static_cast<Interface*>(self);
    return true;
  }
  if constexpr (!std::is_void_v<typename Traits::Base>) {
    return findInterface<typename Traits::Base>(static_cast<Interface*>(self), riid, object);
  } else {
    return false;
  }
}

template <typename First, typename...>
struct FirstOf {
  using Type = First;
};

}  // namespace ComDetail

// Derive a class from ComObject<I1, I2, ...> and implement the interfaces'
// own methods. QueryInterface answers IID_IUnknown, each listed interface
// and every interface a listed one extends. A new object holds one
// reference, owned by its creator; the last Release deletes it, so objects
// must be created with new. The count is atomic: references may be taken
// and given back on any thread (the object's own methods are not made
// thread-safe by this).
template <typename... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    const bool found = (ComDetail::findInterface<Interfaces>(this, riid, object) || ...);
    if (!found) {
      if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
      using First = typename ComDetail::FirstOf<Interfaces...>::Type;
      *object = static_cast<IUnknown*>(static_cast<First*>(this));
    }
    AddRef();
    return S_OK;
  }

  ULONG AddRef() override { return _refCount.fetch_add(1, std::memory_order_relaxed) + 1; }

  ULONG Release() override {
    const ULONG left = _refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ~ComObject() override = default;

 private:
  std::atomic<ULONG> _refCount{1};
};

// Owns one reference to an interface (or nothing). Not thread-safe itself;
// like a plain pointer, one ComPtr is used by one thread at a time.
template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  ComPtr(const ComPtr& other) noexcept : _pointer(other._pointer) {
    if (_pointer != nullptr) _pointer->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : _pointer(std::exchange(other._pointer, nullptr)) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(_pointer, other._pointer);
    return *this;
  }

  // Takes over a reference the caller already owns.
  static ComPtr adopt(T* pointer) noexcept {
    ComPtr result;
    result._pointer = pointer;
    return result;
  }
  // Takes a new reference of its own.
  static ComPtr share(T* pointer) noexcept {
    if (pointer != nullptr) pointer->AddRef();
    return adopt(pointer);
  }

  T* get() const noexcept { return _pointer; }
  T* operator->() const noexcept { return _pointer; }
  explicit operator bool() const noexcept { return _pointer != nullptr; }

  // Releases what is held and returns the slot for an out-parameter.
  T** put() noexcept {
    reset();
    return &_pointer;
  }
  void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

  // Hands the reference to the caller.
  T* detach() noexcept { return std::exchange(_pointer, nullptr); }

  void reset() noexcept {
    if (T* old = std::exchange(_pointer, nullptr)) old->Release();
  }

  // OUT *result: the same object as interface U (QueryInterface).
  template <typename U>
  HRESULT queryInterface(ComPtr<U>* result) const {
    if (_pointer == nullptr) return E_POINTER;
    return _pointer->QueryInterface(ComInterfaceTraits<U>::iid, result->putVoid());
  }

 private:
  T* _pointer = nullptr;
};

#endif  // COM_COM_OBJECT_H
