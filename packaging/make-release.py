#!/usr/bin/env python3
"""Makes the release from a Windows build: the installer Quelvant-<version>-win64.msi, the
portable Quelvant-<version>-win64.zip (both with the Group Policy templates) and SHA256SUMS, byte for byte the same on every run of
the same sources. With a certificate, the program, the library and the installer are signed
first (SHA-256, signing time fixed to the sources' time). Given the address the files will be
downloaded from and a home page, it writes the winget manifests (winget/) and the Scoop
manifest (quelvant.json) from the artefacts just made.

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
import uuid
import zipfile
from pathlib import Path

# Fixed for all time: every version's product code is derived from it, and Windows finds the
# installed version through the upgrade code in the .wxs.
NAMESPACE = uuid.UUID("6F0C2B0E-5C1D-4E55-9B43-2D8A51C7E301")
# The Group Policy templates, as packaging/policy holds them and as both artefacts ship them:
# the layout of %SystemRoot%\PolicyDefinitions.
POLICY_TEMPLATES = ("Quelvant.admx", "en-US/Quelvant.adml")
POLICY_DIR = "PolicyDefinitions"
PASSWORD_VARIABLE = "QUELVANT_SIGN_PASSWORD"

WINGET_ID = "Quelvant.Quelvant"
WINGET_SCHEMA = "1.12.0"
WINGET_DIR = "winget"
SCOOP_MANIFEST = "quelvant.json"
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
    digest = hashlib.sha256(args.version.encode())
    files = ("Quelvant.exe", "Helper.dll", "Quelvant.ico",
             *(f"{POLICY_DIR}/{name}" for name in POLICY_TEMPLATES))
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
                 "-D", f"UiAccess={'true' if ui_access else 'false'}", "-o", str(out.resolve()),
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
                    lines.append(f"{indent}- {json.dumps(item)}")
        else:
            lines.append(f"{indent}{key}: {json.dumps(value)}")
    return lines


def write_manifests(args, msi: Path, archive: Path, base_url: str) -> None:
    """winget's multi-file manifest for the installer and Scoop's for the portable zip, with
    the hashes of the files made and the codes the installer itself holds."""
    def url(path: Path) -> str:
        return f"{base_url}/{path.name}"

    def sha256(path: Path) -> str:
        return hashlib.sha256(path.read_bytes()).hexdigest()

    licence_line = (args.source_dir / "LICENSE").read_text().splitlines()[0].strip()
    if licence_line not in LICENCES:
        raise SystemExit(f"LICENSE begins with {licence_line!r}, which names no known licence")
    licence = LICENCES[licence_line]
    properties = msi_properties(msi)
    publisher = properties["Manufacturer"]
    common = {"PackageIdentifier": WINGET_ID, "PackageVersion": args.version}
    files = {
        f"{WINGET_ID}.yaml": ("version", {**common, "DefaultLocale": "en-US"}),
        f"{WINGET_ID}.locale.en-US.yaml": ("defaultLocale", {
            **common, "PackageLocale": "en-US", "Publisher": publisher,
            "PackageName": properties["ProductName"], "PackageUrl": args.homepage,
            "License": licence, "ShortDescription": SHORT_DESCRIPTION, "Tags": TAGS}),
        f"{WINGET_ID}.installer.yaml": ("installer", {**common, "Installers": [{
            "Architecture": "x64", "InstallerType": "msi", "Scope": "machine",
            "InstallerUrl": url(msi), "InstallerSha256": sha256(msi).upper(),
            # winget passes --location as TARGETDIR, which does not move a Program Files install.
            "UnsupportedArguments": ["location"],
            "ProductCode": properties["ProductCode"],
            "AppsAndFeaturesEntries": [{
                "Publisher": publisher, "DisplayVersion": properties["ProductVersion"],
                "ProductCode": properties["ProductCode"],
                "UpgradeCode": properties["UpgradeCode"]}]}]}),
    }
    folder = args.out_dir / WINGET_DIR
    folder.mkdir()
    for name, (kind, fields) in files.items():
        schema = f"https://aka.ms/winget-manifest.{kind.lower()}.{WINGET_SCHEMA}.schema.json"
        lines = [f"# yaml-language-server: $schema={schema}", "",
                 *to_yaml({**fields, "ManifestType": kind, "ManifestVersion": WINGET_SCHEMA})]
        (folder / name).write_text("\n".join(lines) + "\n")
    # No "persist": the settings live in the user's registry, never in the app's folder.
    scoop = {"version": args.version, "description": SHORT_DESCRIPTION,
             "homepage": args.homepage, "license": licence,
             "architecture": {"64bit": {"url": url(archive), "hash": sha256(archive)}},
             "bin": "Quelvant.exe", "shortcuts": [["Quelvant.exe", "Quelvant"]]}
    (args.out_dir / SCOOP_MANIFEST).write_text(json.dumps(scoop, indent=4) + "\n")


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
    args = parser.parse_args()

    base_url = args.release_url.replace("{version}", args.version).rstrip("/")
    for name, value in (("release address", base_url), ("home page", args.homepage)):
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
    templates = [(f"{POLICY_DIR}/{name}", args.source_dir / "packaging/policy" / name)
                 for name in POLICY_TEMPLATES]
    for name, source in templates:
        (installed / name).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, installed / name)

    base = f"Quelvant-{args.version}-win64"
    msi, archive = args.out_dir / f"{base}.msi", args.out_dir / f"{base}.zip"
    for stale in (msi, archive, args.out_dir / "SHA256SUMS", args.out_dir / SCOOP_MANIFEST):
        stale.unlink(missing_ok=True)
    shutil.rmtree(args.out_dir / WINGET_DIR, ignore_errors=True)
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
    sums = "".join(f"{hashlib.sha256(p.read_bytes()).hexdigest()}  {p.name}\n"
                   for p in (msi, archive))
    (args.out_dir / "SHA256SUMS").write_text(sums)
    print(sums, end="")
    if base_url and args.homepage:
        write_manifests(args, msi, archive, base_url)
    else:
        missing = [name for name, value in (("QUELVANT_RELEASE_URL", base_url),
                                            ("QUELVANT_HOMEPAGE", args.homepage)) if not value]
        print(f"No winget or Scoop manifests: {' and '.join(missing)} not set (where the files "
              "will be downloaded from, the project's home page).")


if __name__ == "__main__":
    main()
