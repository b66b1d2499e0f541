#!/usr/bin/env bash
# Installs the Debian packages Zarvo needs to build, run and test.
# Idempotent: when every package is already present it does nothing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format
  # fuzzing (libFuzzer)
  clang libclang-rt-14-dev
  # libraries
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  libplist-dev libacl1-dev
  # the SQLite driver of Qt SQL, for reading VS Code's history
  libqt6sql6-sqlite
  libxcb1-dev libxcb-keysyms1-dev libxkbcommon-dev libxkbcommon-x11-dev
  # tests
  libgtest-dev xvfb xdotool x11-utils trayer
  # a Wayland session for the end-to-end test: headless weston with Xwayland
  weston xwayland
  # a private session bus for the desktop-service tests
  dbus-daemon
  # gsettings and its schema compiler, for `zarvo shortcut bind` and its test
  libglib2.0-bin
  # the launch tests pull from a local git origin and run tmux sessions
  git tmux
  # the launch tests open real terminal windows: xterm takes its command after
  # -e, mate-terminal after -x, kitty after --
  xterm mate-terminal kitty
  # the Debian package and its test (CPack's DEB generator runs file(1) on what
  # it packs); the desktop session test and its screenshots
  dpkg-dev file desktop-file-utils python3 imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}" >&2
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
