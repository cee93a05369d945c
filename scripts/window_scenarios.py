#!/usr/bin/env python3
"""plcfwupdate.exe under Wine, clicked and typed at through the X server as a
person would, and read back with window_probe.exe and screenshots.

Run by the Windows test stage once the display and Wine are up (DISPLAY and
WINEPREFIX set).  Every check prints "  ok: ..." or "FAILED: ..."; the totals
go to the file named by --counts as "PASSED FAILED".
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

TITLE = "Vemora PLC Firmware Update Program"
REPLUG_TEXT = "Please REPLUG the USB Cable, and then press OK to continue"
WINE_LIB = Path(__file__).resolve().parent / "wine.sh"
IMAGE_TOOL = "convert-im6.q16"
SCREENSHOT_TOOL = "import-im6.q16"

args = argparse.Namespace()
counts = {"passed": 0, "failed": 0}


def say(text):
    print(f"==> {text}", file=sys.stderr, flush=True)


def note(text):
    print(f"  {text}", file=sys.stderr, flush=True)


def check(what, ok):
    """Counts one check; OK is a truth value or a function giving one."""
    if callable(ok):
        ok = ok()
    counts["passed" if ok else "failed"] += 1
    print(f"  ok: {what}" if ok else f"FAILED: {what}", file=sys.stderr, flush=True)


def wait_for(seconds, condition):
    """Retries CONDITION every 0.2 s; False on time-out."""
    for _ in range(int(seconds * 5)):
        try:
            if condition():
                return True
        except (OSError, ValueError, subprocess.SubprocessError):
            pass
        time.sleep(0.2)
    return False


def run(*command, timeout=120):
    """The command's standard output; a failed command raises."""
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            stdin=subprocess.DEVNULL, timeout=timeout, check=True)
    return result.stdout.decode(errors="replace")


def succeeds(*command, timeout=120):
    try:
        run(*command, timeout=timeout)
        return True
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired):
        return False


def wine_lib(*call):
    """Runs a function of the shared Wine library (map_com, start_wine, ...)."""
    subprocess.run(["bash", "-c", f'source "{WINE_LIB}" && "$@"', "wine.sh", *call],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=False)


def xdotool(*words):
    return run("xdotool", *words)


def out(name):
    return str(args.out / name)


# ---- The probe -----------------------------------------------------------------
class Probe:
    """The last reading of the main window (main) and of a box (box)."""

    def __init__(self):
        self.main = {}
        self.box = {}
        self.box_lines = []

    @staticmethod
    def read(*words):
        """window_probe.exe's KEY=VALUE lines; None when it fails."""
        try:
            text = run("wine", str(args.build / "tests/window/window_probe.exe"), *words)
        except (subprocess.CalledProcessError, subprocess.TimeoutExpired):
            return None
        return text.replace("\r", "").splitlines()

    @staticmethod
    def values(lines):
        return dict(line.split("=", 1) for line in lines or [] if "=" in line)

    def probe_main(self):
        lines = self.read("main")
        self.main = self.values(lines)
        return lines is not None and self.main.get("found") == "1"

    def value(self, key):
        return self.main.get(key, "")

    def rows(self, key):
        return self.value(key).split(",") if self.value(key) else []

    def box_shown(self, caption):
        self.box_lines = self.read("box", caption) or []
        self.box = self.values(self.box_lines)
        return self.box.get("found") == "1"

    def box_gone(self, caption):
        return not self.box_shown(caption)

    def box_text_is(self, caption, text):
        return self.box_shown(caption) and self.box.get("text") == text

    def box_value(self, key):
        return self.box.get(key, "")

    def button_enabled(self):
        return self.probe_main() and self.value("button_enabled") == "1"

    def window_gone(self):
        return not self.probe_main()

    def port_listed(self, port):
        return self.probe_main() and port in self.rows("port_rows")


probe = Probe()


def find_window(name):
    """The X window whose name is NAME, or ""."""
    try:
        found = xdotool("search", "--limit", "1", "--name", f"^{name}$")
    except subprocess.CalledProcessError:
        return ""
    return found.split("\n", 1)[0].strip()


