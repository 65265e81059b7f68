"""The installed package imports in a fresh interpreter, away from the build folder."""

import os
import subprocess
import sys
from pathlib import Path

import pytest


@pytest.mark.skipif("ORTHOMIX_BUILD_DIR" not in os.environ, reason="needs the build folder and cmake")
def test_the_installed_module_imports_and_fits(tmp_path):
    prefix = tmp_path / "prefix with space"
    subprocess.run([os.environ["ORTHOMIX_CMAKE"], "--install", os.environ["ORTHOMIX_BUILD_DIR"], "--prefix",
                    str(prefix)], check=True, stdout=subprocess.DEVNULL)
    packages = [path.parent for path in prefix.rglob("orthomix/__init__.py")]
    assert len(packages) == 1, packages
    assert list(packages[0].glob("_core*.so")) and (packages[0] / "__init__.pyi").exists()
    environment = {key: value for key, value in os.environ.items() if key != "PYTHONPATH"}
    environment["PYTHONPATH"] = str(packages[0].parent)
    script = ("import orthomix; "
              "m = orthomix.OrthoMix(k=2, n_init=1, seed=1).fit("
              "([[0., 1.], [1., 0.], [5., 6.], [6., 5.]], ['a', 'b', 'c', 'd']), "
              "([[0., 1.], [1., 0.], [5., 6.], [6., 5.]], ['w', 'x', 'y', 'z']), "
              "[('a', 'w'), ('b', 'x'), ('c', 'y'), ('d', 'z')]); "
              "print(m.k_); print(orthomix.__file__)")
    shown = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, env=environment, check=True,
                           capture_output=True, text=True).stdout.splitlines()
    assert shown[0] == "2" and Path(shown[1]).is_relative_to(prefix), shown
