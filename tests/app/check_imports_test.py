#!/usr/bin/python3
"""tools/check-imports refuses copies of the program with broken imports.

Two copies: one with a delay-import slot of 0 (what i686 ld left when it
dropped the load stubs), one whose delay-imported name its DLL does not
export (what the stripped underscore of _TrackMouseEvent did). A third, with
code that happens to look like a descriptor (a DLL's name, but its module
handle and IAT in read-only code), passes.

Usage: check_imports_test.py CHECKER EXE IMPORT_LIBS
"""

import importlib.machinery
import importlib.util
import os
import struct
import subprocess
import sys
import tempfile


def load(checker):
    loader = importlib.machinery.SourceFileLoader("check_imports", checker)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader("check_imports", loader))
    loader.exec_module(module)
    return module


def file_offset(img, rva):
    section = img.section(rva)
    return section.raw_ptr + rva - section.va


def run(checker, exe, libs):
    result = subprocess.run([sys.executable, checker, exe, "--import-libs", libs], capture_output=True, text=True)
    return result.returncode, result.stdout


def main():
    checker, exe, libs = sys.argv[1:4]
    tool = load(checker)
    with open(exe, "rb") as f:
        data = f.read()
    img = tool.Image(data)
    relocs = img.relocations()
    named = [(rva, e) for rva in tool.delay_descriptors(img) for e in tool.delay_imports(img, rva, relocs, [])[1]
             if e.name]
    if not named:
        print("FAIL: no delay import by name found in " + exe)
        return 1
    descriptor, victim = named[-1]

    zeroed = bytearray(data)
    offset = file_offset(img, victim.slot)
    zeroed[offset:offset + img.ptr_size] = bytes(img.ptr_size)
    renamed = bytearray(data)
    offset = file_offset(img, victim.name_rva)
    renamed[offset:offset + len(victim.name)] = victim.name.swapcase().encode()
    # Bytes in the code that name a real DLL and its name table but point
    # their module handle and IAT into the code, which the loader never writes.
    _, dll_name, _, _, names = struct.unpack("<5I", img.read(descriptor, 20))
    code = next(s for s in img.sections if s.flags & tool.SCN_MEM_EXECUTE)
    lookalike = bytearray(data)
    offset = file_offset(img, code.va)
    lookalike[offset:offset + 20] = struct.pack("<5I", 1, dll_name, code.va, code.va + 64, names)
    cases = [
        ("a delay slot of 0", zeroed, 1, "delay import %s: IAT slot at rva %#x is 0" % (victim, victim.slot)),
        ("a name its DLL does not export", renamed, 1,
         "delay import %s!%s: %s does not export it" % (victim.dll, victim.name.swapcase(), victim.dll)),
        ("code shaped like a descriptor", lookalike, 0, ": OK (PE"),
    ]
    _, original = run(checker, exe, libs)
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        for what, content, code, expected in cases:
            copy = os.path.join(tmp, "broken.exe")
            with open(copy, "wb") as f:
                f.write(content)
            rc, out = run(checker, copy, libs)
            if rc == code and expected in out and (code == 0 or expected not in original):
                print("ok: %s %s" % ("refuses" if code else "accepts", what))
            else:
                failed += 1
                print("FAIL: %s: exit %d, expected a line with '%s' in:\n%s" % (what, rc, expected, out))
    print("%d passed, %d failed" % (len(cases) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
