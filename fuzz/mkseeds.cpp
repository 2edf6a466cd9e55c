// Writes the seed corpora of the fuzz targets from the bundled samples: each
// sample behind the selector bytes that make a target read it in a format and
// framing it holds, in whole blocks and in small ones.
// Usage: mkseeds SAMPLES-DIRECTORY CORPUS-DIRECTORY
//   writes CORPUS-DIRECTORY/fuzz_linedata/* and CORPUS-DIRECTORY/fuzz_sf/*
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

bool fFnReadFile(const std::string &sPath, Bytes &ab) {
    FILE *fp = fopen(sPath.c_str(), "rb");
    if (fp == nullptr) return false;
    uint8_t abChunk[4096];
    size_t cb;
    while ((cb = fread(abChunk, 1, sizeof abChunk, fp)) != 0)
        ab.insert(ab.end(), abChunk, abChunk + cb);
    return fclose(fp) == 0;
}

bool fFnWriteFile(const std::string &sPath, const Bytes &ab) {
    FILE *fp = fopen(sPath.c_str(), "wb");
    if (fp == nullptr) return false;
    const bool fOk = fwrite(ab.data(), 1, ab.size(), fp) == ab.size();
    return fclose(fp) == 0 && fOk;
}

void vFnPut16(Bytes &ab, unsigned n) {
    ab.push_back(static_cast<uint8_t>(n >> 8));
    ab.push_back(static_cast<uint8_t>(n));
}

// A size as the targets' selectors spell it: up to 255 as is, up to 16383
// with the mode bits 01, 65535 and just below it with the mode bits 11.
void vFnPutSize(Bytes &ab, unsigned cb) {
    if (cb <= 0xFF) {
        ab.insert(ab.end(), {0x00, static_cast<uint8_t>(cb)});
    } else if (cb <= 0x3FFF) {
        vFnPut16(ab, 0x4000 | cb);
    } else {
        ab.insert(ab.end(), {0xFF, static_cast<uint8_t>(0xFFFF - cb)});
    }
}

// The block plan: its count byte (with flag bits) and one word per size.
void vFnPutPlan(Bytes &ab, const std::vector<unsigned> &acb, uint8_t bFlags = 0) {
    ab.push_back(static_cast<uint8_t>(bFlags | (acb.size() - 1)));
    for (unsigned cb : acb) vFnPut16(ab, cb <= 64 ? cb - 1 : 0x8000 | (cb - 1));
}

// Line data: format choice (index into 0, 1, 2, 5, 6), option bits, maximum
// record length, block plan, stream.
Bytes abFnLineSeed(unsigned iFormat, unsigned wOptions, unsigned cbMax,
                   const std::vector<unsigned> &acbBlocks, const Bytes &abStream) {
    Bytes ab{static_cast<uint8_t>(iFormat), static_cast<uint8_t>(wOptions >> 8),
             static_cast<uint8_t>(wOptions & 0xF0)};
    vFnPutSize(ab, cbMax);
    vFnPutPlan(ab, acbBlocks);
    ab.insert(ab.end(), abStream.begin(), abStream.end());
    return ab;
}

// Structured fields: capacity, block plan (0xE0: also read through a file),
// stream.
Bytes abFnSfSeed(unsigned cbCapacity, const std::vector<unsigned> &acbBlocks,
                 const Bytes &abStream, uint8_t bFlags = 0) {
    Bytes ab;
    vFnPutSize(ab, cbCapacity);
    vFnPutPlan(ab, acbBlocks, bFlags);
    ab.insert(ab.end(), abStream.begin(), abStream.end());
    return ab;
}

// The blocked sample's records without their block descriptor words: the
// same lines as variable-length records.
Bytes abFnUnblocked(const Bytes &abBlocked) {
    Bytes ab;
    for (size_t ib = 0; ib + 4 <= abBlocked.size();) {
        const size_t cbBlock = abBlocked[ib] << 8 | abBlocked[ib + 1];
        if (cbBlock < 4 || ib + cbBlock > abBlocked.size()) break;
        ab.insert(ab.end(), abBlocked.begin() + ib + 4, abBlocked.begin() + ib + cbBlock);
        ib += cbBlock;
    }
    return ab;
}

