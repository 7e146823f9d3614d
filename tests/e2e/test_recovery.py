"""A take survives the program: killed, or ended by the session, the next start gives it back."""

import glob
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest
import wave

import desktop
from desktop import sox_stat, wait_for

READY = "1 1 1 0 1"
NEW_FILE = "录音文件：当前录音文件为 Temp_Record_File.wav"
YES, NO, CANCEL = ("是(Y)", "&Yes", "Yes"), ("否(N)", "&No", "No"), ("取消", "Cancel")
OFFER = re.compile(r"发现上次未保存的录音（(\d+)分(\d+)秒，开始于 (\d{4}-\d\d-\d\d \d\d:\d\d)）。是否恢复？")


def frames(path):
    with wave.open(path, "rb") as sound:
        return sound.readframes(sound.getnframes()), sound.getsampwidth() * sound.getnchannels()


class RecoveryTest(desktop.DesktopTest):
    def setUp(self):
        super().setUp()
        self.folder = tempfile.mkdtemp(prefix="tapewren-recovery-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.state = os.path.join(self.folder, "state")
        self.spools = os.path.join(self.state, "tapewren")

    def start_here(self):
        return self.start(env={"XDG_STATE_HOME": self.state})

    def spool(self):
        found = glob.glob(os.path.join(self.spools, "take-*.wav"))
        self.assertEqual(len(found), 1, found)
        return found[0]

    def record(self, app):
        app.click("录音")
        wait_for(lambda: app.label_starting("录音开始时间为："), what="recording")
        return time.monotonic(), time.strftime("%Y-%m-%d %H:%M")

    def offer(self, app):
        """The start-up offer's text, checked against its pattern."""
        alert, texts = app.alert_text(timeout=15)
        self.assertEqual(alert.name, desktop.TITLE)
        self.assertEqual(app.alert_icon(alert), "question")
        offers = [m for m in map(OFFER.fullmatch, texts) if m]
        self.assertEqual(len(offers), 1, texts)
        return offers[0]

    def test_killedWhileRecording_theNextStartGivesTheTakeBack(self):
        app = self.start_here()
        started, minute = self.record(app)
        time.sleep(3)
        killed = time.monotonic()
        app.kill()

        # sox reads the spool as it is: everything up to the kill but the last second at most
        spool = self.spool()
        length = sox_stat(spool)["Length (seconds)"]
        self.assertGreaterEqual(length, killed - started - 1.0)
        self.assertLessEqual(length, killed - started + 0.5)
        self.assertAlmostEqual(sox_stat(spool)["Rough   frequency"], 440, delta=15)

        # Cancel keeps it for later; the program goes on with a new recording
        later = self.start_here()
        offer = self.offer(later)
        offered = int(offer[1]) * 60 + int(offer[2])
        self.assertEqual(offer[3], minute)
        desktop.screenshot("recovery-offer")
        later.press_box_button(*CANCEL)
        later.gone("alert")
        self.assertIn(NEW_FILE, later.labels())
        later.click("退出")
        self.assertEqual(later.wait_exit(), 0)
        self.assertEqual(self.spool(), spool)

        # Yes makes it the open recording, unsaved; saved, it is the take
        again = self.start_here()
        self.offer(again)
        again.press_box_button(*YES)
        again.gone("alert")
        self.assertIn(NEW_FILE, again.labels())
        self.assertEqual(again.button_states(), READY)
        target = os.path.join(self.folder, "回来的录音.wav")
        again.save_as(target)
        wait_for(lambda: f"文件：{target}" in again.labels(), what="the saved file's name")
        # all of it comes back, past the spool header's last second too
        saved = sox_stat(target)["Length (seconds)"]
        self.assertGreaterEqual(saved, length)
        self.assertLessEqual(saved, killed - started + 0.5)
        self.assertEqual(offered, int(saved))
        # saved, and ended as the user chose: nothing is left to offer
        again.click("退出")
        self.assertEqual(again.wait_exit(), 0)
        self.assertEqual(os.listdir(self.spools), [])

    def test_takeIntoAnOpenedFile_comesBackInsideIt_sampleExact(self):
        original = os.path.join(self.folder, "讲座.wav")
        subprocess.run(["sox", "-q", "-n", "-r", "44100", "-c", "2", "-b", "16", original,
                        "synth", "4", "sine", "200-3000", "sine", "300-1000"], check=True)
        app = self.start_here()
        app.open_file(original)
        wait_for(lambda: f"文件：{original}" in app.labels(), what="the opened file")
        # stop playback somewhere in the middle, then record into the file there
        status = app.status_label()
        app.click("播放")
        wait_for(lambda: app.text(status) == "正在播放...", what="playing")
        time.sleep(1.5)
        app.click("停止")
        wait_for(lambda: app.text(status) == "停止...", what="stopped")
        self.record(app)
        time.sleep(2)
        app.kill()

        again = self.start_here()
        self.offer(again)
        again.press_box_button(*YES)
        again.gone("alert")
        self.assertIn(f"文件：{original}", again.labels())
        recovered = os.path.join(self.folder, "recovered.wav")
        again.save_as(recovered)
        wait_for(lambda: f"文件：{recovered}" in again.labels(), what="the saved file's name")

        # the original before the take and after it, byte for byte, the take between
        before, frame = frames(original)
        after, _ = frames(recovered)
        self.assertGreater(len(after), len(before) + 44100 * frame)
        head = next(i for i in range(0, len(before), frame)
                    if before[i:i + frame] != after[i:i + frame])
        tail = len(before) - head
        self.assertEqual(after[-tail:], before[head:])
        # inside the file, where playback stopped (how far it got depends on the sink's start)
        self.assertGreater(head, 0)
        self.assertLess(head, len(before))

    def test_sessionEnd_leavesACompleteSpool_andNoDropsIt(self):
        app = self.start_here()
        self.record(app)
        time.sleep(2)
        os.kill(app.process.pid, signal.SIGTERM)
        self.assertEqual(app.wait_exit(), 0)

        spool = self.spool()
        with open(spool, "rb") as file:
            riff = file.read(12)
            # the chunks up to the sound, whatever their sizes
            while True:
                name, size = struct.unpack("<4sI", file.read(8))
                if name == b"data":
                    break
                file.seek(size + size % 2, os.SEEK_CUR)
            sound_starts = file.tell()
        self.assertEqual(riff[:4], b"RIFF")
        data_bytes = size
        self.assertEqual(data_bytes, os.path.getsize(spool) - sound_starts)
        self.assertGreaterEqual(data_bytes, 44100 * 4 * 1.8)

        later = self.start_here()
        self.offer(later)
        later.press_box_button(*NO)
        later.gone("alert")
        self.assertEqual(os.listdir(self.spools), [])
        self.assertIn(NEW_FILE, later.labels())


if __name__ == "__main__":
    unittest.main()
