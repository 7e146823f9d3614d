"""Drives the real Tapewren program from outside, as a user would.

The program runs under the X server and PulseAudio daemon of scripts/with-test-env.sh, with a
window manager (openbox) and a D-Bus session (the caller runs under dbus-run-session). Clicks and
keys go through xdotool; what a user would read comes from the accessibility tree (AT-SPI).
"""

import array
import atexit
import functools
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

import pyatspi
import Xlib.display
import Xlib.error
import Xlib.X

PROGRAM_DIR = os.environ.get("TAPEWREN_PROGRAM_DIR", "")
PROGRAM = os.path.join(PROGRAM_DIR, "tapewren")
CAPTION = "Tapewren 音频录音机 V2.1"
TITLE = "Tapewren音频录音机"
ARTIFACTS = os.environ.get("TAPEWREN_ARTIFACTS", os.path.join(os.getcwd(), "e2e-artifacts"))
# Built beside the tests in the build tree; CTest names it.
STYLE_ICONS = os.environ.get("TAPEWREN_STYLE_ICONS",
                             os.path.join(PROGRAM_DIR, os.pardir, "tests", "e2e",
                                          "tapewren_e2e_style_icons"))
RATE = 44100
CHANNELS = 2
# A 10 ms block whose RMS passes this carries the test tone; the null sink's silence is exact zeros.
TONE_RMS = 1000


# Under the sanitizers the program starts and answers several times slower.
TIMEOUT_SCALE = float(os.environ.get("TAPEWREN_TIMEOUT_SCALE", "1"))


def wait_for(predicate, timeout=10.0, interval=0.05, what="condition"):
    deadline = time.monotonic() + timeout * TIMEOUT_SCALE
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


def client_area(window):
    """A window's client area on the screen, as the X server has it: (x, y, width, height)."""
    out = subprocess.run(["xwininfo", "-id", str(window)], capture_output=True, text=True,
                         check=True).stdout
    values = {}
    for line in out.splitlines():
        key, _, value = line.strip().partition(":")
        if key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            values[key] = int(value)
    return (values["Absolute upper-left X"], values["Absolute upper-left Y"], values["Width"],
            values["Height"])


def bind_keys(text):
    """Gives every character of text a key of its own on the keyboard map.

    Without it xdotool rebinds a spare key for each character the map lacks while it types,
    and the program, still reading the previous map, loses some of those characters."""
    screen = Xlib.display.Display()
    try:
        first = screen.display.info.min_keycode
        count = screen.display.info.max_keycode - first + 1
        keymap = screen.get_keyboard_mapping(first, count)
        mapped = {sym for syms in keymap for sym in syms if sym}
        free = [first + i for i, syms in enumerate(keymap) if not any(syms)]
        changed = False
        for char in dict.fromkeys(text):
            sym = ord(char) if ord(char) < 0x100 else 0x01000000 | ord(char)
            if sym in mapped:
                continue
            if not free:
                raise AssertionError("no free key left on the keyboard map")
            screen.change_keyboard_mapping(free.pop(0), [(sym, sym)])
            mapped.add(sym)
            changed = True
        screen.sync()
    finally:
        screen.close()
    if changed:
        # Let the program take in the new map before the first key arrives.
        time.sleep(0.2)


def pids_under_pointer():
    """The processes that own the windows the pointer is over, from the top-level down."""
    screen = Xlib.display.Display()
    try:
        pid_atom = screen.intern_atom("_NET_WM_PID")
        pids = set()
        window = screen.screen().root
        while True:
            child = window.query_pointer().child
            if not getattr(child, "id", 0):
                return pids
            pid = child.get_full_property(pid_atom, Xlib.X.AnyPropertyType)
            if pid:
                pids.add(pid.value[0])
            window = child
    except Xlib.error.XError:
        return set()  # a window went away meanwhile: ask again
    finally:
        screen.close()


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
        wait_for(self._managing, what="the window manager")

    @staticmethod
    def _managing():
        result = subprocess.run(["wmctrl", "-m"], capture_output=True, text=True, check=False)
        return result.returncode == 0 and "Openbox" in result.stdout

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=5)


