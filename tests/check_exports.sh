#!/usr/bin/env bash
# The shared library exports the facade and the records, has a versioned SONAME, and hides the
# components behind the facade.
set -euo pipefail
lib="$1"
soname=$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[[ "$soname" =~ ^libGoogleCloudSDKWrapper\.so\.[0-9]+$ ]] || { echo "unexpected SONAME: '$soname'"; exit 1; }

exported=$(nm -D --defined-only -C "$lib")
grep -q 'GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper::Init()' <<<"$exported" \
  || { echo "the facade is not exported"; exit 1; }
leaked=$(grep -E 'CGoogleCloud(Connection|Queries|Operations|Parser|ErrorHandler)' <<<"$exported" || true)
[[ -z "$leaked" ]] || { echo "internal classes are exported:"; echo "$leaked"; exit 1; }
echo "exports ok ($soname)"
