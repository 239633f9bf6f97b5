"""harness.py -- drives the real workstation in its own Xvfb and looks at its pixels.

Each test gets a fresh X server and a fresh temporary working directory holding its
own IMAGES/. Input goes through xdotool (XTEST, so the program sees real events);
screenshots come from xwd, turned into PPM by ImageMagick and parsed here. Without a
window manager the window sits at the top-left corner of the screen; its real
position is read with xwininfo and every coordinate is corrected for it.

Coordinates given to the helpers are GL coordinates of the program: x 0..1250 to the
right, y 0..600 upwards. Window pixel rows count downwards, so GL y becomes window
row 600 - y for the pointer; the pixel that GL draws for the unit square above y is
row 599 - y.

Only the Python standard library is used. Everything the harness starts dies with
it: children are killed on teardown and get SIGKILL if the harness itself dies.
"""

import ctypes
import hashlib
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import traceback
import zlib

TITLE = ("Image Morphing Using Catmull-Rom & Hermite Curves - 1250x600 - "
         "VELQ204T - Brannoch 480251739")
WINDOW_W, WINDOW_H = 1250, 600
SCREEN = "1280x1024x24"
BACKGROUND = (51, 51, 255)
SOURCE_DIR = os.path.dirname(os.path.abspath(__file__))
REPO_ROOT = os.path.normpath(os.path.join(SOURCE_DIR, "..", ".."))
DEFAULT_IMAGES = os.path.join(REPO_ROOT, "IMAGES")
CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"

# Panels in GL coordinates (x1, x2); all span y 100..500.
LEFT_PANEL = (50, 400)
MORPH_PANEL = (450, 800)
RIGHT_PANEL = (850, 1200)
PANEL_Y = (100, 500)


class TestFailure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise TestFailure(message)


def _die_with_parent():
    """Run in the child before exec: SIGKILL it when the harness goes away."""
    try:
        libc = ctypes.CDLL("libc.so.6", use_errno=True)
        libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except OSError:
        pass
    os.setsid()


def _kill(proc, grace=2.0):
    if proc is None or proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    try:
        proc.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait(timeout=5)


# --- Pictures ------------------------------------------------------------------------


class Picture:
    """RGB pixels, rows top first."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def px(self, col, row):
        at = (row * self.width + col) * 3
        return tuple(self.data[at:at + 3])

    def digest(self):
        return hashlib.sha1(self.data).hexdigest()

    def crop(self, col, row, width, height):
        """The rectangle at (col, row); parts outside this picture come out black."""
        rows = []
        first, last = max(col, 0), min(col + width, self.width)
        left_pad = bytes(3 * (first - col))
        right_pad = bytes(3 * max(col + width - last, 0))
        for r in range(row, row + height):
            if 0 <= r < self.height and first < last:
                at = r * self.width * 3
                rows.append(left_pad + self.data[at + first * 3:at + last * 3] + right_pad)
            else:
                rows.append(bytes(3 * width))
        return Picture(width, height, b"".join(rows))

    def save_png(self, path):
        ppm = b"P6 %d %d 255\n" % (self.width, self.height) + bytes(self.data)
        subprocess.run([CONVERT, "ppm:-", "-strip", "-define", "png:exclude-chunks=date,time",
                        path], input=ppm, check=True, timeout=30)


def parse_ppm(blob):
    """Parses a binary PPM (P6, maxval 255) into a Picture."""
    fields, at = [], 0
    while len(fields) < 4:
        while blob[at:at + 1].isspace():
            at += 1
        if blob[at:at + 1] == b"#":
            at = blob.index(b"\n", at) + 1
            continue
        start = at
        while not blob[at:at + 1].isspace():
            at += 1
        fields.append(blob[start:at])
    check(fields[0] == b"P6", "screenshot is not a binary PPM")
    width, height, maxval = int(fields[1]), int(fields[2]), int(fields[3])
    check(maxval == 255, "PPM maxval %d" % maxval)
    at += 1
    data = blob[at:at + width * height * 3]
    check(len(data) == width * height * 3, "PPM truncated")
    return Picture(width, height, data)


def parse_xwd(blob):
    """Parses an xwd dump of a 24-bit TrueColor screen (32 bits per pixel) into a
    Picture; any other layout goes through ImageMagick's convert."""
    fields = struct.unpack_from(">25I", blob, 0)
    header_size, version, pixmap_format, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    masks, ncolors = fields[14:17], fields[19]
    if (version, pixmap_format, depth, bits_per_pixel) != (7, 2, 24, 32) or \
            masks != (0xFF0000, 0xFF00, 0xFF):
        ppm = subprocess.run([CONVERT, "xwd:-", "-depth", "8", "ppm:-"], input=blob,
                             capture_output=True, timeout=30, check=True).stdout
        return parse_ppm(ppm)
    start = header_size + ncolors * 12
    pixels = blob[start:start + bytes_per_line * height]
    if bytes_per_line != width * 4:
        pixels = b"".join(pixels[r * bytes_per_line:r * bytes_per_line + width * 4]
                          for r in range(height))
    # Pixels are 32-bit words; least significant byte first they read B, G, R, pad.
    red, green, blue = (2, 1, 0) if byte_order == 0 else (1, 2, 3)
    out = bytearray(width * height * 3)
    out[0::3] = pixels[red::4]
    out[1::3] = pixels[green::4]
    out[2::3] = pixels[blue::4]
    return Picture(width, height, bytes(out))


