"""Control interface for tests: one JSON object per line in, one JSON object per line out."""

import base64
import json
import os
import socket
import threading


class ControlServer:
    def __init__(self, address, port, sim):
        self.address = address
        self.port = port
        self.sim = sim
        self.listener = None

    def start(self):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((self.address, self.port))
        s.listen(16)
        self.listener = s
        threading.Thread(target=self._accept, daemon=True, name="control-accept").start()

    def stop(self):
        if self.listener is not None:
            try:
                self.listener.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self.listener.close()

    def _accept(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True, name="control").start()

    def _serve(self, conn):
        f = conn.makefile("rwb")
        try:
            for line in f:
                if not line.strip():
                    continue
                try:
                    request = json.loads(line.decode("utf-8"))
                    reply = self.handle(request)
                    reply.setdefault("ok", True)
                except Exception as exc:  # a bad command is answered, never fatal
                    reply = {"ok": False, "error": "%s: %s" % (type(exc).__name__, exc)}
                f.write((json.dumps(reply) + "\n").encode("utf-8"))
                f.flush()
        except OSError:
            pass
        finally:
            try:
                f.close()
                conn.close()
            except OSError:
                pass

    def _path(self, rel):
        root = os.path.realpath(self.sim.root)
        path = os.path.realpath(os.path.join(root, rel.lstrip("/")))
        if path != root and not path.startswith(root + os.sep):
            raise ValueError("path outside the root")
        return path

    def handle(self, r):
        sim = self.sim
        c = sim.controller
        cmd = r.get("cmd")
        if cmd == "ping":
            return {"up": sim.up.is_set()}
        if cmd == "state":
            return {"state": c.snapshot(), "up": sim.up.is_set(), "tasks": sim.tasks.running()}
        if cmd == "set_fault":
            kind = r.get("kind")
            if kind not in sim.api.faults.KINDS:
                raise ValueError("unknown fault kind %r" % kind)
            if not r.get("function"):
                raise ValueError("fault without function")
            sim.api.faults.set({k: v for k, v in r.items() if k != "cmd"})
            return {}
        if cmd == "clear_faults":
            sim.api.faults.clear(r.get("function"))
            return {}
        if cmd == "faults":
            return {"faults": sim.api.faults.listing()}
        if cmd == "request_log":
            since = int(r.get("since", 0))
            entries = sim.api.requests.read(since)
            return {"entries": entries, "next": since + len(entries)}
        if cmd == "clear_request_log":
            sim.api.requests.clear()
            return {}
        if cmd == "ftp_log":
            if r.get("take"):
                return {"entries": sim.ftp.take_commands()}
            return {"entries": sim.ftp.read_commands(int(r.get("since", 0)))}
        if cmd == "clear_ftp_log":
            sim.ftp.clear_commands()
            return {}
        if cmd == "set_ftp_store_delay":
            sim.ftp.store_delay = max(0.0, float(r.get("seconds", 0)))
            return {}
        if cmd == "group_status":
            with c.lock:
                return {"status": c.status(c.group_of(r["group"]))}
        if cmd == "positions":
            with c.lock:
                return {"positions": c.positions(c.group_of(r["group"]))}
        if cmd == "set_positions":
            with c.lock:
                g = c.group_of(r["group"])
                values = [float(v) for v in r["positions"]]
                c._settle(g)
                if len(values) != len(g.positioners) or g.motion is not None:
                    raise ValueError("group busy or wrong number of positions")
                for p, v in zip(g.positioners, values):
                    p.position = v
            return {}
        if cmd == "set_group_status":
            with c.lock:
                g = c.group_of(r["group"])
                c._freeze(g, int(r["status"]), 0)
            return {}
        if cmd == "digital":
            with c.lock:
                name = r["name"]
                if name in c.di:
                    return {"value": c.di[name]}
                if name in c.do:
                    return {"value": c.do[name]}
                raise ValueError("unknown digital port %r" % name)
        if cmd == "set_digital_input":
            with c.lock:
                name = r["name"]
                if name not in c.di:
                    raise ValueError("unknown digital input %r" % name)
                c.di[name] = int(r["value"]) & ((1 << c.di_bits[name]) - 1)
            return {}
        if cmd == "analog":
            with c.lock:
                name = r["name"]
                if name in c.adc:
                    return {"value": c.adc[name], "gain": c.gains[name]}
                if name in c.dac:
                    return {"value": c.dac[name]}
                raise ValueError("unknown analog channel %r" % name)
        if cmd == "set_analog_input":
            with c.lock:
                name = r["name"]
                if name not in c.adc:
                    raise ValueError("unknown analog input %r" % name)
                c.adc[name] = float(r["value"])
            return {}
        if cmd == "global":
            with c.lock:
                return {"text": c.texts[int(r["index"])], "double": c.doubles[int(r["index"])]}
        if cmd == "parameters":
            with c.lock:
                p = c.positioner_of(r["positioner"])
                return {"sgamma": p.sgamma, "limits": p.limits, "maxima": p.maxima,
                        "motion_done": p.motion_done}
        if cmd == "tasks":
            return {"tasks": sim.tasks.running()}
        if cmd == "read_file":
            with open(self._path(r["path"]), "rb") as fh:
                data = fh.read()
            return {"content": data.decode("latin-1"), "base64": base64.b64encode(data).decode("ascii")}
        if cmd == "write_file":
            path = self._path(r["path"])
            os.makedirs(os.path.dirname(path), exist_ok=True)
            data = base64.b64decode(r["base64"]) if "base64" in r else r.get("content", "").encode("latin-1")
            with open(path, "wb") as fh:
                fh.write(data)
            return {}
        if cmd == "exists":
            return {"exists": os.path.exists(self._path(r["path"]))}
        if cmd == "remove_file":
            os.remove(self._path(r["path"]))
            return {}
        if cmd == "list_dir":
            return {"names": sorted(os.listdir(self._path(r.get("path", ""))))}
        if cmd == "set_time_scale":
            value = float(r["value"])
            if value <= 0:
                raise ValueError("time scale must be above zero")
            with c.lock:
                for g in c.groups.values():
                    c._settle(g)
                    if g.motion is not None:
                        raise ValueError("a motion is running")
                c.time_scale = value
            return {}
        if cmd == "set_reboot_time":
            sim.reboot_time = float(r["seconds"])
            return {}
        if cmd == "reload":
            sim.tasks.kill_all()
            c.kill_all()
            c.reset_state()
            sim._apply_inputs()
            return {}
        if cmd == "reboot":
            sim.reboot()
            return {}
        if cmd == "connections":
            with sim.api.lock:
                return {"count": len(sim.api.connections)}
        raise ValueError("unknown command %r" % cmd)
