"""The controller's file services over one folder tree: FTP (21), SSH with SFTP (22),
telnet (23) and the web page (80)."""

import http.server
import logging
import os
import socket
import stat
import threading
import time

USER = "Supervisorium"
PASSWORD = "Supervisorium"


def unix_listing(folder):
    """Lines of "ls -a -l" for a real folder."""
    lines = []
    try:
        names = sorted(os.listdir(folder))
    except OSError:
        return ["ls: cannot access: No such file or directory"]
    lines.append("total %d" % len(names))
    for name in [".", ".."] + names:
        try:
            st = os.lstat(os.path.join(folder, name))
        except OSError:
            continue
        mode = stat.filemode(st.st_mode)
        when = time.strftime("%b %d %H:%M", time.localtime(st.st_mtime))
        lines.append("%s %3d %-8s %-8s %8d %s %s" % (mode, st.st_nlink, "admin", "admin", st.st_size, when, name))
    return lines


class Service:
    """A listener that can be stopped (reboot) and started again."""

    def start(self):
        raise NotImplementedError

    def stop(self):
        raise NotImplementedError

    def close(self):
        """Final clean-up after the last stop."""

    def _listen(self, backlog, name):
        """Listen on the service's address and accept connections on a thread of their own."""
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((self.address, self.port))
        s.listen(backlog)
        self.listener = s
        threading.Thread(target=self._accept, args=(s,), daemon=True, name=name).start()

    def _close_listener(self):
        s, self.listener = self.listener, None
        if s is not None:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()


# ----- FTP ------------------------------------------------------------------------------------------

