"""Builds rovurer._rovurer with CMake for pip (pyproject.toml has the rest)."""
import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

source = Path(__file__).resolve().parent


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        subprocess.run(["cmake", "-S", str(source), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        "-DBUILD_TESTING=OFF", "-DROVURER_PYTHON=ON", "-DROVURER_SERVER=OFF",
                        f"-DPython3_EXECUTABLE={sys.executable}"], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "_rovurer", "--parallel",
                        str(os.cpu_count() or 1)], check=True)
        built = build / "python" / "rovurer" / Path(self.get_ext_filename(ext.name)).name
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(ext_modules=[CMakeExtension("rovurer._rovurer")], cmdclass={"build_ext": CMakeBuild})
