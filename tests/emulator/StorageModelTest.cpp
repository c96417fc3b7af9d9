// gcemu's Cloud Storage over real TLS: buckets in a global namespace, media uploads and downloads byte for
// byte, listings that collapse "folders", paging, Google's errors (XML on the plain path), world files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "host/ZkJson.h"
#include "tests/support/EmulatorHttpClient.h"
#include "tests/support/TempDir.h"

namespace {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;
using testsupport::HttpReply;

constexpr char kStorage[] = "storage.googleapis.com";
constexpr char kWww[] = "www.googleapis.com";

constexpr char kWorld[] = R"({"projects": [
  {"projectId": "store-p1", "projectNumber": "300000000001", "createTime": "2024-01-02T03:04:05.000Z",
   "buckets": [{"name": "seeded-bucket", "location": "eu", "labels": {"team": "backup"},
                "objects": {"a.txt": "alpha", "logs/2024/01.log": "one", "logs/2024/02.log": "two",
                            "logs/readme": "read me", "photos/x.jpg": "x", "z": ""}}]},
  {"projectId": "store-p2", "buckets": [{"name": "taken-elsewhere", "location": "us-central1"}]},
  {"projectId": "store-empty"}]})";

std::string Text(const mObject& object, const std::string& key) {
    return ZkJson::GetStringValue(object, key);
}

std::vector<std::string> Strings(const mObject& object, const std::string& key,
                                 const char* member = nullptr) {
    std::vector<std::string> values;
    if (const mArray* array = ZkJson::FindArray(object, key)) {
        for (const mValue& value : *array)
            values.push_back(member ? Text(value.get_obj(), member) : value.get_str());
    }
    return values;
}

void ExpectStorageError(const HttpReply& reply, int status, const std::string& message,
                        const std::string& reason) {
    EXPECT_EQ(status, reply.status) << reply.body;
    ASSERT_TRUE(reply.isJson) << reply.body;
    EXPECT_EQ(message, reply.ErrorMessage());
    const mObject& error = reply.json.at("error").get_obj();
    EXPECT_EQ(reason, Text(error.at("errors").get_array().at(0).get_obj(), "reason"));
    EXPECT_FALSE(error.count("status")) << "Cloud Storage's errors carry no status";
}

std::string BucketBody(const std::string& name, const std::string& extra = "") {
    return R"({"kind": "storage#bucket", "name": ")" + name + "\"" + extra + "}";
}

// One emulator for the suite, on the world above, reset before every test.
class StorageModelTest : public ::testing::Test {
protected:
    struct Served {
        testsupport::TempDir dir;
        gcemu::Emulator emulator{Options(dir)};
        std::unique_ptr<testsupport::EmulatorHttpClient> client;

        static gcemu::Emulator::Options Options(const testsupport::TempDir& dir) {
            gcemu::Emulator::Options options;
            options.worldFile = dir.Write("storage.json", kWorld);
            return options;
        }
    };

    static void SetUpTestSuite() {
        s_served = std::make_unique<Served>();
        s_served->emulator.Start();
        s_served->client = std::make_unique<testsupport::EmulatorHttpClient>(
            s_served->emulator, "agent@store-p1.iam.gserviceaccount.com");
    }
    static void TearDownTestSuite() { s_served.reset(); }
    void SetUp() override { s_served->emulator.ResetWorld(); }

    static testsupport::EmulatorHttpClient& client() { return *s_served->client; }

    static HttpReply Upload(const std::string& bucket, const std::string& encodedName,
                            const std::string& bytes, const std::string& contentType = "application/json") {
        return client().Post(
            kStorage, "/upload/storage/v1/b/" + bucket + "/o?name=" + encodedName + "&uploadType=media",
            bytes, contentType);
    }

    inline static std::unique_ptr<Served> s_served;
};