def read_bmp(path_or_bytes):
    """Decodes an uncompressed BMP (8-bit palette, 24- or 32-bit) into a Picture,
    top row first, and returns it with the header fields as a dict."""
    blob = path_or_bytes
    if isinstance(path_or_bytes, str):
        with open(path_or_bytes, "rb") as f:
            blob = f.read()
    check(blob[:2] == b"BM", "not a BMP")
    offset = struct.unpack_from("<I", blob, 10)[0]
    header_size, width, height, planes, bpp, compression = struct.unpack_from("<IiiHHI", blob, 14)
    info = {"offset": offset, "header_size": header_size, "width": width, "height": height,
            "bpp": bpp, "compression": compression, "file_size": len(blob)}
    check(compression in (0, 3), "compressed BMP")
    bottom_up = height > 0
    height = abs(height)
    stride = (width * bpp + 31) // 32 * 4
    palette = []
    if bpp == 8:
        colours = struct.unpack_from("<I", blob, 46)[0] or 256
        pal_at = 14 + header_size
        palette = [tuple(blob[pal_at + 4 * i + 2 - k] for k in range(3)) for i in range(colours)]
    out = bytearray(width * height * 3)
    if bpp == 24:
        for r in range(height):
            src_row = height - 1 - r if bottom_up else r
            row = blob[offset + src_row * stride: offset + src_row * stride + width * 3]
            at = r * width * 3
            out[at:at + width * 3:3] = row[2::3]
            out[at + 1:at + width * 3:3] = row[1::3]
            out[at + 2:at + width * 3:3] = row[0::3]
        return Picture(width, height, bytes(out)), info
    for r in range(height):
        src_row = height - 1 - r if bottom_up else r
        row = blob[offset + src_row * stride: offset + (src_row + 1) * stride]
        for c in range(width):
            if bpp == 8:
                rgb = palette[row[c]]
            else:
                n = bpp // 8
                b, g, red = row[c * n], row[c * n + 1], row[c * n + 2]
                rgb = (red, g, b)
            out[(r * width + c) * 3:(r * width + c) * 3 + 3] = bytes(rgb)
    return Picture(width, height, bytes(out)), info


def write_bmp24(picture):
    """An uncompressed 24-bit BMP with the 54-byte header, bottom row first."""
    stride = (picture.width * 3 + 3) & ~3
    rows = []
    for r in range(picture.height - 1, -1, -1):
        row = bytearray()
        for c in range(picture.width):
            red, g, b = picture.px(c, r)
            row += bytes((b, g, red))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    header = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
    header += struct.pack("<IiiHHIIiiII", 40, picture.width, picture.height, 1, 24, 0,
                          len(pixels), 2835, 2835, 0, 0)
    return header + pixels


def _png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def write_png_rgba(picture, alpha):
    """An 8-bit RGBA PNG of the picture; alpha(col, row) gives each pixel's alpha."""
    raw = bytearray()
    for r in range(picture.height):
        raw.append(0)  # no filter
        for c in range(picture.width):
            raw += bytes(picture.px(c, r)) + bytes((alpha(c, r),))
    header = struct.pack(">IIBBBBB", picture.width, picture.height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", header)
            + _png_chunk(b"IDAT", zlib.compress(bytes(raw))) + _png_chunk(b"IEND", b""))


