#!/bin/sh
# Times our loader and saver (bench/fileformats_bench) and srec_cat on the same
# 16 MB image files in one run, and prints the ratio srec_cat / ours (above 1
# means we are faster).
#
#   bench/compare_srec_cat.sh [path/to/fileformats_bench]
#
# Load: ours parses the file into the image; srec_cat converts it to binary.
# Save: ours writes the image; srec_cat converts the binary image to the format.
set -eu

BENCH=${1:-build/bench/fileformats_bench}
REPEAT=${REPEAT:-3}
command -v srec_cat >/dev/null || { echo "srec_cat not found" >&2; exit 1; }
[ -x "$BENCH" ] || { echo "no benchmark program at $BENCH (build with -DTESMAR_BENCH=ON)" >&2; exit 1; }

DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT

TESMAR_BENCH_DIR="$DIR" "$BENCH" --benchmark_format=csv >"$DIR/ours.csv" 2>/dev/null

# Mean time of one benchmark in milliseconds (the CSV reports it in the unit of its column).
ours() {
    awk -F, -v n="\"$1/min_time:1.000\"" '$1 == n { t = $3; u = $5; gsub(/"/, "", u);
        if (u == "ns") t /= 1e6; else if (u == "us") t /= 1e3; else if (u == "s") t *= 1e3;
        printf "%.1f", t }' "$DIR/ours.csv"
}

# Best of REPEAT runs of a command, in milliseconds.
best() {
    b=""
    i=0
    while [ "$i" -lt "$REPEAT" ]; do
        s=$(date +%s%N)
        "$@" >/dev/null 2>&1
        e=$(date +%s%N)
        t=$(( (e - s) / 1000000 ))
        if [ -z "$b" ] || [ "$t" -lt "$b" ]; then b=$t; fi
        i=$((i + 1))
    done
    echo "$b"
}

row() {
    # name, ours ms, srec_cat ms
    awk -v n="$1" -v o="$2" -v s="$3" 'BEGIN { printf "%-18s %10.1f %12.1f %8.1fx\n", n, o, s, (o > 0 ? s / o : 0) }'
}

echo "16 MB image, files in $DIR"
printf "%-18s %10s %12s %9s\n" "operation" "ours (ms)" "srec_cat (ms)" "ratio"
row "load Intel HEX" "$(ours BM_LoadIntelHex)" "$(best srec_cat "$DIR/image.hex" -intel -o "$DIR/x.bin" -binary)"
row "save Intel HEX" "$(ours BM_SaveIntelHex)" "$(best srec_cat "$DIR/image.bin" -binary -o "$DIR/x.hex" -intel)"
row "load S-records" "$(ours BM_LoadSRecords)" "$(best srec_cat "$DIR/image.mot" -motorola -o "$DIR/x.bin" -binary)"
row "save S-records" "$(ours BM_SaveSRecords)" "$(best srec_cat "$DIR/image.bin" -binary -o "$DIR/x.mot" -motorola)"
