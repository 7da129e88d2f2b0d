#!/usr/bin/env bash
# The object load against the importer's own command-line tool, side by side: writes
# dirt-bench's 1 M-triangle grid as an OBJ file (bench/grid_obj.py), then times, in turns,
# `assimp info FILE`, `assimp info FILE -r` (its import without post-processing) and
# `dirt-bench --load-object FILE` (the file read in the import process, handed back,
# framed and built into a scene, as dirt-render does it), each a whole process from start
# to exit. Prints every time, the medians and their ratio, with
# the load average before and after.
#
#   bash bench/load_figures.sh [--runs N] [--cells N] [--build-dir DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

runs=5
cells=707
build=build/release
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --cells) cells=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) echo "load_figures.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done

obj=$(mktemp -d)/grid$cells.obj
trap 'rm -rf "$(dirname "$obj")"' EXIT
python3 bench/grid_obj.py "$cells" "$obj"

seconds() {  # the wall time of a command, output discarded
  local start end
  start=$(date +%s%N)
  "$@" > /dev/null 2>&1
  end=$(date +%s%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", (b - a) / 1e9 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
assimp_times=()
raw_times=()
load_times=()
for ((i = 1; i <= runs; i++)); do
  a=$(seconds assimp info "$obj")
  r=$(seconds assimp info "$obj" -r)
  d=$(seconds "$build/dirt-bench" --load-object "$obj" --runs 1)
  echo "run $i: assimp info $a s, assimp info -r $r s, dirt-bench --load-object $d s"
  assimp_times+=("$a")
  raw_times+=("$r")
  load_times+=("$d")
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
a=$(printf '%s\n' "${assimp_times[@]}" | median)
r=$(printf '%s\n' "${raw_times[@]}" | median)
d=$(printf '%s\n' "${load_times[@]}" | median)
ratio() { awk -v x="$1" -v y="$2" 'BEGIN { printf "%.2f", x / y }'; }
echo "medians of $runs: assimp info $a s, assimp info -r $r s, load $d s"
echo "load / assimp info: $(ratio "$d" "$a"); load / assimp info -r: $(ratio "$d" "$r")"