class FtpService(Service):
    def __init__(self, address, port, root, login_folder, origin=None):
        self.address = address
        # Times in the log count from the API request log's origin: one clock for both.
        self.origin = time.monotonic() if origin is None else origin
        self.port = port
        self.root = root
        self.login_folder = login_folder.rstrip("/")
        self.top = ""
        if self.login_folder:
            import tempfile
            self.top = os.path.realpath(tempfile.mkdtemp(prefix="kvxsim-ftp-"))
            os.mkdir(os.path.join(self.top, self.login_folder.strip("/")))
        self.server = None
        self.thread = None
        self.stopping = threading.Event()
        # Commands as the FTP port received them, and a wait before every upload (tests).
        self.lock = threading.Lock()
        self.commands = []
        self.sessions = 0
        self.store_delay = 0.0
        ftp_logger = logging.getLogger("pyftpdlib")
        ftp_logger.addHandler(logging.NullHandler())
        ftp_logger.setLevel(logging.WARNING)
        ftp_logger.propagate = False

    def _handler(self):
        from pyftpdlib.authorizers import DummyAuthorizer
        from pyftpdlib.filesystems import AbstractedFS
        from pyftpdlib.handlers import FTPHandler

        prefix = self.login_folder
        tree = os.path.realpath(self.root)
        top = self.top

        class ControllerFS(AbstractedFS):
            # With the login folder "/Admin" the virtual "/" holds only "Admin", which is the
            # controller's tree, and the session starts in it.
            def __init__(self, root, cmd_channel):
                super().__init__(root, cmd_channel)
                if prefix:
                    self._cwd = prefix

            def ftp2fs(self, ftppath):
                p = self.ftpnorm(ftppath)
                if not prefix:
                    return super().ftp2fs(p)
                if p == prefix or p.startswith(prefix + "/"):
                    return os.path.normpath(os.path.join(tree, p[len(prefix):].lstrip("/")))
                return os.path.normpath(os.path.join(top, p.lstrip("/")))

            def fs2ftp(self, fspath):
                if not prefix:
                    return super().fs2ftp(fspath)
                real = os.path.normpath(fspath)
                if real == tree or real.startswith(tree + os.sep):
                    rel = real[len(tree):].replace(os.sep, "/")
                    return prefix + rel
                rel = real[len(top):].replace(os.sep, "/") if real.startswith(top) else ""
                return rel or "/"

            def validpath(self, path):
                # Neither FTP nor the SFTP service can make a link, so the tree holds none: the
                # normalised path says where a name leads (no look-up of every component).
                real = os.path.normpath(path)
                for base in (tree, top) if prefix else (tree,):
                    if real == base or real.startswith(base + os.sep):
                        return True
                return False

        authorizer = DummyAuthorizer()
        authorizer.add_user(USER, PASSWORD, top if prefix else tree, perm="elradfmwMT")

        service = self

        class Handler(FTPHandler):
            def on_connect(self):
                with service.lock:
                    service.sessions += 1
                    self.kvx_session = service.sessions

            def pre_process_command(self, line, cmd, arg):
                service.log_command(getattr(self, "kvx_session", 0), cmd, arg if cmd not in ("PASS",) else "")
                return FTPHandler.pre_process_command(self, line, cmd, arg)

            def ftp_STOR(self, file, mode="w"):
                delay = service.store_delay
                if delay <= 0:
                    return FTPHandler.ftp_STOR(self, file, mode)
                # The server stays live for the other sessions meanwhile.
                def later():
                    if not self._closed:
                        FTPHandler.ftp_STOR(self, file, mode)
                self.ioloop.call_later(delay, later)
                return None

        Handler.authorizer = authorizer
        Handler.abstracted_fs = ControllerFS
        Handler.banner = "KVX controller FTP service ready."
        Handler.permit_foreign_addresses = False
        Handler.auth_failed_timeout = 0.3
        return Handler

    def log_command(self, session, cmd, arg):
        with self.lock:
            if len(self.commands) < 200000:
                self.commands.append({"session": session, "command": cmd, "argument": arg,
                                      "time": round(time.monotonic() - self.origin, 6)})

    def read_commands(self, since=0):
        with self.lock:
            return self.commands[since:]

    def take_commands(self):
        """The commands logged so far, removed from the log."""
        with self.lock:
            taken, self.commands = self.commands, []
            return taken

    def clear_commands(self):
        with self.lock:
            self.commands.clear()

    def start(self):
        from pyftpdlib.servers import FTPServer
        self.stopping.clear()
        self.server = FTPServer((self.address, self.port), self._handler())
        self.server.max_cons = 64
        self.thread = threading.Thread(target=self._run, args=(self.server,), daemon=True, name="ftp")
        self.thread.start()

    def _run(self, server):
        try:
            while not self.stopping.is_set():
                server.serve_forever(timeout=0.05, blocking=False, handle_exit=False)
        except Exception:
            pass
        finally:
            try:
                server.close_all()
            except Exception:
                pass

    def stop(self):
        self.stopping.set()
        if self.thread is not None:
            self.thread.join(3.0)
        self.thread = None
        self.server = None

    def close(self):
        if self.top:
            import shutil
            shutil.rmtree(self.top, ignore_errors=True)


# ----- SSH and SFTP -------------------------------------------------------------------------------------

def map_remote(root, path):
    """Remote path -> real path. "/Admin/..." and "/mnt/user/Public/..." are views of the same tree."""
    p = os.path.normpath("/" + (path or "/").replace("\\", "/"))
    while p.startswith("//"):
        p = p[1:]
    if p == "/Admin" or p.startswith("/Admin/"):
        p = p[len("/Admin"):] or "/"
    elif p == "/mnt/user/Public" or p.startswith("/mnt/user/Public/"):
        p = "/Public" + p[len("/mnt/user/Public"):]
    real = os.path.normpath(os.path.join(root, p.lstrip("/")))
    if real != root and not real.startswith(root + os.sep):
        real = root
    return real


