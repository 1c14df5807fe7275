# The Blender add-on's outputs (io_mesh_vorlatic/output.py), which need neither Blender nor bpy:
#   python3 output_test.py ADDON_FOLDER
# Run as root, each case also runs as the user nobody, whom permissions bind, in the system's
# temporary folder, which nobody may enter.

import os
import shutil
import sys
import tempfile

sys.path.insert(0, sys.argv[1])
import output  # noqa: E402

NOBODY = 65534


def read_only_file():
    with open("kept.3db", "wb") as file:
        file.write(b"old")
    os.chmod("kept.3db", 0o444)
    return [("kept.3db", b"new")], {"kept.3db": b"old"}


def link_and_target():
    os.symlink("real.3db", "link.3db")
    return [("link.3db", b"A"), ("real.3db", b"B")], {"real.3db": None}


def two_spellings():
    with open("part-1.3db", "wb") as file:
        file.write(b"old")
    return [("part-1.3db", b"A"), ("./part-1.3db", b"B")], {"part-1.3db": b"old"}


def hard_link():
    with open("one.3db", "wb") as file:
        file.write(b"old")
    os.link("one.3db", "two.3db")
    return [("one.3db", b"A"), ("two.3db", b"B")], {"one.3db": b"old"}


# Each case: its files, and what each named path holds after the refused export (None: absent).
CASES = [read_only_file, link_and_target, two_spellings, hard_link]


def check(case, folder):
    os.chdir(folder)
    files, expected = case()
    try:
        output.write_all(files)
        return f"{case.__name__}: written, not refused"
    except output.OutputError:
        pass
    for path, contents in expected.items():
        found = open(path, "rb").read() if os.path.exists(path) else None
        if found != contents:
            return f"{case.__name__}: {path} holds {found!r}, not {contents!r}"
    left = [n for n in os.listdir(".") if n.startswith(output.TEMPORARY_PREFIX)]
    return f"{case.__name__}: a temporary is left: {left}" if left else ""


def run_as(uid, case, work):
    folder = os.path.join(work, f"{case.__name__}-{uid}")
    os.mkdir(folder)
    os.chown(folder, uid, -1)
    if uid == os.geteuid():
        return check(case, folder)
    reader, writer = os.pipe()
    child = os.fork()
    if child == 0:
        os.close(reader)
        os.setgroups([])
        os.setgid(NOBODY)
        os.setuid(uid)
        os.write(writer, check(case, folder).encode())
        os._exit(0)
    os.close(writer)
    with os.fdopen(reader, "rb") as answer:
        failure = answer.read().decode()
    os.waitpid(child, 0)
    return failure


def main():
    work = tempfile.mkdtemp(prefix="vorlatic-output-test-")
    os.chmod(work, 0o755)
    users = [os.geteuid()] + ([NOBODY] if os.geteuid() == 0 else [])
    # A read-only file is written by root, as the shell's `>` writes it.
    failures = [f for uid in users for case in CASES
                if not (case is read_only_file and uid == 0)
                for f in [run_as(uid, case, work)] if f]
    for failure in failures:
        print(failure)
    shutil.rmtree(work)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
