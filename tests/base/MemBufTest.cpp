// Growable memory block and read-ahead window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <numeric>

#include "base/FileBufs.h"
#include "base/MemBuf.h"
#include "base/Exceptions.h"
#include "base/PosixFile.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::TempDir;

TEST(MemoryBuf, GrowsInDeltaStepsAndKeepsItsBytes) {
  TMemoryBuf b;
  uint8_t rec[16] = {};
  b.Append(rec, 0);
  EXPECT_EQ(b.Size(), 0u);
  EXPECT_EQ(b.Capacity(), 0u);
  EXPECT_EQ(b.Memory(), nullptr);
  for (int i = 1; i <= 641; ++i) {
    std::fill(std::begin(rec), std::end(rec), static_cast<uint8_t>(i));
    b.Append(rec, sizeof rec);
    if (i == 1 || i == 640) {
      EXPECT_EQ(b.Capacity(), 10240u) << i;
    }
  }
  EXPECT_EQ(b.Capacity(), 20480u);
  EXPECT_EQ(b.Size(), 641u * 16);
  // The first records survived the reallocation.
  EXPECT_EQ(b.Memory()[0], 1);
  EXPECT_EQ(b.Memory()[16 * 639], static_cast<uint8_t>(640));
  EXPECT_EQ(b.Memory()[16 * 640 + 15], static_cast<uint8_t>(641));
}

TEST(MemoryBuf, OneLargeAppendGrowsToExactlyTheNeed) {
  TMemoryBuf b;
  std::vector<uint8_t> big(50000, 3);
  b.Append(big.data(), static_cast<uint32_t>(big.size()));
  EXPECT_EQ(b.Capacity(), 50000u);
  b.SetDelta(1048576);
  b.Append(big.data(), 1);
  EXPECT_EQ(b.Capacity(), 50000u + 1048576u);
}

TEST(MemoryBuf, SetSizeZeroKeepsTheBlock) {
  TMemoryBuf b;
  uint8_t rec[100] = {};
  b.Append(rec, sizeof rec);
  uint8_t* block = b.Memory();
  b.SetSize(0);
  EXPECT_EQ(b.Capacity(), 10240u);
  b.Append(rec, sizeof rec);
  EXPECT_EQ(b.Memory(), block);
  b.Clear();
  EXPECT_EQ(b.Memory(), nullptr);
  EXPECT_EQ(b.Capacity(), 0u);
  EXPECT_EQ(b.Size(), 0u);
}

TEST(MemoryBuf, SizePastFourGiBIsRefused) {
  TMemoryBuf b;
  uint8_t rec[16] = {};
  b.Append(rec, sizeof rec);
  EXPECT_THROW(b.Append(rec, UINT32_MAX - 8), Exception);
  EXPECT_EQ(b.Size(), 16u);
}

class FileReadBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes.resize(20000);
    std::iota(bytes.begin(), bytes.end(), 0);  // wraps every 256
    path = dir.File("data");
    test::WriteFileBytes(path, bytes);
  }
  TempDir dir;
  std::string path;
  std::vector<uint8_t> bytes;
};

TEST_F(FileReadBufferTest, ReadNearAndPastTheEnd) {
  TFile f = TFile::OpenRead(path);
  TFileReadBuffer b(f, 8192);
  EXPECT_EQ(b.FileSize(), 20000);
  uint8_t out[16] = {};
  EXPECT_EQ(b.Read(out, 16, 19999), 1);
  EXPECT_EQ(out[0], bytes[19999]);
  uint64_t calls = b.ReadCalls();
  EXPECT_EQ(b.Read(out, 16, 20000), 0);
  EXPECT_EQ(b.Read(out, 16, 1 << 30), 0);
  EXPECT_EQ(b.ReadCalls(), calls);
}

TEST_F(FileReadBufferTest, HalfTheWindowIsServedFromItAndMoreGoesStraightToTheFile) {
  TFile f = TFile::OpenRead(path);
  TFileReadBuffer b(f, 8192);
  std::vector<uint8_t> out(4097);
  EXPECT_EQ(b.Read(out.data(), 4096, 5000), 4096);
  EXPECT_EQ(b.BufferStart(), 4096);  // window starts on a 4096 boundary
  EXPECT_EQ(b.ReadCalls(), 1u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 4096, bytes.begin() + 5000));
  EXPECT_EQ(b.Read(out.data(), 4097, 100), 4097);
  EXPECT_EQ(b.ReadCalls(), 2u);
  EXPECT_EQ(b.BufferStart(), 4096);  // the direct read left the window alone
  EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + 100));
}

TEST_F(FileReadBufferTest, SmallReadsInOneWindowCostOneFileRead) {
  TFile f = TFile::OpenRead(path);
  TFileReadBuffer b(f, 8192);
  uint8_t out[16];
  for (int64_t pos = 8192; pos + 16 <= 8192 + 8192; pos += 16) ASSERT_EQ(b.Read(out, 16, pos), 16);
  EXPECT_EQ(b.ReadCalls(), 1u);
  EXPECT_EQ(b.Read(out, 16, 8192 + 8190), 16);  // crosses the window's end
  EXPECT_EQ(b.ReadCalls(), 2u);
  EXPECT_EQ(out[0], bytes[8192 + 8190]);
  EXPECT_EQ(b.Read(out, 16, 10), 16);  // before the window
  EXPECT_EQ(b.ReadCalls(), 3u);
}

TEST_F(FileReadBufferTest, WindowLoadCutShortRaises) {
  TFile f = TFile::OpenRead(path);
  TFileReadBuffer b(f, 8192);
  // The file shrinks after the size was taken.
  ASSERT_EQ(truncate(path.c_str(), 1000), 0);
  uint8_t out[16];
  try {
    b.Read(out, 16, 5000);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Unable to read file");
  }
}

TEST(FileReadBuffer, EmptyFile) {
  TempDir dir;
  test::WriteFileBytes(dir.File("e"), {});
  TFile f = TFile::OpenRead(dir.File("e"));
  TFileReadBuffer b(f, 8192);
  uint8_t out[4];
  EXPECT_EQ(b.FileSize(), 0);
  EXPECT_EQ(b.Read(out, 4, 0), 0);
}

}  // namespace
}  // namespace vantrel
