#!/usr/bin/env bash
# scripts/run.sh as a user meets it: a first build says so, a built program
# prints only its own output, and a failed build shows the build's output.
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

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
