#!/usr/bin/env bash
# plcfw as a process, against plcsim on a pseudo-terminal; and plcsim's stop signal.
# Usage: plcfw_process_test.sh CASE PLCFW PLCSIM IMAGE (the cases are below);
# with PLCFW_EMULATOR set (wine), PLCFW is plcfw.exe and runs under it.
set -uo pipefail
case_name="$1" PLCFW="$2" PLCSIM="$3" IMAGE="$4" pty=""
read -ra emulator <<<"${PLCFW_EMULATOR:-}"
work="$(mktemp -d)"
simpid=""
trap '[ -z "$simpid" ] || kill "$simpid" 2>/dev/null; rm -rf "$work"' EXIT
passed=0 failed=0

check_quiet=1
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/checks.sh"
has_line() { grep -qxF -- "$2" "$work/$1"; }
# await PATTERN FILE: until a line of FILE matches, 30 s at most.
await() { for _ in $(seq 300); do grep -q -- "$1" "$2" 2>/dev/null && return || sleep 0.1; done; }

# run NAME ARGS...: plcfw's status in $rc, its output in $work/NAME.out and .err;
# ended after $limit seconds (120).
run() {
  timeout "${limit:-120}" "${emulator[@]}" "$PLCFW" "${@:2}" </dev/null >"$work/$1.out" 2>"$work/$1.err"
  rc=$?
  [ ${#emulator[@]} -eq 0 ] || sed -i 's/\r$//' "$work/$1.out" "$work/$1.err"
}

# start_sim ARGS...: plcsim --once in the background, writing what it receives
# to $work/flash.bin; its pty in $pty.
start_sim() {
  : >"$work/sim.out" # not the last run's pty: the redirection below comes late
  "$PLCSIM" --once --flash-out "$work/flash.bin" "$@" >"$work/sim.out" 2>"$work/sim.err" &
  simpid=$!
  for _ in $(seq 100); do
    pty="$(head -n 1 "$work/sim.out")" && [ -n "$pty" ] && return 0
    sleep 0.1
  done
  return 1
}

# json_ok NAME [EXPR]: $work/NAME.out is one JSON object and nothing else,
# valid under plcfw's schema, and the Python expression EXPR holds for it (d).
SCHEMA="$(dirname "$0")/../../resources/plcfw-result.schema.json"
json_ok() {
  python3 - "$SCHEMA" "$work/$1.out" "${2:-True}" <<'PY'
import json, sys, jsonschema
d = json.loads(open(sys.argv[2]).read())
jsonschema.validate(d, json.load(open(sys.argv[1])))
sys.exit(0 if eval(sys.argv[3]) else 1)
PY
}

# start_fw ARGS...: plcfw in the background, in $fwpid, with SIGINT not ignored
# (a shell starts its background jobs with SIGINT ignored, which plcfw keeps).
start_fw() {
  (trap - INT && exec "$PLCFW" "$@") &
  fwpid=$!
}

# wait_fw TENTHS: plcfw's status in $rc, 124 when it did not end in time.
wait_fw() {
  for _ in $(seq "$1"); do kill -0 "$fwpid" 2>/dev/null && sleep 0.1; done
  kill -KILL "$fwpid" 2>/dev/null && rc=124 && return
  wait "$fwpid"
  rc=$?
}

# wait_sim: plcsim's status in $simrc (0: it received a whole image); ended after 10 s.
wait_sim() {
  for _ in $(seq 100); do kill -0 "$simpid" 2>/dev/null && sleep 0.1; done
  kill "$simpid" 2>/dev/null
  wait "$simpid"
  simrc=$?
  simpid=""
}

# wine_sim ARGS...: start_sim, its pty behind $COM for Windows programs.
COM=COM12 # above COM9: opened only through the device namespace
wine_sim() {
  # shellcheck source=../../scripts/wine.sh
  source "$(dirname "$0")/../../scripts/wine.sh"
  start_sim "$@" && map_com "$COM" "$pty"
}

# wine_burn MODEL ARGS...: plcfw.exe burns $work/small.bin into plcsim through $COM.
wine_burn() {
  run "$1" --model "$1" --image "$(win_path "$work/small.bin")" --port "$COM" --yes "${@:2}"
  wait_sim
  check "$1: exit 0" [ "$rc" -eq 0 ]
  check "$1: the success message" has_line "$1.out" "INFORMATION: Firmware update is SUCCESSFUL"
  check "$1: plcsim saw a complete image" [ "$simrc" -eq 0 ]
  check "$1: received = the image, filler after it" cmp -s "$work/flash.bin" "$work/padded.bin"
}

case "$case_name" in
  # An idle plcsim ends on SIGTERM although started with it blocked.
  sim-stop)
    python3 -c 'import os, signal, sys
signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM})
os.execv(sys.argv[1], sys.argv[1:])' "$PLCSIM" --model LM4 >"$work/sim.out" 2>&1 &
    fwpid=$!
    await . "$work/sim.out"
    kill -TERM "$fwpid"
    wait_fw 50
    check "exit 0 on SIGTERM" [ "$rc" -eq 0 ]
    ;;

  usage)
    while IFS='|' read -r args text; do
      # shellcheck disable=SC2086
      case "$args" in
        plcsim\ *) PLCFW="$PLCSIM" run usage ${args#plcsim } ;;
        *) run usage $args ;;
      esac
      check "exit 2 for: $args" [ "$rc" -eq 2 ]
      check "'$text' for: $args" grep -qF -- "$text" "$work/usage.err"
    done <<'EOF'
