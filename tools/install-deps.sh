#!/usr/bin/env bash
# Installs what building and testing JORV needs, from Debian's packages.
# Idempotent: only missing packages are installed, apt-get update runs at most once.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  libpugixml-dev libcurl4-openssl-dev libsodium-dev libzip-dev
  nlohmann-json3-dev libmsgsl-dev libfmt-dev libcairo2-dev libfontconfig-dev
  libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev libgtk-3-dev
  # The window's text: its layout was measured for Segoe UI, which Carlito stands in for.
  fonts-crosextra-carlito
)
# Extra packages named by the caller (for example the window backend's).
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
