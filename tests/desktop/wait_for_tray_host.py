"""Waits until a notification-area host owns the selection _NET_SYSTEM_TRAY_S0 on the display in
DISPLAY: only then does a tray icon dock. Exits 0 then, or 1 after the limit in seconds (the
first argument). Run with the system's Python, which has python3-xlib."""
import sys
import time

from Xlib import X
from Xlib.display import Display

limit = float(sys.argv[1])
display = Display()
selection = display.intern_atom("_NET_SYSTEM_TRAY_S0")
end = time.monotonic() + limit
while True:
    owner = display.get_selection_owner(selection)
    if getattr(owner, "id", owner) != X.NONE:
        sys.exit(0)
    if time.monotonic() >= end:
        sys.exit(1)
    time.sleep(0.05)