--model|--model needs
ttyUSB0|unexpected argument ttyUSB0
--yes --log /nonexistent/burn.jsonl|cannot open the log file /nonexistent/burn.jsonl: No such file or directory
--port /dev/null/none|VM500 asks for a replug or power cycle and standard input is not a terminal; use --yes
--model KT4-W --image none.bin --port /dev/null/none|use --yes
plcsim --modle LM4|unknown option: --modle; did you mean --model?
plcsim -m lm5|unknown model: lm5; did you mean LM4?
plcsim --model LM4 --fault|--fault needs a fault
EOF
    # The texts the soak accepts, one a line.
    run messages --list-messages
    check "--list-messages names the boxes" has_line messages.out "NO RESPONSE @ State 3"
    # A model a row: link, device type ID, largest image, what follows the erase.
    run models --list-models
    for row in "LM4        serial 0x000E    493568  stays connected, pause 1 s" \
      "KT4-W      serial 0x000C    524288  power off and on, pause 2 s" \
      "VM500-AIO  USB    0x3010     40960  replug the USB cable, pause 5 s"; do
      check "--list-models: $row" has_line models.out "$row"
    done
    ;;

  open-failure)
    head -c 1000 /dev/urandom >"$work/small.bin"
    run name --model LM4 --image "$work/small.bin" --port ttyUSB9 --yes
    check "exit 1 for a missing port" [ "$rc" -eq 1 ]
    check "the port by its name" has_line name.out "ERROR: CANNOT open ttyUSB9 Port!!!"
    run usb --port /dev/ttyACM99 --yes
    check "USB models report USB" has_line usb.out "ERROR: CANNOT open USB Port!!!"
    run all --all --yes
    check "--all without a PLC: exit 1 and why" [ "$rc" -eq 1 ]
    check "... and why" has_line all.err "plcfw: --all: the USB search finds no PLC; --list-ports shows what is"
    # Two runs at once append to one record file: one whole line each.
    for port in ttyUSB8 ttyUSB9; do
      "$PLCFW" --model LM4 --image "$work/small.bin" --port "$port" --log "$work/log.jsonl" \
        </dev/null >/dev/null 2>&1 &
    done
    wait
    check "two records, one line each" python3 -c 'import json, sys
sys.exit(sorted(json.loads(l)["port"] for l in open(sys.argv[1])) != ["ttyUSB8", "ttyUSB9"])' \
      "$work/log.jsonl"
    ;;

  vm500)
    start_sim --model VM500 --link "$work/plc" || exit 1
    start_fw --port "$work/plc" --yes </dev/null >"$work/burn.out" 2>"$work/burn.err"
    # While the PLC is away for the replug its node is closed: the run still
    # holds it against a second run. Then the cable is pulled and plugged in
    # again in the pause after the prompt.
    await REPLUG "$work/burn.out"
    run second --port "$work/plc" --yes
    check "a second run is refused" has_line second.out "ERROR: CANNOT open USB Port!!!"
    check "... and told why" has_line second.err "plcfw: $work/plc is in use by another program (locked)"
    kill -USR1 "$simpid" && sleep 1 && kill -USR2 "$simpid"
    wait_fw 600
    check "plugged in again on a new pty" [ "$(wc -l <"$work/sim.out")" -eq 2 ]
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
    check "received = the built-in image byte for byte" cmp "$work/flash.bin" <(head -c "$length" "$IMAGE")
    ;;

  # An LP4 (boot ID 0x0013 is XOFF) on a port left with flow control on.
  serial)
    head -c 5000 /dev/urandom >"$work/small.bin"
    start_sim --model LP4 || exit 1
    check "flow control on before the run" stty -F "$pty" ixon ixoff ixany crtscts
    run identify --identify --model LP4 --port "$pty" --log -
    check "identify first: exit 0, and the PLC is left as it was" [ "$rc" -eq 0 ]
    # The record on standard output comes after every message line, also
    # where standard output is a file that the record's own open appends to.
    run burn --model LP4 --image "$work/small.bin" --port "$pty" --yes --trace --log /dev/stdout
    wait_sim
    check "exit 0" [ "$rc" -eq 0 ]
    check "the success message" has_line burn.out "INFORMATION: Firmware update is SUCCESSFUL"
    check "plcsim saw a complete image" [ "$simrc" -eq 0 ]
    check "received = the image, filler after it" \
      cmp -s "$work/flash.bin" <(cat "$work/small.bin" <(head -c $((5120 - 5000)) /dev/zero | tr '\0' '\032'))
    check "trace shows the probe" grep -qE '^ *[0-9]+ ms > 3A .*\|:' "$work/burn.err"
    check "trace shows the line settings" grep -qE '^ *[0-9]+ ms = line 9600 7E1$' "$work/burn.err"
    check "every trace line after its milliseconds" eval "! grep -qE '^[<>=] ' $work/burn.err"
    # Off a terminal: the probe and the pause named, each phase from 0 to 100 %
    # with a line at each 10 % (40 frames), in order, then the summary.
    check "the probe named" grep -qF "Idle        probing $pty at 9600 7E1, try 1 Error" "$work/burn.err"
    check "the bytes sent" grep -qF "100% Programming 5000/5000 B" "$work/burn.err"
    check "the pause named" grep -qF "Idle        waiting 1 s for the PLC to come back" "$work/burn.err"
    check "progress lines in order" diff - <(sed -nE 's/^ *[0-9]+ s \[[#.]+\] +([0-9]+)% (Erasing|Programming).*/\1 \2/p' "$work/burn.err") <<'EOF'
