// MVXError as callers rely on it: caught only under its own type, and its
// texts outlive whatever they were built from, through copies.
#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <type_traits>

#include "MVXError.h"

namespace {

static_assert(!std::is_base_of_v<std::exception, MVXError>,
              "a handler for std::exception must not take MVXError");
static_assert(std::has_virtual_destructor_v<MVXError>);

TEST(MVXError, CopiesOwnTheirTexts) {
    std::string sMessage = "record refused";
    std::string sFile = "vok32100";
    auto *lpOriginal = new MVXError(sMessage.c_str(), 16, 17, sFile.c_str(), 829);
    sMessage.assign(sMessage.size(), 'x');
    sFile.assign(sFile.size(), 'y');
    const MVXError copy(*lpOriginal);
    delete lpOriginal;  // a shared text would now be freed twice or read after free
    EXPECT_STREQ(copy.Message(), "record refused");
    EXPECT_STREQ(copy.File(), "vok32100");
    EXPECT_EQ(copy.Code(), 16);
    EXPECT_EQ(copy.SubCode(), 17);
    EXPECT_EQ(copy.Line(), 829);
}

TEST(MVXError, NullTextsReadAsEmpty) {
    const MVXError original(nullptr, 1, 2, nullptr, 3);
    const MVXError copy(original);
    for (const MVXError *lpe : {&original, &copy}) {
        EXPECT_STREQ(lpe->Message(), "");
        EXPECT_STREQ(lpe->File(), "");
    }
}

}  // namespace
