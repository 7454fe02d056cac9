#!/usr/bin/env python3
"""Checks a built Lumitra.dll without running it, as a host's loader and
linker would see it: every name of the export definition at its ordinal and
nothing else, imports from KERNEL32, msvcrt and ole32 only, the version
resource, and for every export the argument bytes its `ret` instructions
release (read from the disassembly; a jump out of the function, a tail
call, takes its target's convention). On 64-bit Windows there is one
calling convention, and every `ret` releases nothing.

  check_pe_image.py DLL DEF OBJDUMP VERSION
"""
import re
import struct
import subprocess
import sys

ALLOWED_IMPORTS = {"KERNEL32.DLL", "MSVCRT.DLL", "OLE32.DLL"}


class Image:
    def __init__(self, path):
        self.data = open(path, "rb").read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        assert self.data[pe:pe + 4] == b"PE\0\0", "not a PE image"
        machine, sections, _, _, _, optional_size = struct.unpack_from("<HHIIIH", self.data, pe + 4)
        optional = pe + 24
        self.pe32plus = struct.unpack_from("<H", self.data, optional)[0] == 0x20B
        self.image_base = struct.unpack_from("<Q" if self.pe32plus else "<I", self.data,
                                             optional + (24 if self.pe32plus else 28))[0]
        directories = optional + (112 if self.pe32plus else 96)
        self.directory = [struct.unpack_from("<II", self.data, directories + 8 * i)
                          for i in range(16)]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<8sIIII", self.data, table + 40 * i)
                         for i in range(sections)]

    def offset(self, rva):
        for _, size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError("RVA %#x outside every section" % rva)

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def exports(self):
        """{name: (ordinal, function RVA)}"""
        rva = self.directory[0][0]
        base, _, names, function_table, name_table, ordinal_table = struct.unpack_from(
            "<IIIIII", self.data, self.offset(rva) + 16)
        result = {}
        for i in range(names):
            index = struct.unpack_from("<H", self.data, self.offset(ordinal_table + 2 * i))[0]
            result[self.text(self.u32(name_table + 4 * i))] = (
                base + index, self.u32(function_table + 4 * index))
        return result

    def imports(self):
        names, rva = [], self.directory[1][0]
        while self.u32(rva + 12):
            names.append(self.text(self.u32(rva + 12)).upper())
            rva += 20
        return names

    def file_version(self):
        fixed = self.data.find(struct.pack("<I", 0xFEEF04BD))
        if fixed < 0:
            return None
        ms, ls = struct.unpack_from("<II", self.data, fixed + 8)
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def definitions(path):
    """{name: (ordinal, bytes the callee releases or None for the caller-cleans export)}"""
    result = {}
    for line in open(path):
        m = re.match(r"\s+(\w+)(?:@(\d+))?\s+@(\d+)", line.split(";")[0])
        if m:
            result[m.group(1)] = (int(m.group(3)), int(m.group(2)) if m.group(2) else None)
    return result


def functions(objdump, dll):
    """{start address: [(address, mnemonic, operands)]} from the disassembly."""
    listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", dll], check=True,
                             capture_output=True, text=True).stdout
    result, current = {}, None
    for line in listing.splitlines():
        label = re.match(r"([0-9a-f]+) <.*>:$", line)
        if label:
            current = result.setdefault(int(label.group(1), 16), [])
            continue
        instruction = re.match(r"\s*([0-9a-f]+):\s+(\S+)\s*(.*)", line)
        if instruction and current is not None:
            current.append((int(instruction.group(1), 16), instruction.group(2),
                            instruction.group(3)))
    return result


def released_bytes(code, start, seen=None):
    """The set of byte counts that the returns reachable from `start` release."""
    seen = set() if seen is None else seen
    if start in seen:
        return set()
    seen.add(start)
    body = code.get(start)
    if body is None:
        owner = max((s for s in code if s <= start), default=None)
        return released_bytes(code, owner, seen) if owner is not None else {"?"}
    end = body[-1][0] if body else start
    found = set()
    for _, mnemonic, operands in body:
        if mnemonic.startswith("ret"):
            immediate = re.match(r"\$0x([0-9a-f]+)", operands)
            found.add(int(immediate.group(1), 16) if immediate else 0)
        elif mnemonic.startswith("j"):
            target = re.match(r"([0-9a-f]+)\s", operands + " ")
            if target and not start <= int(target.group(1), 16) <= end:
                found |= released_bytes(code, int(target.group(1), 16), seen)
    return found


def main():
    dll, definition_file, objdump, version = sys.argv[1:5]
    image = Image(dll)
    expected = definitions(definition_file)
    exported = image.exports()
    code = functions(objdump, dll)
    failures = []
    if set(exported) != set(expected):
        failures.append("exports %s, definition %s" % (sorted(set(exported) - set(expected)),
                                                      sorted(set(expected) - set(exported))))
    for name, (ordinal, rva) in sorted(exported.items(), key=lambda e: e[1][0]):
        want_ordinal, want_bytes = expected.get(name, (None, None))
        want = 0 if image.pe32plus or want_bytes is None else want_bytes
        got = released_bytes(code, image.image_base + rva)
        ok = ordinal == want_ordinal and got == {want}
        print("%-44s ordinal %2d  ret releases %-8s %s" % (
            name, ordinal, ",".join(map(str, sorted(got, key=str))), "ok" if ok else "WRONG"))
        if not ok:
            failures.append("%s: ordinal %d (want %s), releases %s (want %d)"
                            % (name, ordinal, want_ordinal, sorted(got, key=str), want))
    imports = image.imports()
    print("imports:", ", ".join(imports))
    if not imports or set(imports) - ALLOWED_IMPORTS:
        failures.append("imports %s" % imports)
    print("file version:", image.file_version())
    if image.file_version() != version:
        failures.append("file version %s, want %s" % (image.file_version(), version))
    for failure in failures:
        print("FAILED:", failure)
    print("%s %s: %d exports checked statically" % ("PE32+" if image.pe32plus else "PE32", dll,
                                                    len(exported)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
