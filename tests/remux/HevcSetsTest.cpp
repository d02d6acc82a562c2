// New parameter set ids for x265's HEVC: what a decoder makes of the
// renumbered stream must be what it made of the original, frame for frame.
#include "ffmpeg/HevcSets.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

extern "C" {
#include <libavformat/avformat.h>
}

#include "ffmpeg/AvOwners.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::CommandResult;
using test::TempDir;

// The md5 of each decoded frame, in order (ffmpeg's framemd5 without the
// stamps, which a raw stream does not carry).
std::vector<std::string> FrameHashes(const std::string& file) {
  const CommandResult r = test::Run({"ffmpeg", "-nostdin", "-v", "error", "-i", file, "-map", "0:v", "-f", "framemd5", "-"});
  EXPECT_EQ(r.err, "") << file;
  std::vector<std::string> hashes;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line[0] != '#') hashes.push_back(line.substr(line.rfind(',') + 1));
  return hashes;
}

void AppendAnnexB(std::vector<uint8_t>& out, const uint8_t* nal, size_t n) {
  out.insert(out.end(), {0, 0, 0, 1});
  out.insert(out.end(), nal, nal + n);
}

struct Renumbering {
  const char* name;
  const char* x265;  // x265-params beside log-level
  av::THevcIdsUsed taken;  // ids another file's sets hold
  av::THevcIds want;
};

void PrintTo(const Renumbering& c, std::ostream* os) { *os << c.name; }

class RenumberHevc : public ::testing::TestWithParam<Renumbering> {};

// x265's stream (wavefront entry points, B-frames, several slices per
// picture) renumbered and written as an Annex B stream decodes to the same
// frames; its sets declare the new ids.
TEST_P(RenumberHevc, DecodesToTheSameFrames) {
  const Renumbering& c = GetParam();
  TempDir dir;
  const std::string source = dir.File("x265.mp4"), raw = dir.File("renumbered.hevc");
  const CommandResult made = test::Run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                        "testsrc2=size=352x288:rate=25:duration=2", "-c:v", "libx265", "-x265-params",
                                        std::string("log-level=error:") + c.x265, source});
  if (made.err.find("Unknown encoder") != std::string::npos) GTEST_SKIP() << "no libx265 in ffmpeg";
  ASSERT_EQ(made.exitCode, 0) << made.err;

  av::InputPtr in = av::OpenInput(source);
  const AVCodecParameters* p = in->streams[0]->codecpar;
  const std::vector<uint8_t> config(p->extradata, p->extradata + p->extradata_size);
  av::THevcConfig parsed;
  ASSERT_TRUE(av::ParseHevcConfig(config, parsed));
  const av::THevcIdsUsed own = av::HevcIdsOf(parsed);
  ASSERT_EQ(own.Pps.size(), 1u);
  av::THevcIds ids;
  ASSERT_TRUE(av::FreeHevcIds(c.taken, *own.Pps.begin(), ids));
  EXPECT_EQ(ids.Vps, c.want.Vps);
  EXPECT_EQ(ids.Sps, c.want.Sps);
  EXPECT_EQ(ids.Pps, c.want.Pps);

  std::vector<uint8_t> renumbered;
  ASSERT_TRUE(av::RenumberHevcConfig(config, ids, renumbered));
  ASSERT_TRUE(av::ParseHevcConfig(renumbered, parsed));
  const av::THevcIdsUsed now = av::HevcIdsOf(parsed);
  EXPECT_EQ(now.Vps, std::set<int>{ids.Vps});
  EXPECT_EQ(now.Sps, std::set<int>{ids.Sps});
  EXPECT_EQ(now.Pps, std::set<int>{ids.Pps});

  std::vector<uint8_t> stream, sample;
  for (const auto& array : parsed.Arrays)
    for (const auto& nal : array.Nals) AppendAnnexB(stream, nal.data(), nal.size());
  av::PacketPtr pkt = av::NewPacket();
  while (av_read_frame(in.get(), pkt.get()) >= 0) {
    sample.clear();
    ASSERT_TRUE(av::RenumberHevcSample(pkt->data, static_cast<size_t>(pkt->size), parsed.LengthSize(), ids, sample));
    for (size_t at = 0; at + 4 <= sample.size();) {
      const size_t n = static_cast<size_t>(sample[at]) << 24 | sample[at + 1] << 16 | sample[at + 2] << 8 | sample[at + 3];
      ASSERT_LE(at + 4 + n, sample.size());
      AppendAnnexB(stream, sample.data() + at + 4, n);
      at += 4 + n;
    }
    av_packet_unref(pkt.get());
  }
  test::WriteFileBytes(raw, stream);
  const std::vector<std::string> want = FrameHashes(source), got = FrameHashes(raw);
  EXPECT_EQ(got.size(), 50u);
  EXPECT_EQ(got, want);
}

