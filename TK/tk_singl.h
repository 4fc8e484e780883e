// One process-wide instance of a class: derive T from tk_singleton<T>.
//
// Constructing a second instance, destroying a missing one and asking for a
// missing one are internal errors (tk_mail_assertion).
#pragma once

#include <exception>

#include "TK/tk_excep.h"

template <class T>
class tk_singleton {
 public:
  // The instance, for the system's classes.
  static T& instance() {
    if (!s_instance) throw tk_mail_assertion("tk_singl", 59);
    return *static_cast<T*>(s_instance);
  }
  // The instance, for the trace writers and the back ends' exceptions.
  static T& get_instance() {
    if (!s_instance) throw tk_mail_assertion("tk_singl", 66);
    return *static_cast<T*>(s_instance);
  }
  // The instance or null, without a check.
  static T* instance_ptr() { return s_instance ? static_cast<T*>(s_instance) : nullptr; }
  static bool exists() { return s_instance != nullptr; }

  tk_singleton(const tk_singleton&) = delete;
  tk_singleton& operator=(const tk_singleton&) = delete;

 protected:
  tk_singleton() {
    if (s_instance) throw tk_mail_assertion("tk_singl", 35);
    s_instance = this;
  }
  // Destroying a missing instance cannot happen once the constructor has run;
  // should it, the internal error is logged and the process ends (a destructor
  // must not throw: instances are destroyed while exceptions unwind).
  ~tk_singleton() {
    if (!s_instance) {
      tk_mail_assertion failed("tk_singl", 46);
      std::terminate();
    }
    s_instance = nullptr;
  }

 private:
  // The base part of the instance; the cast to T waits until it is fully built.
  static inline tk_singleton* s_instance = nullptr;
};
