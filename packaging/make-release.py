#!/usr/bin/env python3
"""Makes the release from a Windows build: the installer Quelvant-<version>-win64.msi, the
portable Quelvant-<version>-win64.zip (both with the Group Policy templates) and SHA256SUMS, byte for byte the same on every run of
the same sources. With a certificate, the program, the library and the installer are signed
first (SHA-256, signing time fixed to the sources' time). Given the address the files will be
downloaded from and a home page, it writes the winget manifests (winget/manifests/...) and the
Scoop manifest (quelvant.json) from the artefacts just made.

`make-release.py manifests DIST --release-url ... --homepage ...` writes SHA256SUMS and the
manifests again from the files in DIST as they are now, after time-stamping for instance.

Every varying input is pinned: file times and zip entry times come from SOURCE_DATE_EPOCH (or
the last commit's time), wixl runs under faketime for the installer's dates, its package code
is derived from what it holds, and its product code from the version alone."""

import argparse
import datetime
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import uuid
import zipfile
from pathlib import Path

# Fixed for all time: every version's product code is derived from it, and Windows finds the
# installed version through the upgrade code in the .wxs.
NAMESPACE = uuid.UUID("6F0C2B0E-5C1D-4E55-9B43-2D8A51C7E301")
# The Group Policy templates, as packaging/policy holds them and as both artefacts ship them:
# the layout of %SystemRoot%\PolicyDefinitions, the .admx and one .adml per language in a folder
# named by its culture (en-US, de-DE, ...).
POLICY_SOURCE = "packaging/policy"
POLICY_DIR = "PolicyDefinitions"
PASSWORD_VARIABLE = "QUELVANT_SIGN_PASSWORD"

WINGET_ID = "Quelvant.Quelvant"
WINGET_SCHEMA = "1.12.0"
WINGET_DIR = "winget"
# The community repository's layout (microsoft/winget-pkgs): publishing is one copy of this tree.
WINGET_PATH = "manifests/q/Quelvant/Quelvant"
SCOOP_MANIFEST = "quelvant.json"
SUMS = "SHA256SUMS"
MONIKER = "quelvant"
SHORT_DESCRIPTION = ("Blocks chosen mouse buttons, the wheel, pointer movement and, on request, "
                     "every key, with a shortcut that releases and restores the blocking.")
TAGS = ["accessibility", "input", "mouse", "keyboard", "kiosk"]
# The SPDX identifiers of the licence texts LICENSE may hold, by its first line.
LICENCES = {"MIT License": "MIT"}


def source_epoch(source_dir: Path) -> int:
    if "SOURCE_DATE_EPOCH" in os.environ:
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", str(source_dir), "log", "-1", "--format=%ct"],
                             capture_output=True, text=True, check=True).stdout.strip()
        return int(out)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return 1767225600  # 2026-01-01: a tree without history still builds the same


def policy_templates(source_dir: Path) -> list[str]:
    """The .admx, then every language's .adml in the order of its culture's name: a translator
    adds a language with its folder (and its line in packaging/Quelvant.wxs)."""
    folder = source_dir / POLICY_SOURCE
    return ["Quelvant.admx", *sorted(p.relative_to(folder).as_posix()
                                     for p in folder.glob("*/Quelvant.adml"))]


def sign(args, epoch: int, unsigned: Path, signed: Path) -> None:
    """osslsigncode with a fixed signing time, so two signings give the same bytes."""
    cert = Path(args.sign_cert)
    command = ["osslsigncode", "sign", "-h", "sha256", "-time", str(epoch), "-n", "Quelvant"]
    if cert.suffix.lower() in (".p12", ".pfx"):
        command += ["-pkcs12", str(cert)]
    else:
        command += ["-certs", str(cert), "-key", args.sign_key]
    password = os.environ.get(PASSWORD_VARIABLE)
    if password is not None:
        # Through a pipe, never on the command line where every process could read it.
        command += ["-readpass", "/dev/stdin"]
    signed.unlink(missing_ok=True)
    command += ["-in", str(unsigned), "-out", str(signed)]
    run(command, input=password or "")


