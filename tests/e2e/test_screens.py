"""End-to-end tests of the window on other screens: at 96 and at 120 dots per inch it keeps its
800 x 480 pixels, its texts their height and the record-mode box its bold face (fonts follow
the dots per inch, Qt does not scale the window); and the event log's window, wholly on a
1280 x 1024 screen beside the main window, showing each new line while it is open."""

import os

from desktop import MAIN_WINDOW, DesktopTestCase, wait_until

WINDOW_TIMEOUT = 30
EXIT_TIMEOUT = 30
LOG_TIMEOUT = 15

# The texts of the record-mode check box (bold) and of the brightness label (normal), as
# regions of the window: x, y, width, height.
RECORD_MODE_TEXT = (534, 4, 222, 16)
BRIGHTNESS_TEXT = (328, 56, 184, 16)
# A point on the live picture, and on the clip list's first row.
LIVE_PICTURE = (100, 100)
FIRST_CLIP_ROW = (100, 284 + 22)

LOG_WINDOW = "Protokoll"


def dark_rows_and_runs(image):
    """The rows that hold text (pixels darker than the gadgets' grey and white), and the
    lengths of the text's horizontal strokes."""
    rows = set()
    runs = []
    for y in range(image.height):
        run = 0
        for x in range(image.width):
            r, g, b = image.pixel(x, y)
            if r + g + b < 3 * 96:
                rows.add(y)
                run += 1
            elif run:
                runs.append(run)
                run = 0
        if run:
            runs.append(run)
    return rows, runs


class WindowOnTheScreen:
    """The tests of one screen; the classes below give the screens."""

    def test_the_window_keeps_its_pixels_its_text_height_and_the_bold_box(self):
        sentello = self.start_sentello("--demo")
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.assertEqual(self.desktop.window_size(window), (800, 480))
        x, y, width, height = wait_until(lambda: self.desktop.frame(window), WINDOW_TIMEOUT,
                                         "a frame around the window")
        screen_width, screen_height = (int(size) for size in self.screen.split("x")[:2])
        self.assertTrue(x >= 0 and y >= 0 and x + width <= screen_width
                        and y + height <= screen_height, (x, y, width, height))

        def painted():
            """Both texts' rows and strokes, once the window has painted them: a window just
            mapped may still be dark all over."""
            shot = self.desktop.screenshot(window)
            texts = [dark_rows_and_runs(shot.crop(*region))
                     for region in (RECORD_MODE_TEXT, BRIGHTNESS_TEXT)]
            return all(0 < len(rows) < 16 for rows, _ in texts) and texts
        (bold_rows, bold_runs), (rows, runs) = wait_until(painted, WINDOW_TIMEOUT,
                                                          "the window's texts painted")
        # Tahoma 8 pt at 96 dots per inch, from the top of "A" to the bottom of "g": 11 pixels
        # (Qt's own scaling made 14 of them at 120).
        for text_rows in (bold_rows, rows):
            self.assertTrue(text_rows)
            self.assertIn(max(text_rows) - min(text_rows) + 1, range(9, 13), sorted(text_rows))
        # A bold stroke is about twice as wide as a normal one.
        self.assertGreater(sum(bold_runs) / len(bold_runs), 1.3 * sum(runs) / len(runs))
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)


class Screen96Test(WindowOnTheScreen, DesktopTestCase):
    screen = "1280x1024x24"

    def choose_from_menu(self, window, point, keys):
        """Opens a pop-up menu with the right button and chooses an item by keys. A click that
        brings no menu (seen now and then on the clip list) is given again."""
        others = set(self.desktop.run(["xdotool", "search", "--onlyvisible", "--class",
                                       "sentello"]).stdout.split())

        def menu():
            found = self.desktop.run(["xdotool", "search", "--onlyvisible", "--class",
                                      "sentello"], check=False).stdout.split()
            return next((shown for shown in found if shown not in others), None)

        def opened():
            self.desktop.run(["xdotool", "windowactivate", "--sync", str(window)])
            self.desktop.run(["xdotool", "mousemove", "--window", str(window), str(point[0]),
                              str(point[1]), "click", "3"])
            try:
                return wait_until(menu, 2, "the menu")
            except AssertionError:
                return None
        wait_until(opened, WINDOW_TIMEOUT, "a pop-up menu")
        self.desktop.run(["xdotool", "key", "--delay", "100"] + keys)

    def test_the_log_window_lies_on_the_screen_and_shows_new_lines(self):
        clip = "Video_Sentello_20110304211503.avi"
        sentello = self.start_sentello("--demo")
        os.makedirs(sentello.home, exist_ok=True)
        with open(os.path.join(sentello.home, clip), "wb") as made:
            made.write(b"RIFF")
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        wait_until(lambda: sentello.events(), LOG_TIMEOUT, "the start in the log")

        # "Protokoll anzeigen" is the menu's last item.
        self.choose_from_menu(window, LIVE_PICTURE, ["Up", "Return"])
        log_window = sentello.wait_for_window(LOG_WINDOW, WINDOW_TIMEOUT)
        main_frame = self.desktop.frame(window)

        def placed():
            frame = self.desktop.frame(log_window)
            return frame and frame[1] == main_frame[1] and frame
        x, y, width, height = wait_until(placed, WINDOW_TIMEOUT,
                                         "the log window beside the main window")
        self.assertTrue(x >= 0 and y >= 0 and x + width <= 1280 and y + height <= 1024,
                        (x, y, width, height))

        self.desktop.run(["xdotool", "windowactivate", "--sync", str(log_window)])
        before = self.desktop.screenshot(log_window)
        # "Video löschen": the second item, after the separator.
        self.choose_from_menu(window, FIRST_CLIP_ROW, ["Down", "Down", "Return"])
        wait_until(lambda: ["Video gelöscht", clip, "von Hand"] in sentello.events(),
                   LOG_TIMEOUT, "the deletion in the log" + sentello.describe())
        self.assertFalse(os.path.exists(os.path.join(sentello.home, clip)))

        def new_line_shown():
            self.desktop.run(["xdotool", "windowactivate", "--sync", str(log_window)])
            return self.desktop.screenshot(log_window).changed_pixels(before) > 100
        wait_until(new_line_shown, LOG_TIMEOUT, "the new line in the open log window")
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)


class Screen120Test(WindowOnTheScreen, DesktopTestCase):
    screen = "1024x600x24"
    dpi = 120
