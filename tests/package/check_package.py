#!/usr/bin/env python3
"""Builds the release of a Windows build tree and checks what a user gets. The zip: exactly the
program, the hook library, the README, the licence and the Group Policy templates (which the
installer puts beside the program too, and which name exactly the program's settings); the binaries as built, importing
system DLLs only (and the program Helper.dll's two calls), asking for no user-interface
access; in a release build, stripped and at most 1 MiB together. With --signed, a second tree
elsewhere, signed with a throwaway certificate, must give the same binaries and valid signatures,
and winget and Scoop manifests of the files made that pass the package managers' own schemas;
time-stamped afterwards, the final-files step brings SHA256SUMS and the manifests along."""

import argparse
import functools
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree
import zipfile
from pathlib import Path

import jsonschema
import yaml

sys.path.append(str(Path(__file__).resolve().parents[1]))  # the settings table's reader
from settings_table import read_settings_table  # noqa: E402

GP = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
# What no translation of a policy's texts may change, besides its numbers: the release chord,
# the command-line words and the program's name.
POLICY_KEPT = ("Ctrl+Alt+Shift+Q", "<RESET>", "Quelvant.exe /lock", "Quelvant")
# How a policy's texts quote a name, by language: "..." (English, Spanish, Portuguese), German
# „...“, French « ... », Japanese [...] for what is on screen and 「...」 for what is typed.
QUOTED = re.compile(r'"([^"\n]+)"|„([^“\n]+)“|«\s*([^»\n]+?)\s*»'
                    r"|\[([^\]\n]+)\]|「([^」\n]+)」")
# What besides the program's texts and the policies' names a policy's texts may quote: the
# command lines, an example key name, and Windows' own names (the Group Policy editor's two
# halves and the Settings page of the touchpad, as Japanese Windows names them).
QUOTED_OTHER = re.compile(r"Quelvant\.exe /lock.*|Ctrl( \+ \w+)+"
                          r"|コンピューターの構成|ユーザーの構成|タッチパッド")
SIZE_LIMIT = 1024 * 1024
TEST_URL, TEST_HOME = "https://downloads.test/quelvant/v{version}", "https://quelvant.test/"
TEST_NOTES = "https://quelvant.test/notes/{version}"
# The official schemas, copied with their sources and licences noted (schemas/README.md).
SCHEMAS = Path(__file__).parent / "schemas"
WINGET_ID, WINGET_VERSION = "Quelvant.Quelvant", "1.12.0"
WINGET_FILES = {f"{WINGET_ID}.yaml": "version", f"{WINGET_ID}.installer.yaml": "installer",
                f"{WINGET_ID}.locale.en-US.yaml": "defaultLocale"}
SCOOP = "quelvant.json"
# The manifest types winget knows, spelt as it compares them (ConvertToManifestTypeEnum in
# microsoft/winget-cli src/AppInstallerCommonCore/Manifest/ManifestCommon.cpp).
WINGET_TYPES = {"singleton", "version", "installer", "defaultLocale", "locale", "merged", "shadow"}
# How winget reads the type and version from a manifest's header (ManifestSchemaValidation.cpp).
HEADER = re.compile(r"winget-manifest\.(\w+)\.([\d\.]+)\.schema\.json$")
# Formats the schemas name that Draft 7 does not define, which a validator ignores by the
# standard: winget's "long" on integer return codes.
OTHER_FORMATS = {"long"}

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


def policy_templates(source_dir):
    """Shipped name -> source of the .admx and of every language's .adml (packaging/policy/
    <culture>/Quelvant.adml), as the release takes them."""
    folder = source_dir / "packaging/policy"
    names = ["Quelvant.admx", *(p.relative_to(folder).as_posix()
                                for p in sorted(folder.glob("*/Quelvant.adml")))]
    return {f"PolicyDefinitions/{n}": f"packaging/policy/{n}" for n in names}


def program_cultures(source_dir):
    """The cultures of the program's own languages (IDS_LANGUAGE_TAG of each res/lang file that
    holds one), and English, the templates' fallback, always."""
    return {"en-US", *program_texts(source_dir)}