def press(window, key):
    """The keyboard goes through the X server (XTEST) to the active window, as
    a user's keys would."""
    succeeds("xdotool", "windowactivate", "--sync", window)
    succeeds("xdotool", "key", key)


def screenshot(name):
    succeeds(SCREENSHOT_TOOL, "-window", "root", out(f"{name}.png"))


def close_box(caption):
    """Answers the box with Enter and waits until it is gone."""
    box = find_window(caption)
    if not box:
        return False
    press(box, "Return")
    return wait_for(10, lambda: probe.box_gone(caption))


# ---- The main window ---------------------------------------------------------------
class Window:
    """A started plcfwupdate.exe: its X window and the client area's offset in it."""

    def __init__(self, exe, *words):
        self.xid, self.cx, self.cy = "", 0, 0
        with open(out("window.log"), "wb") as log:
            self.process = subprocess.Popen(["wine", str(exe), *words], stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=subprocess.STDOUT)
        self.shown = self._find()

    def _find(self):
        if not wait_for(30, probe.probe_main):
            note("the window did not appear")
            return False
        self.xid = xdotool("search", "--sync", "--limit", "1", "--name",
                           f"^{TITLE}$").split("\n", 1)[0].strip()
        # The X window is the whole window when Wine draws the frame, and only
        # the client area when the window manager does: the offset follows its size.
        time.sleep(0.5)
        if not probe.probe_main():
            return False
        size = self.geometry()
        if size == probe.value("outer"):
            outer = [int(v) for v in probe.value("outer_origin").split(",")]
            client = [int(v) for v in probe.value("client_origin").split(",")]
            self.cx, self.cy = client[0] - outer[0], client[1] - outer[1]
        elif size == probe.value("client"):
            note("the window manager draws the frame")
        else:
            note(f"the X window ({size}) is neither the window nor its client area")
            return False
        return True

    def geometry(self):
        found = re.search(r"Geometry: (\S+)", xdotool("getwindowgeometry", self.xid))
        return found.group(1) if found else ""

    def click(self, x, y):
        """A click at client coordinates."""
        succeeds("xdotool", "mousemove", "--window", self.xid, str(x + self.cx),
                 str(y + self.cy), "click", "1")

    def shot(self, name):
        succeeds(SCREENSHOT_TOOL, "-window", self.xid, out(f"{name}.png"))

    def rgb(self, shot, x, y):
        """"r,g,b" of a client pixel of a window screenshot."""
        pixel = f"p{{{x + self.cx},{y + self.cy}}}"
        spec = ",".join(f"%[fx:int(255*{pixel}.{c})]" for c in "rgb")
        try:
            return run(IMAGE_TOOL, out(f"{shot}.png"), "-format", spec, "info:").strip()
        except subprocess.CalledProcessError:
            return ""

    def phase_width(self, shot):
        """Width of what is drawn in the phase field after "Status: "."""
        background = f"rgb({self.rgb(shot, 300, 159)})"
        try:
            return int(run(IMAGE_TOOL, out(f"{shot}.png"), "-crop",
                           f"90x20+{209 + self.cx}+{140 + self.cy}", "+repage", "-bordercolor",
                           background, "-border", "1", "-trim", "-format", "%w", "info:"))
        except (subprocess.CalledProcessError, ValueError):
            return 0

    def close(self):
        press(self.xid, "alt+F4")
        return wait_for(15, probe.window_gone)

    def style_frame_is(self, bits):
        """Only the frame bits: WS_VISIBLE, WS_CLIPSIBLINGS and the like come and go."""
        style = probe.value("style")
        if not style:
            return False
        if int(style, 16) & 0x00CF0000 != bits:
            note(f"style is {style}")
            return False
        return True


def run_ends_with_box(seconds, caption, text, what, shot):
    """A run ends with the box CAPTION saying TEXT: answered, the button is
    enabled again.  False when no such box came."""
    if not wait_for(seconds, lambda: probe.box_shown(caption)):
        return False
    check(what, probe.box_value("text") == text)
    screenshot(shot)
    check("box closes", close_box(caption))
    check("button enabled again", wait_for(10, probe.button_enabled))
    return True


def note_error_box():
    if probe.box_shown("ERROR"):
        note(f"ERROR box instead: {probe.box_value('text')}")