TEST_F(StorageModelTest, BucketsAreGlobalAndListedPerProject) {
    const HttpReply made = client().Post(kStorage, "/storage/v1/b?project=store-p1",
                                         BucketBody("new-bucket", R"(, "location": "us-central1")"));
    ASSERT_EQ(200, made.status) << made.body;
    EXPECT_EQ("US-CENTRAL1", Text(made.json, "location"));
    EXPECT_EQ("300000000001", Text(made.json, "projectNumber"));
    for (const char* host : {kStorage, kWww})
        EXPECT_EQ(made.json, client().Get(host, "/storage/v1/b/new-bucket").json);
    EXPECT_EQ(
        "backup",
        Text(client().Get(kStorage, "/storage/v1/b/seeded-bucket").json.at("labels").get_obj(), "team"));

    // By project id or number; another project's buckets stay out, and an empty list has no items.
    for (const char* project : {"store-p1", "300000000001"}) {
        const HttpReply list = client().Get(kStorage, std::string("/storage/v1/b?project=") + project);
        EXPECT_EQ((std::vector<std::string>{"new-bucket", "seeded-bucket"}),
                  Strings(list.json, "items", "name"));
    }
    const HttpReply empty = client().Get(kStorage, "/storage/v1/b?project=store-empty");
    EXPECT_EQ(200, empty.status);
    EXPECT_FALSE(empty.json.count("items")) << empty.body;

    ExpectStorageError(
        client().Post(kStorage, "/storage/v1/b?project=store-p1", BucketBody("new-bucket")), 409,
        "Your previous request to create the named bucket succeeded and you already own it.", "conflict");
    const HttpReply taken =
        client().Post(kStorage, "/storage/v1/b?project=store-p1", BucketBody("taken-elsewhere"));
    EXPECT_EQ(409, taken.status);
    EXPECT_EQ(0u, taken.ErrorMessage().find("The requested bucket name is not available.")) << taken.body;
    ExpectStorageError(client().Get(kStorage, "/storage/v1/b/no-such-bucket"), 404,
                       "The specified bucket does not exist.", "notFound");

    s_served->emulator.ResetWorld();
    EXPECT_EQ(404, client().Get(kStorage, "/storage/v1/b/new-bucket").status);
}

TEST_F(StorageModelTest, BucketRequestsGoogleRefuses) {
    struct Case {
        std::string query;
        std::string body;
        std::string message;
        std::string reason;
    };
    const Case cases[] = {
        {"project=store-p1", BucketBody("Upper_Case"), "Invalid bucket name: 'Upper_Case'", "invalid"},
        {"project=store-p1", BucketBody("ab"), "Invalid bucket name: 'ab'", "invalid"},
        {"project=store-p1", BucketBody("my-google-bucket"), "Invalid bucket name: 'my-google-bucket'",
         "invalid"},
        {"project=store-p1", BucketBody("192.168.1.1"), "Invalid bucket name: '192.168.1.1'", "invalid"},
        {"project=store-p1", BucketBody("fine-name", R"(, "location": "mars")"),
         "The specified location constraint is not valid.", "invalid"},
        {"project=nope", BucketBody("fine-name"), "Unknown project id: nope", "invalid"},
        {"", BucketBody("fine-name"), "Required parameter: project", "required"},
        {"project=store-p1", "{}", "Required", "required"},
        {"project=store-p1", "not json", "Parse Error", "parseError"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query + " " + c.body);
        ExpectStorageError(client().Post(kStorage, "/storage/v1/b?" + c.query, c.body), 400, c.message,
                           c.reason);
    }
    ExpectStorageError(client().Get(kStorage, "/storage/v1/b?project=nope"), 400, "Unknown project id: nope",
                       "invalid");
}

