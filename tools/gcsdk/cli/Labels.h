// Labels as a command line gives them (KEY=VALUE, --remove KEY), checked before a request goes out, the
// labels a change leaves, and labels compared without regard to order.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace gcsdk {

using LabelList = std::vector<std::pair<std::string, std::string>>;

// Compute Engine's rule for labels, for messages.
extern const char kLabelRule[];

// A key starts with a lowercase letter (or an international character); keys and values hold lowercase
// letters, digits, '_', '-' and international characters, at most 63 of them; a value may be empty.
bool IsLabelKey(const std::string& key);
bool IsLabelValue(const std::string& value);

// The labels to set (KEY=VALUE each) and the keys to remove, checked: each well formed, no key given
// twice, none both set and removed, at least one change. false with the reason.
bool ReadLabelChanges(const std::vector<std::string>& pairs, const std::vector<std::string>& removals,
                      LabelList& set, std::string& error);

// The labels after the change: the current ones in their order with the new values, the new keys after
// them, the removed keys left out (a key that is not there is no mistake: it is gone).
LabelList ChangedLabels(const LabelList& current, const LabelList& set,
                        const std::vector<std::string>& removals);

// How actual differs from expected, order aside: "env=dev, expected env=prod", "app missing",
// "extra=1 not expected"; empty when they are the same.
std::vector<std::string> LabelDifferences(const LabelList& expected, const LabelList& actual);

}  // namespace gcsdk
