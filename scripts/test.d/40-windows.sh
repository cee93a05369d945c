# The Windows programs, cross-built with MinGW-w64 and run under Wine on a
# virtual X display: the unit tests, plcfw.exe burning plcsim over a
# pseudo-terminal mapped to a COM port, and plcfwupdate.exe driven with
# xdotool (as built for VM500, and built once more for a serial model).
# Screenshots and logs are left in build/mingw/wine-checks.
source "$(dirname "$0")/../lib.sh"
set -euo pipefail

ensure_packages "${BUILD_PACKAGES[@]}" googletest mingw-w64 g++-mingw-w64-x86-64-posix \
  wine wine64 fonts-wine xvfb xdotool openbox imagemagick

BUILD="$ROOT/build/mingw"
SERIAL_BUILD="$ROOT/build/mingw-serial"
OUT="$BUILD/wine-checks"
SERIAL_MODEL=LM4
SERIAL_NAME="${SERIAL_MODEL}_v1.00_20210422_01_TEST.bin"
COM=COM12  # above COM9: opened only through the device namespace
PLCSIM="$ROOT/build/debug/tools/plcsim/plcsim"
IMAGE_TOOL=convert-im6.q16
SCREENSHOT_TOOL=import-im6.q16

# ---- Builds ------------------------------------------------------------------
build_preset mingw
cmake --build --preset mingw --target package_windows >/dev/null
say "building plcsim"
cmake --preset debug -S "$ROOT" >/dev/null
cmake --build --preset debug --target plcsim -j "$(nproc)" >/dev/null

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
# wait_for SECONDS COMMAND...: retries COMMAND every 0.2 s; false on time-out.
wait_for() {
  local seconds="$1" i
  shift
  for ((i = 0; i < seconds * 5; i++)); do
    "$@" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

zip_listing="$(cmake -E tar tf "$BUILD"/plcfwupdate-*-win64.zip)"
for f in plcfwupdate.exe plcfw.exe README.txt; do
  check "package holds $f" grep -q "/$f\$" <<<"$zip_listing"
done

# ---- Display, window manager, Wine ---------------------------------------------
xvfb_pid=""
openbox_pid=""
sim_pid=""
wine_started=""
cleanup() {
  # Wine first: a process still holding the pty would keep plcsim waiting.
  if [ -n "$wine_started" ]; then
    wineserver -k >/dev/null 2>&1 || true
    timeout 20 wineserver -w >/dev/null 2>&1 || true
  fi
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "$openbox_pid" ] && kill "$openbox_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  return 0
}
trap cleanup EXIT

# A display number can be taken where no lock file here shows it (by a server
# in another root that shares the abstract socket names): Xvfb then ends at
# once, while the clients would reach the other server.  Xvfb writes the
# number to -displayfd only once it listens itself.
display=""
for n in $(seq 91 120); do
  [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] || continue
  : >"$OUT/xvfb.display"
  Xvfb ":$n" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
    3>"$OUT/xvfb.display" >"$OUT/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for ((i = 0; i < 75; i++)); do
    [ -s "$OUT/xvfb.display" ] && display=":$n" && break 2
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.2
  done
  kill "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
done
[ -n "$display" ] || { echo "no X display could be started" >&2; exit 1; }
say "Xvfb on display $display"
export DISPLAY="$display"
wait_for 15 xdotool getdisplaygeometry >/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
openbox >"$OUT/openbox.log" 2>&1 &
openbox_pid=$!

export WINEPREFIX="$BUILD/wineprefix"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installer dialogs in a new prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine_started=1
# A prefix counts only once its whole set-up has run: one left half-made by
# a run that stopped (a missing package, say) would lack the settings below.
PREFIX_DONE="$WINEPREFIX/plc-setup-complete"
if [ ! -f "$PREFIX_DONE" ]; then
  say "creating the Wine prefix"
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  timeout 180 wineboot -i >"$OUT/wineboot.log" 2>&1 || { echo "wineboot failed" >&2; exit 1; }
  timeout 60 wineserver -w
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  set_reg() {  # set_reg KEY NAME TYPE DATA
    wine reg add "$1" /v "$2" /t "$3" /d "$4" /f >>"$OUT/wineboot.log" 2>&1 ||
      { echo "cannot set $1\\$2 in the Wine prefix" >&2; exit 1; }
  }
  # A crash must end the program, not wait on a dialog.
  set_reg 'HKCU\Software\Wine\WineDbg' ShowCrashDialog REG_DWORD 0
  # Wine draws the frame itself: the X window is the whole Windows window.
  set_reg 'HKCU\Software\Wine\X11 Driver' Decorated REG_SZ N
  timeout 60 wineserver -w  # the registry is on disk
  touch "$PREFIX_DONE"