class SshService(Service):
    def __init__(self, address, port, root, log, host_key_file=None):
        self.address = address
        self.port = port
        self.root = root
        self.log = log
        self.listener = None
        self.transports = []
        self.lock = threading.Lock()
        import paramiko
        self.paramiko = paramiko
        ssh_logger = logging.getLogger("paramiko")
        ssh_logger.addHandler(logging.NullHandler())
        ssh_logger.propagate = False
        self.host_key_file = host_key_file
        self.host_key = None if host_key_file else paramiko.ECDSAKey.generate()

    def _load_host_key(self):
        """The key of --host-key, made there when missing (atomically, so simulators that share
        one file all end up with the same key). Read at every start: a reboot picks up a new one."""
        paramiko = self.paramiko
        path = self.host_key_file
        if not os.path.exists(path):
            key = paramiko.ECDSAKey.generate()
            temp = "%s.%d.tmp" % (path, os.getpid())
            key.write_private_key_file(temp)
            try:
                os.link(temp, path)
            except FileExistsError:
                pass
            finally:
                os.remove(temp)
        for kind in (paramiko.ECDSAKey, paramiko.Ed25519Key, paramiko.RSAKey):
            try:
                return kind.from_private_key_file(path)
            except (paramiko.SSHException, ValueError):
                continue
        raise SystemExit("kvxsim: %s holds no usable SSH host key" % path)

    def start(self):
        if self.host_key_file:
            self.host_key = self._load_host_key()
        self._listen(32, "ssh-accept")

    def stop(self):
        self._close_listener()
        with self.lock:
            transports, self.transports = self.transports, []
        for t in transports:
            try:
                t.close()
            except Exception:
                pass

    def _accept(self, listener):
        while True:
            try:
                conn, _ = listener.accept()
            except OSError:
                return
            threading.Thread(target=self._session, args=(conn,), daemon=True, name="ssh").start()

    def _session(self, conn):
        paramiko = self.paramiko
        service = self
        root = self.root

        class Server(paramiko.ServerInterface):
            def check_auth_password(self, username, password):
                if username == USER and password == PASSWORD:
                    return paramiko.AUTH_SUCCESSFUL
                return paramiko.AUTH_FAILED

            def get_allowed_auths(self, username):
                return "password"

            def check_channel_request(self, kind, chanid):
                if kind == "session":
                    return paramiko.OPEN_SUCCEEDED
                return paramiko.OPEN_FAILED_ADMINISTRATIVELY_PROHIBITED

            def check_channel_pty_request(self, *args):
                return True

            def check_channel_shell_request(self, channel):
                threading.Thread(target=service._shell, args=(channel,), daemon=True, name="ssh-shell").start()
                return True

            def check_channel_exec_request(self, channel, command):
                threading.Thread(target=service._exec, args=(channel, command.decode("utf-8", "replace")),
                                 daemon=True, name="ssh-exec").start()
                return True

        class Handle(paramiko.SFTPHandle):
            def stat(self):
                try:
                    return paramiko.SFTPAttributes.from_stat(os.fstat(self.readfile.fileno()))
                except OSError as e:
                    return paramiko.SFTPServer.convert_errno(e.errno)

            def chattr(self, attr):
                return paramiko.SFTP_OK

        class Sftp(paramiko.SFTPServerInterface):
            def _real(self, path):
                return map_remote(root, path)

            def canonicalize(self, path):
                p = os.path.normpath("/" + (path or "/"))
                return "/" if p in (".", "") else p.replace("//", "/")

            def list_folder(self, path):
                real = self._real(path)
                try:
                    out = []
                    for name in os.listdir(real):
                        attr = paramiko.SFTPAttributes.from_stat(os.lstat(os.path.join(real, name)))
                        attr.filename = name
                        out.append(attr)
                    return out
                except OSError as e:
                    return paramiko.SFTPServer.convert_errno(e.errno)

            def stat(self, path):
                try:
                    return paramiko.SFTPAttributes.from_stat(os.stat(self._real(path)))
                except OSError as e:
                    return paramiko.SFTPServer.convert_errno(e.errno)

            lstat = stat

            def open(self, path, flags, attr):
                real = self._real(path)
                try:
                    fd = os.open(real, flags | getattr(os, "O_BINARY", 0), 0o644)
                except OSError as e:
                    return paramiko.SFTPServer.convert_errno(e.errno)
                if flags & os.O_WRONLY:
                    mode = "ab" if flags & os.O_APPEND else "wb"
                elif flags & os.O_RDWR:
                    mode = "a+b" if flags & os.O_APPEND else "r+b"
                else:
                    mode = "rb"
                try:
                    f = os.fdopen(fd, mode)
                except OSError as e:
                    return paramiko.SFTPServer.convert_errno(e.errno)
                h = Handle(flags)
                h.filename = real
                h.readfile = f
                h.writefile = f
                return h

            def remove(self, path):
                try:
                    os.remove(self._real(path))
                except OSError as e:
                    return paramiko.SFTPServer.convert_errno(e.errno)
                return paramiko.SFTP_OK

            def rename(self, oldpath, newpath):
                try:
                    os.rename(self._real(oldpath), self._real(newpath))
                except OSError as e:
                    return paramiko.SFTPServer.convert_errno(e.errno)
                return paramiko.SFTP_OK

            posix_rename = rename

            def mkdir(self, path, attr):
                try:
                    os.mkdir(self._real(path))
                except OSError as e:
                    return paramiko.SFTPServer.convert_errno(e.errno)
                return paramiko.SFTP_OK

            def rmdir(self, path):
                try:
                    os.rmdir(self._real(path))
                except OSError as e:
                    return paramiko.SFTPServer.convert_errno(e.errno)
                return paramiko.SFTP_OK

            def chattr(self, path, attr):
                return paramiko.SFTP_OK

        try:
            transport = paramiko.Transport(conn)
            transport.add_server_key(self.host_key)
            transport.set_subsystem_handler("sftp", paramiko.SFTPServer, Sftp)
            with self.lock:
                self.transports.append(transport)
            transport.start_server(server=Server())
        except Exception:
            try:
                conn.close()
            except OSError:
                pass

    def _answer(self, command):
        words = command.split()
        if not words:
            return ""
        if words[0] == "ls":
            target = [w for w in words[1:] if not w.startswith("-")]
            folder = map_remote(self.root, "/" + (target[0] if target else ""))
            return "\r\n".join(unix_listing(folder)) + "\r\n"
        if words[0] == "pwd":
            return "/\r\n"
        if words[0] == "echo":
            return " ".join(words[1:]) + "\r\n"
        return "sh: %s: not found\r\n" % words[0]

    def _exec(self, channel, command):
        try:
            channel.sendall(self._answer(command).encode("utf-8"))
            channel.send_exit_status(0)
        except Exception:
            pass
        finally:
            channel.close()

    def _shell(self, channel):
        prompt = b"$ "
        try:
            channel.sendall(b"KVX controller shell\r\n" + prompt)
            buf = b""
            while True:
                data = channel.recv(4096)
                if not data:
                    break
                buf += data
                while True:
                    cut = min((i for i in (buf.find(b"\n"), buf.find(b"\r")) if i >= 0), default=-1)
                    if cut < 0:
                        break
                    line, buf = buf[:cut], buf[cut + 1:]
                    command = line.decode("utf-8", "replace").strip()
                    if not command:
                        continue
                    if command == "exit":
                        channel.send_exit_status(0)
                        return
                    channel.sendall(self._answer(command).encode("utf-8") + prompt)
            if buf.strip():
                channel.sendall(self._answer(buf.decode("utf-8", "replace").strip()).encode("utf-8"))
            channel.send_exit_status(0)
        except Exception:
            pass
        finally:
            try:
                channel.close()
            except Exception:
                pass


