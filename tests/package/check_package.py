#!/usr/bin/env python3
"""Builds the release of a Windows build tree and checks what a user gets. The zip: exactly the
program, the hook library, the README, the licence and the Group Policy templates (which the
installer puts beside the program too, and which name exactly the program's settings); the binaries as built, importing
system DLLs only (and the program Helper.dll's two calls), asking for no user-interface
access; in a release build, stripped and at most 1 MiB together. With --signed, a second tree
elsewhere, signed with a throwaway certificate, must give the same binaries and valid signatures,
and winget and Scoop manifests of the files made."""

import argparse
import functools
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
import zipfile
from pathlib import Path

import yaml

POLICY_TEMPLATES = {"PolicyDefinitions/Quelvant.admx": "packaging/policy/Quelvant.admx",
                    "PolicyDefinitions/en-US/Quelvant.adml": "packaging/policy/en-US/Quelvant.adml"}
SHIPPED = {"Quelvant.exe", "Helper.dll", "README.md", "LICENSE", *POLICY_TEMPLATES}
GP = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
SIZE_LIMIT = 1024 * 1024
TEST_URL, TEST_HOME = "https://downloads.test/quelvant/v{version}", "https://quelvant.test/"
# Required fields, kept here so the check needs no network: microsoft/winget-cli
# schemas/JSON/manifests/v1.12.0/manifest.<type>.1.12.0.json ("required" of the manifest and of
# definitions/Installer) and ScoopInstaller/Scoop schema.json ("required").
WINGET = "PackageIdentifier PackageVersion ManifestType ManifestVersion "
REQUIRED = {
    "winget/Quelvant.Quelvant.yaml": WINGET + "DefaultLocale",
    "winget/Quelvant.Quelvant.locale.en-US.yaml": WINGET + "PackageLocale Publisher PackageName "
                                                  "License ShortDescription",
    "winget/Quelvant.Quelvant.installer.yaml": WINGET + "Installers",
    "Installers": "Architecture InstallerUrl InstallerSha256",
    "quelvant.json": "version",
}
MANIFESTS = [name for name in REQUIRED if "." in name]
# Every other field the manifests set is a string.
LISTS = {"Tags", "Installers", "UnsupportedArguments", "AppsAndFeaturesEntries", "shortcuts"}
MAPS = {"architecture", "64bit"}

# DLLs every Windows installation has. The C and C++ runtimes of MinGW are linked statically,
# so libstdc++-6.dll, libgcc_s_seh-1.dll or libwinpthread-1.dll here would be a broken build.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "rpcrt4.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "uxtheme.dll", "version.dll", "winmm.dll", "wtsapi32.dll",
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
                                   *((n, args.source_dir / s) for n, s in POLICY_TEMPLATES.items()),
                                   ("Quelvant.exe", args.build_dir / "bin" / "Quelvant.exe"),
                                   ("Helper.dll", args.build_dir / "bin" / "Helper.dll")):
                if (out / name).is_file():
                    check((out / name).read_bytes() == original.read_bytes(),
                          f"{name} in the archive differs from {original}")
            licence = (out / "LICENSE").read_text() if (out / "LICENSE").is_file() else ""
            check("MIT License" in licence and "2026 Quelvant developers" in licence,
                  "LICENSE is not the MIT licence of the Quelvant developers")
            check_policy_templates(out / "PolicyDefinitions", args.source_dir)
            check_binaries(args.objdump, out, release)
            check_manifest(out / "Quelvant.exe", "false")
            full = ".".join((args.version.split(".") + ["0"] * 4)[:4])
            check(full.encode("utf-16-le") in (out / "Quelvant.exe").read_bytes(),
                  f"the version resource does not name version {full}")
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(["msiextract", "-C", tmp, str(msi)], check=True, capture_output=True)
        for name, source in POLICY_TEMPLATES.items():
            installed = list(Path(tmp).rglob(f"Quelvant/{name}"))
            check(len(installed) == 1 and installed[0].read_bytes()
                  == (args.source_dir / source).read_bytes(),
                  f"the installer does not put {name} beside the program")
    if args.signed:
        check_signed(args)


def settings_table(source_dir):
    """(name, kind, highest) of every row of core/SettingsTable.h, the program's own table."""
    text = (source_dir / "core/SettingsTable.h").read_text()
    table = text.split("kSettings[kSettingCount] = {", 1)[-1].split("};", 1)[0]
    rows = re.findall(r'\{L"(\w+)",\s*SettingKind::(\w+),\s*-?\d+'
                      r'(?:,\s*(?:true|false))?(?:,\s*(0x[0-9A-Fa-f]+|\d+))?\}', table)
    if not check(rows and len(rows) == table.count('{L"'),
                 "cannot read the rows of core/SettingsTable.h"):
        return []
    return [(name, kind, int(highest, 0) if highest else 0xFFFF) for name, kind, highest in rows]


