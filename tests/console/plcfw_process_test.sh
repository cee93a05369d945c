#!/usr/bin/env bash
# plcfw as a process, against plcsim on a pseudo-terminal.
# Usage: plcfw_process_test.sh CASE PLCFW PLCSIM IMAGE
#   CASE: usage | open-failure | vm500 | serial | prompt | interrupt
set -uo pipefail

case_name="$1"
PLCFW="$2"
PLCSIM="$3"
IMAGE="$4"

work="$(mktemp -d)"
simpid=""
cleanup() {
  if [ -n "$simpid" ] && kill -0 "$simpid" 2>/dev/null; then kill "$simpid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
  local what="$1"
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what" >&2
  fi
}
has_line() { grep -qxF -- "$2" "$1"; }
has_text() { grep -qF -- "$2" "$1"; }

# run_plcfw NAME ARGS...: runs plcfw with a bound on time; status in $rc,
# output in $work/NAME.out and $work/NAME.err.
run_plcfw() {
  local name="$1"
  shift
  timeout 120 "$PLCFW" "$@" </dev/null >"$work/$name.out" 2>"$work/$name.err"
  rc=$?
}

# start_sim ARGS...: starts plcsim; its pty in $pty.
start_sim() {
  "$PLCSIM" "$@" >"$work/sim.out" 2>"$work/sim.err" &
  simpid=$!
  pty=""
  for _ in $(seq 100); do
    pty="$(head -n 1 "$work/sim.out" 2>/dev/null)"
    [ -n "$pty" ] && return 0
    kill -0 "$simpid" 2>/dev/null || break
    sleep 0.1
  done
  echo "plcsim did not start:" >&2
  cat "$work/sim.err" >&2
  return 1
}

# wait_sim: waits (at most 10 s) for plcsim --once to end; its status in $simrc.
wait_sim() {
  for _ in $(seq 100); do
    kill -0 "$simpid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$simpid" 2>/dev/null
  wait "$simpid"
  simrc=$?
  simpid=""
}

# same_bytes FILE EXPECTED LENGTH: the first LENGTH bytes agree and the file
# holds nothing more than the filler of its last block.
same_bytes() {
  local file="$1" expected="$2" length="$3" size
  [ -f "$file" ] || return 1
  size=$(stat -c %s "$file")
  [ "$size" -ge "$length" ] && [ $((size - length)) -lt 256 ] || return 1
  cmp -s -n "$length" "$file" "$expected" || return 1
  [ "$(tail -c +$((length + 1)) "$file" | tr -d '\032' | wc -c)" -eq 0 ]
}

case "$case_name" in
  usage)
    # Each: arguments, then a text the error must carry.
    while IFS='|' read -r args text; do
      # shellcheck disable=SC2086
      run_plcfw usage $args
      check "exit 2 for: $args" [ "$rc" -eq 2 ]
      check "'$text' for: $args" has_text "$work/usage.err" "$text"
      check "nothing on standard output for: $args" [ ! -s "$work/usage.out" ]
    done <<'EOF'
