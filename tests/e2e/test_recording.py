"""Record, stop, play, save and open, driven by clicks and typing as a user would."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

import desktop
from desktop import Tapewren, WindowManager, sox_stat, wait_for


class RecordingTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        desktop.needs_desktop(cls)
        cls.wm = WindowManager()

    @classmethod
    def tearDownClass(cls):
        cls.wm.stop()

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tapewren-e2e-")
        self.app = Tapewren()
        self.addCleanup(self.app.kill)
        self.addCleanup(shutil.rmtree, self.folder, True)

    def save_as(self, path):
        self.app.click("保存")
        self.app.dialog()
        time.sleep(0.3)
        self.app.type_text(path)
        self.app.key("Return")
        self.app.gone("dialog")

    def test_record_stop_play_save_thenOpenAndPlay(self):
        app = self.app
        self.assertEqual(app.button_states(), "1 1 1 0 1")
        self.assertIn("录音文件：当前录音文件为 Temp_Record_File.wav", app.labels())

        app.click("录音")
        wait_for(lambda: app.label_starting("录音开始时间为："), what="the start text")
        self.assertEqual(app.button_states(), "0 0 0 1 0")
        wait_for(lambda: app.label_starting("录音时间："), what="the recording clock")
        time.sleep(3)
        app.click("停止")
        wait_for(lambda: "停止..." in app.labels(), what="the stopped state")
        self.assertEqual(app.button_states(), "1 1 1 0 1")
        desktop.screenshot("recorded")

        app.click("播放")
        wait_for(lambda: "正在播放..." in app.labels(), what="playing")
        # The end-of-playback watch returns to the ready state by itself.
        wait_for(lambda: "停止..." in app.labels(), timeout=10, what="the end of playback")
        self.assertEqual(app.button_states(), "1 1 1 0 1")

        target = os.path.join(self.folder, "我的 录音 测试.wav")
        self.save_as(target)
        wait_for(lambda: f"文件：{target}" in app.labels(), what="the saved file's name")
        desktop.screenshot("saved")

        stat = sox_stat(target)
        self.assertAlmostEqual(stat["Length (seconds)"], 3.0, delta=0.6)
        self.assertAlmostEqual(stat["Rough   frequency"], 440, delta=15)


if __name__ == "__main__":
    unittest.main()
