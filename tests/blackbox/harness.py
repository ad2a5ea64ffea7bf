"""The black-box harness: the real program in a Wine prefix of its own, driven from outside.

Every check gets a fresh copy of a prepared template prefix (fonts, crash dialog off, the file printer, the browser
recorder), its own HOME and its own Xvfb through scripts/wine-run. The program runs as C:\\Quillbox\\Quillbox.exe;
qbdriver.exe does what must happen inside the prefix (windows, input, probes, locks), and this side seeds files,
reads their bytes and times, serves the update check and reads what the browser recorder was given.
"""

import http.server
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WINE_RUN = ROOT / "scripts" / "wine-run"
PRINTER = "Quillbox Test Printer"
# The port the printer prints to: the Wine spooler maps it to a file of the check's folder.
PRINTER_PORT = "LPT1:"
PROGRAM_FOLDER = "C:\\Quillbox\\"
PROGRAM = PROGRAM_FOLDER + "Quillbox.exe"
BROWSER = "C:\\qb\\qbbrowser.exe"
BOM = b"\xef\xbb\xbf"


class CheckFailed(Exception):
    pass


class DiedSilently(CheckFailed):
    """A Windows program ended with a failure before writing anything."""


def expect(condition, message):
    if not condition:
        raise CheckFailed(message)


# How long a wait for the program lasts before it is taken for a hang: far longer than a busy machine needs, so
# that it never decides a check. The driver's own waits end sooner.
HANG = 90
# What Wine's loader says when it could not map a new process's fixed pages, before any of the program ran (seen once
# in a full run, on a driver's keys): nothing was done, and a second start goes through.
WINE_NOT_STARTED = "failed to map the shared user data"
WINE_START_ATTEMPTS = 3

# The driver's commands that only look or wait: asking one twice changes nothing.
DRIVER_QUERIES = {"windows", "wait-window", "wait-gone", "boxes", "children", "foreground", "style", "front", "idle",
                  "settle", "probe", "places", "peak"}


def wait_until(condition, timeout=HANG, step=0.1):
    """True once condition() holds, False after timeout seconds."""
    end = time.monotonic() + timeout
    while True:
        if condition():
            return True
        if time.monotonic() >= end:
            return False
        time.sleep(step)


def knot_text(root, children):
    """A knot file as the program writes it: UTF-8 with its mark, CR LF, tabs. children: (name, value) pairs of
    nodes under one child each, e.g. [("General", [("DataFileName", "C:\\x.qbx")])]."""
    lines = [f"<{root}>"]
    for node, keys in children:
        lines.append(f"\t<{node}>")
        for key, value in keys:
            escaped = value.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;").replace(">", "&gt;")
            lines.append(f'\t\t<{key} Value="{escaped}"/>')
        lines.append(f"\t</{node}>")
    lines.append(f"</{root}>")
    return BOM + ("\r\n".join(lines) + "\r\n").encode("utf-8")


def document_text(body_lines):
    """A data file: the document root with the given lines, one tab in."""
    lines = ['<Quillbox FormatVersion="1.1">'] + ["\t" + line for line in body_lines] + ["</Quillbox>"]
    return BOM + ("\r\n".join(lines) + "\r\n").encode("utf-8")


def unquote(text):
    """A text the driver wrote quoted."""
    text = text.strip()[1:-1]
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"r": "\r", "n": "\n"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


