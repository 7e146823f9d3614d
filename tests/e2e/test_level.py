"""While recording, the window shows that sound arrives, and says so when none does."""

import subprocess
import time
import unittest

import desktop
from desktop import showing, wait_for

NO_SIGNAL = "未检测到声音输入"


def value(node):
    try:
        return node.queryValue().currentValue
    except Exception:
        return None


class LevelTest(desktop.DesktopTest):
    def mute_input(self, muted):
        subprocess.run(["pactl", "set-source-mute", "vmic", "1" if muted else "0"], check=True)

    def test_meterShowsTheInput_andAMutedInputBringsTheWarning(self):
        app = self.start()
        meter = app.find("progress bar", "输入电平")

        def warning_shows():
            return any(showing(node) for node in app.find_all("label") if node.name == NO_SIGNAL)
        self.assertFalse(showing(meter))
        self.assertFalse(warning_shows())

        app.click("录音")
        # the test input's tone peaks at -6 dBFS
        wait_for(lambda: showing(meter) and value(meter) == -6, what="the meter to show the tone")
        desktop.screenshot("level-recording")

        self.addCleanup(self.mute_input, False)
        self.mute_input(True)
        muted = time.monotonic()
        wait_for(warning_shows, timeout=8, what="the no-signal warning")
        self.assertGreaterEqual(time.monotonic() - muted, 2.9)
        self.assertFalse(showing(meter))
        self.assertEqual(app.button_states(), "0 0 0 1 0")  # the recording goes on
        desktop.screenshot("level-no-signal")

        self.mute_input(False)
        unmuted = time.monotonic()
        wait_for(lambda: not warning_shows(), timeout=5, what="the warning to go")
        self.assertLess(time.monotonic() - unmuted, 1.5)
        wait_for(lambda: showing(meter), what="the meter back")

        app.click("停止")
        wait_for(lambda: not showing(meter), what="the meter to hide")
        self.assertFalse(warning_shows())


if __name__ == "__main__":
    unittest.main()