0 Erasing
33 Erasing
66 Erasing
100 Erasing
0 Programming
12 Programming
21 Programming
31 Programming
41 Programming
51 Programming
60 Programming
70 Programming
80 Programming
90 Programming
100 Programming
EOF
    check "the summary" grep -qE '^plcfw: result success, image 5000 bytes, time [0-9.]+ s, total errors 0$' "$work/burn.err"
    check "--log - and /dev/stdout: the record last, whole" python3 -c 'import json, sys
ident, burn = ([l for l in open(f).read().splitlines()] for f in sys.argv[1:3])
sys.exit((json.loads(ident[-1])["result"], ident[0], json.loads(burn[-1])["result"], len(burn)) !=
         ("identified", "Port: " + sys.argv[3], "success", 2))' "$work/identify.out" "$work/burn.out" "$pty"
    ;;

  # An interrupt in the transfer: the PLC takes no frame after the signal,
  # no result line is printed, and the warning says what to do; before the
  # erase there is nothing to warn about.  plcsim holds the acknowledgement
  # of the signal's frame until plcfw has taken the signal.
  interrupt)
    head -c 40000 /dev/urandom >"$work/small.bin"
    for sig in INT TERM QUIT; do
      start_sim --model LM4 --verbose --signal-at 60:$sig --tool-pid "$work/fw.pid" || exit 1
      start_fw --model LM4 --image "$work/small.bin" --port "$pty" --yes \
        --log "$work/$sig.jsonl" >"$work/$sig.out" 2>"$work/$sig.err"
      echo "$fwpid" >"$work/fw.pid"
      wait_fw 600
      wait_sim
      check "$sig: exit 3" [ "$rc" -eq 3 ]
      check "$sig: no result line" [ ! -s "$work/$sig.out" ]
      check "$sig: the warning and what to do" grep -qF "the PLC may be left without a working program. Switch the PLC off and on" "$work/$sig.err"
      check "$sig: no frame after the signal" grep -qx "plcsim: 0 block frames after the signal" "$work/sim.err"
      check "$sig: an interrupted record with the warning" python3 -c 'import json, re, sys
r = json.loads(open(sys.argv[1]).read())
sys.exit((r["result"], r["caption"], r["message"][:27], bool(re.search(r"\.\d,", open(sys.argv[1]).read()))) !=
         ("interrupted", "WARNING", "interrupted during the upda", True))' "$work/$sig.jsonl"
    done
    start_sim --model LM4 --fault silent:probe || exit 1
    start_fw --model LM4 --image "$work/small.bin" --port "$pty" --yes --trace --json \
      >"$work/early.out" 2>"$work/early.err"
    await ' ms > ' "$work/early.err"
    kill -INT "$fwpid"
    wait_fw 100
    wait_sim
    check "before the erase: exit 3" [ "$rc" -eq 3 ]
    check "before the erase: no warning" grep -qx "plcfw: interrupted" "$work/early.err"
    check "before the erase: --json says interrupted, not erased" json_ok early \
      "(d['exitStatus'], d['reason'], d['plcs'][0]['erased']) == (3, 'interrupted', False)"
    # Identify has the same guard: a silent PLC keeps it probing for seconds.
    start_sim --model VM500 --fault silent:probe || exit 1
    start_fw --identify --port "$pty" --trace --log "$work/id.jsonl" >"$work/id.out" 2>"$work/id.err"
    await ' ms > ' "$work/id.err"
    kill -INT "$fwpid"
    wait_fw 50
    check "identify: Ctrl-C exits 3" [ "$rc" -eq 3 ]
    check "identify: an interrupted record" grep -qF '"result":"interrupted"' "$work/id.jsonl"
    check "identify: no report" [ ! -s "$work/id.out" ]
    timeout 60 "$PLCFW" --identify --port "$pty" --trace </dev/null 2>&1 | head -n 2 >/dev/null
    check "identify: a reader that goes away does not end it" [ "${PIPESTATUS[0]}" -eq 1 ]
    ;;

  # Nothing around a started run ends it or holds it up: a reader that goes
  # away, a hang-up the caller ignores (nohup), a reader that never reads.
  detached)
    head -c 100000 /dev/urandom >"$work/small.bin"
    burn=(--model LM4 --image "$work/small.bin" --yes --trace --port)
    start_sim --model LM4 || exit 1
    timeout 120 "$PLCFW" "${burn[@]}" "$pty" </dev/null 2>&1 | head -n 3 >/dev/null
    check "exit 0 after the reader went away" [ "${PIPESTATUS[0]}" -eq 0 ]
    wait_sim
    start_sim --model LM4 || exit 1
    (trap '' HUP && exec "$PLCFW" "${burn[@]}" "$pty") </dev/null >"$work/burn.out" 2>&1 &
    fwpid=$!
    await ' ms > ' "$work/burn.out"
    kill -HUP "$fwpid"
    wait_fw 600
    check "an ignored SIGHUP stays ignored: exit 0" [ "$rc" -eq 0 ]
    wait_sim
    # Started with standard error closed (and standard input), plcfw must not
    # take the record file or the PLC's link for it.
    for closed in err in+err; do
      start_sim --model LM4 --verbose || exit 1
      if [ "$closed" = err ]; then
        "$PLCFW" "${burn[@]}" "$pty" --log "$work/$closed.jsonl" </dev/null >/dev/null 2>&-
      else
        "$PLCFW" "${burn[@]}" "$pty" --log "$work/$closed.jsonl" <&- >/dev/null 2>&-
      fi
      check "$closed closed: exit 0" [ $? -eq 0 ]
      wait_sim
      check "$closed closed: nothing but the protocol reached the PLC" grep -q ' 0 garbage bytes' "$work/sim.err"
      check "$closed closed: the record alone in its file" python3 -c 'import json, sys