def write_zip(path: Path, entries: list[tuple[str, Path]], epoch: int) -> None:
    """Entries in the given order, with one fixed time and no owner or permission bits."""
    when = datetime.datetime.fromtimestamp(max(epoch, 315532800), datetime.timezone.utc)
    with zipfile.ZipFile(path, "w") as archive:
        for name, source in entries:
            info = zipfile.ZipInfo(name, when.timetuple()[:6])
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0
            info.external_attr = 0
            archive.writestr(info, source.read_bytes(), compresslevel=9)


def write_msi(args, epoch: int, stage: Path, out: Path) -> None:
    # A program asking for user-interface access starts only from a protected folder: its
    # installer refuses any other (packaging/Quelvant.wxs).
    ui_access = b'uiAccess="true"' in (stage / "Quelvant.exe").read_bytes()
    product_code = uuid.uuid5(NAMESPACE, f"Quelvant {args.version} win64")
    # Windows caches installers by package code: a different build must never share one.
    digest = hashlib.sha256(f"{args.version}\n{args.homepage}".encode())
    templates = [f"{POLICY_DIR}/{name}" for name in policy_templates(args.source_dir)]
    # wixl installs what the .wxs names: a language's template it leaves out would be missing
    # from the installer alone.
    named = re.findall(rf'Source="({POLICY_DIR}/[^"]*)"', Path(args.wxs).read_text())
    if sorted(named) != sorted(templates):
        raise SystemExit(f"{args.wxs} installs the templates {sorted(named)}, packaging/policy "
                         f"holds {sorted(templates)}")
    files = ("Quelvant.exe", "Helper.dll", "Quelvant.ico", *templates)
    for name in files:
        digest.update((stage / name).read_bytes())
    digest.update(Path(args.wxs).read_bytes())
    package_code = uuid.uuid5(NAMESPACE, digest.hexdigest())
    for name in files:
        os.utime(stage / name, (epoch, epoch))  # the cabinet keeps file times
    clock = ["faketime", "-f", "@" + datetime.datetime.fromtimestamp(
        epoch, datetime.timezone.utc).strftime("%Y-%m-%d %H:%M:%S")]
    env = dict(os.environ, TZ="UTC")
    run(clock + ["wixl", "-a", "x64", "-D", f"Version={args.version}",
                 "-D", f"ProductCode={product_code}",
                 "-D", f"UiAccess={'true' if ui_access else 'false'}",
                 "-D", f"Homepage={args.homepage}", "-o", str(out.resolve()),
                 str(Path(args.wxs).resolve())], cwd=stage, env=env)
    run(clock + ["msibuild", str(out), "-s", f"Quelvant {args.version}", "Quelvant developers",
                 "x64;1033", "{%s}" % str(package_code).upper()], env=env)


def msi_properties(msi: Path) -> dict[str, str]:
    """The Property table as the installer holds it (msiinfo: three header rows, then rows)."""
    out = subprocess.run(["msiinfo", "export", str(msi), "Property"], capture_output=True,
                         text=True, check=True).stdout
    return dict(line.split("\t", 1) for line in out.splitlines()[3:] if "\t" in line)


def to_yaml(fields: dict, indent: str = "") -> list[str]:
    """The YAML the manifests need: maps, lists, and scalars written as JSON, which YAML reads
    alike (so a version such as 1.0 stays a string)."""
    lines = []
    for key, value in fields.items():
        if isinstance(value, dict):
            lines += [f"{indent}{key}:", *to_yaml(value, indent + "  ")]
        elif isinstance(value, list):
            lines.append(f"{indent}{key}:")
            for item in value:
                if isinstance(item, dict):
                    first, *rest = to_yaml(item, indent + "  ")
                    lines += [f"{indent}- {first.lstrip()}", *rest]
                else:
                    lines.append(f"{indent}- {json.dumps(item, ensure_ascii=False)}")
        else:
            lines.append(f"{indent}{key}: {json.dumps(value, ensure_ascii=False)}")
    return lines


