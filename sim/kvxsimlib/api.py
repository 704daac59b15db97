"""The API service on TCP 5001: request framing, the request log, injected faults, replies.

Framing: a request ends at the first LF or CR (LF CR, CR LF or either alone; the empty line left
by the second character is skipped). Without a line end, the bytes received so far count as one
request when they read as Name(...) with balanced parentheses ending on ")" and no further byte
arrives within 50 ms (the detection request is sent that way).

One thread serves every connection; calls that last (motions, scripts) are answered from a thread
of their own while that connection's next requests wait their turn."""

import select
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


# Calls that can take long (motions, scripts, file checks) run on a thread of their own, so
# the other connections are served meanwhile; every other call is answered by the loop thread.
SLOW_FUNCTIONS = frozenset([
    "GroupHomeSearch", "GroupHomeSearchAndRelativeMove", "GroupMoveAbsolute", "GroupMoveRelative",
    "MultipleAxesPVTExecution", "MultipleAxesPVTVerification", "GatheringStopAndSave",
    "TCLScriptExecute", "TCLScriptExecuteAndWait", "TCLScriptKill", "KillAll",
])


class _Connection:
    def __init__(self, sock, conn_id):
        self.sock = sock
        self.fd = sock.fileno()
        self.id = conn_id
        self.inbuf = b""
        self.outbuf = bytearray()
        self.writing = False       # waiting for room to send the rest of outbuf
        self.busy = False          # a slow request is being answered on its own thread
        self.quiet_until = None    # an unterminated request counts once this time has passed
        self.after_flush = None    # run once the output is on the wire (the answer to Reboot)
        self.closed = False


