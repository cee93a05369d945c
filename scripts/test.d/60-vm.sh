# The tool on the kernel's real drivers: a small VM (Debian's kernel, a busybox
# initramfs) where plcfw burns a USB PLC through cdc-acm and a serial PLC
# through ftdi_sio.  The USB PLC is plcsim on the device end of a USB gadget
# in the VM; the serial PLCs are plcsim on ptys here, behind QEMU's USB-serial
# adapters.  The cases are in scripts/vm/init; logs are left in build/vm.
source "$(dirname "$0")/../lib.sh"
set -euo pipefail

ensure_packages "${BUILD_PACKAGES[@]}" qemu-system-x86 linux-image-amd64 busybox-static cpio \
  kmod udev strace

# The Linux stage's build: under TCG the tool's own CPU time is a small part
# of a burn, and the test command builds nothing more for this stage.
PRESET=debug
BUILD="$ROOT/build/$PRESET"
OUT="$ROOT/build/vm"
BUDGET=330  # seconds for the initramfs and the VM, boot included (TCG on a loaded machine)
say "building plcfw and plcsim ($PRESET)"
cmake --preset "$PRESET" -S "$ROOT" >/dev/null
cmake --build --preset "$PRESET" -j "$(nproc)" --target plcfw plcsim >/dev/null
started=$(date +%s)
PLCSIM="$BUILD/tools/plcsim/plcsim"
IMAGE="$(sed -n 's/^PLC_FIRMWARE_BIN:INTERNAL=//p' "$BUILD/CMakeCache.txt")"
[ -f "$IMAGE" ] || { echo "vm: the built-in image $IMAGE is missing" >&2; exit 1; }

# The kernel and modules of the linux-image-amd64 package, whatever kernel
# this machine runs.
kernel_package="$(dpkg-query -W -f='${Depends}' linux-image-amd64 | grep -o 'linux-image-[^ ,]*' | head -n 1)"
KVER="${kernel_package#linux-image-}"
KERNEL="/boot/vmlinuz-$KVER"
[ -r "$KERNEL" ] || { echo "vm: $KERNEL is missing or unreadable" >&2; exit 1; }

# ---- The initramfs -----------------------------------------------------------------
rm -rf "$OUT"
root="$OUT/root"
mkdir -p "$root"/{bin,etc,images,lib/systemd,lib/udev/rules.d}
add() { # add FILE [TARGET]: a file at its path (or TARGET) in the root
  local target="${2:-$1}"
  mkdir -p "$root$(dirname "$target")"
  cp -L "$1" "$root$target"
}
add_program() { # add_program FILE [TARGET]: with the shared libraries it loads
  local lib
  add "$@"
  for lib in $(ldd "$1" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }'); do
    add "$lib"
  done
}
say "building the initramfs (kernel $KVER)"
add /bin/busybox
ln -s busybox "$root/bin/sh"
add_program "$BUILD/src/ui/console/plcfw" /bin/plcfw
add_program "$PLCSIM" /bin/plcsim
add_program /usr/bin/strace
add_program /bin/udevadm
ln -s /bin/udevadm "$root/lib/systemd/systemd-udevd"
add /lib/udev/rules.d/60-serial.rules
# Two users besides root for the case without root: operator in plugdev (the
# group the udev rule gives the PLC to), outsider not.
printf '%s\n' root:x:0:0:root:/:/bin/sh operator:x:1000:1000::/:/bin/sh \
  outsider:x:1001:1001::/:/bin/sh >"$root/etc/passwd"
printf '%s\n' root:x:0: plugdev:x:46:operator operator:x:1000: outsider:x:1001: >"$root/etc/group"
# The plcfw package's udev rule at the place the package installs it (its
# .install file names it), under /pkg/root as dpkg would unpack it, and the
# package's postinst that applies it; the case without root installs both.
rule_path="/$(grep -m 1 '/udev/rules.d/' "$ROOT/debian/plcfw.install")"
add "$ROOT/contrib/$(basename "$rule_path")" "/pkg/root$rule_path"
add "$ROOT/debian/plcfw.postinst" /pkg/plcfw.postinst
# A line a module, with its parameters: dummy_hcd emulates three controllers,
# each a UDC of its own, so that three gadgets are three USB PLCs at once.
for module in virtio_pci virtio_console xhci_pci ftdi_sio dummy_hcd usb_f_acm cdc_acm; do
  modprobe -S "$KVER" --show-depends "$module"
done | awk '$1 == "insmod" && !seen[$2]++ { print $2 ($2 ~ /\/dummy_hcd\.ko/ ? " num=3" : "") }' \
  >"$root/etc/modules.order"
while read -r module _; do add "$module"; done <"$root/etc/modules.order"
cp "$ROOT/scripts/vm/init" "$root/init"
cp "$IMAGE" "$root/images/vm500.bin"
python3 -c 'import random, sys
random.seed(20)
for path, size in zip(sys.argv[1::2], sys.argv[2::2]):
    open(path, "wb").write(random.randbytes(int(size)))' \
  "$root/images/small.bin" 65536 "$root/images/serial.bin" 65536 "$root/images/large.bin" 262144
(cd "$root" && find . | cpio -o -H newc --quiet) >"$OUT/initrd.cpio"

