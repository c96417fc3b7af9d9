// Values put into URLs: identifiers stay as they are, anything that could change the URL is encoded.
#include <gtest/gtest.h>

#include "GoogleCloudConnection/UrlComposition.h"

namespace {

namespace url = GoogleCloudSDKWrapper::url;

struct Case {
    const char* value;
    const char* segment;
    const char* resourceName;
    const char* queryValue;
    const char* objectPath = nullptr;  // checked where given
};

TEST(UrlComposition, EncodesOnlyWhatIsUnsafeWhereTheValueGoes) {
    const Case cases[] = {
        // Google identifiers go out byte for byte.
        {"us-central1-a", "us-central1-a", "us-central1-a", "us-central1-a"},
        {"1234567890123", "1234567890123", "1234567890123", "1234567890123"},
        {"example.com:my-project", "example.com:my-project", "example.com:my-project",
         "example.com:my-project"},
        {"sa@p.iam.gserviceaccount.com", "sa@p.iam.gserviceaccount.com", "sa@p.iam.gserviceaccount.com",
         "sa@p.iam.gserviceaccount.com"},
        {"projects/p/locations/global/keyRings/r", "projects%2Fp%2Flocations%2Fglobal%2FkeyRings%2Fr",
         "projects/p/locations/global/keyRings/r", "projects/p/locations/global/keyRings/r"},
        {"https://www.googleapis.com/compute/v1/projects/p/global/networks/default",
         "https:%2F%2Fwww.googleapis.com%2Fcompute%2Fv1%2Fprojects%2Fp%2Fglobal%2Fnetworks%2Fdefault",
         "https://www.googleapis.com/compute/v1/projects/p/global/networks/default",
         "https://www.googleapis.com/compute/v1/projects/p/global/networks/default"},
        // Values that would add a parameter, cut the URL or change its meaning.
        {"a&b=c", "a&b=c", "a&b=c", "a%26b%3Dc"},
        {"a#frag", "a%23frag", "a%23frag", "a%23frag"},
        {"a?q=1", "a%3Fq=1", "a%3Fq=1", "a%3Fq%3D1"},
        {"50%", "50%25", "50%25", "50%25"},
        {"two words", "two%20words", "two%20words", "two%20words"},
        {"a+b;c", "a+b;c", "a+b;c", "a%2Bb%3Bc"},
        {"line\nbreak\x01", "line%0Abreak%01", "line%0Abreak%01", "line%0Abreak%01"},
        {"caf\xc3\xa9", "caf%C3%A9", "caf%C3%A9", "caf%C3%A9"},
        {"<\"{|}\\^`[]>", "%3C%22%7B%7C%7D%5C%5E%60%5B%5D%3E", "%3C%22%7B%7C%7D%5C%5E%60%5B%5D%3E",
         "%3C%22%7B%7C%7D%5C%5E%60%5B%5D%3E"},
        // Dot segments would be folded away by the client.
        {"..", "%2E%2E", "%2E%2E", ".."},
        {"a/../b", "a%2F%2E%2E%2Fb", "a/%2E%2E/b", "a/../b"},
        {"v1.2", "v1.2", "v1.2", "v1.2"},
        // Cloud Storage object names: everything but unreserved characters and '/' encoded.
        {"dir//a+b&c=d;e?f%g h.json", "dir%2F%2Fa+b&c=d;e%3Ff%25g%20h.json", "dir//a+b&c=d;e%3Ff%25g%20h.json",
         "dir//a%2Bb%26c%3Dd%3Be%3Ff%25g%20h.json", "dir//a%2Bb%26c%3Dd%3Be%3Ff%25g%20h.json"},
        {"x/./y", "x%2F%2E%2Fy", "x/%2E/y", "x/./y", "x/%2E/y"},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        if (c.objectPath) {
            EXPECT_EQ(url::ObjectPath(c.value), c.objectPath) << c.value;
        }
        EXPECT_EQ(url::Segment(c.value), c.segment) << c.value;
        EXPECT_EQ(url::ResourceName(c.value), c.resourceName) << c.value;
        EXPECT_EQ(url::QueryValue(c.value), c.queryValue) << c.value;
    }
}

}  // namespace
