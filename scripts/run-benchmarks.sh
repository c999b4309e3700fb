#!/usr/bin/env bash
# Runs every benchmark program the build put in BUILD/bench (BUILD defaults to "build"), one
# after the other under its own heading. Exits non-zero when there is none or any one failed;
# the others still run.
set -uo pipefail
build="${1:-build}"
dir="$build/bench"
if [ ! -d "$dir" ]; then
  echo "run-benchmarks: $dir does not exist; configure with -DTONVISOR_BUILD_BENCH=ON and build first" >&2
  exit 1
fi
found=0
failed=()
for program in "$dir"/*; do
  [ -f "$program" ] && [ -x "$program" ] || continue
  found=$((found + 1))
  name="$(basename "$program")"
  echo "== $name"
  if ! "$program"; then
    failed+=("$name")
  fi
  echo
done
if [ "$found" -eq 0 ]; then
  echo "run-benchmarks: no benchmark programs in $dir" >&2
  exit 1
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "run-benchmarks: failed: ${failed[*]}" >&2
  exit 1
fi