fi
# A persistent server keeps Wine warm between the many short runs below.  The
# first program started also starts Wine's services, which keep its standard
# output open for as long as the server lives: that first program must not
# write into a pipe that someone waits on (ctest, a probe), so it is this one.
start_wine() {
  wineserver -p >/dev/null 2>&1 || true
  timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
start_wine
win_path() { printf 'Z:%s' "${1//\//\\}"; }

# ---- Unit tests under Wine -------------------------------------------------------
say "unit tests under Wine"
if (cd "$ROOT" && ctest --preset mingw --timeout 120 >"$OUT/ctest.log" 2>&1); then
  check "unit tests under Wine" true
else
  check "unit tests under Wine" false
  tail -n 40 "$OUT/ctest.log" >&2
fi
grep -E 'tests passed|tests failed' "$OUT/ctest.log" >&2 || true

# ---- plcsim behind a COM port --------------------------------------------------
# start_sim NAME ARGS...: plcsim on a new pty, mapped to $COM; Wine is
# restarted so that it sees the mapping.
start_sim() {
  local name="$1"
  shift
  "$PLCSIM" --verbose "$@" >"$OUT/$name-sim.out" 2>"$OUT/$name-sim.err" &
  sim_pid=$!
  if ! wait_for 10 test -s "$OUT/$name-sim.out"; then
    echo "plcsim did not start:" >&2
    cat "$OUT/$name-sim.err" >&2
    return 1
  fi
  local pty
  pty="$(head -n 1 "$OUT/$name-sim.out")"
  # With sim_link set, plcsim's --link stands for the pty: it outlives a replug.
  wine reg add 'HKLM\Software\Wine\Ports' /v "$COM" /t REG_SZ /d "${sim_link:-$pty}" /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1 || true
  timeout 20 wineserver -w >/dev/null 2>&1 || true
  start_wine
}
# stop_sim: waits (at most 20 s) for plcsim --once to end; status in $simrc.
stop_sim() {
  local i
  for ((i = 0; i < 100; i++)); do
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.2
  done
  kill "$sim_pid" 2>/dev/null || true
  simrc=0
  wait "$sim_pid" || simrc=$?
  sim_pid=""
}
# stop_sim_after_wine: stop_sim once Wine has let go of the pty.
stop_sim_after_wine() {
  wineserver -k >/dev/null 2>&1 || true
  timeout 20 wineserver -w >/dev/null 2>&1 || true
  stop_sim
}
# same_image RECEIVED EXPECTED: the received bytes are the image, followed at
# most by the filler of the last block.
same_image() {
  local received="$1" expected="$2" length size
  [ -f "$received" ] || return 1
  length=$(stat -c %s "$expected")
  size=$(stat -c %s "$received")
  [ "$size" -ge "$length" ] && [ $((size - length)) -lt 256 ] || return 1
  cmp -s -n "$length" "$received" "$expected" || return 1
  [ "$(tail -c +$((length + 1)) "$received" | tr -d '\032' | wc -c)" -eq 0 ]
}

# plcfw_burn NAME MODEL [STTY...]: plcfw.exe burns the small image into plcsim
# playing MODEL through $COM, the pty's termios first changed by STTY.
plcfw_burn() {
  local name="$1" model="$2" rc=0
  shift 2
  say "plcfw.exe burns plcsim ($model${*:+, stty $*}) through $COM"
  start_sim "$name" --model "$model" --flash-out "$OUT/$name-flash.bin" --once
  [ $# -eq 0 ] || stty -F "$(head -n 1 "$OUT/$name-sim.out")" "$@"
  timeout 120 wine "$BUILD/src/ui/console/plcfw.exe" --model "$model" \
    --image "$(win_path "$SMALL_IMAGE")" --port "$COM" --yes --log "$(win_path "$OUT/$name.jsonl")" \
    </dev/null >"$OUT/$name.out" 2>"$OUT/$name.err" || rc=$?
  stop_sim
  check "plcfw.exe ($model) exits 0" [ "$rc" -eq 0 ]
  check "plcfw.exe ($model) reports success" grep -qxF \
    "INFORMATION: Firmware update is SUCCESSFUL" <(tr -d '\r' <"$OUT/$name.out")
  check "plcsim received a complete image from plcfw.exe ($model)" [ "$simrc" -eq 0 ]
  check "received image = the image ($model)" same_image "$OUT/$name-flash.bin" "$SMALL_IMAGE"
}
plcfw_burn plcfw "$SERIAL_MODEL"
# A port left by another program with XON/XOFF on (a pty's default, which
# plcsim's raw set-up clears): the LP4's boot ID 0x0013 is XOFF.
plcfw_burn plcfw-lp4 LP4 ixon ixoff

say "plcfw.exe --identify plcsim ($SERIAL_MODEL) through $COM"
# Without --once: identify starts no transfer for plcsim to wait for.
start_sim identify --model "$SERIAL_MODEL"
rc=0
timeout 120 wine "$BUILD/src/ui/console/plcfw.exe" --identify --model "$SERIAL_MODEL" --port "$COM" \
  --log "$(win_path "$OUT/plcfw.jsonl")" </dev/null >"$OUT/identify.out" 2>"$OUT/identify.err" || rc=$?
kill "$sim_pid" 2>/dev/null || true
stop_sim
check "plcfw.exe --identify exits 0" [ "$rc" -eq 0 ]
check "plcfw.exe --identify reports the device" grep -qxF "Device type ID: 0x000E ($SERIAL_MODEL)" \
  <(tr -d '\r' <"$OUT/identify.out")
# The burn's record and the identify's, one line each; the image's SHA-256 from CNG.
check "plcfw.exe --log records both runs" python3 -c '
import hashlib, json, sys
burn, identify = (json.loads(l) for l in open(sys.argv[1]).read().splitlines())
sys.exit((burn["result"], burn["imageSha256"], identify["result"], identify["facts"]["fits"]) !=
         ("success", hashlib.sha256(open(sys.argv[2], "rb").read()).hexdigest(), "identified", "yes"))
' "$OUT/plcfw.jsonl" "$SMALL_IMAGE"

say "plcfw.exe with standard input on the null device"
# The null device is a character device but no console: a model that prompts
# is refused without --yes before anything is opened.
rc=0
timeout 60 wine "$BUILD/src/ui/console/plcfw.exe" --model KT4-W --port COM99 </dev/null \
  >"$OUT/nul.out" 2>"$OUT/nul.err" || rc=$?
check "plcfw.exe < NUL without --yes is refused as a usage error" [ "$rc" -eq 2 ]

# ---- The window ------------------------------------------------------------------
probe() { wine "$BUILD/tests/window/window_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
# value KEY: from the last probe
value() { sed -n "s/^$1=//p" "$OUT/probe.txt"; }
probe_main() { probe main >"$OUT/probe.txt" && [ "$(value found)" = 1 ]; }
box_shown() { probe box "$1" >"$OUT/box.txt" && grep -qx 'found=1' "$OUT/box.txt"; }
box_gone() { ! box_shown "$1"; }
box_value() { sed -n "s/^$1=//p" "$OUT/box.txt"; }
button_enabled() { probe_main && [ "$(value button_enabled)" = 1 ]; }
window_gone() { ! probe_main; }

# start_window EXE [ARG...]: starts the window and waits for it; its X window
# in $xid and the client area's offset in it in $cx, $cy.
start_window() {
  wine "$@" >"$OUT/window.log" 2>&1 &
  if ! wait_for 30 probe_main; then
    echo "the window did not appear" >&2
    return 1
  fi
  xid="$(xdotool search --sync --limit 1 --name '^Vemora PLC Firmware Update Program$' | head -n 1)"
  # The X window is the whole window when Wine draws the frame, and only the
  # client area when the window manager does: the offset follows its size.
  sleep 0.5
  probe_main || return 1
  local size outer client
  size="$(xdotool getwindowgeometry "$xid" | sed -n 's/^ *Geometry: //p')"
  outer="$(value outer_origin)"
  client="$(value client_origin)"
  if [ "$size" = "$(value outer)" ]; then
    cx=$((${client%,*} - ${outer%,*}))
    cy=$((${client#*,} - ${outer#*,}))
  elif [ "$size" = "$(value client)" ]; then
    cx=0
    cy=0
    echo "  the window manager draws the frame" >&2
  else
    echo "the X window ($size) is neither the window nor its client area" >&2
    return 1
  fi
}
# click X Y: a click at client coordinates of the main window.
click() { xdotool mousemove --window "$xid" $(($1 + cx)) $(($2 + cy)) click 1; }
screenshot() { "$SCREENSHOT_TOOL" -window root "$OUT/$1.png"; }
window_shot() { "$SCREENSHOT_TOOL" -window "$xid" "$OUT/$1.png"; }
# rgb SHOT X Y: "r,g,b" of a client pixel of a window screenshot.
rgb() {
  "$IMAGE_TOOL" "$OUT/$1.png" -format \
    "%[fx:int(255*p{$(($2 + cx)),$(($3 + cy))}.r)],%[fx:int(255*p{$(($2 + cx)),$(($3 + cy))}.g)],%[fx:int(255*p{$(($2 + cx)),$(($3 + cy))}.b)]" \
    info:
}
# text_width SHOT: width of what is drawn in the phase field after "Status: ".
phase_width() {
  "$IMAGE_TOOL" "$OUT/$1.png" -crop "90x20+$((209 + cx))+$((140 + cy))" +repage \
    -bordercolor "$(rgb "$1" 300 159 | sed 's/^/rgb(/;s/$/)/')" -border 1 -trim \
    -format '%w' info: 2>/dev/null || echo 0
}
# close_box CAPTION: answers the box with Enter and waits until it is gone.
close_box() {
  local box
  box="$(xdotool search --limit 1 --name "^$1\$" | head -n 1)"
  [ -n "$box" ] || return 1
  press "$box" Return
  wait_for 10 box_gone "$1"
}
x_size_is() { [[ "$(xdotool getwindowgeometry "$xid")" == *"Geometry: $1"* ]]; }
# The keyboard goes through the X server (XTEST) to the active window, as a
# user's keys would.
style_frame_is() {
  local style
  style="$(value style)"
  [ -n "$style" ] || return 1
  [ $((0x$style & 0x00CF0000)) -eq $((0x$1)) ] || { echo "  style is $style" >&2; return 1; }
}
press() {
  xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
  xdotool key "$2"
}
close_window() {
  press "$xid" alt+F4
  wait_for 15 window_gone
}

# No PLC devices left in Wine's registry by a run that stopped half-way.
probe plcs
say "plcfwupdate.exe as built (VM500)"
if start_window "$BUILD/src/ui/window/plcfwupdate.exe"; then
  check "window title" [ "$(value title)" = "Vemora PLC Firmware Update Program" ]
  check "outer size 544 x 205 (Windows)" [ "$(value outer)" = 544x205 ]
  check "outer size 544 x 205 (X)" x_size_is 544x205
  # Only the frame bits: WS_VISIBLE, WS_CLIPSIBLINGS and the like come and go.
  check "caption, system menu and minimize box only" style_frame_is 00CA0000
  check "model list holds the 24 models" [ "$(value model_rows | tr ',' '\n' | wc -l)" -eq 24 ]
  check "model list shows VM500" [ "$(value model_selected)" = VM500 ]
  check "model list is disabled" [ "$(value model_enabled)" = 0 ]
  check "port list is USB" [ "$(value port_rows)" = USB ]
  check "USB selected" [ "$(value port_selected)" = USB ]
  check "button enabled" [ "$(value button_enabled)" = 1 ]
  sleep 0.5  # one tick of the panel timer draws the logo
  window_shot vm500-window
  check "logo drawn" [ "$(rgb vm500-window 437 17)" = "31,58,104" ]

  # Escape and Ctrl+Break are not the start command, with the focus on the
  # button either.
  press "$xid" Escape
  sleep 1.5
  check "Escape starts no burn" box_gone ERROR
  for ((i = 0; i < 3; i++)); do
    probe_main && [ "$(value focus_id)" = 2 ] && break
    xdotool key Tab
    sleep 0.3
  done
  check "Tab puts the focus on the button" [ "$(value focus_id)" = 2 ]
  xdotool key ctrl+Break
  sleep 1.5
  check "Ctrl+Break starts no burn" box_gone ERROR

  click 60 75
  if wait_for 20 box_shown ERROR; then
    check "box text" [ "$(box_value text)" = "CANNOT open USB Port!!!" ]
    check "box owned by the main window" [ "$(box_value owner_is_main)" = 1 ]
    check "xdotool finds the box by its caption" xdotool search --name '^ERROR$'
    probe_main || true
    check "button disabled while the box is up" [ "$(value button_enabled)" = 0 ]
    screenshot vm500-error-box
    check "box closes" close_box ERROR
    check "button enabled again" wait_for 10 button_enabled
  else
    check "box \"CANNOT open USB Port!!!\" appears" false
  fi
  check "window closes" close_window
else
  check "VM500 window appears" false
fi

say "plcfwupdate.exe built for $SERIAL_MODEL burns plcsim through $COM"
start_sim window --model "$SERIAL_MODEL" --flash-out "$OUT/window-flash.bin" --once --line-rate
if start_window "$SERIAL_BUILD/src/ui/window/plcfwupdate.exe"; then
  check "model list shows $SERIAL_MODEL" [ "$(value model_selected)" = "$SERIAL_MODEL" ]
  check "model list is disabled" [ "$(value model_enabled)" = 0 ]
  check "port list offers $COM" grep -qx "$COM" <(value port_rows | tr ',' '\n')
  check "first port selected" [ "$(value port_selected)" = "$(value port_rows | cut -d, -f1)" ]
  # Pick the port: open the list, go to its row, take it.
  row=$(value port_rows | tr ',' '\n' | grep -nx "$COM" | cut -d: -f1)
  click 210 30
  sleep 0.5
  xdotool key Home
  for ((i = 1; i < ${row:-1}; i++)); do xdotool key Down; done
  xdotool key Return
  sleep 0.5
  probe_main || true
  check "$COM picked" [ "$(value port_selected)" = "$COM" ]
  window_shot serial-window

  click 60 75
  # The transfer runs once the line is switched to 115200 baud.
  if wait_for 60 grep -q 'line at 115200' "$OUT/window-sim.err"; then
    caught=""
    for ((i = 0; i < 40; i++)); do
      window_shot serial-transfer
      red_left="$(rgb serial-transfer 11 115)"
      red_right="$(rgb serial-transfer 518 115)"
      # The bar fills during the erase too: wait for the transfer's own.
      if [ "$red_left" = "255,0,0" ] && [ "$red_right" != "255,0,0" ] &&
        [ "$(phase_width serial-transfer)" -ge 60 ]; then
        caught=1
        break
      fi
      sleep 0.2
    done
    check "screenshot during the transfer shows a partly red bar" [ -n "$caught" ]
    width="$(phase_width serial-transfer)"
    echo "  phase text width: $width px (Idle ~20, Erasing ~45, Programming ~75)" >&2
    check "screenshot during the transfer shows \"Programming\"" [ "${width:-0}" -ge 60 ]

    # Closing during the run asks first.  The question stays open while the
    # run ends and another one starts: its answer is none for the new run.
    press "$xid" alt+F4
    question=""
    if wait_for 10 box_shown WARNING; then
      check "close question" [ "$(box_value text)" = "A firmware update is in progress. Closing now can leave the PLC without a working program. Close anyway?" ]
      screenshot serial-close-question
      question="$(xdotool search --limit 1 --name '^WARNING$' | head -n 1)"
    else
      check "closing during a run asks first" false
    fi

    if wait_for 120 box_shown INFORMATION; then
      check "success box" [ "$(box_value text)" = "Firmware update is SUCCESSFUL" ]
      screenshot serial-success-box
      check "box closes" close_box INFORMATION
      check "button enabled again" wait_for 10 button_enabled
    else
      check "box \"Firmware update is SUCCESSFUL\" appears" false
      box_shown ERROR && echo "  ERROR box instead: $(box_value text)" >&2
    fi
    if [ -n "$question" ]; then
      xdotool windowmove "$question" 0 400  # off the button
      click 60 75  # plcsim is gone: this run ends at the open
      wait_for 20 box_shown ERROR || true
      press "$question" y
      sleep 1.5
      check "Yes to the question asks again for the new run" box_shown WARNING
      press "$(xdotool search --limit 1 --name '^WARNING$' | head -n 1)" n
      check "No keeps the window" wait_for 10 box_gone WARNING
      wait_for 60 box_shown ERROR && close_box ERROR
    fi
  else
    check "the transfer starts" false
    tail -n 5 "$OUT/window-sim.err" >&2
  fi
  check "window closes" close_window
else
  check "$SERIAL_MODEL window appears" false
fi
stop_sim_after_wine
check "plcsim received a complete image from the window" [ "$simrc" -eq 0 ]
check "received image = the embedded image" same_image "$OUT/window-flash.bin" "$SMALL_IMAGE"

# ---- The command line, the shipped build's replug, devices coming and going ----
TITLE="Vemora PLC Firmware Update Program"
COM_PATH='\\.\'"$COM"
PLUG_LINK="$OUT/plc-link"
REPLUG_TEXT="Please REPLUG the USB Cable, and then press OK to continue"
box_text_is() { box_shown "$1" && [ "$(box_value text)" = "$2" ]; }
port_listed() { probe_main && value port_rows | tr ',' '\n' | grep -qx "$1"; }
port_unlisted() { probe_main && ! value port_rows | tr ',' '\n' | grep -qx "$1"; }
serial_comm() {  # serial_comm add|delete: a port that arrives (COM77) or leaves
  local data=()
  [ "$1" = add ] && data=(/t REG_SZ /d COM77)
  wine reg "$1" 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v PlcLater "${data[@]}" /f >/dev/null 2>&1
}

window_usage_box() {
  say "plcfwupdate.exe with a bad argument"
  wine "$BUILD/src/ui/window/plcfwupdate.exe" --port >"$OUT/usage.log" 2>&1 &
  if wait_for 30 box_shown "$TITLE"; then
    check "usage box says why" [ "$(box_value text)" = "--port needs a device path or a COM port" ]
    check "usage box shows the usage" grep -qxF "Usage: plcfwupdate.exe [--port PATH]" "$OUT/box.txt"
    screenshot usage-box
    check "usage box closes" close_box "$TITLE"
    check "no window after the usage box" window_gone
  else
    check "a bad argument shows the usage box" false
  fi
}

# The release as shipped, told the PLC's device path, clicked as a person would.
vm500_replug_burn() {
  say "plcfwupdate.exe as built (VM500) --port $COM_PATH burns plcsim, replugged"
  sim_link="$PLUG_LINK" start_sim vm500-replug --model VM500 --link "$PLUG_LINK" \
    --flash-out "$OUT/vm500-flash.bin" --once
  if start_window "$BUILD/src/ui/window/plcfwupdate.exe" --port "$COM_PATH"; then
    check "port list shows the given path" [ "$(value port_rows)" = "$COM_PATH" ]
    check "the given path selected" [ "$(value port_selected)" = "$COM_PATH" ]
    click 60 75
    if wait_for 30 box_text_is Information "$REPLUG_TEXT"; then
      screenshot vm500-replug-box
      kill -USR1 "$sim_pid"
      check "the PLC is unplugged" wait_for 5 test ! -e "$PLUG_LINK"
      kill -USR2 "$sim_pid"
      check "the PLC is plugged in again" wait_for 5 test -e "$PLUG_LINK"
      check "replug box closes" close_box Information
      if wait_for 300 box_shown Information; then
        check "success box" [ "$(box_value text)" = "Firmware update is SUCCESSFUL!, please REPLUG the USB cable" ]
        screenshot vm500-success-box
        check "success box closes" close_box Information
      else
        check "the burn ends with the success box" false
        box_shown ERROR && echo "  ERROR box instead: $(box_value text)" >&2
      fi
    else
      check "the replug box appears" false
      box_shown ERROR && echo "  ERROR box instead: $(box_value text)" >&2
    fi
    check "window closes" close_window
  else
    check "VM500 window with --port appears" false
  fi
  stop_sim_after_wine
  start_wine
  check "plcsim received a complete image from the VM500 window" [ "$simrc" -eq 0 ]
  # The VM group keeps the image's last 4,096 bytes to itself.
  local image length
  image="$(sed -n 's/^PLC_FIRMWARE_BIN:INTERNAL=//p' "$BUILD/CMakeCache.txt")"
  length=$(($(stat -c %s "$image") - 4096))
  head -c "$length" "$image" >"$OUT/vm500-expected.bin"
  check "received image = the built-in image less its last 4,096 bytes" \
    same_image "$OUT/vm500-flash.bin" "$OUT/vm500-expected.bin"
}

# OK before the PLC is back: the reopen finds nothing, the probe no answer.
vm500_replug_too_early() {
  say "plcfwupdate.exe (VM500): OK on the replug box before the PLC is back"
  sim_link="$PLUG_LINK" start_sim vm500-early --model VM500 --link "$PLUG_LINK"
  if start_window "$BUILD/src/ui/window/plcfwupdate.exe" --port "$COM_PATH"; then
    click 60 75
    if wait_for 30 box_text_is Information "$REPLUG_TEXT"; then
      kill -USR1 "$sim_pid"
      wait_for 5 test ! -e "$PLUG_LINK" || true
      check "replug box closes" close_box Information
      if wait_for 60 box_shown ERROR; then
        check "the failed reopen's message" [ "$(box_value text)" = "NO RESPONSE @ State 1" ]
        screenshot vm500-early-error-box
        check "box closes" close_box ERROR
        check "button enabled again" wait_for 10 button_enabled
      else
        check "the failed reopen ends the run with a box" false
      fi
    else
      check "the replug box appears" false
    fi
    check "window closes" close_window
  else
    check "VM500 window with --port appears" false
  fi
  kill "$sim_pid" 2>/dev/null || true
  stop_sim
}

# A port that arrives or leaves is seen without a restart, the selection
# kept, and never while a run is under way.
serial_port_refresh() {
  say "plcfwupdate.exe built for $SERIAL_MODEL --port $COM: devices come and go"
  if start_window "$SERIAL_BUILD/src/ui/window/plcfwupdate.exe" --port "$COM"; then
    check "--port $COM preselected" [ "$(value port_selected)" = "$COM" ]
    serial_comm add
    probe devicechange >/dev/null
    check "a port that arrived is listed" port_listed COM77
    check "the selection is kept" [ "$(value port_selected)" = "$COM" ]
    click 60 75  # no PLC behind it: the run shows its box and waits
    if wait_for 20 box_shown ERROR; then
      serial_comm delete
      probe devicechange >/dev/null
      sleep 0.5
      check "no refresh while a run is under way" port_listed COM77
      check "box closes" close_box ERROR
      check "the refresh follows the run's end" wait_for 5 port_unlisted COM77
      check "the selection is still kept" [ "$(value port_selected)" = "$COM" ]
    else
      check "the run without a PLC shows its box" false
      serial_comm delete
    fi
    check "window closes" close_window
  else
    check "$SERIAL_MODEL window with --port appears" false
  fi
}

# Several PLCs, as Windows' device search would list them (made in Wine's
# registry; they cannot be opened), and PLCs plugged in and out later.
vm500_several_plcs() {
  say "plcfwupdate.exe as built (VM500): several PLCs, plugged in while it runs"
  probe plcs
  if start_window "$BUILD/src/ui/window/plcfwupdate.exe"; then
    check "no PLC: the USB row" [ "$(value port_rows)" = USB ]
    check "two PLCs can be made" probe plcs Port_#0002.Hub_#0001 Port_#0001.Hub_#0004
    sleep 2
    if probe_main && [ "$(value port_rows)" != USB ]; then
      echo "  Wine told the window of the new devices itself" >&2
    else
      echo "  Wine does not tell the window of the new devices: the probe does" >&2
      probe devicechange >/dev/null
    fi
    probe_main || true
    check "a row per PLC, by hub and port" \
      [ "$(value port_rows)" = "Port 1 (hub 4),Port 2 (hub 1)" ]
    check "the first PLC found selected" [ "$(value port_selected)" = "Port 2 (hub 1)" ]
    click 210 30  # drop the list down and take its first row
    sleep 0.5
    screenshot vm500-several-plcs
    xdotool key Home Return
    sleep 0.5
    check "a third PLC" probe plcs Port_#0002.Hub_#0001 Port_#0001.Hub_#0004 Port_#0003.Hub_#0001
    probe devicechange >/dev/null
    probe_main || true
    check "three rows" [ "$(value port_rows | tr ',' '\n' | wc -l)" -eq 3 ]
    check "the pick is kept" [ "$(value port_selected)" = "Port 1 (hub 4)" ]
    click 60 75
    if wait_for 20 box_shown ERROR; then
      check "a PLC that cannot be opened" [ "$(box_value text)" = "CANNOT open USB Port!!!" ]
      close_box ERROR || true
    else
      check "the run on the picked PLC ends with a box" false
    fi
    probe plcs
    probe devicechange >/dev/null
    probe_main || true
    check "PLCs gone: the USB row again" [ "$(value port_rows)" = USB ]
    check "window closes" close_window
  else
    check "VM500 window appears" false
  fi
  probe plcs
}

window_usage_box
vm500_several_plcs
vm500_replug_burn
vm500_replug_too_early
serial_port_refresh

say "screenshots and logs: $OUT"
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
