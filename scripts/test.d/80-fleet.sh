# Fleet: the Ansible collection in ansible/. Its modules' unit tests (pytest),
# ansible-doc on both modules, the install role in check mode, then the update
# playbook over real SSH against three hosts, each an sshd of its own on a
# loopback address (127.0.0.2, .3, .4) with two simulated LP4s: a check run
# that must send no writing request, then the burn, in which one PLC fails
# its host in the transfer while the other hosts finish.
#
# The three hosts are this machine, so the modules run the plcfw of the build
# tree (module parameter plcfw) instead of an installed package; the role's
# package install runs in check mode only, with a stand-in package.
source "$(dirname "$0")/../lib.sh"
set -euo pipefail
ensure_packages "${BUILD_PACKAGES[@]}" "${FLEET_PACKAGES[@]}"
say "building plcfw and plcsim"
cmake --preset debug -S "$ROOT" >/dev/null
cmake --build --preset debug -j "$(nproc)" --target plcfw plcsim >/dev/null
build="$ROOT/build/debug"
PLCFW="$build/src/ui/console/plcfw"
PLCSIM="$build/tools/plcsim/plcsim"
passed=0 failed=0
started=$SECONDS

work="$(mktemp -d)"
pids=()
cleanup() {
  local pid sock
  # The SSH connections Ansible keeps open, then sshd and plcsim.
  for sock in "$work"/cp/*; do
    [ -S "$sock" ] && { ssh -o ControlPath="$sock" -O exit fleet >/dev/null 2>&1 || true; }
  done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The modules' unit tests: pytest's own count goes into the stage's.
PYTHONDONTWRITEBYTECODE=1 pytest-3 -q -p no:cacheprovider "$ROOT/tests/ansible" >"$work/pytest.log" 2>&1 || true
tail -n 5 "$work/pytest.log" >&2
read -r ut_passed ut_failed < <(tail -n 1 "$work/pytest.log" | awk '
  { for (i = 2; i <= NF; i++) { if ($i ~ /^passed/) p = $(i - 1); if ($i ~ /^(failed|errors?)/) f += $(i - 1) } }
  END { print p + 0, f + 0 }')
[ "$ut_passed" -gt 0 ] || ut_failed=$((ut_failed + 1)) # pytest that found nothing to run
passed=$((passed + ut_passed)) failed=$((failed + ut_failed))

# Ansible finds the collection as ansible_collections/vemora/plc, and keeps
# its own files in the work folder.
mkdir -p "$work/ssh" "$work/controller"
ansible_home "$work"
export ANSIBLE_HOST_KEY_CHECKING=False ANSIBLE_FORCE_COLOR=0
cat >>"$ANSIBLE_CONFIG" <<EOF
forks = 6
[ssh_connection]
control_path_dir = $work/cp
pipelining = True
ssh_args = -o ControlMaster=auto -o ControlPersist=60s -o UserKnownHostsFile=/dev/null -o IdentitiesOnly=yes
EOF

for module in plc_info plc_firmware; do
  ansible-doc "vemora.plc.$module" >"$work/doc-$module.txt" 2>&1 || true
  check "ansible-doc renders $module" grep -q "RETURN VALUES" "$work/doc-$module.txt"
done
ansible-doc -t role vemora.plc.plcfw >"$work/doc-role.txt" 2>&1 || true
check "ansible-doc renders the role's variables" grep -q "plcfw_deb" "$work/doc-role.txt"

# sshd per host: its own address, port, host key and authorized keys.
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/id"
cp "$work/ssh/id.pub" "$work/ssh/authorized_keys"
mkdir -p /run/sshd # privilege separation, as the packaged service makes it
free_port() {
  python3 -c 'import socket, sys
s = socket.socket(); s.bind((sys.argv[1], 0)); print(s.getsockname()[1])' "$1"
}
hosts=(line2 line3 line4)
declare -A addr port
for n in 2 3 4; do
  h="line$n" addr[$h]="127.0.0.$n" port[$h]="$(free_port "127.0.0.$n")"
  ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/host_$h"
  cat >"$work/ssh/sshd_$h.conf" <<EOF
ListenAddress ${addr[$h]}
Port ${port[$h]}
HostKey $work/ssh/host_$h
AuthorizedKeysFile $work/ssh/authorized_keys
StrictModes no
PidFile $work/ssh/sshd_$h.pid
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
Subsystem sftp internal-sftp
EOF
  /usr/sbin/sshd -D -f "$work/ssh/sshd_$h.conf" -E "$work/ssh/sshd_$h.log" &
  pids+=($!)
done
for h in "${hosts[@]}"; do
  for _ in $(seq 50); do
    python3 -c 'import socket, sys; socket.create_connection((sys.argv[1], int(sys.argv[2])), 1)' \
      "${addr[$h]}" "${port[$h]}" 2>/dev/null && break
    sleep 0.1
  done
done

# Each host: its own image, record file and two PLCs behind links that stay
# put while plcsim is restarted. line3's second PLC stops acknowledging from
# block 3 on.
{
  echo "plcs:"
  echo "  hosts:"
  for h in "${hosts[@]}"; do
    mkdir -p "$work/$h"
    head -c 5000 /dev/urandom >"$work/$h/image.bin"
    # What the PLC stores: the image and the filler up to its last block.
    cat "$work/$h/image.bin" <(head -c 120 /dev/zero | tr '\0' '\032') >"$work/$h/padded.bin"
    echo "    $h: {ansible_host: ${addr[$h]}, ansible_port: ${port[$h]}, plc_image: $work/$h/image.bin,"
    echo "      plc_log: $work/$h/burn.jsonl, plc_ports: [$work/$h/plc-a, $work/$h/plc-b]}"
  done
  echo "  vars:"
  echo "    ansible_user: $(id -un)"
  echo "    ansible_ssh_private_key_file: $work/ssh/id"
  echo "    plc_model: LP4"
  echo "    plcfw_program: $PLCFW"
} >"$work/inventory.yml"
fault() { [ "$1" = line3/plc-b ] && echo "--fault nak-frame:3+"; }

# start_sims PHASE: a plcsim per PLC, its link ready; for the burn each ends
# after its first transfer and keeps what it received in PLC.flash.
declare -A simpid
start_sims() {
  local phase="$1" h x plc burn=()
  for h in "${hosts[@]}"; do
    for x in a b; do
      plc="$h/plc-$x"
      [ "$phase" = burn ] && burn=(--once --flash-out "$work/$plc.flash")
      # shellcheck disable=SC2046
      "$PLCSIM" --model LP4 --verbose --link "$work/$plc" $(fault "$plc") "${burn[@]}" \
        >"$work/$plc.$phase.out" 2>"$work/$plc.$phase.err" &
      simpid[$plc]=$!
      pids+=($!)
    done
  done
  for plc in "${!simpid[@]}"; do
    for _ in $(seq 100); do [ -e "$work/$plc" ] && break || sleep 0.1; done
  done
}
# stop_sims: every plcsim ended (SIGTERM; one with --once may have ended),
# its status in simrc[PLC].
declare -A simrc
stop_sims() {
  local plc
  for plc in "${!simpid[@]}"; do
    kill "${simpid[$plc]}" 2>/dev/null || true
    wait "${simpid[$plc]}" && simrc[$plc]=0 || simrc[$plc]=$?
  done
}
# recap HOST: the host's play recap counters (ok=.. changed=.. failed=..).
recap() { grep -E "^$1 +:" "$2" | sed -E 's/ +/ /g'; }
has() { grep -qF -- "$1" "$2"; }

# The role: a check run installs nothing and says what it would install.
mkdir -p "$work/stand-in/DEBIAN"
printf 'Package: plcfw-stand-in\nVersion: 0\nArchitecture: all\nMaintainer: test\nDescription: stand-in\n' \
  >"$work/stand-in/DEBIAN/control"
dpkg-deb -b "$work/stand-in" "$work/plcfw-stand-in_0_all.deb" >/dev/null
rc=0
ansible-playbook --check "$ROOT/ansible/playbooks/install.yml" -e plcfw_become=false \
  -e "plcfw_deb=$work/plcfw-stand-in_0_all.deb plcfw_deb_dir=$work/debs" >"$work/install.log" 2>&1 || rc=$?
check "role in check mode: exit 0" [ $rc -eq 0 ]
check "role in check mode: says what it would install, on every host" \
  [ "$(grep -c 'would install plcfw-stand-in_0_all.deb' "$work/install.log")" -eq 3 ]
check "role in check mode: nothing copied, nothing installed" \
  eval "[ ! -e '$work/debs' ] && ! dpkg-query -W plcfw-stand-in >/dev/null 2>&1"

# Check run: every host reports a change to come, no PLC gets a writing request.
start_sims check
t0=$SECONDS rc=0
ansible-playbook --check "$ROOT/ansible/playbooks/update.yml" -e "plc_records_dir=$work/controller" \
  >"$work/check.log" 2>&1 || rc=$?
check "check run: exit 0" [ $rc -eq 0 ]
check_seconds=$((SECONDS - t0))
# plc_info: each host's PLCs identified, with read requests only.
rc=0
ansible plcs -o -m vemora.plc.plc_info -a '{"identify": true, "ports": "{{ plc_ports }}",
  "model": "{{ plc_model }}", "plcfw": "{{ plcfw_program }}"}' >"$work/info.log" 2>&1 || rc=$?
stop_sims
check "plc_info: exit 0" [ $rc -eq 0 ]
check "plc_info: six PLCs identified as LP4s that fit, none changed" python3 - "$work/info.log" <<'PY'
import json, sys
hosts = [json.loads(line.split(" => ", 1)[1]) for line in open(sys.argv[1]) if " => " in line]
facts = [p["facts"] for h in hosts for p in h["plcs"] if p["rc"] == 0]
sys.exit(len(hosts) != 3 or any(h["changed"] for h in hosts) or len(facts) != 6
         or any(not f["deviceId"].startswith("0x0013") or f["fits"] != "yes" for f in facts))
PY
for h in "${hosts[@]}"; do
  check "check run: $h would burn, fails nothing" \
    eval "recap $h '$work/check.log' | grep -qE 'changed=[1-9].* failed=0'"
  check "check run: no record on $h" [ ! -e "$work/$h/burn.jsonl" ]
  for x in a b; do
    check "check run: $h/plc-$x saw no writing request" has "plcsim: 0 writing requests" "$work/$h/plc-$x.check.err"
    check "check run: $h/plc-$x was probed" has "plcsim: link opened" "$work/$h/plc-$x.check.err"
  done
done

# Burn: line3 fails in the transfer of its PLC b; line2 and line4 finish.
start_sims burn
t0=$SECONDS rc=0
ansible-playbook "$ROOT/ansible/playbooks/update.yml" -e "plc_records_dir=$work/controller" \
  >"$work/burn.log" 2>&1 || rc=$?
burn_seconds=$((SECONDS - t0))
stop_sims
grep -E '^(fatal|line[0-9] +:)' "$work/burn.log" >&2 || true
check "burn: ansible-playbook says a host failed (exit 2)" [ $rc -eq 2 ]
check "burn: line3 failed" eval "recap line3 '$work/burn.log' | grep -q 'failed=1'"
for h in line2 line4; do
  check "burn: $h finished" eval "recap $h '$work/burn.log' | grep -qE 'changed=[1-9].* failed=0'"
done
check "burn: the failed PLC's message and reason" \
  has "plc-b: ERROR: Firmware update is FAILED (reason transfer, exit status 4)" "$work/burn.log"
check "burn: what to do after the erase" has "switch it off and on" "$work/burn.log"
for h in "${hosts[@]}"; do
  for x in a b; do
    plc="$h/plc-$x"
    if [ "$plc" = line3/plc-b ]; then
      check "burn: $plc has no complete image" eval "! cmp -s '$work/$plc.flash' '$work/$h/padded.bin'"
    else
      check "burn: $plc received its host's image exactly" cmp -s "$work/$plc.flash" "$work/$h/padded.bin"
      check "burn: $plc saw a complete transfer" [ "${simrc[$plc]}" -eq 0 ]
    fi
  done
done
# The records on the controller: a line per PLC, each PLC's own result.
check "records: one line per PLC on the controller" python3 - "$work/controller/records.jsonl" "$work" <<'PY'
import json, sys
lines = open(sys.argv[1]).read().splitlines()
records = {r["port"][len(sys.argv[2]) + 1:]: r for r in map(json.loads, lines)}
want = {f"line{n}/plc-{x}": ("success", "ok") for n in (2, 3, 4) for x in "ab"}
want["line3/plc-b"] = ("failed", "transfer")
got = {port: (r["result"], r["reason"]) for port, r in records.items()}
sys.exit(len(lines) != 6 or got != want or not records["line3/plc-b"]["erased"])
PY
say "fleet: check run ${check_seconds} s, burn ${burn_seconds} s, stage $((SECONDS - started)) s"

echo "fleet: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
