#!/usr/bin/python3
"""SSH and SFTP client steps for the simulator's tests (paramiko's client).

ssh_helper.py shell ADDRESS         prints what the shell answers to "ls -a -l Public"
ssh_helper.py sftp ADDRESS ROOT     mkdir, put, rename, list, get, remove, rmdir under ROOT
ssh_helper.py badlogin ADDRESS      prints "refused" when a wrong password is refused
"""
import io
import sys
import time

import paramiko


def client(address, password="Supervisorium"):
    c = paramiko.SSHClient()
    c.set_missing_host_key_policy(paramiko.AutoAddPolicy())
    c.connect(address, 22, "Supervisorium", password, look_for_keys=False, allow_agent=False, timeout=10)
    return c


def shell(address):
    c = client(address)
    channel = c.invoke_shell(term="dumb", width=120, height=40)
    channel.send("ls -a -l Public\r\n")
    channel.shutdown_write()
    text = b""
    deadline = time.time() + 5
    while time.time() < deadline:
        if channel.recv_ready():
            text += channel.recv(65536)
        elif channel.exit_status_ready() or channel.closed:
            break
        else:
            time.sleep(0.02)
    print(text.decode("utf-8", "replace"))
    c.close()


def sftp(address, root):
    c = client(address)
    s = c.open_sftp()
    s.mkdir(root + "/NewDir")
    s.putfo(io.BytesIO(b"line 1\nline 2\n"), root + "/NewDir/a.txt")
    s.rename(root + "/NewDir/a.txt", root + "/NewDir/b.txt")
    print("list", sorted(s.listdir(root + "/NewDir")))
    data = io.BytesIO()
    s.getfo(root + "/NewDir/b.txt", data)
    print("get", repr(data.getvalue()))
    print("size", s.stat(root + "/NewDir/b.txt").st_size)
    s.remove(root + "/NewDir/b.txt")
    s.rmdir(root + "/NewDir")
    print("after", "NewDir" in s.listdir(root))
    c.close()


def badlogin(address):
    try:
        client(address, "wrong").close()
        print("accepted")
    except paramiko.AuthenticationException:
        print("refused")


if __name__ == "__main__":
    command, address = sys.argv[1], sys.argv[2]
    if command == "shell":
        shell(address)
    elif command == "sftp":
        sftp(address, sys.argv[3])
    elif command == "badlogin":
        badlogin(address)