def turned(picture, quarter_turns_right):
    """The picture turned by quarter turns clockwise (negative: anticlockwise)."""
    for _ in range(quarter_turns_right % 4):
        w, h = picture.width, picture.height
        # Clockwise: the new row r is the old column r read from the bottom up.
        data = b"".join(bytes(picture.px(r, h - 1 - c)) for r in range(w) for c in range(h))
        picture = Picture(h, w, data)
    return picture


def write_jpeg(picture, progressive=False, orientation=None):
    """A JPEG of the picture at quality 95 without chroma subsampling, made by
    ImageMagick; with `orientation`, an EXIF segment holding it follows the
    start-of-image marker."""
    ppm = b"P6 %d %d 255\n" % (picture.width, picture.height) + bytes(picture.data)
    args = [CONVERT, "ppm:-", "-quality", "95", "-sampling-factor", "1x1"]
    if progressive:
        args += ["-interlace", "Plane"]
    jpeg = subprocess.run(args + ["jpg:-"], input=ppm, capture_output=True, check=True,
                          timeout=30).stdout
    if orientation is None:
        return jpeg
    # A little-endian TIFF directory with the one entry 0x0112 (SHORT, one value).
    tiff = (b"II*\x00" + struct.pack("<I", 8) + struct.pack("<H", 1)
            + struct.pack("<HHIHH", 0x0112, 3, 1, orientation, 0) + struct.pack("<I", 0))
    app1 = b"Exif\x00\x00" + tiff
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(app1) + 2) + app1 + jpeg[2:]


def read_jpeg(jpeg):
    """The pixels of a JPEG as stored (no turning), decoded by ImageMagick."""
    ppm = subprocess.run([CONVERT, "jpg:-", "-depth", "8", "ppm:-"], input=jpeg,
                         capture_output=True, check=True, timeout=30).stdout
    return parse_ppm(ppm)


def work_image(picture):
    """The picture on the program's 256 x 293 grid, top row first: output row i,
    column j takes source row trunc(i / (293 / H)), column trunc(j / (256 / W))."""
    sx, sy = 256.0 / picture.width, 293.0 / picture.height
    cols = [int(j / sx) for j in range(256)]
    out = bytearray(256 * 293 * 3)
    for i in range(293):
        r = int(i / sy)
        src = picture.data[r * picture.width * 3:(r + 1) * picture.width * 3]
        dst = i * 768
        for j, c in enumerate(cols):
            out[dst + j * 3:dst + j * 3 + 3] = src[c * 3:c * 3 + 3]
    return Picture(256, 293, bytes(out))


