// vantrel-cli join --copy past 1 GiB of output: OpenDML indexes beside idx1
// and a new file part ("RIFF" form "AVIX") before any part reaches 1 GiB.
// Needs about 2.5 GB of disk; skips itself with VANTREL_SKIP_LARGE=1 or when
// the temporary folder has less than 4 GiB free.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/AviLayout.h"
#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

constexpr int64_t kGiB = 1073741824;

std::string SkipReason(const std::string& folder) {
  const char* skip = std::getenv("VANTREL_SKIP_LARGE");
  if (skip && std::string(skip) == "1") return "VANTREL_SKIP_LARGE=1";
  struct statvfs vfs;
  if (::statvfs(folder.c_str(), &vfs) != 0) return "cannot tell the free space of " + folder;
  const uint64_t freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  if (freeBytes < 4ull * kGiB)
    return "only " + std::to_string(freeBytes >> 20) + " MiB free in " + folder + ", 4096 MiB needed";
  return std::string();
}

// "size,flags" of every packet of stream 0 or 1.
std::vector<std::string> PacketsOfStream(const std::vector<std::string>& packets, int stream) {
  const std::string prefix = std::to_string(stream) + ",";
  std::vector<std::string> r;
  for (const std::string& line : packets)
    if (line.compare(0, prefix.size(), prefix) == 0) r.push_back(line.substr(prefix.size()));
  return r;
}

void Append(std::vector<std::string>& to, const std::vector<std::string>& what) {
  to.insert(to.end(), what.begin(), what.end());
}

