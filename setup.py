"""Builds the extension module of the megcxc package with CMake.

The package's pure-Python files are python/megcxc; the module _megcxc is the
CMake target of the same name, configured in a temporary build tree without
tests, GUI or benchmarks and copied next to them.
"""
import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = os.path.join(os.path.abspath(self.build_temp), "cmake")
        os.makedirs(build_dir, exist_ok=True)
        configure = [
            "cmake", "-S", HERE, "-B", build_dir, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
            "-DMEGCXC_BUILD_TESTS=OFF", "-DMEGCXC_BUILD_UI=OFF", "-DMEGCXC_BUILD_PYTHON=ON",
            f"-DPython3_EXECUTABLE={sys.executable}",
        ]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 2))
        subprocess.run(["cmake", "--build", build_dir, "--target", "_megcxc", "-j", jobs], check=True)
        built = os.path.join(build_dir, "python", "megcxc", os.path.basename(self.get_ext_filename(ext.name)))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built, target)


setup(
    # Apart from build/, the CMake tree of a normal build.
    options={"build": {"build_base": "build-pip"}},
    packages=["megcxc"],
    package_dir={"": "python"},
    package_data={"megcxc": ["*.pyi", "py.typed"]},
    ext_modules=[Extension("megcxc._megcxc", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
