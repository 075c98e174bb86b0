#!/usr/bin/env bash
# Sets up, builds and starts FolioLens on the bundled sample document.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

sample=samples/sample.mdi
if [[ -x build/src/foliolens ]]; then
    exec build/src/foliolens "$sample"
fi
build/tools/convert/foliolens-convert info "$sample"
build/tools/convert/foliolens-convert render "$sample" --page 1 --width 800 -o build/sample-page1.png
echo "page 1 rendered to build/sample-page1.png"
