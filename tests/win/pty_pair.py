#!/usr/bin/env python3
"""A null-modem cable made of two pseudo-terminals, for serial tests under Wine.

Creates two terminals, prints their paths on one line ("/dev/pts/A /dev/pts/B") and then copies every
byte written on one to the other until it is terminated. Mapped as two COM ports, a Windows program can
open one end as the meter's port and write the meter's lines on the other, and Wine's serial driver
(BuildCommDCBA, SetCommState, SetCommTimeouts, ReadFile) does the rest for real.
"""

import os
import selectors
import signal
import sys
import tty


def open_end():
    master, slave = os.openpty()
    tty.setraw(slave)
    # Holding the terminal end open keeps the master readable while no program has the port open.
    return master, slave, os.ttyname(slave)


def main():
    ends = [open_end(), open_end()]
    print(ends[0][2], ends[1][2], flush=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    selector = selectors.DefaultSelector()
    for index, (master, _, _) in enumerate(ends):
        selector.register(master, selectors.EVENT_READ, index)
    while True:
        for key, _ in selector.select():
            try:
                data = os.read(key.fileobj, 4096)
            except OSError:
                continue
            if data:
                os.write(ends[1 - key.data][0], data)


if __name__ == "__main__":
    main()
