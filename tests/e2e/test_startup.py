"""Start-up without the skin file and without any sound server."""

import os
import shutil
import unittest

import desktop
from desktop import TITLE, wait_for

READY = "1 1 1 0 1"
NEW_FILE = "录音文件：当前录音文件为 Temp_Record_File.wav"


class StartUpTest(desktop.DesktopTest):
    def record_then_stop(self, app):
        app.click("录音")
        wait_for(lambda: app.label_starting("录音开始时间为："), what="the start text")
        self.assertEqual(app.button_states(), "0 0 0 1 0")
        app.click("停止")
        wait_for(lambda: "停止..." in app.labels(), what="the stopped state")
        self.assertEqual(app.button_states(), READY)

    def test_missingSkin_startsWithoutAMessage_andWorks(self):
        self.assertTrue(os.path.exists(os.path.join(desktop.PROGRAM_DIR, "default.skn")))
        folder = desktop.program_folder_copy(without=("default.skn",))
        self.addCleanup(shutil.rmtree, folder, True)

        app = self.start(program_dir=folder)
        # Start-up runs before the window is shown, so a message from it would be up by now.
        self.assertFalse(app.find_all("alert"))
        self.assertEqual(app.button_states(), READY)
        self.assertIn(NEW_FILE, app.labels())
        desktop.screenshot("no-skin")
        self.record_then_stop(app)

    def test_noSoundServer_reportsAtStartUp_thenStaysReady(self):
        runtime = desktop.fresh_runtime_dir()
        self.addCleanup(shutil.rmtree, runtime, True)
        app = self.start(wait_window=False,
                         env={"PULSE_SERVER": "unix:/nonexistent", "XDG_RUNTIME_DIR": runtime})

        alert, texts = app.alert_text(timeout=15)
        self.assertIsNone(app.own_window(), "the window is shown before the message")
        self.assertEqual(alert.name, TITLE)
        self.assertTrue(any("声音服务" in text for text in texts), texts)
        self.assertEqual(app.alert_icon(alert), "information")
        desktop.screenshot("no-server-start")
        app.press_box_button("确定", "OK")

        app.window = wait_for(app.own_window, what="the main window after the message")
        self.assertEqual(app.button_states(), READY)
        labels = sorted(app.labels())
        self.assertIn(NEW_FILE, labels)

        app.click("录音")
        alert, texts = app.alert_text()
        self.assertEqual(alert.name, TITLE)
        self.assertTrue(any("声音服务" in text for text in texts), texts)
        desktop.screenshot("no-server-record")
        app.press_box_button("确定", "OK")
        app.gone("alert")
        self.assertEqual(app.button_states(), READY)
        self.assertEqual(sorted(app.labels()), labels)


if __name__ == "__main__":
    unittest.main()