INSTANTIATE_TEST_SUITE_P(
    X265, RenumberHevc,
    ::testing::Values(
        // The copied files' usual sets: all 0.
        Renumbering{"Defaults", "", {{0}, {0}, {0}}, {1, 1, 15}},
        // Three slices a picture, and ids 15 and 1 already taken.
        Renumbering{"Slices", "slices=3", {{0, 1}, {0}, {0, 15}}, {2, 1, 16}},
        // Wavefront with many rows, closed groups of pictures.
        Renumbering{"WavefrontClosedGop", "open-gop=0:keyint=10:bframes=4", {{0}, {0, 1, 2}, {0}}, {1, 3, 15}}),
    [](const auto& p) { return std::string(p.param.name); });

// The copied files' record takes the re-encoded one's sets beside its own;
// ids that would name two different sets are refused.
TEST(MergeHevcConfig, ListsEverySetOnceAndRefusesCollisions) {
  TempDir dir;
  std::vector<uint8_t> configs[2];
  for (int i = 0; i < 2; ++i) {
    const std::string f = dir.File("c" + std::to_string(i) + ".mp4");
    const CommandResult made = test::Run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                          i ? "testsrc=size=160x120:rate=25:duration=0.2"
                                            : "testsrc=size=320x240:rate=25:duration=0.2",
                                          "-c:v", "libx265", "-x265-params", "log-level=error", f});
    if (made.exitCode != 0) GTEST_SKIP() << "no libx265 in ffmpeg";
    av::InputPtr in = av::OpenInput(f);
    configs[i].assign(in->streams[0]->codecpar->extradata,
                      in->streams[0]->codecpar->extradata + in->streams[0]->codecpar->extradata_size);
  }
  std::vector<uint8_t> base = configs[0];
  EXPECT_FALSE(av::MergeHevcConfig(base, configs[1])) << "two SPS of id 0";
  EXPECT_EQ(base, configs[0]);
  EXPECT_TRUE(av::MergeHevcConfig(base, configs[0])) << "the same sets again";
  EXPECT_EQ(base, configs[0]);
  std::vector<uint8_t> other;
  ASSERT_TRUE(av::RenumberHevcConfig(configs[1], {1, 1, 15}, other));
  ASSERT_TRUE(av::MergeHevcConfig(base, other));
  av::THevcConfig merged;
  ASSERT_TRUE(av::ParseHevcConfig(base, merged));
  const av::THevcIdsUsed ids = av::HevcIdsOf(merged);
  EXPECT_EQ(ids.Vps, (std::set<int>{0, 1}));
  EXPECT_EQ(ids.Sps, (std::set<int>{0, 1}));
  EXPECT_EQ(ids.Pps, (std::set<int>{0, 15}));
  // A set cut short anywhere is never read past its end; one without a
  // byte after its header cannot be given a new id.
  for (const auto& array : merged.Arrays)
    for (const auto& nal : array.Nals)
      for (size_t n = 0; n < nal.size(); ++n) {
        const std::vector<uint8_t> cut(nal.begin(), nal.begin() + static_cast<long>(n));
        std::vector<uint8_t> out;
        const bool renumbered = av::RenumberHevcNal(cut.data(), cut.size(), {1, 1, 15}, out);
        if (n <= 2 && av::HevcSetId(nal) >= 0) {
          EXPECT_FALSE(renumbered) << "NAL type " << (array.Type & 0x3F) << " cut at " << n;
        }
        av::HevcSetId(cut);
      }
  // A PPS id beyond 63 (found by fuzzing: it overflowed the search for a
  // free one) is no id.
  EXPECT_EQ(av::HevcSetId({0x44, 0x01, 0x00, 0x00, 0x80, 0x00, 0x01, 0x80}), -1);
  av::THevcIds none;
  EXPECT_FALSE(av::FreeHevcIds({}, 65536, none));
  // Cut short anywhere, a record is refused, never read past its end.
  for (size_t n = 0; n < base.size(); ++n) {
    av::THevcConfig cut;
    EXPECT_FALSE(av::ParseHevcConfig(std::vector<uint8_t>(base.begin(), base.begin() + static_cast<long>(n)), cut))
        << n;
  }
}

}  // namespace
}  // namespace vantrel
