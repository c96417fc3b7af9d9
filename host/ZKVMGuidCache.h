// Where each VM GUID was last seen (project, region, zone), kept in SQLite: one store per cache
// name, persisted across processes, intact after a crash in the middle of a write, safe when several
// processes use it at once. The database is the settings' sGuidCacheFile, else guidcache.db under
// dBASEHOME, else under the user's cache folder.
#pragma once

#include <memory>
#include <string>

#include "HostApi.h"

class HOST_API ZKVMGuidCache {
public:
    explicit ZKVMGuidCache(const std::string& name);
    ~ZKVMGuidCache();
    ZKVMGuidCache(const ZKVMGuidCache&) = delete;
    ZKVMGuidCache& operator=(const ZKVMGuidCache&) = delete;

    // Opens (creating when needed) the store; true when the cache is usable.
    bool Init();
    // True with the location when the GUID is cached.
    bool LookupGuidCache(const std::string& guid, std::string& project, std::string& region,
                         std::string& zone);
    // Stores or replaces an entry.
    bool CacheGuid(const std::string& guid, const std::string& project, const std::string& region,
                   const std::string& zone);
    // Removes an entry; true also when there was none.
    bool InvalidateGuidFromCache(const std::string& guid);

    const std::string& GetName() const { return m_name; }
    // The database file in use after Init.
    std::string GetStorePath() const;

private:
    struct Store;
    std::string m_name;
    std::unique_ptr<Store> m_store;
};
