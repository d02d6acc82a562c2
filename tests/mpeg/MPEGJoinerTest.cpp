// MPEG joiner on hand-built system streams.
#include "mpeg/MPEGJoiner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "MpegBytes.h"
#include "base/Exceptions.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using namespace test;

// pack, system header, video packet with PTS, audio packet, end code.
Bytes SystemStream(int seed, int64_t scr, int64_t pts, int packs = 2) {
  Bytes s;
  for (int i = 0; i < packs; ++i) {
    s = Join({s, Pack(scr + 1000 * i)});
    if (i == 0) s = Join({s, SystemHeader(6, static_cast<uint8_t>(0x80 + seed))});
    s = Join({s, Packet(0xE0, Join({{0xFF}, PtsHeader(pts + 3600 * i)}), Payload(100, static_cast<uint8_t>(seed * 16 + i))),
              Packet(0xC0, {0x0F}, Payload(50, static_cast<uint8_t>(seed * 32 + i)))});
  }
  return Join({s, kEndCodeBytes});
}

struct MpegJoin : ::testing::Test {
  TempDir dir;
  ProgressLog log;
  std::string File(const char* name, const Bytes& b) {
    std::string p = dir.File(name);
    WriteFileBytes(p, b);
    return p;
  }
  Bytes Run(const std::vector<std::string>& files, bool withoutSound = false, bool correct = false,
            double rate = 25) {
    Recorder rec(log);
    TMPEGJoiner j;
    j.Files = files;
    j.OutputFileName = dir.File("out.mpg");
    j.WithoutSound = withoutSound;
    j.CorrectTimeStamps = correct;
    j.FrameRate = rate;
    j.Run(rec);
    return ReadFileBytes(j.OutputFileName);
  }
};

// A stream without its end code and, for later files, without its system header.
Bytes Units(const Bytes& s, bool keepSystemHeader) {
  Bytes r(s.begin(), s.end() - 4);
  if (!keepSystemHeader) r.erase(r.begin() + 12, r.begin() + 12 + 12);
  return r;
}

TEST_F(MpegJoin, SystemStreamsUnitByUnit) {
  Bytes a = SystemStream(1, 1000, 9000), b = SystemStream(2, 500, 4500);
  Bytes out = Run({File("a.mpg", Join({{0x12, 0x34}, a})), File("b.mpg", b)});
  // Leading junk makes the first file raw-copied: it does not start with a pack.
  EXPECT_EQ(out, Join({{0x12, 0x34}, a, Units(b, false)}));
  Bytes out2 = Run({File("a.mpg", a), File("b.mpg", b), File("c.mpg", a)});
  EXPECT_EQ(out2, Join({Units(a, true), Units(b, false), Units(a, false)}));
  // Every byte passed over counts towards progress, dropped system headers
  // and end codes too: a finished join reports 100.
  EXPECT_EQ(log.percents.back(), 100);
}

TEST_F(MpegJoin, ElementaryStreamThenSystemStream) {
  Bytes es = Join({{0, 0, 1, 0xB3}, Payload(5000, 3)});
  Bytes s = SystemStream(4, 0, 0);
  Bytes out = Run({File("e.m1v", es), File("s.mpg", s)});
  // The system stream is the second file: its system header is dropped.
  EXPECT_EQ(out, Join({es, Units(s, false)}));
  EXPECT_EQ(GetMPEGStartCode(dir.File("e.m1v")), 2);
  EXPECT_EQ(GetMPEGStartCode(dir.File("s.mpg")), 1);
}

TEST_F(MpegJoin, ShortAndEmptyFilesAreCopiedRaw) {
  Bytes out = Run({File("a", {1, 2, 3}), File("b", {})});
  EXPECT_EQ(out, (Bytes{1, 2, 3}));
  EXPECT_EQ(GetMPEGStartCode(dir.File("a")), 0);
  EXPECT_EQ(log.percents.back(), 100);
}

TEST_F(MpegJoin, EmptyInputsDoNotDivideByZero) {
  Bytes out = Run({File("a", {}), File("b", {})});
  EXPECT_TRUE(out.empty());
}

TEST_F(MpegJoin, WithoutSoundKeepsVideoPayloadsOnly) {
  Bytes a = SystemStream(5, 0, 0);
  Bytes out = Run({File("a.mpg", a)}, true);
  EXPECT_EQ(out, Join({Payload(100, 5 * 16), Payload(100, 5 * 16 + 1)}));
}

TEST_F(MpegJoin, CancelDuringTheSecondOfThreeFiles) {
  Bytes a = SystemStream(6, 0, 0, 4), b = SystemStream(7, 0, 0, 4);
  // Units per file: 4 packs + 1 system header + 8 packets = 13; one poll per
  // unit and one per file. Cancel at the 5th unit of the second file.
  log.cancelWhen = [](const ProgressLog& l) { return l.cancelledCalls == 1 + 13 + 1 + 5; };
  std::string c = dir.File("c.mpg");
  Bytes out = Run({File("a.mpg", a), File("b.mpg", b), c});  // c does not exist: it must not be opened
  Bytes expected = Units(a, true);
  Bytes bUnits = Units(b, false);
  // Of b's first five units (pack, system header, video, audio, pack) the
  // system header is dropped and the fifth is not written.
  size_t fourUnits = 12 + 6 + 6 + 100 + 6 + 1 + 50;
  expected.insert(expected.end(), bUnits.begin(), bUnits.begin() + static_cast<long>(fourUnits));
  ASSERT_EQ(out.size(), expected.size());
  EXPECT_EQ(out, expected);
}