def texel(work, s, t):
    """GL_LINEAR sample with GL_REPEAT of a work image (top row first in memory, so
    texture row 0, t = 0, is the picture's bottom row)."""
    u, v = s * 256 - 0.5, t * 293 - 0.5
    i0, j0 = int(u // 1), int(v // 1)
    fu, fv = u - i0, v - j0
    acc = [0.0, 0.0, 0.0]
    for di, wu in ((0, 1 - fu), (1, fu)):
        for dj, wv in ((0, 1 - fv), (1, fv)):
            col = (i0 + di) % 256
            row = 292 - (j0 + dj) % 293
            p = work.px(col, row)
            for k in range(3):
                acc[k] += wu * wv * p[k]
    return tuple(acc)


def panel_expectation(work, panel_x1, x_gl, y_gl):
    """Expected colour of the screen pixel whose lower-left corner is GL (x, y) inside
    a panel starting at panel_x1, and how much the texels around it vary (an edge)."""
    s = (x_gl + 0.5 - panel_x1) / 350.0
    t = (y_gl + 0.5 - PANEL_Y[0]) / 400.0
    expected = texel(work, s, t)
    u, v = int(s * 256), int(t * 293)
    spread = 0
    around = [work.px(min(max(u + du, 0), 255), 292 - min(max(v + dv, 0), 292))
              for du in (-2, -1, 0, 1, 2) for dv in (-2, -1, 0, 1, 2)]
    for k in range(3):
        values = [p[k] for p in around]
        spread = max(spread, max(values) - min(values))
    return expected, spread


def colour_distance(a, b):
    return max(abs(x - y) for x, y in zip(a, b))


def mean_abs_difference(a, b):
    check(len(a.data) == len(b.data), "pictures differ in size")
    total = sum(abs(x - y) for x, y in zip(a.data, b.data))
    return total / len(a.data)


def compare_panel(shot, picture, panel, label, step=3):
    """Compares every third pixel of a panel with the linear filtering of the picture
    resampled onto the 256 x 293 grid. Smooth places must agree closely; at colour
    edges a sub-pixel difference in rasterisation may move a colour, so there a few
    small misses are allowed, but never a wrong colour."""
    work = work_image(picture)
    tested, bad, edge_misses, edges = 0, [], 0, 0
    for x in range(panel[0] + 1, panel[1] - 1, step):
        for y in range(PANEL_Y[0] + 1, PANEL_Y[1] - 1, step):
            expected, spread = panel_expectation(work, panel[0], x, y)
            got = gl_pixel(shot, x, y)
            off = colour_distance(got, expected)
            tested += 1
            edge = spread > 12
            edges += edge
            if off > 24 or (off > 4 and not edge):
                bad.append(((x, y), got, tuple(round(v) for v in expected)))
            elif off > 4:
                edge_misses += 1
    check(not bad, "%s: %d of %d points differ, first: %s" % (label, len(bad), tested, bad[:5]))
    check(edge_misses <= edges // 100, "%s: %d of %d edge points differ slightly"
            % (label, edge_misses, edges))
    return tested


# --- The program under Xvfb ----------------------------------------------------------


class Workstation:
    """One run of the program in its own X server and working directory.

        with Workstation(program) as ws:
            ws.click(100, 300)
            shot = ws.screenshot()

    `images` maps file names inside IMAGES/ to bytes (None: the default pictures;
    a missing name: the file is absent). `prepare(workdir)` may change the
    working directory before the program starts. `args` are the program's
    command-line arguments.
    """

    def __init__(self, program, name, images=None, prepare=None, expect_window=True, args=()):
        self.program = os.path.abspath(program)
        self.args = list(args)
        self.name = name
        self.images = images
        self.prepare = prepare
        self.expect_window = expect_window
        self.xvfb = None
        self.proc = None
        self.display = None
        self.window = None
        self.origin = (0, 0)
        self.workdir = tempfile.mkdtemp(prefix="e2e-%s-" % name)
        self.logdir = tempfile.mkdtemp(prefix="e2e-%s-logs-" % name)
        self.stdout_path = os.path.join(self.logdir, "program.stdout")
        self.stderr_path = os.path.join(self.logdir, "program.stderr")
        self.artifacts = os.path.join(os.getcwd(), "artifacts", name)
        self.last = None

    # -- lifecycle

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, kind, value, tb):
        if kind is not None and self.last is not None:
            self.save("failure")
        died = self.expect_window and self.proc is not None and self.proc.poll() is not None
        status = self.proc.returncode if died else None
        self.close()
        if kind is None:
            # Whatever the test looked at, the program must have lived through it
            # and must not have reported undefined behaviour on the way.
            check(not died, "the program exited (%s) during the test: %s"
                  % (status, self.stderr()[-800:]))
            report = self.stderr()
            check("runtime error:" not in report and "Sanitizer" not in report,
                  "sanitizer report: %s" % report[-800:])
        return False

    def start(self):
        self._lay_out_workdir()
        self._start_xvfb()
        env = dict(os.environ, DISPLAY=self.display)
        self.proc = subprocess.Popen([self.program] + self.args, cwd=self.workdir, env=env,
                                     stdout=open(self.stdout_path, "wb"),
                                     stderr=open(self.stderr_path, "wb"),
                                     stdin=subprocess.DEVNULL, preexec_fn=_die_with_parent)
        if self.expect_window:
            self._find_window()

    def close(self):
        _kill(self.proc)
        _kill(self.xvfb)
        self._stderr_text = self.stderr()
        if self.proc is not None and self.proc.returncode is not None:
            self.exit_status = self.proc.returncode
        shutil.rmtree(self.workdir, ignore_errors=True)
        shutil.rmtree(self.logdir, ignore_errors=True)

    def _lay_out_workdir(self):
        images_dir = os.path.join(self.workdir, "IMAGES")
        os.makedirs(images_dir)
        if self.images is None:
            for name in ("imageLeft.bmp", "imageRight.bmp"):
                shutil.copy(os.path.join(DEFAULT_IMAGES, name), images_dir)
        else:
            for name, content in self.images.items():
                with open(os.path.join(images_dir, name), "wb") as f:
                    f.write(content)
        if self.prepare:
            self.prepare(self.workdir)

    def _start_xvfb(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", SCREEN, "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            stdin=subprocess.DEVNULL, preexec_fn=_die_with_parent)
        os.close(write_fd)
        number = b""
        deadline = time.monotonic() + 15
        os.set_blocking(read_fd, False)
        while not number.endswith(b"\n"):
            check(time.monotonic() < deadline, "Xvfb did not start")
            check(self.xvfb.poll() is None, "Xvfb exited with %s" % self.xvfb.returncode)
            try:
                chunk = os.read(read_fd, 16)
            except BlockingIOError:
                time.sleep(0.02)
                continue
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        self.display = ":" + number.decode().strip()

    def _x(self, *args, timeout=20, check_status=True):
        env = dict(os.environ, DISPLAY=self.display)
        result = subprocess.run(list(args), env=env, capture_output=True, timeout=timeout)
        if check_status and result.returncode != 0:
            raise TestFailure("%s failed (%d): %s" % (" ".join(args), result.returncode,
                                                      result.stderr.decode(errors="replace")))
        return result.stdout.decode(errors="replace")

    def _find_window(self, timeout=20):
        deadline = time.monotonic() + timeout
        pattern = "^" + TITLE.replace(".", "\\.") + "$"
        while True:
            if self.proc.poll() is not None:
                raise TestFailure("program exited with %d before showing a window; stderr: %s"
                                  % (self.proc.returncode, self.stderr()))
            out = self._x("xdotool", "search", "--onlyvisible", "--name", pattern,
                          check_status=False).split()
            if out:
                self.window = out[0]
                break
            check(time.monotonic() < deadline, "no window titled %r appeared" % TITLE)
            time.sleep(0.1)
        info = self.window_info()
        self.origin = (info["Absolute upper-left X"], info["Absolute upper-left Y"])
        # Keys go to the focused window; there is no window manager to give it focus.
        self._x("xdotool", "windowfocus", self.window, check_status=False)
        self.move_to(625, 300)
        self.last = self.wait_for_picture()

    def window_info(self):
        out = self._x("xwininfo", "-id", self.window)
        info = {}
        for line in out.splitlines():
            if ":" in line:
                key, _, value = line.strip().partition(":")
                value = value.strip()
                if value.lstrip("-").isdigit():
                    info[key] = int(value)
                else:
                    info[key] = value
        return info

    def window_name(self):
        return self._x("xdotool", "getwindowname", self.window).rstrip("\n")

    def stderr(self):
        if getattr(self, "_stderr_text", None) is not None:
            return self._stderr_text
        try:
            with open(self.stderr_path, "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""

    def wait_exit(self, timeout=20):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def alive(self):
        return self.proc.poll() is None

    # -- input (GL coordinates)

    def _screen(self, x_gl, y_gl):
        return self.origin[0] + int(x_gl), self.origin[1] + WINDOW_H - int(y_gl)

    def _xdo(self, *commands):
        self._x("xdotool", *[str(c) for c in commands])

    @staticmethod
    def _pointer_to(sx, sy):
        """xdotool words that put the pointer at screen (sx, sy) and wait until it is
        there. `mousemove --sync` waits for the pointer to move, which never happens
        when it is there already, so it first steps one pixel aside."""
        return ["mousemove", sx + 1, sy, "mousemove", "--sync", sx, sy]

    def move_to(self, x_gl, y_gl):
        sx, sy = self._screen(x_gl, y_gl)
        self._xdo(*self._pointer_to(sx, sy))

    def click(self, x_gl, y_gl, button=1, settle=True):
        """Press and release at one place; waits for the redisplay it causes."""
        before = self.last
        self.move_to(x_gl, y_gl)
        self._xdo("mousedown", button, "sleep", "0.02", "mouseup", button)
        if settle:
            return self.settle(before)

    def right_click(self, x_gl, y_gl, expect_change=True):
        before = self.last
        self.click(x_gl, y_gl, button=3, settle=False)
        return self.settle(before if expect_change else None)

    def clicks(self, points, buttons, pause=0.02):
        """Clicks at every point with its button in one go, then waits once."""
        before = self.last
        commands = []
        for (x, y), button in zip(points, buttons):
            sx, sy = self._screen(x, y)
            commands += self._pointer_to(sx, sy) + ["mousedown", button, "sleep", pause,
                         "mouseup", button, "sleep", pause]
        self._xdo(*commands)
        return self.settle(before, stable=True)

    def _drag_commands(self, x0, y0, x1, y1, steps, first, pause):
        """Press at (x0, y0); the first motion goes to (x0, y0) + first, which must
        be within the 8-pixel reach of what is to be grabbed; then in `steps`
        steps to (x1, y1)."""
        sx, sy = self._screen(x0, y0)
        commands = self._pointer_to(sx, sy) + ["mousedown", 1, "sleep", pause]
        fx, fy = x0 + first[0], y0 + first[1]
        positions = [(fx, fy)] + [(fx + (x1 - fx) * k / steps, fy + (y1 - fy) * k / steps)
                                  for k in range(1, steps + 1)]
        for x, y in positions:
            sx, sy = self._screen(round(x), round(y))
            commands += ["mousemove", sx, sy, "sleep", pause]
        return commands + ["mouseup", 1, "sleep", pause]

    @staticmethod
    def _towards(x0, y0, x1, y1, length=3):
        d = max(abs(x1 - x0), abs(y1 - y0), 1)
        return (round((x1 - x0) * min(length / d, 1.0)), round((y1 - y0) * min(length / d, 1.0)))

    def drag(self, x0, y0, x1, y1, steps=12, first=None, pause=0.03):
        """Press at (x0, y0), move in small steps to (x1, y1), release. The first
        step is short (by default 3 pixels towards the end), so a point under the
        pointer is grabbed within its 8-pixel reach; later steps may be long
        because a held point stays held."""
        before = self.last
        first = first or self._towards(x0, y0, x1, y1)
        self._xdo(*self._drag_commands(x0, y0, x1, y1, steps, first, pause))
        return self.settle(before, stable=True)

    def drags(self, moves, steps=6, pause=0.02):
        """Several drags ((x0, y0), (x1, y1)[, first]) in one go, then one wait."""
        before = self.last
        commands = []
        for move in moves:
            (x0, y0), (x1, y1) = move[0], move[1]
            first = move[2] if len(move) > 2 else self._towards(x0, y0, x1, y1)
            commands += self._drag_commands(x0, y0, x1, y1, steps, first, pause)
        self._xdo(*commands)
        return self.settle(before, stable=True)

    def key(self, name, expect_change=True, timeout=5.0):
        before = self.last
        self._xdo("key", name)
        return self.settle(before if expect_change else None, timeout=timeout)

    def press(self, name):
        """Sends a key and returns at once: no screenshots while the program works."""
        self._xdo("key", name)

    # -- output

    def screenshot(self):
        """The window's pixels, rows top first, 1250 x 600."""
        xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.display],
                             capture_output=True, timeout=30, check=True).stdout
        screen = parse_xwd(xwd)
        shot = screen.crop(self.origin[0], self.origin[1], WINDOW_W, WINDOW_H)
        self.last = shot
        return shot

    def settle(self, before=None, timeout=5.0, stable=False, quiet=0.1):
        """Waits for the window to show the effect of the last input. With `before`,
        until the picture differs from it (bounded by timeout); a double-buffered
        swap shows a whole frame at once, so one changed screenshot is the new
        frame. With `stable` (or without `before`), then also until two screenshots
        `quiet` seconds apart agree, for inputs that cause several redisplays."""
        deadline = time.monotonic() + timeout
        if before is None:
            time.sleep(quiet)
        shot = self.screenshot()
        if before is not None:
            while shot.data == before.data and time.monotonic() < deadline:
                time.sleep(0.03)
                shot = self.screenshot()
            if not stable:
                return shot
        while time.monotonic() < deadline:
            time.sleep(quiet)
            again = self.screenshot()
            if again.data == shot.data:
                break
            shot = again
        return self.last

    def wait_for_picture(self, timeout=15.0):
        """Waits until the window shows something other than black and is stable."""
        deadline = time.monotonic() + timeout
        while True:
            shot = self.screenshot()
            if any(shot.data[i] for i in range(0, len(shot.data), 997)):
                break
            check(time.monotonic() < deadline, "window stays black")
            time.sleep(0.1)
        return self.settle(None, timeout=max(1.0, deadline - time.monotonic()))

    def save(self, label, shot=None):
        """Keeps a screenshot as PNG under artifacts/<test>/<label>.png."""
        shot = shot or self.last
        if shot is None:
            return None
        os.makedirs(self.artifacts, exist_ok=True)
        path = os.path.join(self.artifacts, label + ".png")
        try:
            shot.save_png(path)
        except (subprocess.SubprocessError, OSError):
            return None
        return path


