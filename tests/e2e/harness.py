"""Runs the real monitor and its helper programs in throw-away folders, for the end-to-end tests."""

import fcntl
import os
import pty
import re
import shutil
import signal
import subprocess
import tempfile
import time
import xml.sax.saxutils

BIN_DIR = os.environ.get("VUR_BIN_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin"))
ARTIFACT_DIR = os.environ.get("VUR_ARTIFACT_DIR", os.path.join(BIN_DIR, "..", "artifacts"))
CFG_NAME = "DuvidudUvereverOzure.cfg"


# The lock file by which the monitor keeps to one instance per machine (the framework's, on /var/tmp).
INSTANCE_LOCK = "/var/tmp/juceAppLock_Dadovir Moisture Meter"


def another_instance_running():
    """Whether a monitor started elsewhere on this machine holds the single-instance lock."""
    if not os.path.exists(INSTANCE_LOCK):
        return False
    with open(INSTANCE_LOCK, "a") as f:
        try:
            fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError:
            return True
        fcntl.lockf(f, fcntl.LOCK_UN)
    return False


def binary(name):
    path = os.path.join(BIN_DIR, name)
    if not os.path.exists(path):
        raise FileNotFoundError(path)
    return path


def write_config(path, values):
    """Writes a configuration file the way the framework does (one VALUE element per line, CR LF)."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "", "<PROPERTIES>"]
    for key, val in values.items():
        lines.append('  <VALUE name=%s val=%s/>' % (xml.sax.saxutils.quoteattr(key), xml.sax.saxutils.quoteattr(str(val))))
    lines.append("</PROPERTIES>")
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


def read_config(path):
    values = {}
    with open(path, encoding="utf-8") as f:
        for m in re.finditer(r'<VALUE name="([^"]*)" val="([^"]*)"', f.read()):
            values[xml.sax.saxutils.unescape(m.group(1), {"&quot;": '"'})] = xml.sax.saxutils.unescape(m.group(2), {"&quot;": '"'})
    return values


class Sandbox:
    """TMPDIR, HOME and VUR_CONFIG_DIR in one temporary folder; the web checks point at a closed port."""

    def __init__(self, name="vur"):
        self.root = tempfile.mkdtemp(prefix="vur-e2e-%s-" % name)
        self.tmp = os.path.join(self.root, "tmp")
        self.home = os.path.join(self.root, "home")
        self.cfg_dir = os.path.join(self.root, "cfg")
        self.records = os.path.join(self.root, "records")
        for d in (self.tmp, self.home, self.cfg_dir, self.records):
            os.makedirs(d)
        self.cfg_file = os.path.join(self.cfg_dir, CFG_NAME)
        self.log_file = os.path.join(self.tmp, "vur.log")
        self.processes = []

    def env(self, **extra):
        env = dict(os.environ)
        env.update(TMPDIR=self.tmp, HOME=self.home, VUR_CONFIG_DIR=self.cfg_dir,
                   VUR_WEB_BASE_URL="http://127.0.0.1:9")
        env.update(extra)
        return env

    def log(self):
        """The log as written: vur.log.old (where a log that reached its limit went) and vur.log."""
        text = ""
        for path in (self.log_file + ".old", self.log_file):
            try:
                with open(path, encoding="utf-8", errors="replace") as f:
                    text += f.read()
            except FileNotFoundError:
                pass
        return text

    def wait_for_log(self, pattern, timeout=30.0, count=1):
        deadline = time.time() + timeout
        regex = re.compile(pattern)
        while time.time() < deadline:
            if len(regex.findall(self.log())) >= count:
                return True
            time.sleep(0.1)
        raise AssertionError("log never showed %r within %.0f s; log ends:\n%s" % (pattern, timeout, self.log()[-4000:]))

    def start_vur(self, **env):
        # A test that starts a second monitor beside its own means to; any other holder is a stranger.
        own_running = any(p.poll() is None for p in self.processes if p.args and p.args[0] == binary("vur"))
        if not own_running and another_instance_running():
            raise AssertionError("another vur holds the single-instance lock %r (a demo or a second test run): "
                                 "a new one would exit at once" % INSTANCE_LOCK)
        return self.start_another_vur(**env)

    def start_another_vur(self, **env):
        """Starts the monitor without asking whether one already runs: for a test whose own first monitor
        holds the lock and whose second is to find it taken."""
        proc = subprocess.Popen([binary("vur")], env=self.env(**env), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(proc)
        return proc

    def start_meter(self, *args):
        """Starts the meter simulator on a new pseudo-terminal; returns (process, slave path)."""
        proc = subprocess.Popen([binary("vur-meter-sim"), "--pty"] + list(args), stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True)
        self.processes.append(proc)
        line = proc.stdout.readline().strip()
        if not line.startswith("PTY "):
            raise AssertionError("meter simulator said %r" % line)
        return proc, line[4:]

    def stop(self, proc, sig=signal.SIGTERM, timeout=30):
        if proc.poll() is None:
            proc.send_signal(sig)
        return proc.wait(timeout=timeout)

    def close(self):
        for proc in self.processes:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        if not os.environ.get("VUR_KEEP_TEST_FILES"):
            shutil.rmtree(self.root, ignore_errors=True)


def save_screenshot(name):
    """The whole X screen as a PNG artifact (needs ImageMagick's import)."""
    os.makedirs(ARTIFACT_DIR, exist_ok=True)
    path = os.path.join(ARTIFACT_DIR, name)
    subprocess.run(["import", "-window", "root", path], check=False, timeout=30)
    return path


class WebServer:
    """The maker's web server on loopback: files from a dictionary of path -> body, optional delays."""

    def __init__(self, pages, delays=None):
        import http.server
        import threading

        pages = dict(pages)
        delays = dict(delays or {})
        self.requests = []
        requests = self.requests

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                requests.append((self.path, self.headers.get("User-Agent", "")))
                time.sleep(delays.get(self.path, 0))
                body = pages.get(self.path)
                status = 200 if body is not None else 404
                if body is None:
                    body = "<html><body><h1>404 Not Found</h1></body></html>"
                data = body.encode()
                self.send_response(status)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d" % self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


def x_window_ids(name):
    out = subprocess.run(["xdotool", "search", "--name", name], capture_output=True, text=True)
    return [w for w in out.stdout.split() if w]


def press_key(key, window=None):
    args = ["xdotool", "key"]
    if window:
        args += ["--window", window]
    subprocess.run(args + [key], check=False)


def read_png_pixels(path):
    """(width, height, rows of (r, g, b)) of a PNG, decoded through ImageMagick."""
    ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
    parts = ppm.split(maxsplit=4)
    width, height = int(parts[1]), int(parts[2])
    data = parts[4]
    rows = []
    for y in range(height):
        row = data[y * width * 3:(y + 1) * width * 3]
        rows.append([tuple(row[x * 3:x * 3 + 3]) for x in range(width)])
    return width, height, rows


def red_text_bands(path):
    """The 20-pixel bands of the chart (from y 20 down) that hold red pixels: one per error text line."""
    _, height, rows = read_png_pixels(path)
    bands = set()
    for y, row in enumerate(rows):
        if any(r > 200 and g < 90 and b < 90 for r, g, b in row):
            bands.add(y // 20)
    return sorted(bands)