def policy_only_values(source_dir):
    """(name, kind, highest) of the switches that only an administrator sets, with no user
    setting behind them: the constants named k...Value in core/TimedLock.h."""
    text = (source_dir / "core/TimedLock.h").read_text()
    names = re.findall(r'inline constexpr const wchar_t\* k\w+Value = L"(\w+)";', text)
    check(names, "cannot read the policy-only values of core/TimedLock.h")
    return [(name, "Bool", 1) for name in names]


def check_policy_templates(folder, source_dir):
    """Both templates are well-formed XML of the Group Policy schema's namespace; one policy
    per setting of the program's table, each writing that setting's value under the policy
    key with the setting's own type and range; every text and presentation they name exists."""
    try:
        admx = ElementTree.parse(folder / "Quelvant.admx").getroot()
        adml = ElementTree.parse(folder / "en-US" / "Quelvant.adml").getroot()
    except (OSError, ElementTree.ParseError) as error:
        check(False, f"the policy templates are not well-formed XML: {error}")
        return
    check(admx.tag == GP + "policyDefinitions", f"Quelvant.admx has the root {admx.tag}")
    check(adml.tag == GP + "policyDefinitionResources", f"Quelvant.adml has the root {adml.tag}")
    header = (source_dir / "core/SettingPolicy.h").read_text()
    key = re.search(r'kPolicyKey = L"(.*)";', header).group(1).replace("\\\\", "\\")
    text_max = int(re.search(r"kPolicyTextMax = (\d+);", header).group(1))
    strings = {e.get("id"): e.text for e in adml.iter(GP + "string")}
    presentations = {e.get("id"): e for e in adml.iter(GP + "presentation")}

    def resolves(reference, table, what):
        m = re.fullmatch(r"\$\((string|presentation)\.(\w+)\)", reference or "")
        check(m and m.group(2) in table, f"{what} names {reference!r}, which the .adml lacks")

    for element in admx.iter():
        for attribute in ("displayName", "explainText"):
            if element.get(attribute) is not None:
                resolves(element.get(attribute), strings, element.get("name"))
    policies = {}
    for policy in admx.iter(GP + "policy"):
        name = policy.get("name")
        check(name not in policies, f"two policies are named {name}")
        check(policy.get("key") == key, f"policy {name} writes under {policy.get('key')}")
        check(policy.get("class") == "Both", f"policy {name} is not for machine and user")
        values = [policy.get("valueName")] if policy.get("valueName") else []
        values += [e.get("valueName") for e in policy.iter() if e.tag in (GP + "decimal", GP + "text")
                   and e.get("id")]
        check(values == [name], f"policy {name} writes {values}, not its setting's own value")
        policies[name] = policy
        if policy.get("presentation"):
            resolves(policy.get("presentation"), presentations, name)
            refs = {e.get("refId") for e in presentations.get(name, []) if e.get("refId")}
            ids = {e.get("id") for e in policy.iter() if e.get("id")}
            check(refs == ids, f"policy {name}: presentation shows {refs}, elements are {ids}")
    table = settings_table(source_dir) + policy_only_values(source_dir)
    check(set(policies) == {name for name, _, _ in table},
          f"no policy for {sorted({n for n, _, _ in table} - set(policies))}; no setting for "
          f"{sorted(set(policies) - {n for n, _, _ in table})}")
    for name, kind, highest in table:
        policy = policies.get(name)
        if policy is None:
            continue
        decimal = [e for e in policy.iter(GP + "decimal") if e.get("id")]
        text = [e for e in policy.iter(GP + "text")]
        if kind == "Bool":
            on = policy.find(f"{GP}enabledValue/{GP}decimal")
            off = policy.find(f"{GP}disabledValue/{GP}decimal")
            check(on is not None and off is not None and (on.get("value"), off.get("value"))
                  == ("1", "0"), f"policy {name} does not write 1 when enabled, 0 when disabled")
        elif kind == "Word":
            check(len(decimal) == 1 and decimal[0].get("minValue") == "0"
                  and decimal[0].get("maxValue") == str(highest),
                  f"policy {name} does not take a number from 0 to {highest}")
        else:
            check(len(text) == 1 and text[0].get("maxLength") == str(text_max)
                  and text[0].get("expandable") != "true",
                  f"policy {name} does not take a plain text of at most {text_max} characters")


