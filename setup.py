"""Builds the Python package with its library: CMake builds the C interface
(`libvorl_exchange_c`, the static library behind an export list of `vx_` names
alone), and the package directory gets it beside the Python files, with a
`_library.py` naming it, so the installed package loads it without any search
path. The wheel is tagged for this platform but any Python 3, since the
package reaches the library through ctypes, not the Python C API.
"""

import os
import pathlib
import re
import shutil
import subprocess

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

try:
    from wheel.bdist_wheel import bdist_wheel
except ImportError:  # no wheel package: `pip install` still works, `pip wheel` needs python3-wheel
    bdist_wheel = None

SOURCE = pathlib.Path(__file__).resolve().parent
VERSION = re.search(r"project\(vorl_exchange VERSION (\d+\.\d+\.\d+)", (SOURCE / "CMakeLists.txt").read_text()).group(1)


class build_with_cmake(build_py):
    """Copies the package's Python files, then builds its library with CMake and puts it beside them."""

    def run(self):
        super().run()
        build_dir = pathlib.Path(self.get_finalized_command("build").build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(SOURCE), "-B", str(build_dir), "-DCMAKE_BUILD_TYPE=Release",
                     "-DBUILD_SHARED_LIBS=OFF", "-DVORL_EXCHANGE_BUILD_PYTHON=ON"]
        configure += [f"-DVORL_EXCHANGE_{part}=OFF" for part in ("BUILD_TESTS", "BUILD_TOOLS", "BUILD_EXAMPLES",
                                                                 "BUILD_BENCH", "INSTALL")]
        if shutil.which("ninja") and not (build_dir / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "vorl_exchange_c",
                        "--parallel", str(os.cpu_count() or 1)], check=True)
        built = build_dir / "python" / "vorl_exchange"
        library = re.search(r'LIBRARY = "([^"]+)"', (built / "_library.py").read_text()).group(1)
        package = pathlib.Path(self.build_lib) / "vorl_exchange"
        shutil.copy2(built / library, package / library)
        (package / "_library.py").write_text(
            f'# Written by setup.py.\nLIBRARY = "{library}"\nVERSION = "{VERSION}"\n')


commands = {"build_py": build_with_cmake}
if bdist_wheel is not None:

    class platform_wheel(bdist_wheel):
        """A wheel for this platform (it holds a shared library) and any Python 3."""

        def get_tag(self):
            return ("py3", "none", super().get_tag()[2])

    commands["bdist_wheel"] = platform_wheel

class library_distribution(Distribution):
    """Holds a compiled library, so it is built and installed per platform."""

    def has_ext_modules(self):
        return True


setup(
    distclass=library_distribution,
    version=VERSION,
    packages=["vorl_exchange"],
    package_dir={"": "python"},
    package_data={"vorl_exchange": ["py.typed"]},
    cmdclass=commands,
)
