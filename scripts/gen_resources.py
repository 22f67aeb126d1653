#!/usr/bin/env python3
"""Writes the DLL's resource script: the string table and the "Choose Folders" dialog (template
200) in the five languages, bitmap 201 and the version information.

The texts come from src/res/strings.inc and src/res/choose_folders.inc, the lists the portable
build compiles too. The script is UTF-8 under `#pragma code_page(65001)`, which windres decodes
into the UTF-16 resources; it takes no C escapes in strings other than "\\n" and "\\\\", and a
double quote is written twice.

usage: gen_resources.py --strings strings.inc --dialog choose_folders.inc --bitmap images.bmp
                        --version 1.0.0 --output TavMgrExchangeAdaptor.rc
"""

import argparse
import re
import sys

# Language id -> (primary, sub-language) names of the LANGUAGE statement and its numbers.
LANGUAGES = {
    1033: ("LANG_ENGLISH", "SUBLANG_ENGLISH_US", 0x09, 0x01),
    1031: ("LANG_GERMAN", "SUBLANG_GERMAN", 0x07, 0x01),
    1036: ("LANG_FRENCH", "SUBLANG_FRENCH", 0x0C, 0x01),
    1040: ("LANG_ITALIAN", "SUBLANG_ITALIAN", 0x10, 0x01),
    3082: ("LANG_SPANISH", "SUBLANG_SPANISH_MODERN", 0x0A, 0x03),
}

STRING_IDS = range(50000, 50015)
DIALOG_KEYS = ("CAPTION", "PROMPT", "INBOX_ONLY", "SELECTED", "SELECT_HINT", "SHIFT_NOTE", "OK",
               "CANCEL", "SENT_NOTE")

_LINE = re.compile(r'^\s*(TAV_[A-Z_]+)\(\s*(\d+)\s*,\s*([A-Z_0-9]+)\s*,\s*"((?:[^"\\]|\\.)*)"\s*\)\s*$')
_ESCAPES = {"n": "\n", '"': '"', "\\": "\\", "t": "\t"}


class ResourceError(Exception):
    pass


