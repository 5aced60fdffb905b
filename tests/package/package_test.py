"""The Debian package, checked as a user's machine would see it.

`build` makes the package from this build tree with CPack and unpacks it with
dpkg-deb -x; every other step looks at what was unpacked. Each step is a test
of its own (see CMakeLists.txt), run as
    /usr/bin/python3 package_test.py STEP
with POSTRIDER_SOURCE_DIR, POSTRIDER_BUILD_DIR, POSTRIDER_VERSION and
POSTRIDER_PACKAGE_TEST_DIR (the folder the package is made and unpacked in).
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

SOURCE = os.environ["POSTRIDER_SOURCE_DIR"]
BUILD = os.environ["POSTRIDER_BUILD_DIR"]
VERSION = os.environ["POSTRIDER_VERSION"]
WORK = os.environ["POSTRIDER_PACKAGE_TEST_DIR"]
ROOT = os.path.join(WORK, "root")

ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
MIME_TYPE = "application/x-postrider-project"
DESKTOP_FILE = "usr/share/applications/postrider.desktop"
METAINFO_FILE = "usr/share/metainfo/io.github.postrider.Postrider.metainfo.xml"
MIME_FILE = "usr/share/mime/packages/postrider.xml"

EXPECTED_FILES = [
    "usr/bin/postrider",
    "usr/bin/postrider-cli",
    DESKTOP_FILE,
    METAINFO_FILE,
    MIME_FILE,
    "usr/share/icons/hicolor/scalable/apps/postrider.svg",
    "usr/share/man/man1/postrider.1.gz",
    "usr/share/man/man1/postrider-cli.1.gz",
    "usr/share/bash-completion/completions/postrider-cli",
    "usr/share/zsh/vendor-completions/_postrider-cli",
    "usr/share/doc/postrider/copyright",
    "usr/share/doc/postrider/changelog.gz",
] + ["usr/share/icons/hicolor/%dx%d/apps/postrider.png" % (s, s) for s in ICON_SIZES]

failures = []


def fail(text):
    failures.append(text)
    print("FAILED: " + text)


def check(condition, text):
    if not condition:
        fail(text)
    return condition


def run(args, timeout=120, **kwargs):
    kwargs.setdefault("stdin", subprocess.DEVNULL)
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout, **kwargs)


def unpacked(path):
    return os.path.join(ROOT, path)


def deb_path():
    arch = run(["dpkg", "--print-architecture"]).stdout.strip()
    return os.path.join(WORK, "postrider_%s_%s.deb" % (VERSION, arch))


def clean_environment(home):
    """The user's folders all inside `home`, and no display."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_DATA_DIRS")}
    env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
               XDG_STATE_HOME=os.path.join(home, "state"),
               XDG_DATA_HOME=os.path.join(home, "data"), LC_ALL="C.UTF-8")
    return env


def copy_examples(folder):
    target = os.path.join(folder, "examples")
    shutil.copytree(os.path.join(SOURCE, "examples"), target)
    return target


# ---- steps ------------------------------------------------------------------

def step_build():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    made = run(["cpack", "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"),
                "-B", WORK], timeout=600, cwd=WORK)
    if not check(made.returncode == 0, "cpack failed:\n" + made.stdout + made.stderr):
        return
    deb = deb_path()
    if not check(os.path.isfile(deb), "no %s among %s" % (deb, os.listdir(WORK))):
        return
    unpack = run(["dpkg-deb", "-x", deb, ROOT])
    check(unpack.returncode == 0, "dpkg-deb -x: " + unpack.stderr)

    fields = {}
    for name in ("Package", "Version", "Architecture", "Section", "Maintainer", "Depends",
                 "Description"):
        fields[name] = run(["dpkg-deb", "-f", deb, name]).stdout.strip()
    check(fields["Package"] == "postrider", "Package: " + fields["Package"])
    check(fields["Version"] == VERSION, "Version: %s, not %s" % (fields["Version"], VERSION))
    check(fields["Section"] == "mail", "Section: " + fields["Section"])
    check("<" in fields["Maintainer"], "Maintainer: " + fields["Maintainer"])
    # Computed from the binaries: the C library, Qt and OpenSSL at least; named by the
    # build: libcurl, libsecret, libmagic, cmark-gfm and libidn2, which the programs load
    # only when they are used.
    for library in ("libc6", "libqt6widgets6", "libssl3", "libidn2-0", "libqt6keychain1",
                    "libcurl4", "libsecret-1-0", "libmagic1", "libcmark-gfm0"):
        check(library in fields["Depends"], "Depends lacks %s: %s" % (library, fields["Depends"]))
    check(len(fields["Description"].splitlines()) > 2, "Description: " + fields["Description"])


