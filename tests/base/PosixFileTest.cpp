// Buffered output stream and file handle: every byte lands where it should,
// and a failed write is an error, never a silent truncation.
#include "base/PosixFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <numeric>

#include "base/Exceptions.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::ReadFileBytes;
using test::TempDir;

std::vector<uint8_t> Sequence(size_t n, uint8_t start) {
  std::vector<uint8_t> v(n);
  std::iota(v.begin(), v.end(), start);
  return v;
}

TEST(OutputStream, MixedWritesReserveAndPatchesLandInOrder) {
  TempDir dir;
  std::string f = dir.File("out.bin");
  std::vector<uint8_t> expected;
  {
    TOutputStream out(64);
    out.Create(f);
    auto a = Sequence(10, 0);
    out.Write(a.data(), a.size());  // buffered
    expected.insert(expected.end(), a.begin(), a.end());
    auto big = Sequence(100, 50);  // larger than the buffer: goes straight out
    out.Write(big.data(), big.size());
    expected.insert(expected.end(), big.begin(), big.end());
    uint8_t* p = out.Reserve(40);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 40; ++i) p[i] = static_cast<uint8_t>(200 + i);
    out.Commit(30);  // only 30 of the reserved bytes become output
    for (int i = 0; i < 30; ++i) expected.push_back(static_cast<uint8_t>(200 + i));
    EXPECT_EQ(out.Reserve(65), nullptr);
    out.WriteZeros(70);
    expected.insert(expected.end(), 70, 0);
    EXPECT_EQ(out.Position(), static_cast<int64_t>(expected.size()));
    uint32_t patch = 0xA1B2C3D4;
    out.WriteAt(4, &patch, 4);  // patches bytes already written
    std::memcpy(expected.data() + 4, &patch, 4);
    uint8_t back[4];
    EXPECT_EQ(out.ReadAt(4, back, 4), 4u);
    EXPECT_EQ(std::memcmp(back, &patch, 4), 0);
    out.Close();
  }
  EXPECT_EQ(ReadFileBytes(f), expected);
}

TEST(OutputStream, FullDiskIsReportedWithTheSystemError) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  TOutputStream out(1024);
  out.Create("/dev/full");
  std::vector<uint8_t> data(100, 1);
  out.Write(data.data(), data.size());  // still in the buffer
  try {
    out.Close();
    FAIL() << "closing onto a full disk succeeded";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Code(), ENOSPC);
    EXPECT_EQ(std::string(e.what()), "System Error.  Code: 28.\nNo space left on device");
  }
  EXPECT_FALSE(out.IsOpen());
}

TEST(OutputStream, LargeDirectWriteOnFullDiskRaises) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  TOutputStream out(1024);
  out.Create("/dev/full");
  std::vector<uint8_t> data(4096, 1);
  EXPECT_THROW(out.Write(data.data(), data.size()), EOSError);
  out.Abandon();
}

TEST(File, OpenReadErrors) {
  TempDir dir;
  try {
    TFile::OpenRead(dir.File("nothing"));
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Code(), ENOENT);
  }
  try {
    TFile::OpenRead(dir.Path());
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Code(), EISDIR);
  }
}

TEST(File, ReadAtStopsAtTheEnd) {
  TempDir dir;
  test::WriteFileBytes(dir.File("f"), Sequence(10, 1));
  TFile f = TFile::OpenRead(dir.File("f"));
  uint8_t buf[16] = {};
  EXPECT_EQ(f.ReadAt(buf, 16, 6), 4u);
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(f.ReadAt(buf, 16, 10), 0u);
  EXPECT_EQ(f.ReadAt(buf, 16, -1), 0u);
  EXPECT_EQ(f.Size(), 10);
}

TEST(SameFile, SeesThroughLinks) {
  TempDir dir;
  std::string a = dir.File("a.avi");
  test::WriteFileBytes(a, {1, 2, 3});
  ASSERT_EQ(link(a.c_str(), dir.File("hard.avi").c_str()), 0);
  ASSERT_EQ(symlink(a.c_str(), dir.File("soft.avi").c_str()), 0);
  test::WriteFileBytes(dir.File("b.avi"), {1, 2, 3});
  EXPECT_TRUE(SameFile(a, dir.File("hard.avi")));
  EXPECT_TRUE(SameFile(a, dir.File("soft.avi")));
  EXPECT_TRUE(SameFile(a, dir.Path() + "/./a.avi"));
  EXPECT_FALSE(SameFile(a, dir.File("b.avi")));
  EXPECT_FALSE(SameFile(a, dir.File("missing.avi")));
}

}  // namespace
}  // namespace vantrel
