#!/usr/bin/python3
"""The 32-bit release checked from outside, since this machine cannot run it.

  release_structure_test.py Vidazoz.exe RESOURCES_DIR
"""
import os
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_image import PeImage, version_record  # noqa: E402

EXE, RESOURCES = sys.argv[1], sys.argv[2]
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
ICON_ORDER = [(48, 8), (32, 8), (16, 8), (64, 32), (48, 32), (32, 32), (16, 32)]


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = PeImage(read(EXE))
        cls.res = cls.pe.resources()

    def setUp(self):
        if self.id().endswith(("_listed_resources_with_their_languages", "_icon_in_the_listed_order")) and \
                not os.path.exists(os.path.join(RESOURCES, "vidazoz.ico")):
            self.skipTest("the program icon is not in this tree yet")

    def resource(self, rtype, name):
        found = [(lang, data) for t, n, lang, data in self.res if (t, n) == (rtype, name)]
        self.assertEqual(len(found), 1, f"one resource {rtype}/{name}")
        return found[0]

    def test_a_32_bit_gui_program_with_image_version_1_2(self):
        self.assertEqual(self.pe.machine, 0x14C, "i386")
        self.assertEqual(self.pe.magic, 0x10B, "PE32")
        self.assertEqual(self.pe.subsystem, 2, "Windows GUI, no console")
        self.assertEqual((self.pe.major_image, self.pe.minor_image), (1, 2))

    def test_imports_only_what_every_windows_has(self):
        dlls = {d.lower() for d in self.pe.imported_dlls()}
        self.assertTrue({"advapi32.dll", "kernel32.dll"} <= dlls, dlls)
        # The compiler's runtime is linked in: no libstdc++, libgcc or winpthread DLLs to ship.
        allowed = {"advapi32.dll", "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "msvcrt.dll"}
        # shell32 in particular is loaded at run time and ShellExecuteA bound by name.
        self.assertLessEqual(dlls, allowed)

    def test_exactly_the_listed_resources_with_their_languages(self):
        listed = [(t, n, lang) for t, n, lang, _ in self.res]
        expected = [(RT_ICON, i, 0) for i in range(30001, 30008)] + [
            (RT_GROUP_ICON, 1, 0), (RT_VERSION, 1, 1033), (RT_MANIFEST, 1, 1033)]
        self.assertEqual(listed, expected)
        # icoutils reads the same tree.
        lines = subprocess.run(["wrestool", "-l", EXE], check=True, capture_output=True,
                               text=True).stdout.splitlines()
        self.assertEqual([tuple(int(f.split("=")[1]) for f in line.split()[:3]) for line in lines], expected)

    def test_icon_images_are_the_program_icon_in_the_listed_order(self):
        ico = read(os.path.join(RESOURCES, "vidazoz.ico"))
        count = struct.unpack_from("<H", ico, 4)[0]
        images = {}
        for i in range(count):
            w, h, _, _, _, bpp, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
            images[(w or 256, bpp)] = ico[offset:offset + size]
        self.assertEqual(sorted(images), sorted(ICON_ORDER))

        _, group = self.resource(RT_GROUP_ICON, 1)
        self.assertEqual(struct.unpack_from("<HHH", group, 0), (0, 1, 7))
        for n, (size, bpp) in enumerate(ICON_ORDER):
            w, h, _, _, planes, gbpp, length, ident = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * n)
            self.assertEqual((w, h, planes, gbpp, ident), (size % 256, size % 256, 1, bpp, 30001 + n))
            lang, image = self.resource(RT_ICON, 30001 + n)
            self.assertEqual(image, images[(size, bpp)], f"image {30001 + n}")
            self.assertEqual(length, len(image))
            # The image itself is what the entry says: a bitmap of that size and depth.
            self.assertEqual(struct.unpack_from("<IiiHH", image, 0), (40, size, 2 * size, 1, bpp))

    def test_version_record(self):
        lang, blob = self.resource(RT_VERSION, 1)
        fields, tables, translations = version_record(blob)
        self.assertEqual(fields["signature"], 0xFEEF04BD)
        self.assertEqual(fields["file_version"], (1, 2, 0, 0))
        self.assertEqual(fields["product_version"], (1, 2, 0, 0))
        self.assertEqual((fields["flags_mask"], fields["flags"]), (0, 0))
        self.assertEqual((fields["os"], fields["type"], fields["subtype"], fields["date"]), (4, 1, 0, (0, 0)))
        self.assertEqual(translations, [(0x0409, 1200)])
        self.assertEqual(len(tables), 1)
        name, strings = tables[0]
        self.assertEqual(name, "040904B0")
        keys = [k for k, _ in strings]
        self.assertEqual(keys, ["Comments", "CompanyName", "FileDescription", "LegalCopyright", "ProductName",
                                "FileVersion", "ProductVersion", "InternalName", "OriginalFilename"])
        values = dict(strings)
        self.assertEqual(values["CompanyName"], "Dodivezozu Software")
        for key in ("Comments", "FileDescription", "ProductName", "InternalName"):
            self.assertEqual(values[key], "Vidazoz")
        self.assertEqual((values["FileVersion"], values["ProductVersion"]), ("1.02", "1.02"))
        self.assertEqual(values["OriginalFilename"], "Vidazoz.exe")
        self.assertIn("Dodivezozu Software", values["LegalCopyright"])

    def test_manifest_bytes(self):
        lang, manifest = self.resource(RT_MANIFEST, 1)
        self.assertEqual(manifest, read(os.path.join(RESOURCES, "vidazoz.manifest")))
        self.assertFalse(manifest.startswith(b"\xef\xbb\xbf"), "no byte-order mark")
        text = manifest.decode("utf-8")
        lines = text.split("\r\n")
        self.assertEqual(lines[-1], "", "every line ends in CR LF")
        self.assertNotIn("\n", "".join(lines), "no bare LF")
        self.assertEqual(lines[0], '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>')
        for needle in ('<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">',
                       'name="DodivezozuSoftware.Tools.Vidazoz" processorArchitecture="x86" version="1.2.0.0"',
                       "<description>Vidazoz</description>",
                       'type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0" '
                       'processorArchitecture="x86" publicKeyToken="6595b64144ccf1df" language="*"'):
            self.assertIn(needle, text)
        order = [text.index(t) for t in ("<assemblyIdentity", "<description>", "<dependency>",
                                         "<dependentAssembly>", "Common-Controls")]
        self.assertEqual(order, sorted(order))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