def program_texts(source_dir):
    """Culture -> every text of that language's res/lang file as a user sees it: without a
    mnemonic's &, a Japanese "(&X)" or a menu item's closing "..."."""
    cultures = {}
    for rc in (source_dir / "res/lang").glob("*.rc"):
        source = "\n".join(line for line in rc.read_text(encoding="utf-8").splitlines()
                           if not line.lstrip().startswith("//"))
        m = re.search(r'^\s*IDS_LANGUAGE_TAG\s*,?\s*"([^"]+)"', source, re.M)
        if m:
            texts = (re.sub(r"\(&\w\)", "", t.replace('""', '"')).replace("&", "")
                     for t in re.findall(r'"((?:[^"\n]|"")*)"', source))
            cultures[m[1]] = {t.removesuffix("...") for t in texts}
    return cultures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True, type=Path)
    parser.add_argument("--source-dir", required=True, type=Path)
    parser.add_argument("--version", required=True)
    parser.add_argument("--objdump", default="x86_64-w64-mingw32-objdump")
    parser.add_argument("--signed", action="store_true")
    args = parser.parse_args()

    dist = args.build_dir / "dist"
    templates = policy_templates(args.source_dir)
    shipped = {"Quelvant.exe", "Helper.dll", "README.md", "LICENSE", *templates}
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
        check(set(names) == shipped,
              f"archive holds {sorted(names)}, expected exactly {sorted(shipped)}")
        with tempfile.TemporaryDirectory() as tmp:
            z.extractall(tmp)
            out = Path(tmp)
            for name, original in (("README.md", args.source_dir / "README.md"),
                                   ("LICENSE", args.source_dir / "LICENSE"),
                                   *((n, args.source_dir / s) for n, s in templates.items()),
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
        for name, source in templates.items():
            installed = list(Path(tmp).rglob(f"Quelvant/{name}"))
            check(len(installed) == 1 and installed[0].read_bytes()
                  == (args.source_dir / source).read_bytes(),
                  f"the installer does not put {name} beside the program")
    if args.signed:
        check_signed(args)


def settings_table(source_dir):
    """(name, kind, highest) of every row of core/SettingsTable.h, the program's own table."""
    try:
        rows = read_settings_table(source_dir)
    except ValueError as error:
        check(False, str(error))
        return []
    return [(row.name, row.kind, row.highest) for row in rows]


def policy_only_values(source_dir):
    """(name, kind, highest) of the switches that only an administrator sets, with no user
    setting behind them: the constants named k...Value in core/SettingsPolicy.h."""
    text = (source_dir / "core/SettingsPolicy.h").read_text()
    names = re.findall(r'inline constexpr const wchar_t\* k\w+Value = L"(\w+)";', text)
    check(names, "cannot read the policy-only values of core/SettingsPolicy.h")
    return [(name, "Bool", 1) for name in names]


def check_policy_templates(folder, source_dir):
    """The templates are well-formed XML of the Group Policy schema's namespace; one policy
    per setting of the program's table, each writing that setting's value under the policy
    key with the setting's own type and range; an .adml for English and for each of the
    program's languages, each holding exactly the texts and presentations the .admx names."""
    cultures = sorted(p.parent.name for p in folder.glob("*/Quelvant.adml"))
    try:
        admx = ElementTree.parse(folder / "Quelvant.admx").getroot()
        admls = {c: ElementTree.parse(folder / c / "Quelvant.adml").getroot() for c in cultures}
    except (OSError, ElementTree.ParseError) as error:
        check(False, f"the policy templates are not well-formed XML: {error}")
        return
    missing = program_cultures(source_dir) - set(cultures)
    if not check(not missing, f"no PolicyDefinitions/<culture>/Quelvant.adml for {sorted(missing)}"):
        return
    check(admx.tag == GP + "policyDefinitions", f"Quelvant.admx has the root {admx.tag}")
    adml = admls["en-US"]
    texts = program_texts(source_dir)
    for culture in cultures:
        check_adml(folder / culture / "Quelvant.adml", admls[culture], adml, admx,
                   texts.get(culture))
    header = (source_dir / "core/SettingsPolicy.h").read_text()
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


def check_adml(path, adml, english, admx, texts):
    """One language's .adml: UTF-8 with the XML declaration, the resources' root, a revision the
    .admx takes (the same major number, a minor one at least its minRequiredRevision's); exactly
    the strings and presentations the .admx names, each filled in; against English, each text
    in as many paragraphs with the same numbers and kept words, and each presentation with the
    same controls; and every name it quotes spelt as the program's texts in that language (when
    the program has them) or as a policy's name."""
    name = "/".join(path.parts[-2:])
    check(path.read_bytes().startswith(b'<?xml version="1.0" encoding="utf-8"?>'),
          f"{name} does not begin with the XML declaration of UTF-8")
    check(adml.tag == GP + "policyDefinitionResources", f"{name} has the root {adml.tag}")
    need = (admx.find(GP + "resources").get("minRequiredRevision") or "").split(".")
    have = (adml.get("revision") or "").split(".")
    check(len(need) == len(have) == 2 and all(n.isdigit() for n in need + have)
          and have[0] == need[0] and int(have[1]) >= int(need[1])
          and adml.get("schemaVersion") == admx.get("schemaVersion"),
          f"{name}: revision {adml.get('revision')} (schema {adml.get('schemaVersion')}) does not "
          f"meet Quelvant.admx's {'.'.join(need)} (schema {admx.get('schemaVersion')})")
    for element in ("displayName", "description"):
        check((adml.findtext(GP + element) or "").strip(), f"{name} has no {element}")
    named = {"string": set(), "presentation": set()}
    for element in admx.iter():
        for attribute in ("displayName", "explainText", "presentation"):
            m = re.fullmatch(r"\$\((string|presentation)\.(\w+)\)", element.get(attribute) or "")
            if m:
                named[m[1]].add(m[2])
    for kind, wanted in named.items():
        ids = [e.get("id") for e in adml.iter(GP + kind)]
        check(len(ids) == len(set(ids)) and set(ids) == wanted,
              f"{name}: the {kind}s {sorted(wanted - set(ids))} are missing, "
              f"{sorted(set(ids) - wanted)} are named by no policy, "
              f"{sorted({i for i in ids if ids.count(i) > 1})} come twice")

    def kept(text):
        return (len(re.split(r"\n\s*\n", text.strip())), sorted(set(re.findall(r"\d+", text))),
                [word for word in POLICY_KEPT if word in text])

    originals = {e.get("id"): e.text or "" for e in english.iter(GP + "string")}
    for string in adml.iter(GP + "string"):
        text, original = string.text or "", originals.get(string.get("id"))
        check(text.strip(), f"{name}: the string {string.get('id')} is empty")
        if original is not None:
            check(kept(text) == kept(original), f"{name}: the string {string.get('id')} has "
                  f"(paragraphs, numbers, kept words) {kept(text)}, English {kept(original)}")

    def controls(presentation):
        return [(e.tag.replace(GP, ""), sorted(e.attrib.items()), bool((e.text or "").strip()),
                 sorted(set(re.findall(r"\d+", e.text or "")))) for e in presentation.iter()]

    originals = {e.get("id"): e for e in english.iter(GP + "presentation")}
    for presentation in adml.iter(GP + "presentation"):
        original = originals.get(presentation.get("id"))
        if original is not None:
            check(controls(presentation) == controls(original),
                  f"{name}: the presentation {presentation.get('id')} has the controls "
                  f"{controls(presentation)}, English {controls(original)}")

    if texts is None:
        return
    policies = {e.text for e in adml.iter(GP + "string") if not e.get("id").endswith("_Explain")}
    for element in adml.iter():
        for quoted in QUOTED.finditer(element.text or ""):
            words = next(g for g in quoted.groups() if g is not None)
            check(words in texts or words in policies or QUOTED_OTHER.fullmatch(words),
                  f"{name} quotes {quoted[0]!r}, which is neither a text of the program in that "
                  "language nor a policy's name")


def package(build_dir, *made):
    """Makes the release afresh; SHA256SUMS and the manifests as text once SHA256SUMS names the
    files made. Without a download address, no manifest may be made, and the output says why."""
    dist = made[0].parent
    for stale in (*made, dist / "SHA256SUMS", dist / SCOOP):
        stale.unlink(missing_ok=True)  # an earlier run's files must not pass for fresh ones
    shutil.rmtree(dist / "winget", ignore_errors=True)
    said = subprocess.run(["cmake", "--build", str(build_dir), "--target", "package"], check=True,
                          capture_output=True, text=True).stdout
    sums = dist / "SHA256SUMS"
    if not all(p.is_file() for p in (*made, sums)):
        return None
    for p in made:
        check(f"{hashlib.sha256(p.read_bytes()).hexdigest()}  {p.name}\n" in sums.read_text(),
              f"SHA256SUMS lacks the checksum of {p.name}")
    manifests = sorted((dist / "winget").rglob("*.yaml")) + [dist / SCOOP]
    if "QUELVANT_RELEASE_URL:STRING=\n" in (build_dir / "CMakeCache.txt").read_text():
        check(not any(p.exists() for p in manifests) and said.count("No winget") == 1,
              "without a download address the release made manifests or did not say why")
    return sums.read_text() + "".join(p.read_text() for p in manifests if p.is_file())


def validator(name):
    """A Draft 7 validator of the copied schema, with every format it names checked."""
    schema = json.loads((SCHEMAS / name).read_text())
    kind = jsonschema.validators.validator_for(schema, default=None)
    check(kind is jsonschema.Draft7Validator, f"{name} is not a Draft 7 schema: {kind}")
    jsonschema.Draft7Validator.check_schema(schema)
    formats = set(re.findall(r'"format":\s*"([^"]+)"', (SCHEMAS / name).read_text()))
    checker = jsonschema.Draft7Validator.FORMAT_CHECKER
    unchecked = formats - OTHER_FORMATS - set(checker.checkers)
    check(not unchecked, f"{name}: this jsonschema cannot check the formats {unchecked} "
                         "(python3-jsonschema with python3-rfc3987)")
    return jsonschema.Draft7Validator(schema, format_checker=checker), schema


def schema_errors(name, doc):
    check_validator, _ = validator(name)
    return [f"{'/'.join(map(str, e.absolute_path))}: {e.message}"
            for e in check_validator.iter_errors(doc)]


def scoop_hash(sums_text, file_name, regex=""):
    """The hash Scoop's updater reads for a file out of a checksum file
    (find_hash_in_textfile in ScoopInstaller/Scoop lib/autoupdate.ps1): the whole text as one
    hash, else the given regex, else the hash on the line naming the file. .NET's -match is
    case-blind, and without (?m) ^ and $ hold at the text's ends only."""
    templates = {"$sha256": "([a-fA-F0-9]{64})", "$checksum": "([a-fA-F0-9]{32,128})"}
    pattern = regex or r"^\s*([a-fA-F0-9]+)\s*$"
    for key, value in templates.items():
        pattern = pattern.replace(key, value)
    pattern = pattern.replace("$basename", re.escape(file_name))
    found = re.search(pattern, sums_text, re.IGNORECASE)
    if not found:
        by_name = (rf"([a-fA-F0-9]{{32,128}})[\x20\t]+.*{re.escape(file_name)}(?:\s|$)"
                   rf"|{re.escape(file_name)}[\x20\t]+.*?([a-fA-F0-9]{{32,128}})")
        found = re.search(by_name, sums_text, re.IGNORECASE)
    return found[1] if found else None  # Scoop takes the first group, filled or not


def check_winget_header(name, text, doc, schema):
    """The first line names the manifest's own type and version, as winget reads them, and
    is the schema's own address."""
    first = text.splitlines()[0] if text else ""
    m = re.fullmatch(r"# yaml-language-server: (\$schema=(\S+))", first)
    found = HEADER.search(m[2]) if m else None
    if not check(found, f"{name}: no schema header winget can read: {first!r}"):
        return
    check(found[1] in WINGET_TYPES and found[1] == doc.get("ManifestType"),
          f"{name}: the header names type {found[1]!r}, the manifest {doc.get('ManifestType')!r}")
    check(found[2] == doc.get("ManifestVersion"), f"{name}: the header names version {found[2]}")
    check(m[1].lower() == f"$schema={schema['$id']}".lower(),
          f"{name}: the header {m[1]} is not the schema's {schema['$id']}")


def check_manifests(dist, msi, archive, version, source_dir):
    """The official schemas pass them; the headers, names and paths are winget's and Scoop's;
    the hashes are the files' own and the codes the installer's; Scoop's updater finds the
    next version's zip and its hash as Scoop's own code reads them."""
    base = TEST_URL.replace("{version}", version)
    sha = {p: hashlib.sha256(p.read_bytes()).hexdigest() for p in (msi, archive)}
    has = msi_properties(msi)
    folder = (dist / "winget/manifests" / WINGET_ID[0].lower() / Path(*WINGET_ID.split("."))
              / version)
    found = sorted(p.relative_to(dist) for p in (dist / "winget").rglob("*") if p.is_file())
    check(found == sorted(folder.relative_to(dist) / n for n in WINGET_FILES),
          f"the winget files are {found}, not the three in {folder.relative_to(dist)}")
    docs = {}
    for name, kind in WINGET_FILES.items():
        if not (folder / name).is_file():
            continue
        text = (folder / name).read_text()
        doc = docs[kind] = yaml.safe_load(text)  # one that does not parse fails here
        errors = schema_errors(f"winget/manifest.{kind}.{WINGET_VERSION}.json", doc)
        check(not errors, f"{name} fails winget's schema: {errors}")
        check_winget_header(name, text, doc, validator(
            f"winget/manifest.{kind}.{WINGET_VERSION}.json")[1])
        check((doc.get("PackageIdentifier"), doc.get("PackageVersion"), doc.get("ManifestVersion"))
              == (WINGET_ID, version, WINGET_VERSION), f"{name} names another package or version")
    if len(docs) < len(WINGET_FILES):
        return
    check(docs["version"]["DefaultLocale"] == docs["defaultLocale"]["PackageLocale"] == "en-US",
          "the version manifest's DefaultLocale is not the locale manifest's")
    licence = (source_dir / "LICENSE").read_text()
    locale = docs["defaultLocale"]
    check((f"{locale['License']} License", locale["Publisher"], locale.get("Copyright"))
          == (licence.splitlines()[0], has["Manufacturer"], licence.splitlines()[2].strip()),
          f"the winget locale {locale} breaks LICENSE or the MSI's publisher")
    # The licence's page is the LICENSE published beside the files.
    check(locale.get("LicenseUrl") == f"{base}/LICENSE" and (dist / "LICENSE").read_bytes()
          == (source_dir / "LICENSE").read_bytes(), f"LicenseUrl {locale.get('LicenseUrl')}")
    codes = {"ProductCode": has["ProductCode"]}
    installers = docs["installer"].get("Installers")
    check(installers == [{
        "Architecture": "x64", "InstallerType": "msi", "Scope": "machine",
        "InstallerUrl": f"{base}/{msi.name}", "InstallerSha256": sha[msi].upper(),
        "InstallerSwitches": {"InstallLocation": 'INSTALLDIR="<INSTALLPATH>"'},
        **codes, "AppsAndFeaturesEntries": [{
            "Publisher": has["Manufacturer"], "DisplayVersion": has["ProductVersion"], **codes,
            "UpgradeCode": has["UpgradeCode"]}]}], f"the winget installer {installers}")

    scoop = json.loads((dist / SCOOP).read_text())
    errors = schema_errors("scoop/schema.json", scoop)
    check(not errors, f"{SCOOP} fails Scoop's schema: {errors}")
    arch = scoop.get("architecture", {}).get("64bit", {})
    check((scoop.get("version"), scoop.get("homepage"), scoop.get("license"), arch)
          == (version, TEST_HOME, locale["License"],
              {"url": f"{base}/{archive.name}", "hash": sha[archive]}),
          f"the Scoop manifest {scoop}")
    # The updater, as Scoop runs it for this very version, must arrive at this manifest's
    # address and hash: $version in the address, the hash from SHA256SUMS beside the file.
    update = scoop.get("autoupdate", {}).get("architecture", {}).get("64bit", {})
    url = str(update.get("url", "")).replace("$version", version)
    hash_url = str(update.get("hash", {}).get("url", "")).replace(
        "$baseurl", url.rsplit("/", 1)[0]).replace("$url", url)
    check(url == arch.get("url") and hash_url == f"{base}/SHA256SUMS",
          f"Scoop's autoupdate gives {url} and {hash_url}")
    check(scoop_hash((dist / "SHA256SUMS").read_text(), archive.name,
                     update.get("hash", {}).get("regex", "")) == sha[archive],
          "Scoop's autoupdate does not find the zip's hash in SHA256SUMS")
    checkver = scoop.get("checkver", {})
    latest = re.search(checkver.get("regex", "^$"), f'<a href="{arch.get("url")}">')
    check(checkver.get("url") == TEST_HOME and latest and latest[1] == version,
          f"Scoop's checkver {checkver} does not read the version off the home page's link")


def msi_properties(msi):
    export = subprocess.run(["msiinfo", "export", msi, "Property"], check=True,
                            capture_output=True, text=True).stdout
    return dict(line.split("\t", 1) for line in export.splitlines()[3:])


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
         f"-DQUELVANT_RELEASE_URL={TEST_URL}", f"-DQUELVANT_HOMEPAGE={TEST_HOME}",
         f"-DQUELVANT_RELEASE_NOTES_URL={TEST_NOTES}"], cwd=args.source_dir)
    made = (dist / f"Quelvant-{args.version}-win64.msi", dist / f"Quelvant-{args.version}-win64.zip")
    first = package(tree, *made)
    if not check(first is not None, "the signed release was not made"):
        return
    check_manifests(dist, *made, args.version, args.source_dir)
    # Only the installer of a program asking for user-interface access guards its folder.
    guards = [b"INSTALLDIR" in subprocess.run(["msiinfo", "export", msi, "LaunchCondition"],
                                              capture_output=True).stdout
              for msi in (made[0], args.build_dir / "dist" / made[0].name)]
    check(guards == [True, False], f"installers guarding their folder (signed, not): {guards}")
    # Programs and Features links the home page where one is given.
    home = re.search(r"^QUELVANT_HOMEPAGE:STRING=(.*)$",
                     (args.build_dir / "CMakeCache.txt").read_text(), re.M)
    for msi, page in ((made[0], TEST_HOME), (args.build_dir / "dist" / made[0].name,
                                             home[1] if home else "")):
        links = {k: v for k, v in msi_properties(msi).items()
                 if k in ("ARPURLINFOABOUT", "ARPHELPLINK")}
        check(links == ({"ARPURLINFOABOUT": page, "ARPHELPLINK": page} if page else {}),
              f"{msi}: Programs and Features links {links}")
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
    check_final_files(tree, made, args)