def gl_pixel(shot, x_gl, y_gl):
    """The window pixel GL draws for the unit square above and right of (x, y)."""
    return shot.px(int(x_gl), WINDOW_H - 1 - int(y_gl))


def find_colour_near(shot, x_gl, y_gl, predicate, radius=4):
    """True when some pixel within `radius` of (x, y) satisfies predicate."""
    for dy in range(-radius, radius + 1):
        for dx in range(-radius, radius + 1):
            x, y = int(x_gl) + dx, int(y_gl) + dy
            if 0 <= x < WINDOW_W and 0 <= y < WINDOW_H and predicate(gl_pixel(shot, x, y)):
                return True
    return False


# --- Running the tests of one file -------------------------------------------------


def main(tests):
    """Usage: test_x.py PROGRAM [TEST ...]; runs the named tests (all by default),
    prints one line per test and the closing count, and exits 1 on any failure."""
    if len(sys.argv) < 2:
        print("usage: %s PROGRAM [TEST ...]" % sys.argv[0], file=sys.stderr)
        sys.exit(2)
    program = sys.argv[1]
    names = sys.argv[2:] or [t.__name__ for t in tests]
    by_name = {t.__name__: t for t in tests}
    passed = failed = 0
    for name in names:
        if name not in by_name:
            print("unknown test %s" % name, file=sys.stderr)
            sys.exit(2)
        start = time.monotonic()
        try:
            by_name[name](program)
        except Exception:  # noqa: BLE001 -- every failure is reported, then counted
            failed += 1
            traceback.print_exc()
            print("FAIL %s (%.1f s)" % (name, time.monotonic() - start), flush=True)
        else:
            passed += 1
            print("ok   %s (%.1f s)" % (name, time.monotonic() - start), flush=True)
    print("%d passed, %d failed" % (passed, failed))
    sys.exit(1 if failed else 0)