def package(build_dir, *made):
    """Makes the release afresh; SHA256SUMS and the manifests as text once SHA256SUMS names the
    files made. Without a download address, no manifest may be made, and the output says why."""
    dist = made[0].parent
    manifests = [dist / name for name in MANIFESTS]
    for stale in (*made, dist / "SHA256SUMS", *manifests):
        stale.unlink(missing_ok=True)  # an earlier run's files must not pass for fresh ones
    said = subprocess.run(["cmake", "--build", str(build_dir), "--target", "package"], check=True,
                          capture_output=True, text=True).stdout
    sums = dist / "SHA256SUMS"
    if not all(p.is_file() for p in (*made, sums)):
        return None
    for p in made:
        check(f"{hashlib.sha256(p.read_bytes()).hexdigest()}  {p.name}\n" in sums.read_text(),
              f"SHA256SUMS lacks the checksum of {p.name}")
    if "QUELVANT_RELEASE_URL:STRING=\n" in (build_dir / "CMakeCache.txt").read_text():
        check(not any(p.exists() for p in manifests) and said.count("No winget") == 1,
              "without a download address the release made manifests or did not say why")
    return sums.read_text() + "".join(p.read_text() for p in manifests if p.is_file())


def check_fields(name, fields):
    """The schema's required fields there; every field set a string, or the list or map it is."""
    missing = [key for key in REQUIRED.get(name, "").split() if fields.get(key) in (None, "", [])]
    check(not missing, f"{name} lacks the required {missing}")
    for key, value in fields.items():
        kind = list if key in LISTS else dict if key in MAPS else str
        check(isinstance(value, kind), f"{name}: {key} is not a {kind.__name__}")
        for item in value if isinstance(value, list) else [value]:
            if isinstance(item, dict):
                check_fields(key, item)


def check_manifests(dist, msi, archive, version, licence):
    """They parse, hold what their schemas require, and name the files made with their hashes
    and the installer with its own codes, version and publisher."""
    base = TEST_URL.replace("{version}", version)
    sha = {p: hashlib.sha256(p.read_bytes()).hexdigest() for p in (msi, archive)}
    export = subprocess.run(["msiinfo", "export", msi, "Property"], check=True,
                            capture_output=True, text=True).stdout
    has = dict(line.split("\t", 1) for line in export.splitlines()[3:])
    docs = {name: (json.loads if name.endswith(".json") else yaml.safe_load)(
        (dist / name).read_text()) for name in MANIFESTS}  # one that does not parse fails here
    for name, doc in docs.items():
        if check(isinstance(doc, dict), f"{name} is not a mapping"):
            check_fields(name, doc)
        check(name.endswith(".json") or (doc.get("PackageIdentifier"), doc.get("PackageVersion"),
              doc.get("ManifestVersion")) == ("Quelvant.Quelvant", version, "1.12.0"),
              f"{name} names another package or schema version")
    locale = docs[MANIFESTS[1]]
    check(f"{locale.get('License')} License" == licence and locale.get("Publisher")
          == has["Manufacturer"] and 3 <= len(locale.get("ShortDescription", "")) <= 256,
          f"the winget locale {locale} breaks LICENSE, the MSI's publisher or a length limit")
    installers = docs[MANIFESTS[2]].get("Installers")
    codes = {"ProductCode": has["ProductCode"]}
    check(installers == [{
        "Architecture": "x64", "InstallerType": "msi", "Scope": "machine",
        "InstallerUrl": f"{base}/{msi.name}", "InstallerSha256": sha[msi].upper(),
        "UnsupportedArguments": ["location"], **codes, "AppsAndFeaturesEntries": [{
            "Publisher": has["Manufacturer"], "DisplayVersion": has["ProductVersion"], **codes,
            "UpgradeCode": has["UpgradeCode"]}]}], f"the winget installer {installers}")
    check(docs["quelvant.json"] == {
        "version": version, "description": locale.get("ShortDescription"), "homepage": TEST_HOME,
        "license": locale.get("License"),
        "architecture": {"64bit": {"url": f"{base}/{archive.name}", "hash": sha[archive]}},
        "bin": "Quelvant.exe", "shortcuts": [["Quelvant.exe", "Quelvant"]]},
        f"the Scoop manifest {docs['quelvant.json']}")


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
         f"-DQUELVANT_SIGN_CERT={cert}", f"-DQUELVANT_SIGN_KEY={key}",
         f"-DQUELVANT_RELEASE_URL={TEST_URL}", f"-DQUELVANT_HOMEPAGE={TEST_HOME}"],
        cwd=args.source_dir)
    made = (dist / f"Quelvant-{args.version}-win64.msi", dist / f"Quelvant-{args.version}-win64.zip")
    first = package(tree, *made)
    if not check(first is not None, "the signed release was not made"):
        return
    check_manifests(dist, *made, args.version,
                    (args.source_dir / "LICENSE").read_text().splitlines()[0])
    # Only the installer of a program asking for user-interface access guards its folder.
    guards = [b"INSTALLDIR" in subprocess.run(["msiinfo", "export", msi, "LaunchCondition"],
                                              capture_output=True).stdout
              for msi in (made[0], args.build_dir / "dist" / made[0].name)]
    check(guards == [True, False], f"installers guarding their folder (signed, not): {guards}")
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