def check_final_files(tree, made, args):
    """Time-stamped after the build (by a time-stamp authority of osslsigncode's own, no
    network), the installer has new bytes: the final-files step writes SHA256SUMS and the
    manifests again, and they name the new hash."""
    run = functools.partial(subprocess.run, check=True, capture_output=True)
    tsa, tsa_key, stamped = tree / "tsa.pem", tree / "tsa-key.pem", tree / "stamped.msi"
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
         "/CN=Quelvant test time stamps", "-keyout", tsa_key, "-out", tsa,
         "-addext", "extendedKeyUsage=critical,timeStamping"])
    before = hashlib.sha256(made[0].read_bytes()).hexdigest()
    stamped.unlink(missing_ok=True)
    run(["osslsigncode", "add", "-TSA-certs", tsa, "-TSA-key", tsa_key, "-TSA-time",
         str(int(time.time())), "-in", made[0], "-out", stamped])
    os.replace(stamped, made[0])
    after = hashlib.sha256(made[0].read_bytes()).hexdigest()
    check(after != before, "time-stamping left the installer's bytes as they were")
    run(["cmake", "--build", tree, "--target", "manifests"])
    sums = (made[0].parent / "SHA256SUMS").read_text()
    check(f"{after}  {made[0].name}\n" in sums and before not in sums,
          f"SHA256SUMS after the final-files step: {sums}")
    check_manifests(made[0].parent, *made, args.version, args.source_dir)


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
