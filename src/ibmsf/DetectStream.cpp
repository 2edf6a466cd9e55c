#include "DetectStream.h"

#include "Status.h"

namespace vokdsp::ibmsf {

const uint32_t adwKnownSFID[cKnownSFID + 1] = {
    0xD3A8C9, 0xD3A8EB, 0xD3A877, 0xD3A88A, 0xD3A887, 0xD3A892, 0xD3A8C4, 0xD3A8A7,
    0xD3A8CA, 0xD3A8A8, 0xD3A8E3, 0xD3A889, 0xD3A8C5, 0xD3A8CD, 0xD3A8BB, 0xD3A87B,
    0xD3A8FB, 0xD3A8CC, 0xD3A8DF, 0xD3A8AD, 0xD3A8C7, 0xD3A8AF, 0xD3A8CB, 0xD3A85F,
    0xD3A89B, 0xD3A8CE, 0xD3A8C6, 0xD3EEEE, 0xD3EEEB, 0xD3A6EB, 0xD3A7CA, 0xD3B077,
    0xD3A79B, 0xD3A6E3, 0xD3A78A, 0xD38C8A, 0xD3A787, 0xD3A687, 0xD38C87, 0xD3A9C9,
    0xD3A9EB, 0xD3A98A, 0xD3A987, 0xD3A992, 0xD3A9C4, 0xD3A9CA, 0xD3A9A8, 0xD3A9E3,
    0xD3A989, 0xD3A9C5, 0xD3A9CD, 0xD3A9BB, 0xD3A97B, 0xD3A9FB, 0xD3A9CC, 0xD3A9DF,
    0xD3A9AD, 0xD3A9C7, 0xD3A9AF, 0xD3A9CB, 0xD3A95F, 0xD3A99B, 0xD3A9CE, 0xD3A9C6,
    0xD3AAEC, 0xD3EEEC, 0xD3A6C5, 0xD3A789, 0xD3A689, 0xD3EE89, 0xD38C89, 0xD3A289,
    0xD3AE89, 0xD3AC89, 0xD3EEBB, 0xD3A6BB, 0xD3AC7B, 0xD3A6FB, 0xD3A67B, 0xD3A77B,
    0xD3EEFB, 0xD3EE7B, 0xD3ABCA, 0xD3ABCC, 0xD3AFD8, 0xD3AF5F, 0xD3AAE7, 0xD3A6E7,
    0xD3ABEB, 0xD3B18A, 0xD3AB8A, 0xD3ABBB, 0xD3ABFB, 0xD3B1DF, 0xD3ABD8, 0xD3B15F,
    0xD3ABEA, 0xD3A288, 0xD3A688, 0xD3A788, 0xD3A66B, 0xD3AC6B, 0xD3A6AF, 0xD3ACAF,
    0xD3B1AF, 0xD3A69B, 0xD3B19B, 0xD3EE9B, 0xD3A090, 0xD3EE92, 0xD3A8D9, 0xD3A8D9,
    0xD3A9D9, 0,
};

bool fFnKnownSFID(uint32_t dwID) {
    for (const uint32_t *lpdw = adwKnownSFID; *lpdw != 0; ++lpdw)
        if (*lpdw == dwID) return true;
    return false;
}

namespace {

// A first block seen through its count: offsets come from the input, reach
// up to 65535 + 12 without wrapping, and every byte at or beyond the count
// reads as 0.
class FirstBlock {
  public:
    FirstBlock(const uint8_t *lpb, uint16_t cb) : lpb_(lpb), cb_(cb) {}

    uint8_t operator[](uint32_t ib) const { return ib < cb_ ? lpb_[ib] : 0; }

    uint32_t Word(uint32_t ib) const {
        return wFnBigEndian((*this)[ib], (*this)[ib + 1]);
    }

    uint32_t Identifier(uint32_t ib) const {
        return dwFnBigEndian24((*this)[ib], (*this)[ib + 1], (*this)[ib + 2]);
    }

    // A field shows at ibIntro by its introducer or by its class byte.
    bool FieldAt(uint32_t ibIntro) const {
        return (*this)[ibIntro] == bSFIntroducer || (*this)[ibIntro + 3] == bSFClassD3;
    }

    // A following field is tested only when its class byte lies in the block.
    bool NextFieldFits(uint32_t ibIntro) const {
        return ibIntro + 3 >= cb_ || FieldAt(ibIntro);
    }

    // Strict: a following class byte inside the block must be 0xD3.
    bool NextClassFits(uint32_t ibIntro) const {
        return ibIntro + 3 >= cb_ || (*this)[ibIntro + 3] == bSFClassD3;
    }

  private:
    const uint8_t *lpb_;
    uint32_t cb_;
};

}  // namespace

StreamClass ClassifyFirstBlock(const uint8_t *lpb, uint16_t cb) {
    const FirstBlock b(lpb, cb);
    StreamClass sc;
    if (cb == 0) return sc;

    // Framing, first match wins. The first introducer's offset is also the
    // number of framing bytes in front of every field.
    uint16_t wFraming;
    uint32_t ibIntro;
    if (b.FieldAt(0)) {
        wFraming = 0;
        ibIntro = 0;
        if (!b.NextFieldFits(b.Word(1) + 1)) return sc;  // field length L
    } else if (b.FieldAt(4)) {
        wFraming = SFSTREAM_RDW;
        ibIntro = 4;
        if (!b.NextFieldFits(b.Word(0) + 4)) return sc;  // record length R
    } else if (b.FieldAt(2)) {
        wFraming = SFSTREAM_PREFIX;
        ibIntro = 2;
    } else {
        return sc;
    }

    const uint32_t ibClass = ibIntro + 3;
    sc.dwID = b.Identifier(ibClass);
    if (b[ibClass] != bSFClassD3) return sc;

    // The next field, measured by the first field's own length: its last
    // byte, then the next field's framing bytes.
    const uint32_t ibNextIntro = ibIntro + b.Word(ibIntro + 1) + 1 + ibIntro;
    if (!b.NextClassFits(ibNextIntro)) return sc;

    sc.fSearched = true;
    sc.fFound = fFnKnownSFID(sc.dwID);
    if (sc.fFound) sc.wStreamKind = wFraming | SFSTREAM_D3;
    return sc;
}

}  // namespace vokdsp::ibmsf
