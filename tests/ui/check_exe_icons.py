#!/usr/bin/env python3
"""Checks the icon groups that landed in a built Windows program:
    check_exe_icons.py PROGRAM.exe GROUP...
Every group must exist and hold 16 x 16 images at 4, 8 and 32 bits per pixel, each stored as a
bitmap (an information header whose own width, height and depth agree with the directory), not
as PNG. Reads the resource directory with the standard library only; prints one line per finding
and exits 1 when anything is missing.
"""
import struct
import sys

RT_ICON = 3
RT_GROUP_ICON = 14
PNG_SIGNATURE = b"\x89PNG"


class Resources:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections = struct.unpack_from("<H", data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.root_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, rva, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((rva, max(size, raw_size), raw))
        self.root = self.offset(self.root_rva)

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} outside the sections")

    def entries(self, directory):
        named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
            if name & 0x80000000:
                at = self.root + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, at)[0]
                key = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            else:
                key = name
            yield key, target

    def find(self, type_id, name):
        for type_key, type_target in self.entries(self.root):
            if type_key != type_id:
                continue
            for name_key, name_target in self.entries(self.root + (type_target & 0x7FFFFFFF)):
                if name_key != name:
                    continue
                languages = self.root + (name_target & 0x7FFFFFFF)
                for _, leaf in self.entries(languages):
                    rva, size = struct.unpack_from("<II", self.data, self.root + leaf)
                    start = self.offset(rva)
                    return self.data[start:start + size]
        return None


def check_group(resources, name):
    problems = []
    group = resources.find(RT_GROUP_ICON, name)
    if group is None:
        return [f"{name}: no icon group"]
    count = struct.unpack_from("<H", group, 4)[0]
    small_depths = set()
    for i in range(count):
        width, height, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group,
                                                                          6 + 14 * i)
        image = resources.find(RT_ICON, icon_id)
        if image is None or len(image) < 40:
            problems.append(f"{name}: image {icon_id} missing or too short")
            continue
        if image.startswith(PNG_SIGNATURE):
            problems.append(f"{name}: image {icon_id} ({width} x {height}) is PNG")
            continue
        header, real_width, real_height, _, real_bits = struct.unpack_from("<IiiHH", image, 0)
        if header < 40 or real_width != (width or 256) or real_height != 2 * (height or 256) \
                or real_bits != bits:
            problems.append(f"{name}: image {icon_id} says {real_width} x {real_height // 2} at "
                            f"{real_bits} bits, its directory {width} x {height} at {bits}")
            continue
        if width == 16 and height == 16:
            small_depths.add(real_bits)
    for bits in (4, 8, 32):
        if bits not in small_depths:
            problems.append(f"{name}: no 16 x 16 bitmap image at {bits} bits per pixel")
    return problems


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    with open(argv[0], "rb") as program:
        resources = Resources(program.read())
    problems = [p for name in argv[1:] for p in check_group(resources, name)]
    for problem in problems:
        print("FAIL", problem)
    if not problems:
        print("ok", ", ".join(argv[1:]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
