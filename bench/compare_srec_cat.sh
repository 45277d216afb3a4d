#!/bin/sh
# Times the program's converter and srec_cat as whole processes doing the same
# conversions of the same 16 MiB image, checks that both wrote the same data,
# and prints the median times and the ratio srec_cat / ours (above 1 means we
# are faster).
#
#   bench/compare_srec_cat.sh [path/to/convert_image]
#
# Ours is bench/convert_image: the program's own load of the file into the
# image of a 16 MiB flash part, then its own save of the whole part in the
# other format, started as a process of its own like srec_cat. Each command
# runs RUNS times (default 7) after one warm-up; hyperfine times them when it
# is installed, otherwise a loop of process starts does. The binary outputs
# must equal the image; the Intel HEX and S-record outputs must hold the same
# data as srec_cat's (srec_cmp), whatever their line layout.
set -eu

TOOL=${1:-build/bench/convert_image}
RUNS=${RUNS:-7}
command -v srec_cat >/dev/null && command -v srec_cmp >/dev/null || { echo "srec_cat/srec_cmp not found" >&2; exit 1; }
[ -x "$TOOL" ] || { echo "no converter at $TOOL (build with -DTESMAR_BENCH=ON)" >&2; exit 1; }

DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT

# The image, and its Intel HEX and S-record files as srec_cat writes them (the
# S-records with an end record, which the program's reader requires).
head -c 16777216 /dev/urandom >"$DIR/image.bin"
srec_cat "$DIR/image.bin" -binary -o "$DIR/image.hex" -intel
srec_cat "$DIR/image.bin" -binary -execution-start-address 0 -o "$DIR/image.mot" -motorola

fail() { echo "$1" >&2; exit 1; }

# Median wall time of RUNS process starts of a command, in milliseconds,
# after one start that must succeed.
median_ms() {
    "$@" >/dev/null 2>"$DIR/err" || fail "failed: $* ($(cat "$DIR/err"))"
    if command -v hyperfine >/dev/null; then
        hyperfine -N --warmup 1 --runs "$RUNS" --export-json "$DIR/h.json" -- "$*" >/dev/null 2>&1
        sed -n 's/.*"median": *\([0-9.e+-]*\).*/\1/p' "$DIR/h.json" | head -n 1 | awk '{ printf "%.1f", $1 * 1000 }'
        return
    fi
    : >"$DIR/times"
    i=0
    while [ "$i" -lt "$RUNS" ]; do
        s=$(date +%s%N)
        "$@" >/dev/null 2>&1 || true
        e=$(date +%s%N)
        echo $(( (e - s) / 1000 )) >>"$DIR/times"
        i=$((i + 1))
    done
    sort -n "$DIR/times" | awk '{ t[NR] = $1 } END { printf "%.1f", t[int((NR + 1) / 2)] / 1000 }'
}

row() {
    # name, ours ms, srec_cat ms
    awk -v n="$1" -v o="$2" -v s="$3" 'BEGIN { printf "%-22s %10.1f %14.1f %8.1fx  same data\n", n, o, s, (o > 0 ? s / o : 0) }'
}

# name, input, its format (ours, srec_cat's), output format (ours, srec_cat's)
convert() {
    name=$1 in=$2 ofrom=$3 sfrom=$4 oto=$5 sto=$6
    ours=$(median_ms "$TOOL" "$DIR/$in" "$ofrom" "$DIR/ours.$oto" "$oto") || exit 1
    theirs=$(median_ms srec_cat "$DIR/$in" "$sfrom" -o "$DIR/theirs.$oto" "$sto") || exit 1
    if [ "$oto" = bin ]; then
        cmp -s "$DIR/ours.bin" "$DIR/image.bin" || fail "$name: our binary differs from the image"
        cmp -s "$DIR/theirs.bin" "$DIR/image.bin" || fail "$name: srec_cat's binary differs from the image"
    else
        srec_cmp "$DIR/ours.$oto" "$sto" "$DIR/theirs.$oto" "$sto" >/dev/null 2>&1 ||
            fail "$name: our file and srec_cat's hold different data"
    fi
    row "$name" "$ours" "$theirs"
}

echo "16 MiB image, files in $DIR, median of $RUNS process starts each"
printf "%-22s %10s %14s %9s\n" "conversion" "ours (ms)" "srec_cat (ms)" "ratio"
convert "Intel HEX -> binary" image.hex hex -intel bin -binary
convert "binary -> Intel HEX" image.bin bin -binary hex -intel
convert "S-records -> binary" image.mot mot -motorola bin -binary
convert "binary -> S-records" image.bin bin -binary mot -motorola
