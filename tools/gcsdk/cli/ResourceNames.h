// Compute Engine resource names: checked before a request goes out, and made for snapshots.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace gcsdk {

// What a name must look like, for messages.
extern const char kResourceNameRule[];

// [a-z]([-a-z0-9]{0,61}[a-z0-9])?, as Compute Engine requires of disks, snapshots and instances.
bool IsResourceName(const std::string& name);

// A VM's GUID, as Compute Engine gives it: a decimal number (of up to 20 digits: 64 bits).
bool IsGuid(const std::string& text);

// Whether a wildcard pattern ('*', '?', '[...]', '\\' escaping the next character) is well formed; a '['
// that no ']' closes is not. error says what is wrong.
bool IsWellFormedPattern(const std::string& pattern, std::string& error);

// "<prefix><disk>-<yyyymmdd>-<hhmmss>" (UTC), made a valid name: lowercased, other characters as '-', a
// leading "s" when it would not start with a letter, and the prefix and disk name shortened (with a
// short hash of what was cut, so that two long names stay apart) to keep within 63 characters.
std::string SnapshotName(const std::string& prefix, const std::string& diskName, std::time_t when);

// "a,b,,c" as {"a", "b", "c"}.
std::vector<std::string> SplitList(const std::string& text, char separator = ',');

}  // namespace gcsdk
