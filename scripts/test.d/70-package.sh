# The Debian packages: built with dpkg-buildpackage from a copy of the tree
# (so that the packages land in build/package, not beside the checkout),
# checked by lintian, then installed: plcfw through the Ansible collection's
# install role (twice: the second run changes nothing), plcsim with dpkg.
# Then the programs on the PATH, the man pages, the completion, the udev rule,
# and a whole burn of the installed plcfw into the installed plcsim with the
# embedded image arriving exact.  The packages are purged again at the end.
source "$(dirname "$0")/../lib.sh"
set -euo pipefail
ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"

passed=0 failed=0
OUT="$ROOT/build/package"
version="$(sed -n 's/^project(plcfwupdate VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
arch="$(dpkg --print-architecture)"
check "debian/changelog names the project's version $version" \
  [ "$(dpkg-parsechangelog -l "$ROOT/debian/changelog" -S Version)" = "$version" ]

# The files git tracks or would track, as they are in the work tree; a tree
# without git (fresh-root's copy holds just those files) is taken whole but
# for its builds.
rm -rf "$OUT"
src="$OUT/plcfwupdate-$version"
mkdir -p "$src"
if git -C "$ROOT" rev-parse --git-dir >/dev/null 2>&1; then
  (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    tar --null -T - -cf -)
else
  tar -C "$ROOT" --exclude=./build --exclude='./obj-*' -cf - .
fi | tar -C "$src" -xf -

say "dpkg-buildpackage (its log: build/package/build.log)"
started=$(date +%s)
built=0
(cd "$src" && DEB_BUILD_OPTIONS="parallel=2 nocheck" nice -n 10 dpkg-buildpackage -b -us -uc) \
  >"$OUT/build.log" 2>&1 && built=1
echo "package: dpkg-buildpackage took $(($(date +%s) - started)) s" >&2
[ $built -eq 1 ] || tail -n 30 "$OUT/build.log" >&2
check "dpkg-buildpackage -b -us -uc" [ $built -eq 1 ]
plcfw_deb="$OUT/plcfw_${version}_$arch.deb"
plcsim_deb="$OUT/plcsim_${version}_$arch.deb"
check "plcfw and plcsim built for $arch" test -f "$plcfw_deb" -a -f "$plcsim_deb"
if [ ! -f "$plcfw_deb" ] || [ ! -f "$plcsim_deb" ]; then
  echo "package: $passed passed, $failed failed"
  exit 1
fi

