#!/usr/bin/env python3
"""Builds the release of a Windows build tree and checks what a user gets. The zip: exactly the
program, the hook library, the README and the licence; the binaries as built, importing
system DLLs only (and the program Helper.dll's two calls), asking for no user-interface
access; in a release build, stripped and at most 1 MiB together. With --signed, a second tree
elsewhere, signed with a throwaway certificate, must give the same binaries and valid signatures."""

import argparse
import functools
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

SHIPPED = {"Quelvant.exe", "Helper.dll", "README.md", "LICENSE"}
SIZE_LIMIT = 1024 * 1024

# DLLs every Windows installation has. The C and C++ runtimes of MinGW are linked statically,
# so libstdc++-6.dll, libgcc_s_seh-1.dll or libwinpthread-1.dll here would be a broken build.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "rpcrt4.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "uxtheme.dll", "version.dll", "winmm.dll",
}

failures = []
skipped = []
# What CTest counts as a skipped test (SKIP_RETURN_CODE in CMakeLists.txt): a build that is not
# a release build cannot show that what a user gets is stripped and small.
SKIPPED_EXIT = 77


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def objdump(tool, path):
    return subprocess.run([tool, "-p", str(path)], check=True, capture_output=True,
                          text=True).stdout


def imports(dump):
    """DLL name -> list of imported names, from `objdump -p`."""
    result = {}
    current = None
    for line in dump.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            current = result.setdefault(m.group(1), [])
            continue
        if current is None:
            continue
        if not line.strip():
            current = None
            continue
        # "<vma> <hint> <name>" rows; the header row has no number in the second column.
        m = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if m:
            current.append(m.group(1))
    return result


def exports(dump):
    section = dump.split("[Ordinal/Name Pointer] Table", 1)
    if len(section) < 2:
        return []
    names = []
    for line in section[1].splitlines()[1:]:
        m = re.match(r"\s*\[\s*\d+\]\s+(\S+)$", line)
        if not m:
            break
        names.append(m.group(1))
    return names


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True, type=Path)
    parser.add_argument("--source-dir", required=True, type=Path)
    parser.add_argument("--version", required=True)
    parser.add_argument("--objdump", default="x86_64-w64-mingw32-objdump")
    parser.add_argument("--signed", action="store_true")
    args = parser.parse_args()

    dist = args.build_dir / "dist"
    archive = dist / f"Quelvant-{args.version}-win64.zip"
    msi = dist / f"Quelvant-{args.version}-win64.msi"
    sums = package(args.build_dir, archive, msi)
    if not check(sums is not None, "the release was not made"):
        return

    config = ""
    cache = (args.build_dir / "CMakeCache.txt").read_text()
    m = re.search(r"^CMAKE_BUILD_TYPE:\w+=(.*)$", cache, re.MULTILINE)
    if m:
        config = m.group(1).strip()
    release = config in ("Release", "MinSizeRel")
    if not release:
        skipped.append(f"the strip and size checks: CMAKE_BUILD_TYPE is {config or 'empty'!r}, "
                       "not Release or MinSizeRel")

    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        check(len(names) == len(set(names)), f"duplicate entries: {names}")
        check(set(names) == SHIPPED,
              f"archive holds {sorted(names)}, expected exactly {sorted(SHIPPED)}")
        with tempfile.TemporaryDirectory() as tmp:
            z.extractall(tmp)
            out = Path(tmp)
            for name, original in (("README.md", args.source_dir / "README.md"),
                                   ("LICENSE", args.source_dir / "LICENSE"),
                                   ("Quelvant.exe", args.build_dir / "bin" / "Quelvant.exe"),
                                   ("Helper.dll", args.build_dir / "bin" / "Helper.dll")):
                if (out / name).is_file():
                    check((out / name).read_bytes() == original.read_bytes(),
                          f"{name} in the archive differs from {original}")
            licence = (out / "LICENSE").read_text() if (out / "LICENSE").is_file() else ""
            check("MIT License" in licence and "2026 Quelvant developers" in licence,
                  "LICENSE is not the MIT licence of the Quelvant developers")
            check_binaries(args.objdump, out, release)
            check_manifest(out / "Quelvant.exe", "false")
            full = ".".join((args.version.split(".") + ["0"] * 4)[:4])
            check(full.encode("utf-16-le") in (out / "Quelvant.exe").read_bytes(),
                  f"the version resource does not name version {full}")
    if args.signed:
        check_signed(args)


