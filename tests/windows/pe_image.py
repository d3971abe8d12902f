"""A small reader of PE images: headers, imports and the resource tree, enough to check a
release from outside without running it."""
import struct


class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, _, _, _, optional_size, self.characteristics = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        wide = self.magic == 0x20B
        (self.major_os, self.minor_os, self.major_image, self.minor_image, self.major_subsystem,
         self.minor_subsystem) = struct.unpack_from("<HHHHHH", data, opt + 40)
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        dirs = opt + (112 if wide else 96)
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(16)]
        table = opt + optional_size
        self.sections = []
        for i in range(sections):
            name, vsize, vaddr, rsize, rptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), vaddr, max(vsize, rsize), rptr))

    def offset(self, rva):
        for _, vaddr, size, rptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rptr + rva - vaddr
        raise ValueError(f"RVA {rva:#x} in no section")

    def cstring(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("latin-1")

    def imported_dlls(self):
        rva, _ = self.directories[1]
        names, at = [], self.offset(rva)
        while True:
            entry = struct.unpack_from("<IIIII", self.data, at)
            if entry == (0, 0, 0, 0, 0):
                return names
            names.append(self.cstring(entry[3]))
            at += 20

    def resources(self):
        """[(type, name, language, bytes)] in the order of the resource tree."""
        base_rva, _ = self.directories[2]
        base = self.offset(base_rva)

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + ids):
                ident, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                if ident & 0x80000000:
                    n = base + (ident & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, n)[0]
                    ident = self.data[n + 2:n + 2 + 2 * length].decode("utf-16-le")
                yield ident, target

        out = []
        for rtype, t in entries(base):
            for name, n in entries(base + (t & 0x7FFFFFFF)):
                for lang, leaf in entries(base + (n & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    at = self.offset(rva)
                    out.append((rtype, name, lang, self.data[at:at + size]))
        return out


def version_record(blob):
    """Parses VS_VERSIONINFO into (fixed fields dict, [(table, [(key, value)])], translations)."""

    def node(at):
        length, value_length, is_text = struct.unpack_from("<HHH", blob, at)
        end = at + length
        k = at + 6
        key_end = k
        while blob[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = blob[k:key_end].decode("utf-16-le")
        v = (key_end + 2 + 3) & ~3
        size = value_length * 2 if is_text else value_length
        value = blob[v:v + size]
        children = []
        c = (v + size + 3) & ~3
        while c < end:
            child = node(c)
            children.append(child)
            c = (c + child[3] + 3) & ~3
        return key, value, children, length

    key, fixed, children, _ = node(0)
    if key != "VS_VERSION_INFO":
        raise ValueError("not a version record")
    f = struct.unpack("<13I", fixed)
    fields = {
        "signature": f[0], "file_version": (f[2] >> 16, f[2] & 0xFFFF, f[3] >> 16, f[3] & 0xFFFF),
        "product_version": (f[4] >> 16, f[4] & 0xFFFF, f[5] >> 16, f[5] & 0xFFFF),
        "flags_mask": f[6], "flags": f[7], "os": f[8], "type": f[9], "subtype": f[10],
        "date": (f[11], f[12]),
    }
    tables, translations = [], []
    for ckey, _, grand, _ in children:
        if ckey == "StringFileInfo":
            for tkey, _, strings, _ in grand:
                tables.append((tkey, [(s, v.decode("utf-16-le").rstrip("\0")) for s, v, _, _ in strings]))
        elif ckey == "VarFileInfo":
            for _, value, _, _ in grand:
                translations += [struct.unpack_from("<HH", value, i) for i in range(0, len(value), 4)]
    return fields, tables, translations
