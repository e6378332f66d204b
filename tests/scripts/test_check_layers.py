"""scripts/check-layers.sh on a copy of the tree's src/ and scripts/: it passes on the copy as it
is and on includes and links that the layers allow, and fails on every form of an include or a
link that goes upwards, of GStreamer outside the media layer and of Qt's Widgets outside the app
layer, each planted alone."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

LAYERS = ["settings", "detection", "media", "outputs", "app"]
BELOW = {
    "settings": [],
    "detection": ["settings"],
    "media": ["detection", "settings"],
    "outputs": ["detection", "settings"],
    "app": ["media", "outputs", "detection", "settings"],
}

# Every way of naming a header of the layer TARGET from a source of the layer LAYER.
LAYER_INCLUDES = [
    '#include "{target}/x.h"',
    "#include <{target}/x.h>",
    '#include "../{target}/x.h"',
    "#include <../{target}/x.h>",
    '#include "../../src/{target}/x.h"',
    "#include <../../src/{target}/x.h>",
    '#include "src/{target}/x.h"',
    "#include <src/{target}/x.h>",
    '#include "./../{target}/x.h"',
    '#include "{layer}/../{target}/x.h"',
    '#include"{target}/x.h"',
    "#include<{target}/x.h>",
    '# include "{target}/x.h"',
    '  #  include   <{target}/x.h>',
    '#\tinclude\t"../{target}/x.h"',
    '#include "{target}/x.h" // a comment',
    "#include_next <{target}/x.h>",
]

GSTREAMER_INCLUDES = [
    "#include <gst/gst.h>",
    '#include "gst/gst.h"',
    "#include <gst/app/gstappsink.h>",
    "#include <gstreamer-1.0/gst/gst.h>",
    "# include <gst/video/video.h>",
]

WIDGETS_INCLUDES = [
    "#include <QWidget>",
    "#include <QLabel>",
    '#include "QPushButton"',
    "#include <qlabel.h>",
    "#include <QtWidgets>",
    "#include <QtWidgets/QLabel>",
    "#include <QtWidgets/qwidget.h>",
    "# include <QApplication>",
    "#include <QtOpenGLWidgets/QOpenGLWidget>",
]

WIDGETS_LINKS = [
    "target_link_libraries(sentello_{layer} PRIVATE Qt6::Widgets)",
    "target_link_libraries(sentello_{layer} PUBLIC Qt::Widgets)",
]

GSTREAMER_LINKS = [
    "target_link_libraries(sentello_{layer} PRIVATE PkgConfig::GST)",
    "pkg_check_modules(GSTVIDEO REQUIRED IMPORTED_TARGET gstreamer-video-1.0)",
]

# What the layers may do: includes of their own layer and those below, the program's main with
# Widgets, Qt's non-widget modules anywhere (QAction is QtGui's in Qt 6).
ALLOWED = [
    ("media", '#include "../detection/x.h"'),
    ("app", "#include <media/x.h>"),
    ("app", '#include "../../src/outputs/x.h"'),
    ("detection", '#include "settings/x.h"'),
    ("detection", '#include "x.h"'),
    ("media", "#include <gst/gst.h>"),
    ("app", "#include <QtWidgets/QLabel>"),
    ("detection", "#include <QAction>"),
    ("outputs", "#include <QImage>"),
    ("settings", "#include <QString>"),
]


class CheckLayersTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="check-layers-")
        for part in ("src", "scripts"):
            shutil.copytree(os.path.join(TOP, part), os.path.join(cls.folder, part))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def run_check(self):
        return subprocess.run(
            [os.path.join(self.folder, "scripts", "check-layers.sh")],
            capture_output=True,
            text=True,
            timeout=60,
            check=False,
        )

    def planted(self, relative, line):
        """Runs the check with LINE as a new file's second line; the file goes afterwards."""
        path = os.path.join(self.folder, relative)
        with open(path, "w", encoding="utf-8") as planted:
            planted.write("// planted\n" + line + "\n")
        try:
            return self.run_check()
        finally:
            os.remove(path)

    def appended(self, relative, line):
        """Runs the check with LINE added to a file of the copy, which is put back afterwards."""
        path = os.path.join(self.folder, relative)
        with open(path, encoding="utf-8") as original:
            text = original.read()
        with open(path, "a", encoding="utf-8") as changed:
            changed.write(line + "\n")
        try:
            return self.run_check(), text.count("\n") + 1
        finally:
            with open(path, "w", encoding="utf-8") as restored:
                restored.write(text)

    def assert_fails(self, result, where):
        self.assertNotEqual(result.returncode, 0, result.stdout)
        self.assertIn(where, result.stderr)

    def test_the_tree_as_it_is_passes(self):
        result = self.run_check()
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_what_the_layers_may_include_passes(self):
        cases = ALLOWED + [("", "#include <QApplication>"), ("", '#include "app/startup.h"')]
        for layer, line in cases:
            with self.subTest(layer=layer or "program", line=line):
                result = self.planted(os.path.join("src", layer, "planted.cpp"), line)
                self.assertEqual(result.returncode, 0, result.stderr)

    def test_every_form_of_an_upward_include_fails(self):
        # Every upward pair in the two plain forms, and every form on one of the pairs in turn.
        upward = [(layer, target) for layer in LAYERS for target in LAYERS
                  if target != layer and target not in BELOW[layer]]
        cases = [(pair, form) for pair in upward for form in LAYER_INCLUDES[:2]]
        cases += [(upward[i % len(upward)], form) for i, form in enumerate(LAYER_INCLUDES)]
        for (layer, target), form in cases:
            line = form.format(layer=layer, target=target)
            with self.subTest(layer=layer, line=line):
                result = self.planted(os.path.join("src", layer, "planted.h"), line)
                self.assert_fails(result, f"src/{layer}/planted.h:2:")
                self.assertIn(f"the {target} layer", result.stderr)

    def test_gstreamer_outside_the_media_layer_fails(self):
        layers = ["settings", "detection", "outputs", "app", ""]
        for i, line in enumerate(GSTREAMER_INCLUDES):
            layer = layers[i % len(layers)]
            with self.subTest(layer=layer or "program", line=line):
                relative = os.path.join("src", layer, "planted.cpp")
                result = self.planted(relative, line)
                self.assert_fails(result, f"{relative}:2: only the media layer")

    def test_widgets_outside_the_app_layer_fails(self):
        layers = ["settings", "detection", "media", "outputs"]
        for i, line in enumerate(WIDGETS_INCLUDES):
            layer = layers[i % len(layers)]
            with self.subTest(layer=layer, line=line):
                result = self.planted(os.path.join("src", layer, "planted.cpp"), line)
                self.assert_fails(result, f"src/{layer}/planted.cpp:2: only the app layer")

    def test_linking_widgets_or_gstreamer_outside_their_layer_fails(self):
        cases = [(layer, WIDGETS_LINKS[i % len(WIDGETS_LINKS)])
                 for i, layer in enumerate(["settings", "detection", "media", "outputs"])]
        cases += [(layer, GSTREAMER_LINKS[i % len(GSTREAMER_LINKS)])
                  for i, layer in enumerate(["settings", "detection", "outputs", "app", ""])]
        for layer, form in cases:
            line = form.format(layer=layer or "program")
            with self.subTest(layer=layer or "program", line=line):
                relative = os.path.join("src", layer, "CMakeLists.txt")
                result, number = self.appended(relative, line)
                self.assert_fails(result, f"{relative}:{number}:")

    def test_a_folder_that_is_no_layer_fails(self):
        os.mkdir(os.path.join(self.folder, "src", "extra"))
        try:
            result = self.planted(os.path.join("src", "extra", "planted.cpp"), "int x;")
        finally:
            os.rmdir(os.path.join(self.folder, "src", "extra"))
        self.assert_fails(result, "src/extra/: no layer")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + ["-v"] + sys.argv[1:])
