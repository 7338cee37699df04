#pragma once
// Test doubles for the components the error texts describe.

#include <cstring>
#include <string>

#include "errors/error_interfaces.h"
#include "errors/error_text.h"
#include "platform/rtl/component.h"

namespace dac::test {

class TFakeForm : public TComponent {};

class TFakeTable : public TComponent, public IPvTableDescription {
 public:
  std::string FTableName;
  std::string FDatabaseName;
  std::string DescTableName() const override { return FTableName; }
  std::string DescDatabaseName() const override { return FDatabaseName; }
};

class TFakeSession : public TComponent, public IPvSessionDescription {
 public:
  std::string FSessionName;
  uint32_t FHandle = 0;
  std::string DescSessionName() const override { return FSessionName; }
  uint32_t DescSessionHandle() const override { return FHandle; }
};

class TFakeDatabase : public TComponent, public IPvDatabaseDescription {
 public:
  bool FTemporary = false;
  TComponent* FFirstDataSet = nullptr;
  bool DescIsTemporary() const override { return FTemporary; }
  TComponent* DescFirstDataSet() const override { return FFirstDataSet; }
};

// An extended-text source that records what it was asked and answers
// GExtText. Installed by TExtTextScope for one test.
inline uint32_t GExtSession = 0;
inline int32_t GExtStatus = 0;
inline std::string GExtText;
inline int32_t RecordingExtTextSource(uint32_t hSession, int32_t status, char* buffer, uint32_t bufferSize,
                                      uint32_t* length) {
  GExtSession = hSession;
  GExtStatus = status;
  std::strncpy(buffer, GExtText.c_str(), bufferSize - 1);
  *length = static_cast<uint32_t>(GExtText.size());
  return 0;
}
struct TExtTextScope {
  explicit TExtTextScope(std::string text) {
    GExtText = std::move(text);
    GExtSession = 0;
    GExtStatus = 0;
    SetExtendedErrorTextSource(&RecordingExtTextSource);
  }
  ~TExtTextScope() { SetExtendedErrorTextSource(nullptr); }
};

// Makes a named component owned by owner.
template <class T>
T* Make(TComponent* owner, const std::string& name) {
  T* c = Create<T>(owner);
  c->SetName(name);
  return c;
}

}  // namespace dac::test