# contents DEB: the files of a package, one a line, sorted.
contents() { dpkg-deb --fsys-tarfile "$1" | tar -t | grep -v '/$' | sed 's|^\./||' | LC_ALL=C sort; }
check "plcfw holds the program, its man page, the completion and the udev rule" \
  [ "$(contents "$plcfw_deb" | grep -v '^usr/share/doc/')" = "usr/bin/plcfw
usr/lib/udev/rules.d/70-plcfw.rules
usr/share/bash-completion/completions/plcfw
usr/share/man/man1/plcfw.1.gz" ]
check "plcsim holds the simulator and its man page" \
  [ "$(contents "$plcsim_deb" | grep -v '^usr/share/doc/')" = "usr/bin/plcsim
usr/share/man/man1/plcsim.1.gz" ]

# lintian: no error; its warnings are printed for the reader.
lintian --tag-display-limit 0 "$OUT"/plcfwupdate_"${version}"_"$arch".changes >"$OUT/lintian.txt" 2>&1 || true
grep -v "running with root privileges" "$OUT/lintian.txt" | sed 's/^/  lintian: /' >&2 || true
check "lintian reports no error" eval '! grep -q "^E: " "$OUT/lintian.txt"'

if [ "$(id -u)" -ne 0 ]; then
  say "installing the packages needs root: the install checks are left out"
  echo "package: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
fi

# The stage purges what it installed; a plcfw or plcsim that was installed
# before it is somebody's, and is never replaced or purged by a test.
# (dpkg-query fails for a package it has never seen: not an error here.)
installed="$({ dpkg-query -W -f='${db:Status-Status} ${Package}\n' plcfw plcsim 2>/dev/null || true; } |
  awk '$1 == "installed" {print $2}' | xargs)"
if [ -n "$installed" ]; then
  check "no plcfw or plcsim package installed before the stage (found: $installed)" false
  echo "package: $passed passed, $failed failed"
  exit 1
fi

work="$(mktemp -d)"
simpid=""
cleanup() {
  [ -z "$simpid" ] || kill "$simpid" 2>/dev/null || true
  dpkg --purge plcfw plcsim >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# plcfw goes in as a fleet installs it: the collection's install playbook,
# here against this machine through a local connection, with become as the
# playbook sets it. With -v Ansible prints each task's and handler's result.
ansible_home "$work"
printf 'plcs:\n  hosts:\n    localhost: {ansible_connection: local}\n' >"$work/inventory.yml"
# install_role N: the playbook's Nth run, its output in role-N.log; prints
# "exit=RC changed=N failed=N installed=changed|ok handler=HOW", HOW being
# reloaded, skipped (udev does not run here: the handler said so without
# claiming a change) or absent.
install_role() {
  local rc=0
  ansible-playbook -v "$ROOT/ansible/playbooks/install.yml" \
    -e "plcfw_deb=$plcfw_deb plcfw_deb_dir=$work/debs" >"$work/role-$1.log" 2>&1 || rc=$?
  python3 - "$work/role-$1.log" "$rc" <<'PY'
import json, re, sys
results, task, recap = {}, None, {}
for line in open(sys.argv[1]):
    m = re.match(r"(?:TASK|RUNNING HANDLER) \[(?:[\w.]+ : )?(.*)\] \**$", line)
    if m:
        task = m.group(1)
        continue
    m = re.match(r"(ok|changed|fatal|skipping): \[localhost\](?:: FAILED!)?(?: => (\{.*\}))?$", line)
    if m and task:
        results[task] = dict(json.loads(m.group(2) or "{}"), status=m.group(1))
    m = re.match(r"localhost +: (.*)", line)
    if m:
        recap = dict(kv.split("=") for kv in m.group(1).split())
install = results.get("Install the package (and with it the udev rule for USB PLCs)", {})
handler = results.get("Reload udev rules")
if handler is None:
    how = "absent"
elif handler["status"] == "changed" and handler.get("rc") == 0:
    how = "reloaded"
elif handler["status"] == "ok" and "/run/udev/control" in handler.get("msg", ""):
    how = "skipped"
else:
    how = "wrong"
print(f"exit={sys.argv[2]} changed={recap.get('changed')} failed={recap.get('failed')}"
      f" installed={install.get('status')} handler={how}")
PY
}
first="$(install_role 1)"
echo "  role, first run: $first" >&2
udev_handler=skipped
[ -S /run/udev/control ] && udev_handler=reloaded
check "the role installs plcfw (exit 0, no failure, the package a change)" \
  eval '[[ "$first" == "exit=0 changed="[1-9]*" failed=0 installed=changed "* ]]'
check "... and its handler ran: udev rules $udev_handler" eval '[[ "$first" == *" handler=$udev_handler" ]]'
check "dpkg knows plcfw as installed" \
  eval '[ "$(dpkg-query -W -f="\${db:Status-Status} \${Version}" plcfw)" = "installed $version" ]'
second="$(install_role 2)"
echo "  role, second run: $second" >&2
check "a second run of the role changes nothing and notifies no handler" \
  [ "$second" = "exit=0 changed=0 failed=0 installed=ok handler=absent" ]
case "$first $second" in *exit=[1-9]* | *wrong*) grep -hE -A1 "^(fatal|RUNNING HANDLER)" "$work"/role-*.log >&2 ;; esac
check "dpkg -i installs plcsim" eval 'dpkg -i "$plcsim_deb" >"$work/dpkg.log" 2>&1'
check "plcfw and plcsim are on the PATH" \
  eval '[ "$(command -v plcfw)" = /usr/bin/plcfw ] && [ "$(command -v plcsim)" = /usr/bin/plcsim ]'
check "man finds both pages" eval 'man -w plcfw >/dev/null && man -w plcsim >/dev/null'
check "man plcfw shows the exit statuses" eval 'MANWIDTH=80 man plcfw 2>/dev/null | grep -q "^EXIT STATUS"'
# udevadm test reads every rules file and names each line it cannot use (a
# mistyped key, an unknown group) before it applies them to a device.
rule=/usr/lib/udev/rules.d/70-plcfw.rules
tty_device="$(find /sys/class/tty/ -mindepth 1 -maxdepth 1 | head -n 1)"
udevadm test --action=add "$tty_device" >"$work/udev.log" 2>&1 || true
check "udev reads the rule where packages put rules" grep -qxF "Reading rules file: $rule" "$work/udev.log"
check "... and takes every line of it" eval '! grep -F "$rule:" "$work/udev.log" >&2'
check "bash-completion loads the completion on demand" bash --norc --noprofile -c '
  source /usr/share/bash-completion/bash_completion && __load_completion plcfw &&
  complete -p plcfw | grep -q _plcfw'

# The embedded image, through the package build and dh_strip: a whole burn
# into the simulated VM500, which does not receive the last 4,096 bytes.
image="$(sed -n 's/^PLC_FIRMWARE_BIN:INTERNAL=//p' "$src"/obj-*/CMakeCache.txt)"
plcsim --model VM500 --once --flash-out "$work/flash.bin" --link "$work/plc" >"$work/sim.out" 2>&1 &
simpid=$!
for _ in $(seq 100); do [ -e "$work/plc" ] && break || sleep 0.1; done
burned=0
timeout 120 plcfw --port "$work/plc" --yes </dev/null >"$work/burn.out" 2>"$work/burn.err" && burned=1
# plcsim --once ends with a transfer; without one it would wait for ever.
[ $burned -eq 1 ] || kill "$simpid" 2>/dev/null || true
wait "$simpid" || true
simpid=""
check "the installed plcfw burns the installed plcsim" [ $burned -eq 1 ]
check "the image arrives exact" cmp -s "$work/flash.bin" <(head -c $(($(stat -c %s "$image") - 4096)) "$image")

check "dpkg --purge removes both packages" eval 'dpkg --purge plcfw plcsim >>"$work/dpkg.log" 2>&1'
check "... and their files" eval '[ ! -e /usr/bin/plcfw ] && [ ! -e /usr/lib/udev/rules.d/70-plcfw.rules ]'
[ "$failed" -eq 0 ] || cat "$work/dpkg.log" "$work/burn.out" "$work/burn.err" >&2
echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
