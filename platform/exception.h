// Exception classes of our small application framework.
//
// Every failure in the system is an exception derived from Exception. It carries a message,
// reports its class name (the error box shows it) and remembers the code address at which it was
// raised, so the report can say where a failure happened. Raise it with Raise<E>(...), which
// records the caller's address; a plain `throw E(...)` records none.
#pragma once

#include <string>
#include <utility>

class Exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  virtual ~Exception() = default;

  const std::string& Message() const { return message_; }
  virtual const char* ClassName() const { return "Exception"; }

  // Code address of the raise, or nullptr when raised without Raise<>.
  const void* Address() const { return address_; }
  void SetAddress(const void* address) { address_ = address; }

 private:
  std::string message_;
  const void* address_ = nullptr;
};

#define BRANNOCK_EXCEPTION_CLASS(Name, Base)                 \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  }

// Stream and resource classes of the framework.
BRANNOCK_EXCEPTION_CLASS(EResNotFound, Exception);
BRANNOCK_EXCEPTION_CLASS(EStreamError, Exception);
BRANNOCK_EXCEPTION_CLASS(EFCreateError, EStreamError);
BRANNOCK_EXCEPTION_CLASS(EFilerError, EStreamError);
BRANNOCK_EXCEPTION_CLASS(EWriteError, EFilerError);

// Throws E(args...) carrying the address of the code that called Raise. Never inlined, so the
// return address is the raise site in the caller.
template <class E, class... Args>
[[noreturn]] __attribute__((noinline)) void Raise(Args&&... args) {
  E error(std::forward<Args>(args)...);
  error.SetAddress(__builtin_extract_return_addr(__builtin_return_address(0)));
  throw error;
}
