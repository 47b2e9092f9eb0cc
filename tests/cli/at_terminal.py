#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal of its own, waits until it prints
WAIT_FOR, then types INPUT ("^C" is Ctrl+C, which the terminal turns into
SIGINT for the command); prints what the command wrote and exits with its
exit status (128 + the signal when a signal ended it).

    at_terminal.py WAIT_FOR INPUT COMMAND [ARG...]
"""
import os
import pty
import select
import sys
import time

TIMEOUT_S = 60


def main() -> int:
    wait_for, typed, command = sys.argv[1].encode(), sys.argv[2], sys.argv[3:]
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    seen = b""
    sent = False
    deadline = time.monotonic() + TIMEOUT_S
    while time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.2)
        if ready:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        if not sent and wait_for in seen:
            time.sleep(0.2)
            os.write(fd, b"\x03" if typed == "^C" else typed.encode() + b"\r")
            sent = True
    else:
        os.kill(pid, 9)
    _, status = os.waitpid(pid, 0)
    sys.stdout.write(seen.decode(errors="replace"))
    if not sent:
        sys.stdout.write("\nat_terminal: never saw %r\n" % wait_for.decode())
    return os.waitstatus_to_exitcode(status) if os.WIFEXITED(status) else 128 + os.WTERMSIG(status)


if __name__ == "__main__":
    sys.exit(main())
