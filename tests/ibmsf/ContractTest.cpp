// Structured-field reader lifecycle: create arguments and sources, the file
// and callback releases at destroy, and no leaked file descriptor.
#include <dirent.h>
#include <gtest/gtest.h>

#include "SfReading.h"

using namespace vokdsp_test;

namespace {

const Bytes abStream = Concat({SfBytes({dwBDT}), SfBytes({dwEDT, HexBytes("01 02 03")})});

// Open file descriptors of this process.
int OpenFds() {
    DIR *lpDir = opendir("/proc/self/fd");
    if (lpDir == nullptr) return -1;
    int n = 0;
    while (readdir(lpDir) != nullptr) ++n;
    closedir(lpDir);
    return n;
}

TEST(SfContract, CreateWithSizeZeroTouchesNothing) {
    MemorySource source(abStream);
    uint32_t dwStatus = 0x1234;
    EXPECT_EQ(
        lpibmsfFnCreate(nullptr, 0, &MemorySource::Read, source.Context(), &dwStatus),
        nullptr);
    EXPECT_EQ(dwStatus, 0x1234u);
    EXPECT_EQ(source.FillRequests() + source.ReleaseRequests(), 0);
}

TEST(SfContract, CreateWithoutASourceFails) {
    uint32_t dwStatus = 0x1234;
    const int nFds = OpenFds();
    EXPECT_EQ(lpibmsfFnCreate(nullptr, 16, nullptr, nullptr, &dwStatus), nullptr);
    EXPECT_EQ(lpibmsfFnCreate("/nonexistent/vokdsp/stream.afp", 16, nullptr, nullptr,
                              &dwStatus),
              nullptr);
    EXPECT_EQ(dwStatus, 0x1234u);
    EXPECT_EQ(OpenFds(), nFds);
}

TEST(SfContract, CallbackWinsOverPath) {
    TempFile file(SfBytes({0xD3EEEE}));
    MemorySource source(abStream);
    const int nFds = OpenFds();
    SfReader reader(source, 16, file.Path());
    ASSERT_TRUE(reader.Created());
    EXPECT_EQ(OpenFds(), nFds);  // the path was never opened
    EXPECT_EQ(reader.Handle()->hdr.dwID, dwBDT);
    EXPECT_EQ(reader.Next().hdr.dwID, dwBDT);
    EXPECT_EQ(reader.Next().hdr.dwID, dwEDT);
    EXPECT_EQ(source.FillRequests(), 1);
}

TEST(SfContract, FileReaderReadsTheFileAndDestroyClosesIt) {
    TempFile file(abStream);
    const int nFds = OpenFds();
    SfReader reader(file.Path(), 16);
    ASSERT_TRUE(reader.Created());
    EXPECT_EQ(OpenFds(), nFds + 1);
    const std::vector<SfField> aFields = reader.ReadAll();
    ASSERT_EQ(aFields.size(), 2u);
    EXPECT_EQ(aFields[1].Data(3), HexBytes("01 02 03"));
    EXPECT_EQ(aFields[1].dwPos, 21u);
    reader.Destroy();
    EXPECT_EQ(OpenFds(), nFds);
}

TEST(SfContract, RefusedFilesAreClosed) {
    TempFile unknown(SfBytes({0xD3FFFF}));
    TempFile empty({});
    TempFile text(TextBytes("not a structured-field stream\r\n"));
    const int nFds = OpenFds();
    for (const TempFile *lpFile : {&unknown, &empty, &text}) {
        uint32_t dwStatus = 0;
        EXPECT_EQ(lpibmsfFnCreate(lpFile->Path(), 16, nullptr, nullptr, &dwStatus),
                  nullptr);
    }
    EXPECT_EQ(OpenFds(), nFds);
}

}  // namespace