# --- A net over the default pictures ---------------------------------------------

# Vertical curves, left-most first, each drawn downwards; horizontal curves,
# bottom-most first, each drawn from left to right. GL coordinates on the left
# panel. The points of a curve are unevenly spaced, so no tangent handle lands on
# another point (a press there would grab the handle instead).
NET_VERTICAL = [
    [(118, 490), (118, 322), (118, 242), (118, 110)],  # left edge of the face
    [(225, 490), (225, 322), (225, 242), (225, 110)],  # the nose line
    [(332, 490), (332, 322), (332, 242), (332, 110)],  # right edge of the face
]
NET_HORIZONTAL = [
    [(60, 242), (150, 242), (290, 242), (390, 242)],  # the mouth
    [(60, 322), (150, 322), (290, 322), (390, 322)],  # the eyes
    [(60, 377), (150, 377), (290, 377), (390, 377)],  # the fringe
]
NET = NET_VERTICAL + NET_HORIZONTAL

# Where the mirror of a left point goes on the right picture (as a left-panel
# position; the right panel is 800 pixels further): the right face is narrower and
# longer, its eyes higher and its mouth lower.
RESHAPE = {
    (118, 490): (130, 490), (118, 322): (136, 341), (118, 242): (136, 212),
    (118, 110): (125, 110),
    (225, 322): (225, 341), (225, 242): (225, 212),
    (332, 490): (320, 490), (332, 322): (314, 341), (332, 242): (314, 212),
    (332, 110): (325, 110),
    (60, 242): (60, 222), (150, 242): (160, 212), (290, 242): (282, 212), (390, 242): (390, 222),
    (60, 322): (60, 335), (150, 322): (165, 341), (290, 322): (280, 341), (390, 322): (390, 335),
    (60, 377): (60, 385), (150, 377): (155, 389), (290, 377): (285, 389), (390, 377): (390, 385),
}

