#!/usr/bin/env bash
# Installs the Debian 12 packages Tapewren needs to build, run and test.
# Usage: scripts/install-deps.sh [--tests | --bench]
#   --tests  the test tools as well; --bench those and the reference encoders the save bench
#            measures Tapewren against
set -euo pipefail

packages=(
    cmake g++ make pkg-config git
    qt6-base-dev qt6-translations-l10n qt6-qpa-plugins
    libsndfile1-dev libsoxr-dev libpulse-dev
    fonts-wqy-microhei
    xdg-utils
)
if [[ "${1:-}" == "--tests" || "${1:-}" == "--bench" ]]; then
    packages+=(
        pulseaudio pulseaudio-utils sox libsox-fmt-mp3 xvfb xdotool x11-utils
        clang-format desktop-file-utils dpkg-dev file lintian appstream man-db
        clang libclang-rt-14-dev valgrind
        python3 python3-pyatspi python3-xlib at-spi2-core dbus-x11 openbox wmctrl imagemagick
    )
fi
if [[ "${1:-}" == "--bench" ]]; then
    # sox's FLAC, MP3 and Vorbis writers and opusenc; espeak-ng speaks the bench's speech
    packages+=(opus-tools espeak-ng)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