class Tapewren:
    """One running copy of the program."""

    def __init__(self, program_dir=None, env=None, wait_window=True, args=()):
        self.program_dir = program_dir or PROGRAM_DIR
        environment = program_environment(env)
        os.makedirs(ARTIFACTS, exist_ok=True)
        self.log = tempfile.NamedTemporaryFile(prefix="tapewren-", suffix=".log", dir=ARTIFACTS,
                                               delete=False)
        self.process = subprocess.Popen([os.path.join(self.program_dir, "tapewren"), *args],
                                        env=environment, stdout=self.log,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        self._app = None
        if wait_window:
            try:
                self.window = wait_for(lambda: self.own_window(), what="the main window")
            except AssertionError:
                self.kill()  # not left holding the single-instance lock for the tests after
                raise

    def own_window(self):
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
        """The Enabled values of New, Record, Play, Stop and Save, as "1 1 1 0 1"."""
        captions = ("新建", "录音", "播放", "停止", "保存")

        def read():
            states = {}
            for node in self._walk(self.app()):
                try:
                    if node.getRoleName() == "push button" and node.name in captions:
                        states[node.name] = node.getState().contains(pyatspi.STATE_ENABLED)
                except Exception:
                    continue
            return states if len(states) == len(captions) else None
        states = wait_for(read, what="the recorder's buttons")
        return " ".join("1" if states[c] else "0" for c in captions)

    def text(self, node):
        """A label's text, or None while the accessibility bus does not answer in time."""
        try:
            return node.name
        except Exception:
            if not self.running():
                raise AssertionError(f"the program ended (exit code {self.process.returncode})")
            return None

    def status_label(self):
        """The status line: the upper of the main window's two labels (its text changes)."""
        def find():
            window = self.find("filler", CAPTION)
            labels = [n for n in self._walk(window) if n.getRoleName() == "label" and showing(n)]
            return min(labels, key=lambda n: extents(n).y) if labels else None
        return wait_for(find, what="the status line")

    # Doing things as a user

    def click(self, caption, role="push button"):
        self.click_node(self.find(role, caption))

    def click_node(self, node):
        self.point_at(node)
        xdotool("click", "1")

    def point_at(self, node):
        """Moves the pointer onto node, once nothing else covers it there: a window that was
        just closed can linger on screen until the window manager takes its frame away."""
        point_at(node)
        wait_for(self._under_pointer, what="the program's window under the pointer")

    def _under_pointer(self):
        return self.process.pid in pids_under_pointer()

    def record_for(self, seconds, meanwhile=None):
        """Records for about the given time, measured from outside. Returns the shortest and
        the longest the recording can have been: from the start text showing to the Stop
        button let go, and from the Record click to the stopped text showing. meanwhile, if
        given, runs once the recording has started."""
        status = self.status_label()
        record, stop = self.find("push button", "录音"), self.find("push button", "停止")
        self.point_at(record)
        clicked = time.monotonic()
        xdotool("click", "1")
        wait_for(lambda: (self.text(status) or "").startswith("录音开始时间为："), interval=0.005,
                 what="the start text")
        started = time.monotonic()
        if meanwhile:
            meanwhile()
        self.point_at(stop)
        xdotool("mousedown", "1")
        time.sleep(max(0.0, started + seconds - time.monotonic()))
        xdotool("mouseup", "1")
        released = time.monotonic()
        wait_for(lambda: self.text(status) == "停止...", interval=0.005,
                 what="the stopped state")
        return released - started, time.monotonic() - clicked

    def file_dialog_ready(self):
        """Waits for the file dialog to take the keyboard: keys go to the focused window."""
        dialog = self.dialog()

        def name_box_focused():
            for node in self._walk(dialog):
                try:
                    if (node.getRoleName() == "text"
                            and node.getState().contains(pyatspi.STATE_FOCUSED)):
                        return True
                except Exception:
                    continue
            return False
        wait_for(name_box_focused, what="the file dialog's name box to take the focus")

    def file_dialog(self, path):
        """Types a path into the open file dialog and accepts it."""
        self.file_dialog_ready()
        self.type_text(path)
        self.key("Return")
        self.gone("dialog")

    def save_as(self, path):
        self.click("保存")
        self.file_dialog(path)

    def open_file(self, path):
        self.click("打开")
        self.file_dialog(path)

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
        bind_keys(text)
        xdotool("type", "--delay", "15", text)

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=10.0):
        return self.process.wait(timeout=timeout)

    def kill(self):
        if self.log.closed:
            return
        if self.running():
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait(timeout=5)
        elif self.process.returncode:
            self.log.write(f"[ended by itself, exit code {self.process.returncode}]\n".encode())
        self.log.close()

    def press_box_button(self, *captions):
        """Clicks the first button of a message box whose caption is among captions."""
        alert = self.alert()
        for node in self._walk(alert):
            if node.getRoleName() == "push button" and node.name in captions:
                self.click_node(node)
                return
        raise AssertionError(f"no button {captions} in the message box")

    def alert_icon(self, alert):
        """Which of the style's message-box icons the box shows, read from the screen."""
        icon = None
        for node in self._walk(alert):
            if node.getRoleName() == "image":
                icon = node
                break
        if icon is None:
            raise AssertionError("the message box shows no icon")
        # Right after the box appears it may not be painted yet.
        return wait_for(lambda: _icon_on_screen(extents(icon)), what="the box's icon on screen")


