#!/usr/bin/env bash
# Builds the Debian packages (cmake/Packaging.cmake) for /usr with Debian's build flags, checks that each
# holds what it should and nothing of the build tree, and runs lintian on them. They are left in
# ${BUILD_DIR:-build-deb}/packages.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=$source_dir/${BUILD_DIR:-build-deb}
out=$build/packages

# Debian's hardening flags; __FILE__ names paths relative to the source tree.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS" LDFLAGS
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_SKIP_INSTALL_RPATH=ON -DGCSDK_BUILD_TESTS=OFF -DGCSDK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${JOBS:-2}"
rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"

# What each package may hold (file and link paths, without the leading "."); each pattern must match.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
lib=/usr/lib/$multiarch
declare -A allowed=(
  [libgooglecloudsdkwrapper1]="$lib/libGoogleCloudSDKWrapper\.so\.1(\.0\.0)?
$lib/libGoogleCloudHostServices\.so\.1(\.0\.0)?"
  [libgooglecloudsdkwrapper-dev]="$lib/libGoogleCloudSDKWrapper\.so
$lib/libGoogleCloudHostServices\.so
/usr/include/GoogleCloudSDKWrapper/GoogleCloudSDKWrapper\.h
/usr/include/GoogleCloudSDKWrapper/[A-Za-z]+\.h
/usr/include/GoogleCloudSDKWrapper/host/(json/)?[A-Za-z]+\.h
$lib/cmake/GoogleCloudSDKWrapper/GoogleCloudSDKWrapperConfig\.cmake
$lib/cmake/GoogleCloudSDKWrapper/GoogleCloudSDKWrapper(ConfigVersion|Targets(-none)?)\.cmake
$lib/pkgconfig/GoogleCloudSDKWrapper\.pc"
  [gcsdk-tools]="/usr/bin/gcsdk
/usr/bin/gcemu
/usr/share/man/man1/gcsdk\.1\.gz
/usr/share/man/man1/gcemu\.1\.gz
/usr/share/bash-completion/completions/gcsdk"
)
failed=0
for package in "${!allowed[@]}"; do
  deb=$(ls "$out/${package}_"*.deb 2>/dev/null) || { echo "package: no $package"; failed=1; continue; }
  patterns="${allowed[$package]}
/usr/share/doc/$package/copyright
/usr/share/doc/$package/changelog\.Debian\.gz"
  files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\.||')
  while read -r file; do
    grep -qxE "$(paste -sd'|' <<<"$patterns")" <<<"$file" || { echo "$package: unexpected $file"; failed=1; }
  done <<<"$files"
  while read -r pattern; do
    grep -qxE "$pattern" <<<"$files" || { echo "$package: missing $pattern"; failed=1; }
  done <<<"$patterns"
  # Nothing names the source or the build tree: not the CMake files, not the binaries.
  tree=$(mktemp -d)
  dpkg-deb -x "$deb" "$tree"
  if grep -rlaF -e "$source_dir" -e "$build" "$tree"; then echo "$package: names the build tree"; failed=1; fi
  rm -rf "$tree"
done

lintian_log=$out/lintian.txt
lintian --fail-on error --tag-display-limit 0 "$out"/*.deb >"$lintian_log" 2>&1 || failed=1
for deb in "$out"/*.deb; do
  printf '%-50s %6s KB  Depends: %s\n' "$(basename "$deb")" "$(du -k "$deb" | cut -f1)" \
    "$(dpkg-deb -f "$deb" Depends)"
done
echo "lintian: $(grep -c '^E:' "$lintian_log" || true) errors, $(grep -c '^W:' "$lintian_log" || true) warnings (${lintian_log#$source_dir/})"
grep -E '^[EW]:' "$lintian_log" || true
[[ $failed -eq 0 ]] || { echo "package: FAILED"; exit 1; }
echo "packages ok: $out"
