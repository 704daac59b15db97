"""Start-up, shutdown and reboot of the simulated controller."""

import argparse
import ctypes
import ipaddress
import os
import shutil
import signal
import sys
import tempfile
import threading
import time

from . import controller as C
from .api import ApiServer
from .control import ControlServer
from .fileservices import FtpService, HttpService, SshService, TelnetService
from .tcltasks import TaskManager


def log(text):
    sys.stderr.write("kvxsim: %s\n" % text)
    sys.stderr.flush()


def parse_args(argv):
    p = argparse.ArgumentParser(prog="kvxsim", description="KVX controller simulator")
    p.add_argument("--address", required=True, help="IPv4 address to bind (127.0.0.0/8)")
    p.add_argument("--model", default="Q", choices=sorted(C.MODELS), help="controller model")
    p.add_argument("--firmware", help="firmware version text (default by model)")
    p.add_argument("--root", help="controller folder tree (default: a temporary folder)")
    p.add_argument("--login-folder", default="/", choices=["/", "/Admin"], help="FTP folder after login")
    p.add_argument("--time-scale", type=float, default=1.0,
                   help="real seconds per simulated second (0.01 runs motions 100 times faster)")
    p.add_argument("--reboot-time", type=float, default=3.0, help="seconds the services stay down on Reboot")
    p.add_argument("--di", action="append", default=[], metavar="NAME=VALUE", help="digital input value")
    p.add_argument("--adc", action="append", default=[], metavar="NAME=VALUE", help="analog input value")
    p.add_argument("--api-port", type=int, default=5001)
    p.add_argument("--ftp-port", type=int, default=21)
    p.add_argument("--ssh-port", type=int, default=22)
    p.add_argument("--host-key", metavar="FILE",
                   help="SSH host key (private key file; made there when missing, read again at each reboot)")
    p.add_argument("--telnet-port", type=int, default=23)
    p.add_argument("--http-port", type=int, default=80)
    p.add_argument("--control-port", type=int, default=5099)
    p.add_argument("--allow-any", action="store_true", help="allow a non-loopback address")
    p.add_argument("--watch-stdin", action="store_true", help="stop when standard input closes")
    p.add_argument("--exit-with-parent", action="store_true", help="stop when the parent process dies")
    args = p.parse_args(argv)
    try:
        address = ipaddress.IPv4Address(args.address)
    except ValueError:
        p.error("--address must be an IPv4 address")
    if not args.allow_any and address not in ipaddress.IPv4Network("127.0.0.0/8"):
        p.error("refusing to bind %s: only 127.0.0.0/8 without --allow-any" % args.address)
    if args.time_scale <= 0:
        p.error("--time-scale must be above zero")
    return args


def _pairs(items, what):
    out = {}
    for item in items:
        name, sep, value = item.partition("=")
        if not sep:
            raise SystemExit("kvxsim: %s needs NAME=VALUE, got %r" % (what, item))
        out[name.strip()] = value.strip()
    return out


class Simulator:
    def __init__(self, args):
        self.args = args
        self.made_root = args.root is None
        self.root = os.path.realpath(args.root or tempfile.mkdtemp(prefix="kvxsim-root-"))
        os.makedirs(self.root, exist_ok=True)
        firmware = args.firmware or C.MODELS[args.model][0]
        self.controller = C.Controller(self.root, args.model, firmware, args.time_scale, log)
        self.initial_di = _pairs(args.di, "--di")
        self.initial_adc = _pairs(args.adc, "--adc")
        self._apply_inputs()
        self.api = ApiServer(args.address, args.api_port, self.controller, log)
        self.api.on_reboot = self.reboot
        self.tasks = TaskManager(self.controller, args.address, args.api_port, log)
        self.controller.tasks = self.tasks
        # The API comes up last, so a caller that reaches it finds every other service listening.
        self.ftp = FtpService(args.address, args.ftp_port, self.root, args.login_folder, self.controller.started)
        self.services = [
            self.ftp,
            SshService(args.address, args.ssh_port, self.root, log, args.host_key),
            TelnetService(args.address, args.telnet_port, self.root),
            HttpService(args.address, args.http_port, firmware),
            self.api,
        ]
        self.control = ControlServer(args.address, args.control_port, self)
        self.reboot_time = args.reboot_time
        self.up = threading.Event()
        self.rebooting = threading.Lock()
        self.stopped = threading.Event()

    def _apply_inputs(self):
        c = self.controller
        for name, value in self.initial_di.items():
            if name not in c.di:
                raise SystemExit("kvxsim: no digital input %s on this model" % name)
            c.di[name] = int(value, 0) & ((1 << c.di_bits[name]) - 1)
        for name, value in self.initial_adc.items():
            if name not in c.adc:
                raise SystemExit("kvxsim: no analog input %s" % name)
            c.adc[name] = float(value)

    def start_services(self):
        started = []
        try:
            for s in self.services:
                s.start()
                started.append(s)
        except OSError:
            for s in reversed(started):
                s.stop()
            raise
        self.up.set()

    def stop_services(self):
        self.up.clear()
        for s in reversed(self.services):
            try:
                s.stop()
            except Exception as exc:
                log("stopping %s: %r" % (type(s).__name__, exc))

    def run_boot_script(self):
        script, arguments = self.controller.boot
        if script:
            code, _ = self.tasks.execute(script, "BootScript", arguments, wait=False)
            if code:
                log("boot script %s not started: %d" % (script, code))

    def reboot(self):
        """Answer already sent: drop everything, stay away, note it in the log, come back."""
        if not self.rebooting.acquire(blocking=False):
            return
        threading.Thread(target=self._reboot, daemon=True, name="reboot").start()

    def _reboot(self):
        try:
            self.stop_services()
            self.tasks.kill_all()
            self.controller.kill_all()
            self.controller.reset_state()
            self._apply_inputs()
            path = os.path.join(self.root, "Public", "Log", "Error.log")
            with open(path, "a", newline="\n") as f:
                f.write("%s Controller restarted on request\n" % time.strftime("%Y-%m-%d %H:%M:%S"))
            self.stopped.wait(self.reboot_time)
            if self.stopped.is_set():
                return
            for attempt in range(50):
                try:
                    self.start_services()
                    break
                except OSError:
                    time.sleep(0.1)
            self.run_boot_script()
        finally:
            self.rebooting.release()

    def shutdown(self):
        if self.stopped.is_set():
            return
        self.stopped.set()
        self.stop_services()
        for s in self.services:
            s.close() if hasattr(s, "close") else None
        self.control.stop()
        self.tasks.close()
        if self.made_root:
            shutil.rmtree(self.root, ignore_errors=True)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    if args.exit_with_parent:
        try:
            ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
        except OSError:
            pass
    sim = Simulator(args)
    try:
        sim.control.start()
        sim.start_services()
    except OSError as exc:
        log("cannot listen on %s: %s" % (args.address, exc))
        sim.shutdown()
        return 3
    sim.run_boot_script()
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    if args.watch_stdin:
        def watch():
            try:
                while os.read(0, 4096):
                    pass
            except OSError:
                pass
            done.set()
        threading.Thread(target=watch, daemon=True, name="stdin").start()
    print("ready", flush=True)
    while not done.wait(0.5):
        pass
    sim.shutdown()
    return 0
