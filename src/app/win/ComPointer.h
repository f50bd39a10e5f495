#pragma once

#include <unknwn.h>

#include <utility>

// Holds one reference to a COM object and releases it when it goes.
template <typename T>
class ComPointer {
 public:
  ComPointer() = default;
  // Takes over a reference the caller already holds.
  explicit ComPointer(T* adopted) : pointer_(adopted) {}
  ComPointer(const ComPointer& other) : pointer_(other.pointer_) {
    if (pointer_) pointer_->AddRef();
  }
  ComPointer(ComPointer&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPointer& operator=(ComPointer other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }
  ~ComPointer() {
    if (pointer_) pointer_->Release();
  }

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  T& operator*() const { return *pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For the calls that hand out a new reference; releases the held one first.
  T** Receive() {
    *this = ComPointer();
    return &pointer_;
  }

 private:
  T* pointer_ = nullptr;
};