def package(build_dir, *made):
    """Makes the release afresh; SHA256SUMS as text once it names the files it made."""
    for stale in (*made, made[0].parent / "SHA256SUMS"):
        stale.unlink(missing_ok=True)  # an earlier run's files must not pass for fresh ones
    subprocess.run(["cmake", "--build", str(build_dir), "--target", "package"], check=True,
                   stdout=subprocess.DEVNULL)
    sums = made[0].parent / "SHA256SUMS"
    if not all(p.is_file() for p in (*made, sums)):
        return None
    for p in made:
        check(f"{hashlib.sha256(p.read_bytes()).hexdigest()}  {p.name}\n" in sums.read_text(),
              f"SHA256SUMS lacks the checksum of {p.name}")
    return sums.read_text()


def check_manifest(exe, ui_access):
    data = exe.read_bytes()
    check(f'uiAccess="{ui_access}"'.encode() in data, f"{exe} does not ask uiAccess={ui_access}")
    check(b">PerMonitorV2</dpiAwareness>" in data, f"{exe} is not DPI aware per monitor v2")


def check_signed(args):
    """A second tree in a folder of another length, signed with a throwaway certificate."""
    tree = args.build_dir / "signed-check"
    cert, key, dist = tree / "cert.pem", tree / "key.pem", tree / "dist"
    tree.mkdir(exist_ok=True)
    run = functools.partial(subprocess.run, check=True, capture_output=True)
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
         "/CN=Quelvant test", "-keyout", key, "-out", cert, "-addext", "extendedKeyUsage=codeSigning"])
    run(["cmake", "-S", args.source_dir, "--preset", "win64", "-B", tree,
         f"-DQUELVANT_SIGN_CERT={cert}", f"-DQUELVANT_SIGN_KEY={key}"], cwd=args.source_dir)
    made = (dist / f"Quelvant-{args.version}-win64.msi", dist / f"Quelvant-{args.version}-win64.zip")
    first = package(tree, *made)
    if not check(first is not None, "the signed release was not made"):
        return
    for name in ("Quelvant.exe", "Helper.dll"):  # the zip's program asks for no access there
        check((tree / "bin" / name).read_bytes() == (args.build_dir / "bin" / name).read_bytes(),
              f"{name} differs between two build folders")
    with tempfile.TemporaryDirectory() as tmp:
        run(["msiextract", "-C", tmp, made[0]])
        installed = next(Path(tmp).rglob("Quelvant.exe")).parent
        check_manifest(installed / "Quelvant.exe", "true")
        for signed in (installed / "Quelvant.exe", installed / "Helper.dll", made[0]):
            verify = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed],
                                    capture_output=True, text=True)
            check(verify.returncode == 0, f"{signed.name}: {verify.stdout[-2000:]}")
    # Packed again later in another time zone: the same bytes, signatures included.
    os.environ["TZ"] = "Pacific/Kiritimati"
    check(package(tree, *made) == first, "packing the same build again gave other bytes")


def check_binaries(tool, out, release):
    exe, dll = out / "Quelvant.exe", out / "Helper.dll"
    if not (exe.is_file() and dll.is_file()):
        return
    exe_dump, dll_dump = objdump(tool, exe), objdump(tool, dll)
    for name, dump in (("Quelvant.exe", exe_dump), ("Helper.dll", dll_dump)):
        check("file format pei-x86-64" in dump, f"{name} is not an x86-64 PE file")
        if release:
            check("symbols stripped" in dump, f"{name} of a release build is not stripped")

    exe_imports, dll_imports = imports(exe_dump), imports(dll_dump)
    check(exe_imports, "no import table read from Quelvant.exe")
    check(dll_imports, "no import table read from Helper.dll")
    helper_calls = exports(dll_dump)
    check(len(helper_calls) == 2, f"Helper.dll exports {helper_calls}, expected two calls")

    for name, table in (("Quelvant.exe", exe_imports), ("Helper.dll", dll_imports)):
        for dll_name in table:
            if name == "Quelvant.exe" and dll_name == "Helper.dll":
                continue
            check(dll_name.lower() in SYSTEM_DLLS, f"{name} imports {dll_name}")
    check("Helper.dll" in exe_imports, "Quelvant.exe does not import Helper.dll")
    check(sorted(exe_imports.get("Helper.dll", [])) == sorted(helper_calls),
          f"Quelvant.exe imports {exe_imports.get('Helper.dll')} from Helper.dll, "
          f"which exports {helper_calls}")

    total = exe.stat().st_size + dll.stat().st_size
    print(f"Quelvant.exe {exe.stat().st_size} bytes, Helper.dll {dll.stat().st_size} bytes, "
          f"{total} together")
    if release:
        check(total <= SIZE_LIMIT, f"the two files take {total} bytes, more than {SIZE_LIMIT}")


if __name__ == "__main__":
    main()
    for f in failures:
        print(f"FAIL: {f}", file=sys.stderr)
    for s in skipped:
        print(f"SKIPPED: {s}", file=sys.stderr)
    sys.exit(1 if failures else SKIPPED_EXIT if skipped else 0)