def release_files(dist: Path) -> tuple[str, Path, Path]:
    """The version and the installer and zip of the one release in DIST, by their names."""
    found = [re.fullmatch(r"Quelvant-(.+)-win64\.msi", p.name) for p in sorted(dist.glob("*.msi"))]
    versions = [m[1] for m in found if m]
    if len(versions) != 1:
        raise SystemExit(f"{dist} holds {len(versions)} Quelvant installers, not one")
    msi, archive = (dist / f"Quelvant-{versions[0]}-win64.{kind}" for kind in ("msi", "zip"))
    if not archive.is_file():
        raise SystemExit(f"{dist} holds no {archive.name}")
    return versions[0], msi, archive


def readme_description(readme: str) -> str:
    """The README's first paragraph, the one that says what Quelvant does."""
    body = readme.split("\n\n", 1)[1] if readme.startswith("# ") else readme
    return " ".join(body.split("\n\n", 1)[0].split())


def write_final(dist: Path, release_url: str, homepage: str, notes_url: str = "") -> None:
    """SHA256SUMS, and with a download address and a home page the manifests, from the files in
    DIST as they are now: after time-stamping too, their hashes are the files' own."""
    version, msi, archive = release_files(dist)
    for stale in (dist / SUMS, dist / SCOOP_MANIFEST):
        stale.unlink(missing_ok=True)
    shutil.rmtree(dist / WINGET_DIR, ignore_errors=True)
    sums = "".join(f"{hashlib.sha256(p.read_bytes()).hexdigest()}  {p.name}\n"
                   for p in (msi, archive))
    (dist / SUMS).write_text(sums)
    print(sums, end="")
    base_url = release_url.replace("{version}", version).rstrip("/")
    notes_url = notes_url.replace("{version}", version)
    for name, value in (("release address", base_url), ("home page", homepage),
                        ("release notes address", notes_url)):
        if value and not re.fullmatch(r"https?://[^\s]+", value):
            raise SystemExit(f"the {name} {value!r} is not an http(s) address")
    if base_url and homepage:
        write_manifests(dist, version, msi, archive, release_url, homepage, notes_url)
    else:
        missing = [name for name, value in (("QUELVANT_RELEASE_URL", base_url),
                                            ("QUELVANT_HOMEPAGE", homepage)) if not value]
        print(f"No winget or Scoop manifests: {' and '.join(missing)} not set (where the files "
              "will be downloaded from, the project's home page).")


def scoop_checkver(release_url: str, homepage: str, archive_pattern: str) -> dict:
    """Where Scoop's updater learns of a new version: the latest release of a GitHub project,
    else the home page, which links the latest zip by its name."""
    github = re.match(r"https://github\.com/([^/]+)/([^/]+)/releases/download/", release_url)
    if github:
        return {"github": f"https://github.com/{github[1]}/{github[2]}"}
    return {"url": homepage, "regex": archive_pattern}


