"""The same work in several threads at once, for the tests of sharing."""

import threading


def run_in_threads(work, count=8):
    """Runs work(0) ... work(count - 1), each in a thread of its own, all at once,
    and waits for every one."""
    threads = [threading.Thread(target=work, args=(i,)) for i in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
