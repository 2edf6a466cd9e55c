#include "MemorySource.h"

#include <string.h>

#include <algorithm>
#include <stdexcept>

namespace vokdsp_test {

Bytes HexBytes(const std::string &sHex) {
    Bytes ab;
    std::string sDigits;
    for (char c : sHex)
        if (c != ' ') sDigits += c;
    if (sDigits.size() % 2 != 0) throw std::invalid_argument("odd hex: " + sHex);
    for (size_t i = 0; i < sDigits.size(); i += 2)
        ab.push_back(static_cast<uint8_t>(std::stoul(sDigits.substr(i, 2), nullptr, 16)));
    return ab;
}

Bytes TextBytes(const std::string &sText) { return Bytes(sText.begin(), sText.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes ab;
    for (const Bytes &part : parts) ab.insert(ab.end(), part.begin(), part.end());
    return ab;
}

MemorySource::MemorySource(Bytes abInput, std::vector<uint16_t> acbBlocks)
    : abInput_(std::move(abInput)), acbBlocks_(std::move(acbBlocks)) {
    if (acbBlocks_.empty()) acbBlocks_.push_back(4096);
}

uint16_t MemorySource::Read(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext,
                            uint32_t *lpdwStatus) {
    auto *self = static_cast<MemorySource *>(lpContext);
    if (cbWanted == 0) {
        self->nReleases_++;
        return 0;
    }
    const int nRequest = ++self->nFills_;
    if (nRequest == self->nFailRequest_) *lpdwStatus = self->dwFailStatus_;
    const size_t cbBlock = self->acbBlocks_[(nRequest - 1) % self->acbBlocks_.size()];
    if (self->fRepeat_ && self->ibNext_ == self->abInput_.size()) self->ibNext_ = 0;
    const size_t cb =
        std::min({cbBlock, size_t{cbWanted}, self->abInput_.size() - self->ibNext_});
    if (cb != 0) memcpy(lpbDest, self->abInput_.data() + self->ibNext_, cb);
    self->ibNext_ += cb;
    self->cbDelivered_ += cb;
    if (cb == 0) return 0;
    return static_cast<uint16_t>(cb + self->cbOverReport_);
}

}  // namespace vokdsp_test
