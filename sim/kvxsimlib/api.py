"""The API service on TCP 5001: request framing, the request log, injected faults, replies.

Framing: a request ends at the first LF or CR (LF CR, CR LF or either alone; the empty line left
by the second character is skipped). Without a line end, the bytes received so far count as one
request when they read as Name(...) with balanced parentheses ending on ")" and no further byte
arrives within 50 ms (the detection request is sent that way)."""

import socket
import threading
import time

from . import errors as E

QUIET_TIME = 0.05
MAX_REQUEST = 1 << 20


def looks_complete(data):
    text = data.strip()
    if not text.endswith(b")") or b"(" not in text:
        return False
    depth = 0
    for ch in text:
        if ch == 0x28:
            depth += 1
        elif ch == 0x29:
            depth -= 1
            if depth < 0:
                return False
    return depth == 0


def parse_request(text):
    """(name, [fields]) or None when the text is not Name(...)."""
    text = text.strip()
    open_at = text.find("(")
    close_at = text.rfind(")")
    if open_at <= 0 or close_at < open_at:
        return None
    name = text[:open_at].strip()
    inner = text[open_at + 1:close_at].strip()
    fields = [] if inner == "" else [f.strip() for f in inner.split(",")]
    return name, fields


def build_reply(code, fields):
    return ",".join([str(code)] + [f.replace(",", ";") for f in fields] + ["EndOfAPI"])


class FaultBook:
    """Faults by function name ("*" for every function); each may apply a limited number of times."""

    KINDS = ("delay", "noreply", "late", "split", "error", "close", "reply")

    def __init__(self):
        self.lock = threading.Lock()
        self.faults = {}

    def set(self, fault):
        with self.lock:
            self.faults[fault["function"]] = dict(fault)

    def clear(self, function=None):
        with self.lock:
            if function is None:
                self.faults.clear()
            else:
                self.faults.pop(function, None)

    def take(self, name):
        with self.lock:
            for key in (name, "*"):
                fault = self.faults.get(key)
                if fault is None:
                    continue
                count = fault.get("count", -1)
                if count == 0:
                    continue
                if count > 0:
                    fault["count"] = count - 1
                return dict(fault)
        return None

    def listing(self):
        with self.lock:
            return list(self.faults.values())


class RequestLog:
    LIMIT = 200000

    def __init__(self, origin):
        self.lock = threading.Lock()
        self.origin = origin
        self.entries = []

    def add(self, conn_id, raw):
        with self.lock:
            if len(self.entries) < self.LIMIT:
                self.entries.append({"conn": conn_id, "time": round(time.monotonic() - self.origin, 6),
                                     "request": raw})

    def read(self, since=0):
        with self.lock:
            return self.entries[since:]

    def clear(self):
        with self.lock:
            self.entries.clear()


class ApiServer:
    def __init__(self, address, port, controller, log):
        self.address = address
        self.port = port
        self.controller = controller
        self.log = log
        self.faults = FaultBook()
        self.requests = RequestLog(controller.started)
        self.lock = threading.Lock()
        self.connections = {}
        self.next_id = 0
        self.listener = None
        self.thread = None
        self.on_reboot = None  # run once the answer to Reboot is on the wire

    def start(self):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((self.address, self.port))
        s.listen(128)
        self.listener = s
        self.thread = threading.Thread(target=self._accept, args=(s,), daemon=True, name="api-accept")
        self.thread.start()

    def stop(self):
        """Stops listening and drops every connection."""
        s, self.listener = self.listener, None
        if s is not None:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()
        with self.lock:
            conns = list(self.connections.values())
            self.connections.clear()
        for c in conns:
            try:
                c.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            c.close()

    def _accept(self, listener):
        while True:
            try:
                conn, _ = listener.accept()
            except OSError:
                return
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            with self.lock:
                self.next_id += 1
                conn_id = self.next_id
                self.connections[conn_id] = conn
            threading.Thread(target=self._serve, args=(conn, conn_id), daemon=True,
                             name="api-%d" % conn_id).start()

    def _serve(self, conn, conn_id):
        buf = b""
        try:
            while True:
                cut = min((i for i in (buf.find(b"\n"), buf.find(b"\r")) if i >= 0), default=-1)
                if cut >= 0:
                    raw, buf = buf[:cut + 1], buf[cut + 1:]
                    if buf[:1] in (b"\n", b"\r") and buf[:1] != raw[-1:]:
                        raw, buf = raw + buf[:1], buf[1:]
                    if raw.strip():
                        if not self._handle(conn, conn_id, raw):
                            return
                    continue
                if buf and looks_complete(buf):
                    conn.settimeout(QUIET_TIME)
                    try:
                        more = conn.recv(65536)
                    except socket.timeout:
                        raw, buf = buf, b""
                        conn.settimeout(None)
                        if not self._handle(conn, conn_id, raw):
                            return
                        continue
                    conn.settimeout(None)
                else:
                    more = conn.recv(65536)
                if not more:
                    return
                buf += more
                if len(buf) > MAX_REQUEST:
                    return
        except OSError:
            return
        finally:
            with self.lock:
                self.connections.pop(conn_id, None)
            try:
                conn.close()
            except OSError:
                pass

    def _handle(self, conn, conn_id, raw):
        """Answers one request; False when the connection is to be closed."""
        text = raw.decode("latin-1")
        self.requests.add(conn_id, text)
        parsed = parse_request(text)
        name = parsed[0] if parsed else text.strip()
        fault = self.faults.take(name)
        rebooting = False
        kind = fault["kind"] if fault else None
        if kind == "close":
            return False
        if kind == "noreply":
            return True
        if kind == "delay":
            time.sleep(float(fault.get("delay", 0)))
        if kind == "error":
            reply = build_reply(int(fault.get("code", E.INTERNAL)), [])
        elif kind == "reply":
            reply = fault.get("reply", "")
        elif parsed is None:
            reply = build_reply(E.BAD_FORMAT, [])
        else:
            try:
                code, fields = self.controller.call(parsed[0], parsed[1], conn_id)
            except Exception as exc:  # a handler bug must not take the connection down silently
                self.log("internal error in %s: %r" % (name, exc))
                code, fields = E.INTERNAL, []
            if parsed[0] == "TCLScriptExecuteAndWait" and fields:
                # The script's answer may hold commas: the caller reads up to the closing field.
                reply = ",".join([str(code), fields[0], "EndOfAPI"])
            else:
                reply = build_reply(code, [f.replace("API", "Api") for f in fields])
            if parsed[0] == "Reboot" and code == E.OK:
                rebooting = True
        data = reply.encode("latin-1", "replace")
        if kind == "late":
            time.sleep(float(fault.get("delay", 0)))
        if kind == "split":
            pieces = self._pieces(data, fault)
            gap = float(fault.get("gap", 0.05))
            for i, piece in enumerate(pieces):
                if i:
                    time.sleep(gap)
                conn.sendall(piece)
        else:
            conn.sendall(data)
        if rebooting and self.on_reboot is not None:
            self.on_reboot()
            return False
        return True

    @staticmethod
    def _pieces(data, fault):
        at = fault.get("at")
        if at:
            cuts = sorted(set(int(a) for a in at if 0 < int(a) < len(data)))
        else:
            n = max(2, int(fault.get("pieces", 2)))
            cuts = [len(data) * i // n for i in range(1, n)]
        bounds = [0] + cuts + [len(data)]
        return [data[a:b] for a, b in zip(bounds, bounds[1:]) if b > a]
