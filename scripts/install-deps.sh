#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need,
# only those that are missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libicu-dev libgumbo-dev duktape-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang
  xvfb xclip libx11-dev python3
  libgtkmm-3.0-dev libwebkit2gtk-4.1-dev libxtst-dev fonts-wqy-microhei xdotool
  opencc libopencc-data manpages-zh zlib1g-dev hyperfine jq
  man-db
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
