#!/usr/bin/env bash
# plcfw as a process, against plcsim on a pseudo-terminal.
# Usage: plcfw_process_test.sh usage|open-failure|vm500|serial|interrupt PLCFW PLCSIM IMAGE
set -uo pipefail
case_name="$1" PLCFW="$2" PLCSIM="$3" IMAGE="$4"
work="$(mktemp -d)"
simpid=""
trap '[ -z "$simpid" ] || kill "$simpid" 2>/dev/null; rm -rf "$work"' EXIT
passed=0 failed=0

check() { # check DESCRIPTION COMMAND...
  local what="$1"
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)) && echo "FAILED: $what" >&2; fi
}
has_line() { grep -qxF -- "$2" "$work/$1"; }

# run NAME ARGS...: plcfw's status in $rc, its output in $work/NAME.out and .err.
run() {
  local name="$1"
  shift
  timeout 120 "$PLCFW" "$@" </dev/null >"$work/$name.out" 2>"$work/$name.err"
  rc=$?
}

# start_sim ARGS...: plcsim --once in the background, writing what it receives
# to $work/flash.bin; its pty in $pty.
start_sim() {
  "$PLCSIM" --once --flash-out "$work/flash.bin" "$@" >"$work/sim.out" 2>"$work/sim.err" &
  simpid=$!
  for _ in $(seq 100); do
    pty="$(head -n 1 "$work/sim.out")" && [ -n "$pty" ] && return 0
    sleep 0.1
  done
  return 1
}

# wait_sim: plcsim's status in $simrc (0: it received a whole image); ended after 10 s.
wait_sim() {
  for _ in $(seq 100); do kill -0 "$simpid" 2>/dev/null && sleep 0.1; done
  kill "$simpid" 2>/dev/null
  wait "$simpid"
  simrc=$?
  simpid=""
}

case "$case_name" in
  usage)
    while IFS='|' read -r args text; do
      # shellcheck disable=SC2086
      run usage $args
      check "exit 2 for: $args" [ "$rc" -eq 2 ]
      check "'$text' for: $args" grep -qF -- "$text" "$work/usage.err"
    done <<'EOF'
--bogus|unknown option --bogus
--model|--model needs
--model vm500|unknown model 'vm500'; the models are: KT4-RV4, LM4, LQ4
--port|--port needs
ttyUSB0|unexpected argument ttyUSB0
--log /nonexistent/burn.jsonl|cannot open the log file /nonexistent/burn.jsonl
EOF
    ;;

  open-failure)
    head -c 1000 /dev/urandom >"$work/small.bin"
    run name --model LM4 --image "$work/small.bin" --port ttyUSB9 --yes
    check "exit 1 for a missing port" [ "$rc" -eq 1 ]
    check "the port by its name" has_line name.out "ERROR: CANNOT open ttyUSB9 Port!!!"
    run usb --port /dev/ttyACM99 --yes
    check "USB models report USB" has_line usb.out "ERROR: CANNOT open USB Port!!!"
    # Two runs at once append to one record file: one whole line each.
    for port in ttyUSB8 ttyUSB9; do
      "$PLCFW" --model LM4 --image "$work/small.bin" --port "$port" --log "$work/log.jsonl" \
        </dev/null >/dev/null 2>&1 &
    done
    wait
    check "two records, one line each" python3 -c '
import json, sys
lines = open(sys.argv[1]).read().splitlines()
ports = sorted(json.loads(l)["port"] for l in lines if json.loads(l)["result"] == "failed")
sys.exit(ports != ["ttyUSB8", "ttyUSB9"])' "$work/log.jsonl"
    ;;

  vm500)
    start_sim --model VM500 || exit 1
    run burn --port "$pty" --yes
    wait_sim
    check "exit 0" [ "$rc" -eq 0 ]
    check "the replug prompt, then the success message" diff - "$work/burn.out" <<'EOF'
Information: Please REPLUG the USB Cable, and then press OK to continue
Information: Firmware update is SUCCESSFUL!, please REPLUG the USB cable
EOF
    check "progress lines while programming" grep -q "Programming" "$work/burn.err"
    check "plcsim saw a complete image" [ "$simrc" -eq 0 ]
    # The model does not receive the image's last 4,096 bytes.
    length=$(($(stat -c %s "$IMAGE") - 4096))
    check "received = the built-in image byte for byte" cmp -n "$length" "$work/flash.bin" "$IMAGE"
    check "and nothing more" [ "$(stat -c %s "$work/flash.bin")" -eq "$length" ]
    ;;

  serial)
    head -c 5000 /dev/urandom >"$work/small.bin"
    start_sim --model LM4 || exit 1
    run burn --model LM4 --image "$work/small.bin" --port "$pty" --yes --trace
    wait_sim
    check "exit 0" [ "$rc" -eq 0 ]
    check "the success message" has_line burn.out "INFORMATION: Firmware update is SUCCESSFUL"
    check "plcsim saw a complete image" [ "$simrc" -eq 0 ]
    check "received = the image, filler after it" \
      cmp -s "$work/flash.bin" <(cat "$work/small.bin" <(head -c $((5120 - 5000)) /dev/zero | tr '\0' '\032'))
    check "trace shows the probe" grep -qE '^> 3A .*\|:' "$work/burn.err"
    check "trace shows the line settings" grep -qx "= line 9600 7E1" "$work/burn.err"
    ;;

  interrupt)
    start_sim --model VM500 || exit 1
    timeout 120 "$PLCFW" --port "$pty" --yes >"$work/burn.out" 2>"$work/burn.err" &
    fwpid=$!
    for _ in $(seq 300); do
      if grep -q "Programming" "$work/burn.err"; then break; fi
      sleep 0.1
    done
    kill -INT "$fwpid"
    wait "$fwpid"
    check "Ctrl-C exits 3" [ "$?" -eq 3 ]
    check "with a warning" grep -qF "the PLC may be left without a working program" "$work/burn.err"
    check "no success message" [ "$(grep -c SUCCESSFUL "$work/burn.out")" -eq 0 ]
    ;;
esac

[ "$failed" -eq 0 ] || tail -n 15 "$work"/*.out "$work"/*.err | cut -c1-160 >&2
echo "$case_name: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
