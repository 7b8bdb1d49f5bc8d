"""The machine of one `vellmark try`: a throw-away wine prefix in a work
folder of its own, the X display its programs show on, and the runs of the
UI driver in it.  Nothing outside the work folder is touched, and only the
processes started here are ended: the prefix's wineserver (which ends every
wine process of the prefix) and the Xvfb started for it.

The work folder holds
    prefix/          the wine prefix (drive_c, system.reg, user.reg)
    transfer/        the setup, the driver's scripts, the setup's transcript
                     and the pictures; the programs see it as drive T:, so
                     the paths they print are short and the same every run
    package/         the package's files as `vellmark extract` writes them,
                     so that the report names an installed file after the
                     entry it came from
"""

import os
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time

import wine_env

TransferDrive = "T:"

# IMAGE_FILE_MACHINE_* of a PE header.
MachineNames = {0x014C: "win32", 0x8664: "win64"}


class TryError(Exception):
    """A try that cannot be made: the message says why; exit status 2."""


def image_architecture(path):
    """"win32" or "win64" for a Windows program, else raises TryError."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
    except OSError as error:
        raise TryError("%s: cannot be read (%s)" % (path, error.strerror)) from None
    if head[:2] != b"MZ" or len(head) < 0x40:
        raise TryError("%s: not a Windows program" % path)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    if pe + 6 > len(head) or head[pe:pe + 4] != b"PE\0\0":
        raise TryError("%s: not a Windows program" % path)
    machine = struct.unpack_from("<H", head, pe + 4)[0]
    if machine not in MachineNames:
        raise TryError("%s: a Windows program for a processor wine cannot run here (machine 0x%04x)" % (path, machine))
    return MachineNames[machine]


def check_tools(architecture, display_needed):
    """Refuses a machine that lacks wine (or its 32-bit half for a 32-bit
    setup) or, without a display, Xvfb, naming the Debian package."""
    if wine_env.wine64_loader() is None or wine_env.wineserver() is None:
        raise TryError("wine64 is not installed: %s" % wine_env.WinePackages)
    if architecture == "win32" and wine_env.wine32_loader() is None:
        raise TryError("the setup is a 32-bit program, and this wine runs only 64-bit ones: install %s, "
                       "or pack a 64-bit setup to try it (vellmark pack --arch win64)" % wine_env.Wine32Packages)
    if display_needed and shutil.which("Xvfb") is None:
        raise TryError("there is no $DISPLAY and Xvfb is not installed: %s" % wine_env.XvfbPackages)


class DriverRun:
    """What one run of the UI driver printed."""

    def __init__(self, lines, status):
        self.lines = lines      # the transcript, one event a line
        self.status = status    # the driver's own exit status

    def exit_code(self):
        """The exit code of the last program the driver ran, None when it was
        killed or none ran."""
        for line in reversed(self.lines):
            if line.startswith("exit "):
                word = line[5:].strip()
                return int(word) if word.isdigit() else None
        return None


class Machine:
    """A prefix made by `start` and gone after `close`."""

    def __init__(self, windows_version, keep=False):
        self.windows_version = windows_version
        self.keep = keep
        self.work = tempfile.mkdtemp(prefix="vellmark-try.")
        self.prefix = os.path.join(self.work, "prefix")
        self.transfer = os.path.join(self.work, "transfer")
        os.makedirs(self.transfer)
        self.display = os.environ.get("DISPLAY") or None
        self.xvfb = None
        self.started = False

    # --- the machine -------------------------------------------------------

    def environment(self):
        env = wine_env.environment(self.prefix)
        if self.display:
            env["DISPLAY"] = self.display
        return env

    def start_display(self):
        """A private Xvfb when there is no $DISPLAY: it chooses a free display
        number itself (-displayfd), so two runs never take the same one."""
        if self.display:
            return
        read_end, write_end = os.pipe()
        try:
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                start_new_session=True)
        except OSError as error:
            raise TryError("Xvfb cannot be started: %s" % error) from None
        finally:
            os.close(write_end)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 0.5)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            raise TryError("Xvfb did not start a display")
        self.display = ":" + number.strip().decode()

    def wine(self, arguments, timeout, output=subprocess.DEVNULL):
        return subprocess.run([wine_env.wine64_loader()] + arguments, env=self.environment(), stdout=output,
                              stderr=subprocess.DEVNULL, timeout=timeout, check=False)

    def start(self):
        """The display, a fresh prefix, and its settings: the Windows version
        and a virtual desktop, so that windows get frames and captions.  The
        transfer folder becomes drive T:.  The wineserver is ended at the end,
        so the first snapshot sees everything written."""
        self.start_display()
        self.started = True
        try:
            self.wine(["wineboot", "--init"], timeout=300)
        except subprocess.TimeoutExpired:
            raise TryError("wineboot --init did not end within 5 minutes") from None
        if not os.path.isdir(os.path.join(self.prefix, "drive_c")):
            raise TryError("wineboot --init made no prefix in %s" % self.prefix)
        drive = os.path.join(self.prefix, "dosdevices", TransferDrive.lower())
        if not os.path.lexists(drive):
            os.symlink(self.transfer, drive)
        settings = os.path.join(self.transfer, "settings.reg")
        with open(settings, "w", encoding="ascii", newline="\r\n") as f:
            f.write("REGEDIT4\n\n"
                    "[HKEY_CURRENT_USER\\Software\\Wine]\n\"Version\"=\"%s\"\n\n"
                    "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n\"Desktop\"=\"vellmark\"\n\n"
                    "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n\"vellmark\"=\"800x600\"\n"
                    % self.windows_version)
        self.wine(["regedit", "/S", self.windows_path(settings)], timeout=120)
        os.remove(settings)
        self.end_wineserver()

    def end_wineserver(self):
        server = wine_env.wineserver()
        for flag in ("-k", "-w"):
            subprocess.run([server, flag], env=self.environment(), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60, check=False)

    def close(self):
        """Ends every wine process of the prefix and the Xvfb started here,
        and removes the work folder unless it is kept."""
        if self.started and os.path.isdir(self.prefix):
            try:
                self.end_wineserver()
            except (OSError, subprocess.TimeoutExpired):
                pass
        if self.xvfb is not None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
            self.xvfb = None
        if not self.keep:
            shutil.rmtree(self.work, ignore_errors=True)

    # --- paths ---------------------------------------------------------------

    def windows_path(self, host_path):
        """The Windows path of a file of the host: on T: inside the transfer
        folder, else on Z:."""
        full = os.path.abspath(host_path)
        if full == self.transfer:
            return TransferDrive + "\\"
        if full.startswith(self.transfer + os.sep):
            return TransferDrive + "\\" + os.path.relpath(full, self.transfer).replace("/", "\\")
        return wine_env.windows_path(full)

    def transfer_file(self, name):
        return os.path.join(self.transfer, name)

    # --- the UI driver -------------------------------------------------------

    def run_driver(self, uidriver, name, commands, wait_limit, timeout):
        """Runs the UI driver on COMMANDS (a list of script lines), saved as
        transfer/NAME.txt; each of its waits lasts up to WAIT_LIMIT seconds.
        Returns a DriverRun."""
        script = self.transfer_file(name + ".txt")
        try:
            with open(script, "w", encoding="cp1252", newline="\r\n") as f:
                f.write("\n".join(commands) + "\n")
        except UnicodeEncodeError:
            raise TryError("a path of this run cannot be written in Windows-1252: %s" % script) from None
        try:
            result = self.wine([uidriver, "--timeout", str(wait_limit), self.windows_path(script)],
                               timeout=timeout, output=subprocess.PIPE)
        except subprocess.TimeoutExpired:
            return DriverRun(["timeout: the UI driver did not end within %d s" % timeout], 2)
        text = result.stdout.decode("cp1252", errors="replace").replace("\r", "")
        return DriverRun([line for line in text.split("\n") if line], result.returncode)


def install_signal_handlers():
    """SIGTERM and SIGHUP end a try as Ctrl-C does, through the clean-up."""
    def stop(number, frame):
        raise KeyboardInterrupt
    for number in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, stop)
