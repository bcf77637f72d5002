#!/usr/bin/env bash
# Runs the engine benchmarks against a corpus site folder and prints Markdown tables.
#   bench/run.sh SITE [BUILD_DIR]
# SITE: for instance the site of ../shared/bench/corpus.sh DIR 1.
set -euo pipefail
site=${1:?usage: bench/run.sh SITE [BUILD_DIR]}
build=${2:-build/release}
bin=$build/bench/engine_bench
echo "## Throughput of the whole per-file sequence, one thread"
"$bin" throughput "$site" 3
echo
echo "## Growth with the input (ratio of the time for 2N to the time for N)"
"$bin" scaling || echo "(a ratio above 2.2)"
echo
echo "## Memory for one 200 MB file (peak resident size, from /usr/bin/time)"
for kind in html css js; do
  /usr/bin/time -f "$kind: peak %M KB" "$bin" memory "$kind" 200
done
