#!/usr/bin/env python3
"""Reads an .exe's version info, icons, manifest and imports back and
compares them with what the Windows build must carry.

    pe_resources.py NimboSwUpdater.exe

Prints one line per check and exits non-zero if any failed. Only the Python
standard library is used, so it reads the file independently of the tools
that wrote it.
"""
import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24

EXPECTED_STRINGS = {
    "CompanyName": "Morvane",
    "FileDescription": "NimboSwUpdater",
    "FileVersion": "1.0.0",
    "ProductName": "NimboSwUpdater",
    "ProductVersion": "1.0.0",
}
# The runtime DLLs MinGW would otherwise need beside the .exe, and the image
# libraries that must be linked in statically.
FORBIDDEN_IMPORTS = ("libstdc++", "libgcc_s", "libwinpthread", "zlib1", "libpng", "libjpeg")


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, nsections = struct.unpack_from("<HH", data, pe + 4)
        opt_size = struct.unpack_from("<H", data, pe + 20)[0]
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        if self.magic != 0x20B:
            raise ValueError("not a PE32+ (64-bit) image")
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        ndirs = struct.unpack_from("<I", data, opt + 108)[0]
        self.dirs = [struct.unpack_from("<II", data, opt + 112 + 8 * i) for i in range(ndirs)]
        self.sections = []
        for i in range(nsections):
            s = opt + opt_size + 40 * i
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("RVA 0x%x is in no section" % rva)

    def cstring(self, rva):
        o = self.offset(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("ascii", "replace")

    def imports(self):
        rva, size = self.dirs[1]
        names = []
        if not rva:
            return names
        o = self.offset(rva)
        while True:
            name_rva = struct.unpack_from("<I", self.data, o + 12)[0]
            if name_rva == 0:
                break
            names.append(self.cstring(name_rva))
            o += 20
        return names

    def resources(self):
        """{type: {name: bytes}} for the first language of each resource; type
        and name are ints for numeric ids and str for named ones."""
        rva, _ = self.dirs[2]
        if not rva:
            return {}
        base = self.offset(rva)
        d = self.data

        def entries(dir_off):
            named, ids = struct.unpack_from("<HH", d, base + dir_off + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", d, base + dir_off + 16 + 8 * i)
                if name & 0x80000000:
                    o = base + (name & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", d, o)[0]
                    name = d[o + 2:o + 2 + 2 * length].decode("utf-16-le")
                yield name, target

        result = {}
        for rtype, tdir in entries(0):
            result[rtype] = {}
            for rname, ndir in entries(tdir & 0x7FFFFFFF):
                _, leaf = next(entries(ndir & 0x7FFFFFFF))
                data_rva, size = struct.unpack_from("<II", d, base + leaf)
                o = self.offset(data_rva)
                result[rtype][rname] = d[o:o + size]
        return result


def align4(n):
    return (n + 3) & ~3


def version_block(data, off=0):
    """One node of a VS_VERSIONINFO tree: (key, value bytes, is_text, children)."""
    length, value_length, vtype = struct.unpack_from("<HHH", data, off)
    end_key = off + 6
    while data[end_key:end_key + 2] != b"\0\0":
        end_key += 2
    key = data[off + 6:end_key].decode("utf-16-le")
    pos = align4(end_key + 2)
    nbytes = value_length * 2 if vtype == 1 else value_length
    value = data[pos:pos + nbytes]
    pos = align4(pos + nbytes)
    children = []
    while pos < off + length:
        child, child_len = version_block(data, pos)
        children.append(child)
        pos = align4(pos + child_len)
    return (key, value, vtype == 1, children), length


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, what, ok, detail=""):
        print("%s: %s%s" % ("ok  " if ok else "FAIL", what, "" if ok else "  (" + detail + ")"))
        if ok:
            self.passed += 1
        else:
            self.failed += 1
        return ok

    def equal(self, what, actual, expected):
        return self.check("%s = %r" % (what, expected), actual == expected, "found %r" % (actual,))


def check_version(c, res):
    versions = res.get(RT_VERSION, {})
    if not c.equal("number of version resources", len(versions), 1):
        return
    (key, fixed, _, children), _ = version_block(next(iter(versions.values())))
    c.equal("version resource key", key, "VS_VERSION_INFO")
    if not c.equal("fixed file info size", len(fixed), 52):
        return
    (sig, _struc, fv_ms, fv_ls, pv_ms, pv_ls, flags_mask, flags, os_, ftype, subtype,
     _d1, _d2) = struct.unpack("<13I", fixed)
    c.equal("fixed file info signature", hex(sig), hex(0xFEEF04BD))
    c.equal("fixed file version", (fv_ms >> 16, fv_ms & 0xFFFF, fv_ls >> 16, fv_ls & 0xFFFF), (1, 0, 0, 0))
    c.equal("fixed product version", (pv_ms >> 16, pv_ms & 0xFFFF, pv_ls >> 16, pv_ls & 0xFFFF), (0, 0, 0, 0))
    c.equal("file flags mask", flags_mask, 0)
    c.equal("file flags", flags, 0)
    c.equal("file OS", os_, 0)
    c.equal("file type", ftype, 0)
    c.equal("file subtype", subtype, 0)

    blocks = {k: (v, ch) for k, v, _, ch in children}
    c.equal("version info blocks", sorted(blocks), ["StringFileInfo", "VarFileInfo"])

    tables = {k: ch for k, _, _, ch in blocks.get("StringFileInfo", (b"", []))[1]}
    c.equal("string tables", sorted(tables), ["040904E4"])
    strings = {}
    for k, v, is_text, _ in tables.get("040904E4", []):
        text = v.decode("utf-16-le") if is_text else repr(v)
        strings[k] = text.rstrip("\0")
    c.equal("string names", sorted(strings), sorted(EXPECTED_STRINGS))
    for name, expected in EXPECTED_STRINGS.items():
        c.equal('string "%s"' % name, strings.get(name), expected)

    var = {k: v for k, v, _, _ in blocks.get("VarFileInfo", (b"", []))[1]}
    trans = var.get("Translation", b"")
    c.equal("translation entries", len(trans) // 4 if len(trans) % 4 == 0 else None, 1)
    if len(trans) == 4:
        lang, codepage = struct.unpack("<HH", trans)
        c.equal("translation", (hex(lang), codepage), (hex(0x0409), 65001))


def check_icons(c, res):
    groups = res.get(RT_GROUP_ICON, {})
    c.equal("icon groups", list(groups), ["IDI_ICON1"])
    group = groups.get("IDI_ICON1")
    if group is None:
        return
    reserved, gtype, count = struct.unpack_from("<HHH", group, 0)
    c.check("icon group header", reserved == 0 and gtype == 1, "reserved=%d type=%d" % (reserved, gtype))
    icons = res.get(RT_ICON, {})
    seen = {}
    for i in range(count):
        w, h, _colours, _r, _planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        px = w or 256
        seen[px] = (h or 256, bits, size, icon_id)
    c.equal("icon sizes", sorted(seen), [16, 32, 48, 256])
    for px, (h, bits, size, icon_id) in sorted(seen.items()):
        data = icons.get(icon_id)
        if not c.check("%d px icon image present" % px, data is not None and len(data) == size,
                       "RT_ICON %d missing or size differs" % icon_id):
            continue
        c.equal("%d px icon height" % px, h, px)
        c.equal("%d px icon bit count" % px, bits, 32)
        if px == 256:
            is_png = data[:8] == b"\x89PNG\r\n\x1a\n"
            if c.check("256 px icon is a PNG", is_png, "starts %r" % data[:8]):
                pw, ph = struct.unpack(">II", data[16:24])
                c.equal("256 px PNG dimensions", (pw, ph), (256, 256))
        else:
            hdr, bw, bh, _planes, bcount = struct.unpack_from("<IiiHH", data, 0)
            c.check("%d px icon is a 32-bit bitmap of that size" % px,
                    hdr == 40 and bw == px and bh == 2 * px and bcount == 32,
                    "header=%d %dx%d bits=%d" % (hdr, bw, bh, bcount))


def check_manifest(c, res):
    manifests = res.get(RT_MANIFEST, {})
    if not c.equal("manifest resource ids", list(manifests), [1]):
        return
    try:
        root = ET.fromstring(manifests[1])
    except ET.ParseError as e:
        c.check("manifest is well-formed XML", False, str(e))
        return
    levels = [e for e in root.iter() if e.tag.split("}")[-1] == "requestedExecutionLevel"]
    if c.equal("requestedExecutionLevel elements", len(levels), 1):
        c.equal("requestedExecutionLevel level", levels[0].get("level"), "asInvoker")
        c.equal("requestedExecutionLevel uiAccess", levels[0].get("uiAccess"), "false")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as f:
        pe = PeFile(f.read())
    c = Checks()
    c.equal("machine", hex(pe.machine), hex(0x8664))
    c.equal("subsystem (2 = Windows GUI)", pe.subsystem, 2)
    res = pe.resources()
    check_version(c, res)
    check_icons(c, res)
    check_manifest(c, res)
    dlls = pe.imports()
    c.check("imports some DLLs", len(dlls) > 0, "no import table")
    bad = [n for n in dlls if n.lower().startswith(FORBIDDEN_IMPORTS)]
    c.check("no MinGW runtime or image-library DLL imports", not bad, ", ".join(bad))
    print("imports: " + " ".join(sorted(dlls)))
    print("resources: %d passed, %d failed" % (c.passed, c.failed))
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main())
