"""The Python module `tovrak`, built with CMake from this source tree.

    python3 -m venv --system-site-packages .venv       # Debian's numpy comes along
    .venv/bin/pip install --no-build-isolation .

Nothing is downloaded: CMake, a C++17 compiler and Debian's pybind11-dev, python3-dev,
python3-numpy, libhwy-dev, libeigen3-dev and libjpeg-dev must be there
(scripts/install-deps.sh installs them).
"""
import glob
import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(ROOT, "CMakeLists.txt")) as cmake_lists:
    VERSION = re.search(r"project\(Tovrak VERSION ([0-9.]+)", cmake_lists.read()).group(1)


class CMakeBuild(build_ext):
    """Builds the module's CMake target (the library alone, without the program) and copies it in."""

    def build_extension(self, ext):
        build = os.path.join(os.path.abspath(self.build_temp), "cmake")
        os.makedirs(build, exist_ok=True)
        generator = ["-G", "Ninja"] if shutil.which("ninja") else []
        subprocess.check_call(["cmake", "-S", ROOT, "-B", build, *generator, "-DCMAKE_BUILD_TYPE=Release",
                               "-DTOVRAK_PROGRAM=OFF", "-DTOVRAK_LIBRARY=OFF", "-DTOVRAK_PYTHON=ON",
                               "-DBUILD_TESTING=OFF", "-DPYTHON_EXECUTABLE=" + sys.executable])
        subprocess.check_call(["cmake", "--build", build, "--target", "tovrak_python", "-j", str(os.cpu_count() or 2)])
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(glob.glob(os.path.join(build, "python", "tovrak*.so"))[0], target)


setup(
    name="tovrak",
    version=VERSION,
    description="The printed target's pose in webcam frames, camera calibration and teaching image steps",
    long_description=open(os.path.join(ROOT, "docs", "api.md")).read() if os.path.exists(os.path.join(ROOT, "docs", "api.md")) else "",
    long_description_content_type="text/markdown",
    ext_modules=[Extension("tovrak", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    install_requires=["numpy"],
    python_requires=">=3.9",
    zip_safe=False,
)
