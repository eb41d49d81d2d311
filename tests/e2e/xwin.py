"""X11 through ctypes, for the end-to-end tests' Python tools (close-trials.py,
screen.py): top-level windows, pixels of a screen area, and pointer and key
input through XTest. No extra Python packages; one process does many steps,
where starting xdotool or ImageMagick for each would take seconds under
emulation.
"""
import ctypes
import sys


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class XTextProperty(ctypes.Structure):
    _fields_ = [("value", ctypes.c_void_p), ("encoding", ctypes.c_ulong), ("format", ctypes.c_int),
                ("nitems", ctypes.c_ulong)]


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


IS_VIEWABLE = 2
Z_PIXMAP = 2
ALL_PLANES = ctypes.c_ulong(-1).value

x11 = ctypes.CDLL("libX11.so.6")
xtst = ctypes.CDLL("libXtst.so.6")
libc = ctypes.CDLL(None)
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                           ctypes.POINTER(ctypes.c_uint)]
# JUCE sets the title as UTF8_STRING, which XFetchName does not return.
x11.XGetWMName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(XTextProperty)]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(XWindowAttributes)]
x11.XGetImage.restype = ctypes.POINTER(XImage)
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                          ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
x11.XKeysymToKeycode.restype = ctypes.c_ubyte
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
libc.free.argtypes = [ctypes.c_void_p]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]

# Windows come and go while the tree is read; Xlib's default handler would
# end this process on the first BadWindow.
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda display, event: 0)
x11.XSetErrorHandler(ERROR_HANDLER)
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("xwin: cannot open the display")
root = x11.XDefaultRootWindow(display)


def windows():
    """The mapped top-level windows, bottom first: [(id, name, x, y, width, height)]."""
    parent, root_out = ctypes.c_ulong(), ctypes.c_ulong()
    children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
    if not x11.XQueryTree(display, root, ctypes.byref(root_out), ctypes.byref(parent), ctypes.byref(children),
                          ctypes.byref(count)):
        return []
    found = []
    for i in range(count.value):
        attributes = XWindowAttributes()
        if not x11.XGetWindowAttributes(display, children[i], ctypes.byref(attributes)) \
                or attributes.map_state != IS_VIEWABLE:
            continue
        name = XTextProperty()
        text = ""
        if x11.XGetWMName(display, children[i], ctypes.byref(name)) and name.value:
            text = ctypes.string_at(name.value, name.nitems).decode("utf-8", "replace")
            x11.XFree(name.value)
        found.append((children[i], text, attributes.x, attributes.y, attributes.width, attributes.height))
    if children:
        x11.XFree(children)
    return found


def window(name):
    """(id, name, x, y, width, height) of the mapped window with that exact title, or None."""
    return next((w for w in windows() if w[1] == name), None)


def grab(x, y, width, height):
    """The screen's pixels in that area as RGB bytes, row by row; None if it is not on the screen."""
    image = x11.XGetImage(display, root, x, y, width, height, ALL_PLANES, Z_PIXMAP)
    if not image:
        return None
    im = image.contents
    rows = []
    for row in range(height):
        line = ctypes.string_at(ctypes.addressof(im.data.contents) + row * im.bytes_per_line, width * 4)
        # 32 bits per pixel, blue first (Xvfb's 24-bit visual).
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = line[2::4], line[1::4], line[0::4]
        rows.append(bytes(rgb))
    libc.free(ctypes.cast(im.data, ctypes.c_void_p))
    x11.XFree(image)
    return b"".join(rows)


pointer = (0, 0)


def move(x, y):
    global pointer
    xtst.XTestFakeMotionEvent(display, -1, x, y, 0)
    x11.XSync(display, 0)
    pointer = (x, y)


def wiggle():
    """A pointer movement of one pixel and back. JUCE (7.0.5, X11) can leave
    an event it has already read from the server unhandled until the next
    one arrives: under emulation a key press then seems lost, and takes
    effect with the next key. A movement makes it handle what it holds."""
    x, y = pointer
    move(x + 1, y)
    move(x, y)


def button(down):
    xtst.XTestFakeButtonEvent(display, 1, 1 if down else 0, 0)
    x11.XSync(display, 0)


def key(name):
    """Presses and releases the key with that keysym name (e.g. "Escape")."""
    code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(name.encode()))
    xtst.XTestFakeKeyEvent(display, code, 1, 0)
    xtst.XTestFakeKeyEvent(display, code, 0, 0)
    x11.XSync(display, 0)
