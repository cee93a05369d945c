# The Windows programs, cross-built with MinGW-w64 and run under Wine on a
# virtual X display: the unit tests and plcfw.exe's process tests against
# plcsim (CTest, Wine as the emulator), and plcfwupdate.exe driven with xdotool
# (as built for VM500, and built once more for a serial model) by
# scripts/window_scenarios.py.  Screenshots and logs are left in
# build/mingw/wine-checks.
source "$(dirname "$0")/../lib.sh"
source "$ROOT/scripts/wine.sh"
set -euo pipefail

ensure_packages "${BUILD_PACKAGES[@]}" googletest mingw-w64 g++-mingw-w64-x86-64-posix \
  wine wine64 fonts-wine xvfb xdotool openbox imagemagick

BUILD="$ROOT/build/mingw"
SERIAL_BUILD="$ROOT/build/mingw-serial"
OUT="$BUILD/wine-checks"
SERIAL_MODEL=LM4
SERIAL_NAME="${SERIAL_MODEL}_v1.00_20210422_01_TEST.bin"
PLCSIM="$ROOT/build/debug/tools/plcsim/plcsim"

# ---- Builds ------------------------------------------------------------------
say "building plcsim"
cmake --preset debug -S "$ROOT" >/dev/null
cmake --build --preset debug --target plcsim -j "$(nproc)" >/dev/null
# plcfw.exe's process tests run against this plcsim.
cmake --preset mingw -S "$ROOT" -DPLC_HOST_PLCSIM="$PLCSIM" >/dev/null
build_preset mingw
cmake --build --preset mingw --target package_windows >/dev/null

rm -rf "$OUT"
mkdir -p "$OUT"
# The serial window embeds a small image of its own: long enough that the
# transfer at line rate can be caught on a screenshot, short enough to be quick.
SMALL_IMAGE="$SERIAL_BUILD-image.bin"
[ -f "$SMALL_IMAGE" ] || "$BUILD/make_placeholder" "$SMALL_IMAGE" 49152 0x2468ACE1
say "building plcfwupdate.exe for $SERIAL_MODEL"
cmake -S "$ROOT" -B "$SERIAL_BUILD" --toolchain "$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DFIRMWARE_NAME="$SERIAL_NAME" -DFIRMWARE_IMAGE="$SMALL_IMAGE" >/dev/null
cmake --build "$SERIAL_BUILD" --target plcfwupdate -j "$(nproc)" >/dev/null

# ---- Checks ------------------------------------------------------------------
passed=0
failed=0

zip_listing="$(cmake -E tar tf "$BUILD"/plcfwupdate-*-win64.zip)"
for f in plcfwupdate.exe plcfw.exe README.txt; do
  check "package holds $f" grep -q "/$f\$" <<<"$zip_listing"
done

# ---- Display, window manager, Wine ---------------------------------------------
xvfb_pid=""
openbox_pid=""
wine_started=""
cleanup() {
  # Wine first: a process still holding a pty would keep plcsim waiting.
  [ -z "$wine_started" ] || stop_wine
  [ -n "$openbox_pid" ] && kill "$openbox_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  return 0
}
trap cleanup EXIT
start_display "$OUT"
say "Xvfb on display $DISPLAY"
wine_started=1
use_prefix "$BUILD/wineprefix" "$OUT"
start_wine

# ---- Unit tests and plcfw.exe's process tests under Wine -------------------------
say "unit tests and plcfw.exe's process tests under Wine"
rm -f "$OUT/wine-counts"
if (cd "$ROOT" && PLC_CASE_COUNTS="$OUT/wine-counts" ctest --preset mingw --timeout 120 --verbose \
  >"$OUT/ctest.log" 2>&1); then
  check "unit tests under Wine" true
else
  check "unit tests under Wine" false
  grep -E '^[0-9]+: FAILED' "$OUT/ctest.log" >&2 || true
  sed -n '/tests failed out of/,$p' "$OUT/ctest.log" >&2
fi
grep -E 'tests passed|tests failed' "$OUT/ctest.log" >&2 || true
# The process case's checks count here (it writes them to PLC_CASE_COUNTS).
if read -r p f <"$OUT/wine-counts" 2>/dev/null; then
  passed=$((passed + p))
  failed=$((failed + f))
  echo "  plcfw.exe under Wine: $p passed, $f failed" >&2
else
  check "plcfw.exe's process case under Wine ran" false
fi

# ---- The window ------------------------------------------------------------------
rc=0
python3 "$ROOT/scripts/window_scenarios.py" --build "$BUILD" --serial-build "$SERIAL_BUILD" \
  --out "$OUT" --plcsim "$PLCSIM" --small-image "$SMALL_IMAGE" --com COM12 \
  --serial-model "$SERIAL_MODEL" --counts "$OUT/window-counts" || rc=$?
read -r p f <"$OUT/window-counts" || { p=0 && f=0; }
passed=$((passed + p))
failed=$((failed + f))
[ "$rc" -eq 0 ] || check "the window scenarios run to their end" false

say "screenshots and logs: $OUT"
counts windows
[ "$failed" -eq 0 ]