sys.exit(json.loads(open(sys.argv[1]).read())["result"] != "success")' "$work/$closed.jsonl"
    done
    mkfifo "$work/pipe"
    for end in term read; do
      start_sim --model LM4 || exit 1
      exec 3<>"$work/pipe" # holds the pipe open and never reads
      start_fw "${burn[@]}" "$pty" </dev/null >"$work/pipe" 2>&1 3<&-
      wait_sim
      check "$end: the burn ends while nobody reads" [ "$simrc" -eq 0 ]
      if [ "$end" = term ]; then
        kill -TERM "$fwpid"
        wait_fw 20
        check "SIGTERM ends it at once, with the run's status" [ "$rc" -eq 0 ]
      else
        timeout 20 cat <"$work/pipe" >"$work/stalled.out" 3<&- &
        exec 3<&-
        wait_fw 200
        wait $!
        check "exit 0 once the output moves" [ "$rc" -eq 0 ]
        check "the message kept" grep -qx "INFORMATION: Firmware update is SUCCESSFUL" "$work/stalled.out"
        check "the drop said once" [ "$(grep -c 'lines dropped' "$work/stalled.out")" -eq 1 ]
      fi
      exec 3<&-
    done
    ;;

  # Four PLCs in one run, the third failing in the transfer: the other three
  # are burnt whole, and the summary and the record name the one that failed
  # and where.
  several)
    head -c 5000 /dev/urandom >"$work/small.bin"
    cat "$work/small.bin" <(head -c $((5120 - 5000)) /dev/zero | tr '\0' '\032') >"$work/padded.bin"
    start_four() { # MODEL THIRD-PLC-ARGS...: the ports in $ports, the third's label in $failing
      ports=() sims=()
      for i in 1 2 3 4; do
        fault=()
        [ "$i" -ne 3 ] || fault=("${@:2}")
        : >"$work/sim$i.out"
        "$PLCSIM" --once --verbose --model "$1" --flash-out "$work/flash$i.bin" "${fault[@]}" \
          >"$work/sim$i.out" 2>"$work/sim$i.err" &
        sims+=($!)
        await . "$work/sim$i.out"
        ports+=(--port "$(head -n 1 "$work/sim$i.out")")
      done
      failing="${ports[5]#/dev/}"
    }
    stop_four() { for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; wait "$pid"; done; }
    start_four LP4 --fault nak-frame:3+
    run four --model LP4 --image "$work/small.bin" --yes "${ports[@]}" --log "$work/four.jsonl"
    stop_four
    check "exit 4: a PLC failed after its erase" [ "$rc" -eq 4 ]
    for i in 1 2 4; do
      check "PLC $i: received = the image, filler after it" cmp -s "$work/flash$i.bin" "$work/padded.bin"
    done
    check "the failing PLC's message line, labelled" has_line four.out "$failing: ERROR: Firmware update is FAILED"
    check "... and what stopped, labelled" grep -qF "$failing: plcfw: the transfer stopped at block 3 of 40" "$work/four.err"
    check "three success lines" [ "$(grep -c ": INFORMATION: Firmware update is SUCCESSFUL" "$work/four.out")" -eq 3 ]
    check "the summary: its header and the failing PLC's row" python3 -c 'import re, sys
text = open(sys.argv[1]).read()
rows = [l.split() for l in text.splitlines() if re.match(r"\S+ +LP4 +(success|failed) ", l)]
sys.exit(not re.search(r"^PLC +model +result +message +seconds$", text, re.M) or len(rows) != 4 or
         sorted(r[0] for r in rows if r[2] == "failed") != [sys.argv[2]])' "$work/four.err" "$failing"
    check "a record per PLC, the failing one failed" python3 -c 'import json, sys
records = [json.loads(l) for l in open(sys.argv[1])]
sys.exit(len(records) != 4 or
         [r["port"][5:] for r in records if r["result"] == "failed"] != [sys.argv[2]])' \
      "$work/four.jsonl" "$failing"
    # --json: one document, a PLC an entry, the failing one with its reason
    # and the block its transfer stopped at.
    start_four LP4 --fault nak-frame:3+
    run json --model LP4 --image "$work/small.bin" --yes "${ports[@]}" --json
    stop_four
    check "--json: exit 4" [ "$rc" -eq 4 ]
    check "--json: the document says which PLC failed where" python3 -c 'import json, sys
