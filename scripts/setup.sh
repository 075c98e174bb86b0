#!/usr/bin/env bash
# Installs every Debian package that building, running and testing FolioLens needs,
# skipping what is already there. Runs as root, or through sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang clang-format
    libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libtiff-dev libtiff-tools libqpdf-dev libgnutls28-dev qpdf zlib1g-dev libpng-dev nlohmann-json3-dev
    libjpeg62-turbo-dev libvips-tools
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    xvfb xauth x11-apps xdotool imagemagick poppler-utils hyperfine
    xdg-utils shared-mime-info desktop-file-utils libglib2.0-bin man-db
    fonts-dejavu-core
    cups cups-filters libcups2-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "setup: installing ${missing[*]}" >&2
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null; then
        echo "setup: missing packages (${missing[*]}) and neither root nor sudo available" >&2
        exit 1
    fi
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
