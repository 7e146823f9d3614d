"""Record, stop, play, save and open, driven by clicks and typing as a user would."""

import os
import shutil
import tempfile
import unittest

import desktop
from desktop import PlaybackCapture, sox_stat, wait_for

READY = "1 1 1 0 1"
NEW_FILE = "录音文件：当前录音文件为 Temp_Record_File.wav"


class RecordingTest(desktop.DesktopTest):
    def setUp(self):
        super().setUp()
        self.folder = tempfile.mkdtemp(prefix="tapewren-e2e-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.app = self.start()

    def play_and_listen(self):
        """Plays the current sound and returns what the null sink heard: (seconds, sox stat)."""
        app = self.app
        status = app.status_label()
        heard = PlaybackCapture()
        self.addCleanup(heard.remove)
        app.click("播放")
        wait_for(lambda: app.text(status) == "正在播放...", what="playing")
        # The end-of-playback watch returns to the ready state by itself.
        wait_for(lambda: app.text(status) == "停止...", timeout=15, what="the end of playback")
        self.assertEqual(app.button_states(), READY)
        heard.stop_after_tone()
        return heard.tone()

    def test_record_stop_play_save_thenOpenAndPlay(self):
        app = self.app
        self.assertEqual(app.button_states(), READY)
        self.assertIn(NEW_FILE, app.labels())

        def while_recording():
            self.assertEqual(app.button_states(), "0 0 0 1 0")
            wait_for(lambda: app.label_starting("录音时间："), what="the recording clock")
            desktop.screenshot("recording")

        shortest, longest = app.record_for(3.0, meanwhile=while_recording)
        self.assertEqual(app.button_states(), READY)
        desktop.screenshot("recorded")
        first_heard, first_stat = self.play_and_listen()

        target = os.path.join(self.folder, "我的 录音 测试.wav")
        app.save_as(target)
        wait_for(lambda: f"文件：{target}" in app.labels(), what="the saved file's name")
        desktop.screenshot("saved")

        # The file holds what was recorded, as far as it can be timed from outside.
        saved = sox_stat(target)
        length = saved["Length (seconds)"]
        self.assertGreaterEqual(length, shortest - 0.2)
        self.assertLessEqual(length, longest + 0.2)
        self.assertAlmostEqual(saved["Rough   frequency"], 440, delta=15)
        self.assertAlmostEqual(first_heard, length, delta=0.3)
        self.assertAlmostEqual(first_stat["Rough   frequency"], 440, delta=15)

        # A new, empty recording, then the saved file opened by typing its path: what plays is
        # the file.
        app.click("新建")
        wait_for(lambda: NEW_FILE in app.labels(), what="the new recording")
        app.open_file(target)
        wait_for(lambda: f"文件：{target}" in app.labels(), what="the opened file's name")
        self.assertEqual(app.button_states(), READY)
        desktop.screenshot("opened")

        heard, stat = self.play_and_listen()
        self.assertAlmostEqual(heard, length, delta=0.3)
        self.assertAlmostEqual(stat["Rough   frequency"], 440, delta=15)


if __name__ == "__main__":
    unittest.main()