d = json.load(open(sys.argv[1]))
bad = [p for p in d["plcs"] if p["result"] != "success"]
sys.exit(d["exitStatus"] != 4 or len(d["plcs"]) != 4 or len(bad) != 1 or
         (bad[0]["label"], bad[0]["failedBlock"], bad[0]["erased"]) != (sys.argv[2], 3, True) or
         bad[0]["messages"][-1]["text"] != "Firmware update is FAILED")' "$work/json.out" "$failing"
    # Ctrl-C in the third PLC's transfer stops every PLC's link: that PLC
    # takes no frame after the signal, and the warning names each PLC left
    # without its program.
    head -c 40000 /dev/urandom >"$work/big.bin"
    start_four LM4 --signal-at 60:INT --tool-pid "$work/fw.pid"
    start_fw --model LM4 --image "$work/big.bin" --yes "${ports[@]}" --log "$work/int.jsonl" \
      >"$work/int.out" 2>"$work/int.err"
    echo "$fwpid" >"$work/fw.pid"
    wait_fw 600
    stop_four
    check "interrupted: exit 3" [ "$rc" -eq 3 ]
    check "interrupted: no frame after the signal" grep -qx "plcsim: 0 block frames after the signal" "$work/sim3.err"
    check "interrupted: the warning names the PLC" grep -qF "$failing: plcfw: interrupted during the update: the PLC may be left" "$work/int.err"
    # A PLC whose burn was over before the signal keeps its success.
    check "interrupted: a record per PLC" python3 -c 'import json, sys
r = {x["port"][5:]: x["result"] for x in map(json.loads, open(sys.argv[1]))}
sys.exit(len(r) != 4 or r[sys.argv[2]] != "interrupted" or bool(set(r.values()) - {"interrupted", "success"}))' \
      "$work/int.jsonl" "$failing"
    ;;

  # What a failure adds on standard error beside its message line: the
  # cause, then the next step. Input that cannot be an image or a record is
  # refused before the PLC is touched. One row a cause: the simulated PLC
  # (- for none), plcfw's arguments after --yes (PTY and WORK stand for the
  # PLC's pty and the work folder), the exit status, the message line and
  # what standard error must say (texts separated by ^).
  failures)
    head -c 5000 /dev/urandom >"$work/small.bin"
    head -c 1000000 /dev/zero >"$work/big.bin"
    mkfifo "$work/fifo"
    printf ':10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n' >"$work/image.hex"
    { printf '\177ELF'; head -c 5000 /dev/urandom; } >"$work/image.elf"
    while IFS='|' read -r name sim args status line texts; do
      [ "$sim" = - ] || { read -ra simargs <<<"$sim" && start_sim "${simargs[@]}"; } || exit 1
      read -ra fwargs <<<"${args//PTY/$pty}"
      limit=40 run "$name" --yes "${fwargs[@]//WORK/$work}"
      [ "$sim" = - ] || { kill "$simpid" 2>/dev/null && wait "$simpid" 2>/dev/null; }
      check "$name: exit $status" [ "$rc" -eq "$status" ]
      check "$name: the message line" [ "$(cat "$work/$name.out")" = "${line//PTY/$pty}" ]
      IFS='^' read -ra wanted <<<"${texts//WORK/$work}"
      for text in "${wanted[@]}"; do
        check "$name: '$text'" grep -qF -- "${text//PTY/$pty}" "$work/$name.err"
      done
    done <<'EOF'
