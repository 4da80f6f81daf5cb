#!/usr/bin/env bash
# scripts/run.sh as a user meets it: a first build says so, a built program
# prints only its own output, a failed build shows the build's output, and
# the program runs where it is called from, with the presets in the user's
# own folder, as the installed program does.
# cmake is stood in for by a noisy script that "builds" by linking the real
# program, so nothing is compiled here.
#   usage: test_run.sh <source dir> <vi801 executable>
set -euo pipefail
repo="$1"
program="$2"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/bin"
cat >"$tmp/bin/cmake" <<STANDIN
#!/usr/bin/env bash
echo "-- Configuring noise"
echo "[1/2] Building CXX object noise.o" >&2
build=""
previous=""
for arg in "\$@"; do
  if [ "\$previous" = "-B" ] || [ "\$previous" = "--build" ]; then build="\$arg"; fi
  previous="\$arg"
done
if [ -n "\${STANDIN_FAILS:-}" ]; then echo "error: the compiler broke" >&2; exit 1; fi
touch "\$build/build.ninja"
mkdir -p "\$build/src"
ln -sf "$program" "\$build/src/vi801"
STANDIN
chmod +x "$tmp/bin/cmake"
export PATH="$tmp/bin:$PATH" VI801_BUILD_DIR="$tmp/build" ASAN_OPTIONS=detect_leaks=0

passed=0
failed=0
check() { # what, expected, actual
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED: %s\n--- expected\n%s\n--- got\n%s\n' "$1" "$2" "$3"
  fi
}
version="$("$program" --version)"

check "first run" "Building VI 801... (the first build takes a minute or two)
$version" "$(bash "$repo/scripts/run.sh" --version 2>&1)"
check "built" "$version" "$(bash "$repo/scripts/run.sh" --version 2>&1)"

status=0
out="$(STANDIN_FAILS=1 bash "$repo/scripts/run.sh" --version 2>&1)" || status=$?
check "failed build's status" 1 "$status"
check "failed build shows its output" "yes" "$(grep -q 'error: the compiler broke' <<<"$out" && echo yes || echo no)"

# A render named from the caller's folder, its preset from the user's
# folder, which the first run makes from the starter library.
mkdir -p "$tmp/songs" "$tmp/home"
printf 'MThd\0\0\0\6\0\0\0\1\1\340MTrk\0\0\0\r\0\220<d\203`\200<\0\0\377/\0' >"$tmp/songs/song.mid"
status=0
out="$(cd "$tmp/songs" && HOME="$tmp/home" XDG_DATA_HOME="" bash "$repo/scripts/run.sh" \
  --render=song.mid --out=song.wav --preset='Grand Piano' 2>&1)" || status=$?
check "render's status" 0 "$status"
check "render written where run.sh was called" "yes" "$([ -s "$tmp/songs/song.wav" ] && echo yes || echo no)"
check "the user's folder holds the starters" "yes" \
  "$([ -f "$tmp/home/.local/share/vi801/6op/Grand Piano.sbi" ] && echo yes || echo no)"
[ "$status" -eq 0 ] || echo "$out"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