def png_size(path):
    with open(path, "rb") as png:
        head = png.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


def step_files():
    for path in EXPECTED_FILES:
        check(os.path.isfile(unpacked(path)), "missing " + path)
    for path in ("usr/bin/postrider", "usr/bin/postrider-cli"):
        check(os.access(unpacked(path), os.X_OK), path + " is not executable")
    for size in ICON_SIZES:
        path = unpacked("usr/share/icons/hicolor/%dx%d/apps/postrider.png" % (size, size))
        if os.path.isfile(path):
            check(png_size(path) == (size, size), "%s is %s" % (path, png_size(path)))
    # Nothing outside /usr, and no file left from the build or the tests.
    for top in os.listdir(ROOT):
        check(top == "usr", "unexpected /" + top)


def desktop_entry(key):
    with open(unpacked(DESKTOP_FILE), encoding="utf-8") as desktop:
        for line in desktop:
            if line.startswith(key + "="):
                return line.rstrip("\n")[len(key) + 1:]
    return None


def step_validators():
    desktop = run(["desktop-file-validate", unpacked(DESKTOP_FILE)])
    check(desktop.returncode == 0 and not desktop.stdout.strip(),
          "desktop-file-validate:\n" + desktop.stdout + desktop.stderr)
    check(desktop_entry("Exec") == "postrider %f", "Exec=%s" % desktop_entry("Exec"))
    check(desktop_entry("MimeType") == MIME_TYPE + ";", "MimeType=%s" % desktop_entry("MimeType"))
    check(desktop_entry("Icon") == "postrider", "Icon=%s" % desktop_entry("Icon"))

    metainfo = run(["appstreamcli", "validate", "--no-net", "--explain", unpacked(METAINFO_FILE)])
    check(metainfo.returncode == 0, "appstreamcli validate:\n" + metainfo.stdout + metainfo.stderr)
    with open(unpacked(METAINFO_FILE), encoding="utf-8") as text:
        meta = text.read()
    check('<release version="%s"' % VERSION in meta, "no release notes of " + VERSION)
    check("<launchable type=\"desktop-id\">postrider.desktop</launchable>" in meta,
          "the metainfo does not launch postrider.desktop")
    check("<mediatype>%s</mediatype>" % MIME_TYPE in meta, "the metainfo lacks the project type")
    check("@" + "POSTRIDER" not in meta, "an unfilled placeholder in the metainfo")

    xml = run(["xmllint", "--noout", unpacked(MIME_FILE)])
    check(xml.returncode == 0, "xmllint:\n" + xml.stderr)


def step_mime():
    """The type is given to Postrider's projects and to nothing else."""
    with tempfile.TemporaryDirectory() as scratch:
        data = os.path.join(scratch, "share")
        os.makedirs(os.path.join(data, "mime", "packages"))
        shutil.copy(unpacked(MIME_FILE), os.path.join(data, "mime", "packages"))
        update = run(["update-mime-database", os.path.join(data, "mime")])
        check(update.returncode == 0 and "rror" not in update.stderr,
              "update-mime-database:\n" + update.stderr)

        examples = copy_examples(scratch)
        files = {
            os.path.join(examples, "example.prj"): MIME_TYPE,
            os.path.join(examples, "example-comma.prj"): MIME_TYPE,
            os.path.join(scratch, "saved-on-windows.prj"): MIME_TYPE,
            os.path.join(scratch, "projection.prj"): "text/plain",
            os.path.join(scratch, "ide-project.prj"): "text/plain",
            os.path.join(scratch, "postrider.ini"): "text/plain",
        }
        with open(os.path.join(scratch, "saved-on-windows.prj"), "wb") as f:
            f.write(b"\xef\xbb\xbf[Settings]\r\nMessageFile=letter.txt\r\nHelperFile=a.prh\r\n")
        with open(os.path.join(scratch, "projection.prj"), "w") as f:
            f.write('PROJCS["WGS_1984_UTM_Zone_33N",GEOGCS["GCS_WGS_1984"]]\n')
        with open(os.path.join(scratch, "ide-project.prj"), "w") as f:
            f.write("[Settings]\nCompiler=gcc\nTarget=app\n")
        with open(os.path.join(scratch, "postrider.ini"), "w") as f:
            f.write("[Settings]\nRealName=Ann\nCurrentProjectFile=/home/ann/june.prj\n")

        env = clean_environment(scratch)
        env["XDG_DATA_DIRS"] = data + ":/usr/share"
        for path, expected in files.items():
            # GIO, as GNOME's file manager asks, and File::MimeInfo, as xdg-mime does.
            gio = run(["gio", "info", "-a", "standard::content-type", path], env=env)
            found = gio.stdout.split("standard::content-type:")[-1].strip()
            check(found == expected, "gio: %s is %s, not %s %s" % (
                os.path.basename(path), found, expected, gio.stderr))
            perl = run(["mimetype", "--brief", path], env=env)
            check(perl.stdout.strip() == expected, "mimetype: %s is %s, not %s %s" % (
                os.path.basename(path), perl.stdout.strip(), expected, perl.stderr))