TEST(LargeJoin, OpenDMLPartsBelowOneGiB) {
  TempDir dir;
  const std::string why = SkipReason(dir.Path());
  if (!why.empty()) GTEST_SKIP() << why;
  ASSERT_TRUE(HaveTool("ffmpeg") && HaveTool("ffprobe"));

  // Two different inputs of ~620 MB each: 225 bgr24 frames of 1280x720 with
  // PCM sound, 1.24 GB in all.
  const std::vector<std::string> inputs{dir.File("one.avi"), dir.File("two.avi")};
  const char* sources[] = {"testsrc", "testsrc2"};
  const int tones[] = {440, 660};
  for (size_t i = 0; i < inputs.size(); ++i) {
    CommandResult r =
        vantrel::test::Run({"ffmpeg",
                            "-nostdin",
                            "-v",
                            "error",
                            "-y",
                            "-f",
                            "lavfi",
                            "-i",
                            std::string(sources[i]) + "=size=1280x720:rate=25:duration=9",
                            "-f",
                            "lavfi",
                            "-i",
                            "sine=frequency=" + std::to_string(tones[i]) + ":sample_rate=44100:duration=9",
                            "-c:v",
                            "rawvideo",
                            "-pix_fmt",
                            "bgr24",
                            "-c:a",
                            "pcm_s16le",
                            inputs[i]});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  int64_t total = 0;
  for (const std::string& in : inputs) total += static_cast<int64_t>(std::filesystem::file_size(in));
  ASSERT_GE(total, kGiB + kGiB / 10) << "the inputs must total 1.1 GiB";

  std::vector<std::string> wantVideo, wantAudio, wantVideoHashes, wantAudioHashes;
  std::vector<bool> wantVideoKeys, wantAudioKeys;
  for (const std::string& in : inputs) {
    AviLayout l = ReadAviLayout(in);
    ASSERT_EQ(l.error, "") << in;
    ASSERT_EQ(l.FirstStream("vids"), 0) << in;
    ASSERT_EQ(l.FirstStream("auds"), 1) << in;
    Idx1Check idx1 = CheckIdx1(in, l);
    ASSERT_EQ(idx1.error, "") << in;
    wantVideoKeys.insert(wantVideoKeys.end(), idx1.keyFrames[0].begin(), idx1.keyFrames[0].end());
    wantAudioKeys.insert(wantAudioKeys.end(), idx1.keyFrames[1].begin(), idx1.keyFrames[1].end());
    std::vector<std::string> packets = ProbePackets(in);
    Append(wantVideo, PacketsOfStream(packets, 0));
    Append(wantAudio, PacketsOfStream(packets, 1));
    Append(wantVideoHashes, PacketHashes(in, 'v'));
    Append(wantAudioHashes, PacketHashes(in, 'a'));
  }
  ASSERT_EQ(wantVideo.size(), 450u);
  ASSERT_EQ(wantVideoHashes.size(), wantVideo.size());
  ASSERT_FALSE(wantAudio.empty());

  const std::string out = dir.File("joined.avi");
  CommandResult r = vantrel::test::Run({CliPath(), "join", "--copy", "-q", "-o", out, inputs[0], inputs[1]});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  for (const std::string& in : inputs) std::filesystem::remove(in);

  // The headers: OpenDML super indexes and the odml list beside the
  // ordinary headers, all within the first MB.
  PReader f(out);
  ASSERT_TRUE(f.Ok());
  const std::vector<uint8_t> head = f.Read(0, 1 << 20);
  EXPECT_NE(FindFourCC(head, "indx"), std::string::npos);
  EXPECT_NE(FindFourCC(head, "odml"), std::string::npos);
  EXPECT_NE(FindFourCC(head, "dmlh"), std::string::npos);

  // The file parts, walked by their size fields.
  AviLayout layout = ReadAviLayout(out);
  ASSERT_EQ(layout.error, "");
  ASSERT_GE(layout.parts.size(), 2u);
  int64_t end = 0;
  for (size_t i = 0; i < layout.parts.size(); ++i) {
    const ChunkRef& riff = layout.parts[i].riff;
    EXPECT_EQ(riff.listType, i == 0 ? "AVI " : "AVIX") << "part " << i;
    EXPECT_LT(static_cast<int64_t>(riff.size) + 8, kGiB) << "part " << i;
    EXPECT_GT(layout.parts[i].moviCount["00dc"], 0u) << "part " << i << " holds no video";
    end = riff.End();
  }
  EXPECT_EQ(end, f.Size()) << "the parts must cover the whole file";
  EXPECT_NE(FindChunk(layout.parts[0].children, "idx1"), nullptr) << "the first part keeps an idx1";
  for (size_t i = 1; i < layout.parts.size(); ++i)
    EXPECT_EQ(FindChunk(layout.parts[i].children, "idx1"), nullptr) << "idx1 only belongs to the first part";

  // Streams: video then audio, with their super indexes.
  ASSERT_EQ(layout.streams.size(), 2u);
  EXPECT_EQ(layout.streams[0].Type(), "vids");
  EXPECT_EQ(layout.streams[1].Type(), "auds");
  ASSERT_TRUE(layout.odml && layout.dmlh);
  EXPECT_EQ(LE32At(f.Read(layout.dmlh->DataPos(), 4), 0), wantVideo.size()) << "dmlh total frames";
  EXPECT_EQ(layout.streams[0].Length(), wantVideo.size());
  EXPECT_EQ(layout.TotalFramesInHeader(), layout.parts[0].moviCount["00dc"]) << "avih counts the first part";

  EXPECT_EQ(layout.CountInMovi("00dc"), wantVideo.size());
  EXPECT_EQ(layout.CountInMovi("01wb"), wantAudio.size());
  EXPECT_GE(layout.CountInMovi("ix00"), layout.parts.size()) << "a standard index per part at least";
  EXPECT_GE(layout.CountInMovi("ix01"), layout.parts.size());

  OdmlCheck video = CheckOdmlIndex(out, layout, 0);
  EXPECT_EQ(video.error, "");
  EXPECT_EQ(video.stdIndexes, layout.CountInMovi("ix00"));
  EXPECT_EQ(video.duration, wantVideo.size());
  EXPECT_EQ(video.keyFrames, wantVideoKeys);
  OdmlCheck audio = CheckOdmlIndex(out, layout, 1);
  EXPECT_EQ(audio.error, "");
  EXPECT_EQ(audio.stdIndexes, layout.CountInMovi("ix01"));
  EXPECT_EQ(audio.keyFrames, wantAudioKeys);
  // PCM counts its length in samples of dwSampleSize bytes.
  const uint32_t sampleSize = LE32At(layout.streams[1].strh, 44);
  ASSERT_GT(sampleSize, 0u);
  uint64_t audioBytes = 0;
  for (const ChunkRef& c : MoviChunksOfStream(layout, 1)) audioBytes += c.size;
  EXPECT_EQ(audio.duration, audioBytes / sampleSize);
  EXPECT_EQ(layout.streams[1].Length(), audioBytes / sampleSize);

  // idx1 covers the first part only, as its 32-bit offsets must.
  Idx1Check idx1 = CheckIdx1(out, layout);
  EXPECT_EQ(idx1.error, "");
  EXPECT_EQ(idx1.keyFrames[0].size(), layout.parts[0].moviCount["00dc"]);

  // ffmpeg reads every packet of every part, in order.
  CommandResult probe = vantrel::test::Run(
      {"ffprobe", "-v", "error", "-count_packets", "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", out});
  EXPECT_EQ(probe.exitCode, 0);
  EXPECT_EQ(probe.err, "");
  std::vector<std::string> packets = ProbePackets(out);
  EXPECT_EQ(PacketsOfStream(packets, 0), wantVideo);
  EXPECT_EQ(PacketsOfStream(packets, 1), wantAudio);
  EXPECT_EQ(PacketHashes(out, 'v'), wantVideoHashes);
  EXPECT_EQ(PacketHashes(out, 'a'), wantAudioHashes);
}

}  // namespace
}  // namespace vantrel::test
