// The list texts the parse benchmark reads: each made from real captured elements
// (tests/data/fixtures), repeated with varied names and ids, written compactly, about 2 MB each.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

struct ListText {
    std::string text;
    std::string listKey;  // the array member holding the elements
    size_t elements = 0;
};

// Compute Engine instances: 500 copies of the two-disk instance with metadata.
const ListText& InstanceList();
// Cloud SQL instances: the six MySQL instances and the PostgreSQL and MySQL pair, in turn, 300 in all.
const ListText& SqlInstanceList();
// Cloud Spanner databases: the four captured databases in turn, 20000 in all.
const ListText& SpannerDatabaseList();

}  // namespace bench
