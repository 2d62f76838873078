#!/usr/bin/env bash
# Whole-process timing of drawing a two-channel record of 131000 samples into a 1200 x 700 PNG:
# "multi_tolvanex --render" against gnuplot (pngcairo) on the same scope CSV. Not part of CI.
#   bash bench/render_vs_gnuplot.sh [path/to/multi_tolvanex]
set -euo pipefail

prog=${1:-build/release/src/multi_tolvanex}
[ -x "$prog" ] || { echo "program not found: $prog (build it first)" >&2; exit 2; }

need=()
command -v gnuplot >/dev/null || need+=(gnuplot-nox)
command -v hyperfine >/dev/null || need+=(hyperfine)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then apt-get install -y "${need[@]}"; else sudo apt-get install -y "${need[@]}"; fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
csv="$work/131000_OSA0.CSV"

# The program's scope CSV: "%9.6f" channel 0, Tab, "%9.6f" channel 1, CR LF; rows 0 to 10 carry
# the parameter groups. A 1 kHz sine and a 25 % square wave, 10 us per sample, trigger at 10 %.
awk 'BEGIN {
  n = 131000; dt = 1e-5; pi = 3.14159265358979
  g[0] = "\tDevice\tBENCH0001"
  g[1] = "\tDate of measurement\t08.12.2026\tMM.DD.YYYY"
  g[2] = "\tTime of measurement\t12:00:00.000\tHH:MM:SS.ms"
  g[3] = "\tTrigger mode\t\"t\""
  g[4] = "\tTrigger channel\t1"
  g[5] = sprintf("\tPretrigger time\t%8.5f\ts", 0.1 * n * dt)
  g[6] = "\tTrigger sample\t13100"
  g[7] = "\tLower trigger threshold\t0.100000\tV"
  g[8] = "\tUpper trigger threshold\t0.200000\tV"
  g[9] = sprintf("\tSampletime\t%8.6f\ts", dt)
  g[10] = "\tMemory Depth\t" n
  for (i = 0; i < n; i++) {
    a = 0.8 * sin(2 * pi * i / 100); b = (i % 100) < 25 ? 0.5 : -0.5
    printf "%9.6f\t%9.6f%s\r\n", a, b, (i in g) ? g[i] : ""
  }
}' > "$csv"

cat > "$work/plot.gp" <<GP
set terminal pngcairo size 1200,700
set output "$work/gnuplot.png"
set datafile separator "\t"
plot "$csv" using 0:1 with lines title "channel 1", "" using 0:2 with lines title "channel 2"
GP

ours="$prog --render $csv $work/ours.png --size 1200x700 --data-root $work/root"
theirs="gnuplot $work/plot.gp"
mkdir -p "$work/root"
$ours && gnuplot "$work/plot.gp"
echo "input: $(wc -l < "$csv") rows, $(du -h "$csv" | cut -f1)"
hyperfine --warmup 3 --runs 20 --export-markdown "$work/result.md" \
  -n multi_tolvanex "$ours" -n gnuplot "$theirs"
cat "$work/result.md"
