#include "Settings.h"

#include "ZKPlatformInfo.h"

namespace host {
namespace settings {

std::string Read(const TextKey& key) {
    std::string value = key.defaultValue;
    ZKPlatformInfo().getString(key.section, key.key, value);
    return value;
}

uint32_t Read(const NumberKey& key) {
    uint32_t value = key.defaultValue;
    Read(ZKPlatformInfo(), key, value);
    return value;
}

bool Read(const ZKPlatformInfo& info, const NumberKey& key, uint32_t& value) {
    return ZKPlatformInfoGetNumber(info, key.section, key.key, value);
}

}  // namespace settings
}  // namespace host