def write_manifests(dist: Path, version: str, msi: Path, archive: Path, release_url: str,
                    homepage: str, notes_url: str) -> None:
    """winget's multi-file manifest for the installer and Scoop's for the portable zip, with
    the hashes of the files as they are and the codes the installer itself holds."""
    base_url = release_url.replace("{version}", version).rstrip("/")

    def url(path: Path) -> str:
        return f"{base_url}/{path.name}"

    def sha256(path: Path) -> str:
        return hashlib.sha256(path.read_bytes()).hexdigest()

    with zipfile.ZipFile(archive) as z:
        licence_text = z.read("LICENSE").decode()
        description = readme_description(z.read("README.md").decode())
    licence_line = licence_text.splitlines()[0].strip()
    if licence_line not in LICENCES:
        raise SystemExit(f"LICENSE begins with {licence_line!r}, which names no known licence")
    licence = LICENCES[licence_line]
    copyright_line = next(line.strip() for line in licence_text.splitlines()
                          if line.startswith("Copyright"))
    properties = msi_properties(msi)
    publisher = properties["Manufacturer"]
    common = {"PackageIdentifier": WINGET_ID, "PackageVersion": version}
    locale = {**common, "PackageLocale": "en-US", "Publisher": publisher,
              "PublisherUrl": homepage, "PackageName": properties["ProductName"],
              "PackageUrl": homepage, "License": licence,
              # The licence as published beside the files (README: Publishing).
              "LicenseUrl": f"{base_url}/LICENSE", "Copyright": copyright_line,
              "ShortDescription": SHORT_DESCRIPTION, "Description": description,
              "Moniker": MONIKER, "Tags": TAGS}
    if notes_url:
        locale["ReleaseNotesUrl"] = notes_url
    files = {
        f"{WINGET_ID}.yaml": ("version", {**common, "DefaultLocale": "en-US"}),
        f"{WINGET_ID}.locale.en-US.yaml": ("defaultLocale", locale),
        f"{WINGET_ID}.installer.yaml": ("installer", {**common, "Installers": [{
            "Architecture": "x64", "InstallerType": "msi", "Scope": "machine",
            "InstallerUrl": url(msi), "InstallerSha256": sha256(msi).upper(),
            # winget's default for an MSI is TARGETDIR, which does not move INSTALLDIR.
            "InstallerSwitches": {"InstallLocation": 'INSTALLDIR="<INSTALLPATH>"'},
            "ProductCode": properties["ProductCode"],
            "AppsAndFeaturesEntries": [{
                "Publisher": publisher, "DisplayVersion": properties["ProductVersion"],
                "ProductCode": properties["ProductCode"],
                "UpgradeCode": properties["UpgradeCode"]}]}]}),
    }
    folder = dist / WINGET_DIR / WINGET_PATH / version
    folder.mkdir(parents=True)
    for name, (kind, fields) in files.items():
        # winget reads the type from this header, case and all (defaultLocale).
        schema = f"https://aka.ms/winget-manifest.{kind}.{WINGET_SCHEMA}.schema.json"
        lines = [f"# yaml-language-server: $schema={schema}", "",
                 *to_yaml({**fields, "ManifestType": kind, "ManifestVersion": WINGET_SCHEMA})]
        (folder / name).write_text("\n".join(lines) + "\n", encoding="utf-8")
    # Scoop's updater: the new zip's address from the version, its hash read from the
    # SHA256SUMS beside it (the line that names the zip).
    template = release_url.replace("{version}", "$version").rstrip("/")
    archive_name = archive.name.replace(version, "$version")
    archive_pattern = r"Quelvant-([\d.]+)-win64\.zip"
    # No "persist": the settings live in the user's registry, never in the app's folder.
    scoop = {"version": version, "description": SHORT_DESCRIPTION,
             "homepage": homepage, "license": licence,
             "architecture": {"64bit": {"url": url(archive), "hash": sha256(archive)}},
             "bin": "Quelvant.exe", "shortcuts": [["Quelvant.exe", "Quelvant"]],
             "checkver": scoop_checkver(release_url, homepage, archive_pattern),
             "autoupdate": {"architecture": {"64bit": {
                 "url": f"{template}/{archive_name}", "hash": {"url": f"$baseurl/{SUMS}"}}}}}
    (dist / SCOOP_MANIFEST).write_text(json.dumps(scoop, indent=4) + "\n")


