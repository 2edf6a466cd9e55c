#!/usr/bin/env python3
"""Mutation tester: how many small faults in the library does the suite catch?

Copies the working tree to a scratch directory once, builds it once, then for
each mutant in the list applies one edit to one file, rebuilds incrementally,
runs ctest, records which tests failed and restores the file. A mutant is
killed when a test fails, the build of the tests fails, or ctest runs past its
time (a hang). Prints the score, the survivors, and for each test file the
mutants that only it kills. Not part of CI: run it before and after a change
to the tests and compare.

The list (tests/mutants.txt) has one mutant a line, fields split by " :: ":
    FILE :: ANCHOR :: ORIGINAL :: REPLACEMENT [:: equivalent: REASON]
ANCHOR is text that occurs exactly once in FILE and picks the line; ORIGINAL
is replaced at its first occurrence on or after that line's start. An empty
ANCHOR means ORIGINAL itself is the (unique) anchor. Lines starting with #
are comments. "\\n" in a field stands for a line break.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SEP = " :: "


class Mutant:
    def __init__(self, nIndex, sFile, sAnchor, sOriginal, sReplacement, sNote):
        self.nIndex = nIndex
        self.sFile = sFile
        self.sAnchor = sAnchor or sOriginal
        self.sOriginal = sOriginal
        self.sReplacement = sReplacement
        self.sNote = sNote
        self.nLine = 0

    def fEquivalent(self):
        return self.sNote.startswith("equivalent")

    def Label(self):
        return "%s:%d  %s  ->  %s" % (self.sFile, self.nLine, self.sOriginal,
                                      self.sReplacement)

    # The mutated text of the file, with the line number found on the way.
    def Apply(self, sText):
        nAt = sText.find(self.sAnchor)
        if nAt < 0 or sText.find(self.sAnchor, nAt + 1) >= 0:
            raise ValueError("anchor not found exactly once: %r" % self.sAnchor)
        nLineStart = sText.rfind("\n", 0, nAt) + 1
        nOrig = sText.find(self.sOriginal, nLineStart)
        if nOrig < 0:
            raise ValueError("original not found after anchor: %r" % self.sOriginal)
        self.nLine = sText.count("\n", 0, nOrig) + 1
        return sText[:nOrig] + self.sReplacement + sText[nOrig + len(self.sOriginal):]


def ReadMutants(sPath):
    aMutants = []
    with open(sPath, encoding="utf-8") as f:
        for sLine in f:
            sLine = sLine.rstrip("\n")
            if not sLine.strip() or sLine.lstrip().startswith("#"):
                continue
            asField = sLine.split(SEP)
            if len(asField) not in (4, 5):
                raise ValueError("%s: bad line: %s" % (sPath, sLine))
            asField += [""] * (5 - len(asField))
            asField = [s.replace("\\n", "\n") for s in asField]
            aMutants.append(Mutant(len(aMutants) + 1, asField[0].strip(), asField[1].strip(),
                                   asField[2], asField[3], asField[4].strip()))
    return aMutants


# Runs a command in its own process group; past nTimeout the whole group,
# test programs included, is killed.
def Run(asCommand, sCwd, nTimeout=None):
    p = subprocess.Popen(asCommand, cwd=sCwd, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, start_new_session=True)
    try:
        sOut, _ = p.communicate(timeout=nTimeout)
        return p.returncode, sOut.decode(errors="replace")
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.communicate()
        return None, "timeout"


# The tree's files as git lists them, or every file outside build directories.
def CopyTree(sTree, sScratch):
    p = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=sTree,
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if p.returncode == 0:
        asFiles = p.stdout.decode().split("\0")
    else:
        asFiles = [os.path.relpath(os.path.join(d, f), sTree) for d, asDirs, asNames in
                   os.walk(sTree) for f in asNames if not os.path.relpath(d, sTree).startswith("build")]
    for sFile in asFiles:
        if not sFile or not os.path.isfile(os.path.join(sTree, sFile)):
            continue
        sDest = os.path.join(sScratch, sFile)
        os.makedirs(os.path.dirname(sDest), exist_ok=True)
        shutil.copy2(os.path.join(sTree, sFile), sDest)


# Which test source file a ctest name comes from: gtest suites by their
# TEST/TEST_P lines, the script and golden-file tests by name.
def TestFileMap(sScratch):
    mapSuite = {}
    for sDir in ("tests", "fuzz"):
        for sDirPath, _, asNames in os.walk(os.path.join(sScratch, sDir)):
            for sName in asNames:
                if not sName.endswith((".cpp", ".c")):
                    continue
                sPath = os.path.join(sDirPath, sName)
                with open(sPath, encoding="utf-8", errors="replace") as f:
                    for sSuite in re.findall(r"\bTEST(?:_F|_P)?\(\s*(\w+)\s*,", f.read()):
                        mapSuite[sSuite] = os.path.relpath(sPath, sScratch)
    return mapSuite


def TestFile(sTest, mapSuite):
    m = re.match(r"^(?:[^/.]+/)?(\w+)\.", sTest)
    if m and m.group(1) in mapSuite:
        return mapSuite[m.group(1)]
    m = re.match(r"^(fuzz_\w+)_replay$", sTest)
    if m:
        return "fuzz/%s.cpp" % m.group(1)
    if sTest.startswith("dspdump_"):
        return "tests/dspdump (golden files)"
    return {"library_exports": "tests/exports/CheckExports.sh",
            "header_c99": "tests/header/HeaderC99.c",
            "samples_reproducible": "tests/CheckSamples.cmake"}.get(sTest, sTest)


def FailedTests(sBuild):
    sLog = os.path.join(sBuild, "Testing", "Temporary", "LastTestsFailed.log")
    if not os.path.exists(sLog):
        return []
    with open(sLog) as f:
        return [s.strip().split(":", 1)[1] for s in f if ":" in s]


def RunSuite(sBuild, nTimeout, fStop=False):
    sLog = os.path.join(sBuild, "Testing", "Temporary", "LastTestsFailed.log")
    if os.path.exists(sLog):
        os.remove(sLog)
    asStop = ["--stop-on-failure"] if fStop else []
    nRc, sOut = Run(["ctest", "-j2", "--timeout", str(nTimeout)] + asStop, sBuild,
                    nTimeout * 4)
    if nRc is None:
        return ["(ctest timed out)"]
    return FailedTests(sBuild) if nRc != 0 else []


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--list", default=os.path.join(TOP, "tests", "mutants.txt"))
    ap.add_argument("--sanitize", action="store_true",
                    help="build with -DVOKDSP_SANITIZE=ON (ASan + UBSan)")
    ap.add_argument("--tree", default=TOP,
                    help="the source tree to test (default: this one), e.g. an older export")
    ap.add_argument("--scratch", help="scratch directory (default: a new temporary one)")
    ap.add_argument("--only", help="run only mutants whose file matches this regex")
    ap.add_argument("--indices", help="run only these mutants, e.g. 3,17,40 (list numbering)")
    ap.add_argument("--timeout", type=int, default=60, help="seconds per test")
    ap.add_argument("--stop", action="store_true",
                    help="stop each suite run at its first failure: faster, but the "
                         "per-file report then means little")
    ap.add_argument("--check", action="store_true",
                    help="only check that every mutant applies; build nothing")
    ap.add_argument("--keep", action="store_true", help="keep the scratch directory")
    args = ap.parse_args()

    aMutants = ReadMutants(args.list)
    if args.only:
        aMutants = [m for m in aMutants if re.search(args.only, m.sFile)]
    if args.indices:
        setIndex = {int(s) for s in args.indices.split(",")}
        aMutants = [m for m in aMutants if m.nIndex in setIndex]
    mapText = {}
    for m in aMutants:
        if m.sFile not in mapText:
            with open(os.path.join(args.tree, m.sFile), encoding="utf-8") as f:
                mapText[m.sFile] = f.read()
        m.Apply(mapText[m.sFile])  # raises on a stale anchor
    if args.check:
        for m in aMutants:
            print("%3d %s%s" % (m.nIndex, m.Label(), "  [equivalent]" if m.fEquivalent() else ""))
        print("%d mutants apply" % len(aMutants))
        return 0

    sScratch = args.scratch or tempfile.mkdtemp(prefix="vokdsp-mutate-")
    sBuild = os.path.join(sScratch, "build")
    CopyTree(args.tree, sScratch)
    # A changed library relinks only what embeds its objects, not every program.
    asConfigure = ["cmake", "-S", sScratch, "-B", sBuild, "-DVOKDSP_TESTS=ON",
                   "-DCMAKE_LINK_DEPENDS_NO_SHARED=ON"]
    if args.sanitize:
        asConfigure.append("-DVOKDSP_SANITIZE=ON")
    for asCommand in (asConfigure, ["cmake", "--build", sBuild, "-j2"]):
        nRc, sOut = Run(asCommand, sScratch)
        if nRc != 0:
            print(sOut[-4000:])
            sys.exit("the unmutated tree does not build")
    if RunSuite(sBuild, args.timeout):
        sys.exit("the unmutated suite fails: %s" % FailedTests(sBuild))
    mapSuite = TestFileMap(sScratch)

    aKilled, aSurvived, aEquivalentKilled, aStillborn = [], [], [], []
    mapOnly = {}
    tStart = time.time()
    for m in aMutants:
        sPath = os.path.join(sScratch, m.sFile)
        with open(sPath, "w", encoding="utf-8") as f:
            f.write(m.Apply(mapText[m.sFile]))
        nRc, sOut = Run(["cmake", "--build", sBuild, "-j2"], sScratch, 600)
        if nRc != 0:
            # Library compile errors make no mutant; a test build that breaks kills it.
            sVerdict = "stillborn" if re.search(r"/(src|platform)/[^:]*:\d+:\d+: error", sOut) else "killed (build)"
            asFailed = ["(build)"] if sVerdict.startswith("killed") else []
        else:
            asFailed = RunSuite(sBuild, args.timeout, args.stop)
            sVerdict = "killed" if asFailed else "SURVIVED"
        with open(sPath, "w", encoding="utf-8") as f:
            f.write(mapText[m.sFile])
        if sVerdict == "stillborn":
            aStillborn.append(m)
        elif not asFailed:
            aSurvived.append(m)
        elif m.fEquivalent():
            aEquivalentKilled.append(m)
        else:
            aKilled.append(m)
        asFiles = sorted({TestFile(s, mapSuite) for s in asFailed})
        if len(asFiles) == 1:
            mapOnly.setdefault(asFiles[0], []).append(m)
        print("%3d/%d %-16s %s  [%s]" % (m.nIndex, len(aMutants), sVerdict, m.Label(),
                                        ", ".join(asFiles)), flush=True)
    # Leave the scratch build as it was before the last mutant.
    Run(["cmake", "--build", sBuild, "-j2"], sScratch, 600)

    aLive = [m for m in aSurvived if not m.fEquivalent()]
    nCounted = len(aKilled) + len(aLive)
    print("\n== %s build, %d mutants, %.0f s ==" % ("sanitizer" if args.sanitize else "plain",
                                                 len(aMutants), time.time() - tStart))
    print("score: %d killed of %d non-equivalent (%.1f %%); %d equivalent, %d stillborn"
          % (len(aKilled), nCounted, 100.0 * len(aKilled) / max(nCounted, 1),
             len(aMutants) - nCounted - len(aStillborn), len(aStillborn)))
    print("\nsurvivors:")
    for m in aSurvived:
        print("  %s%s" % (m.Label(), "  [%s]" % m.sNote if m.sNote else ""))
    for m in aEquivalentKilled:
        print("  marked equivalent but killed: %s" % m.Label())
    for m in aStillborn:
        print("  does not compile: %s" % m.Label())
    print("\nmutants only one test file kills:")
    for sFile in sorted(mapOnly):
        print("  %s: %s" % (sFile, " ".join(str(m.nIndex) for m in mapOnly[sFile])))
    if not args.keep and not args.scratch:
        shutil.rmtree(sScratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
