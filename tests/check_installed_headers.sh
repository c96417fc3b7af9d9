#!/usr/bin/env bash
# The development files as installed stand on their own: every installed header compiles alone from the
# installed tree, and no installed file names the source or the build tree.
# usage: check_installed_headers.sh BUILD_DIR [C++ compiler]
set -euo pipefail
build=$(cd "$1" && pwd)
cxx=${2:-c++}
source=$(cd "$(dirname "$0")/.." && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" --component dev >/dev/null
cd "$prefix"

failed=0
headers=$(find include -name '*.h' | sort)
for header in $headers; do
  if ! errors=$(echo "#include <${header#include/}>" |
                "$cxx" -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I include -x c++ - 2>&1); then
    echo "does not compile alone: $header"
    echo "$errors"
    failed=1
  fi
done
if leaks=$(grep -rlF -e "$source" -e "$build" .); then
  echo "installed files that name the source or build tree:"
  echo "$leaks"
  failed=1
fi
[[ $failed -eq 0 ]] || exit 1
echo "installed headers ok ($(wc -w <<<"$headers") headers)"
