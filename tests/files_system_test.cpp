// What the system protects around the programs: a user without privileges on the files of
// others, root on them, a full file system, and an address space that runs out.
#include <gtest/gtest.h>

#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "files_support.h"

#ifndef _WIN32

namespace fs = std::filesystem;
using files_support::As;
using files_support::FileCase;
using files_support::Files;
using files_support::interrupted;
using files_support::testUser;
using testing_support::readFile;
using testing_support::ScratchDir;

namespace {

// As a user without privileges: folders and files of others, as a shared machine has them.
TEST_F(Files, AnUnprivilegedUserLosesNoFile) {
  if (std::string why = noTestUser(); !why.empty()) GTEST_SKIP() << why;
  const std::string truncated =
      "vorlatic: trunc.msh: the input ends after 1 of 3 declared vertices\n";
  // A folder the user may not write, holding a file the user may.
  const std::string readOnly = std::string("mkdir ro && cp previous.3db ro/out.3db && ") +
                               "cp previous.3db ro/out.msh && chown " + testUser +
                               " ro/out.3db ro/out.msh && chmod 555 ro";
  const FileCase cases[] = {
      {"a read-only folder: a failed run keeps the file", readOnly,
       "{vorlatic} trunc.msh ro/out.3db >/dev/null", 2, truncated, "cmp ro/out.3db previous.3db"},
      {"a read-only folder: a good run writes the file in place", readOnly,
       "{vorlatic} in.msh ro/out.3db >/dev/null", 0, "",
       std::string("cmp ro/out.3db expected.3db && test $(stat -c %U ro/out.3db) = ") + testUser},
      {"a read-only folder and no temporary folder: refused before the file is touched", readOnly,
       "TMPDIR=/nonexistent {vorlatic} in.msh ro/out.3db >/dev/null", 2,
       "vorlatic: ro/out.3db: cannot create: Permission denied\n", "cmp ro/out.3db previous.3db"},
      {"a read-only folder: an interrupted run keeps the file", readOnly,
       interrupted("{vorlatic} big.msh ro/out.3db", "INT", false, "sleep 0.3; true"), 130, "",
       "cmp ro/out.3db previous.3db"},
      {"a read-only folder: the inspector's failure keeps the file",
       readOnly + " && head -c 40 expected.3db >cut.3db", "{inspect} cut.3db --dump ro/out.msh", 2,
       "vorlatic-inspect: cut.3db: truncated: the file ends after 1 of 3 vertex records\n",
       "cmp ro/out.msh previous.3db"},
#ifdef VORLATIC_IMPORT_EXE
      {"a read-only folder: the importer's failure keeps the file",
       readOnly + " && printf 'v 0 0 0\\nf 1 2 3\\n' >bad.obj", "{import} bad.obj ro/out.msh", 2,
       "vorlatic-import: bad.obj: OBJ: vertex index out of range\n", "cmp ro/out.msh previous.3db"},
      {"a model the user may not read: the system's reason",
       "cp tri.obj secret.obj && chmod 600 secret.obj", "{import} secret.obj out.3db", 2,
       "vorlatic-import: secret.obj: cannot open: Permission denied\n", "! test -e out.3db"},
#endif
      {"a read-only folder: a new file is refused before anything is made",
       "mkdir ro && chmod 555 ro", "{vorlatic} in.msh ro/out.3db >/dev/null", 2,
       "vorlatic: ro/out.3db: cannot create: Permission denied\n", "! test -e ro/out.3db"},
      {"a sticky folder: root's file of mode 0666 is written as the shell writes it",
       "mkdir sticky && chmod 1777 sticky && cp previous.3db sticky/out.3db && chmod 666 "
       "sticky/out.3db",
       "{vorlatic} in.msh sticky/out.3db >/dev/null", 0, "",
       "cmp sticky/out.3db expected.3db && test $(stat -c %U:%a sticky/out.3db) = root:666"},
      {"the user's own set-ID file keeps its bits",
       std::string("mkdir su && chown ") + testUser + " su && cp previous.3db su/x.3db && chown " +
           testUser + ": su/x.3db && chmod 6755 su/x.3db",
       "{vorlatic} in.msh su/x.3db >/dev/null", 0, "",
       "cmp su/x.3db expected.3db && test $(stat -c %a su/x.3db) = 6755"},
      {"another user's file in a shared folder stays theirs",
       "mkdir w && chmod 777 w && cp previous.3db w/out.3db && chmod 666 w/out.3db",
       "{vorlatic} in.msh w/out.3db >/dev/null", 0, "",
       "cmp w/out.3db expected.3db && test $(stat -c %U w/out.3db) = root"},
  };
  runCases(cases, As::user);
}

// As root, on the files of others: what the system protects stays protected.
TEST_F(Files, RootKeepsWhatTheSystemProtects) {
  if (std::string why = noTestUser(); !why.empty()) GTEST_SKIP() << why;
  const std::string asUser =
      std::string("setpriv --reuid=") + testUser + " --regid=" + testUser + " --clear-groups ";
  std::vector<FileCase> cases = {
      {"another user's file keeps its owner, group and set-ID bits",
       std::string("cp previous.3db out.3db && chown ") + testUser +
           ": out.3db && chmod 6750 out.3db",
       "{vorlatic} in.msh out.3db >/dev/null", 0, "",
       std::string("test $(stat -c %U:%G:%a out.3db) = ") + testUser + ":" + testUser +
           ":6750 && cmp out.3db expected.3db"},
  };
  std::ifstream protectedLinks("/proc/sys/fs/protected_symlinks");
  int protectsLinks = 0;
  if (!(protectedLinks >> protectsLinks) || protectsLinks != 1) {
    std::cout << "[ SKIPPED  ] the link-protection rows: fs.protected_symlinks is not 1 here\n";
  } else {
    const std::string sticky = "mkdir sticky && chmod 1777 sticky && printf secret >victim && ";
    cases.push_back({"another user's link in a sticky folder is not followed",
                     sticky + asUser + "ln -s $PWD/victim sticky/out.3db",
                     "{vorlatic} in.msh sticky/out.3db >/dev/null", 2,
                     "vorlatic: sticky/out.3db: cannot create: Permission denied\n",
                     "test $(cat victim) = secret && test -L sticky/out.3db"});
    cases.push_back({"such a link to a folder is followed, as the shell follows it",
                     "mkdir st real && chmod 1777 st && " + asUser + "ln -s $PWD/real st/link",
                     "{vorlatic} in.msh st/link/x.3db >/dev/null", 0, "",
                     "cmp real/x.3db expected.3db"});
    cases.push_back({"nor is such a link to no file", sticky + asUser + "ln -s $PWD/made sticky/o",
                     "{inspect} expected.3db --dump sticky/o >/dev/null", 2,
                     "vorlatic-inspect: sticky/o: cannot create: Permission denied\n",
                     "! test -e made"});
  }
  runCases(cases.data(), cases.size());
}

// On a small file system of its own: no inode or no block left.
TEST_F(Files, AFullFileSystemLosesNoFile) {
  if (geteuid() != 0 || std::system("d=$(mktemp -d) && mount -t tmpfs tmpfs $d 2>/dev/null && "
                                    "umount $d; s=$?; rmdir $d; exit $s") != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here";
  const std::string noInode =
      "mkdir mnt && mount -t tmpfs -o size=1M,nr_inodes=4 tmpfs mnt && cp previous.3db mnt/out.3db "
      "&& for i in 1 2 3 4; do touch mnt/f$i 2>/dev/null; done; ! touch mnt/g 2>/dev/null";
  const std::string noBlock =
      "mkdir mnt && mount -t tmpfs -o size=64k tmpfs mnt && cp previous.3db mnt/out.3db";
  const std::string unmount = "; s=$?; umount mnt; exit $s";
  const FileCase cases[] = {
      {"no inode: a failed run keeps the file", noInode,
       "{vorlatic} trunc.msh mnt/out.3db >/dev/null", 2,
       "vorlatic: trunc.msh: the input ends after 1 of 3 declared vertices\n",
       "cmp mnt/out.3db previous.3db" + unmount},
      {"no inode: a good run replaces the bytes", noInode,
       "{vorlatic} in.msh mnt/out.3db >/dev/null", 0, "", "cmp mnt/out.3db expected.3db" + unmount},
      {"no inode and too little room: the copy is refused before a byte changes", noInode,
       "{vorlatic} big.msh mnt/out.3db >/dev/null", 2,
       "vorlatic: mnt/out.3db: cannot write: No space left on device\n",
       "cmp mnt/out.3db previous.3db" + unmount},
      {"no block: the result does not fit, the file stays", noBlock,
       "{vorlatic} big.msh mnt/out.3db >/dev/null", 2,
       "vorlatic: mnt/out.3db: cannot write: No space left on device\n",
       "cmp mnt/out.3db previous.3db" + unmount},
  };
  runCases(cases);
}

// Under an address-space limit, each run either converts or says it ran out of memory: never an
// abort, never an output left behind. The limits scanned start where the program can just start,
// where some allocation must fail (a second thread, or the blocks of the conversion).
TEST_F(Files, RunningOutOfMemoryIsADiagnostic) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers reserve more address space than any limit leaves";
#else
  if (std::string(VORLATIC_RUNNER) != "")
    GTEST_SKIP() << "an emulator has an address space of its own";
  ScratchDir dir;
  fs::copy(fixtures.path(), dir.path(), fs::copy_options::recursive);
  int lowest = 1024;
  while (lowest < 262144 && shell(dir.path(), "ulimit -v " + std::to_string(lowest),
                                  "{vorlatic} >/dev/null 2>&1") != 1)
    lowest += 1024;
  bool sawOutOfMemory = false;
  for (int limit = lowest; limit < lowest + 32768; limit += 1024) {
    int status = shell(dir.path(), "ulimit -v " + std::to_string(limit),
                       "{vorlatic} big.msh out.3db >/dev/null 2>stderr.txt");
    std::string err = readFile(dir / "stderr.txt");
    ASSERT_TRUE(status == 0 || status == 2) << limit << " KiB: status " << status << ": " << err;
    if (status == 2) {
      ASSERT_EQ(err, "vorlatic: big.msh: out of memory\n") << limit << " KiB";
      ASSERT_FALSE(fs::exists(dir / "out.3db")) << limit << " KiB";
      sawOutOfMemory = true;
    } else {
      ASSERT_EQ(shell(dir.path(), "", "cmp out.3db big.3db && rm out.3db"), 0) << limit << " KiB";
    }
  }
  EXPECT_TRUE(sawOutOfMemory) << "no limit made an allocation fail";
  EXPECT_EQ(testing_support::temporaryFiles(dir.path()), "");
#endif
}

}  // namespace
#endif
