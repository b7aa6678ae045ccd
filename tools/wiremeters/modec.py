#!/usr/bin/env python3
"""A mode C meter (IEC 62056-21) behind a USB adapter.

It offers the rate of its baud-rate character and reacts after the same time
to the sign-on and to the acknowledgement (200 ms, the shortest that the
standard allows, by default); after the acknowledgement it switches to the
agreed rate whatever the program's port shows.

    python3 modec.py /tmp/zaehler 5        # 9600 Bd after 200 ms
    python3 modec.py /tmp/zaehler 0 500    # stays at 300 Bd: every character
                                           # comes in a USB packet of its own,
                                           # the block check after the ETX
    viviv-cli --port /tmp/zaehler --test 4
"""
import sys
import time

from wire import Line

RATES = {"0": 300, "1": 600, "2": 1200, "3": 2400, "4": 4800, "5": 9600}
LINES = [b"0.0.0(87654321)", b"1.8.0(004711.250*kWh)", b"1.8.1(003000.000*kWh)",
         b"1.8.2(001711.250*kWh)", b"2.8.0(000123.456*kWh)", b"16.7.0(1234.5*W)",
         b"32.7.0(231.4*V)", b"52.7.0(229.8*V)", b"72.7.0(230.6*V)",
         b"31.7.0(2.31*A)", b"51.7.0(1.72*A)", b"71.7.0(0.94*A)"]


def data_message():
    body = b"".join(l + b"\r\n" for l in LINES) + b"!\r\n\x03"
    bcc = 0
    for b in body:          # XOR of everything after STX through ETX
        bcc ^= b
    return b"\x02" + body + bytes([bcc])


def main():
    line = Line(sys.argv[1])
    z = sys.argv[2] if len(sys.argv) > 2 else "5"
    reaction = (int(sys.argv[3]) if len(sys.argv) > 3 else 200) / 1000
    ack = b"\x060" + z.encode() + b"0\r\n"
    heard = bytearray()

    def on_bytes(chunk):
        # In sign-on only what arrives at 300 Bd makes sense to the meter;
        # the 7E1 characters carry 7 bits.
        if line.program_rate() != 300:
            heard.clear()
            return
        heard.extend(b & 0x7F for b in chunk)
        del heard[:-256]
        if b"/?" in heard and heard.endswith(b"!\r\n"):
            time.sleep(line.wire_time(heard[heard.rfind(b"/?"):]) + reaction)
            line.send(b"/WIR" + z.encode() + b"MODEC1\r\n", 300)
            heard.clear()
        elif heard.endswith(ack):
            time.sleep(line.wire_time(ack) + reaction)
            line.send(data_message(), RATES[z])
            heard.clear()

    line.serve(on_bytes)


if __name__ == "__main__":
    main()
