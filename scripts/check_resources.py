#!/usr/bin/env python3
"""Checks the resources of the built DLL: reads its PE resource directory and verifies the
string table 50000-50014 (each text equal to src/res/strings.inc), dialog 200 (layout, ids,
styles and texts equal to src/res/choose_folders.inc) in the five languages, bitmap 201 (48 x 16,
three images on white) and the version information.

usage: check_resources.py DLL VERSION
"""

import os
import struct
import sys

sys.dont_write_bytecode = True  # keep scripts/ free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_resources  # noqa: E402

RT_BITMAP, RT_DIALOG, RT_STRING, RT_VERSION = 2, 5, 6, 16
RES_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "res")

# Template 200 as the folder dialog expects it: id, class ordinal (0x80 button, 0x82 static) or
# name, style, extended style, rectangle, text key.
WS_CHILD_VISIBLE = 0x50000000
EXPECTED_CONTROLS = (
    (-1, 0x82, WS_CHILD_VISIBLE | 0x00020000, 0, (7, 7, 245, 8), "PROMPT"),
    (1001, 0x80, WS_CHILD_VISIBLE | 0x00030009, 0, (13, 21, 81, 10), "INBOX_ONLY"),
    (-1, 0x80, WS_CHILD_VISIBLE | 0x00000007, 0, (7, 35, 245, 187), None),
    (1002, 0x80, WS_CHILD_VISIBLE | 0x00010009, 0x20, (13, 35, 137, 10), "SELECTED"),
    (1003, 0x82, WS_CHILD_VISIBLE | 0x00020000, 0, (19, 53, 221, 16), "SELECT_HINT"),
    (1000, "SYSTREEVIEW32", 0x50810007, 0, (19, 72, 221, 127), None),
    (1004, 0x82, WS_CHILD_VISIBLE | 0x00020000, 0, (19, 200, 221, 16), "SHIFT_NOTE"),
    (1, 0x80, WS_CHILD_VISIBLE | 0x00010001, 0, (77, 261, 50, 14), "OK"),
    (2, 0x80, WS_CHILD_VISIBLE | 0x00010000, 0, (131, 261, 50, 14), "CANCEL"),
    (1006, 0x82, WS_CHILD_VISIBLE | 0x00020000, 0, (7, 225, 245, 32), "SENT_NOTE"),
)
DIALOG_STYLE = 0x80C800C0
# Widths of the radio buttons whose translated texts need the line up to the group box's edge,
# in the templates other than 1033.
TRANSLATED_WIDTHS = {"INBOX_ONLY": 239, "SELECTED": 232}
# ... and the templates 8 units taller, for a fifth line of the Sent Items note under which the
# push buttons move down.
TRANSLATED_EXTRA_HEIGHT = 8
# ... and a second line for the prompt, under which every other control moves down.
PROMPT_LINE = 8


class CheckError(Exception):
    pass


