#include "errors/error_text.h"

#include <cstring>
#include <vector>

#include "engine/drm.h"
#include "errors/error_interfaces.h"
#include "errors/messages.h"
#include "platform/rtl/component.h"
#include "platform/rtl/format.h"
#include "platform/rtl/text.h"

namespace dac {
namespace {

constexpr uint32_t kExtendedTextSize = DRM_EXT_ERR_MAX;

TExtendedErrorTextSource GExtendedTextSource = nullptr;

int32_t EngineExtendedText(uint32_t hSession, int32_t status, char* buffer, uint32_t bufferSize, uint32_t* length) {
  return RareGetExtErrStr(hSession, status, buffer, bufferSize, length);
}

// The owner part of a description: ", owned by OWNER" for a named owner.
std::string OwnerPart(const TComponent* component) {
  const TComponent* owner = component->Owner();
  if (owner == nullptr || owner->Name().empty()) return std::string();
  return std::string(SOwnerJoin) + Format(SOwnedBy, owner->Name());
}

// The last-to-first, depth-first search of a component tree for the table
// component that names the database: tables are compared and not entered.
const TComponent* FindTableUsingDatabase(const TComponent* parent, const std::string& databaseName) {
  for (int32_t i = parent->ComponentCount() - 1; i >= 0; --i) {
    const TComponent* child = parent->Components(i);
    if (child == nullptr) continue;
    if (const auto* table = dynamic_cast<const IPvTableDescription*>(child)) {
      if (table->DescDatabaseName() == databaseName) return child;
      continue;
    }
    if (const TComponent* found = FindTableUsingDatabase(child, databaseName)) return found;
  }
  return nullptr;
}

}  // namespace

// The application object registers itself as the root when it is made.
void SetApplicationRoot(TComponent* root) { SetApplicationRootComponent(root); }

TComponent* ApplicationRoot() { return ApplicationRootComponent(); }

namespace {
// Characters, not bytes, of UTF-8 text: continuation bytes do not count.
size_t CharacterCount(std::string_view text) {
  size_t n = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}
}  // namespace

std::string ErrorSeparator(std::string_view text) {
  if (CharacterCount(text) < 2) return std::string();
  if (text.back() == '.') return std::string();
  if (text.substr(text.size() - 2) == ". ") return std::string();
  return SErrorSeparator;
}

void AppendWithSeparator(std::string& text, std::string_view part) {
  if (part.empty()) return;
  text += ErrorSeparator(text);
  text += part;
}

std::string DescribeComponent(const TComponent* component) {
  std::string text;
  if (component == nullptr) return text;
  if (!component->Name().empty()) {
    AppendWithSeparator(text, Format(SComponentIs, component->Name()));
    text += OwnerPart(component);
  } else {
    AppendWithSeparator(text, SCannotNameComponent);
  }
  return text;
}

std::string DescribeDrmComponent(const TComponent* component) {
  std::string text;
  if (component == nullptr) return text;
  if (const auto* table = dynamic_cast<const IPvTableDescription*>(component)) {
    std::string tableName = table->DescTableName();
    if (!tableName.empty()) AppendWithSeparator(text, Format(STableNameIs, tableName));
  }
  if (const auto* session = dynamic_cast<const IPvSessionDescription*>(component)) {
    std::string sessionName = session->DescSessionName();
    if (!sessionName.empty()) AppendWithSeparator(text, Format(SSessionNameIs, sessionName));
  }
  if (!component->Name().empty())
    AppendWithSeparator(text, Format(SComponentIs, component->Name()) + OwnerPart(component));
  else
    AppendWithSeparator(text, SCannotNameComponent);
  return text;
}

std::string DescribeDrmError(int32_t status, const TComponent* component) {
  std::string text = DrmStatusText(status);
  const TComponent* described = component;
  const auto* database = dynamic_cast<const IPvDatabaseDescription*>(component);
  if (database != nullptr && database->DescIsTemporary()) {
    // A temporary database was made for a dataset: describe that dataset,
    // which is what the application knows about.
    if (const TComponent* first = database->DescFirstDataSet()) {
      described = first;
    } else {
      const TComponent* found =
          ApplicationRoot() != nullptr ? FindTableUsingDatabase(ApplicationRoot(), component->Name()) : nullptr;
      if (found != nullptr) {
        described = found;
      } else if (component->Name().empty()) {
        AppendWithSeparator(text, SCannotNameComponent);
        return text;
      }
    }
  }
  AppendWithSeparator(text, DescribeDrmComponent(described));
  return text;
}

int32_t DrmNativeError(int32_t status) {
  if (status >= -3099) return status;
  // 64-bit arithmetic: the most negative statuses must not overflow.
  int64_t b = static_cast<int64_t>(status) + 4999;
  if (b >= 1100 && b <= 1199) return static_cast<int32_t>(b + 900);
  if (b >= 1200 && b <= 1399) return static_cast<int32_t>(b + 1800);
  if (b >= 1400 && b <= 1499) return static_cast<int32_t>(b + 5600);
  if (b >= 1500 && b <= 1599) return static_cast<int32_t>(b + 6500);
  return static_cast<int32_t>(b);
}

std::string ExtendedErrorText(uint32_t sesID, int32_t status) {
  // Zeroed, and read only up to the buffer's end, so that a source that
  // writes nothing or forgets the NUL still gives a bounded text.
  std::vector<char> buffer(kExtendedTextSize, '\0');
  uint32_t length = 0;
  TExtendedErrorTextSource source = GExtendedTextSource ? GExtendedTextSource : &EngineExtendedText;
  source(sesID, status, buffer.data(), kExtendedTextSize, &length);
  size_t n = strnlen(buffer.data(), buffer.size());
  return Trim(std::string_view(buffer.data(), n));
}

TExtendedErrorTextSource SetExtendedErrorTextSource(TExtendedErrorTextSource source) {
  TExtendedErrorTextSource previous = GExtendedTextSource;
  GExtendedTextSource = source;
  return previous;
}

}  // namespace dac
