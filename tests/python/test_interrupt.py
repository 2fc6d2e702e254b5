"""Ctrl-C during a long scan: the call stops with KeyboardInterrupt long before
the scan could have ended, and the module answers normally afterwards."""

import subprocess
import sys
import textwrap

CHILD = textwrap.dedent("""
    import os, signal, threading, time
    import quorbix

    row = b"<row><a>1</a><b>two</b><c x='3'>text</c></row>"
    rows = 150_000_000 // len(row)
    doc = b"<r>" + row * rows + b"</r>"

    def scan():
        return quorbix.get_bytes(doc, "r.row.#.b|@count").value

    start = time.perf_counter()
    assert scan() == rows
    whole = time.perf_counter() - start  # every road below reads the whole document at least once

    def interrupted(call):  # from a SIGINT during `call`, repeated till it comes, to the interrupt
        sent = []

        def interrupt():
            sent.append(time.perf_counter())
            os.kill(os.getpid(), signal.SIGINT)
        threading.Timer(0.05, interrupt).start()
        try:
            while True:
                call()
        except KeyboardInterrupt:
            return time.perf_counter() - sent[0]

    roads = {
        "get_bytes": scan,
        "get_many_bytes": lambda: quorbix.get_many_bytes(doc, ["r.row.#.a", "x"]),
        "records": lambda: quorbix.records(doc, "r.row", {"a": "a", "b": "b"}),
        "validate": lambda: quorbix.validate(doc),
        "Result.get": lambda: quorbix.parse(doc).get("row.#.c.@x"),
    }
    for name, call in roads.items():
        took = interrupted(call)
        print(name, "late" if took > whole / 4 else "in time", f"{took:.3f} of {whole:.3f}")
    assert quorbix.get_bytes(b"<r><a>1</a></r>", "r.a").to_int() == 1 and quorbix.validate(b"<r/>")

    # A scan in another thread goes on: the interrupt is the main thread's.
    found = []
    worker = threading.Thread(target=lambda: found.append(scan()))
    worker.start()
    time.sleep(0.05)
    try:
        os.kill(os.getpid(), signal.SIGINT)
        while worker.is_alive():
            worker.join(0.01)
    except KeyboardInterrupt:
        print("main thread interrupted")
    worker.join()
    print("worker found", found == [rows])
""")


def test_ctrl_c_stops_a_scan_in_the_main_thread_only():
    child = subprocess.run([sys.executable, "-c", CHILD], capture_output=True, text=True, timeout=600)
    assert child.returncode == 0, child.stderr
    lines = child.stdout.splitlines()
    for road in ("get_bytes", "get_many_bytes", "records", "validate", "Result.get"):
        assert any(line.startswith(road + " in time") for line in lines), child.stdout
    assert "main thread interrupted" in lines and "worker found True" in lines, child.stdout
