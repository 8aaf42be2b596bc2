#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12, skipping what is already there.
set -euo pipefail
packages=(build-essential cmake pkg-config clang libgtest-dev libgmock-dev libbenchmark-dev
          libpng-dev zlib1g-dev libfreetype-dev libx11-dev libxext-dev libxtst-dev xvfb xauth
          libsndfile1-dev ladspa-sdk tap-plugins)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages: ${missing[*]} (run as root, or: sudo apt-get install ${missing[*]})" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