enum { kText = 0, kFixed = 1, kVariable = 2, kFixedAlt = 3, kBlocked = 4 };
constexpr unsigned wCC = 0x0010, wFF = 0x0080, wTRC = 0x0100, wEbcdic = 0x1000;

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: mkseeds SAMPLES-DIRECTORY CORPUS-DIRECTORY\n");
        return 2;
    }
    const std::string sSamples = argv[1], sCorpus = argv[2];
    Bytes abCc, abFf, abVb, abDoc, abRdw, abPrefix;
    const std::pair<const char *, Bytes *> aInputs[] = {
        {"print-cc.txt", &abCc},      {"print-ff.txt", &abFf},
        {"lines.vb", &abVb},          {"document.afp", &abDoc},
        {"document-rdw.afp", &abRdw}, {"document-prefix.afp", &abPrefix}};
    for (const auto &[lpszName, lpab] : aInputs) {
        if (!fFnReadFile(sSamples + "/" + lpszName, *lpab)) {
            perror((sSamples + "/" + lpszName).c_str());
            return 1;
        }
    }
    const Bytes abVar = abFnUnblocked(abVb);
    const Bytes abFirstField(abDoc.begin(), abDoc.begin() + 17);  // one whole field

    const std::vector<std::pair<const char *, Bytes>> aLineSeeds = {
        {"text-cc", abFnLineSeed(kText, wCC, 80, {4096}, abCc)},
        {"text-cc-bytewise", abFnLineSeed(kText, wCC, 80, {1}, abCc)},
        {"text-cc-trc-cut", abFnLineSeed(kText, wCC | 0x20 | wTRC, 0, {3, 4096}, abCc)},
        {"text-cc-longest", abFnLineSeed(kText, wCC, 65535, {7}, abCc)},
        {"text-ff", abFnLineSeed(kText, wFF, 80, {4096}, abFf)},
        {"text-ff-short", abFnLineSeed(kText, wFF | wCC, 8, {5}, abFf)},
        {"text-fields", abFnLineSeed(kText, wCC, 8000, {4096}, abDoc)},
        {"text-fields-cut", abFnLineSeed(kText, wCC, 100, {64, 1000}, abDoc)},
        {"blocked", abFnLineSeed(kBlocked, wEbcdic | wTRC | wCC, 64, {4096}, abVb)},
        {"blocked-small", abFnLineSeed(kBlocked, wEbcdic | wTRC | wCC, 64, {2, 7}, abVb)},
        {"blocked-too-long",
         abFnLineSeed(kBlocked, wEbcdic | wTRC | wCC, 20, {4096}, abVb)},
        {"variable", abFnLineSeed(kVariable, wEbcdic | wTRC | wCC, 64, {4096}, abVar)},
        {"variable-bytewise",
         abFnLineSeed(kVariable, wEbcdic | wTRC | wCC, 64, {1}, abVar)},
        {"variable-too-long",
         abFnLineSeed(kVariable, wEbcdic | wTRC | wCC, 20, {4096}, abVar)},
        {"variable-fields", abFnLineSeed(kVariable, wCC, 8192, {4096}, abRdw)},
        {"variable-fields-small", abFnLineSeed(kVariable, wCC, 8192, {5, 300}, abRdw)},
        {"fixed", abFnLineSeed(kFixed, wEbcdic | wTRC | wCC, 30, {4096}, abVb)},
        {"fixed-alt", abFnLineSeed(kFixedAlt, 0, 16, {3}, abVb)},
        {"fixed-fields", abFnLineSeed(kFixed, wCC, 17, {4096}, abDoc)},
    };
    const std::vector<std::pair<const char *, Bytes>> aSfSeeds = {
        {"plain", abFnSfSeed(8192, {4096}, abDoc)},
        {"plain-then-bytewise", abFnSfSeed(8192, {4096, 1}, abDoc)},
        {"plain-too-long", abFnSfSeed(100, {4096}, abDoc)},
        {"plain-file", abFnSfSeed(8192, {4096, 13}, abDoc, 0xE0)},
        {"plain-one-field", abFnSfSeed(8, {4096}, abFirstField)},
        {"rdw", abFnSfSeed(8192, {4096}, abRdw)},
        {"rdw-small", abFnSfSeed(8192, {20, 3}, abRdw)},
        {"rdw-too-long", abFnSfSeed(300, {4096}, abRdw, 0xE0)},
        {"prefix", abFnSfSeed(8192, {4096}, abPrefix)},
        {"prefix-small", abFnSfSeed(8192, {18, 64, 2}, abPrefix)},
        {"prefix-file", abFnSfSeed(100, {4096}, abPrefix, 0xE0)},
        {"text-refused", abFnSfSeed(100, {4096}, abCc)},
    };

    const std::pair<const char *, const std::vector<std::pair<const char *, Bytes>> *>
        aTargets[] = {{"fuzz_linedata", &aLineSeeds}, {"fuzz_sf", &aSfSeeds}};
    for (const auto &[lpszTarget, lpSeeds] : aTargets) {
        const std::string sDir = sCorpus + "/" + lpszTarget;
        mkdir(sDir.c_str(), 0777);
        for (const auto &[lpszName, ab] : *lpSeeds) {
            if (!fFnWriteFile(sDir + "/" + lpszName, ab)) {
                perror((sDir + "/" + lpszName).c_str());
                return 1;
            }
        }
    }
    return 0;
}
