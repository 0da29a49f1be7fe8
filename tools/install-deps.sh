#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test dependencies is missing
# (Debian 12, run as root), and the Flash Player emulator Ruffle with npm at the
# version resources/ruffle/package-lock.json pins (npm checks its integrity
# hash). Does nothing when everything is present. What the tests' outcome
# could depend on is named here, not left to what a machine happens to have:
# the fonts pages are drawn with, and Mesa's software GL driver that the
# client and the tests use under Xvfb.
set -euo pipefail
packages=(build-essential cmake pkg-config
          qt6-base-dev qt6-webengine-dev qt6-websockets-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
          libisal-dev libpsl-dev publicsuffix qt6-translations-l10n
          clang-14 libclang-rt-14-dev e2fsprogs
          zlib1g-dev libssl-dev nginx-light libnginx-mod-stream python3 openssl
          xvfb xauth xdotool curl fonts-dejavu-core diffutils
          libgl1-mesa-dri
          dpkg-dev lintian desktop-file-utils appstream)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# npm comes with Node.js on some machines; Debian's package otherwise.
if ! command -v npm >/dev/null 2>&1; then
    echo "Installing: npm"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends npm >/dev/null
fi
ruffle=$(dirname "$0")/../resources/ruffle
wanted=$(sed -n 's/.*"@ruffle-rs\/ruffle": "\(.*\)".*/\1/p' "$ruffle/package.json")
installed=$(sed -n 's/.*"version": *"\([^"]*\)".*/\1/p' "$ruffle/node_modules/@ruffle-rs/ruffle/package.json" 2>/dev/null || true)
if [ "$installed" != "$wanted" ]; then
    echo "Installing: Ruffle $wanted (npm)"
    npm ci --prefix "$ruffle" --ignore-scripts --no-audit --no-fund --loglevel=error >/dev/null
fi
