#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# when any is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git python3
    qtbase5-dev qtbase5-dev-tools qttranslations5-l10n
    libjsoncpp-dev rapidjson-dev libcurl4-openssl-dev libssl-dev libxlsxwriter-dev
    fonts-liberation fonts-ipafont-gothic fonts-wqy-microhei xvfb xauth iproute2 openssl
    onvif-tools python3-openpyxl
    nmap
    clang libclang-rt-dev
)

# The public ONVIF clients of tools/interop.sh run on Node.js; any Node.js with npm will do.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    packages+=(nodejs npm)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
