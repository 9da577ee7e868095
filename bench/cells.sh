#!/usr/bin/env bash
# Benchmark of reading a large workbook: `fotolista-batch cells` on a
# two-column sheet of ROWS rows (default 100 000), as .xlsx and as .csv,
# against python3-openpyxl reading the same .xlsx (read-only mode, every
# value), side by side and alternating, ROUNDS times (default 3).
#
#   bench/cells.sh [ROWS] [ROUNDS]
#
# Prints, per reader, the median wall and CPU seconds and the peak memory,
# and each wall time against openpyxl's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rows=${1:-100000}
rounds=${2:-3}
work=${BENCH_DIR:-$root/bench/work}
build=${BUILD_DIR:-$root/build}
bin=$build/bin
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target fotolista-batch >/dev/null

mkdir -p "$work"
xlsx=$work/rows-$rows.xlsx
csv=$work/rows-$rows.csv
if [ ! -f "$xlsx" ] || [ ! -f "$csv" ]; then
  echo "Haciendo el libro de $rows filas en $work ..."
  /usr/bin/python3 "$root/bench/make_rows_workbook.py" "$xlsx" "$csv" "$rows"
fi
results=$work/cells-results.txt
: > "$results"

measure() { # name, command...
  local name=$1; shift
  /usr/bin/time -o "$work/time.txt" -f "%e %U %S %M" "$@" >/dev/null 2>&1
  echo "$name $(tail -n 1 "$work/time.txt")" >> "$results"
}

openpyxl_read='import sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1], read_only=True).active
n = sum(1 for row in ws.iter_rows(values_only=True) for v in row if v is not None)
print(n)'

for round in $(seq 1 "$rounds"); do
  for mode in xlsx csv openpyxl; do
    case $mode in
      xlsx) measure xlsx "$bin/fotolista-batch" cells "$xlsx" ;;
      csv) measure csv "$bin/fotolista-batch" cells "$csv" ;;
      openpyxl) measure openpyxl /usr/bin/python3 -c "$openpyxl_read" "$xlsx" ;;
    esac
  done
done

/usr/bin/python3 - "$results" "$rows" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, wall, user, system, kb = line.split()
    runs.setdefault(name, []).append((float(wall), float(user) + float(system), int(kb)))
reference = statistics.median(w for w, _, _ in runs['openpyxl'])
print('%d filas, dos columnas; medianas de %d vueltas' % (int(sys.argv[2]), len(runs['openpyxl'])))
print('%-26s %8s %8s %9s %12s' % ('lector', 'real s', 'CPU s', 'memoria', 'vs openpyxl'))
names = {'xlsx': 'fotolista-batch cells .xlsx', 'csv': 'fotolista-batch cells .csv', 'openpyxl': 'openpyxl (read_only)'}
for name in ('xlsx', 'csv', 'openpyxl'):
    wall = statistics.median(w for w, _, _ in runs[name])
    cpu = statistics.median(c for _, c, _ in runs[name])
    peak = max(k for _, _, k in runs[name]) / 1024
    print('%-26s %8.2f %8.2f %7.0f MB %11.2fx' % (names[name], wall, cpu, peak, reference / wall))
PY