TEST_F(StorageModelTest, UploadedBytesComeBackOnEveryDownloadPath) {
    std::string binary;
    for (int i = 0; i < 3 * 256; ++i) binary += static_cast<char>(i % 256);  // NULs and invalid UTF-8
    struct Case {
        std::string name;
        std::string inQuery;  // '/' kept
        std::string inPath;   // '/' encoded, for the JSON API
        std::string bytes;
    };
    const Case cases[] = {
        {"blob.bin", "blob.bin", "blob.bin", binary},
        {"dir one/sub dir/file #1.txt", "dir%20one/sub%20dir/file%20%231.txt",
         "dir%20one%2Fsub%20dir%2Ffile%20%231.txt", "hello world"},
        {"empty", "empty", "empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HttpReply uploaded = Upload("seeded-bucket", c.inQuery, c.bytes);
        ASSERT_EQ(200, uploaded.status) << uploaded.body;
        const mObject& object = uploaded.json;
        EXPECT_EQ(c.name, Text(object, "name"));
        EXPECT_EQ("seeded-bucket/" + c.name + "/" + Text(object, "generation"), Text(object, "id"));
        EXPECT_EQ(std::to_string(c.bytes.size()), Text(object, "size"));
        EXPECT_EQ("application/json", Text(object, "contentType"));

        const std::string jsonPath = "/storage/v1/b/seeded-bucket/o/" + c.inPath;
        const std::string mediaLink = Text(object, "mediaLink");
        for (const std::string& path : {"/seeded-bucket/" + c.inQuery, jsonPath + "?alt=media",
                                        mediaLink.substr(mediaLink.find("/download/"))}) {
            const HttpReply media = client().Get(kStorage, path);
            EXPECT_EQ(200, media.status) << path;
            EXPECT_TRUE(media.body == c.bytes) << path << " changed the bytes";
            EXPECT_EQ("application/json", media.Header("Content-Type")) << path;
        }
        EXPECT_EQ(object, client().Get(kWww, jsonPath).json);
    }
    // Google's digests of "hello world".
    const HttpReply hello = client().Get(kStorage, "/storage/v1/b/seeded-bucket/o/" + cases[1].inPath);
    EXPECT_EQ("XrY7u+Ae7tCTyyK7j1rNww==", Text(hello.json, "md5Hash"));
    EXPECT_EQ("yZRlqg==", Text(hello.json, "crc32c"));

    // Another upload replaces the object under a later generation.
    const HttpReply again = Upload("seeded-bucket", "blob.bin", "v2", "application/octet-stream");
    EXPECT_GT(std::stoull(Text(again.json, "generation")), std::stoull(Text(hello.json, "generation")));
    EXPECT_EQ("v2", client().Get(kStorage, "/seeded-bucket/blob.bin").body);
    EXPECT_EQ("read me", client().Get(kStorage, "/seeded-bucket/logs/readme").body);
}

TEST_F(StorageModelTest, MissingObjectsAndRefusedUploadsAnswerAsGoogle) {
    const HttpReply noKey = client().Get(kStorage, "/seeded-bucket/no/such%20%26%3C/object");
    EXPECT_EQ(404, noKey.status);
    EXPECT_EQ(
        "<?xml version='1.0' encoding='UTF-8'?><Error><Code>NoSuchKey</Code><Message>The specified key "
        "does not exist.</Message><Details>No such object: seeded-bucket/no/such &amp;&lt;/object</Details>"
        "</Error>",
        noKey.body);
    EXPECT_EQ("application/xml; charset=UTF-8", noKey.Header("Content-Type"));
    const HttpReply noBucket = client().Get(kStorage, "/no-such-bucket/a.txt");
    EXPECT_EQ(404, noBucket.status);
    EXPECT_EQ(
        "<?xml version='1.0' encoding='UTF-8'?><Error><Code>NoSuchBucket</Code><Message>The specified bucket "
        "does not exist.</Message></Error>",
        noBucket.body);
    EXPECT_EQ("application/xml; charset=UTF-8", noBucket.Header("Content-Type"));

    const std::string bucketGone = "The specified bucket does not exist.";
    ExpectStorageError(client().Get(kStorage, "/storage/v1/b/seeded-bucket/o/no%2Fsuch?alt=media"), 404,
                       "No such object: seeded-bucket/no/such", "notFound");
    ExpectStorageError(client().Get(kStorage, "/storage/v1/b/no-such-bucket/o"), 404, bucketGone, "notFound");
    ExpectStorageError(Upload("no-such-bucket", "x", "x"), 404, bucketGone, "notFound");
    ExpectStorageError(client().Post(kStorage, "/upload/storage/v1/b/seeded-bucket/o?uploadType=media", "x"),
                       400, "Required", "required");
    EXPECT_EQ(400, client().Post(kStorage, "/upload/storage/v1/b/seeded-bucket/o?name=x", "x").status);
    EXPECT_EQ(400, Upload("seeded-bucket", "line%0Abreak", "x").status);
    EXPECT_EQ(400, Upload("seeded-bucket", "bad%FFutf8", "x").status);
}

// Names holding what URLs give a meaning to come back exactly on every path: percent-decoded once, empty
// segments kept, '+' a space in a query only.
TEST_F(StorageModelTest, AwkwardObjectNamesRoundTrip) {
    const auto encode = [](const std::string& text, bool keepSlash) {
        static const char kHex[] = "0123456789ABCDEF";
        std::string out;
        for (const unsigned char c : text) {
            if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || (keepSlash && c == '/')) {
                out += static_cast<char>(c);
            } else {
                out += {'%', kHex[c >> 4], kHex[c & 15]};
            }
        }
        return out;
    };
    const std::string names[] = {"q?x=1&y=2",           "100% done", "a+b c",     "%2F not a slash",
                                 "dir//double/",        "/leading",  "trailing/", "semi;colon,'quote'#hash",
                                 "\xC3\xBCml\xC3\xA4ut"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string bytes = "bytes of " + name;
        const HttpReply uploaded = Upload("seeded-bucket", encode(name, false), bytes);
        ASSERT_EQ(200, uploaded.status) << uploaded.body;
        EXPECT_EQ(name, Text(uploaded.json, "name"));

        const std::string jsonPath = "/storage/v1/b/seeded-bucket/o/" + encode(name, false);
        EXPECT_EQ(uploaded.json, client().Get(kStorage, jsonPath).json);
        const std::string mediaLink = Text(uploaded.json, "mediaLink");
        for (const std::string& path : {"/seeded-bucket/" + encode(name, true), jsonPath + "?alt=media",
                                        mediaLink.substr(mediaLink.find("/download/"))}) {
            const HttpReply media = client().Get(kStorage, path);
            EXPECT_EQ(200, media.status) << path << ": " << media.body;
            EXPECT_EQ(bytes, media.body) << path;
        }
        const HttpReply listed =
            client().Get(kStorage, "/storage/v1/b/seeded-bucket/o?prefix=" + encode(name, false));
        EXPECT_EQ(std::vector<std::string>{name}, Strings(listed.json, "items", "name"));
    }
    // "//" is not one slash: the prefix up to the second one is a folder of its own.
    EXPECT_EQ(
        (std::vector<std::string>{"/", "dir/", "logs/", "photos/", "trailing/"}),
        Strings(client().Get(kStorage, "/storage/v1/b/seeded-bucket/o?delimiter=%2F").json, "prefixes"));
    EXPECT_EQ(
        (std::vector<std::string>{"dir//"}),
        Strings(client().Get(kStorage, "/storage/v1/b/seeded-bucket/o?delimiter=%2F&prefix=dir%2F").json,
                "prefixes"));
    // In a query a '+' is a space; in a path it is itself.
    EXPECT_EQ("plus space", Text(Upload("seeded-bucket", "plus+space", "x").json, "name"));
    EXPECT_EQ(404, client().Get(kStorage, "/seeded-bucket/plus+space").status);
    EXPECT_EQ("bytes of a+b c", client().Get(kStorage, "/seeded-bucket/a+b%20c").body);
}

