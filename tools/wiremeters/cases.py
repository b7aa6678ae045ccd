#!/usr/bin/env python3
"""The wire cases, run through the shipped viviv-cli (no test bed) against
meters on pseudo-terminals: the project's simulator with its wire options,
and the independent meters of this folder. One line per case: what the
program said, what is right, and how long it took.

    python3 tools/wiremeters/cases.py [--build build] [--jobs 4] [name ...]

The simulator and the meters here only see the rate the program sets, not
its character format, just as a real adapter's pty would show it.
"""
import argparse
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
RS485 = ["-z", "rs485", "-n", "12345678"]
SHORT_READOUT = "02312e382e30283030343731312e3235302a6b5768290d0a210d0a037e"  # 1.8.0(004711.250*kWh)

# name, meter ("sim" args or a Python meter of this folder), cli args,
# right verdict, right 1.8.0 (None: no values), a log line that must appear.
CASES = [
    ("modec-ack-200-at-9600", ["sim", "-p", "iec-mode-c", "--ack-reaction", "200"], ["--test", "4"],
     "erfolgreich", 12345.678, "Wechsel auf Baud 9600..."),
    ("modec-ack-200-at-9600-usb", ["sim", "-p", "iec-mode-c", "--ack-reaction", "200", "--usb"], ["--test", "4"],
     "erfolgreich", 12345.678, None),
    ("modec-ack-200-short-readout", ["sim", "-p", "iec-mode-c", "--ack-reaction", "200", "--telegram", SHORT_READOUT],
     ["--test", "4"], "erfolgreich", 4711.25, None),
    ("modec-py-ack-200-at-9600", ["modec.py", "{link}", "5"], ["--test", "4"], "erfolgreich", 4711.25, None),
    ("modec-300-usb-char-packets", ["sim", "-p", "iec-mode-c", "--baud-char", "0", "--usb"], ["--test", "4"],
     "erfolgreich", 12345.678, None),
    ("modec-py-300-usb", ["modec.py", "{link}", "0", "500"], ["--test", "4"], "erfolgreich", 4711.25, None),
    ("nul-before-push-t3", ["sim", "-p", "iec-push", "--glitch", "0", "--first-push", "1500", "--interval", "20000"],
     ["--test", "3"], "erfolgreich", 12345.678, None),
    ("nul-at-rate-change-t4", ["sim", "-p", "iec-mode-c", "--glitch", "0"], ["--test", "4"],
     "erfolgreich", 12345.678, None),
    ("nul-before-rs485-readout", ["sim", "-p", "rs485-iec", "--glitch", "0"], RS485, "erfolgreich", 12345.678, None),
    ("echo-converter-no-meter", ["sim", "-p", "silent", "--echo"], RS485, "nicht erfolgreich", None, None),
    ("echo-converter-no-meter-py", ["rs485_echo_modbus.py", "{link}", "--no-meter"], RS485,
     "nicht erfolgreich", None, None),
    ("echo-converter-modbus", ["sim", "-p", "modbus", "--echo"], RS485, "erfolgreich", 12345.678, None),
    ("echo-converter-modbus-py", ["rs485_echo_modbus.py", "{link}"], RS485, "erfolgreich", 4711.25, None),
    ("modbus-answer-after-800", ["sim", "-p", "modbus", "--modbus-delay", "800"], RS485, "erfolgreich", 12345.678, None),
    ("modbus-answer-after-800-usb", ["sim", "-p", "modbus", "--modbus-delay", "800", "--usb"], RS485,
     "erfolgreich", 12345.678, None),
    ("modbus-py-answer-after-690", ["rs485_echo_modbus.py", "{link}", "--no-echo", "--delay", "690"], RS485,
     "erfolgreich", 4711.25, None),
    ("modec-4k-readout-at-300", ["sim", "-p", "iec-mode-c", "--baud-char", "0", "--readout-bytes", "4096"],
     ["--test", "4"], "erfolgreich", 12345.678, None),
    ("noise-t4-bounded", ["sim", "-p", "noise"], ["--test", "4"], "nicht erfolgreich", None, None),
    ("rs485-iec-own-process", ["sim", "-p", "rs485-iec"], RS485, "erfolgreich", 12345.678, None),
    ("meter-number-with-blanks", ["sim", "-p", "modbus"], ["-z", "rs485", "-n", " 12345678 "],
     "erfolgreich", 12345.678, None),
    ("address-with-blanks", ["sim", "-p", "iec-mode-c", "--address", "12345678"], ["--test", "4", "-a", " 12345678 "],
     "erfolgreich", 12345.678, "Sende:2F3F3132333435363738210D0A"),
    ("adapter-pulled", ["sim", "-p", "unplugged"], ["--test", "2"], "nicht erfolgreich", None,
     "Fehler an der Schnittstelle: "),
]


def program(build, path):
    """build/<path>, or the program alone in build (a copied pair)."""
    flat = os.path.join(build, os.path.basename(path))
    return flat if os.path.exists(flat) else os.path.join(build, path)


def run_case(case, build, workdir):
    name, meter, cli_args, verdict, value, must_log = case
    link = os.path.join(workdir, name)
    if meter[0] == "sim":
        cmd = [program(build, "tools/simulator/viviv-metersim"), *meter[1:], "--link", link, "-q"]
    else:
        cmd = [sys.executable, os.path.join(HERE, meter[0]), *[a.replace("{link}", link) for a in meter[1:]]]
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(100):
            if os.path.exists(link):
                break
            time.sleep(0.05)
        cli = [program(build, "cli/viviv-cli"), "--port", link, *cli_args, "--json"]
        start = time.monotonic()
        out = subprocess.run(cli, capture_output=True, timeout=600).stdout
        seconds = time.monotonic() - start
    finally:
        proc.send_signal(signal.SIGTERM)
        proc.wait(10)
    try:
        doc = json.loads(out)
    except ValueError:
        doc = {}
    got_verdict = doc.get("result", "?")
    got_value = doc.get("values", {}).get("1.8.0", {}).get("value")
    logged = [entry["text"] for entry in doc.get("log", [])]
    ok = got_verdict == verdict and got_value == value
    if must_log:
        ok = ok and any(must_log in line for line in logged)
    def shown(words):
        return " ".join(repr(w) if " " in w else w for w in words).replace(workdir + "/", "/tmp/")
    meter_shown = (["viviv-metersim", *meter[1:], "--link", link] if meter[0] == "sim"
                   else ["python3", "tools/wiremeters/" + meter[0], *cmd[2:]])
    return {"name": name, "meter": shown(meter_shown), "cli": shown(["viviv-cli", "--port", link, *cli_args]),
            "verdict": got_verdict, "1.8.0": got_value,
        "right": f"{verdict} {value}", "seconds": round(seconds, 1), "ok": ok,
        "errors": [line for line in logged if "Fehler" in line or "Keine Daten" in line]}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(HERE, "../../build"))
    parser.add_argument("--jobs", type=int, default=4)
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    cases = [c for c in CASES if not args.names or c[0] in args.names]
    with tempfile.TemporaryDirectory() as workdir, ThreadPoolExecutor(args.jobs) as pool:
        results = list(pool.map(lambda c: run_case(c, os.path.abspath(args.build), workdir), cases))
    for r in results:
        print(json.dumps(r, ensure_ascii=False))
    print(f"{sum(r['ok'] for r in results)} of {len(results)} right")
    return 0 if all(r["ok"] for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