TEST_F(MpegJoin, TruncatedLastUnitIsDroppedWholeAndTheNextFileFollows) {
  Bytes a = SystemStream(8, 0, 0);
  Bytes cut(a.begin(), a.end() - 4 - 20);  // no end code, 20 bytes of the last payload missing
  Bytes b = SystemStream(9, 0, 0);
  Bytes out = Run({File("a.mpg", cut), File("b.mpg", b)});
  // The last unit is an audio packet of 6 + 1 + 50 bytes: its 37 bytes
  // left are not written, so its length cannot swallow b's first unit.
  const long lastUnitLeft = 6 + 1 + 50 - 20;
  EXPECT_EQ(out, Join({Bytes(cut.begin(), cut.end() - lastUnitLeft), Units(b, false)}));
  EXPECT_EQ(log.percents.back(), 100);
}

TEST_F(MpegJoin, CorrectionCopiesPrivateStream2AndOverrunPacketsVerbatim) {
  Bytes priv = Packet(0xBF, {}, Join({PtsHeader(1), Payload(30, 1)}));
  Bytes overrun = {0, 0, 1, 0xE0, 0x00, 0x03, 0x21, 0x00, 0x01};
  Bytes s = Join({Pack(0), priv, Pack(10), overrun, Pack(20)});
  Bytes out = Run({File("a.mpg", s)}, false, true);
  EXPECT_EQ(out, s);
}

TEST_F(MpegJoin, CorrectionWithoutVideoJoinsSound) {
  // Sound only: the files are spaced by 40 ms, and nothing fails.
  Bytes a = Join({Pack(1000), Packet(0xC0, PtsHeader(5000), Payload(50, 1)), kEndCodeBytes});
  Bytes b = Join({Pack(1000), Packet(0xC0, PtsHeader(5000), Payload(50, 2)), kEndCodeBytes});
  Bytes out = Run({File("a.mpg", a), File("b.mpg", b)}, false, true, 0);
  ASSERT_EQ(out.size(), a.size() + b.size() - 8);
  EXPECT_EQ(DecodeTimeStamp(out.data() + a.size() - 4 + 12 + 6), 5000 + 3600);
}

TEST_F(MpegJoin, MissingInputAndUncreatableOutput) {
  std::string a = File("a.mpg", SystemStream(13, 0, 0));
  try {
    Run({a, dir.File("missing.mpg")});
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.File("missing.mpg"));
  }
  // The output keeps what was written before the failure.
  EXPECT_EQ(ReadFileBytes(dir.File("out.mpg")), Units(SystemStream(13, 0, 0), true));

  Recorder rec(log);
  TMPEGJoiner j;
  j.Files = {a};
  j.OutputFileName = dir.File("no/such/folder/out.mpg");
  try {
    j.Run(rec);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + j.OutputFileName);
  }
}

TEST_F(MpegJoin, FullDiskIsAnError) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP();
  Recorder rec(log);
  TMPEGJoiner j;
  j.Files = {File("a.mpg", Bytes(3 << 20, 0x55))};
  j.OutputFileName = "/dev/full";
  EXPECT_THROW(j.Run(rec), EOSError);
}

// Two joins in one process, their steps taken in turn on two threads: each
// corrects its own time stamps, and writes what it writes alone.
class TTurns {
 public:
  // Join k's progress: each check waits for its turn and passes it on.
  class TProgress final : public IProgress {
   public:
    TProgress(TTurns& t, int k) : t_(t), k_(k) {}
    void SetProgress(double) override {}
    int CancelInterval() const override { return 0; }
    bool Cancelled() override {
      std::unique_lock<std::mutex> lock(t_.mutex_);
      t_.cv_.wait(lock, [this] { return t_.turn_ == k_ || t_.done_[1 - k_]; });
      t_.turn_ = 1 - k_;
      ++t_.steps_;
      t_.cv_.notify_all();
      return false;
    }
    ~TProgress() override {
      std::lock_guard<std::mutex> lock(t_.mutex_);
      t_.done_[k_] = true;
      t_.cv_.notify_all();
    }

   private:
    TTurns& t_;
    int k_;
  };
  int Steps() const { return steps_; }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int turn_ = 0;
  bool done_[2] = {false, false};
  int steps_ = 0;
};

TEST_F(MpegJoin, TwoJoinsInTurnWriteWhatEachWritesAlone) {
  const std::vector<std::string> sets[2] = {
      {File("a.mpg", SystemStream(1, 1000, 9000, 6)), File("b.mpg", SystemStream(2, 500, 4500, 6)),
       File("c.mpg", SystemStream(3, 90000, 180000, 6))},
      {File("d.mpg", SystemStream(4, 7000, 27000, 5)), File("e.mpg", SystemStream(5, 0, 3600, 7))}};
  auto join = [&](int k, IProgress& progress) {
    TMPEGJoiner j;
    j.Files = sets[k];
    j.OutputFileName = dir.File("out" + std::to_string(k) + ".mpg");
    j.CorrectTimeStamps = true;
    j.FrameRate = 25;
    j.Run(progress);
    return ReadFileBytes(j.OutputFileName);
  };
  TNoProgress none;
  const Bytes alone[2] = {join(0, none), join(1, none)};
  TTurns turns;
  Bytes together[2];
  std::thread other([&] {
    TTurns::TProgress p(turns, 1);
    together[1] = join(1, p);
  });
  {
    TTurns::TProgress p(turns, 0);
    together[0] = join(0, p);
  }
  other.join();
  EXPECT_GT(turns.Steps(), 20);
  EXPECT_EQ(together[0], alone[0]);
  EXPECT_EQ(together[1], alone[1]);
}

}  // namespace
}  // namespace vantrel