# ----- telnet ---------------------------------------------------------------------------------------------

class TelnetService(Service):
    IAC = 255

    def __init__(self, address, port, root):
        self.address = address
        self.port = port
        self.root = root
        self.listener = None
        self.conns = []
        self.lock = threading.Lock()

    def start(self):
        self._listen(16, "telnet-accept")

    def stop(self):
        self._close_listener()
        with self.lock:
            conns, self.conns = self.conns, []
        for c in conns:
            try:
                c.shutdown(socket.SHUT_RDWR)
                c.close()
            except OSError:
                pass

    def _accept(self, listener):
        while True:
            try:
                conn, _ = listener.accept()
            except OSError:
                return
            with self.lock:
                self.conns.append(conn)
            threading.Thread(target=self._session, args=(conn,), daemon=True, name="telnet").start()

    def _lines(self, conn):
        """Yields typed lines, telnet negotiation removed; lines typed ahead are kept."""
        buf = b""
        skip = 0
        while True:
            data = conn.recv(4096)
            if not data:
                return
            for b in data:
                if skip:
                    skip -= 1
                    continue
                if b == self.IAC:
                    skip = 2
                    continue
                if b in (10, 13, 0):
                    if buf:
                        yield buf.decode("latin-1")
                    buf = b""
                    continue
                buf += bytes([b])

    def _session(self, conn):
        try:
            conn.sendall(b"\r\nKVX controller\r\nlogin: ")
            lines = self._lines(conn)
            while True:
                user = next(lines).strip()
                conn.sendall(b"Password: ")
                password = next(lines).strip()
                if user == USER and password == PASSWORD:
                    break
                conn.sendall(b"\r\nLogin incorrect\r\nlogin: ")
            conn.sendall(b"\r\nWelcome to the KVX controller\r\n$ ")
            for line in lines:
                command = line.strip()
                if command in ("exit", "logout"):
                    break
                if command.startswith("ls"):
                    words = [w for w in command.split()[1:] if not w.startswith("-")]
                    folder = map_remote(self.root, "/" + (words[0] if words else ""))
                    conn.sendall(("\r\n".join(unix_listing(folder)) + "\r\n$ ").encode("latin-1", "replace"))
                elif command:
                    conn.sendall(("sh: %s: not found\r\n$ " % command.split()[0]).encode("latin-1", "replace"))
                else:
                    conn.sendall(b"$ ")
        except (OSError, StopIteration):
            pass
        finally:
            try:
                conn.close()
            except OSError:
                pass


