"""Commands from another process: `tapewren --toggle` and its kin, as a desktop shortcut or a
launcher's menu runs them."""

import subprocess
import unittest

import desktop
from desktop import TITLE, visible_windows, wait_for

READY = "1 1 1 0 1"
RECORDING = "0 0 0 1 0"


def command(*args):
    """Runs the program with args as a shortcut would: (status, what it printed on stderr)."""
    result = subprocess.run([desktop.PROGRAM, *args], env=desktop.program_environment(),
                            capture_output=True, text=True, timeout=15, check=False)
    return result.returncode, result.stderr.strip()


class RemoteTest(desktop.DesktopTest):
    def test_commands_reachTheRunningCopy_andAreRefusedAsClicksWouldBe(self):
        app = self.start()

        self.assertEqual(command("--toggle"), (0, ""))
        wait_for(lambda: app.button_states() == RECORDING, what="the take to start")
        self.assertEqual(visible_windows(TITLE), [])  # no "already running" box
        status, reason = command("--record")
        self.assertEqual(status, 1)
        self.assertIn("已经在录音", reason)
        self.assertNotIn("\n", reason)

        # Ctrl+Q asks about the unsaved take; while the box is up, commands are held back too
        subprocess.run(["xdotool", "windowfocus", "--sync", app.window], check=True)
        app.key("ctrl+q")
        app.alert()
        status, reason = command("--stop")
        self.assertEqual(status, 1)
        self.assertIn("对话框", reason)
        app.press_box_button("取消", "Cancel")
        app.gone("alert")
        self.assertEqual(app.button_states(), RECORDING)

        self.assertEqual(command("--stop"), (0, ""))
        wait_for(lambda: app.button_states() == READY, what="the take to stop")

    def test_aCommandWithNoCopyRunning_startsTheProgram_thenCarriesItOut(self):
        app = self.start(args=("--record", "--stop-after", "3s"))
        wait_for(lambda: app.button_states() == RECORDING, what="the take to start")
        timed = app.label_starting("将于 ")
        self.assertTrue(timed and timed.endswith(" 自动停止"), timed)
        wait_for(lambda: app.button_states() == READY, timeout=8, what="the timed stop")


if __name__ == "__main__":
    unittest.main()
