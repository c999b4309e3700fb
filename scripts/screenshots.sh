#!/usr/bin/env bash
# Writes a PNG of every page of Tonvisor into docs/: the program works each page against the
# simulated chip (connect, init script, clocks, routes, I2S format, levels, register writes and
# reads) and grabs it.
# Usage: scripts/screenshots.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: $0 BUILD_DIR}"
root="$(cd "$(dirname "$0")/.." && pwd)"
program="$build/apps/Tonvisor"
[ -x "$program" ] || { echo "$program not built" >&2; exit 1; }
cd "$root"
# No display needed: Qt draws the pages off screen with the same fonts and style.
QT_QPA_PLATFORM=offscreen "$program" --simulate \
  --init-script examples/krvl7300_init_script.txt \
  --screenshot-dir docs