# ----- web page ----------------------------------------------------------------------------------------------

class HttpService(Service):
    def __init__(self, address, port, firmware):
        self.address = address
        self.port = port
        self.firmware = firmware
        self.server = None

    def start(self):
        firmware = self.firmware

        class Page(http.server.BaseHTTPRequestHandler):
            # A home page and a status page it links to, enough to browse back and forth.
            def do_GET(self):
                path = self.path.split("?", 1)[0]
                if path in ("/", "/index.html"):
                    body = ("<html><head><title>KVX controller</title></head><body><h1>KVX controller</h1>"
                            "<p>%s</p><p><a href=\"/status.html\">Status</a></p></body></html>" % firmware)
                elif path == "/status.html":
                    body = ("<html><head><title>KVX status</title></head><body><h1>Status</h1>"
                            "<p>Ready</p><p><a href=\"/\">Home</a></p></body></html>")
                else:
                    self.send_error(404)
                    return
                data = body.encode("utf-8")
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def log_message(self, *args):
                pass

        class Server(http.server.ThreadingHTTPServer):
            daemon_threads = True
            allow_reuse_address = True

            def server_bind(self):
                # The standard bind looks the address up in DNS: nothing may leave loopback.
                import socketserver
                socketserver.TCPServer.server_bind(self)
                self.server_name, self.server_port = self.server_address[:2]

        self.server = Server((self.address, self.port), Page)
        threading.Thread(target=self.server.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True,
                         name="http").start()

    def stop(self):
        server, self.server = self.server, None
        if server is not None:
            server.shutdown()
            server.server_close()
