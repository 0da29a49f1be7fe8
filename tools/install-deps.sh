#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test dependencies is missing
# (Debian 12, run as root). Does nothing when everything is present.
set -euo pipefail
packages=(build-essential cmake pkg-config
          qt6-base-dev qt6-webengine-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
          libisal-dev
          clang-14 libclang-rt-14-dev e2fsprogs
          zlib1g-dev nginx-light xvfb xauth xdotool curl fonts-dejavu-core diffutils)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
