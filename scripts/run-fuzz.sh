#!/usr/bin/env bash
# Runs the script-reader and PEQ-design-reader fuzzers for SECONDS in all (two thirds for the
# script reader, one third for the design reader) and fails on any crash, leak or sanitizer
# report.
#   ./scripts/run-fuzz.sh BUILD_DIR SECONDS
# BUILD_DIR must hold a clang build with -DTONVISOR_FUZZ=ON (the Makefile's fuzz target makes
# one). The corpora grow in BUILD_DIR/fuzz/corpus and BUILD_DIR/fuzz/peq-corpus between runs; a
# failing input is kept in BUILD_DIR/fuzz/artifacts.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
build=$1
seconds=$2
case $seconds in
  ''|*[!0-9]*) echo "$0: SECONDS must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
fuzzer=$build/tests/fuzz/fuzz_script_reader
peq_fuzzer=$build/tests/fuzz/fuzz_peq_design
for target in "$fuzzer" "$peq_fuzzer"; do
  if [ ! -x "$target" ]; then
    echo "$0: $target is missing; build the targets fuzz_script_reader and fuzz_peq_design with -DTONVISOR_FUZZ=ON first" >&2
    exit 2
  fi
done
# libFuzzer takes 0 s as "no limit": each gets at least one second.
peq_seconds=$((seconds / 3 > 0 ? seconds / 3 : 1))
seconds=$((seconds - peq_seconds > 0 ? seconds - peq_seconds : 1))

work=$build/fuzz
corpus=$work/corpus
seeds=$work/seeds
artifacts=$work/artifacts
peq_corpus=$work/peq-corpus
peq_seeds=$work/peq-seeds
mkdir -p "$corpus" "$seeds" "$artifacts" "$peq_corpus" "$peq_seeds"

# Seeds: the example scripts and a few scripts that touch each rule of the reader.
find "$root/examples" -maxdepth 2 -type f -size -64k -exec cp {} "$seeds/" \;
printf '   \n\n# Configure DAC Volume\n\nWrite   0x0010    0x3D3D\n' > "$seeds/address-form.txt"
printf 'Write   \tCHIP_ANA_HP_CTRL_REG                    \t0x1818\n' > "$seeds/name-form.txt"
printf '# saved on Windows\r\nWrite 0x0024 0x0001\r\nwrite CHIP_ANA_CTRL_REG 1818\r\n' > "$seeds/crlf.txt"
printf 'Write 0X0022 0x1\n Write 0x0022 0x1\nWRITE 0x22 1\nWrite 0x22 # note\nWrite\nWrite 0x zz\n' > "$seeds/odd-lines.txt"
head -c 600 /dev/zero | tr '\0' 'x' > "$seeds/long-line.txt"
printf 'Write 0x0024 0x0042\n#no line end' >> "$seeds/long-line.txt"

# The design reader's seeds: the example designs and lines that touch each of its rules.
cp "$root"/examples/peq_*.txt "$peq_seeds/"
printf 'rate 48000\nband 0 peaking 1000 6 1\r\nband 6 highpass 30 0 0.707\n' > "$peq_seeds/crlf.txt"
printf 'band 7 flat 1 1 1\nband 0 peaking 1000 6\nrate 0\nband 1 x 1 1 1\nband 2 notch 1e400 0 1\n' > "$peq_seeds/odd.txt"
printf 'band 4 highshelf 8000 12 0.707\nrate 16000\n' > "$peq_seeds/beyond.txt"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "Fuzzing the script reader for $seconds s (corpus: $corpus)"
# libFuzzer exits non-zero on a crash, a leak, a sanitizer report or a time-out of one input.
"$fuzzer" "$corpus" "$seeds" \
  -max_total_time="$seconds" \
  -max_len=8192 \
  -timeout=10 \
  -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/" \
  -print_final_stats=1
echo "No crash, leak or sanitizer report in $seconds s."

echo "Fuzzing the PEQ design reader for $peq_seconds s (corpus: $peq_corpus)"
"$peq_fuzzer" "$peq_corpus" "$peq_seeds" \
  -max_total_time="$peq_seconds" \
  -max_len=4096 \
  -timeout=10 \
  -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/peq-" \
  -print_final_stats=1
echo "No crash, leak or sanitizer report in $peq_seconds s."
