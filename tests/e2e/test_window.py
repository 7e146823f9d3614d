"""The window as a user sees it: the expander that shows the lower band."""

import unittest

import desktop
from desktop import CAPTION, client_area, extents, showing, wait_for

EXPANDER = "界面转换 -更多..."
BAND_BUTTONS = ("热辣图铃", "影视直播")


def inside(box, area):
    x, y, width, height = area
    return (box.x >= x and box.y >= y and box.x + box.width <= x + width
            and box.y + box.height <= y + height)


class ExpanderTest(desktop.DesktopTest):
    def band(self, app):
        nodes = [app.find("push button", caption) for caption in BAND_BUTTONS]
        banner = [n for n in app.find_all("frame") if n.name.startswith("访问Orba影视网首页")]
        self.assertEqual(len(banner), 1)
        return nodes + banner

    def test_expander_growsTheWindowOnce_andShowsTheLowerBand(self):
        app = self.start()
        area = client_area(app.window)
        self.assertEqual(area[2:], (372, 172))
        band = self.band(app)
        for node in band:
            self.assertFalse(inside(extents(node), area), f"{node.name} is in sight at start")

        expander = app.find("frame", EXPANDER)
        self.assertTrue(showing(expander))
        app.click_node(expander)

        wait_for(lambda: client_area(app.window)[3] != 172, what="the window to grow")
        area = client_area(app.window)
        self.assertEqual(area[2:], (372, 256))
        wait_for(lambda: not showing(expander), what="the expander to disappear")
        for node in band:
            self.assertTrue(showing(node), node.name)
            self.assertTrue(inside(extents(node), area), f"{node.name} is out of sight")
        # The window frame's own idea of its size agrees with the X server's.
        window = extents(app.find("filler", CAPTION))
        self.assertEqual((window.width, window.height), (372, 256))
        desktop.screenshot("expanded")


if __name__ == "__main__":
    unittest.main()
