#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, only those that are missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-qpa-plugins qt6-webengine-dev libqt6webenginecore6-bin libqt6opengl6-dev
    qt6-speech-dev qt6-speech-speechd-plugin speech-dispatcher speech-dispatcher-espeak-ng espeak-ng
    libcurl4-openssl-dev libpcre2-dev libcpp-httplib-dev nlohmann-json3-dev libzip-dev
    libsqlite3-dev zlib1g-dev
    libgtest-dev libgmock-dev libbenchmark-dev libxml2-dev libjpeg62-turbo-dev
    fonts-wqy-microhei fonts-wqy-zenhei fonts-noto-cjk fonts-arphic-uming fonts-arphic-ukai
    fonts-cwtex-fs desktop-file-utils dpkg-dev file
    xvfb xauth curl perl
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
else
    sudo=(sudo)
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
