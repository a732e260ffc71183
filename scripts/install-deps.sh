#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need.
# Does nothing (and touches no package list) when everything is already there.
set -euo pipefail

PACKAGES=(
    # build
    cmake ninja-build g++ pkg-config
    qt6-base-dev libqt6sql6-sqlite qt6-multimedia-dev libgl-dev
    libsqlite3-dev libxml2-dev libcurl4-openssl-dev libssl-dev libxcb1-dev
    libqrencode-dev libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
    # the icon's sizes from its SVG; the manual pages
    librsvg2-bin scdoc
    # tests and benches
    libgtest-dev libgmock-dev libbenchmark-dev qt6-base-private-dev
    # a QR decoder that checks the account panel's symbol
    zbar-tools
    # certificates and a TLS server for the tests of https roots
    openssl
    # fonts: the default language's texts need a CJK face
    fonts-wqy-microhei fonts-dejavu-core
    # Qt's own buttons and dialogs in the interface's language
    qt6-translations-l10n
    # headless runs of the real program
    xvfb xauth xdotool x11-utils
    # benchmarks
    time
    # checks of the installed layout and of the Debian packages (cpack, dpkg-shlibdeps)
    desktop-file-utils appstream man-db strace systemd dpkg-dev lintian
)
if [[ "${ZUVO_SERVER_DEPS:-1}" == 1 && -f "$(dirname "$0")/server-packages.txt" ]]; then
    mapfile -t extra < <(grep -v '^#' "$(dirname "$0")/server-packages.txt" | grep -v '^$')
    PACKAGES+=("${extra[@]}")
fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if ((${#missing[@]} == 0)); then
    exit 0
fi

SUDO=""
if [[ $(id -u) -ne 0 ]]; then
    SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