fifo|-|--model LP4 --image WORK/fifo --port ttyUSB9|1|ERROR: The firmware image CANNOT be loaded|cannot read WORK/fifo: not a regular file
hex|-|--model LP4 --image WORK/image.hex --port ttyUSB9|1|ERROR: The firmware image CANNOT be loaded|WORK/image.hex is an Intel HEX file, not a raw binary image; make one first, e.g. objcopy -I ihex -O binary
elf|-|--model LP4 --image WORK/image.elf --port ttyUSB9|1|ERROR: The firmware image CANNOT be loaded|is an ELF file
size|-|--model LM4 --image WORK/big.bin --port ttyUSB9|1|ERROR: The file size EXCEEDS the MAXIMUM size (2 * 1024 * 240)|plcfw: the image is 1000000 bytes; the LM4 takes at most 493568 bytes
missing|-|--model LP4 --image WORK/small.bin --port /dev/nonexistent9|1|ERROR: CANNOT open /dev/nonexistent9 Port!!!|plcfw: /dev/nonexistent9: No such file or directory
notty|-|--model LP4 --image WORK/small.bin --port /dev/null|1|ERROR: CANNOT open /dev/null Port!!!|plcfw: /dev/null: not a terminal
nousb|-||1|ERROR: CANNOT open USB Port!!!|plcfw: no USB device 4b2c:0001 is connected; --list-ports shows what is; --port names a device
logdev|--model LP4|--model LP4 --image WORK/small.bin --port PTY --log PTY|2||PTY is a device, not a file
model|--model LM4|--model LQ4 --image WORK/small.bin --port PTY|1|ERROR: NO RESPONSE @ State 2|plcfw: the PLC answers with device type ID 0x000E (LM4), not 0x000F (LQ4); --identify tells more
bootid|--model LM4 --boot --boot-id 000F|--model LM4 --image WORK/small.bin --port PTY|1|ERROR: PLC type is WRONG|plcfw: the PLC's bootloader answers with device type ID 0x000F (LQ4), not 0x000E (LM4)^Switch the PLC off and on
runmode|--model LM4 --fault run-mode|--model LM4 --image WORK/small.bin --port PTY|1|ERROR: PLC in RUN MODE|plcfw: the PLC runs its program (RUN mode): switch it to STOP
erased|--model LP4 --fault nak-frame:3+|--model LP4 --image WORK/small.bin --port PTY|4|ERROR: Firmware update is FAILED|plcfw: the transfer stopped at block 3 of 40: the PLC acknowledged 256 of 5000 bytes^plcfw: the PLC has no working program now. Switch the PLC off and on
silent|--model LP4 --fault silent:probe|--model LP4 --image WORK/small.bin --port PTY|1|ERROR: NO RESPONSE @ State 1|If an update was cut short
EOF
    check "erased: the last progress line with the run's counters" eval "grep -E '^ *[0-9]+ s \[' $work/erased.err | tail -n 1 | grep -q 'Error/Total Error: 6/6$'"
    check "erased: the summary" grep -qE '^plcfw: result failed, image 5000 bytes, time [0-9.]+ s, total errors 6$' "$work/erased.err"
    # A record that outgrows the file size limit is a failed write, not the
    # end of a burn that succeeded.
    start_sim --model LP4 || exit 1
    printf '%02048d\n' 0 >"$work/full.jsonl"
    (ulimit -f 2 && exec "$PLCFW" --model LP4 --image "$work/small.bin" --yes --port "$pty" \
      --log "$work/full.jsonl") </dev/null 2>&1 | cat >"$work/fsize.err"
    check "a record over the size limit: the burn still exits 0" [ "${PIPESTATUS[0]}" -eq 0 ]
    check "... and says the record was not written" grep -qF "the record could not be written" "$work/fsize.err"
    wait_sim
    ;;

  # End of input at the power-cycle prompt ends the run as interrupted; an
  # Enter typed before the prompt does not answer it.
  prompt-eof)
    head -c 5000 /dev/urandom >"$work/small.bin"
    start_sim --model KT4-W --d1386 4138 || exit 1
    # A terminal 50 columns wide (COLUMNS says otherwise: the terminal wins).
    COLUMNS=200 python3 - "$PLCFW" --model KT4-W --image "$work/small.bin" --port "$pty" \
      >"$work/burn.out" 2>"$work/widths.err" <<'PY'
import fcntl, os, pty, re, select, struct, sys, termios
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:])
fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 50, 0, 0))
os.write(fd, b"\n")  # typed ahead
out = b""
for _ in range(1200):
    if select.select([fd], [], [], 0.1)[0]:
        try:
            chunk = os.read(fd, 4096)
        except OSError:  # plcfw has ended
            break
        out += chunk
    elif b"Press Enter" in out:
        os.write(fd, b"\x04")  # end of input, again until seen after the flush
os.kill(pid, 9)
sys.stdout.buffer.write(out)
for piece in re.split(rb"[\r\n]", out.replace(b"\x1b[K", b"")):
    if re.match(rb" *[0-9]+ s ", piece):
        sys.stderr.write(f"{len(piece)}\n")
sys.exit(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
PY
    rc=$?
    check "exit 3" [ "$rc" -eq 3 ]
    check "the Ctrl-C warning" grep -qF "the PLC may be left without a working program" "$work/burn.out"
    check "progress lines drawn, within 49 columns" eval "[ -s $work/widths.err ] && [ \$(sort -n $work/widths.err | tail -n 1) -le 49 ]"
    ;;

  # plcfw.exe through a COM port mapped to plcsim's pty: identify and a burn
  # recorded in one file (the image's SHA-256 from the system's own hash); an
  # LP4 (boot ID 0x0013 is XOFF) on a port left with XON/XOFF on (a pty's
  # default, which plcsim's raw set-up clears); a model that prompts refused
  # without --yes on the null device, a character device but no console.
  wine)
    # shellcheck source=../../scripts/wine.sh
    source "$(dirname "$0")/../../scripts/wine.sh"
    head -c 5000 /dev/urandom >"$work/small.bin"
    cat "$work/small.bin" <(head -c $((5120 - 5000)) /dev/zero | tr '\0' '\032') >"$work/padded.bin"
    run nul --model KT4-W --image "$(win_path "$work/small.bin")" --port COM99
    check "NUL without --yes: a usage error" [ "$rc" -eq 2 ]
    run logcom --model LM4 --image x.bin --port COM99 --yes --log '\\.\com99'
    check "--log naming a COM port: a usage error" [ "$rc" -eq 2 ]
    check "... saying why" grep -qF 'com99 is a device, not a file' "$work/logcom.err"
    wine_sim --model LM4 || exit 1
    log=(--log "$(win_path "$work/log.jsonl")")
    run identify --identify --model LM4 --port "$COM" "${log[@]}"
    check "identify: exit 0" [ "$rc" -eq 0 ]
    check "identify reports the device" has_line identify.out "Device type ID: 0x000E (LM4)"
    wine_burn LM4 "${log[@]}"
    check "both runs recorded" python3 -c 'import hashlib, json, sys
