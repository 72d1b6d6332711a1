"""Builds the extension module of the megcxc package with CMake.

The package's pure-Python files are python/megcxc; the module _megcxc is the
CMake target of the same name, configured in a temporary build tree without
tests, GUI or benchmarks (through ccache when it is installed) and copied next
to them. MEGCXC_BUILD_DIR names an existing CMake build tree of this checkout
to take the module from instead (it is brought up to date first), so that an
install check after a normal build compiles nothing again.
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
        build_dir = os.environ.get("MEGCXC_BUILD_DIR")
        if build_dir:
            build_dir = os.path.abspath(build_dir)
            if not os.path.isfile(os.path.join(build_dir, "CMakeCache.txt")):
                raise RuntimeError(f"MEGCXC_BUILD_DIR={build_dir} is not a configured CMake build tree")
        else:
            build_dir = os.path.join(os.path.abspath(self.build_temp), "cmake")
            os.makedirs(build_dir, exist_ok=True)
            configure = [
                "cmake", "-S", HERE, "-B", build_dir, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                "-DMEGCXC_BUILD_TESTS=OFF", "-DMEGCXC_BUILD_UI=OFF", "-DMEGCXC_BUILD_PYTHON=ON",
                f"-DPython3_EXECUTABLE={sys.executable}",
            ]
            if shutil.which("ninja"):
                configure += ["-G", "Ninja"]
            if shutil.which("ccache"):
                configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
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