def run(command: list[str], **kwargs) -> None:
    """Quiet when it works (wixl and msibuild chatter), everything said when it fails."""
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        raise SystemExit(f"{' '.join(command)} failed:\n{result.stdout}{result.stderr}")


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", required=True)
    parser.add_argument("--source-dir", required=True, type=Path)
    parser.add_argument("--portable-exe", required=True, type=Path,
                        help="the program for the zip (asks for no user-interface access)")
    parser.add_argument("--installed-exe", required=True, type=Path,
                        help="the program for the installer")
    parser.add_argument("--helper", required=True, type=Path)
    parser.add_argument("--wxs", required=True)
    parser.add_argument("--icon", required=True, type=Path)
    parser.add_argument("--stage-dir", required=True, type=Path)
    parser.add_argument("--out-dir", required=True, type=Path)
    parser.add_argument("--sign-cert", default="")
    parser.add_argument("--sign-key", default="")
    parser.add_argument("--release-url", default="",
                        help="where the files will be downloaded from; {version} is replaced")
    parser.add_argument("--homepage", default="")
    parser.add_argument("--release-notes-url", default="",
                        help="the release notes of this version ({version} is replaced)")
    args = parser.parse_args()

    for name, value in (("release address", args.release_url), ("home page", args.homepage),
                        ("release notes address", args.release_notes_url)):
        if value and not re.fullmatch(r"https?://[^\s]+", value):
            raise SystemExit(f"the {name} {value!r} is not an http(s) address")

    epoch = source_epoch(args.source_dir)
    shutil.rmtree(args.stage_dir, ignore_errors=True)
    portable, installed = args.stage_dir / "portable", args.stage_dir / "msi"
    portable.mkdir(parents=True)
    installed.mkdir()
    args.out_dir.mkdir(parents=True, exist_ok=True)

    def put(source: Path, target: Path) -> None:
        if args.sign_cert:
            sign(args, epoch, source, target)
        else:
            shutil.copyfile(source, target)

    put(args.portable_exe, portable / "Quelvant.exe")
    put(args.helper, portable / "Helper.dll")
    put(args.installed_exe, installed / "Quelvant.exe")
    shutil.copyfile(portable / "Helper.dll", installed / "Helper.dll")
    shutil.copyfile(args.icon, installed / "Quelvant.ico")
    templates = [(f"{POLICY_DIR}/{name}", args.source_dir / POLICY_SOURCE / name)
                 for name in policy_templates(args.source_dir)]
    for name, source in templates:
        (installed / name).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, installed / name)

    base = f"Quelvant-{args.version}-win64"
    msi, archive = args.out_dir / f"{base}.msi", args.out_dir / f"{base}.zip"
    for stale in (*args.out_dir.glob("Quelvant-*-win64.*"), args.out_dir / "LICENSE"):
        stale.unlink(missing_ok=True)  # a build of another version must not stay beside it
    if args.sign_cert:
        write_msi(args, epoch, installed, args.stage_dir / "unsigned.msi")
        sign(args, epoch, args.stage_dir / "unsigned.msi", msi)
    else:
        write_msi(args, epoch, installed, msi)
    write_zip(archive, [("Quelvant.exe", portable / "Quelvant.exe"),
                        ("Helper.dll", portable / "Helper.dll"),
                        ("README.md", args.source_dir / "README.md"),
                        ("LICENSE", args.source_dir / "LICENSE"),
                        *templates], epoch)
    # Published beside the files: the winget manifest names it as the licence's page.
    shutil.copyfile(args.source_dir / "LICENSE", args.out_dir / "LICENSE")
    write_final(args.out_dir, args.release_url, args.homepage, args.release_notes_url)


def manifests_main(argv: list[str]) -> None:
    parser = argparse.ArgumentParser(
        prog="make-release.py manifests",
        description="Writes SHA256SUMS and the manifests again from the files in DIST as they "
                    "are now (after time-stamping, say).")
    parser.add_argument("dist", type=Path)
    parser.add_argument("--release-url", default="")
    parser.add_argument("--homepage", default="")
    parser.add_argument("--release-notes-url", default="")
    args = parser.parse_args(argv)
    write_final(args.dist, args.release_url, args.homepage, args.release_notes_url)


if __name__ == "__main__":
    if sys.argv[1:2] == ["manifests"]:
        manifests_main(sys.argv[2:])
    else:
        main()
