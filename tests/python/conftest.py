"""Set-up for the Python module's tests. CTest runs them with the build's
package folder on PYTHONPATH and these variables set:
  VEXUTIL_LIBRARY   libvexutil.so (the ctypes oracle's way in)
  VEX_KIND_SAMPLES  vex_write_kind_samples (one file of every input kind)
  VEX_SAMPLES       build/samples (the pattern movies)
  VEX_SOURCE_DIR    the source tree (the fuzz corpora)
Without the module (not built) every test module skips itself."""

import os
import subprocess

import pytest


def _need(variable):
    value = os.environ.get(variable)
    if not value:
        pytest.skip(f"{variable} is not set (run through ctest)")
    return value


@pytest.fixture(scope="session")
def kind_samples(tmp_path_factory):
    """{file name: kind code} of the kind samples, and their folder."""
    folder = tmp_path_factory.mktemp("kinds")
    out = subprocess.run([_need("VEX_KIND_SAMPLES"), str(folder)], check=True, capture_output=True, text=True).stdout
    kinds = {line.split()[0]: int(line.split()[1]) for line in out.splitlines()}
    return folder, kinds


@pytest.fixture(scope="session")
def samples():
    return _need("VEX_SAMPLES")


@pytest.fixture(scope="session")
def source_dir():
    return _need("VEX_SOURCE_DIR")
