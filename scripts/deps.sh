#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when something is missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev
      xvfb x11-apps xdotool imagemagick clang libclang-rt-14-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
