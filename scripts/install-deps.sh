#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the tools use.
# Idempotent: installs only what is missing and prints nothing when all is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev            # fuzz targets (libFuzzer) and sanitizer runtimes
  libcurl4-openssl-dev                # HTTP client
  libssl-dev openssl                  # hashing, RSA, PKCS#12; the openssl command in tests
  libboost-dev                        # variant under the JSON value model, PropertyTree for settings
  rapidjson-dev                       # JSON text reading and writing
  libsqlite3-dev                      # VM GUID cache store
  libtinyxml2-dev                     # the XML error bodies of Cloud Storage's XML API
  libcpp-httplib-dev                  # HTTPS server of the emulator and of HTTP client tests
  libre2-dev                          # the emulator's Compute list filters (Google's regular expressions)
  libgtest-dev libgmock-dev           # tests
  libbenchmark-dev nlohmann-json3-dev # benchmarks (nlohmann is the reference parser)
  python3 python3-jwt                 # independent JWT verification in tests
  doxygen                             # the API reference (the docs target)
  lintian                             # checks the Debian packages (scripts/package.sh)
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
