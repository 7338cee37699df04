#pragma once
// Composition of error messages: joining parts, describing the component on
// whose behalf a call failed, and the texts that belong to engine statuses.
// None of these raises.

#include <cstdint>
#include <string>
#include <string_view>

#include "errors/status_tables.h"

namespace dac {

class TComponent;

// ". " when text has at least two characters and ends neither with "." nor
// with ". "; otherwise the empty string.
std::string ErrorSeparator(std::string_view text);

// text + ErrorSeparator(text) + part. An empty part is not appended, so a
// message never ends with a dangling separator.
void AppendWithSeparator(std::string& text, std::string_view part);

// "Component is NAME, owned by OWNER" (the owner part only for a named
// owner), or "Cannot name the component" for an unnamed component; empty for
// no component.
std::string DescribeComponent(const TComponent* component);

// Table name, session name, then component and owner, joined with
// separators; empty for no component.
std::string DescribeDrmComponent(const TComponent* component);

// The status text followed by the description of the component the failure
// concerns. For a temporary database that is the dataset using it (found
// among its attached datasets or, failing that, in the application's
// component tree).
std::string DescribeDrmError(int32_t status, const TComponent* component);

// The number reported as the native error of an engine status.
int32_t DrmNativeError(int32_t status);

// The engine's own text for a status in a session (0xFFFFFFFF: no session),
// trimmed of leading and trailing blanks and control characters.
std::string ExtendedErrorText(uint32_t sesID, int32_t status);

// Where ExtendedErrorText gets its text. The default source is the engine
// library's RareGetExtErrStr when the engine library is linked into the
// program, and the empty text otherwise. Tests and tools install their own
// source; nullptr restores the default. Returns the source replaced.
using TExtendedErrorTextSource = int32_t (*)(uint32_t hSession, int32_t status, char* buffer, uint32_t bufferSize,
                                             uint32_t* length);
TExtendedErrorTextSource SetExtendedErrorTextSource(TExtendedErrorTextSource source);

}  // namespace dac
