// MVXError: the exception the platform library's clients throw to report a
// refused operation, with a message, two codes, the source file and line.
//
// The class has no base, so a handler catches it only as MVXError. Its
// members, vtable and typeinfo are exported from libzel-mvx-osl.so whatever
// visibility the including code is compiled with, so that a throw in one
// shared object matches a catch in another.
#ifndef ZEL_MVX_OSL_MVXERROR_H
#define ZEL_MVX_OSL_MVXERROR_H

#include <stdint.h>

#define ZEL_MVX_OSL_API __attribute__((visibility("default")))

class ZEL_MVX_OSL_API MVXError {
  public:
    // Copies the message and the file name: the texts may be gone by the
    // time a handler looks at them. Never throws; if a copy cannot be
    // allocated, that text reads as empty.
    MVXError(const char *lpszMessage, int32_t nCode, int32_t nSubCode,
             const char *lpszFile, int32_t nLine) noexcept;
    MVXError(const MVXError &other) noexcept;
    MVXError &operator=(const MVXError &) = delete;
    virtual ~MVXError();

    // Never null.
    const char *Message() const noexcept;
    int32_t Code() const noexcept;
    int32_t SubCode() const noexcept;
    // Never null.
    const char *File() const noexcept;
    int32_t Line() const noexcept;

  private:
    char *lpszMessage_;
    int32_t nCode_;
    int32_t nSubCode_;
    char *lpszFile_;
    int32_t nLine_;
};

#endif
