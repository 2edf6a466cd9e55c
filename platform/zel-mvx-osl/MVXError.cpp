#include "MVXError.h"

#include <stdlib.h>
#include <string.h>

namespace {

// A malloc'd copy of lpsz, or null when lpsz is null or memory is short.
char *lpszFnCopy(const char *lpsz) noexcept {
    if (lpsz == nullptr) return nullptr;
    const size_t cb = strlen(lpsz) + 1;
    char *lpszCopy = static_cast<char *>(malloc(cb));
    if (lpszCopy != nullptr) memcpy(lpszCopy, lpsz, cb);
    return lpszCopy;
}

const char *lpszFnText(const char *lpsz) noexcept { return lpsz != nullptr ? lpsz : ""; }

}  // namespace

MVXError::MVXError(const char *lpszMessage, int32_t nCode, int32_t nSubCode,
                   const char *lpszFile, int32_t nLine) noexcept
    : lpszMessage_(lpszFnCopy(lpszMessage)),
      nCode_(nCode),
      nSubCode_(nSubCode),
      lpszFile_(lpszFnCopy(lpszFile)),
      nLine_(nLine) {}

MVXError::MVXError(const MVXError &other) noexcept
    : lpszMessage_(lpszFnCopy(other.lpszMessage_)),
      nCode_(other.nCode_),
      nSubCode_(other.nSubCode_),
      lpszFile_(lpszFnCopy(other.lpszFile_)),
      nLine_(other.nLine_) {}

MVXError::~MVXError() {
    free(lpszMessage_);
    free(lpszFile_);
}

const char *MVXError::Message() const noexcept { return lpszFnText(lpszMessage_); }
int32_t MVXError::Code() const noexcept { return nCode_; }
int32_t MVXError::SubCode() const noexcept { return nSubCode_; }
const char *MVXError::File() const noexcept { return lpszFnText(lpszFile_); }
int32_t MVXError::Line() const noexcept { return nLine_; }
