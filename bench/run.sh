#!/usr/bin/env bash
# Builds pkgtool and the benchmark in a host build tree (release flags are
# those of the tree) and runs it: encode and encode --best throughput and
# stream sizes against the greedy (published) encoder's on a binary, text
# and mixed data; decode and extract throughput against the stdio reference
# decoder; peak memory of extract, decode and build; the wall time of a
# 48 MiB build with one encoding job and with one per processor; each
# printed against its target. Exits non-zero when a target is missed.
#
# Usage: bench/run.sh [HOST_BUILD_DIR] [pkgtool_bench options...]
#   HOST_BUILD_DIR defaults to build/host.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build/host}
[ $# -gt 0 ] && shift
cmake --build "$build" --target pkgtool pkgtool_bench -j2 > /dev/null
exec "$build/bin/pkgtool_bench" --pkgtool "$build/bin/pkgtool" "$@"
