"""What a 64-bit ELF shared object needs from the libraries it loads with:
the libraries, and the symbol versions of the symbols it imports, read from
its own tables. Wheels tagged manylinux2014 may only bind symbol versions
that glibc 2.17 and the runtimes of GCC 4.8 define.

Run as a script on shared objects, it lists their imports that are newer
than that and exits with status 1 if there are any.
"""

import re
import struct
import sys
from pathlib import Path

# The newest version of each family that manylinux2014 allows (its policy
# admits GCC_4.8.0 on x86_64 but only GCC_4.7.0 on aarch64).
MANYLINUX2014_LIMITS = {
    "GLIBC": (2, 17),
    "GLIBCXX": (3, 4, 19),
    "CXXABI": (1, 3, 7),
    "GCC": (4, 7, 0),
    "ZLIB": (1, 2, 5, 2),
}
ALLOWED_NAMES = {"CXXABI_TM_1"}

SHT_DYNAMIC = 6
SHT_DYNSYM = 11
SHT_GNU_VERNEED = 0x6FFFFFFE
SHT_GNU_VERSYM = 0x6FFFFFFF
DT_NEEDED = 1
SHN_UNDEF = 0


class NotElf64(ValueError):
    pass


class SharedObject:
    """`needed`: the library names of DT_NEEDED, in order. `imports`: for
    each undefined dynamic symbol, (name, version), the version being None
    for an unversioned one."""

    def __init__(self, path):
        data = Path(path).read_bytes()
        if data[:4] != b"\x7fELF" or data[4] != 2 or data[5] != 1:
            raise NotElf64(f"{path} is not a 64-bit little-endian ELF file")
        shoff = struct.unpack_from("<Q", data, 0x28)[0]
        shentsize, shnum = struct.unpack_from("<HH", data, 0x3A)
        # (type, offset, size, link, info) of each section header
        sections = []
        for i in range(shnum):
            fields = struct.unpack_from("<IIQQQQIIQQ", data, shoff + i * shentsize)
            sections.append((fields[1], fields[4], fields[5], fields[6], fields[7]))

        def string(table, offset):
            start = sections[table][1] + offset
            return data[start : data.index(b"\0", start)].decode()

        def of_type(kind):
            return [s for s in sections if s[0] == kind]

        self.needed = []
        for _, offset, size, link, _ in of_type(SHT_DYNAMIC):
            for at in range(offset, offset + size, 16):
                tag, value = struct.unpack_from("<qQ", data, at)
                if tag == DT_NEEDED:
                    self.needed.append(string(link, value))

        # Version index -> version name, from the version needs.
        version_names = {}
        for _, offset, _, link, count in of_type(SHT_GNU_VERNEED):
            at = offset
            for _ in range(count):
                _, aux_count, _, aux, following = struct.unpack_from("<HHIII", data, at)
                entry = at + aux
                for _ in range(aux_count):
                    _, _, index, name, next_aux = struct.unpack_from("<IHHII", data, entry)
                    version_names[index] = string(link, name)
                    entry += next_aux
                at += following

        versym = of_type(SHT_GNU_VERSYM)
        self.imports = []
        for _, offset, size, link, _ in of_type(SHT_DYNSYM):
            for i in range(1, size // 24):
                name, _, _, section = struct.unpack_from("<IBBH", data, offset + 24 * i)
                if section != SHN_UNDEF:
                    continue
                index = struct.unpack_from("<H", data, versym[0][1] + 2 * i)[0] & 0x7FFF if versym else 0
                self.imports.append((string(link, name), version_names.get(index)))


def too_new(version):
    """True if manylinux2014 does not allow binding `version` (such as
    GLIBC_2.34, or GLIBC_PRIVATE); versions of other libraries pass."""
    if version in ALLOWED_NAMES:
        return False
    family, _, number = version.partition("_")
    if family not in MANYLINUX2014_LIMITS:
        return False
    if not re.fullmatch(r"\d+(\.\d+)*", number):
        return True
    return tuple(int(part) for part in number.split(".")) > MANYLINUX2014_LIMITS[family]


def imports_too_new(path):
    """(symbol, version) of each import of `path` newer than manylinux2014 allows."""
    return [(name, version) for name, version in SharedObject(path).imports if version and too_new(version)]


def main(paths):
    found = False
    for path in paths:
        for name, version in imports_too_new(path):
            print(f"{path}: {name}@{version}")
            found = True
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