# ---- plcsim behind a COM port --------------------------------------------------------
class Sim:
    """plcsim on a new pty, mapped to the COM port (through LINK when given:
    plcsim's --link stands for the pty and outlives a replug)."""

    def __init__(self, name, *words, link=None):
        self.name = name
        with open(out(f"{name}-sim.out"), "wb") as stdout, open(out(f"{name}-sim.err"), "wb") as err:
            self.process = subprocess.Popen([str(args.plcsim), "--verbose", *words],
                                            stdin=subprocess.DEVNULL, stdout=stdout, stderr=err)
        if not wait_for(10, lambda: os.path.getsize(out(f"{name}-sim.out")) > 0):
            note("plcsim did not start: " + Path(out(f"{name}-sim.err")).read_text(errors="replace"))
            return
        pty = Path(out(f"{name}-sim.out")).read_text().split("\n", 1)[0]
        wine_lib("map_com", args.com, link or pty)

    def signal(self, number):
        self.process.send_signal(number)

    def errors(self):
        return Path(out(f"{self.name}-sim.err")).read_text(errors="replace")

    def stop(self, wine_first=False, kill=False):
        """plcsim's status once it ended (at most 20 s); with WINE_FIRST once
        Wine let go of the pty (and Wine started again)."""
        if wine_first:
            wine_lib("stop_wine")
        if kill:
            self.process.terminate()
        try:
            status = self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.terminate()
            self.process.wait()
            status = -1
        if wine_first:
            wine_lib("start_wine")
        return status


def same_image(received, expected):
    """The received bytes are the image, followed at most by the filler of the last block."""
    try:
        got = Path(received).read_bytes()
    except OSError:
        return False
    want = Path(expected).read_bytes() if isinstance(expected, (str, Path)) else expected
    tail = got[len(want):]
    return got[:len(want)] == want and len(tail) < 256 and tail.strip(b"\x1a") == b""


