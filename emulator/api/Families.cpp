// The list of API families the emulator serves: adding a family is adding its file under api/ and one
// line here. Families seed in this order, so a family may use what the ones before it seeded.
#include <memory>
#include <vector>

#include "emulator/ApiFamily.h"

#define GCEMU_API_FAMILIES(X)      \
    X(ControlApi)                  \
    X(OAuthTokenApi)               \
    X(ComputeProjectsApi)          \
    X(ResourceManagerApi)          \
    X(KmsApi)                      \
    X(ComputeLocationsApi)         \
    X(ComputeImagesApi)            \
    X(ComputeNetworksApi)          \
    X(ComputeNodeGroupsApi)        \
    X(ComputeDisksApi)             \
    X(ComputeInstancesApi)         \
    X(ComputeOperationsApi)        \
    X(ComputeDiskMutationsApi)     \
    X(ComputeInstanceMutationsApi) \
    X(StorageApi)                  \
    X(SqlAdminApi)                 \
    X(SpannerApi)                  \
    X(DataflowApi)

namespace gcemu {

#define GCEMU_DECLARE(name) std::unique_ptr<ApiFamily> Make##name();
GCEMU_API_FAMILIES(GCEMU_DECLARE)
#undef GCEMU_DECLARE

std::vector<std::unique_ptr<ApiFamily>> MakeApiFamilies() {
    std::vector<std::unique_ptr<ApiFamily>> families;
#define GCEMU_MAKE(name) families.push_back(Make##name());
    GCEMU_API_FAMILIES(GCEMU_MAKE)
#undef GCEMU_MAKE
    return families;
}

}  // namespace gcemu
