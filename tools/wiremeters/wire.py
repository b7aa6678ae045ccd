"""The wire that every meter here shares, written apart from the project.

A pseudo-terminal with a stable name (a symbolic link), the rate that the
program has set on it, and bytes handed over as a USB serial adapter does:
in packets, when its latency timer (16 ms) runs out. Standard library only.

A pseudo-terminal carries the rate but not the character format (its driver
forces 8N1), so the meters send 7E1 characters as a receiving UART set to
7E1 hands them over: the 7 data bits, without the parity bit.
"""
import os
import pty
import select
import signal
import sys
import termios
import time

RATES = {termios.B300: 300, termios.B600: 600, termios.B1200: 1200, termios.B2400: 2400,
         termios.B4800: 4800, termios.B9600: 9600, termios.B19200: 19200}
LATENCY = 0.016  # an FTDI adapter's default latency timer


class Line:
    def __init__(self, link):
        # The slave stays open here too, so the pty lives while the program
        # opens and closes it.
        self.master, self.slave = pty.openpty()
        attrs = termios.tcgetattr(self.slave)
        attrs[0] = 0                                   # no input processing
        attrs[1] = 0                                   # no output processing
        attrs[2] = (attrs[2] & ~(termios.CSIZE | termios.PARENB)) | termios.CS8 | termios.CREAD
        attrs[3] = 0                                   # no echo, not canonical
        termios.tcsetattr(self.slave, termios.TCSANOW, attrs)
        self.link = link
        self.t0 = time.monotonic()
        if os.path.islink(link):
            os.unlink(link)
        os.symlink(os.ttyname(self.slave), link)
        print(os.ttyname(self.slave), "->", link, flush=True)
        # Ended by kill as well as Ctrl+C, the link goes with the meter.
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    def serve(self, heard):
        """Give heard() what the program writes, until the meter is ended."""
        try:
            while True:
                chunk = self.read(1.0)
                if chunk:
                    heard(chunk)
        except KeyboardInterrupt:
            pass
        finally:
            if os.path.islink(self.link):
                os.unlink(self.link)

    def program_rate(self):
        """The rate the program's port is set to now."""
        return RATES.get(termios.tcgetattr(self.master)[5], 0)

    def read(self, timeout):
        """What the program wrote within timeout seconds (b"" if nothing)."""
        ready, _, _ = select.select([self.master], [], [], timeout)
        return os.read(self.master, 4096) if ready else b""

    def send(self, data, rate, bits=10):
        """Put data on the wire at rate. The adapter's latency timer runs on
        its own: at each tick it hands over the characters that have arrived
        since the last one (at 300 Bd, 33 ms a character, one at a time; at
        9600 Bd a short answer often comes in two packets). A character sent
        while the program listens at another rate is garbage with a framing
        error, which the program's port drops."""
        char_time = bits / rate
        start = time.monotonic()
        done = 0
        while done < len(data):
            now = time.monotonic()
            time.sleep(LATENCY - (now - self.t0) % LATENCY)
            arrived = min(len(data), int((time.monotonic() - start) / char_time))
            packet = data[done:arrived] if self.program_rate() == rate else b""
            if packet:
                os.write(self.master, packet)
            done = arrived

    def wire_time(self, data, bits=10):
        """How long the program's data took on the wire at its rate: the
        meter hears the end of a request that much after the pty has it."""
        return len(data) * bits / max(1, self.program_rate())
