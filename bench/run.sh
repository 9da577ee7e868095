#!/usr/bin/env bash
# Benchmark of fotolista-batch against the plain image-library calls, on two
# corpora side by side: photo-like synthetic shots and real camera photographs.
#
#   bench/run.sh [COUNT] [ROUNDS] [REAL_COUNT]
#
# Makes (once) COUNT synthetic photos (default 200) and REAL_COUNT crops of
# the photographs of two Debian wallpaper packages (default 60), with their
# workbooks, then for each corpus runs, alternating, ROUNDS times (default 3; the
# real corpus, whose runs are short, three times as many):
#   a  fotolista-batch run --jobs 1
#   b  fotolista-batch run            (as many jobs as cores)
#   c  fotolista-batch run --fast     (as many jobs as cores)
#   d  fotolista_reference            (the same image-library calls, one thread)
#   e  fotolista-batch run --no-optimize (as many jobs as cores: b without the
#      smallest-JPEG choice, as JPEGs were written before it)
# and, on the synthetic corpus when installed (and OTHER_TOOLS is not 0),
# vipsthumbnail and ImageMagick's convert making the two sizes. Then, per corpus: whether every output of a
# has the bytes of d's; the large copies of the exact and the fast mode
# (quality "alta", no watermark) against ImageMagick's Lanczos resize of the
# full decode, photo by photo; a run ten times as long over the same photos
# and its re-run with --only-changed; and the memory per row. Last, the
# figures of both corpora side by side.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-200}
rounds=${2:-3}
real_count=${3:-60}
work=${BENCH_DIR:-$root/bench/work}
bin=$root/build/bin
"$root/scripts/build.sh" >/dev/null
# The fingerprints of --only-changed go to a cache folder of the benchmark's own.
export XDG_CACHE_HOME=$work/cache
py=/usr/bin/python3

make_corpus() { # kind, folder
  local kind=$1 corpus=$2
  [ -f "$corpus/lote-2000.xls" ] && return
  mkdir -p "$corpus"
  if [ "$kind" = sintetico ]; then
    echo "Haciendo el corpus sintético de $count fotos en $corpus ..."
    "$bin/fotolista_corpusgen" "$corpus" "$count"
  else
    echo "Haciendo el corpus de $real_count fotografías reales en $corpus ..."
    "$py" "$root/bench/realcorpus.py" "$corpus" "$real_count" "$work/paquetes"
  fi
  local n
  n=$(grep -c $'\t.jpg$' "$corpus/lista.tsv")
  "$py" "$root/bench/make_workbook.py" "$corpus/lista.tsv" "$corpus/lote.xls"
  # The memory per row: 200 rows against 2 000 over the same photos.
  "$py" "$root/bench/make_workbook.py" "$corpus/lista.tsv" "$corpus/lote-200.xls" 200
  "$py" "$root/bench/make_workbook.py" "$corpus/lista.tsv" "$corpus/lote-2000.xls" 2000
}

# measure NAME OUTPUT command...: wall, user, system seconds and peak KB.
measure() {
  local name=$1 out=$2; shift 2
  rm -rf "$out"; mkdir -p "$out"
  /usr/bin/time -o "$work/time.txt" -f "%e %U %S %M" "$@" >/dev/null 2>&1 || true
  echo "$name $(tail -n 1 "$work/time.txt")" >> "$results"
}

run_mode() { # corpus-name corpus mode
  local c=$1 corpus=$2 m=$3 out=$work/out/$1-$3
  local batch=("$bin/fotolista-batch" run "$corpus/lote.xls" "$corpus" "$out" --quiet --log "$work/errores-$c-$m.txt")
  case $m in
    a) measure a "$out" "${batch[@]}" --jobs 1 ;;
    b) measure b "$out" "${batch[@]}" ;;
    c) measure c "$out" "${batch[@]}" --fast ;;
    d) measure d "$out" "$bin/fotolista_reference" "$corpus/lista.tsv" "$corpus" "$out" "$bin/numeros" ;;
    e) measure e "$out" "${batch[@]}" --no-optimize ;;
    vips) measure vips "$out" bash -c "mkdir -p '$out/s' && for f in '$corpus'/*.jpg; do vipsthumbnail \"\$f\" --size 409x -o '$out/%s.jpg[Q=75]' && vipsthumbnail \"\$f\" --size 145x -o '$out/s/%s_p.jpg[Q=75]'; done" ;;
    magick) measure magick "$out" bash -c "for f in '$corpus'/*.jpg; do b=\$(basename \"\$f\" .jpg); convert \"\$f\" -filter Catrom -resize 409x -quality 75 '$out/'\$b.jpg; convert \"\$f\" -filter Catrom -resize 145x -quality 75 '$out/'\$b'_p.jpg'; done" ;;
  esac
}