def unescape(text):
    """The text of a C string literal's body; only the escapes the lists use are accepted."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\":
            if i + 1 >= len(text) or text[i + 1] not in _ESCAPES:
                raise ResourceError(f"unsupported escape in {text!r}")
            out.append(_ESCAPES[text[i + 1]])
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def parse_list(lines, macro, key_is_number):
    """(language, key) -> text from TAV_...(language, key, "text") lines; comments and blank
    lines are skipped, anything else is an error."""
    entries = {}
    for number, line in enumerate(lines, 1):
        stripped = line.strip()
        if not stripped or stripped.startswith("//"):
            continue
        m = _LINE.match(line)
        if not m or m.group(1) != macro:
            raise ResourceError(f"line {number}: not a {macro} line: {stripped[:60]}")
        language = int(m.group(2))
        key = int(m.group(3)) if key_is_number else m.group(3)
        if language not in LANGUAGES:
            raise ResourceError(f"line {number}: unknown language {language}")
        if (language, key) in entries:
            raise ResourceError(f"line {number}: {language}/{key} given twice")
        entries[(language, key)] = unescape(m.group(4))
    return entries


def read_strings(path):
    with open(path, encoding="utf-8") as f:
        table = parse_list(f, "TAV_STRING", True)
    for language in LANGUAGES:
        for sid in STRING_IDS:
            if (language, sid) not in table:
                raise ResourceError(f"{path}: string {sid} missing in language {language}")
    return table


def read_dialog_texts(path):
    with open(path, encoding="utf-8") as f:
        texts = parse_list(f, "TAV_DIALOG_TEXT", False)
    for (language, key) in texts:
        if key not in DIALOG_KEYS:
            raise ResourceError(f"{path}: unknown dialog text {key}")
    for language in LANGUAGES:
        for key in DIALOG_KEYS:
            if (language, key) not in texts:
                raise ResourceError(f"{path}: dialog text {key} missing in language {language}")
    return texts


def rc_string(text):
    """A resource-script string literal for text."""
    body = text.replace("\\", "\\\\").replace('"', '""').replace("\n", "\\n").replace("\t", "\\t")
    return f'"{body}"'


def version_numbers(version):
    parts = [int(p) for p in version.split(".")]
    if not 1 <= len(parts) <= 4 or any(p < 0 or p > 0xFFFF for p in parts):
        raise ResourceError(f"bad version {version!r}")
    return parts + [0] * (4 - len(parts))


# Template 200: (key, class, id, style, extended style, rectangle). The predefined classes go in
# as their ordinals (windres takes no class keyword in a DIALOGEX CONTROL statement); styles are
# spelled as windows.h names so the script reads as a template.
_BUTTON = "0x80"
_STATIC = "0x82"
_DIALOG_STYLE = "DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU"
_CONTROLS = (
    ("PROMPT", _STATIC, -1, "SS_LEFT | WS_GROUP", "0", (7, 7, 214, 8)),
    ("INBOX_ONLY", _BUTTON, 1001, "BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP", "0",
     (13, 21, 81, 10)),
    (None, _BUTTON, -1, "BS_GROUPBOX", "0", (7, 35, 245, 187)),
    ("SELECTED", _BUTTON, 1002, "BS_AUTORADIOBUTTON | WS_TABSTOP", "WS_EX_TRANSPARENT",
     (13, 35, 137, 10)),
    ("SELECT_HINT", _STATIC, 1003, "SS_LEFT | WS_GROUP", "0", (19, 53, 221, 16)),
    (None, '"SysTreeView32"', 1000,
     "TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | WS_BORDER | WS_TABSTOP", "0",
     (19, 72, 221, 127)),
    ("SHIFT_NOTE", _STATIC, 1004, "SS_LEFT | WS_GROUP", "0", (19, 200, 221, 16)),
    ("OK", _BUTTON, 1, "BS_DEFPUSHBUTTON | WS_TABSTOP", "0", (77, 261, 50, 14)),
    ("CANCEL", _BUTTON, 2, "BS_PUSHBUTTON | WS_TABSTOP", "0", (131, 261, 50, 14)),
    ("SENT_NOTE", _STATIC, 1006, "SS_LEFT | WS_GROUP", "0", (7, 225, 245, 32)),
)

# Widths given where a text needs more than the rectangle it was measured for: the prompt takes
# its whole line (to the group box's right edge, x 252) in every language; in the other four
# languages the radio buttons and the group box caption they share a line with get that room too.
# The translated Sent Items note (string 50014) needs a fifth line: those templates are 8 units
# taller, the note grows by that and the push buttons move down by it. The Italian and Spanish
# prompts need a second line: the translated prompts are two lines high and every control below
# the prompt moves down by a line, the templates growing by it too.
_PROMPT_WIDTH = 245
_TRANSLATED_WIDTHS = {"INBOX_ONLY": 239, "SELECTED": 232}
_TRANSLATED_EXTRA_HEIGHT = 8
_LINE_HEIGHT = 8


def template_height(language):
    return 282 if language == 1033 else 282 + _TRANSLATED_EXTRA_HEIGHT + _LINE_HEIGHT


def control_rect(language, key, rect):
    x, y, w, h = rect
    if key == "PROMPT":
        w = _PROMPT_WIDTH
    if language == 1033:
        return x, y, w, h
    if key == "PROMPT":
        return x, y, w, h + _LINE_HEIGHT
    y += _LINE_HEIGHT
    if key in _TRANSLATED_WIDTHS:
        w = _TRANSLATED_WIDTHS[key]
    elif key == "SENT_NOTE":
        h += _TRANSLATED_EXTRA_HEIGHT
    elif key in ("OK", "CANCEL"):
        y += _TRANSLATED_EXTRA_HEIGHT
    return x, y, w, h


def dialog_block(language, texts):
    lines = [
        f"200 DIALOGEX 0, 0, 259, {template_height(language)}",
        f"STYLE {_DIALOG_STYLE}",
        f"CAPTION {rc_string(texts[(language, 'CAPTION')])}",
        'FONT 8, "MS Sans Serif"',
        "BEGIN",
    ]
    for key, cls, cid, style, exstyle, rect in _CONTROLS:
        x, y, w, h = control_rect(language, key, rect)
        text = rc_string(texts[(language, key)]) if key else '""'
        lines.append(f"    CONTROL {text}, {cid}, {cls}, {style} | WS_CHILD | WS_VISIBLE, "
                     f"{x}, {y}, {w}, {h}, {exstyle}")
    lines.append("END")
    return lines


def version_block(version):
    numbers = ", ".join(str(n) for n in version_numbers(version))
    values = (
        ("CompanyName", "Morvane"),
        ("FileDescription", "Tavrel Manager Exchange adaptor"),
        ("FileVersion", version),
        ("InternalName", "TavMgrExchangeAdaptor"),
        ("OriginalFilename", "TavMgrExchangeAdaptor.dll"),
        ("ProductName", "Tavrel Manager"),
        ("ProductVersion", version),
    )
    lines = [
        "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US",
        "1 VERSIONINFO",
        f"FILEVERSION {numbers}",
        f"PRODUCTVERSION {numbers}",
        "FILEFLAGSMASK VS_FFI_FILEFLAGSMASK",
        "FILEFLAGS 0",
        "FILEOS VOS_NT_WINDOWS32",
        "FILETYPE VFT_DLL",
        "FILESUBTYPE VFT2_UNKNOWN",
        "BEGIN",
        '    BLOCK "StringFileInfo"',
        "    BEGIN",
        '        BLOCK "040904B0"',
        "        BEGIN",
    ]
    lines += [f'            VALUE "{name}", {rc_string(value)}' for name, value in values]
    lines += [
        "        END",
        "    END",
        '    BLOCK "VarFileInfo"',
        "    BEGIN",
        '        VALUE "Translation", 0x0409, 1200',
        "    END",
        "END",
    ]
    return lines


def resource_script(strings, dialog_texts, bitmap_path, version):
    out = [
        "// Generated by scripts/gen_resources.py from src/res/strings.inc and",
        "// src/res/choose_folders.inc; edit those instead.",
        "#pragma code_page(65001)",
        "#include <windows.h>",
        "#include <commctrl.h>",
        "",
    ]
    for language, (primary, sub, _, _) in LANGUAGES.items():
        out += [f"// {language}", f"LANGUAGE {primary}, {sub}", "STRINGTABLE", "BEGIN"]
        out += [f"    {sid}, {rc_string(strings[(language, sid)])}" for sid in STRING_IDS]
        out += ["END", ""]
        out += dialog_block(language, dialog_texts)
        out.append("")
    bitmap = bitmap_path.replace("\\", "/")
    out += ["LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL", f'201 BITMAP "{bitmap}"', ""]
    out += version_block(version)
    return "\n".join(out) + "\n"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--strings", required=True)
    parser.add_argument("--dialog", required=True)
    parser.add_argument("--bitmap", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--output", required=True)
    args = parser.parse_args(argv)
    try:
        script = resource_script(read_strings(args.strings), read_dialog_texts(args.dialog),
                                 args.bitmap, args.version)
    except (OSError, ResourceError) as e:
        print(f"gen_resources: {e}", file=sys.stderr)
        return 1
    with open(args.output, "w", encoding="utf-8", newline="\n") as f:
        f.write(script)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
