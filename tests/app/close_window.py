#!/usr/bin/env python3
"""Waits for a mapped top-level window with the given title on $DISPLAY and asks
it to close, as a window manager does (WM_DELETE_WINDOW).

    close_window.py TITLE [TIMEOUT_SECONDS]

Exit status 0 once the request is sent, 1 when no such window showed in time.
Talks to libX11 directly, so it needs no package beyond the X client library."""
import ctypes
import ctypes.util
import sys
import time

CLIENT_MESSAGE = 33
IS_VIEWABLE = 2
ANY_PROPERTY_TYPE = 0

Window = ctypes.c_ulong
Atom = ctypes.c_ulong


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", Window), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", Window), ("message_type", Atom),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = Window
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = Atom
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XQueryTree.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(Window), ctypes.POINTER(Window),
                           ctypes.POINTER(ctypes.POINTER(Window)), ctypes.POINTER(ctypes.c_uint)]
x11.XGetWindowProperty.argtypes = [ctypes.c_void_p, Window, Atom, ctypes.c_long, ctypes.c_long, ctypes.c_int,
                                   Atom, ctypes.POINTER(Atom), ctypes.POINTER(ctypes.c_int),
                                   ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
                                   ctypes.POINTER(ctypes.c_void_p)]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(XWindowAttributes)]
x11.XSendEvent.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]


def text_property(display, window, atom):
    actual_type, actual_format = Atom(), ctypes.c_int()
    count, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
    if x11.XGetWindowProperty(display, window, atom, 0, 1024, 0, ANY_PROPERTY_TYPE, ctypes.byref(actual_type),
                              ctypes.byref(actual_format), ctypes.byref(count), ctypes.byref(after),
                              ctypes.byref(data)) != 0 or not data.value:
        return None
    try:
        if actual_format.value != 8:
            return None
        return ctypes.string_at(data.value, count.value).decode("utf-8", "replace")
    finally:
        x11.XFree(data)


def top_level_windows(display):
    root, parent = Window(), Window()
    children, count = ctypes.POINTER(Window)(), ctypes.c_uint()
    if not x11.XQueryTree(display, x11.XDefaultRootWindow(display), ctypes.byref(root), ctypes.byref(parent),
                          ctypes.byref(children), ctypes.byref(count)):
        return []
    windows = [children[i] for i in range(count.value)]
    if children:
        x11.XFree(children)
    return windows


def main():
    title = sys.argv[1]
    deadline = time.monotonic() + (float(sys.argv[2]) if len(sys.argv) > 2 else 30.0)
    display = x11.XOpenDisplay(None)
    if not display:
        print("close_window: cannot open the display", file=sys.stderr)
        return 1
    names = [x11.XInternAtom(display, b"_NET_WM_NAME", 0), x11.XInternAtom(display, b"WM_NAME", 0)]
    protocols = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    delete_window = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    seen = set()
    while time.monotonic() < deadline:
        for window in top_level_windows(display):
            attributes = XWindowAttributes()
            if not x11.XGetWindowAttributes(display, window, ctypes.byref(attributes)):
                continue
            shown = {text_property(display, window, atom) for atom in names} - {None}
            seen |= shown
            if title in shown and attributes.map_state == IS_VIEWABLE:
                event = XEvent()
                event.xclient.type = CLIENT_MESSAGE
                event.xclient.window = window
                event.xclient.message_type = protocols
                event.xclient.format = 32
                event.xclient.data[0] = delete_window
                x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
                x11.XFlush(display)
                x11.XCloseDisplay(display)
                print(f"close_window: asked '{title}' to close")
                return 0
        time.sleep(0.1)
    x11.XCloseDisplay(display)
    print(f"close_window: no window titled '{title}' showed; saw {sorted(seen)}", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