bench_corpus() { # name corpus
  local c=$1 corpus=$2
  results=$work/results-$c.txt
  : > "$results"
  local modes=(a b c d e)
  if [ "$c" = sintetico ] && [ "${OTHER_TOOLS:-1}" != 0 ]; then
    command -v vipsthumbnail >/dev/null && modes+=(vips)
    command -v convert >/dev/null && [ "$(convert -version 2>/dev/null | head -c 7)" = "Version" ] && modes+=(magick)
  fi
  # The real corpus is a few seconds a round: three times the rounds steady its medians.
  local n=$rounds
  [ "$c" = real ] && n=$((rounds * 3))
  # Untimed: the photos into the page cache and the program's libraries into
  # memory, so that the first timed run does not pay for them.
  cat "$corpus"/*.jpg > /dev/null
  rm -rf "$work/out/warm"; mkdir -p "$work/out/warm"
  "$bin/fotolista-batch" run "$corpus/lote.xls" "$corpus" "$work/out/warm" --fast --quiet --log "$work/errores-warm.txt" >/dev/null 2>&1 || true
  for round in $(seq 1 "$n"); do
    # Alternate the order so that no mode always runs on a warm or cold cache.
    local order=("${modes[@]}")
    [ $((round % 2)) -eq 0 ] && order=($(printf '%s\n' "${modes[@]}" | tac))
    # The other tools are slow and only for comparison: one round is enough.
    [ "$round" -gt 1 ] && order=($(printf '%s\n' "${order[@]}" | grep -v -x -e vips -e magick))
    for m in "${order[@]}"; do
      echo "$c, ronda $round: $m"
      run_mode "$c" "$corpus" "$m"
    done
  done
}

# identity CORPUS-NAME: every output of the exact mode at one job against the reference's.
identity() {
  local a=$work/out/$1-a d=$work/out/$1-d same=0 total=0
  while IFS= read -r -d '' f; do
    total=$((total + 1))
    cmp -s "$f" "$a/${f#"$d"/}" && same=$((same + 1))
  done < <(find "$d" -type f -name '*.jpg' -print0)
  echo "$same $total"
}

# quality NAME CORPUS: PSNR of each large copy of both modes against the ideal downscale.
quality() {
  local c=$1 corpus=$2 exact=$work/out/$1-q-exact fast=$work/out/$1-q-fast table=$work/psnr-$1.tsv
  local common=(run "$corpus/lote.xls" "$corpus" --quality alta --no-watermark --quiet --log "$work/errores-q.txt")
  rm -rf "$exact" "$fast"
  mkdir -p "$exact" "$fast"
  "$bin/fotolista-batch" "${common[@]:0:3}" "$exact" "${common[@]:3}" >/dev/null 2>&1 || true
  "$bin/fotolista-batch" "${common[@]:0:3}" "$fast" "${common[@]:3}" --fast >/dev/null 2>&1 || true
  mkdir -p "$corpus/ideal"
  printf 'foto\texacta_dB\trapida_dB\tdiferencia\n' > "$table"
  while IFS=$'\t' read -r name code ext; do
    [ "$ext" = .jpg ] || continue
    local size ideal=$corpus/ideal/$name.png
    size=$(identify -format '%wx%h' "$exact/$code.jpg")
    # The full decode resized by ImageMagick: made once per corpus and size.
    [ -f "$ideal" ] && [ "$(identify -format '%wx%h' "$ideal")" = "$size" ] \
      || convert "$corpus/$name.jpg" -filter Lanczos -resize "$size!" "$ideal"
    # compare exits 1 when the pictures differ, which here is expected.
    local pe pf
    pe=$({ compare -metric PSNR "$exact/$code.jpg" "$ideal" null: 2>&1 || true; } | cut -d' ' -f1)
    pf=$({ compare -metric PSNR "$fast/$code.jpg" "$ideal" null: 2>&1 || true; } | cut -d' ' -f1)
    printf '%s\t%s\t%s\t%s\n' "$name" "$pe" "$pf" "$("$py" -c "print(round($pf - $pe, 3))")" >> "$table"
  done < "$corpus/lista.tsv"
}

# optimised CORPUS-NAME: bytes of b's and e's copies (large and small apart), and how many of b's
# decode to exactly the pixels of e's (compare's AE: the count of differing pixels).
optimised() {
  local b=$work/out/$1-b e=$work/out/$1-e same=0 total=0
  while IFS= read -r -d '' f; do
    total=$((total + 1))
    [ "$({ compare -metric AE "$f" "$e/${f#"$b"/}" null: 2>&1 || true; } | cut -d' ' -f1)" = 0 ] && same=$((same + 1))
  done < <(find "$b" -type f -name '*.jpg' -print0)
  bytes() { find "$1" -type f -name '*.jpg' "${@:2}" -printf '%s\n' | awk '{s += $1} END {print s + 0}'; }
  echo "$same $total $(bytes "$b" -not -path '*/pequeñas/*') $(bytes "$e" -not -path '*/pequeñas/*')" \
    "$(bytes "$b" -path '*/pequeñas/*') $(bytes "$e" -path '*/pequeñas/*')"
}

median5() { sort -n | sed -n 3p; }

# peak CORPUS ROWS OUTPUT: peak memory in kB of the ROWS-row workbook in the fast mode, one job.
# One job: the peak then depends on the rows, not on how the threads met.
peak() {
  rm -rf "$3"; mkdir -p "$3"
  /usr/bin/time -o "$work/time.txt" -f "%M" "$bin/fotolista-batch" run "$1/lote-$2.xls" "$1" "$3" \
    --fast --jobs 1 --quiet --log "$work/errores-x$2.txt" >/dev/null 2>&1 || true
  tail -n 1 "$work/time.txt"
}

# rerun NAME CORPUS: the medians of five peaks of memory with 2 000 and with 200 rows, alternating
# (the heap's layout moves a peak by a megabyte or two from run to run); then the 2 000 rows made
# again with --only-changed.
rerun() {
  local c=$1 corpus=$2 out=$work/out/$1-x2000 longs=() shorts=()
  rm -rf "$XDG_CACHE_HOME"
  for _ in 1 2 3 4 5; do
    longs+=("$(peak "$corpus" 2000 "$out")")
    shorts+=("$(peak "$corpus" 200 "$work/out/$c-x200")")
  done
  /usr/bin/time -o "$work/time.txt" -f "%e %M" "$bin/fotolista-batch" run "$corpus/lote-2000.xls" "$corpus" "$out" \
    --fast --jobs 1 --quiet --log "$work/errores-x2000.txt" --only-changed > "$work/rerun-$c.txt" 2>&1 || true
  echo "$(printf '%s\n' "${longs[@]}" | median5) $(printf '%s\n' "${shorts[@]}" | median5) $(tail -n 1 "$work/time.txt")"
}

mkdir -p "$work/out"
synthetic=$work/sintetico-$count
real=$work/real-$real_count
make_corpus sintetico "$synthetic"
make_corpus real "$real"
bench_corpus sintetico "$synthetic"
bench_corpus real "$real"

echo
echo "Máquina: $(nproc) núcleos, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(free -g | awk '/Mem:/ {print $2}') GiB"
for c in sintetico real; do
  corpus=$synthetic; [ "$c" = real ] && corpus=$real
  images=$(grep -c $'\t.jpg$' "$corpus/lista.tsv")
  echo
  n=$rounds; [ "$c" = real ] && n=$((rounds * 3))
  echo "== Corpus $c: $images JPEG ($(du -sh --exclude=ideal "$corpus" | cut -f1)), $n rondas; medianas"
  echo "$(identity "$c")" > "$work/identity-$c.txt"
  echo "$(optimised "$c")" > "$work/optimised-$c.txt"
  quality "$c" "$corpus"
  echo "$(rerun "$c" "$corpus")" > "$work/rerun-figures-$c.txt"
  "$py" "$root/bench/figures.py" corpus "$work" "$c" "$images"
done

echo
echo "== Los dos corpus, lado a lado"
"$py" "$root/bench/figures.py" side "$work" sintetico real

echo
echo "Ventana: mayor hueco del bucle de eventos durante un lote (corpus sintético)"
rm -rf "$work/out/ventana"; mkdir -p "$work/out/ventana"
(cd "$work/out/ventana" && QT_QPA_PLATFORM=offscreen "$bin/fotolista_responsiveness" "$synthetic/lote.xls" "$synthetic" "$work/out/ventana")