identify, burn = (json.loads(l) for l in open(sys.argv[1]).read().splitlines())
sys.exit((burn["result"], burn["imageSha256"], identify["result"], identify["facts"]["fits"]) !=
         ("success", hashlib.sha256(open(sys.argv[2], "rb").read()).hexdigest(), "identified", "yes"))' \
      "$work/log.jsonl" "$work/small.bin"
    wine_sim --model LP4 && stty -F "$pty" ixon ixoff || exit 1
    wine_burn LP4
    # Two PLCs in one run of plcfw.exe, each on its own COM port and worker.
    pair=()
    for i in 1 2; do
      : >"$work/sim$i.out"
      "$PLCSIM" --once --model LM4 --flash-out "$work/flash$i.bin" >"$work/sim$i.out" 2>/dev/null &
      pair+=($!)
      await . "$work/sim$i.out"
      wine reg add 'HKLM\Software\Wine\Ports' /v "COM2$i" /t REG_SZ /d "$(head -n 1 "$work/sim$i.out")" /f >/dev/null 2>&1
    done
    stop_wine && start_wine
    run pair --model LM4 --image "$(win_path "$work/small.bin")" --port COM21 --port COM22 --yes --json
    for pid in "${pair[@]}"; do kill "$pid" 2>/dev/null; wait "$pid"; done
    check "two PLCs: exit 0" [ "$rc" -eq 0 ]
    for i in 1 2; do
      check "two PLCs: COM2$i received the image" cmp -s "$work/flash$i.bin" "$work/padded.bin"
    done
    check "two PLCs: an entry each, by its port's label" json_ok pair \
      "sorted((p['label'], p['result']) for p in d['plcs']) == [('COM21', 'success'), ('COM22', 'success')]"
    # A USB PLC given by its path is held for the whole run: a second run in
    # the replug pause is refused before it opens anything.
    head -c 20000 /dev/urandom >"$work/vm.bin"
    start_sim --model VM500 --link "$work/plc" && map_com "$COM" "$work/plc" || exit 1
    vm=(--model VM500 --image "$(win_path "$work/vm.bin")" --port "\\\\.\\$COM" --yes)
    "${emulator[@]}" "$PLCFW" "${vm[@]}" </dev/null >"$work/first.out" 2>"$work/first.err" &
    fwpid=$!
    await REPLUG "$work/first.out"
    run second "${vm[@]}"
    check "a second run is refused" has_line second.out "ERROR: CANNOT open USB Port!!!"
    check "... and told why" has_line second.err "plcfw: \\\\.\\$COM is in use by another program (locked)"
    kill -USR1 "$simpid" && sleep 1 && kill -USR2 "$simpid"
    wait_fw 600
    wait_sim
    check "the first run succeeds" [ "$rc" -eq 0 ]
    check "plcsim saw a complete image" [ "$simrc" -eq 0 ]
    ;;

  # A serial power-cycle model is held for the whole run: a second run in the
  # pause is refused; the run's lock file is there until its end, not after.
  # --check against every model group, a PLC in its bootloader and the
  # refusals before the erase: what a burn would do there, and plcsim
  # received no writing request.
  check)
    head -c 5000 /dev/urandom >"$work/small.bin"
    while IFS='|' read -r name sim model status result reason; do
      read -ra simargs <<<"$sim"
      start_sim --verbose "${simargs[@]}" || exit 1
      limit=40 run "$name" --check --json --model "$model" --image "$work/small.bin" --port "$pty"
      kill "$simpid" && wait "$simpid" # plcsim sums up what it received as it ends
      simpid=""
      check "$name: exit $status" [ "$rc" -eq "$status" ]
      check "$name: $result, $reason" json_ok "$name" \
        "(d['action'], d['result'], d['reason'], d['plcs'][0]['erased']) == ('check', '$result', '$reason', False)"
      check "$name: no writing request" grep -qx "plcsim: 0 writing requests" "$work/sim.err"
    done <<'EOF'
serial|--model LP4|LP4|0|ready|ok
register|--model KT4-W --d1386 4138|KT4-W|0|ready|ok
usb|--model LN|LN|0|ready|ok
vm|--model VM500|VM500|0|ready|ok
gate-ok|--model VM500-AIO|VM500-AIO|0|ready|ok
boot|--model LM4 --boot|LM4|0|ready|ok
vm-boot|--model VM500 --boot|VM500|0|ready|ok
gate|--model VM500-AIO --version 09|VM500-AIO|1|failed|bootloader
boot-gate|--model VM500-AIO --boot --version 05|VM500-AIO|1|failed|bootloader
wrong-model|--model LM4|LQ4|1|failed|wrong-plc
wrong-register|--model KT4-W|KT4-W|1|failed|wrong-plc
runmode|--model LM4 --fault run-mode|LM4|1|failed|run-mode
silent|--model LM4 --fault silent:probe|LM4|1|failed|no-response
EOF
    check "boot: the PLC may already be erased" grep -qF "its program may already be erased" "$work/boot.err"
    run human --check --model LP4 --image "$work/small.bin" --port /dev/nonexistent9
    check "without --json: the message line alone on standard output" \
      [ "$(cat "$work/human.out")" = "ERROR: CANNOT open /dev/nonexistent9 Port!!!" ]
    ;;

  # --json: every way out leaves one object on standard output that the
  # schema takes, with the exit status, result and reason of that way.
  json)
    head -c 5000 /dev/urandom >"$work/small.bin"
    head -c 1000000 /dev/zero >"$work/big.bin"
    while IFS='|' read -r name sim args status expr; do
      [ "$sim" = - ] || { read -ra simargs <<<"$sim" && start_sim "${simargs[@]}"; } || exit 1
      read -ra fwargs <<<"${args//PTY/$pty}"
      limit=60 run "$name" --json "${fwargs[@]//WORK/$work}"
      [ "$sim" = - ] || { kill "$simpid" 2>/dev/null && wait "$simpid" 2>/dev/null; }
      check "$name: exit $status" [ "$rc" -eq "$status" ]
      check "$name: one object: $expr" json_ok "$name" "d['exitStatus'] == $status and ($expr)"
    done <<'EOF'
