// The inspector and the importer and the files around them: no output is ever the input, the
// previous outputs survive a failed or interrupted run, and a full console fails the run.
#include <gtest/gtest.h>

#include <string>

#include "files_support.h"

#ifndef _WIN32
using files_support::FileCase;
using files_support::Files;
using files_support::interrupted;

namespace {

const std::string sameAsInput = "is the same file as the input expected.3db; not overwriting it\n";
const FileCase inspectorCases[] = {
    {"--dump onto its input", "", "{inspect} expected.3db --dump expected.3db >/dev/null", 2,
     "vorlatic-inspect: expected.3db: " + sameAsInput, "cmp expected.3db big.3db || true"},
    {"--dump onto another spelling of it", "", "{inspect} expected.3db --dump ./expected.3db", 2,
     "vorlatic-inspect: ./expected.3db: " + sameAsInput, "test -s expected.3db"},
    {"--dump onto a link to it", "ln -s expected.3db link",
     "{inspect} expected.3db --dump link >/dev/null", 2, "vorlatic-inspect: link: " + sameAsInput,
     "test -L link"},
    {"--svg onto a hard link to it", "ln expected.3db hard",
     "{inspect} expected.3db --svg hard >/dev/null", 2, "vorlatic-inspect: hard: " + sameAsInput,
     "cmp hard expected.3db"},
#ifdef VORLATIC_PNG
    {"--png onto its input, and a picture kept when the file is invalid",
     "cp expected.3db same.3db && cp previous.3db out.png && head -c 40 expected.3db >cut.3db",
     "{inspect} same.3db --png same.3db >/dev/null; s=$?; {inspect} cut.3db --png out.png "
     ">/dev/null 2>&1 && exit 9; exit $s",
     2, "vorlatic-inspect: same.3db: is the same file as the input same.3db; not overwriting it\n",
     "cmp same.3db expected.3db && cmp out.png previous.3db"},
#endif
    {"an invalid file keeps the previous outputs",
     "cp previous.3db out.msh && cp previous.3db out.svg && head -c 40 expected.3db >cut.3db",
     "{inspect} cut.3db --dump out.msh --svg out.svg >/dev/null", 2,
     "vorlatic-inspect: cut.3db: truncated: the file ends after 1 of 3 vertex records\n",
     "cmp out.msh previous.3db && cmp out.svg previous.3db"},
    {"an interrupted run keeps the previous output",
     // Its input a pipe that brings part of a file, then nothing more until the end.
     "cp previous.3db out.msh && mkfifo fifo.3db",
     "env --default-signal=INT {inspect} fifo.3db --dump out.msh >/dev/null & pid=$!; "
     "exec 4>fifo.3db; head -c 100000 "
     "big.3db >&4; for i in $(seq 400); do ls .vorlatic-* >/dev/null 2>&1 && break; sleep 0.05; "
     "done; "
     "kill -s INT $pid; wait $pid",
     130, "", "cmp out.msh previous.3db"},
    {"a full console fails the run", "cp previous.3db out.msh",
     "{inspect} expected.3db --dump out.msh >/dev/full", 2,
     "vorlatic-inspect: standard output: cannot write: No space left on device\n",
     "cmp out.msh previous.3db"},
    {"a failing device is kept", "mknod full c 1 7",
     "{inspect} expected.3db --dump full >/dev/null", 2,
     "vorlatic-inspect: full: cannot write: No space left on device\n", "test -c full"},
    {"a symbolic link stays a link", "mkdir real && ln -s real/dump.msh out.msh",
     "{inspect} expected.3db --dump out.msh >/dev/null && {inspect} expected.3db --dump out.msh "
     ">/dev/null",
     0, "", "test -L out.msh && test -s real/dump.msh"},
    {"a closed console is not replaced by the dump", "", "{inspect} expected.3db --dump d.msh >&-",
     0, "", "{vorlatic} d.msh back.3db >/dev/null && cmp back.3db expected.3db"},
    {"one path for both outputs is refused", "cp previous.3db x",
     "{inspect} expected.3db --dump x --svg ./x >/dev/null", 1,
     "vorlatic-inspect: ./x: given to both --dump and --svg\n", "cmp x previous.3db"},
    {"a repeated option is refused", "", "{inspect} expected.3db --dump a --dump b >/dev/null", 1,
     "vorlatic-inspect: --dump: given twice\n", "! test -e a && ! test -e b"},
    {"an empty path is refused", "", "{inspect} expected.3db --dump '' >/dev/null", 1,
     "vorlatic-inspect: --dump: the path is empty\n", "true"},
    {"a usage that cannot be written is a failure", "", "{inspect} >/dev/full", 2,
     "vorlatic-inspect: standard output: cannot write: No space left on device\n", "true"},
    {"the summary is never written into the input", "cp expected.3db x.3db",
     "{inspect} x.3db >>x.3db", 2,
     "vorlatic-inspect: standard output: is the same file as the input x.3db; not writing into "
     "it\n",
     "cmp x.3db expected.3db"},
    {"a coordinate mesh text cannot spell is a warning",
     "printf "
     "'3DB\\x01\\0\\0\\0\\0\\0\\0\\0\\x01\\0\\0\\0\\0\\xff\\0\\xff\\x01\\0\\x80\\x7f\\0\\0\\0\\0"
     "\\0\\0\\0\\0' "
     ">snan.3db",
     "{inspect} snan.3db --dump s.msh >/dev/null", 0,
     "vorlatic-inspect: s.msh: warning: 1 coordinate is a signalling NaN, which mesh text reads "
     "back as quiet\n",
     "test -s s.msh"},
};

TEST_F(Files, TheInspectorLosesNoFile) { runCases(inspectorCases); }

#ifdef VORLATIC_IMPORT_EXE
TEST_F(Files, TheImporterLosesNoFile) {
  const std::string model = "printf 'v 0 0 0\\nv 1 0 0\\nv 0 1 0\\nf 1 2 3\\n' >tri.obj";
  // A grid of 600 x 600 quads: long enough to read that an interrupt finds it reading.
  const std::string grid =
      "awk 'BEGIN { for (y = 0; y <= 600; y++) for (x = 0; x <= 600; x++) print \"v\", x, y, 0;"
      " for (y = 0; y < 600; y++) for (x = 1; x <= 600; x++) { a = y * 601 + x;"
      " print \"f\", a, a + 1, a + 602, a + 601 } }' >grid.obj";
  const FileCase cases[] = {
      {"a failed import keeps the previous output",
       "cp previous.3db out.3db && printf 'v 0 0 0\\nf 1 2 3\\n' >bad.obj",
       "{import} bad.obj out.3db", 2, "vorlatic-import: bad.obj: OBJ: vertex index out of range\n",
       "cmp out.3db previous.3db"},
      {"an interrupted import keeps the previous output", "cp previous.3db out.3db && " + grid,
       interrupted("{import} grid.obj out.3db --max-vertices 1000", "INT"), 130, "",
       // ... and its reader is gone with it.
       "cmp out.3db previous.3db && for i in $(seq 40); do pgrep -f 'vorlatic-impor[t] grid' || "
       "exit 0; sleep 0.05; done; exit 1"},
      {"the model is never the output", model + " && ln tri.obj tri.msh",
       "{import} tri.obj tri.msh", 2,
       "vorlatic-import: tri.msh: is the same file as the input tri.obj; not overwriting it\n",
       "cmp tri.obj tri.msh"},
      {"a symbolic link stays a link", model + " && mkdir real && ln -s real/tri.3db out.3db",
       "{import} tri.obj out.3db --quiet", 0, "",
       "test -L out.3db && cmp real/tri.3db expected.3db"},
      {"a failed split leaves none of the new parts and keeps the old files",
       "printf 'v 0 0 0\\nv 1 0 0\\nv 0 1 0\\nv 5 0 0\\nv 6 0 0\\nv 5 1 0\\nf 1 2 3\\nf 4 5 "
       "6\\n' >two.obj && cp previous.3db two-1.3db && mkdir two-2.3db",
       "{import} two.obj two.3db --split --max-vertices 3", 2,
       "vorlatic-import: two-2.3db: cannot create: Is a directory\n",
       "cmp two-1.3db previous.3db && test -d two-2.3db && ! test -e two.3db"},
      {"a file the model reads is never the output",
       "printf 'newmtl a\\nKd 1 0 0\\n' >m.3db && cp m.3db keep && printf 'mtllib m.3db\\nusemtl "
       "a\\nv 0 0 0\\nv 1 0 0\\nv 0 1 0\\nf 1 2 3\\n' >m.obj",
       "{import} m.obj m.3db", 2,
       "vorlatic-import: m.3db: is the same file as m.3db, which the model reads; not overwriting "
       "it\n",
       "cmp m.3db keep"},
      {"a closed console is not replaced by the output", "", "{import} tri.obj b.3db >&-", 0, "",
       "cmp b.3db expected.3db"},
      {"a model on standard input is named by its format", model,
       "{import} /dev/stdin out.3db <tri.obj | grep -q '^read: /dev/stdin (Wavefront Object "
       "Importer), 1 mesh$'",
       0, "", "cmp out.3db expected.3db"},
      {"a usage that cannot be written is a failure", "", "{import} >/dev/full", 2,
       "vorlatic-import: standard output: cannot write: No space left on device\n", "true"},
      {"the summary is never written into the model", "cp tri.obj t.obj",
       "{import} t.obj t.3db >>t.obj", 2,
       "vorlatic-import: standard output: is the same file as the input t.obj; not writing into "
       "it\n",
       "cmp t.obj tri.obj && ! test -e t.3db"},
  };
  runCases(cases);
}
#endif

}  // namespace
#endif
