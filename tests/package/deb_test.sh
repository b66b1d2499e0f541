#!/usr/bin/env bash
# Builds the Debian package of this build tree with CPack, checks what it
# holds and what it depends on, unpacks it into a temporary root (the machine
# is not changed) and starts the unpacked program once.
#   deb_test.sh BUILD_DIR [CPACK]
# Exit status 77 (skipped) when the Debian packaging tools are missing.
set -euo pipefail

build_dir=$1
cpack=${2:-cpack}
for tool in "$cpack" dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (dpkg-dev provides dpkg-shlibdeps)"
    exit 77
  fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Packaging runs the install rules into a staging folder of its own.
if ! "$cpack" --config "$build_dir/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log"
  echo "FAIL: cpack -G DEB"
  exit 1
fi
debs=("$tmp"/out/zarvo_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  ls -l "$tmp/out"
  echo "FAIL: expected one zarvo_*.deb"
  exit 1
fi
deb=${debs[0]}
echo "built $(basename "$deb")"

# The dependencies are Debian runtime packages, found from the linked libraries.
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
# The package names, without versions and alternatives after the first.
names=$(tr ',' '\n' <<<"$depends" | sed -E 's/^ *([^ (|]+).*/\1/')
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libplist3 \
  libxcb1 libxkbcommon-x11-0; do
  grep -qxF -- "$package" <<<"$names" || fail "Depends lacks $package"
done
grep -q -- '-dev$' <<<"$names" && fail "Depends names a development package"
# Every dependency is a package this machine has: the program just ran here.
while read -r name; do
  dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'install ok installed' ||
    fail "dependency $name is not an installed Debian package"
done <<<"$names"

# What it installs, and where.
contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for path in ./usr/bin/zarvo ./usr/share/applications/zarvo.desktop \
  ./usr/share/icons/hicolor/scalable/apps/zarvo.svg ./usr/share/zarvo/help/index.html \
  ./usr/share/zarvo/help/launch-commands/index.html; do
  grep -qxF -- "$path" <<<"$contents" || fail "the package does not install $path"
done

dpkg-deb -x "$deb" "$tmp/root"
entry="$tmp/root/usr/share/applications/zarvo.desktop"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "desktop-file-validate rejects zarvo.desktop"
fi
grep -qx 'Exec=zarvo' "$entry" || fail "the desktop entry does not start zarvo"
grep -qx 'Icon=zarvo' "$entry" || fail "the desktop entry does not name the zarvo icon"

# The unpacked program runs, with its resources in a folder of the test's own.
zarvo="$tmp/root/usr/bin/zarvo"
version=$("$zarvo" --version) || fail "zarvo --version exits with $?"
[[ $version =~ ^zarvo\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "zarvo --version printed \"$version\""
"$zarvo" --help | grep -q '^  toggle' || fail "zarvo --help does not list toggle"
export ZARVO_RESOURCES="$tmp/resources"
listed=$("$zarvo" list) || fail "zarvo list exits with $?"
[ -z "$listed" ] || fail "a fresh store lists \"$listed\""
[ -f "$ZARVO_RESOURCES/projects.plist" ] || fail "zarvo list did not seed projects.plist"
"$zarvo" add demo "$tmp" 2>/dev/null || fail "zarvo add exits with $?"
[ "$("$zarvo" list)" = demo ] || fail "the added project is not listed"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the package installs and runs"