def step_cli():
    cli = unpacked("usr/bin/postrider-cli")
    with tempfile.TemporaryDirectory() as scratch:
        env = clean_environment(scratch)
        version = run([cli, "--version"], env=env)
        check(version.returncode == 0 and version.stdout.splitlines()[:1] == [
            "postrider-cli " + VERSION], "postrider-cli --version: %r %r" % (
            version.stdout, version.stderr))
        examples = copy_examples(scratch)
        info = run([cli, "info", os.path.join(examples, "example.prj")], env=env)
        check(info.returncode == 0 and "entries: 12\n" in info.stdout,
              "postrider-cli info: %r %r" % (info.stdout, info.stderr))
        fields = run([cli, "fields", os.path.join(examples, "example.prj")], env=env)
        check(fields.stdout.splitlines() == ["FirstName", "LastName", "Email", "City",
                                             "MemberSince"], "fields: %r" % fields.stdout)
        for page, name in (("postrider.1.gz", "postrider"), ("postrider-cli.1.gz", "postrider-cli")):
            env["MANWIDTH"] = "80"
            shown = run(["man", "--warnings", "-l", unpacked("usr/share/man/man1/" + page)],
                        env=env)
            check(shown.returncode == 0 and shown.stdout.startswith(name + "(1)"),
                  "man %s: %r" % (page, shown.stdout[:200]))
            check(not shown.stderr.strip(), "man %s warns:\n%s" % (page, shown.stderr))


def step_desktop():
    program = unpacked("usr/bin/postrider")
    with tempfile.TemporaryDirectory() as scratch:
        env = clean_environment(scratch)
        # Both answer without a display.
        version = run([program, "--version"], env=env)
        check(version.returncode == 0 and version.stdout == "postrider %s\n" % VERSION,
              "postrider --version: %r %r" % (version.stdout, version.stderr))
        shown = run([program, "--help"], env=env)
        check(shown.returncode == 0 and shown.stdout.startswith("usage: postrider [PROJECT]\n"),
              "postrider --help: %r %r" % (shown.stdout, shown.stderr))

        env["QT_QPA_PLATFORM"] = "offscreen"
        # An empty path must not let the next argument take its place.
        for args in (["--frobnicate"], ["", "other.prj"]):
            wrong = run([program] + args, env=env)
            check(wrong.returncode == 2 and "usage: postrider" in wrong.stderr,
                  "postrider %r: %d %r" % (args, wrong.returncode, wrong.stderr))

        # The project given wins over the one opened last.
        examples = copy_examples(scratch)
        os.makedirs(env["XDG_CONFIG_HOME"] + "/postrider")
        with open(env["XDG_CONFIG_HOME"] + "/postrider/postrider.ini", "w") as settings:
            settings.write("[Settings]\nCurrentProjectFile=%s/example.prj\n" % examples)
        env["POSTRIDER_TEST_QUIT_WHEN_STARTED"] = "1"
        given = os.path.join(examples, "example-comma.prj")
        started = run([program, given], env=env, timeout=120)
        check(started.returncode == 0 and started.stdout == "started: %s\n" % given,
              "postrider PROJECT: %d %r %r" % (started.returncode, started.stdout, started.stderr))


def step_lintian():
    found = run(["lintian", "--fail-on", "error", "--tag-display-limit", "0", deb_path()],
                timeout=900)
    print(found.stdout + found.stderr)
    check(found.returncode == 0, "lintian reports errors")


STEPS = {
    "build": step_build,
    "files": step_files,
    "validators": step_validators,
    "mime": step_mime,
    "cli": step_cli,
    "desktop": step_desktop,
    "lintian": step_lintian,
}

if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in STEPS:
        sys.exit("usage: package_test.py " + "|".join(STEPS))
    if sys.argv[1] != "build" and not os.path.isdir(ROOT):
        sys.exit("the package was not made: run the build step first")
    STEPS[sys.argv[1]]()
    sys.exit(1 if failures else 0)
