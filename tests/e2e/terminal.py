"""Runs a program in a terminal of its own and answers its Java question.

usage: terminal.py CWD COLUMNS ANSWER ENTER TYPED_AHEAD OUT -- PROGRAM ARGS...

The terminal is COLUMNS wide (Wine makes it the launcher's console).
TYPED_AHEAD, unless empty, is typed before the program starts. ANSWER,
unless empty, is typed once the Java question shows, ended with ENTER (CR or
LF, as a Windows console and a Linux terminal each take Enter). What the
terminal showed goes to OUT; the program's exit status is printed."""
import fcntl
import os
import pty
import signal
import struct
import subprocess
import sys
import termios

cwd, columns, answer, enter, typed_ahead, out = sys.argv[1:7]
command = sys.argv[8:]
master, slave = pty.openpty()
mode = termios.tcgetattr(slave)
mode[0] &= ~termios.ICRNL
termios.tcsetattr(slave, termios.TCSANOW, mode)
fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 40, int(columns), 0, 0))
if typed_ahead:
    os.write(master, typed_ahead.encode())
signal.alarm(120)  # a program that never takes the answer fails the test instead of hanging it
child = subprocess.Popen(command, cwd=cwd, stdin=slave, stdout=slave, stderr=slave,
                         env=dict(os.environ, TEMP=os.environ["WORK"] + "/temp"), start_new_session=True)
os.close(slave)
seen = b""
answered = not answer
while True:
    try:
        chunk = os.read(master, 4096)
    except OSError:
        break
    if not chunk:
        break
    seen += chunk
    if not answered and b"Enter the location of a Java runtime" in seen:
        os.write(master, (answer + {"CR": "\r", "LF": "\n"}[enter]).encode())
        answered = True
print(child.wait())
with open(out, "wb") as f:
    f.write(seen)
