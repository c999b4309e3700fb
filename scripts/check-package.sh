#!/usr/bin/env bash
# Checks the Debian package that `make package` builds: the programs, the desktop entry, the
# icon and the Python module are in it, its dependencies were filled in, each program starts
# from an extracted copy and answers --help (and the command-line tools --version with the
# package's version), and Debian's Python imports the module from it and reads a simulated chip.
#   ./scripts/check-package.sh [PACKAGE.deb]
# Without an argument it checks the one package in build-release/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -gt 1 ]; then
  echo "usage: $0 [PACKAGE.deb]" >&2
  exit 2
fi
if [ $# -eq 1 ]; then
  package=$1
else
  shopt -s nullglob
  found=("$root"/build-release/tonvisor_*.deb)
  shopt -u nullglob
  if [ ${#found[@]} -ne 1 ]; then
    echo "$0: expected one package in build-release/, found ${#found[@]}; run make package or name it" >&2
    exit 2
  fi
  package=${found[0]}
fi
[ -f "$package" ] || { echo "$0: $package does not exist" >&2; exit 2; }

failures=0
fail() {
  echo "check-package: $*" >&2
  failures=$((failures + 1))
}

name=$(dpkg-deb -f "$package" Package)
version=$(dpkg-deb -f "$package" Version)
depends=$(dpkg-deb -f "$package" Depends)
[ "$name" = tonvisor ] || fail "package name is '$name', not tonvisor"
[ -n "$version" ] || fail "no version"
# dpkg-shlibdeps fills these in; empty means the dependency step did not run.
[ -n "$depends" ] || fail "no dependencies"
echo "$name $version: $depends"

listing=$(dpkg-deb -c "$package" | awk '{print $NF}')
for path in ./usr/bin/Tonvisor ./usr/bin/tonvisor-cli ./usr/bin/tonvisor-board \
            ./usr/share/applications/tonvisor.desktop ./usr/share/icons/hicolor/scalable/apps/tonvisor.svg \
            ./usr/lib/python3/dist-packages/tonvisor/__init__.py ./usr/lib/python3/dist-packages/tonvisor/__init__.pyi; do
  grep -qxF "$path" <<<"$listing" || fail "$path is not in the package"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$package" "$work"
bin=$work/usr/bin

# Runs one program with a time limit, its output in $output; shown only when it fails.
output=
run() {
  output=$(timeout 60 "$@" 2>&1 </dev/null) && return 0
  local status=$?
  fail "'${*#"$work"}' exited with $status:"
  printf '%s\n' "$output" >&2
  return 1
}

for program in Tonvisor tonvisor-cli tonvisor-board; do
  [ -x "$bin/$program" ] || continue  # already reported as missing
  if [ "$program" = Tonvisor ]; then
    # No display needed: Qt draws off screen.
    QT_QPA_PLATFORM=offscreen run "$bin/$program" --help || true
  else
    run "$bin/$program" --help || true
    if run "$bin/$program" --version && [ "$output" != "$program $version" ]; then
      fail "$program --version says '$output', the package is $version"
    fi
  fi
done

grep -q '^\./usr/lib/python3/dist-packages/tonvisor/_tonvisor\..*\.so$' <<<"$listing" ||
  fail "the Python module's extension is not in the package"
# From the extracted copy only: PYTHONPATH points into it, and the working folder holds no tonvisor.
dist=$work/usr/lib/python3/dist-packages
if run env -C "$work" PYTHONPATH="$dist" /usr/bin/python3 -c \
    'import tonvisor; print(tonvisor.__file__); print(hex(tonvisor.open(simulate=True).read("CHIP_ID_REG")))'; then
  [[ "$output" == "$dist/tonvisor/__init__.py"$'\n'0xa0* ]] ||
    fail "import tonvisor from the package printed '$output', not its path and the chip's ID"
fi

if [ "$failures" -ne 0 ]; then
  echo "check-package: $failures problem(s) in $package" >&2
  exit 1
fi
echo "check-package: $package is complete and its programs start"
