#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs the monitor's main job. Until the monitor program
# exists this only builds the project.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
echo "built: the monitor program is not part of this build yet"
