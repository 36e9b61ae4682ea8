#!/usr/bin/env bash
# Installs the Debian packages the build needs, if any are missing. Non-interactive.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev
  libpng-dev libfreetype-dev zlib1g-dev xfonts-100dpi
  gcc-arm-none-eabi binutils-arm-none-eabi libnewlib-arm-none-eabi libstdc++-arm-none-eabi-newlib
  clang libclang-rt-14-dev lld
  python3
  libcli11-dev libyaml-cpp-dev tmux
  libcivetweb-dev libjsoncpp-dev
  chromium chromium-driver python3-selenium
  libunicorn-dev libdw-dev
  libboost-context-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing missing packages: ${missing[*]}"
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