TEST_F(StorageModelTest, DelimiterAndPrefixCollapseFolders) {
    struct Case {
        std::string query;
        std::vector<std::string> items;
        std::vector<std::string> prefixes;
    };
    const Case cases[] = {
        {"delimiter=%2F", {"a.txt", "z"}, {"logs/", "photos/"}},
        {"delimiter=%2F&prefix=logs%2F", {"logs/readme"}, {"logs/2024/"}},
        {"delimiter=%2F&prefix=logs", {}, {"logs/"}},
        {"delimiter=",
         {"a.txt", "logs/2024/01.log", "logs/2024/02.log", "logs/readme", "photos/x.jpg", "z"},
         {}},
        {"delimiter=.log",
         {"a.txt", "logs/readme", "photos/x.jpg", "z"},
         {"logs/2024/01.log", "logs/2024/02.log"}},
        {"delimiter=%2F&prefix=nothing%2F", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        const HttpReply list = client().Get(kStorage, "/storage/v1/b/seeded-bucket/o?" + c.query);
        ASSERT_EQ(200, list.status) << list.body;
        EXPECT_EQ(c.items, Strings(list.json, "items", "name"));
        EXPECT_EQ(c.prefixes, Strings(list.json, "prefixes"));
        EXPECT_EQ(!c.items.empty(), list.json.count("items") == 1);
        EXPECT_EQ(!c.prefixes.empty(), list.json.count("prefixes") == 1);
    }
}

// Objects and prefixes count alike towards a page.
TEST_F(StorageModelTest, PagesCoverEveryEntryOnce) {
    struct Case {
        std::string query;
        size_t pages;
        std::vector<std::string> entries;  // sorted
    };
    const Case cases[] = {
        {"delimiter=&maxResults=2",
         3,
         {"a.txt", "logs/2024/01.log", "logs/2024/02.log", "logs/readme", "photos/x.jpg", "z"}},
        {"delimiter=%2F&maxResults=3", 2, {"a.txt", "logs/", "photos/", "z"}},
        {"delimiter=%2F&prefix=logs%2F&maxResults=1", 2, {"logs/2024/", "logs/readme"}},
    };
    std::string lastToken;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        std::vector<std::string> entries;
        std::string token;
        size_t pages = 0;
        do {
            const HttpReply page = client().Get(kStorage, "/storage/v1/b/seeded-bucket/o?" + c.query +
                                                              (token.empty() ? "" : "&pageToken=" + token));
            ASSERT_EQ(200, page.status) << page.body;
            ASSERT_LT(++pages, 10u);
            for (const std::string& prefix : Strings(page.json, "prefixes")) entries.push_back(prefix);
            for (const std::string& name : Strings(page.json, "items", "name")) entries.push_back(name);
            if (!token.empty()) lastToken = token;
            token = Text(page.json, "nextPageToken");
        } while (!token.empty());
        std::sort(entries.begin(), entries.end());
        EXPECT_EQ(c.entries, entries);
        EXPECT_EQ(c.pages, pages);
    }
    // A token is bound to its list.
    EXPECT_EQ(
        400,
        client().Get(kStorage, "/storage/v1/b/seeded-bucket/o?delimiter=&pageToken=" + lastToken).status);

    for (const char* name : {"bk-1", "bk-2", "bk-3"})
        ASSERT_EQ(200, client().Post(kStorage, "/storage/v1/b?project=store-p1", BucketBody(name)).status);
    const HttpReply first = client().Get(kStorage, "/storage/v1/b?project=store-p1&maxResults=2");
    const HttpReply second = client().Get(kStorage, "/storage/v1/b?project=store-p1&maxResults=2&pageToken=" +
                                                        Text(first.json, "nextPageToken"));
    EXPECT_EQ((std::vector<std::string>{"bk-3", "seeded-bucket"}), Strings(second.json, "items", "name"));
    EXPECT_FALSE(second.json.count("nextPageToken"));
}

TEST(StorageWorldFileTest, SeedMistakesAreNamed) {
    const testsupport::TempDir dir;
    const std::pair<std::string, std::string> cases[] = {
        {R"([{"name": "Bad"}])", "world: project p: buckets[0] (Bad): 'Bad' is not a valid bucket name"},
        {R"([{"name": "twice"}, {"name": "twice"}])", "buckets[1] (twice): the bucket name twice is taken"},
        {R"([{"name": "ok-name", "objects": {"a": 1}}])", "the content of object 'a' is not text"},
        {R"([{"name": "ok-name", "objetcs": {}}])", "unknown member 'objetcs'"},
    };
    gcemu::Emulator::Options options;
    options.stateDir = dir.File("state");
    for (const auto& [buckets, message] : cases) {
        SCOPED_TRACE(message);
        options.worldFile =
            dir.Write("bad.json", R"({"projects": [{"projectId": "p", "buckets": )" + buckets + "}]}");
        try {
            gcemu::Emulator emulator(options);
            ADD_FAILURE() << "the world loaded";
        } catch (const std::invalid_argument& error) {
            EXPECT_NE(std::string::npos, std::string(error.what()).find(message)) << error.what();
        }
    }
}

}  // namespace