class Prefix:
    """A Wine prefix folder of scripts/wine-run: DIR/prefix, DIR/home, its own wineserver and Xvfb."""

    def __init__(self, folder):
        self.folder = Path(folder)
        self.env = dict(os.environ)
        # Each prefix starts its own Xvfb: nothing of the developer's display is touched.
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        # Wine's own errors go to the output a failed run reports: a program that dies inside Wine says why.
        self.env.setdefault("QB_WINEDEBUG", "err+all")

    @property
    def drive_c(self):
        return self.folder / "prefix" / "drive_c"

    def unix(self, windows_path):
        """The host path of a C: path."""
        expect(windows_path[:3].upper() == "C:\\", f"not on C: {windows_path}")
        return self.drive_c.joinpath(*[p for p in windows_path[3:].split("\\") if p])

    def run(self, args, timeout=60, check=True, env=None):
        """Runs a Windows program to its end; its output as text. The output goes through files, not pipes: a
        Wine service the program starts (the desktop's explorer.exe) inherits them and would hold a pipe open."""
        for attempt in range(WINE_START_ATTEMPTS):
            with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
                result = subprocess.run([str(WINE_RUN), "--dir", str(self.folder)] + [str(a) for a in args],
                                        env={**self.env, **(env or {})}, stdout=out, stderr=err, timeout=timeout)
                out.seek(0)
                err.seek(0)
                text = out.read().decode("utf-8", "replace")
                errors = err.read().decode("utf-8", "replace")
            if result.returncode != 0 and not text and WINE_NOT_STARTED in errors and attempt + 1 < WINE_START_ATTEMPTS:
                # Wine's loader gave up before the program ran, so nothing it would do was done: it is started again.
                print(f"started again: {args[0]}: {errors.strip()[-300:]}", file=sys.stderr)
                continue
            if check and result.returncode != 0:
                raise (DiedSilently if not text else CheckFailed)(f"{args[0]} {' '.join(str(a) for a in args[1:])} ended with {result.returncode}: "
                                  f"{text}{errors[-2000:]}")
            return text

    def spawn(self, args, env=None, log=None):
        """Starts a Windows program and returns its process; wine-run waits for the program, so the exit code is
        the program's."""
        out = open(log, "ab") if log else subprocess.DEVNULL
        return subprocess.Popen([str(WINE_RUN), "--dir", str(self.folder)] + [str(a) for a in args],
                                env={**self.env, **(env or {})}, stdout=out, stderr=subprocess.STDOUT)

    def stop(self):
        subprocess.run([str(WINE_RUN), "--dir", str(self.folder), "--stop"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


class Tools:
    """Where the built pieces are."""

    def __init__(self, build, program, driver, browser):
        self.build = Path(build)
        self.program = Path(program)
        self.driver = Path(driver)
        self.browser = Path(browser)
        self.root = self.build / "blackbox"
        self.template = self.root / "template"


def prepare_template(tools):
    """The prefix every check copies: made once per build tree, again when a tool or the prefix preparation of
    scripts/wine-run is newer than it (a copy prepared the old way would be prepared again, losing the program)."""
    ready = tools.template / "ready"
    newest = max(tools.driver.stat().st_mtime, WINE_RUN.stat().st_mtime)
    if ready.exists() and ready.stat().st_mtime >= newest:
        return
    if tools.template.exists():
        Prefix(tools.template).stop()
        shutil.rmtree(tools.template)
    tools.template.mkdir(parents=True)
    prefix = Prefix(tools.template)
    try:
        prefix.run(["wineboot.exe"], timeout=300, check=False)
        qb = prefix.drive_c / "qb"
        qb.mkdir(parents=True, exist_ok=True)
        shutil.copy2(tools.browser, qb / "qbbrowser.exe")
        for key, value in (("HKCR\\http\\shell\\open\\command", f'"{BROWSER}" "%1"'),
                           ("HKCR\\https\\shell\\open\\command", f'"{BROWSER}" "%1"')):
            prefix.run(["reg", "add", key, "/ve", "/t", "REG_SZ", "/d", value, "/f"])
        out = prefix.run([tools.driver, "install-printer", PRINTER, PRINTER_PORT])
        expect("installed" in out, f"the printer was not installed: {out}")
    finally:
        prefix.stop()
    ready.touch()


class Session:
    """One check: a fresh prefix with the program in it, the driver, and the program's files."""

    def __init__(self, tools, name):
        self.tools = tools
        self.name = name
        self.folder = tools.root / "work" / name
        if self.folder.exists():
            Prefix(self.folder).stop()
            shutil.rmtree(self.folder)
        self.folder.parent.mkdir(parents=True, exist_ok=True)
        # Copied without the template's lock and display files.
        shutil.copytree(tools.template, self.folder, symlinks=True,
                        ignore=shutil.ignore_patterns("lock", "xvfb.*", "ready"))
        self.prefix = Prefix(self.folder)
        program = self.prefix.unix(PROGRAM)
        program.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(tools.program, program)
        self.log = self.folder / "program.log"
        self.process = None
        self.env = {}
        self._places = None

    # -- the driver --------------------------------------------------------------------------------------------

    def driver(self, *args, timeout=HANG, check=True):
        command = [self.tools.driver] + list(args)
        if args and args[0] in DRIVER_QUERIES:
            try:
                return self.prefix.run(command, timeout=timeout, check=check)
            except DiedSilently as failure:
                # The driver names every failure of its own; one that says nothing died inside Wine on a loaded
                # machine before it could ask. A question that changes nothing is asked again.
                print(f"asked again: {failure}", file=sys.stderr)
        return self.prefix.run(command, timeout=timeout, check=check)

    def driver_spawn(self, *args):
        return self.prefix.spawn([self.tools.driver] + list(args), log=self.folder / "driver.log")

    def keys(self, *tokens):
        self.driver("keys", *tokens)

    def boxes(self):
        """The visible dialogs: a list of (caption, [(class, id, text) of each control])."""
        found = []
        for line in self.driver("boxes").splitlines():
            if line.startswith("box "):
                found.append((unquote(line[4:]), []))
            elif found and line.strip():
                cls, ident, text = line.strip().split(" ", 2)
                found[-1][1].append((cls, int(ident), unquote(text)))
        return found

    def children(self, window_class="TMainForm"):
        """Descendants of the window: (depth, class, visible)."""
        result = []
        for line in self.driver("children", window_class).splitlines():
            depth = (len(line) - len(line.lstrip(" "))) // 2
            parts = line.split(" ")
            parts = [p for p in parts if p]
            if len(parts) >= 2:
                result.append((depth, parts[0], parts[1] == "visible"))
        return result

    # -- places ------------------------------------------------------------------------------------------------

    def places(self):
        if self._places is None:
            out = self.driver("places", PROGRAM)
            self._places = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        return self._places

    def settings_folder(self):
        p = self.places()
        if p["CompanyName"] and p["ProductName"]:
            return f"{p['LocalAppData']}\\{p['CompanyName']}\\{p['ProductName']}\\"
        return PROGRAM_FOLDER

    def settings_file(self):
        return self.settings_folder() + "Quillbox.settings"

    def session_file(self):
        return self.settings_folder() + "Quillbox.session"

    def data_folder(self):
        p = self.places()
        return f"{p['Documents']}\\{p['ProductName']}\\" if p["ProductName"] else PROGRAM_FOLDER

    def data_file(self):
        return self.data_folder() + "Quillbox.qbx"

    def write(self, windows_path, data):
        path = self.prefix.unix(windows_path)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)

    def read(self, windows_path):
        path = self.prefix.unix(windows_path)
        return path.read_bytes() if path.exists() else None

    def exists(self, windows_path):
        return self.prefix.unix(windows_path).exists()

    def seed_settings(self, general):
        self.write(self.settings_file(), knot_text("Quillbox", [("General", general)]))

    # -- the program -------------------------------------------------------------------------------------------

    def start(self, wait_shown=True):
        self.process = self.prefix.spawn([PROGRAM], env=self.env, log=self.log)
        if wait_shown:
            self.wait_window()

    def wait_window(self, window_class="TMainForm", timeout=60):
        out = self.driver("wait-window", window_class, str(timeout * 1000), timeout=timeout + 30, check=False)
        expect("qbdriver:" not in out, f"no window of class {window_class}: {self.describe()}")

    def wait_hidden_main(self, timeout=HANG):
        """The main window exists, shown or not (a later start stays in the notification area)."""
        ok = wait_until(lambda: "TMainForm" in self.driver("windows"), timeout, 0.3)
        expect(ok, f"no main window: {self.describe()}")
        self.driver("idle", "TMainForm")

    def focus(self):
        self.driver("foreground", "TMainForm")
        self.driver("idle", "TMainForm")

    def idle(self):
        self.driver("idle", "TMainForm")

    def wait_exit(self, timeout=HANG):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise CheckFailed(f"the program did not end: {self.describe()}")

    def close(self, timeout=HANG):
        """Ends the program as its File > Exit does: the main window closes."""
        if self.process and self.process.poll() is None:
            self.driver("post", "TMainForm", "WM_CLOSE")
            return self.wait_exit(timeout)
        return self.process.returncode if self.process else None

    def describe(self):
        text = ""
        try:
            text += self.driver("windows", timeout=20, check=False)
            text += self.driver("boxes", timeout=20, check=False)
        except Exception as error:  # the description is best effort
            text += str(error)
        if self.log.exists():
            text += self.log.read_bytes().decode("utf-8", "replace")[-3000:]
        return text

    def finish(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
        self.prefix.stop()


class AppInfoServer:
    """The update server on 127.0.0.1: serves appinfo.xml and counts the requests with their agents."""

    def __init__(self, body):
        self.body = body
        self.requests = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                server.requests.append((self.path, self.headers.get("User-Agent", "")))
                if self.path == "/appinfo.xml":
                    self.send_response(200)
                    self.send_header("Content-Type", "text/xml")
                    self.send_header("Content-Length", str(len(server.body)))
                    self.end_headers()
                    self.wfile.write(server.body)
                else:
                    self.send_error(404)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.address = f"http://127.0.0.1:{self.httpd.server_address[1]}/"
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def browser_log(session):
    """The lines the browser recorder was started with."""
    data = session.read("C:\\qb\\browser.log")
    return data.decode("utf-8").splitlines() if data else []


class TrickleServer:
    """An update server on 127.0.0.1 that answers the status line and then trickles a header, a byte every step
    seconds, without end: until the client leaves or the server closes. Counts the requests."""

    def __init__(self, step=0.5):
        self.step = step
        self.requests = 0
        self.closing = threading.Event()
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.address = f"http://127.0.0.1:{self.listener.getsockname()[1]}/"
        self.threads = [threading.Thread(target=self._accept, daemon=True)]
        self.threads[0].start()

    def _accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            thread = threading.Thread(target=self._answer, args=(client,), daemon=True)
            self.threads.append(thread)
            thread.start()

    def _answer(self, client):
        with client:
            request = b""
            while b"\r\n\r\n" not in request:
                data = client.recv(4096)
                if not data:
                    return
                request += data
            self.requests += 1
            try:
                client.sendall(b"HTTP/1.1 200 OK\r\nX-Slow: ")
                while not self.closing.wait(self.step):
                    client.sendall(b"x")
            except OSError:
                pass

    def close(self):
        self.closing.set()
        # A shut listener wakes the accept waiting on it; a closed one would not.
        try:
            self.listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.listener.close()
        for thread in self.threads:
            thread.join(10)
