#!/usr/bin/env python3
"""Tests of the resource scripts: reading the text lists, the resource-script quoting, the drawn
bitmap, and that check_resources finds faults in a DLL (given one built by the Windows build as
TAV_DLL, or skipped).

usage: python3 scripts/test_resources.py   (TAV_DLL=build/mingw-i686/src/TavMgrExchangeAdaptor.dll)
"""

import os
import struct
import sys
import unittest

sys.dont_write_bytecode = True  # keep scripts/ free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_resources  # noqa: E402
import gen_folder_images  # noqa: E402
import gen_resources  # noqa: E402


class ListTest(unittest.TestCase):
    def test_escapes(self):
        cases = [
            (r"plain", "plain"),
            (r"a\nb", "a\nb"),
            (r"say \"x\"", 'say "x"'),
            (r"back\\slash", "back\\slash"),
        ]
        for body, want in cases:
            with self.subTest(body=body):
                self.assertEqual(gen_resources.unescape(body), want)
        for body in (r"bad \q", "trailing \\"):
            with self.subTest(body=body):
                with self.assertRaises(gen_resources.ResourceError):
                    gen_resources.unescape(body)

    def test_lines(self):
        lines = ["// comment", "", 'TAV_STRING(1033, 50000, "A \\"b\\"")',
                 '  TAV_STRING(3082, 50001, "ñ")  ']
        self.assertEqual(gen_resources.parse_list(lines, "TAV_STRING", True),
                         {(1033, 50000): 'A "b"', (3082, 50001): "ñ"})
        bad = [
            ['TAV_STRING(1033, 50000, "x")', 'TAV_STRING(1033, 50000, "y")'],  # twice
            ['TAV_STRING(1049, 50000, "x")'],  # language not carried
            ['TAV_STRING(1033, 50000, x)'],  # no string
            ['TAV_DIALOG_TEXT(1033, OK, "OK")'],  # other list
        ]
        for case in bad:
            with self.subTest(case=case):
                with self.assertRaises(gen_resources.ResourceError):
                    gen_resources.parse_list(case, "TAV_STRING", True)

    def test_project_lists_are_complete(self):
        strings = gen_resources.read_strings(os.path.join(check_resources.RES_DIR, "strings.inc"))
        texts = gen_resources.read_dialog_texts(
            os.path.join(check_resources.RES_DIR, "choose_folders.inc"))
        self.assertEqual(len(strings), 15 * 5)
        self.assertEqual(len(texts), len(gen_resources.DIALOG_KEYS) * 5)

    def test_rc_string(self):
        cases = [
            ('say "x"', '"say ""x"""'),
            ("a\nb", '"a\\nb"'),
            ("c:\\dir", '"c:\\\\dir"'),
            ("100%", '"100%"'),
        ]
        for text, want in cases:
            with self.subTest(text=text):
                self.assertEqual(gen_resources.rc_string(text), want)

    def test_version_numbers(self):
        self.assertEqual(gen_resources.version_numbers("1.2.3"), [1, 2, 3, 0])
        for bad in ("1.2.3.4.5", "1.x", "70000"):
            with self.subTest(version=bad):
                with self.assertRaises((gen_resources.ResourceError, ValueError)):
                    gen_resources.version_numbers(bad)

    def test_language_ids(self):
        for language, (_, _, primary, sub) in gen_resources.LANGUAGES.items():
            with self.subTest(language=language):
                self.assertEqual(sub << 10 | primary, language)


class BitmapTest(unittest.TestCase):
    def test_file_and_images(self):
        data = gen_folder_images.bmp_bytes(gen_folder_images.draw())
        magic, size, _, _, offset = struct.unpack_from("<2sIHHI", data)
        self.assertEqual((magic, size, offset), (b"BM", len(data), 54))
        # The resource holds the file without its 14-byte header.
        self.assertEqual(check_resources.check_bitmap(data[14:]), [])

    def test_checker_rejects_wrong_images(self):
        pixels = gen_folder_images.draw()
        swapped = [row[:16] + row[32:48] + row[16:32] for row in pixels]
        no_tick = [row[:32] + row[16:32] for row in pixels]
        grey = [[(200, 200, 200)] * 16 + row[16:] for row in pixels]
        for name, image in (("swapped", swapped), ("no tick", no_tick), ("grey", grey)):
            with self.subTest(name=name):
                dib = gen_folder_images.bmp_bytes(image)[14:]
                self.assertNotEqual(check_resources.check_bitmap(dib), [])


