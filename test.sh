#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build/release --output-on-failure -j"$(nproc)"
