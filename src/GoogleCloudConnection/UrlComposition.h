// Every value put into a URL goes through here. Valid Google identifiers (names, ids, project ids
// with a domain prefix, zones, URLs in filters) come out byte for byte; any byte that is unsafe where
// the value goes is percent-encoded, so a value can never add a query parameter or cut the URL.
#pragma once

#include <string>

namespace GoogleCloudSDKWrapper {
namespace url {

// One path segment: '/', '?', '#', '%', blanks, control and non-ASCII bytes are encoded, and a
// segment that is all dots ("." or "..") has its dots encoded so it cannot climb the path.
std::string Segment(const std::string& value);

// A resource name that spans segments (projects/p/locations/l/keyRings/r): as Segment, but '/' stays.
std::string ResourceName(const std::string& value);

// A Cloud Storage object name in the XML API's path: only unreserved characters and '/' stay, so that
// '+', '&', '=' and the like reach the bucket as themselves; "//" stays, dot segments are encoded.
std::string ObjectPath(const std::string& value);

// A value inside a query component: as Segment, but '/', ':' and '@' stay, while '?', '&', '=', '+'
// and ';' are encoded.
std::string QueryValue(const std::string& value);

}  // namespace url
}  // namespace GoogleCloudSDKWrapper
