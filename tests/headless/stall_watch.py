"""Watches for the machine stopping this process: sleeps 2 ms at a time and
prints, for every wake-up that came more than 10 ms late, when it woke
(CLOCK_MONOTONIC) and how long it had been away, until it is killed.  Run
at real-time priority on one core, it sees stalls that no thread on that
core could have avoided (a virtual machine's host taking the CPU away)."""

import sys
import time

last = time.monotonic()
while True:
    time.sleep(0.002)
    now = time.monotonic()
    if now - last > 0.012:
        sys.stdout.write("stall %.4f %.4f\n" % (now, now - last))
        sys.stdout.flush()
    last = now