class ApiServer:
    """All connections are served by one thread that waits on every socket at once: a request
    wakes that thread, not one that slept on its own connection, so a call costs the same on a
    connection used long ago as on the last one."""

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
        self._epoll = None
        self._wake_r = self._wake_w = None
        self._posted = []      # callbacks for the loop thread, under self.lock
        self._stopping = False
        self._conns = {}       # fd -> _Connection, loop thread only
        self._quiet = set()    # connections holding an unterminated request, loop thread only

    # ----- start and stop -------------------------------------------------------------------

    def start(self):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((self.address, self.port))
        s.listen(128)
        s.setblocking(False)
        self.listener = s
        self._stopping = False
        self._conns = {}
        self._quiet = set()
        self._epoll = select.epoll()
        self._wake_r, self._wake_w = socket.socketpair()
        self._wake_r.setblocking(False)
        self._wake_w.setblocking(False)
        self._epoll.register(s.fileno(), select.EPOLLIN)
        self._epoll.register(self._wake_r.fileno(), select.EPOLLIN)
        self.thread = threading.Thread(target=self._loop, args=(s.fileno(), self._wake_r.fileno()), daemon=True,
                                       name="api-loop")
        self.thread.start()

    def stop(self):
        """Stops listening and drops every connection."""
        thread = self.thread
        if thread is None:
            return
        self._post(self._shutdown)
        if thread is not threading.current_thread():
            thread.join(5.0)
        self.thread = None

    def _shutdown(self):
        self._stopping = True
        for conn in list(self._conns.values()):
            self._close(conn)
        s, self.listener = self.listener, None
        if s is not None:
            self._epoll.unregister(s.fileno())
            s.close()

    # ----- the loop thread ------------------------------------------------------------------------

    def _post(self, fn):
        """Runs fn on the loop thread (from any thread)."""
        with self.lock:
            self._posted.append(fn)
        try:
            self._wake_w.send(b"x")
        except OSError:
            pass  # full: the loop is being woken anyway; closed: the loop has ended

    def _loop(self, listen_fd, wake_fd):
        conns = self._conns
        try:
            while not self._stopping:
                timeout = -1
                if self._quiet:
                    timeout = max(0.0, min(c.quiet_until for c in self._quiet) - time.monotonic())
                for fd, events in self._epoll.poll(timeout):
                    conn = conns.get(fd)
                    if conn is not None:
                        if events & select.EPOLLOUT:
                            self._flush(conn)
                        if events & (select.EPOLLIN | select.EPOLLHUP | select.EPOLLERR) and not conn.closed:
                            self._read(conn)
                    elif fd == wake_fd:
                        self._run_posted()
                    elif fd == listen_fd:
                        self._accept()
                if self._quiet:
                    now = time.monotonic()
                    for conn in [c for c in self._quiet if c.quiet_until <= now and not c.busy]:
                        self._quiet.discard(conn)
                        conn.quiet_until = None
                        raw, conn.inbuf = conn.inbuf, b""
                        self._request(conn, raw)
                        self._process(conn)
        finally:
            for conn in list(conns.values()):
                self._close(conn)
            self._epoll.close()
            self._wake_r.close()
            self._wake_w.close()

    def _run_posted(self):
        try:
            while self._wake_r.recv(4096):
                pass
        except OSError:
            pass
        with self.lock:
            posted, self._posted = self._posted, []
        for fn in posted:
            fn()

    def _accept(self):
        while self.listener is not None:
            try:
                sock, _ = self.listener.accept()
            except OSError:
                return
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            sock.setblocking(False)
            with self.lock:
                self.next_id += 1
                conn = _Connection(sock, self.next_id)
                self.connections[conn.id] = sock
            self._conns[conn.fd] = conn
            self._epoll.register(conn.fd, select.EPOLLIN)

    def _close(self, conn):
        if conn.closed:
            return
        conn.closed = True
        with self.lock:
            self.connections.pop(conn.id, None)
        self._conns.pop(conn.fd, None)
        self._quiet.discard(conn)
        try:
            self._epoll.unregister(conn.fd)
        except (OSError, ValueError):
            pass
        try:
            conn.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        conn.sock.close()

    def _read(self, conn):
        try:
            data = conn.sock.recv(65536)
        except BlockingIOError:
            return
        except OSError:
            data = b""
        if not data:
            self._close(conn)
            return
        conn.inbuf += data
        if len(conn.inbuf) > MAX_REQUEST:
            self._close(conn)
            return
        self._process(conn)

    def _process(self, conn):
        """Answers the complete requests of the connection, in order, one at a time."""
        while not conn.busy and not conn.closed:
            buf = conn.inbuf
            cut = min((i for i in (buf.find(b"\n"), buf.find(b"\r")) if i >= 0), default=-1)
            if cut < 0:
                # Without a line end: a whole Name(...) counts once no byte follows for a while.
                if buf and looks_complete(buf):
                    conn.quiet_until = time.monotonic() + QUIET_TIME
                    self._quiet.add(conn)
                elif conn.quiet_until is not None:
                    conn.quiet_until = None
                    self._quiet.discard(conn)
                return
            if conn.quiet_until is not None:
                conn.quiet_until = None
                self._quiet.discard(conn)
            raw, buf = buf[:cut + 1], buf[cut + 1:]
            if buf[:1] in (b"\n", b"\r") and buf[:1] != raw[-1:]:
                raw, buf = raw + buf[:1], buf[1:]
            conn.inbuf = buf
            if raw.strip():
                self._request(conn, raw)

    def _send(self, conn, data):
        if conn.closed:
            return
        conn.outbuf += data
        self._flush(conn)

    def _flush(self, conn):
        if conn.closed:
            return
        try:
            while conn.outbuf:
                n = conn.sock.send(conn.outbuf)
                del conn.outbuf[:n]
        except BlockingIOError:
            pass
        except OSError:
            self._close(conn)
            return
        writing = bool(conn.outbuf)
        if writing != conn.writing:
            conn.writing = writing
            self._epoll.modify(conn.fd, select.EPOLLIN | (select.EPOLLOUT if writing else 0))
        if not writing and conn.after_flush is not None:
            fn, conn.after_flush = conn.after_flush, None
            fn()

    # ----- one request ------------------------------------------------------------------------

    def _request(self, conn, raw):
        text = raw.decode("latin-1")
        self.requests.add(conn.id, text)
        parsed = parse_request(text)
        name = parsed[0] if parsed else text.strip()
        fault = self.faults.take(name)
        kind = fault["kind"] if fault else None
        if kind == "close":
            self._close(conn)
            return
        if kind == "noreply":
            return
        if kind in ("delay", "late", "split") or (parsed is not None and parsed[0] in SLOW_FUNCTIONS):
            conn.busy = True
            threading.Thread(target=self._answer_slowly, args=(conn, parsed, name, fault), daemon=True,
                             name="api-%d" % conn.id).start()
            return
        reply, rebooting = self._reply(conn.id, parsed, name, fault)
        self._send(conn, reply.encode("latin-1", "replace"))
        if rebooting:
            self._after_reboot_answer(conn)

    def _answer_slowly(self, conn, parsed, name, fault):
        kind = fault["kind"] if fault else None
        rebooting = False
        try:
            if kind == "delay":
                time.sleep(float(fault.get("delay", 0)))
            reply, rebooting = self._reply(conn.id, parsed, name, fault)
            data = reply.encode("latin-1", "replace")
            if kind == "late":
                time.sleep(float(fault.get("delay", 0)))
            if kind == "split":
                gap = float(fault.get("gap", 0.05))
                for i, piece in enumerate(self._pieces(data, fault)):
                    if i:
                        time.sleep(gap)
                    self._post(lambda piece=piece: self._send(conn, piece))
            else:
                self._post(lambda: self._send(conn, data))
        finally:
            self._post(lambda: self._slow_done(conn, rebooting))

    def _slow_done(self, conn, rebooting):
        conn.busy = False
        if rebooting:
            self._after_reboot_answer(conn)
        self._process(conn)

    def _after_reboot_answer(self, conn):
        def reboot():
            self._close(conn)
            if self.on_reboot is not None:
                self.on_reboot()
        if conn.outbuf:
            conn.after_flush = reboot
        else:
            reboot()

    def _reply(self, conn_id, parsed, name, fault):
        """The answer text of one request, and whether it was a Reboot that succeeded."""
        kind = fault["kind"] if fault else None
        if kind == "error":
            return build_reply(int(fault.get("code", E.INTERNAL)), []), False
        if kind == "reply":
            return fault.get("reply", ""), False
        if parsed is None:
            return build_reply(E.BAD_FORMAT, []), False
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
        return reply, parsed[0] == "Reboot" and code == E.OK

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
