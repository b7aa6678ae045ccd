#!/usr/bin/env python3
"""A two-wire RS485 converter whose receiver hears what it sends: every byte
of the program comes back as it leaves the wire. Behind it a Modbus RTU
meter (slave 0x79, meter number 12345678), or none with --no-meter;
--no-echo gives a converter that does not hear itself.

    python3 rs485_echo_modbus.py /tmp/zaehler [--no-meter] [--no-echo] [--delay ms]
    viviv-cli --port /tmp/zaehler --zubehoer rs485 --zaehlernummer 12345678
"""
import sys
import time

from wire import Line

SLAVE = 0x79
WH = {0x4000: 4711250, 0x4002: 3000000, 0x4004: 1711250, 0x4006: 0, 0x4008: 0,   # import, Wh
      0x4100: 123456, 0x4102: 100000, 0x4104: 23456, 0x4106: 0, 0x4108: 0,       # export, Wh
      0x0000: 12345, 0x0002: 0}                                                   # power, 0.1 W
REGISTERS = {0x0402: 0x1111, 0x0403: 0x2222, 0x0404: 0x0001}
for first, value in WH.items():
    REGISTERS[first], REGISTERS[first + 1] = value >> 16, value & 0xFFFF


def crc(frame):
    """CRC-16/MODBUS, sent low byte first."""
    reg = 0xFFFF
    for b in frame:
        reg ^= b
        for _ in range(8):
            reg = (reg >> 1) ^ 0xA001 if reg & 1 else reg >> 1
    return bytes([reg & 0xFF, reg >> 8])


def answer(request):
    if len(request) != 8 or crc(request[:6]) != request[6:] or request[0] != SLAVE:
        return b""
    first, count = int.from_bytes(request[2:4], "big"), int.from_bytes(request[4:6], "big")
    if request[1] != 3 or any(r not in REGISTERS for r in range(first, first + count)):
        frame = bytes([SLAVE, request[1] | 0x80, 2])          # illegal data address
    else:
        data = b"".join(REGISTERS[r].to_bytes(2, "big") for r in range(first, first + count))
        frame = bytes([SLAVE, 3, len(data)]) + data
    return frame + crc(frame)


def main():
    line = Line(sys.argv[1])
    meter = "--no-meter" not in sys.argv
    echo = "--no-echo" not in sys.argv
    delay = int(sys.argv[sys.argv.index("--delay") + 1]) / 1000 if "--delay" in sys.argv else 0.02

    def on_request(request):
        rate = line.program_rate()
        if echo:
            line.send(request, rate, bits=11)   # 8E1 on the wire
        else:
            time.sleep(line.wire_time(request, bits=11))
        reply = answer(request) if meter else b""
        if reply:
            time.sleep(delay)
            line.send(reply, rate, bits=11)

    line.serve(on_request)


if __name__ == "__main__":
    main()
