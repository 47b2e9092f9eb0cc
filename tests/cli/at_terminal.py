#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal of its own, waits until it prints
WAIT_FOR, then types INPUT ("^C" is Ctrl+C, which the terminal turns into
SIGINT for the command) after a short pause, or at once when INPUT ends in
"!"; with several pairs before "--", answers each question in turn. Prints
what the command wrote and exits with its exit status (128 + the signal
when a signal ended it).

    at_terminal.py WAIT_FOR INPUT COMMAND [ARG...]
    at_terminal.py WAIT_FOR INPUT [WAIT_FOR INPUT ...] -- COMMAND [ARG...]
"""
import os
import pty
import select
import sys
import time

TIMEOUT_S = 60


def keys(typed: str) -> bytes:
    return b"\x03" if typed == "^C" else typed.encode() + b"\r"


def main() -> int:
    args = sys.argv[1:]
    if "--" in args:
        cut = args.index("--")
        pairs, command = args[:cut], args[cut + 1:]
    else:
        pairs, command = args[:2], args[2:]
    answers = [(pairs[i].encode(), pairs[i + 1]) for i in range(0, len(pairs) - 1, 2)]
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    seen = b""
    looked = 0  # what was seen before the last answer is not looked at again
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
        if answers and answers[0][0] in seen[looked:]:
            wait_for, typed = answers.pop(0)
            looked = seen.index(wait_for, looked) + len(wait_for)
            at_once = typed.endswith("!")
            if not at_once:
                time.sleep(0.2)
            os.write(fd, keys(typed[:-1] if at_once else typed))
    else:
        os.kill(pid, 9)
    _, status = os.waitpid(pid, 0)
    sys.stdout.write(seen.decode(errors="replace"))
    for wait_for, _ in answers:
        sys.stdout.write("\nat_terminal: never saw %r\n" % wait_for.decode())
    return os.waitstatus_to_exitcode(status) if os.WIFEXITED(status) else 128 + os.WTERMSIG(status)


if __name__ == "__main__":
    sys.exit(main())
