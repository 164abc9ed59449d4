"""The vapoursynth-quillfen wheel: the VapourSynth module and its manifest.vs
in vapoursynth/plugins/quillfen, the folder VapourSynth R74 and later load
plugins from.

    python3 -m build --wheel --no-isolation

CMake builds the module (the quillfen_vapoursynth_wheel target) in
build-wheel/cmake, finding VapourSynth's headers as the project's build
does: QUILLFEN_VAPOURSYNTH_INCLUDE_DIR in the environment, pkg-config, or
CMAKE_PREFIX_PATH; CMAKE_TOOLCHAIN_FILE in the environment makes a cross
build. QUILLFEN_WHEEL_BUILD_DIR names a configured build tree to build it in
instead. The wheel's platform tag is read from the module itself.
"""
import functools
import os
import re
import shutil
import struct
import subprocess
from pathlib import Path

from setuptools import Distribution, setup
from setuptools.command.build_ext import build_ext
from wheel.bdist_wheel import bdist_wheel

ROOT = Path(__file__).resolve().parent
VERSION = re.search(r"^project\(Quillfen VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text(), re.M).group(1)
PLUGIN_FOLDER = Path("vapoursynth", "plugins", "quillfen")
GIVEN_BUILD_DIR = os.environ.get("QUILLFEN_WHEEL_BUILD_DIR")
BUILD_DIR = Path(GIVEN_BUILD_DIR).resolve() if GIVEN_BUILD_DIR else ROOT / "build-wheel" / "cmake"
# setuptools' own work, inside the build tree, so that wheels made from
# several build trees at once never share it.
SETUPTOOLS_DIR = BUILD_DIR / "wheel-setuptools"


@functools.cache
def build_plugin_folder():
    """Builds the module, once; returns the folder holding it and manifest.vs."""
    build_dir = BUILD_DIR
    if not GIVEN_BUILD_DIR:
        configure = ["cmake", "-S", str(ROOT), "-B", str(build_dir), "-DCMAKE_BUILD_TYPE=Release",
                     "-DQUILLFEN_VAPOURSYNTH=ON", "-DQUILLFEN_AVISYNTH=OFF"]
        if os.environ.get("QUILLFEN_VAPOURSYNTH_INCLUDE_DIR"):
            configure.append("-DQUILLFEN_VAPOURSYNTH_INCLUDE_DIR=" + os.environ["QUILLFEN_VAPOURSYNTH_INCLUDE_DIR"])
        subprocess.run(configure, check=True)
    subprocess.run(["cmake", "--build", str(build_dir), "--target", "quillfen_vapoursynth_wheel", "-j2"], check=True)
    return Path(build_dir) / "wheel" / "quillfen"


def module_path(folder):
    """The module manifest.vs names, with its file's extension."""
    names = [line.strip() for line in (folder / "manifest.vs").read_text().splitlines()[1:] if line.strip()]
    found = [folder / (name + suffix) for name in names for suffix in (".so", ".dll")
             if (folder / (name + suffix)).is_file()]
    if len(names) != 1 or len(found) != 1:
        raise RuntimeError(f"{folder}: manifest.vs should name one module there, and names {names}")
    return found[0]


# The oldest manylinux tag pip knows for each processor.
ELF_MACHINES = {62: ("x86_64", (2, 5)), 183: ("aarch64", (2, 17))}
PE_MACHINES = {0x8664: "win_amd64", 0xAA64: "win_arm64"}
GLIBC_LIBRARIES = re.compile(r"^(libc|libm|libpthread|libdl|librt|ld-linux[-.\w]*)\.so\.\d+$")


def elf_needs(data):
    """The libraries a 64-bit little-endian ELF file needs and the symbol
    versions it needs of each: ({library: set(versions)}, machine)."""
    machine, = struct.unpack_from("<H", data, 18)
    section_offset, = struct.unpack_from("<Q", data, 40)
    entry_size, count = struct.unpack_from("<HH", data, 58)
    sections = [struct.unpack_from("<IIQQQQIIQQ", data, section_offset + i * entry_size) for i in range(count)]

    def string(table, offset):
        start = sections[table][4] + offset
        return data[start:data.index(b"\0", start)].decode()

    needs = {}
    for _, kind, _, _, offset, size, link, _, _, _ in sections:
        if kind == 6:  # the dynamic section: its DT_NEEDED entries
            for position in range(offset, offset + size, 16):
                tag, value = struct.unpack_from("<qQ", data, position)
                if tag == 1:
                    needs.setdefault(string(link, value), set())
        elif kind == 0x6FFFFFFE:  # the versions needed, library by library
            position = offset
            while True:
                _, aux_count, file_name, aux, following = struct.unpack_from("<HHIII", data, position)
                versions = needs.setdefault(string(link, file_name), set())
                aux_position = position + aux
                for _ in range(aux_count):
                    _, _, _, name, aux_following = struct.unpack_from("<IHHII", data, aux_position)
                    versions.add(string(link, name))
                    aux_position += aux_following
                if not following:
                    break
                position += following
    return needs, machine


def platform_tag(module):
    data = module.read_bytes()
    if data[:2] == b"MZ":
        pe_offset, = struct.unpack_from("<I", data, 0x3C)
        machine, = struct.unpack_from("<H", data, pe_offset + 4)
        return PE_MACHINES[machine]
    if data[:4] != b"\x7fELF" or data[4] != 2 or data[5] != 1:
        raise RuntimeError(f"{module}: not a 64-bit little-endian ELF or PE file")
    needs, machine = elf_needs(data)
    arch, oldest = ELF_MACHINES[machine]
    # A manylinux tag promises the C library of that version and nothing
    # else: every library the module needs must be the C library's.
    others = sorted(library for library in needs if not GLIBC_LIBRARIES.match(library))
    if others:
        raise RuntimeError(f"{module} needs {', '.join(others)}, which no manylinux platform promises")
    glibc = [tuple(int(part) for part in version[6:].split(".")[:2])
             for versions in needs.values() for version in versions if version.startswith("GLIBC_")]
    major, minor = max(glibc + [oldest])
    return f"manylinux_{major}_{minor}_{arch}"


class BuildPluginFolder(build_ext):
    """Puts the module and its manifest.vs into the wheel's plugin folder."""

    def run(self):
        folder = build_plugin_folder()
        module = module_path(folder)
        target = Path(self.build_lib) / PLUGIN_FOLDER
        if target.exists():
            shutil.rmtree(target)
        target.mkdir(parents=True)
        for source in (folder / "manifest.vs", module):
            shutil.copy2(source, target / source.name)


class ModuleDistribution(Distribution):
    """Holds a module built outside setuptools: a wheel for one platform."""

    def has_ext_modules(self):
        return True


class PlatformWheel(bdist_wheel):
    """A wheel for the module's platform, for any Python 3."""

    def get_tag(self):
        return "py3", "none", platform_tag(module_path(build_plugin_folder()))


SETUPTOOLS_DIR.mkdir(parents=True, exist_ok=True)
setup(
    version=VERSION,
    packages=[],
    py_modules=[],
    distclass=ModuleDistribution,
    cmdclass={"build_ext": BuildPluginFolder, "bdist_wheel": PlatformWheel},
    options={"build": {"build_base": str(SETUPTOOLS_DIR)}, "egg_info": {"egg_base": str(SETUPTOOLS_DIR)}},
)
