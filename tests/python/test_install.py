"""cmake --install puts the package into the interpreter's package folder
below the prefix, where it imports and finds the installed library."""

import os
import subprocess
import sys

import pytest


def test_installed_package_imports_and_reads(tmp_path, samples):
    build, cmake = os.environ.get("VEX_BUILD_DIR"), os.environ.get("VEX_CMAKE", "cmake")
    if not build:
        pytest.skip("VEX_BUILD_DIR is not set (run through ctest)")
    prefix = tmp_path / "prefix"
    subprocess.run([cmake, "--install", build, "--prefix", str(prefix)], check=True, capture_output=True)
    found = sorted(prefix.rglob("vexutil/__init__.py"))
    assert len(found) == 1, found
    package_dir = found[0].parent.parent
    assert package_dir.name in ("site-packages", "dist-packages")
    assert any(p.name.startswith("_vexutil") for p in found[0].parent.iterdir())
    assert (found[0].parent / "__init__.pyi").exists() and (found[0].parent / "py.typed").exists()
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LD_LIBRARY_PATH")}
    env["PYTHONPATH"] = str(package_dir)
    script = ("import vexutil, sys; r = vexutil.open(sys.argv[1]); print(vexutil.__file__, len(r), r[0].shape);"
              "import vexutil._vexutil as m; print(m.__file__)")
    out = subprocess.run([sys.executable, "-c", script, os.path.join(samples, "pattern.flc")], env=env, check=True,
                         capture_output=True, text=True).stdout.split()
    assert out[0].startswith(str(package_dir)) and out[-1].startswith(str(package_dir))
    assert out[1:4] == ["60", "(200,", "320)"]
    # the module found the installed library, not the build's
    maps = subprocess.run([sys.executable, "-c", "import vexutil; print(open('/proc/self/maps').read())"], env=env,
                          check=True, capture_output=True, text=True).stdout
    libraries = {line.split()[-1] for line in maps.splitlines() if "libvexutil.so" in line}
    assert libraries and all(lib.startswith(str(prefix)) for lib in libraries), libraries
