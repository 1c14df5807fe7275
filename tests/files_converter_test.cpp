// The converter and the files around it: the previous output survives every failed,
// interrupted or concurrent run, links and permission bits are kept, devices are written and never
// removed, the echo never feeds the input, and a full or closed console fails the run.
#include <gtest/gtest.h>

#include <string>

#include "files_support.h"

#ifndef _WIN32
using files_support::deepFolder;
using files_support::FileCase;
using files_support::Files;
using files_support::interrupted;

namespace {

const std::string truncated =
    "vorlatic: trunc.msh: the input ends after 1 of 3 declared vertices\n";
// The longest name a folder takes: 255 bytes.
const std::string name255 = "N=$(printf 'a%.0s' {1..251}).3db; ";
// A relative path of 4,000 bytes, whose absolute path is past the system's limit.
const std::string longPath =
    "P=$(printf 'd%.0s' {1..199}); D=$P; for i in $(seq 19); do "
    "D=$D/$P; done; mkdir -p $D; ";

// Runs that fail, are interrupted or run at once, onto every kind of output path.
const FileCase outputPathCases[] = {
    {"a failed run keeps the previous output",
     "cp previous.3db out.3db && printf '5 0 1 2 3' >bad.msh",
     "{vorlatic} bad.msh out.3db >/dev/null", 2,
     "vorlatic: bad.msh: the input ends after 1 of 5 declared vertices\n",
     "cmp out.3db previous.3db"},
    {"an interrupted run keeps the previous output", "cp previous.3db out.3db",
     interrupted("{vorlatic} big.msh out.3db", "INT"), 130, "", "cmp out.3db previous.3db"},
    {"a terminated run likewise", "cp previous.3db out.3db",
     interrupted("{vorlatic} big.msh out.3db", "TERM"), 143, "", "cmp out.3db previous.3db"},
    {"a closed pipe ends the run quietly", "cp previous.3db out.3db",
     "{vorlatic} big.msh out.3db | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}", 141, "",
     "cmp out.3db previous.3db"},
    {"a full console fails the run", "cp previous.3db out.3db",
     "{vorlatic} big.msh out.3db >/dev/full", 2,
     "vorlatic: standard output: cannot write: No space left on device\n",
     "cmp out.3db previous.3db"},
    {"two runs at once leave one whole result", "",
     "for i in 1 2 3 4 5; do {vorlatic} in.msh out.3db >/dev/null & {vorlatic} big.msh out.3db "
     ">/dev/null & wait; cmp -s out.3db expected.3db || cmp -s out.3db big.3db || exit 9; done",
     0, "", "true"},
    {"a symbolic link stays a link to the new file",
     "mkdir real && cp previous.3db real/target.3db && ln -s real/target.3db out.3db",
     "{vorlatic} in.msh out.3db >/dev/null", 0, "",
     "test -L out.3db && cmp real/target.3db expected.3db"},
    {"a replaced file keeps its permission bits", "cp previous.3db out.3db && chmod 604 out.3db",
     "{vorlatic} in.msh out.3db >/dev/null", 0, "",
     "test $(stat -c %a out.3db) = 604 && cmp out.3db expected.3db"},
    {"a new file gets 0666 less the umask", "umask 027", "{vorlatic} in.msh out.3db >/dev/null", 0,
     "", "test $(stat -c %a out.3db) = 640"},
    {"a device is written and kept", "mknod null c 1 3", "{vorlatic} in.msh null >/dev/null", 0, "",
     "test -c null"},
    {"a failing device is kept", "mknod full c 1 7", "{vorlatic} in.msh full >/dev/null", 2,
     "vorlatic: full: cannot write: No space left on device\n", "test -c full"},
    {"a write error stops the reading and the echo", "mknod full c 1 7",
     "{vorlatic} big.msh full >echo.txt", 2,
     "vorlatic: full: cannot write: No space left on device\n",
     "test $(stat -c %s echo.txt) -lt $(($(stat -c %s big.msh) / 4))"},
    {"a name of 255 bytes: a failed run keeps the file", name255 + "cp previous.3db $N",
     name255 + "{vorlatic} trunc.msh $N >/dev/null", 2, truncated, "cmp a*.3db previous.3db"},
    {"a name of 255 bytes: a good run replaces it", name255 + "cp previous.3db $N",
     name255 + "{vorlatic} in.msh $N >/dev/null", 0, "", "cmp a*.3db expected.3db"},
    {"a name of 255 bytes: runs at once leave one whole result", "",
     name255 + "for i in $(seq 10); do {vorlatic} in.msh $N >/dev/null & {vorlatic} big.msh $N "
               ">/dev/null & done; wait; cmp -s $N expected.3db || cmp -s $N big.3db",
     0, "", "true"},
    {"a path of 4,000 bytes: a failed run keeps the file", longPath + "cp previous.3db $D/o",
     longPath + "{vorlatic} trunc.msh $D/o >/dev/null", 2, truncated,
     longPath + "cmp $D/o previous.3db"},
    {"a path of 4,000 bytes: a good run replaces it", longPath + "cp previous.3db $D/o",
     longPath + "{vorlatic} in.msh $D/o >/dev/null", 0, "", longPath + "cmp $D/o expected.3db"},
    {"a folder deeper than the path limit: a link stays a link", "",
     deepFolder("cp $root/previous.3db target.3db && ln -s target.3db out.3db && {vorlatic} "
                "$root/in.msh out.3db >/dev/null && test -L out.3db && cmp target.3db "
                "$root/expected.3db"),
     0, "", "true"},
    {"a folder deeper than the path limit: a failed run keeps the file", "",
     deepFolder("cp $root/previous.3db out.3db; {vorlatic} $root/trunc.msh out.3db >/dev/null "
                "2>&1; s=$?; cmp out.3db $root/previous.3db && exit $s"),
     2, "", "true"},
};

// The consoles, links that lead nowhere, signals and limits.
const FileCase consoleAndSignalCases[] = {
    {"/dev/stdout into a log is appended to, not replaced", "seq 1000 >log",
     "{vorlatic} in.msh /dev/stdout >>log", 0, "",
     "cmp <(seq 1000) <(head -n 1000 log) && test $(stat -c %s log) = $(($(seq 1000 | wc -c) + "
     "$(stat -c %s expected.3db) + $(stat -c %s console.txt)))"},
    {"the echo is never fed back into the input", "cp in.msh g.msh",
     "{vorlatic} g.msh g.3db >>g.msh", 2,
     "vorlatic: standard output: is the same file as the input g.msh; not writing into it\n",
     "cmp g.msh in.msh && ! test -e g.3db"},
    {"nor into the input through standard error: the word goes to standard output",
     "cp warn.msh w.msh", "{vorlatic} w.msh o.3db 2>>w.msh >out.txt", 2, "",
     "cmp w.msh warn.msh && ! test -e o.3db && grep -qx 'vorlatic: standard error: is the same "
     "file as the input w.msh; not writing into it' out.txt"},
    {"a warning that cannot be written fails the run", "cp previous.3db w.3db",
     "{vorlatic} warn.msh w.3db >/dev/null 2>/dev/full", 2, "", "cmp w.3db previous.3db"},
    {"a link into a folder that is not there is refused as the shell refuses it",
     "ln -s nodir/x.3db out.3db", "{vorlatic} in.msh out.3db >/dev/null", 2,
     "vorlatic: out.3db: cannot create: No such file or directory\n", "test -L out.3db"},
    {"what a link to no file leads to is made, and goes again when the run is ended",
     "ln -s " + std::string(100, 'a') + ".3db out.3db",
     interrupted("{vorlatic} big.msh out.3db", "TERM"), 143, "",
     "test -L out.3db && ! test -e " + std::string(100, 'a') + ".3db"},
    {"a link loop is refused as the shell refuses it", "ln -s lb la && ln -s la lb",
     "{vorlatic} in.msh la >/dev/null", 2,
     "vorlatic: la: cannot create: Too many levels of symbolic links\n",
     "test -L la && test -L lb"},
    {"a closed console is not replaced by the output", "", "{vorlatic} in.msh o.3db >&-", 0, "",
     "cmp o.3db expected.3db"},
    {"a warning on a closed pipe: the status says the file was kept",
     "cp previous.3db w.3db && mkfifo p",
     "exec 7<>p 8>p 7<&-; {vorlatic} warn.msh w.3db >/dev/null 2>&8", 141, "",
     "cmp w.3db previous.3db"},
    {"SIGTERM at any moment: 143 keeps the file, 0 replaced it", "",
     "for i in $(seq 30); do cp previous.3db out.3db; {vorlatic} big.msh out.3db >/dev/null & "
     "pid=$!; sleep 0.0$((RANDOM % 5)); kill -TERM $pid 2>/dev/null; wait $pid; s=$?; "
     "if [ $s = 0 ]; then cmp -s out.3db big.3db || exit 7; elif [ $s = 143 ]; then "
     "cmp -s out.3db previous.3db || exit 8; else exit 9; fi; done",
     0, "", "true"},
    {"an ignored hangup stays ignored, as under nohup", "cp previous.3db out.3db",
     "trap '' HUP; " + interrupted("{vorlatic} big.msh out.3db", "HUP", true), 0, "",
     "cmp out.3db big.3db"},
    {"SIGUSR1 leaves the file and no temporary", "cp previous.3db out.3db",
     interrupted("{vorlatic} big.msh out.3db", "USR1"), 138, "", "cmp out.3db previous.3db"},
    {"SIGALRM likewise", "cp previous.3db out.3db",
     interrupted("{vorlatic} big.msh out.3db", "ALRM"), 142, "", "cmp out.3db previous.3db"},
    {"the file-size limit is a diagnostic", "cp previous.3db out.3db",
     "ulimit -f 100; {vorlatic} big.msh out.3db >/dev/null", 2,
     "vorlatic: out.3db: cannot write: File too large\n", "cmp out.3db previous.3db"},
    {"a newline in a name stays inside its diagnostic", "",
     "{vorlatic} $'a\\nb.msh' out.3db >/dev/null", 2,
     "vorlatic: a\\nb.msh: cannot open: No such file or directory\n", "! test -e out.3db"},
    {"an empty output path says so", "", "{vorlatic} in.msh '' >/dev/null", 2,
     "vorlatic: '': cannot create: the path is empty\n", "true"},
};

TEST_F(Files, TheConverterLosesNoFile) {
  runCases(outputPathCases);
  runCases(consoleAndSignalCases);
}

}  // namespace
#endif