class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise CheckError("not an MZ image")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise CheckError("no PE signature")
        machine, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        if machine != 0x14C or struct.unpack_from("<H", data, opt)[0] != 0x10B:
            raise CheckError("not a PE32 i386 image")
        rva, size = struct.unpack_from("<II", data, opt + 96 + 2 * 8)
        self.sections = []
        table = opt + opt_size
        for i in range(sections):
            vsize, vaddr, rawsize, rawptr = struct.unpack_from("<IIII", data, table + i * 40 + 8)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr))
        if not rva or not size:
            raise CheckError("no resource directory")
        self.rsrc = self.offset(rva)

    def offset(self, rva):
        for vaddr, size, rawptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + rawptr
        raise CheckError(f"RVA 0x{rva:x} outside every section")

    def _entries(self, directory):
        named, ids = struct.unpack_from("<HH", self.data, self.rsrc + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, self.rsrc + directory + 16 + 8 * i)
            if name & 0x80000000:
                at = self.rsrc + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, at)[0]
                name = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield name, target

    def resources(self):
        """{(type, name, language): bytes} of every resource."""
        found = {}
        for rtype, t in self._entries(0):
            for name, n in self._entries(t & 0x7FFFFFFF):
                for language, leaf in self._entries(n & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        raise CheckError("resource tree deeper than three levels")
                    rva, size = struct.unpack_from("<II", self.data, self.rsrc + leaf)
                    start = self.offset(rva)
                    found[(rtype, name, language)] = self.data[start:start + size]
        return found


def string_block(data):
    """The sixteen texts of one RT_STRING block."""
    texts, at = [], 0
    for _ in range(16):
        length = struct.unpack_from("<H", data, at)[0]
        texts.append(data[at + 2:at + 2 + 2 * length].decode("utf-16-le"))
        at += 2 + 2 * length
    return texts


class Reader:
    def __init__(self, data, at=0):
        self.data, self.at = data, at

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        value = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return value

    def text_or_ordinal(self):
        first = struct.unpack_from("<H", self.data, self.at)[0]
        if first == 0xFFFF:
            self.at += 2
            return self.take("H")
        return self.text()

    def align(self):
        self.at = (self.at + 3) & ~3


def parse_dialogex(data):
    r = Reader(data)
    version, signature = r.take("HH")
    if (version, signature) != (1, 0xFFFF):
        raise CheckError("dialog 200 is not an extended template")
    _, exstyle, style, count, x, y, cx, cy = r.take("IIIHhhhh")
    menu, cls, caption = r.text_or_ordinal(), r.text_or_ordinal(), r.text()
    points, weight, italic, charset = r.take("HHBB")
    font = r.text()
    controls = []
    for _ in range(count):
        r.align()
        _, cexstyle, cstyle, x0, y0, w, h, cid = r.take("IIIhhhhI")
        ccls, text = r.text_or_ordinal(), r.text_or_ordinal()
        # Class names compare without regard to case; windres stores them upper-cased.
        ccls = ccls.upper() if isinstance(ccls, str) else ccls
        extra = r.take("H")
        r.at += extra
        cid = -1 if cid in (0xFFFF, 0xFFFFFFFF) else cid
        controls.append((cid, ccls, cstyle, cexstyle, (x0, y0, w, h), text))
    return {"style": style, "exstyle": exstyle, "rect": (x, y, cx, cy), "menu": menu,
            "class": cls, "caption": caption, "font": (points, font), "controls": controls}


def parse_version(data):
    """(fixed file info fields, {StringFileInfo table: {name: value}})."""
    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        r = Reader(data, at + 6)
        key = r.text()
        r.align()
        value_size = value_length * 2 if kind == 1 else value_length
        value = data[r.at:r.at + value_size]
        r.at += value_size
        r.align()
        children = []
        while r.at < at + length:
            child, end = node(r.at)
            children.append(child)
            r.at = (end + 3) & ~3
        return (key, kind, value, children), at + length

    (key, _, fixed, children), _ = node(0)
    if key != "VS_VERSION_INFO" or struct.unpack_from("<I", fixed)[0] != 0xFEEF04BD:
        raise CheckError("version resource without VS_FIXEDFILEINFO")
    tables = {}
    for name, _, _, blocks in children:
        if name == "StringFileInfo":
            for table, _, _, values in blocks:
                tables[table] = {k: v.decode("utf-16-le").rstrip("\0") for k, _, v, _ in values}
    return struct.unpack_from("<13I", fixed), tables


def check(resources, strings, texts, version):
    problems = []
    languages = sorted(gen_resources.LANGUAGES)

    for language in languages:
        for block in sorted({sid // 16 + 1 for sid in gen_resources.STRING_IDS}):
            data = resources.get((RT_STRING, block, language))
            if data is None:
                problems.append(f"string block {block} missing in language {language}")
                continue
            for slot, text in enumerate(string_block(data)):
                sid = (block - 1) * 16 + slot
                want = strings.get((language, sid), "")
                if text != want:
                    problems.append(f"string {sid}/{language} is {text[:40]!r}, want {want[:40]!r}")

        data = resources.get((RT_DIALOG, 200, language))
        if data is None:
            problems.append(f"dialog 200 missing in language {language}")
            continue
        dialog = parse_dialogex(data)
        where = f"dialog 200/{language}"
        if dialog["style"] != DIALOG_STYLE:
            problems.append(f"{where}: style 0x{dialog['style']:08X}")
        extra = 0 if language == 1033 else TRANSLATED_EXTRA_HEIGHT
        line = 0 if language == 1033 else PROMPT_LINE
        if dialog["rect"] != (0, 0, 259, 282 + extra + line):
            problems.append(f"{where}: rectangle {dialog['rect']}")
        if dialog["font"] != (8, "MS Sans Serif"):
            problems.append(f"{where}: font {dialog['font']}")
        if dialog["caption"] != texts[(language, "CAPTION")]:
            problems.append(f"{where}: caption {dialog['caption']!r}")
        if len(dialog["controls"]) != len(EXPECTED_CONTROLS):
            problems.append(f"{where}: {len(dialog['controls'])} controls")
        for got, want in zip(dialog["controls"], EXPECTED_CONTROLS):
            cid, cls, style, exstyle, rect, key = want
            if key == "PROMPT":
                rect = rect[:3] + (rect[3] + line,)
            else:
                rect = (rect[0], rect[1] + line) + rect[2:]
            if language != 1033 and key in TRANSLATED_WIDTHS:
                rect = rect[:2] + (TRANSLATED_WIDTHS[key], rect[3])
            elif key == "SENT_NOTE":
                rect = rect[:3] + (rect[3] + extra,)
            elif key in ("OK", "CANCEL"):
                rect = (rect[0], rect[1] + extra) + rect[2:]
            text = texts[(language, key)] if key else ""
            if got != (cid, cls, style, exstyle, rect, text):
                problems.append(f"{where}: control {got[:5]} {got[5][:30]!r}, want "
                                f"{(cid, cls, hex(style), exstyle, rect)} {text[:30]!r}")

    bitmaps = [k for k in resources if k[0] == RT_BITMAP and k[1] == 201]
    if len(bitmaps) != 1:
        problems.append(f"bitmap 201: {len(bitmaps)} resources")
    else:
        problems += check_bitmap(resources[bitmaps[0]])

    versions = [k for k in resources if k[0] == RT_VERSION and k[1] == 1]
    if len(versions) != 1:
        problems.append(f"version information: {len(versions)} resources")
    else:
        fixed, tables = parse_version(resources[versions[0]])
        numbers = gen_resources.version_numbers(version)
        if (fixed[2], fixed[3]) != (numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]):
            problems.append(f"version information: file version 0x{fixed[2]:08x}{fixed[3]:08x}")
        want = {"CompanyName": "Morvane", "ProductName": "Tavrel Manager", "FileVersion": version,
                "OriginalFilename": "TavMgrExchangeAdaptor.dll"}
        table = tables.get("040904B0", tables.get("040904b0", {}))
        for name, value in want.items():
            if table.get(name) != value:
                problems.append(f"version information: {name} is {table.get(name)!r}")
        if not table.get("FileDescription"):
            problems.append("version information: no FileDescription")
    return problems


def check_bitmap(dib):
    """A 48 x 16 DIB of three images on white: an envelope with yellow in it, and two equal
    check boxes, the second with dark pixels (the tick) inside where the first has none."""
    size, width, height, planes, bits, compression = struct.unpack_from("<IiiHHI", dib)
    if (width, abs(height), bits, compression) != (48, 16, 24, 0):
        return [f"bitmap 201: {width} x {height}, {bits} bits, compression {compression}"]
    stride = (width * 3 + 3) & ~3

    def pixel(x, y):
        row = y if height < 0 else 15 - y
        b, g, r = dib[size + row * stride + 3 * x:size + row * stride + 3 * x + 3]
        return r, g, b

    def image(i):
        return [[pixel(16 * i + x, y) for x in range(16)] for y in range(16)]

    envelope, empty, ticked = image(0), image(1), image(2)
    problems = []
    for i, img in enumerate((envelope, empty, ticked)):
        if any(img[y][x] != (255, 255, 255) for x in (0, 15) for y in (0, 15)):
            problems.append(f"bitmap 201: image {i} has no white corners")
    if not any(r > 200 and g > 150 and b < 100 for row in envelope for r, g, b in row):
        problems.append("bitmap 201: image 0 has no yellow")
    differ = [(x, y) for y in range(16) for x in range(16) if empty[y][x] != ticked[y][x]]
    if not differ or any(sum(ticked[y][x]) > 150 for x, y in differ):
        problems.append("bitmap 201: image 2 is not image 1 with a dark tick")
    if any(sum(c) < 150 for row in empty for c in row):
        problems.append("bitmap 201: image 1 is not empty")
    return problems


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    dll, version = argv
    try:
        with open(dll, "rb") as f:
            resources = PeImage(f.read()).resources()
        strings = gen_resources.read_strings(os.path.join(RES_DIR, "strings.inc"))
        texts = gen_resources.read_dialog_texts(os.path.join(RES_DIR, "choose_folders.inc"))
        problems = check(resources, strings, texts, version)
    except (OSError, CheckError, gen_resources.ResourceError, struct.error) as e:
        problems = [str(e)]
    for problem in problems:
        print(f"check-resources: {problem}", file=sys.stderr)
    if problems:
        return 1
    types = sorted({k[0] for k in resources})
    print(f"check-resources: {len(resources)} resources of types {types}: strings 50000-50014 and "
          f"dialog 200 in {len(gen_resources.LANGUAGES)} languages, bitmap 201, version {version}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
