#!/usr/bin/env bash
# Every figure of bench/README.md in one command, as medians of several runs:
#   bash bench/run_figures.sh [--build DIR] [--runs N] [--quick]
# --quick leaves out the million-triangle grid. Run it on an otherwise idle machine; the
# load average is printed before and after.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
runs=3
sizes="22 71 224 707"
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --quick) sizes="22 71 224"; shift ;;
    *) echo "usage: bash bench/run_figures.sh [--build DIR] [--runs N] [--quick]" >&2; exit 2 ;;
  esac
done
bench=$build/dirt-bench
[ -x "$bench" ] || { echo "no $bench: build it first (cmake --build $build --target dirt-bench)" >&2; exit 1; }

# The median of the first number on the lines of a figure, over every run's output.
median() {  # file, figure label
  grep -F "  $2 " "$1" | awk -v label="$2" '{s = substr($0, index($0, label) + length(label)); split(s, w, " "); print w[1]}' | sort -g |
    awk '{v[NR] = $1} END {if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

for threads in 1 2; do
  for ((i = 0; i < runs; i++)); do "$bench" --threads "$threads" >> "$tmp/demo$threads"; done
done
echo
echo "demo scene, 320x200, 2 samples, medians of $runs runs"
for label in "spots per second" "evaluate time per spot" "processor time per spot" "host ray functions per spot" \
             "Embree alone, same rays, per spot" "host rayCast / rtcIntersect1" \
             "evaluate without rays per spot" "bit-exact floor per spot" "evaluate without rays / floor" \
             "peer occlusion shader per spot" "evaluate / peer" "adjacency lookups per spot"; do
  printf '  %-36s %12s %12s\n' "$label" "$(median "$tmp/demo1" "$label")" "$(median "$tmp/demo2" "$label")"
done
printf '  %-36s %12s %12s\n' "(1 thread, 2 threads)" "" ""
s1=$(median "$tmp/demo1" "spots per second")
s2=$(median "$tmp/demo2" "spots per second")
echo "  two threads / one thread: $(awk -v a="$s1" -v b="$s2" 'BEGIN {printf "%.2f", b / a}')"
c1=$(median "$tmp/demo1" "processor time per spot")
c2=$(median "$tmp/demo2" "processor time per spot")
echo "  processor time per spot, two threads / one: $(awk -v a="$c1" -v b="$c2" 'BEGIN {printf "%.3f", b / a}')" \
  "(1.000: a spot costs no more when two threads shade at once)"
grep -h "image checksum" "$tmp/demo1" "$tmp/demo2" | sort -u | sed 's/^/  /'

echo
echo "grids of quads, 160x100, 1 sample, 1 thread, medians of $runs runs"
printf '  %-10s %10s %10s %10s %10s %10s %10s %10s %10s %10s\n' triangles "eval us" "no-ray us" "build ms" \
  "scans ms" "adj MB" "lookup us" "same s" "still s" "moved s"
for cells in $sizes; do
  out="$tmp/grid$cells"
  for ((i = 0; i < runs; i++)); do "$bench" --grid "$cells" --width 160 --height 100 --samples 1 >> "$out"; done
  printf '  %-10s %10s %10s %10s %10s %10s %10s %10s %10s %10s\n' $((2 * cells * cells)) \
    "$(median "$out" "evaluate time per spot")" "$(median "$out" "evaluate without rays per spot")" \
    "$(median "$out" "adjacency build")" "$(median "$out" "host's two polygon scans alone")" \
    "$(median "$out" "adjacency memory")" "$(median "$out" "adjacency lookups per spot")" \
    "$(median "$out" "frame, same time")" "$(median "$out" "frame, new time, nothing moved")" \
    "$(median "$out" "frame, new time, the ball moved")"
  echo "    peak memory $(median "$out" "peak memory (max RSS)") MB, first frame $(median "$out" "first frame") s"
  # The processor time of each frame (the figure after "processor"), less disturbed by other
  # programs than the clock on the wall.
  cpu() { grep -F "  $2 " "$1" | sed -n 's/.*processor \([0-9.]*\) s.*/\1/p' | sort -g |
    awk '{v[NR] = $1} END {if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
  echo "    processor time: frame same $(cpu "$out" "frame, same time") s, still $(cpu "$out" "frame, new time, nothing moved") s," \
    "moved $(cpu "$out" "frame, new time, the ball moved") s, first $(cpu "$out" "first frame") s"
  anim="$tmp/anim$cells"
  for ((i = 0; i < runs; i++)); do "$bench" --grid "$cells" --width 160 --height 100 --samples 1 --animation >> "$anim"; done
  echo "    three frames of the ball moving, load included: $(median "$anim" "three frames, load included") s" \
    "(processor $(cpu "$anim" "three frames, load included") s)"
  eval "moved_$cells=$(median "$out" "frame, new time, the ball moved") still_$cells=$(median "$out" "frame, new time, nothing moved")"
  eval "anim_$cells=$(median "$anim" "three frames, load included") animcpu_$cells=$(cpu "$anim" "three frames, load included")"
done
if [ -n "${anim_707:-}" ] && [ -n "${anim_71:-}" ]; then
  echo
  echo "  1 M grid: frame with the ball moved / nothing moved: $(awk -v a="$moved_707" -v b="$still_707" 'BEGIN {printf "%.2f", a / b}')"
  echo "  three frames with load, 1 M / 10 k grid: $(awk -v a="$anim_707" -v b="$anim_71" 'BEGIN {printf "%.2f", a / b}') (wall)," \
    "$(awk -v a="$animcpu_707" -v b="$animcpu_71" 'BEGIN {printf "%.2f", a / b}') (processor)"
fi
echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