usage|-|--prot x|2|d['reason'] == 'usage' and d['error'].startswith('unknown option --prot')
cli11|-|--identify --yes=maybe|2|d['action'] == 'identify' and d['result'] == 'usage'
twice|-|--check --list-models|2|d['action'] == 'check' and 'cannot go together' in d['error']
logdir|-|--model LP4 --image WORK/small.bin --log WORK|2|d['reason'] == 'usage'
image|-|--model LM4 --image WORK/big.bin --port ttyUSB9|1|(d['result'], d['reason'], d['plcs'][0]['imageLength']) == ('refused', 'image', 1000000)
missing|-|--model LP4 --image WORK/small.bin --port /dev/nonexistent9|1|d['reason'] == 'unavailable' and d['plcs'][0]['messages'] == [{'caption': 'ERROR', 'text': 'CANNOT open /dev/nonexistent9 Port!!!'}]
silent|--model LP4 --fault silent:probe|--model LP4 --image WORK/small.bin --port PTY|1|d['reason'] == 'no-response' and d['plcs'][0]['erased'] is False
model|--model LM4|--model LQ4 --image WORK/small.bin --port PTY|1|d['reason'] == 'wrong-plc'
erased|--model LP4 --fault nak-frame:3+|--model LP4 --image WORK/small.bin --port PTY --yes|4|(d['reason'], d['plcs'][0]['erased'], d['plcs'][0]['failedBlock'], d['plcs'][0]['blocksAcknowledged'], d['plcs'][0]['blocks']) == ('transfer', True, 3, 2, 40)
boot-erased|--model LP4 --boot --fault nak-frame:3+|--model LP4 --image WORK/small.bin --port PTY --yes|4|(d['reason'], d['plcs'][0]['erased']) == ('transfer', True)
success|--model LP4|--model LP4 --image WORK/small.bin --port PTY --yes|0|(d['result'], d['reason'], d['plcs'][0]['erased'], d['plcs'][0]['messages'][-1]['text']) == ('success', 'ok', True, 'Firmware update is SUCCESSFUL')
identify|--model VM500|--identify --port PTY|0|d['action'] == 'identify' and d['plcs'][0]['facts']['fits'] == 'yes' and len(d['plcs'][0]['messages']) >= 5
models|-|--list-models|0|len(d['models']) == 24 and d['models'][0]['name'] == 'KT4-RV4'
ports|-|--list-ports|0|all(p['node'] for p in d['ports'])
EOF
    ;;

  holds)
    head -c 5000 /dev/urandom >"$work/small.bin"
    start_sim --model KT4-W --d1386 4138 || exit 1
    kt4w=(--model KT4-W --image "$work/small.bin" --port "$pty" --yes)
    start_fw "${kt4w[@]}" </dev/null >"$work/burn.out" 2>"$work/burn.err"
    await "POWER OFF" "$work/burn.out"
    lock="plcfw-$(tr / - <<<"${pty#/}")-$(stat -c %.9Z "$pty").lock"
    locks=(/run/lock/"$lock" "${XDG_RUNTIME_DIR:-/nonexistent}/$lock")
    # At once: the pause is 2 s, and the refused runs and their checks below
    # may outlast it on a busy machine.
    check "the run's lock file" eval "[ -e ${locks[0]} ] || [ -e ${locks[1]} ]"
    run second "${kt4w[@]}"
    check "a second run in the power cycle is refused" has_line second.out "ERROR: CANNOT open $pty Port!!!"
    check "... and told why" has_line second.err "plcfw: $pty is in use by another program (locked)"
    check "... with exit 5" [ "$rc" -eq 5 ]
    run busy "${kt4w[@]}" --check --json
    check "a dry run there: --json busy, exit 5" json_ok busy \
      "(d['exitStatus'], d['reason'], d['result']) == (5, 'busy', 'failed') and $rc == 5"
    wait_fw 600
    wait_sim
    check "the first run succeeds" [ "$rc" -eq 0 ]
    check "plcsim saw a complete image" [ "$simrc" -eq 0 ]
    check "no lock file left" eval "! [ -e ${locks[0]} ] && ! [ -e ${locks[1]} ]"
    ;;
esac
check "no sanitizer report" eval "! cat $work/*.out $work/*.err 2>/dev/null | grep -q Sanitizer"

[ "$failed" -eq 0 ] || tail -n 15 "$work"/*.out "$work"/*.err | cut -c1-160 >&2
counts "$case_name"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
