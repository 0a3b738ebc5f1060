#!/usr/bin/env bash
# Runs the demo: what the project has built so far.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
for b in "$build"/bench_*; do
  [ -x "$b" ] && "$b" --benchmark_min_time=0.05
done