# A right-click here touches no point: it ends the current curve.
EMPTY_SPOT = (425, 300)
MIRROR = 800


def draw_net(ws, curves=NET, each=False):
    """Clicks every point of every curve, ending each curve with a right-click.
    With `each`, waits for the redisplay of every click; otherwise sends a whole
    curve at once and waits once (the clicks do not depend on what is drawn)."""
    for curve in curves:
        if each:
            for x, y in curve:
                ws.click(x, y)
            ws.right_click(*EMPTY_SPOT, expect_change=False)
        else:
            ws.clicks(curve + [EMPTY_SPOT], buttons=[1] * len(curve) + [3])


def _in_reach(a, b):
    """Within the 8-pixel reach, with a pixel to spare for handles that lie
    between whole pixels."""
    return abs(a[0] - b[0]) < 9 and abs(a[1] - b[1]) < 9


def _first_step(point, target, blockers):
    """A first motion from `point` that keeps the point within reach and every
    blocker (a point or tangent handle tested before it) out of reach."""
    preferred = Workstation._towards(point[0], point[1], target[0], target[1])
    offsets = [preferred] + [(dx, dy) for r in (3, 5, 7) for dx, dy in
                             ((0, r), (0, -r), (r, 0), (-r, 0), (r, r), (-r, r), (r, -r), (-r, -r))]
    for dx, dy in offsets:
        pointer = (point[0] + dx, point[1] + dy)
        if not any(_in_reach(pointer, b) for b in blockers):
            return (dx, dy)
    raise TestFailure("no way to grab %s alone" % (point,))