# ---- The serial PLCs on the host -------------------------------------------------------
# Two: a plcsim that has taken a whole image stays in its bootloader until
# the link is opened anew, which QEMU never does.  The first burns; the
# second loses its adapter mid-transfer.
qemu_pid=""
sim_pids=()
cleanup() {
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null || true
  [ ${#sim_pids[@]} -eq 0 ] || kill "${sim_pids[@]}" 2>/dev/null || true
  return 0
}
trap cleanup EXIT
ptys=()
for sim in serial serial-pull; do
  "$PLCSIM" --model LP4 --line-rate --verbose --flash-out "$OUT/$sim.flash" \
    >"$OUT/$sim-sim.out" 2>"$OUT/$sim-sim.err" &
  sim_pids+=($!)
  for _ in $(seq 50); do [ -s "$OUT/$sim-sim.out" ] && break; sleep 0.1; done
  ptys+=("$(head -n 1 "$OUT/$sim-sim.out")")
  [ -n "${ptys[-1]}" ] || { echo "vm: plcsim did not start" >&2; exit 1; }
done

# ---- The VM --------------------------------------------------------------------------
# boot ACCEL SECONDS: starts the VM; false when it has not booted in time.
boot() {
  local accel="$1" seconds="$2" cpu=() i
  [ "$accel" = kvm ] && cpu=(-cpu host)
  rm -f "$OUT/console.log" "$OUT/monitor.sock"
  qemu-system-x86_64 -accel "$accel" "${cpu[@]}" -m 512 -smp 2 -nodefaults -no-user-config \
    -display none -no-reboot -kernel "$KERNEL" -initrd "$OUT/initrd.cpio" \
    -append "console=hvc0 quiet panic=-1" \
    -device virtio-serial-pci -chardev file,id=con,path="$OUT/console.log" \
    -device virtconsole,chardev=con \
    -device qemu-xhci,id=xhci \
    -chardev serial,id=s0,path="${ptys[0]}" -device usb-serial,id=ftdi0,bus=xhci.0,chardev=s0 \
    -chardev serial,id=s1,path="${ptys[1]}" -device usb-serial,id=ftdi1,bus=xhci.0,chardev=s1 \
    -monitor unix:"$OUT/monitor.sock",server=on,wait=off >"$OUT/qemu.log" 2>&1 &
  qemu_pid=$!
  for ((i = 0; i < seconds * 5; i++)); do
    grep -q '^vm: booted' "$OUT/console.log" 2>/dev/null && return 0
    kill -0 "$qemu_pid" 2>/dev/null || break
    sleep 0.2
  done
  kill "$qemu_pid" 2>/dev/null || true
  wait "$qemu_pid" 2>/dev/null || true
  qemu_pid=""
  return 1
}
monitor() { # monitor COMMAND: one command to QEMU's monitor
  python3 - "$OUT/monitor.sock" "$1" <<'PY'
import socket, sys, time
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
s.sendall((sys.argv[2] + "\n").encode())
time.sleep(0.5)
PY
}

accel=tcg
# KVM only where it works: some hosts offer /dev/kvm and then hang in the firmware.
if [ -w /dev/kvm ] && boot kvm 20; then
  accel=kvm
else
  boot tcg 120 || { echo "vm: the VM did not boot:" >&2; cat "$OUT/qemu.log" "$OUT/console.log" >&2 || true; exit 1; }
fi
boot_seconds=$(($(date +%s) - started))
say "VM booted with $accel after ${boot_seconds} s"

# The second serial PLC's cable: QEMU removes its adapter once the transfer
# has run for a second.
pulled=""
timed_out=""
while kill -0 "$qemu_pid" 2>/dev/null; do
  if [ $(($(date +%s) - started)) -gt "$BUDGET" ]; then
    timed_out=1
    kill "$qemu_pid"
    break
  fi
  if [ -z "$pulled" ] && grep -q 'line at 115200 baud' "$OUT/serial-pull-sim.err"; then
    sleep 1
    monitor "device_del ftdi1" && pulled=1
  fi
  sleep 0.2
done
wait "$qemu_pid" || true
qemu_pid=""
seconds=$(($(date +%s) - started))

# ---- Results -------------------------------------------------------------------------
tr -d '\r' <"$OUT/console.log" >"$OUT/console.txt"
passed=$(grep -c '^ok: ' "$OUT/console.txt" || true)
failed=$(grep -c '^FAILED: ' "$OUT/console.txt" || true)
sed -n '/^vm: logs/q; /^\(ok\|FAILED\): \|^  /p' "$OUT/console.txt" | sed 's/^ok:/  ok:/' >&2 || true
check "the VM ran every case in time" grep -qx 'vm: done' "$OUT/console.txt"
check "serial: the adapter was removed mid-transfer" [ -n "$pulled" ]
check "serial: image exact" cmp -s "$OUT/serial.flash" "$root/images/serial.bin"
# The 9600-baud exchanges come before the switch to 115200.
check "serial: plcsim saw 9600, then 115200 baud" awk '
  /line at 9600 baud/ && !slow { slow = NR } /line at 115200 baud/ && !fast { fast = NR }
  END { exit !(slow && fast && slow < fast) }' "$OUT/serial-sim.err"
[ -z "$timed_out" ] || echo "vm: stopped after ${BUDGET} s" >&2
echo "vm: accelerator $accel, booted in ${boot_seconds} s, ${seconds} s in all (console: $OUT/console.txt)" >&2
echo "vm: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
