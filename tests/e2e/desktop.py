"""Drives the real Tapewren program from outside, as a user would.

The program runs under the X server and PulseAudio daemon of scripts/with-test-env.sh, with a
window manager (openbox) and a D-Bus session (the caller runs under dbus-run-session). Clicks and
keys go through xdotool; what a user would read comes from the accessibility tree (AT-SPI).
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

import pyatspi

PROGRAM_DIR = os.environ.get("TAPEWREN_PROGRAM_DIR", "")
PROGRAM = os.path.join(PROGRAM_DIR, "tapewren")
CAPTION = "Tapewren 音频录音机 V2.1"
TITLE = "Tapewren音频录音机"
ARTIFACTS = os.environ.get("TAPEWREN_ARTIFACTS", os.path.join(os.getcwd(), "e2e-artifacts"))


def wait_for(predicate, timeout=10.0, interval=0.05, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(interval)


def xdotool(*args, check=True):
    result = subprocess.run(["xdotool", *args], capture_output=True, text=True, check=False)
    if check and result.returncode != 0:
        raise AssertionError(f"xdotool {' '.join(args)} failed: {result.stderr.strip()}")
    return result.stdout.strip()


def visible_windows(name):
    out = xdotool("search", "--onlyvisible", "--name", f"^{name}$", check=False)
    return [w for w in out.split() if w]


def screenshot(name):
    os.makedirs(ARTIFACTS, exist_ok=True)
    path = os.path.join(ARTIFACTS, f"{name}.png")
    subprocess.run(["import", "-window", "root", path], check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return path


class WindowManager:
    """A small window manager, so the windows get frames and close requests go through it."""

    def __init__(self):
        self.process = subprocess.Popen(["openbox", "--sm-disable"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.3)

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=5)


class Tapewren:
    """One running copy of the program."""

    def __init__(self, program_dir=None, env=None, wait_window=True):
        self.program_dir = program_dir or PROGRAM_DIR
        environment = dict(os.environ)
        environment["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        environment.pop("AT_SPI_BUS_ADDRESS", None)
        environment.pop("QT_QPA_PLATFORM", None)
        if env:
            environment.update(env)
        os.makedirs(ARTIFACTS, exist_ok=True)
        self.log = tempfile.NamedTemporaryFile(prefix="tapewren-", suffix=".log", dir=ARTIFACTS,
                                               delete=False)
        self.process = subprocess.Popen([os.path.join(self.program_dir, "tapewren")],
                                        env=environment, stdout=self.log,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        self._app = None
        if wait_window:
            self.window = wait_for(lambda: self._own_window(), what="the main window")

    def _own_window(self):
        for w in visible_windows(CAPTION):
            if self._window_pid(w) == self.process.pid:
                return w
        return None

    @staticmethod
    def _window_pid(window):
        out = xdotool("getwindowpid", window, check=False)
        return int(out) if out.isdigit() else None

    # The accessibility tree

    def app(self):
        if self._app is None:
            def find():
                desktop = pyatspi.Registry.getDesktop(0)
                for i in range(desktop.childCount):
                    app = desktop.getChildAtIndex(i)
                    try:
                        if app is not None and app.get_process_id() == self.process.pid:
                            return app
                    except Exception:
                        continue
                return None
            self._app = wait_for(find, timeout=15, what="the program on the accessibility bus")
        return self._app

    def find(self, role, name=None, timeout=10.0):
        def search():
            for node in self._walk(self.app()):
                try:
                    if node.getRoleName() == role and (name is None or node.name == name):
                        return node
                except Exception:
                    continue
            return None
        return wait_for(search, timeout=timeout, what=f"{role} {name!r}")

    def find_all(self, role):
        found = []
        for node in self._walk(self.app()):
            try:
                if node.getRoleName() == role:
                    found.append(node)
            except Exception:
                continue
        return found

    def _walk(self, node):
        stack = [node]
        while stack:
            current = stack.pop()
            if current is None:
                continue
            yield current
            try:
                count = current.childCount
            except Exception:
                continue
            for i in range(count - 1, -1, -1):
                try:
                    stack.append(current.getChildAtIndex(i))
                except Exception:
                    pass

    def labels(self):
        return [node.name for node in self.find_all("label")]

    def label_starting(self, prefix):
        for text in self.labels():
            if text.startswith(prefix):
                return text
        return None

    def enabled(self, caption):
        button = self.find("push button", caption)
        return button.getState().contains(pyatspi.STATE_ENABLED)

    def button_states(self):
        return " ".join("1" if self.enabled(c) else "0"
                        for c in ("新建", "录音", "播放", "停止", "保存"))

    # Doing things as a user

    def click(self, caption, role="push button"):
        node = self.find(role, caption)
        extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        x = extents.x + extents.width // 2
        y = extents.y + extents.height // 2
        xdotool("mousemove", "--sync", str(x), str(y))
        xdotool("click", "1")

    def alert(self, timeout=10.0):
        return self.find("alert", None, timeout=timeout)

    def alert_text(self, timeout=10.0):
        alert = self.alert(timeout)
        texts = []
        for node in self._walk(alert):
            try:
                if node.getRoleName() == "label" and node.name:
                    texts.append(node.name)
            except Exception:
                pass
        return alert, texts

    def dialog(self, timeout=10.0):
        return self.find("dialog", None, timeout=timeout)

    def gone(self, role, timeout=10.0):
        def absent():
            return not self.find_all(role)
        wait_for(absent, timeout=timeout, what=f"no {role}")

    def key(self, *keys):
        xdotool("key", "--clearmodifiers", *keys)

    def type_text(self, text):
        xdotool("type", "--delay", "15", text)

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=10.0):
        return self.process.wait(timeout=timeout)

    def kill(self):
        if self.running():
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait(timeout=5)
        self.log.close()

    def press_box_button(self, *captions):
        """Clicks the first button of a message box whose caption is among captions."""
        alert = self.alert()
        for node in self._walk(alert):
            if node.getRoleName() == "push button" and node.name in captions:
                extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                xdotool("mousemove", "--sync", str(extents.x + extents.width // 2),
                        str(extents.y + extents.height // 2))
                xdotool("click", "1")
                return
        raise AssertionError(f"no button {captions} in the message box")


def program_folder_copy(without=()):
    """A copy of the program's folder, leaving out the named files."""
    folder = tempfile.mkdtemp(prefix="tapewren-program-")
    for name in os.listdir(PROGRAM_DIR):
        if name in without:
            continue
        source = os.path.join(PROGRAM_DIR, name)
        if os.path.isfile(source):
            shutil.copy2(source, os.path.join(folder, name))
    return folder


def sox_stat(path):
    result = subprocess.run(["sox", path, "-n", "remix", "1", "stat"], capture_output=True,
                            text=True, check=True)
    values = {}
    for line in result.stderr.splitlines():
        if ":" in line:
            key, _, value = line.partition(":")
            try:
                values[key.strip()] = float(value.strip())
            except ValueError:
                pass
    return values


def needs_desktop(test_case):
    if not os.environ.get("DISPLAY") or not os.environ.get("TAPEWREN_TEST_PULSE"):
        raise unittest.SkipTest("needs scripts/with-test-env.sh (Xvfb and the PulseAudio test server)")
    if not os.path.exists(PROGRAM):
        raise unittest.SkipTest("the program is not built")
