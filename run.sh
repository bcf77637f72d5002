#!/usr/bin/env bash
# Installs what is missing, builds, and runs Trimora. With arguments it runs the command line:
#   ./run.sh optimize page.html      ./run.sh compress ~/Sites/shop
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release >&2
if [ $# -gt 0 ]; then
  exec build/release/trimora-cli "$@"
fi
if [ -x build/release/trimora ]; then
  exec build/release/trimora
fi
exec build/release/trimora-cli
