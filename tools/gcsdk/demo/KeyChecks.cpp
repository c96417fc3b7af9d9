#include "demo/KeyChecks.h"

#include <algorithm>

namespace gcsdk {
namespace demo {

std::string JudgeDiskKeys(const std::vector<DiskKey>& keys, const DiskKey& refused) {
    for (const DiskKey& key : keys)
        if (!key.supported) return "the key of disk " + key.disk + " is not supported: " + key.reason;
    if (std::none_of(keys.begin(), keys.end(), [](const DiskKey& key) { return !key.keyPath.empty(); }))
        return "no disk has a Cloud KMS key";
    if (refused.supported)
        return "the " + refused.protectionLevel + " key " + refused.keyPath + " was accepted";
    if (refused.reason.empty()) return "the key " + refused.keyPath + " was refused without a reason";
    return "";
}

std::string DiskKeyText(const DiskKey& key) {
    if (!key.encrypted) return key.disk + ": no key";
    std::string text = key.disk + ": " + (key.keyType.empty() ? "a key" : key.keyType);
    if (!key.keyPath.empty()) text += " " + key.keyPath;
    if (!key.state.empty() || !key.protectionLevel.empty())
        text += " (" + key.state + (key.state.empty() || key.protectionLevel.empty() ? "" : ", ") +
                key.protectionLevel + ")";
    return text + (key.supported ? ", supported" : ", not supported: " + key.reason);
}

}  // namespace demo
}  // namespace gcsdk
