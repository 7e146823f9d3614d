"""Start-up, the single-instance check, close requests and exit, on a real desktop."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

import desktop
from desktop import CAPTION, TITLE, wait_for, visible_windows

ALREADY_RUNNING = "Tapewren音频录音机已经运行！"
SAVE_PROMPT = "当前录音已经被更新，是否保存？"


class FrameTest(desktop.DesktopTest):
    def main_windows(self):
        return visible_windows(CAPTION)

    def test_secondLaunch_showsOnlyTheBox_andEnds(self):
        first = self.start()
        second = self.start(wait_window=False)

        alert, texts = second.alert_text()
        self.assertIn(ALREADY_RUNNING, texts)
        self.assertEqual(alert.name, TITLE)
        self.assertEqual(len(self.main_windows()), 1)
        desktop.screenshot("second-copy")
        second.press_box_button("确定", "OK")
        self.assertEqual(second.wait_exit(), 0)
        self.assertTrue(first.running())
        self.assertEqual(self.main_windows(), [first.window])

    def test_killedHolder_doesNotBlockTheNextStart(self):
        first = self.start()
        first.kill()
        wait_for(lambda: not self.main_windows(), what="the killed copy's window to go")
        again = self.start()
        self.assertTrue(again.running())

    def test_simultaneousStarts_giveExactlyOneWindow(self):
        copies = [self.start(wait_window=False) for _ in range(4)]
        wait_for(lambda: len(self.main_windows()) >= 1, what="a main window")

        # Every other copy shows the box and waits for it to be dismissed.
        def boxes():
            return sum(1 for copy in copies if copy.running() and copy.find_all("alert"))
        wait_for(lambda: boxes() == 3, timeout=20, what="three copies showing the box")
        self.assertTrue(all(copy.running() for copy in copies))
        self.assertEqual(len(self.main_windows()), 1)

    def test_closeRequests_areRefused(self):
        app = self.start()
        app.click("录音")
        wait_for(lambda: app.label_starting("录音开始时间为："), what="recording")
        # The window manager's close message, then the keyboard shortcut.
        subprocess.run(["wmctrl", "-c", CAPTION], check=True)
        time.sleep(0.5)
        subprocess.run(["xdotool", "windowactivate", "--sync", app.window], check=False)
        app.key("alt+F4")
        time.sleep(0.5)
        self.assertTrue(app.running())
        self.assertEqual(self.main_windows(), [app.window])
        self.assertFalse(app.find_all("alert"))
        self.assertEqual(app.button_states(), "0 0 0 1 0")

    def test_exit_asksOnlyWhenUnsaved_cancelKeepsRecording(self):
        app = self.start()
        app.click("录音")
        wait_for(lambda: app.label_starting("录音时间："), what="the recording clock")

        app.click("退出")
        alert, texts = app.alert_text()
        self.assertIn(SAVE_PROMPT, texts)
        self.assertEqual(alert.name, TITLE)
        clock = app.label_starting("录音时间：")
        wait_for(lambda: app.label_starting("录音时间：") != clock, timeout=5,
                 what="the clock to go on under the prompt")
        desktop.screenshot("exit-prompt")
        app.key("Escape")
        app.gone("alert")
        self.assertTrue(app.running())
        self.assertEqual(app.button_states(), "0 0 0 1 0")

        # Yes, then cancel the Save dialog: the recording is not lost, the program goes on.
        app.click("退出")
        app.alert()
        app.key("Return")  # Yes is the default button
        app.file_dialog_ready()
        app.key("Escape")
        app.gone("dialog")
        self.assertTrue(app.running())
        self.assertEqual(app.button_states(), "0 0 0 1 0")

        # Yes and a good save end the program with the file written.
        folder = tempfile.mkdtemp(prefix="tapewren-exit-")
        self.addCleanup(shutil.rmtree, folder, True)
        target = os.path.join(folder, "exit.wav")
        app.click("退出")
        app.alert()
        app.key("Return")
        app.file_dialog_ready()
        app.type_text(target)
        app.key("Return")
        self.assertEqual(app.wait_exit(timeout=15), 0)
        self.assertTrue(os.path.getsize(target) > 44)
        self.assertEqual([n for n in os.listdir(folder)], ["exit.wav"])

    def test_exit_withNothingUnsaved_endsAtOnce(self):
        app = self.start()
        app.click("退出")
        self.assertEqual(app.wait_exit(timeout=10), 0)


if __name__ == "__main__":
    unittest.main()
