#include "LineOut.h"

#include <unistd.h>

namespace dspdump {

LineOut::LineOut() : fEachLine_(isatty(STDOUT_FILENO) != 0) {}

void LineOut::Grow(size_t cch) {
    const size_t cchHeld = Size();
    const size_t cchOld = size_t(lpchEnd_ - lpchBuffer_);
    size_t cchNew = 2 * (cchOld > cbFlushAt ? cchOld : cbFlushAt);
    if (cchNew < cchHeld + cch) cchNew = cchHeld + cch;
    std::unique_ptr<char[]> buffer(new char[cchNew]);
    if (cchHeld != 0) memcpy(buffer.get(), lpchBuffer_, cchHeld);
    buffer_ = std::move(buffer);
    lpchBuffer_ = buffer_.get();
    lpch_ = lpchBuffer_ + cchHeld;
    lpchEnd_ = lpchBuffer_ + cchNew;
}

}  // namespace dspdump
