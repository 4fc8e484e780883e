// The interface smart pointer: holds one reference of a reference-counted
// interface and releases it when it goes.
#pragma once

#include <cstddef>
#include <utility>

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "platform/com/com_base.h"

template <class I>
class ole_com_ptr {
 public:
  ole_com_ptr() = default;
  ole_com_ptr(std::nullptr_t) {}
  // Shares the pointer: adds a reference of its own.
  explicit ole_com_ptr(I* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ole_com_ptr(const ole_com_ptr& other) : ole_com_ptr(other.p_) {}
  ole_com_ptr(ole_com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~ole_com_ptr() { release(); }

  ole_com_ptr& operator=(const ole_com_ptr& other) {
    I* p = other.p_;
    if (p) p->AddRef();
    release();
    p_ = p;
    return *this;
  }
  ole_com_ptr& operator=(ole_com_ptr&& other) noexcept {
    if (this != &other) {
      release();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ole_com_ptr& operator=(std::nullptr_t) {
    release();
    return *this;
  }

  // Using a null pointer is an internal error.
  I* operator->() const {
    if (!p_) throw tk_mail_assertion("ole_ptr", 94);
    return p_;
  }
  I& operator*() const { return *operator->(); }

  I* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool operator!() const { return p_ == nullptr; }

  // For calls that hand back a new reference: releases the one held and
  // gives the place to write the new pointer into.
  I** out() {
    release();
    return &p_;
  }
  // Takes over a reference without adding one.
  void attach(I* p) {
    release();
    p_ = p;
  }
  // Gives up the reference without releasing it.
  I* detach() { return std::exchange(p_, nullptr); }

  // Releases the reference held, if any.
  void release() {
    if (I* p = std::exchange(p_, nullptr)) {
      ULONG left = p->Release();
      tk_trace(1, "ole_com_ptr<T>::~ole_com_ptr() - %d refs left", static_cast<int>(left));
    }
  }

  // Asks the object for another interface.
  template <class J>
  HRESULT query_interface(REFIID iid, ole_com_ptr<J>& result) const {
    if (!p_) return E_POINTER;
    void* out = nullptr;
    HRESULT hr = p_->QueryInterface(iid, &out);
    result.attach(SUCCEEDED(hr) ? static_cast<J*>(out) : nullptr);
    return hr;
  }

 private:
  I* p_ = nullptr;
};
