#include "emulator/ComputeLists.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <stdexcept>

#include "emulator/ComputeFilter.h"
#include "emulator/ComputeModel.h"
#include "emulator/Encoding.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;

namespace {

constexpr size_t kMacBytes = 12;

std::string TokenMac(const std::string& scope, const std::string& key) {
    static const std::string kSecret = RandomUrlSafe(32);
    const std::string data = scope + '\n' + key;
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), kSecret.data(), static_cast<int>(kSecret.size()),
         reinterpret_cast<const unsigned char*>(data.data()), data.size(), mac, &length);
    return std::string(reinterpret_cast<const char*>(mac), kMacBytes);
}

std::string MakePageToken(const std::string& scope, const std::string& lastKey) {
    return Base64UrlEncode(TokenMac(scope, lastKey) + lastKey);
}

// The key a token resumes after; false for a token this process did not make for the scope.
bool ReadPageToken(const std::string& token, const std::string& scope, std::string& lastKey) {
    const std::optional<std::string> bytes = Base64UrlDecode(token);
    if (!bytes || bytes->size() <= kMacBytes) return false;
    lastKey = bytes->substr(kMacBytes);
    const std::string expected = TokenMac(scope, lastKey);
    return CRYPTO_memcmp(expected.data(), bytes->data(), kMacBytes) == 0;
}

bool ReadMaxResults(const Request& request, int& maxResults) {
    maxResults = kMaxResults;
    if (!request.HasQuery("maxResults")) return true;
    const std::string text = request.Query("maxResults");
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int value = std::stoi(text);
    if (value > kMaxResults) return false;
    if (value > 0) maxResults = value;
    return true;
}

}  // namespace

bool SlicePage(const KeyedResources& items, size_t pageSize, const std::string& pageToken,
               const std::string& scope, PageSlice& slice) {
    auto start = items.begin();
    if (!pageToken.empty()) {
        std::string lastKey;
        if (!ReadPageToken(pageToken, scope, lastKey)) return false;
        start = std::upper_bound(items.begin(), items.end(), lastKey,
                                 [](const std::string& key, const auto& item) { return key < item.first; });
    }
    if (pageSize == 0) pageSize = 1;
    const size_t available = static_cast<size_t>(items.end() - start);
    const auto end = start + static_cast<std::ptrdiff_t>(std::min(pageSize, available));
    for (auto it = start; it != end; ++it) slice.items.push_back(it->second);
    if (end != items.end()) slice.nextPageToken = MakePageToken(scope, (end - 1)->first);
    return true;
}

bool ComputeListPage(const EmulatorContext& context, const Request& request, const std::string& listName,
                     const KeyedResources& items, PageSlice& slice, Response& refusal) {
    const std::string filterText = request.Query("filter");
    std::vector<ComputeFilter> filter;
    try {
        filter.emplace_back(filterText);
    } catch (const std::invalid_argument&) {
        refusal = ComputeInvalidResponse("Invalid value for field 'filter': '" + filterText +
                                         "'. Invalid list filter expression.");
        return false;
    }
    int maxResults = 0;
    if (!ReadMaxResults(request, maxResults)) {
        refusal = ComputeInvalidResponse("Invalid value for field 'maxResults': '" +
                                         request.Query("maxResults") + "'. Must be in the range [0, 500].");
        return false;
    }
    const int emulatorPage = context.options.pageSize > 0 ? context.options.pageSize : kMaxResults;
    const size_t pageSize = static_cast<size_t>(std::min(maxResults, emulatorPage));

    KeyedResources matching;
    for (const auto& item : items) {
        if (filter.front().Matches(*item.second)) matching.push_back(item);
    }
    const std::string pageToken = request.Query("pageToken");
    if (SlicePage(matching, pageSize, pageToken, listName + '\n' + filterText, slice)) return true;
    refusal = ComputeInvalidResponse("Invalid value for field 'pageToken': '" + pageToken +
                                     "'. Invalid page token.");
    return false;
}

Response ComputeListResponse(const EmulatorContext& context, const Request& request, const std::string& kind,
                             const std::string& listName, const KeyedResources& items) {
    PageSlice slice;
    Response refusal;
    if (!ComputeListPage(context, request, listName, items, slice, refusal)) return refusal;

    mObject body;
    if (!kind.empty()) body["kind"] = kind;
    body["id"] = listName;
    body["selfLink"] = ComputeUrl(listName);
    if (!slice.items.empty()) {
        mArray list;
        for (const mObject* item : slice.items) list.push_back(*item);
        body["items"] = std::move(list);
    }
    if (!slice.nextPageToken.empty()) body["nextPageToken"] = slice.nextPageToken;
    return Response::Json(body);
}

bool ExpandTail(const std::string& tail, const Request& request, std::string& relativeName) {
    const std::string text = "projects/{project}/" + tail;
    relativeName.clear();
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find('{', at);
        if (open == std::string::npos) {
            relativeName += text.substr(at);
            break;
        }
        const size_t close = text.find('}', open);
        const std::string value = request.Param(text.substr(open + 1, close - open - 1));
        if (value.find('/') != std::string::npos) return false;
        relativeName += text.substr(at, open - at) + value;
        at = close + 1;
    }
    return true;
}

void AddGetRoute(Router& router, EmulatorContext& context, const std::string& tail, const char* collection,
                 bool publishers) {
    router.Add(hosts::kCompute, "GET", "/compute/v1/projects/{project}/" + tail,
               [&context, tail, collection, publishers](const Request& request, Response& response) {
                   std::string name;
                   if (!ExpandTail(tail, request, name)) {
                       response = ComputeNotFoundResponse(request.path);
                       return;
                   }
                   World::Txn world = context.world.Lock();
                   const std::string missing = MissingParent(world, name, publishers);
                   // Reading a resource is what moves the operations that change it along.
                   if (missing.empty()) context.operations.Observe(world, name);
                   const mObject* resource = missing.empty() ? world.Find(collection, name) : nullptr;
                   response = resource          ? Response::Json(*resource)
                              : missing.empty() ? ComputeNotFoundResponse(name)
                                                : ComputeMissingResponse(missing, name);
               });
}

void AddListRoute(Router& router, EmulatorContext& context, const std::string& tail, const char* collection,
                  const char* kind, bool publishers) {
    router.Add(hosts::kCompute, "GET", "/compute/v1/projects/{project}/" + tail,
               [&context, tail, collection, kind, publishers](const Request& request, Response& response) {
                   std::string listName;
                   if (!ExpandTail(tail, request, listName)) {
                       response = ComputeNotFoundResponse(request.path);
                       return;
                   }
                   World::Txn world = context.world.Lock();
                   const std::string missing = MissingParent(world, listName, publishers);
                   if (!missing.empty()) {
                       response = ComputeMissingResponse(missing, listName);
                       return;
                   }
                   KeyedResources items;
                   for (const auto& [key, resource] : world.List(collection, listName + "/"))
                       items.emplace_back(key, resource);
                   response = ComputeListResponse(context, request, kind, listName, items);
               });
}

}  // namespace gcemu
