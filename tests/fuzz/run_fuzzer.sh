#!/usr/bin/env bash
# Runs one libFuzzer target.
#   run_fuzzer.sh replay FUZZER CORPUS       runs every input of CORPUS once
#   run_fuzzer.sh fuzz FUZZER CORPUS WORK    fuzzes for FUZZ_SECONDS (15 unless set) from
#       CORPUS; new inputs go to WORK/corpus, never into the checked-in CORPUS, and an input
#       that finds a fault is left in WORK with the report on stderr.
set -euo pipefail
mode=$1 fuzzer=$2 corpus=$3
# Some targets write their data files for every input: memory is faster than a disk.
if [[ -d /dev/shm && -w /dev/shm ]]; then
    export TMPDIR=/dev/shm
fi
if [[ -z ${ASAN_SYMBOLIZER_PATH:-} && -x /usr/bin/llvm-symbolizer-14 ]]; then
    export ASAN_SYMBOLIZER_PATH=/usr/bin/llvm-symbolizer-14
fi
case $mode in
    replay)
        exec "$fuzzer" -runs=0 "$corpus"
        ;;
    fuzz)
        work=$4
        mkdir -p "$work/corpus"
        exec "$fuzzer" -max_total_time="${FUZZ_SECONDS:-15}" -timeout=10 -print_final_stats=1 \
            -artifact_prefix="$work/" "$work/corpus" "$corpus"
        ;;
esac
echo "usage: $0 replay|fuzz FUZZER CORPUS [WORK]" >&2
exit 2
