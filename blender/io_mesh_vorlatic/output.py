# Outputs written as every Vorlatic output is: complete or not at all. Each file is written to a
# temporary file beside it and renamed over it only once every file of the export is written and
# on the disk; a failure removes the temporaries and leaves every path as it was.

import os
import random
import stat
import string

TEMPORARY_PREFIX = ".vorlatic-"


class OutputError(Exception):
    """A file that could not be written; the message names it and gives the system's reason."""


class _Output:
    def __init__(self, path):
        self.path = path
        # A symbolic link stays a link: the file it leads to is the one replaced.
        self.target = os.path.realpath(path)
        self.temporary = None

    def _fail(self, what, error):
        raise OutputError(f"{self.path}: {what}: {error.strerror or error}") from error

    def write(self, data):
        folder = os.path.dirname(self.target)
        try:
            original = os.stat(self.target)
        except FileNotFoundError:
            original = None
        except OSError as error:
            self._fail("cannot create", error)
        if original is not None and not stat.S_ISREG(original.st_mode):
            raise OutputError(f"{self.path}: cannot create: not a regular file")
        if original is not None:
            # Judged as the shell's `>` and the programs judge it: a file made read-only to keep
            # it is refused, though the folder would let a rename replace it.
            try:
                os.close(os.open(self.target, os.O_WRONLY | getattr(os, "O_NOCTTY", 0)))
            except OSError as error:
                self._fail("cannot create", error)
        # A replacement is made 0600, so that nobody else opens it before it takes the mode of
        # the file it replaces; a new file gets 0666 less the umask, as any new file does.
        flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_BINARY", 0)
        mode = 0o600 if original else 0o666
        for _ in range(100):
            name = TEMPORARY_PREFIX + "".join(random.choices(string.ascii_letters, k=6))
            try:
                descriptor = os.open(os.path.join(folder, name), flags, mode)
                break
            except FileExistsError:
                continue
            except OSError as error:
                self._fail("cannot create", error)
        else:
            raise OutputError(f"{self.path}: cannot create: no free temporary name")
        self.temporary = os.path.join(folder, name)
        try:
            with os.fdopen(descriptor, "wb") as file:
                if original is not None and hasattr(os, "fchown"):  # not on Windows
                    made = os.fstat(file.fileno())
                    try:
                        if (made.st_uid, made.st_gid) != (original.st_uid, original.st_gid):
                            os.fchown(file.fileno(), original.st_uid, original.st_gid)
                    except OSError:
                        pass  # only root may give a file away: another user's becomes this one's
                    # The set-ID bits only once written: a write by another than root clears them.
                    os.fchmod(file.fileno(), stat.S_IMODE(original.st_mode) & 0o1777)
                file.write(data)
                file.flush()
                if original is not None and hasattr(os, "fchown"):
                    os.fchmod(file.fileno(), stat.S_IMODE(original.st_mode))
                os.fsync(file.fileno())
        except OSError as error:
            self._fail("cannot write", error)

    def commit(self):
        try:
            os.replace(self.temporary, self.target)
        except OSError as error:
            self._fail("cannot write", error)
        self.temporary = None
        if hasattr(os, "O_DIRECTORY"):
            # The rename itself on the disk too; a folder that cannot be synced changes nothing.
            try:
                folder = os.open(os.path.dirname(self.target), os.O_RDONLY | os.O_DIRECTORY)
                try:
                    os.fsync(folder)
                finally:
                    os.close(folder)
            except OSError:
                pass

    def discard(self):
        if self.temporary is not None:
            try:
                os.unlink(self.temporary)
            except OSError:
                pass
            self.temporary = None


def write_all(files):
    """Writes every (path, bytes) of `files`, all or none: each is put in place only once all
    are written and synced. OutputError with the path and the reason when one cannot be; the
    paths then hold what they held before (but for those put in place before a rename failed)."""
    targets = {}
    for path, _ in files:
        # Two names of one file (a part and an object named like it, a link): one result would
        # silently take the other's place.
        target = os.path.normcase(os.path.realpath(path))
        try:
            found = os.stat(target)
            target = (found.st_dev, found.st_ino) if found.st_ino else target  # hard links
        except OSError:
            pass
        if target in targets:
            raise OutputError(f"{path}: cannot create: the same file as {targets[target]}")
        targets[target] = path
    outputs = []
    try:
        for path, data in files:
            outputs.append(_Output(path))
            outputs[-1].write(data)
        for output in outputs:
            output.commit()
    finally:
        for output in outputs:
            output.discard()
