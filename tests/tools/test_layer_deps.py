"""tools/layer-deps.py on small trees: what it lets pass and what fails it."""
import os
import subprocess
import sys
import tempfile
import unittest

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "layer-deps.py")


def run_on(files):
    """Writes the files (path -> the paths it includes) into a fresh tree and runs the tool on it."""
    with tempfile.TemporaryDirectory() as tree:
        for path, includes in files.items():
            full = os.path.join(tree, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w") as f:
                f.write("".join(f'#include "{i}"\n' for i in includes) + "#include <vector>\n")
        return subprocess.run([sys.executable, TOOL, tree], capture_output=True, text=True)


class LayerDeps(unittest.TestCase):
    def test_includes_down_the_layers_pass_and_are_drawn(self):
        result = run_on({
            "src-base/core/text.h": [],
            "src-base/platform/port.h": ["src-base/core/text.h"],
            "src-log/log.h": ["src-base/platform/port.h"],
            "src-cfg/core/sort.h": ["src-base/core/text.h"],
            "src-cfg/cfg.cpp": ["src-cfg/core/sort.h", "src-log/log.h", "tools/x.h"],
            "src-wnd/window.cpp": ["src-cfg/cfg.h", "src-wnd/core/stats.h"],
            "src-vur/app.cpp": ["src-wnd/window.h", "src-vur/core/version.h"],
        })
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("cfg        src-cfg/            -> log (1), cfg-core (1)", result.stdout)
        self.assertIn("no upward include, no circle", result.stdout)

    def test_each_kind_of_upward_include_fails(self):
        cases = {
            "platform includes a shell core": {"src-base/platform/port.h": ["src-wnd/core/settings.h"]},
            "the base core includes the platform": {"src-base/core/error.cpp": ["src-base/platform/errors.h"]},
            "a shell core includes its own shell layer": {"src-wnd/core/stats.cpp": ["src-wnd/tabcanvas.h"]},
            "a shell core includes the log": {"src-cfg/core/sort.cpp": ["src-log/log.h"]},
            "the window includes the application": {"src-wnd/vodaze.cpp": ["src-vur/kmmapp.h"]},
            "the log includes the configuration": {"src-log/log.cpp": ["src-cfg/cfg.h"]},
        }
        for what, files in cases.items():
            with self.subTest(what):
                result = run_on(files)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertIn("upward include: " + next(iter(files)) + ":1:", result.stderr)

    def test_a_circle_between_layers_is_named(self):
        result = run_on({
            "src-cfg/cfg.cpp": ["src-vur/kmmapp.h"],
            "src-vur/kmmapp.cpp": ["src-cfg/cfg.h"],
        })
        self.assertEqual(result.returncode, 1)
        self.assertIn("circle between layers: app -> cfg -> app", result.stderr)


if __name__ == "__main__":
    unittest.main()