def program_environment(extra=None):
    environment = dict(os.environ)
    # A state folder of its own, so no recording another test left behind is offered at start.
    environment["XDG_STATE_HOME"] = tempfile.mkdtemp(prefix="tapewren-state-")
    environment["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    environment.pop("AT_SPI_BUS_ADDRESS", None)
    environment.pop("QT_QPA_PLATFORM", None)
    if extra:
        environment.update(extra)
    return environment


def extents(node):
    return node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def point_at(node):
    box = extents(node)
    x, y = box.x + box.width // 2, box.y + box.height // 2
    # "mousemove --sync" waits for the pointer to move, which it never does when it is there.
    here = dict(item.split(":") for item in xdotool("getmouselocation").split())
    if (int(here["x"]), int(here["y"])) != (x, y):
        xdotool("mousemove", "--sync", str(x), str(y))


def _rgb_pixels(*convert_args):
    result = subprocess.run(["convert", *convert_args, "-depth", "8", "rgb:-"],
                            capture_output=True, check=True)
    return result.stdout


@functools.lru_cache(maxsize=None)
def _style_icons():
    if not os.path.exists(STYLE_ICONS):
        raise AssertionError(f"{STYLE_ICONS} is not built")
    folder = tempfile.mkdtemp(prefix="tapewren-icons-")
    atexit.register(shutil.rmtree, folder, True)
    subprocess.run([STYLE_ICONS, folder], env=program_environment(), check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return {name[:-4]: os.path.join(folder, name) for name in os.listdir(folder)}


def _icon_on_screen(box):
    """Names the style icon drawn in box on screen, or None while none of them is there."""
    shot = tempfile.NamedTemporaryFile(suffix=".png", delete=False)
    shot.close()
    try:
        subprocess.run(["import", "-window", "root", shot.name], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        best, best_distance = None, None
        for name, path in _style_icons().items():
            width, height = (int(v) for v in subprocess.run(
                ["identify", "-format", "%w %h", path], capture_output=True, text=True,
                check=True).stdout.split())
            x = box.x + (box.width - width) // 2
            crop = _rgb_pixels(shot.name, "-crop", f"{width}x{height}+{x}+{box.y}", "+repage")
            if len(crop) != width * height * 3:
                continue
            # The icon's transparent corners show the box's own background.
            background = "rgb({},{},{})".format(*crop[:3])
            reference = _rgb_pixels(path, "-background", background, "-flatten")
            distance = sum(abs(a - b) for a, b in zip(crop, reference)) / len(crop)
            if best_distance is None or distance < best_distance:
                best, best_distance = name, distance
        return best if best_distance is not None and best_distance < 4 else None
    finally:
        os.unlink(shot.name)


def fresh_runtime_dir():
    folder = tempfile.mkdtemp(prefix="tapewren-run-")
    os.chmod(folder, 0o700)
    return folder


class PlaybackCapture:
    """Records what is played into the null sink "out", from its monitor."""

    def __init__(self):
        self.file = tempfile.NamedTemporaryFile(prefix="tapewren-heard-", suffix=".raw",
                                                delete=False)
        before = self._recorders()
        self.process = subprocess.Popen(
            ["parec", "-d", "out.monitor", "--raw", f"--rate={RATE}", f"--channels={CHANNELS}",
             "--format=s16le", "--latency-msec=20"], stdout=self.file,
            stderr=subprocess.DEVNULL)
        wait_for(lambda: len(self._recorders()) > len(before), what="the capture to connect")

    @staticmethod
    def _recorders():
        out = subprocess.run(["pactl", "list", "short", "source-outputs"], capture_output=True,
                             text=True, check=False).stdout
        return [line for line in out.splitlines() if line.strip()]

    def samples(self):
        data = array.array("h")
        with open(self.file.name, "rb") as raw:
            data.frombytes(raw.read())
        if len(data) % CHANNELS:
            del data[-(len(data) % CHANNELS):]
        return data

    def stop_after_tone(self, quiet=0.2):
        """Stops once a tone was heard and has been followed by quiet seconds of silence."""
        quiet_samples = int(quiet * RATE) * CHANNELS

        def tone_then_quiet():
            data = self.samples()
            if len(data) < quiet_samples:
                return False
            tail = data[-quiet_samples:]
            return max(abs(v) for v in tail) < TONE_RMS and _tone_blocks(data)
        try:
            wait_for(tone_then_quiet, timeout=10, interval=0.1, what="the played tone to end")
        finally:
            self.process.terminate()
            self.process.wait(timeout=5)
            self.file.close()

    def tone(self):
        """How many seconds of tone were heard, and sox's statistics of them. Silence that a
        busy sound server slips into the stream is left out of both."""
        data = self.samples()
        blocks = _tone_blocks(data)
        if not blocks:
            raise AssertionError("no tone was heard")
        block = RATE // 100 * CHANNELS
        loud = set(blocks)
        heard = array.array("h")
        for index in blocks:
            # A block at the edge of a gap breaks the wave off, which sox takes for a higher pitch.
            if index - 1 in loud and index + 1 in loud:
                heard.extend(data[index * block:(index + 1) * block])
        stat = sox_stat("-", raw_input=heard.tobytes())
        return len(blocks) / 100, stat

    def remove(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=5)
        self.file.close()
        os.unlink(self.file.name)


def _tone_blocks(data):
    """Indexes of the 10 ms blocks that carry sound."""
    block = RATE // 100 * CHANNELS
    loud = []
    for index in range(len(data) // block):
        chunk = data[index * block:(index + 1) * block]
        if (sum(v * v for v in chunk) / len(chunk)) ** 0.5 > TONE_RMS:
            loud.append(index)
    return loud


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


def sox_stat(path, raw_input=None):
    """sox's statistics of a sound, mixed to one channel first (its frequency guess is wrong on
    two). With raw_input, path is "-" and the bytes are 16-bit stereo at the test rate."""
    source = [path]
    if raw_input is not None:
        source = ["-t", "raw", "-r", str(RATE), "-e", "signed", "-b", "16", "-c", str(CHANNELS),
                  path]
    result = subprocess.run(["sox", *source, "-n", "remix", "-", "stat"], input=raw_input,
                            capture_output=True, check=True)
    values = {}
    for line in result.stderr.decode().splitlines():
        if ":" in line:
            key, _, value = line.partition(":")
            try:
                values[key.strip()] = float(value.strip())
            except ValueError:
                pass
    return values


class DesktopTest(unittest.TestCase):
    """Tests that start the program under one window manager. The screen at the end of each
    test is kept beside the other screenshots."""

    @classmethod
    def setUpClass(cls):
        needs_desktop(cls)
        cls.wm = WindowManager()

    @classmethod
    def tearDownClass(cls):
        cls.wm.stop()

    def setUp(self):
        self._started = False

    def tearDown(self):
        # Before the cleanups end the programs.
        if self._started:
            screenshot(self.id().rsplit(".", 1)[-1] + "-end")

    def start(self, **kwargs):
        app = Tapewren(**kwargs)
        self.addCleanup(app.kill)
        self._started = True
        return app


def needs_desktop(test_case):
    if not os.environ.get("DISPLAY") or not os.environ.get("TAPEWREN_TEST_PULSE"):
        raise unittest.SkipTest("needs scripts/with-test-env.sh (Xvfb and the PulseAudio test server)")
    if not os.path.exists(PROGRAM):
        raise unittest.SkipTest("the program is not built")
