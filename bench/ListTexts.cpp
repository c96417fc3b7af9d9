#include "ListTexts.h"

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace bench {
namespace {

nlohmann::json Fixture(const std::string& name) {
    std::ifstream in(std::string(GCSDK_FIXTURES_DIR) + "/" + name);
    if (!in) throw std::runtime_error("cannot read the fixture " + name);
    std::stringstream content;
    content << in.rdbuf();
    return nlohmann::json::parse(content.str());
}

// count elements taken from the samples in turn, each given its number by vary.
ListText Make(nlohmann::json list, const std::string& listKey, const std::vector<nlohmann::json>& samples,
              size_t count, const std::function<void(nlohmann::json&, size_t)>& vary) {
    list[listKey] = nlohmann::json::array();
    for (size_t i = 0; i < count; ++i) {
        nlohmann::json copy = samples[i % samples.size()];
        vary(copy, i);
        list[listKey].push_back(std::move(copy));
    }
    return ListText{list.dump(), listKey, count};
}

std::vector<nlohmann::json> Items(const nlohmann::json& fixture, const std::string& key) {
    return std::vector<nlohmann::json>(fixture[key].begin(), fixture[key].end());
}

}  // namespace

const ListText& InstanceList() {
    static const ListText list = [] {
        const nlohmann::json fixture = Fixture("compute/instances-list-two-disks-metadata.json");
        return Make(
            {{"kind", "compute#instanceList"}, {"id", "projects/bench-project/zones/us-west1-a/instances"}},
            "items", {fixture["items"][0]}, 500, [](nlohmann::json& vm, size_t i) {
                vm["name"] = "backup-target-" + std::to_string(i);
                vm["id"] = std::to_string(4100000000000000000ULL + i * 7919);
            });
    }();
    return list;
}

const ListText& SqlInstanceList() {
    static const ListText list = [] {
        std::vector<nlohmann::json> samples =
            Items(Fixture("sqladmin/instances-list-mysql-six.json"), "items");
        for (const auto& item : Items(Fixture("sqladmin/instances-list-postgres-mysql.json"), "items"))
            samples.push_back(item);
        return Make({{"kind", "sql#instancesList"}}, "items", samples, 300, [](nlohmann::json& db, size_t i) {
            const std::string name = "bench-db-" + std::to_string(i);
            db["name"] = name;
            db["connectionName"] = "bench-project:" + db.value("region", "us-central1") + ":" + name;
        });
    }();
    return list;
}

const ListText& SpannerDatabaseList() {
    static const ListText list = [] {
        const auto samples = Items(Fixture("spanner/databases-list.json"), "databases");
        return Make(nlohmann::json::object(), "databases", samples, 20000, [](nlohmann::json& db, size_t i) {
            db["name"] = "projects/bench-project/instances/spanner-instance-" + std::to_string(i / 100) +
                         "/databases/bench-database-" + std::to_string(i);
        });
    }();
    return list;
}

}  // namespace bench