def reshape_right_net(ws, curves=NET, moves=RESHAPE, each=False):
    """Drags the mirror points on the right picture to their new places.

    A press grabs, on the first motion event, the first point or tangent handle
    within 8 pixels in store order (left bank, then right bank; curves in order; a
    point before its own handle). The net is followed here as it changes, with the
    tangents the program derives, and each drag's first motion is chosen so that
    nothing tested before the point is within reach. With `each`, waits for the
    redisplay of every drag; otherwise sends all drags at once (the pauses between
    motion events let the program redraw)."""
    left = [list(c) for c in curves]
    right = [[(x + MIRROR, y) for x, y in c] for c in curves]

    def handles(curve):
        return default_tangent_ends(curve) if len(curve) >= 3 else []

    drags = []
    for c, curve in enumerate(curves):
        for k in reversed(range(len(curve))):
            point = curve[k]
            if point not in moves or moves[point] == point:
                continue
            start = right[c][k]
            target = (moves[point][0] + MIRROR, moves[point][1])
            blockers = [q for lc in left for q in lc + handles(lc)]
            blockers += [q for rc in right[:c] for q in rc + handles(rc)]
            blockers += right[c][:k] + handles(right[c])[:k]
            drags.append((start, target, _first_step(start, target, blockers)))
            right[c][k] = target
    if each:
        for start, target, first in drags:
            ws.drag(*start, *target, steps=6, first=first, pause=0.02)
        return ws.last
    return ws.drags(drags)


def default_tangent_ends(curve):
    """Where the red dots of a curve of 3 or more points with no tangent set end:
    point plus its derived tangent, truncated to whole pixels."""
    p = [tuple(map(float, q)) for q in curve]
    n = len(p)
    if n < 3:
        return []
    tangents = [None] * n

    def half(a, b):
        return ((a[0] - b[0]) / 2, (a[1] - b[1]) / 2)

    tangents[0] = ((2 * p[1][0] - p[2][0] - p[0][0]) / 2, (2 * p[1][1] - p[2][1] - p[0][1]) / 2)
    for k in range(1, n - 2):
        tangents[k] = half(p[k + 1], p[k - 1])
    m = n - 1
    d = half(p[m], p[m - 2])
    tangents[m - 1] = d
    phantom = (p[m][0] - p[m - 1][0] + p[m - 2][0], p[m][1] - p[m - 1][1] + p[m - 2][1])
    tangents[m] = half(phantom, p[m - 1])
    return [(int(q[0] + t[0]), int(q[1] + t[1])) for q, t in zip(p, tangents)]


# Exact colours of the program's drawing (GL colours 0 or 1 per channel).
def is_point_green(p):
    return p == (0, 255, 0)


def is_tangent_red(p):
    return p == (255, 0, 0)


def is_curve_white(p):
    return p == (255, 255, 255)