def serial_comm(action):
    """A port that arrives (COM77) or leaves."""
    data = ["/t", "REG_SZ", "/d", "COM77"] if action == "add" else []
    succeeds("wine", "reg", action, r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM", "/v", "PlcLater", *data, "/f")


# ---- The scenarios -----------------------------------------------------------------
def vm500_window():
    say("plcfwupdate.exe as built (VM500)")
    window = Window(args.build / "src/ui/window/plcfwupdate.exe")
    if not window.shown:
        check("VM500 window appears", False)
        return
    value = probe.value
    check("window title", value("title") == TITLE)
    check("outer size 544 x 205 (Windows)", value("outer") == "544x205")
    check("outer size 544 x 205 (X)", window.geometry() == "544x205")
    check("caption, system menu and minimize box only", window.style_frame_is(0x00CA0000))
    check("model list holds the 24 models", len(probe.rows("model_rows")) == 24)
    check("model list shows VM500", value("model_selected") == "VM500")
    check("model list is disabled", value("model_enabled") == "0")
    check("port list is USB", value("port_rows") == "USB")
    check("USB selected", value("port_selected") == "USB")
    check("button enabled", value("button_enabled") == "1")
    time.sleep(0.5)  # one tick of the panel timer draws the logo
    window.shot("vm500-window")
    check("logo drawn", window.rgb("vm500-window", 437, 17) == "31,58,104")

    # Escape and Ctrl+Break are not the start command, with the focus on the
    # button either.
    press(window.xid, "Escape")
    time.sleep(1.5)
    check("Escape starts no burn", probe.box_gone("ERROR"))
    for _ in range(3):
        if probe.probe_main() and value("focus_id") == "2":
            break
        succeeds("xdotool", "key", "Tab")
        time.sleep(0.3)
    check("Tab puts the focus on the button", value("focus_id") == "2")
    succeeds("xdotool", "key", "ctrl+Break")
    time.sleep(1.5)
    check("Ctrl+Break starts no burn", probe.box_gone("ERROR"))

    window.click(60, 75)
    if wait_for(20, lambda: probe.box_shown("ERROR")):
        check("box text", probe.box_value("text") == "CANNOT open USB Port!!!")
        check("box owned by the main window", probe.box_value("owner_is_main") == "1")
        check("xdotool finds the box by its caption", find_window("ERROR") != "")
        probe.probe_main()
        check("button disabled while the box is up", value("button_enabled") == "0")
        screenshot("vm500-error-box")
        check("box closes", close_box("ERROR"))
        check("button enabled again", wait_for(10, probe.button_enabled))
    else:
        check('box "CANNOT open USB Port!!!" appears', False)
    check("window closes", window.close())


def serial_window_burn():
    model, com = args.serial_model, args.com
    say(f"plcfwupdate.exe built for {model} burns plcsim through {com}")
    sim = Sim("window", "--model", model, "--flash-out", out("window-flash.bin"), "--once",
              "--line-rate")
    window = Window(args.serial_build / "src/ui/window/plcfwupdate.exe")
    if window.shown:
        value = probe.value
        check(f"model list shows {model}", value("model_selected") == model)
        check("model list is disabled", value("model_enabled") == "0")
        ports = probe.rows("port_rows")
        check(f"port list offers {com}", com in ports)
        check("first port selected", ports and value("port_selected") == ports[0])
        # Pick the port: open the list, go to its row, take it.
        window.click(210, 30)
        time.sleep(0.5)
        succeeds("xdotool", "key", "Home")
        for _ in range(ports.index(com) if com in ports else 0):
            succeeds("xdotool", "key", "Down")
        succeeds("xdotool", "key", "Return")
        time.sleep(0.5)
        probe.probe_main()
        check(f"{com} picked", value("port_selected") == com)
        window.shot("serial-window")

        window.click(60, 75)
        # The transfer runs once the line is switched to 115200 baud.
        if wait_for(60, lambda: "line at 115200" in sim.errors()):
            serial_transfer(window)
        else:
            check("the transfer starts", False)
            note("\n  ".join(sim.errors().splitlines()[-5:]))
        check("window closes", window.close())
    else:
        check(f"{model} window appears", False)
    simrc = sim.stop(wine_first=True)
    check("plcsim received a complete image from the window", simrc == 0)
    check("received image = the embedded image", same_image(out("window-flash.bin"), args.small_image))


def serial_transfer(window):
    """The serial window's run from the transfer on: the bar, the phase, the
    close question, the success box."""
    caught = False
    for _ in range(40):
        window.shot("serial-transfer")
        # The bar fills during the erase too: wait for the transfer's own.
        if (window.rgb("serial-transfer", 11, 115) == "255,0,0"
                and window.rgb("serial-transfer", 518, 115) != "255,0,0"
                and window.phase_width("serial-transfer") >= 60):
            caught = True
            break
        time.sleep(0.2)
    check("screenshot during the transfer shows a partly red bar", caught)
    width = window.phase_width("serial-transfer")
    note(f"phase text width: {width} px (Idle ~20, Erasing ~45, Programming ~75)")
    check('screenshot during the transfer shows "Programming"', width >= 60)

    # Closing during the run asks first.  The question stays open while the
    # run ends and another one starts: its answer is none for the new run.
    press(window.xid, "alt+F4")
    question = ""
    if wait_for(10, lambda: probe.box_shown("WARNING")):
        check("close question", probe.box_value("text") ==
              "A firmware update is in progress. Closing now can leave the PLC without a working program. Close anyway?")
        screenshot("serial-close-question")
        question = find_window("WARNING")
    else:
        check("closing during a run asks first", False)

    if not run_ends_with_box(120, "INFORMATION", "Firmware update is SUCCESSFUL", "success box",
                             "serial-success-box"):
        check('box "Firmware update is SUCCESSFUL" appears', False)
        note_error_box()
    if question:
        succeeds("xdotool", "windowmove", question, "0", "400")  # off the button
        window.click(60, 75)  # plcsim is gone: this run ends at the open
        wait_for(20, lambda: probe.box_shown("ERROR"))
        press(question, "y")
        time.sleep(1.5)
        check("Yes to the question asks again for the new run", probe.box_shown("WARNING"))
        press(find_window("WARNING"), "n")
        check("No keeps the window", wait_for(10, lambda: probe.box_gone("WARNING")))
        if wait_for(60, lambda: probe.box_shown("ERROR")):
            close_box("ERROR")


def window_usage_box():
    say("plcfwupdate.exe with a bad argument")
    with open(out("usage.log"), "wb") as log:
        subprocess.Popen(["wine", str(args.build / "src/ui/window/plcfwupdate.exe"), "--port"],
                         stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
    if wait_for(30, lambda: probe.box_shown(TITLE)):
        check("usage box says why", probe.box_value("text") == "--port needs a device path or a COM port")
        check("usage box shows the usage", "Usage: plcfwupdate.exe [OPTIONS]" in probe.box_lines)
        screenshot("usage-box")
        check("usage box closes", close_box(TITLE))
        check("no window after the usage box", probe.window_gone())
    else:
        check("a bad argument shows the usage box", False)


def vm500_several_plcs():
    """Several PLCs, as Windows' device search would list them (made in Wine's
    registry; they cannot be opened), and PLCs plugged in and out later."""
    say("plcfwupdate.exe as built (VM500): several PLCs, plugged in while it runs")
    probe.read("plcs")
    window = Window(args.build / "src/ui/window/plcfwupdate.exe")
    if window.shown:
        value = probe.value
        check("no PLC: the USB row", value("port_rows") == "USB")
        check("two PLCs can be made", probe.read("plcs", "Port_#0002.Hub_#0001", "Port_#0001.Hub_#0004") is not None)
        time.sleep(2)
        if probe.probe_main() and value("port_rows") != "USB":
            note("Wine told the window of the new devices itself")
        else:
            note("Wine does not tell the window of the new devices: the probe does")
            probe.read("devicechange")
        probe.probe_main()
        check("a row per PLC, by hub and port", value("port_rows") == "Port 1 (hub 4),Port 2 (hub 1)")
        check("the first PLC found selected", value("port_selected") == "Port 2 (hub 1)")
        window.click(210, 30)  # drop the list down and take its first row
        time.sleep(0.5)
        screenshot("vm500-several-plcs")
        succeeds("xdotool", "key", "Home", "Return")
        time.sleep(0.5)
        check("a third PLC", probe.read("plcs", "Port_#0002.Hub_#0001", "Port_#0001.Hub_#0004",
                                        "Port_#0003.Hub_#0001") is not None)
        probe.read("devicechange")
        probe.probe_main()
        check("three rows", len(probe.rows("port_rows")) == 3)
        check("the pick is kept", value("port_selected") == "Port 1 (hub 4)")
        window.click(60, 75)
        if wait_for(20, lambda: probe.box_shown("ERROR")):
            check("a PLC that cannot be opened", probe.box_value("text") == "CANNOT open USB Port!!!")
            close_box("ERROR")
        else:
            check("the run on the picked PLC ends with a box", False)
        probe.read("plcs")
        probe.read("devicechange")
        probe.probe_main()
        check("PLCs gone: the USB row again", value("port_rows") == "USB")
        check("window closes", window.close())
    else:
        check("VM500 window appears", False)
    probe.read("plcs")


def vm500_replug_burn():
    """The release as shipped, told the PLC's device path, clicked as a person would."""
    com_path, plug = "\\\\.\\" + args.com, Path(out("plc-link"))
    say(f"plcfwupdate.exe as built (VM500) --port {com_path} burns plcsim, replugged")
    sim = Sim("vm500-replug", "--model", "VM500", "--link", str(plug), "--flash-out",
              out("vm500-flash.bin"), "--once", link=str(plug))
    window = Window(args.build / "src/ui/window/plcfwupdate.exe", "--port", com_path)
    if window.shown:
        check("port list shows the given path", probe.value("port_rows") == com_path)
        check("the given path selected", probe.value("port_selected") == com_path)
        window.click(60, 75)
        if wait_for(30, lambda: probe.box_text_is("Information", REPLUG_TEXT)):
            screenshot("vm500-replug-box")
            sim.signal(signal.SIGUSR1)
            check("the PLC is unplugged", wait_for(5, lambda: not plug.exists()))
            sim.signal(signal.SIGUSR2)
            check("the PLC is plugged in again", wait_for(5, plug.exists))
            check("replug box closes", close_box("Information"))
            if wait_for(300, lambda: probe.box_shown("Information")):
                check("success box", probe.box_value("text") ==
                      "Firmware update is SUCCESSFUL!, please REPLUG the USB cable")
                screenshot("vm500-success-box")
                check("success box closes", close_box("Information"))
            else:
                check("the burn ends with the success box", False)
                note_error_box()
        else:
            check("the replug box appears", False)
            note_error_box()
        check("window closes", window.close())
    else:
        check("VM500 window with --port appears", False)
    simrc = sim.stop(wine_first=True)
    check("plcsim received a complete image from the VM500 window", simrc == 0)
    # The VM group keeps the image's last 4,096 bytes to itself.
    cache = (args.build / "CMakeCache.txt").read_text()
    image = re.search(r"^PLC_FIRMWARE_BIN:INTERNAL=(.*)$", cache, re.M).group(1)
    check("received image = the built-in image less its last 4,096 bytes",
          same_image(out("vm500-flash.bin"), Path(image).read_bytes()[:-4096]))


def vm500_replug_too_early():
    """OK before the PLC is back: the reopen finds nothing, the probe no answer."""
    com_path, plug = "\\\\.\\" + args.com, Path(out("plc-link"))
    say("plcfwupdate.exe (VM500): OK on the replug box before the PLC is back")
    sim = Sim("vm500-early", "--model", "VM500", "--link", str(plug), link=str(plug))
    window = Window(args.build / "src/ui/window/plcfwupdate.exe", "--port", com_path)
    if window.shown:
        window.click(60, 75)
        if wait_for(30, lambda: probe.box_text_is("Information", REPLUG_TEXT)):
            sim.signal(signal.SIGUSR1)
            wait_for(5, lambda: not plug.exists())
            check("replug box closes", close_box("Information"))
            if not run_ends_with_box(60, "ERROR", "NO RESPONSE @ State 1", "the failed reopen's message",
                                     "vm500-early-error-box"):
                check("the failed reopen ends the run with a box", False)
        else:
            check("the replug box appears", False)
        check("window closes", window.close())
    else:
        check("VM500 window with --port appears", False)
    sim.stop(kill=True)


def serial_port_refresh():
    """A port that arrives or leaves is seen without a restart, the selection
    kept, and never while a run is under way."""
    model, com = args.serial_model, args.com
    say(f"plcfwupdate.exe built for {model} --port {com}: devices come and go")
    window = Window(args.serial_build / "src/ui/window/plcfwupdate.exe", "--port", com)
    if not window.shown:
        check(f"{model} window with --port appears", False)
        return
    check(f"--port {com} preselected", probe.value("port_selected") == com)
    serial_comm("add")
    probe.read("devicechange")
    check("a port that arrived is listed", probe.port_listed("COM77"))
    check("the selection is kept", probe.value("port_selected") == com)
    window.click(60, 75)  # no PLC behind it: the run shows its box and waits
    if wait_for(20, lambda: probe.box_shown("ERROR")):
        serial_comm("delete")
        probe.read("devicechange")
        time.sleep(0.5)
        check("no refresh while a run is under way", probe.port_listed("COM77"))
        check("box closes", close_box("ERROR"))
        check("the refresh follows the run's end",
              wait_for(5, lambda: probe.probe_main() and "COM77" not in probe.rows("port_rows")))
        check("the selection is still kept", probe.value("port_selected") == com)
    else:
        check("the run without a PLC shows its box", False)
        serial_comm("delete")
    check("window closes", window.close())


SCENARIOS = [vm500_window, serial_window_burn, window_usage_box, vm500_several_plcs,
             vm500_replug_burn, vm500_replug_too_early, serial_port_refresh]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0])
    for option in ("build", "serial-build", "out", "plcsim", "small-image"):
        parser.add_argument(f"--{option}", type=Path, required=True)
    parser.add_argument("--com", required=True)
    parser.add_argument("--serial-model", required=True)
    parser.add_argument("--counts", type=Path, required=True)
    parser.add_argument("--only", nargs="*", help="the scenarios to run (all by default)")
    parser.parse_args(namespace=args)
    # No PLC devices left in Wine's registry by a run that stopped half-way.
    probe.read("plcs")
    try:
        for scenario in SCENARIOS:
            if not args.only or scenario.__name__ in args.only:
                scenario()
    finally:
        args.counts.write_text(f"{counts['passed']} {counts['failed']}\n")


if __name__ == "__main__":
    main()
