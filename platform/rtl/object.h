#pragma once
// The root of the object model: TObject and TPersistent.
//
// Objects that take part in the framework's two-phase lifetime derive from
// TObject. A heap object whose class overrides AfterConstruction or
// BeforeDestruction is made with a creation helper (Create<T> for
// components, MakeObject<T> otherwise) and ended with Free(); C++
// constructors and destructors only acquire and release memory.

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/rtl/scope_guard.h"

namespace dac {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  // Runs after the most-derived constructor, when virtual calls reach the
  // final class.
  virtual void AfterConstruction() {}
  // Runs before the object is deleted, while virtual calls still reach the
  // final class.
  virtual void BeforeDestruction() {}

  // Runs BeforeDestruction, then deletes the object. The object is deleted
  // even when BeforeDestruction raises; the exception is passed on.
  // Must not be called on a null pointer: use FreeAndNil or FreeObject.
  void Free();

  // The class name without namespace, e.g. "TStringList".
  std::string ClassName() const;
};

// Frees obj when it is not null.
inline void FreeObject(TObject* obj) {
  if (obj != nullptr) obj->Free();
}

// Sets p to null first, then frees what it pointed to (safe on null).
template <class T>
void FreeAndNil(T*& p) {
  T* q = p;
  p = nullptr;
  if (q != nullptr) q->Free();
}

// Deleter that ends an object through Free(), so that a std::unique_ptr can
// hold an unowned component or any TObject with a two-phase lifetime. It
// runs inside destructors, so a failure of Free() is reported through the
// clean-up failure handler instead of ending the process.
struct TFreeDeleter {
  void operator()(TObject* p) const noexcept { CleanupStep([p] { FreeObject(p); }); }
};
template <class T>
using TFreePtr = std::unique_ptr<T, TFreeDeleter>;

// Constructs a T, runs its AfterConstruction and hands it over in a
// TFreePtr. If AfterConstruction raises, the object is freed and the
// exception passed on.
template <class T, class... A>
TFreePtr<T> MakeObject(A&&... args) {
  TFreePtr<T> p(new T(std::forward<A>(args)...));
  p->AfterConstruction();
  return p;
}

// Event without arguments beyond the sender.
using TNotifyEvent = std::function<void(TObject* Sender)>;

// An object that can copy its state from another with Assign.
class TPersistent : public TObject {
 public:
  // Copies source into this object. The base asks source to assign itself
  // to this object (AssignTo); a pair that cannot be assigned raises
  // EConvertError "Cannot assign a <source class> to a <target class>".
  virtual void Assign(TPersistent* Source);
  // The object that owns this one (a collection for an item, a component
  // for an owned collection), or null.
  virtual TPersistent* GetOwner() { return nullptr; }
  // A dotted path naming this object, for messages.
  virtual std::string GetNamePath();

 protected:
  // Counterpart of Assign: copies this object into Dest. The base raises
  // the assign error.
  virtual void AssignTo(TPersistent* Dest);
  // Raises EConvertError naming source's class (or "nil") and this class.
  [[noreturn]] void AssignError(TPersistent* Source);
};

}  // namespace dac