@unittest.skipUnless(os.environ.get("TAV_DLL"), "TAV_DLL names no built DLL")
class DllTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(os.environ["TAV_DLL"], "rb") as f:
            cls.resources = check_resources.PeImage(f.read()).resources()
        res = check_resources.RES_DIR
        cls.strings = gen_resources.read_strings(os.path.join(res, "strings.inc"))
        cls.texts = gen_resources.read_dialog_texts(os.path.join(res, "choose_folders.inc"))
        cls.version = os.environ.get("TAV_VERSION", "1.0.0")

    def check(self, resources=None, strings=None, texts=None):
        return check_resources.check(resources or self.resources, strings or self.strings,
                                     texts or self.texts, self.version)

    def test_built_dll_passes(self):
        self.assertEqual(self.check(), [])

    def test_faults_are_found(self):
        changed_string = dict(self.strings)
        changed_string[(1031, 50006)] += "!"
        changed_text = dict(self.texts)
        changed_text[(3082, "CANCEL")] = "Cancel"
        without_french = {k: v for k, v in self.resources.items() if k[2] != 1036}
        without_bitmap = {k: v for k, v in self.resources.items() if k[0] != 2}
        cases = [
            ("string text", self.check(strings=changed_string), "50006/1031"),
            ("dialog text", self.check(texts=changed_text), "200/3082"),
            ("language missing", self.check(resources=without_french), "1036"),
            ("bitmap missing", self.check(resources=without_bitmap), "bitmap 201"),
        ]
        for name, problems, needle in cases:
            with self.subTest(name=name):
                self.assertTrue(any(needle in p for p in problems), problems)

    def test_dialog_layout(self):
        dialog = check_resources.parse_dialogex(
            self.resources[(check_resources.RT_DIALOG, 200, 1033)])
        ids = [c[0] for c in dialog["controls"]]
        self.assertEqual(ids, [-1, 1001, -1, 1002, 1003, 1000, 1004, 1, 2, 1006])
        self.assertEqual(dialog["caption"], "Choose Folders")
        # English keeps the measured widths; a translation's radio buttons reach the group
        # box's right edge (7 + 245) and no further.
        german = check_resources.parse_dialogex(
            self.resources[(check_resources.RT_DIALOG, 200, 1031)])
        english_radio = dialog["controls"][1][4]
        german_radio = german["controls"][1][4]
        self.assertEqual(english_radio, (13, 21, 81, 10))
        self.assertGreater(german_radio[2], english_radio[2])
        for control in german["controls"]:
            x, _, w, _ = control[4]
            self.assertLessEqual(x + w, 252, control)
        # A translation's two-line prompt ends above the first radio button.
        for template in (dialog, german):
            prompt = template["controls"][0][4]
            inbox_only = template["controls"][1][4]
            self.assertLessEqual(prompt[1] + prompt[3], inbox_only[1])
        self.assertEqual(german["controls"][0][4][3], 16)
        # The taller note of a translation ends above its push buttons, as the English one does.
        for template in (dialog, german):
            note = template["controls"][9][4]
            ok = template["controls"][7][4]
            self.assertLess(note[1] + note[3], ok[1])
            self.assertLess(ok[1] + ok[3], template["rect"][3])

    def test_version_strings(self):
        key = next(k for k in self.resources if k[0] == check_resources.RT_VERSION)
        _, tables = check_resources.parse_version(self.resources[key])
        self.assertEqual(tables["040904B0"]["ProductName"], "Tavrel Manager")


if __name__ == "__main__":
    unittest.main()
