#pragma once
// Exception base classes of the runtime. Every failure of the framework and
// of the component layer is a C++ exception derived from dac::Exception,
// thrown by value and caught by reference.

#include <exception>
#include <memory>
#include <string>

namespace dac {

class Exception : public std::exception {
 public:
  Exception() = default;
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  Exception(const Exception&) = default;
  Exception& operator=(const Exception&) = default;
  ~Exception() override = default;

  const std::string& Message() const { return FMessage; }
  // Callers extend a caught exception's text and raise the same object again.
  void SetMessage(std::string message) { FMessage = std::move(message); }
  const char* what() const noexcept override { return FMessage.c_str(); }

  // A deep copy with the dynamic type kept, for code that must hold on to an
  // exception after its handler ends.
  virtual std::unique_ptr<Exception> Clone() const { return std::make_unique<Exception>(*this); }
  // Throws a copy with the dynamic type kept (the counterpart of Clone).
  [[noreturn]] virtual void Raise() const { throw *this; }

 private:
  std::string FMessage;
};

// Declares an exception class that adds nothing but its type.
#define DAC_DECLARE_EXCEPTION(Name, Base)                                                    \
  class Name : public Base {                                                                 \
   public:                                                                                   \
    using Base::Base;                                                                        \
    std::unique_ptr<::dac::Exception> Clone() const override { return std::make_unique<Name>(*this); } \
    [[noreturn]] void Raise() const override { throw *this; }                                \
  }

// The silent exception: the application's handler ignores it.
DAC_DECLARE_EXCEPTION(EAbort, Exception);
DAC_DECLARE_EXCEPTION(EConvertError, Exception);
DAC_DECLARE_EXCEPTION(EVariantError, Exception);
DAC_DECLARE_EXCEPTION(EListError, Exception);
DAC_DECLARE_EXCEPTION(EStringListError, EListError);
DAC_DECLARE_EXCEPTION(EStreamError, Exception);
DAC_DECLARE_EXCEPTION(EReadError, EStreamError);
DAC_DECLARE_EXCEPTION(EWriteError, EStreamError);
DAC_DECLARE_EXCEPTION(EFOpenError, EStreamError);
DAC_DECLARE_EXCEPTION(EFCreateError, EStreamError);
DAC_DECLARE_EXCEPTION(EComponentError, Exception);
DAC_DECLARE_EXCEPTION(EOSError, Exception);
// The platform's I/O error (file output, the trace file).
DAC_DECLARE_EXCEPTION(EInOutError, Exception);
DAC_DECLARE_EXCEPTION(EOutOfMemory, Exception);
DAC_DECLARE_EXCEPTION(EInvalidOperation, Exception);
DAC_DECLARE_EXCEPTION(EInvalidCast, Exception);
DAC_DECLARE_EXCEPTION(EIntOverflow, Exception);
DAC_DECLARE_EXCEPTION(EZeroDivide, Exception);
// Base of every database error of the framework and the component layer.
DAC_DECLARE_EXCEPTION(EDatabaseError, Exception);

// Raises the silent exception.
[[noreturn]] void Abort();

}  // namespace dac