--bogus|unknown option --bogus
--model|--model needs
--model NOPE|KT4-RV4, LM4, LQ4, LP4, KT4-W, LN, TW5, 36RV4-AIO, LQ, KT4-N, LN-P, LP4-P, VM600, KT-RV-TW4, RV4-TRK, LP32, KT4-G, VM500, VM500-AIO, LN30, KT5, BRK-T, VM400, RV5-AIO
--model vm500|unknown model 'vm500'
--port|--port needs
--image|--image needs
ttyUSB0|unexpected argument ttyUSB0
EOF
    run_plcfw help --help
    check "--help exits 0" [ "$rc" -eq 0 ]
    check "--help shows the options" has_text "$work/help.out" "--list-ports"
    run_plcfw models --list-models
    check "--list-models lists 24 models" [ "$(wc -l <"$work/models.out")" -eq 24 ]
    check "--list-models shows VM500 as USB" grep -qE '^VM500 +USB$' "$work/models.out"
    run_plcfw version --version
    check "--version names the image" has_text "$work/version.out" "for VM500"
    ;;

  open-failure)
    head -c 1000 /dev/urandom >"$work/small.bin"
    run_plcfw name --model LM4 --image "$work/small.bin" --port ttyUSB9 --yes
    check "exit 1 for a missing port" [ "$rc" -eq 1 ]
    check "the port by its name" has_line "$work/name.out" "ERROR: CANNOT open ttyUSB9 Port!!!"
    run_plcfw path --model LM4 --image "$work/small.bin" --port /dev/serial/by-id/no-such-plc-port --yes
    check "exit 1 for a missing path" [ "$rc" -eq 1 ]
    check "a long path shown in full" has_line "$work/path.out" \
      "ERROR: CANNOT open /dev/serial/by-id/no-such-plc-port Port!!!"
    run_plcfw notty --model LM4 --image "$work/small.bin" --port "$work/small.bin" --yes
    check "a file that is no port is not opened" has_line "$work/notty.out" \
      "ERROR: CANNOT open $work/small.bin Port!!!"
    run_plcfw usb --port /dev/ttyACM99 --yes
    check "exit 1 for a missing USB device" [ "$rc" -eq 1 ]
    check "USB models report USB" has_line "$work/usb.out" "ERROR: CANNOT open USB Port!!!"
    run_plcfw big --model LM4 --image "$IMAGE" --port ttyUSB9 --yes
    check "an image too large for the model" has_line "$work/big.out" \
      "ERROR: The file size EXCEEDS the MAXIMUM size (2 * 1024 * 240)"
    run_plcfw noimage --model LM4 --image "$work/missing.bin" --port ttyUSB9 --yes
    check "an image that cannot be read" has_line "$work/noimage.out" \
      "ERROR: The firmware image CANNOT be loaded"
    check "exit 1 for it" [ "$rc" -eq 1 ]
    ;;

  vm500)
    start_sim --model VM500 --flash-out "$work/flash.bin" --once || exit 1
    run_plcfw burn --port "$pty" --yes
    wait_sim
    check "exit 0" [ "$rc" -eq 0 ]
    check "the replug prompt" has_line "$work/burn.out" \
      "Information: Please REPLUG the USB Cable, and then press OK to continue"
    check "the success message last" [ "$(tail -n 1 "$work/burn.out")" = \
      "Information: Firmware update is SUCCESSFUL!, please REPLUG the USB cable" ]
    check "two messages in all" [ "$(wc -l <"$work/burn.out")" -eq 2 ]
    # The erase of the simulator is over within a tick, so only the long
    # phase is sure to be seen.
    check "progress while programming" has_text "$work/burn.err" "Programming"
    check "the seconds count through the 5 s replug pause" grep -qE '^ *([5-9]|[1-9][0-9]+) s ' "$work/burn.err"
    check "progress lines, not a redrawn line" [ "$(grep -c $'\r' "$work/burn.err")" -eq 0 ]
    check "plcsim saw a complete image" [ "$simrc" -eq 0 ]
    check "received = image less its last 4,096 bytes" \
      same_bytes "$work/flash.bin" "$IMAGE" $(($(stat -c %s "$IMAGE") - 4096))
    ;;

  serial)
    head -c 5000 /dev/urandom >"$work/small.bin"
    start_sim --model LM4 --flash-out "$work/flash.bin" --once || exit 1
    run_plcfw burn --model LM4 --image "$work/small.bin" --port "$pty" --yes --trace
    wait_sim
    check "exit 0" [ "$rc" -eq 0 ]
    check "the success message" has_line "$work/burn.out" "INFORMATION: Firmware update is SUCCESSFUL"
    check "plcsim saw a complete image" [ "$simrc" -eq 0 ]
    check "received = the whole image" same_bytes "$work/flash.bin" "$work/small.bin" 5000
    check "trace shows the probe in hex and text" grep -qE '^> 3A .*\|:' "$work/burn.err"
    check "trace shows the line settings" has_line "$work/burn.err" "= line 9600 7E1"
    check "trace shows the transfer settings" has_line "$work/burn.err" "= line 115200 8N1"
    check "trace shows the ACKs" has_line "$work/burn.err" "< 06  |.|"
    ;;

  prompt)
    # A power-cycle model without --yes: the run waits at the prompt until
    # Enter comes on standard input, and nothing goes over the link meanwhile.
    head -c 3000 /dev/urandom >"$work/small.bin"
    start_sim --model KT4-W --d1386 4138 --flash-out "$work/flash.bin" --once || exit 1
    mkfifo "$work/stdin"
    exec 3<>"$work/stdin"
    timeout 120 "$PLCFW" --model KT4-W --image "$work/small.bin" --port "$pty" --trace \
      <"$work/stdin" >"$work/burn.out" 2>"$work/burn.err" &
    fwpid=$!
    for _ in $(seq 300); do
      grep -q "Press Enter" "$work/burn.err" 2>/dev/null && break
      sleep 0.1
    done
    before=$(grep -c '^>' "$work/burn.err")
    sleep 2.5  # longer than the 2 s pause that follows the prompt
    after=$(grep -c '^>' "$work/burn.err")
    check "nothing sent while the prompt waits" [ "$before" -eq "$after" ]
    check "still running at the prompt" kill -0 "$fwpid"
    echo >&3
    wait "$fwpid"
    rc=$?
    exec 3>&-
    wait_sim
    check "exit 0" [ "$rc" -eq 0 ]
    check "the power-cycle prompt" has_line "$work/burn.out" \
      "Information: Please POWER OFF=>ON the PLC, and then press OK to continue"
    check "asks for Enter" has_text "$work/burn.err" "Press Enter to continue."
    check "the success message" has_line "$work/burn.out" "INFORMATION: Firmware update is SUCCESSFUL"
    check "received = the whole image" same_bytes "$work/flash.bin" "$work/small.bin" 3000
    ;;

  interrupt)
    start_sim --model VM500 || exit 1
    timeout 120 "$PLCFW" --port "$pty" --yes >"$work/burn.out" 2>"$work/burn.err" &
    fwpid=$!
    for _ in $(seq 300); do
      grep -q "Programming" "$work/burn.err" 2>/dev/null && break
      sleep 0.1
    done
    kill -INT "$fwpid"
    wait "$fwpid"
    rc=$?
    check "exit 3" [ "$rc" -eq 3 ]
    check "the warning" has_text "$work/burn.err" "the PLC may be left without a working program"
    check "no success message" [ "$(grep -c SUCCESSFUL "$work/burn.out")" -eq 0 ]
    ;;

  *)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac

if [ "$failed" -ne 0 ]; then
  for f in "$work"/*.out "$work"/*.err; do
    [ -f "$f" ] || continue
    echo "--- $(basename "$f") (last lines)" >&2
    tail -n 15 "$f" | cut -c1-160 >&2
  done
fi
echo "$case_name: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
