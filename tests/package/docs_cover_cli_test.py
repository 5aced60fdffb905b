"""The manual pages and the shell completion keep up with the program.

Every command and flag that `postrider-cli --help` names must be in
postrider-cli(1) and in both completion scripts; every settings and project
key the program reads must be in postrider-cli(1). A command, flag or key
added without its documentation fails here.
    /usr/bin/python3 docs_cover_cli_test.py
with POSTRIDER_SOURCE_DIR and POSTRIDER_CLI set.
"""

import glob
import os
import re
import subprocess
import sys

SOURCE = os.environ["POSTRIDER_SOURCE_DIR"]
CLI = os.environ["POSTRIDER_CLI"]


def read(path):
    with open(os.path.join(SOURCE, path), encoding="utf-8") as text:
        return text.read()


def usage_words(usage):
    """The commands (the word after the program's name) and the --flags."""
    commands, flags = set(), set()
    for line in usage.splitlines():
        found = re.match(r"\s*(?:usage:)?\s*postrider-cli\s+([a-z][a-z-]*)", line)
        if found:
            commands.add(found.group(1))
        flags.update(re.findall(r"(?<![\w-])--[a-z][a-z-]*", line))
    return commands, flags


def keys_read_in(paths):
    """The INI keys the code reads with GetString/GetInt(kSection, "Key", ...)."""
    keys = set()
    for path in paths:
        keys.update(re.findall(r'Get(?:String|Int)\(\s*kSection,\s*"([A-Za-z0-9]+)"', read(path)))
    return keys


def main():
    shown = subprocess.run([CLI, "--help"], capture_output=True, text=True, timeout=60)
    if shown.returncode != 0:
        sys.exit("postrider-cli --help failed: " + shown.stderr)
    commands, flags = usage_words(shown.stdout)
    if len(commands) < 8 or len(flags) < 10:
        sys.exit("the usage text was not understood: %s %s" % (sorted(commands), sorted(flags)))

    page = read("docs/man/postrider-cli.1.scd")
    bash = read("res/completion/postrider-cli.bash")
    zsh = read("res/completion/_postrider-cli")
    missing = []
    for word in sorted(commands | flags):
        # In the page a command or flag is written in bold: *send*, *--resume*.
        if "*%s*" % word not in page:
            missing.append("postrider-cli(1) lacks " + word)
        for name, script in (("bash", bash), ("zsh", zsh)):
            if not re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(word), script):
                missing.append("the %s completion lacks %s" % (name, word))

    settings = keys_read_in(glob.glob(os.path.join(SOURCE, "src/send/*settings*.cpp")))
    project = keys_read_in([os.path.join(SOURCE, "src/project/project_file.cpp")])
    if len(settings) < 10 or len(project) < 7:
        sys.exit("the settings keys were not found: %s %s" % (sorted(settings), sorted(project)))
    for key in sorted(settings | project):
        if "*%s*" % key not in page:
            missing.append("postrider-cli(1) lacks the key " + key)

    desktop_page = read("docs/man/postrider.1.scd")
    for word in ("--help", "--version"):
        if "*%s*" % word not in desktop_page:
            missing.append("postrider(1) lacks " + word)

    for line in missing:
        print(line)
    print("%d commands, %d flags, %d keys checked" % (
        len(commands), len(flags), len(settings | project)))
    sys.exit(1 if missing else 0)


if __name__ == "__main__":
    main()
