# Wine on a virtual X display, for the checks of the Windows programs: sourced
# by the Windows test stage (which starts the display and the prefix) and by
# the process tests that run plcfw.exe (which map a COM port to a pty).
# use_prefix reports with lib.sh's say.
# shellcheck shell=bash

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

# win_path PATH: the path as a Windows program under Wine names it.
win_path() { printf 'Z:%s' "${1//\//\\}"; }

# start_display LOGDIR: Xvfb and openbox, pids in $xvfb_pid and $openbox_pid,
# DISPLAY exported.  A display number can be taken where no lock file here
# shows it (by a server in another root that shares the abstract socket
# names): Xvfb then ends at once, while the clients would reach the other
# server.  Xvfb writes the number to -displayfd only once it listens itself.
start_display() {
  local logs="$1" n i display=""
  for n in $(seq 91 120); do
    [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] || continue
    : >"$logs/xvfb.display"
    Xvfb ":$n" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
      3>"$logs/xvfb.display" >"$logs/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for ((i = 0; i < 75; i++)); do
      [ -s "$logs/xvfb.display" ] && display=":$n" && break 2
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.2
    done
    kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  done
  [ -n "$display" ] || { echo "no X display could be started" >&2; return 1; }
  export DISPLAY="$display"
  wait_for 15 xdotool getdisplaygeometry >/dev/null || { echo "Xvfb did not start" >&2; return 1; }
  openbox >"$logs/openbox.log" 2>&1 &
  # shellcheck disable=SC2034 # the caller ends it
  openbox_pid=$!
}

# use_prefix PREFIX LOGDIR: exports Wine's settings and makes the prefix if it
# is not complete.  A prefix counts only once its whole set-up has run: one
# left half-made by a run that stopped (a missing package, say) would lack the
# settings below.
use_prefix() {
  export WINEPREFIX="$1" WINEDEBUG=-all WINEARCH=win64
  # No Mono or Gecko installer dialogs in a new prefix.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  local logs="$2" done_mark="$1/plc-setup-complete"
  [ ! -f "$done_mark" ] || return 0
  say "creating the Wine prefix"
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  timeout 180 wineboot -i >"$logs/wineboot.log" 2>&1 || { echo "wineboot failed" >&2; return 1; }
  timeout 60 wineserver -w
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  # A crash must end the program, not wait on a dialog; Wine draws the frame
  # itself, so that the X window is the whole Windows window.
  local key name type data
  while IFS='|' read -r key name type data; do
    wine reg add "$key" /v "$name" /t "$type" /d "$data" /f >>"$logs/wineboot.log" 2>&1 ||
      { echo "cannot set $key\\$name in the Wine prefix" >&2; return 1; }
  done <<'KEYS'
HKCU\Software\Wine\WineDbg|ShowCrashDialog|REG_DWORD|0
HKCU\Software\Wine\X11 Driver|Decorated|REG_SZ|N
KEYS
  timeout 60 wineserver -w # the registry is on disk
  touch "$done_mark"
}

# start_wine: a persistent server keeps Wine warm between many short runs.
# The first program started also starts Wine's services, which keep its
# standard output open for as long as the server lives: that first program
# must not write into a pipe that someone waits on (ctest, a probe), so it is
# this one.
start_wine() {
  wineserver -p >/dev/null 2>&1 || true
  timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# stop_wine: ends every Wine process and waits for them to let go of what
# they hold (a pty, say).
stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  timeout 20 wineserver -w >/dev/null 2>&1 || true
}

# map_com COM TARGET: the COM port opens TARGET (a pty, or a link to one that
# outlives a replug); Wine is restarted so that it sees the mapping.
map_com() {
  wine reg add 'HKLM\Software\Wine\Ports' /v "$1" /t REG_SZ /d "$2" /f >/dev/null 2>&1
  stop_wine
  start_wine
}
