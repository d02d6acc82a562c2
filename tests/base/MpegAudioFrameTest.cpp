// MPEG audio frame headers and the splitter that cuts a stream into frames.
#include "base/MpegAudioFrame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace vantrel {
namespace {

using Bytes = std::vector<uint8_t>;

TMpegAudioHeader Header(uint8_t b1, uint8_t b2, uint8_t b3) {
  const uint8_t b[4] = {0xFF, b1, b2, b3};
  TMpegAudioHeader h;
  EXPECT_TRUE(ParseMpegAudioHeader(b, h));
  return h;
}

TEST(MpegAudioHeader, SizesAndDurationsOfEveryLayerAndVersion) {
  struct {
    uint8_t b1, b2, b3;
    uint32_t size, samples, rate, bitrate;
  } cases[] = {
      {0xFB, 0x90, 0x64, 417, 1152, 44100, 128000},  // MPEG-1 layer III 128k 44.1k
      {0xFB, 0x92, 0x64, 418, 1152, 44100, 128000},  // padded
      {0xFD, 0xA4, 0x04, 576, 1152, 48000, 192000},  // MPEG-1 layer II 192k 48k
      {0xFF, 0xC0, 0xC0, 416, 384, 44100, 384000},   // MPEG-1 layer I 384k 44.1k, mono
      {0xF3, 0x80, 0xC4, 208, 576, 22050, 64000},    // MPEG-2 layer III 64k 22.05k
      {0xE3, 0x40, 0x04, 208, 576, 11025, 32000},    // MPEG-2.5 layer III 32k 11.025k
  };
  for (const auto& c : cases) {
    TMpegAudioHeader h = Header(c.b1, c.b2, c.b3);
    EXPECT_EQ(h.FrameSize, c.size) << std::hex << int(c.b1) << int(c.b2);
    EXPECT_EQ(h.SamplesPerFrame, c.samples);
    EXPECT_EQ(h.SampleRate, c.rate);
    EXPECT_EQ(h.Bitrate, c.bitrate);
  }
  // Not headers: reserved version, reserved layer, free format, bad index, bad rate.
  for (const Bytes& b : {Bytes{0xFF, 0xEB, 0x90, 0x64}, Bytes{0xFF, 0xF9, 0x90, 0x64}, Bytes{0xFF, 0xFB, 0x00, 0x64},
                         Bytes{0xFF, 0xFB, 0xF0, 0x64}, Bytes{0xFF, 0xFB, 0x9C, 0x64}, Bytes{0xFE, 0xFB, 0x90, 0x64}}) {
    TMpegAudioHeader h;
    EXPECT_FALSE(ParseMpegAudioHeader(b.data(), h));
  }
  // A silent frame keeps the stream's format and has its nominal size.
  TMpegAudioHeader padded = Header(0xFB, 0x92, 0x64);
  Bytes silent = SilentMpegAudioFrame(padded);
  TMpegAudioHeader s;
  ASSERT_TRUE(ParseMpegAudioHeader(silent.data(), s));
  EXPECT_TRUE(SameMpegAudioFormat(s, padded));
  EXPECT_EQ(silent.size(), 417u);
  EXPECT_FALSE(s.Protected);
}

// Frames of a stream, cut out of tags, junk, a cut last frame and pieces of
// every size it arrives in.
TEST(MpegAudioSplitter, FindsEveryFrameWhateverSurroundsOrSplitsIt) {
  const TMpegAudioHeader h = Header(0xFB, 0x90, 0x64);
  std::vector<Bytes> frames;
  for (int i = 0; i < 8; ++i) {
    Bytes f = SilentMpegAudioFrame(h);
    for (size_t k = 36; k < f.size(); ++k) f[k] = static_cast<uint8_t>(i * 31 + k);
    if (i == 3) {  // a padded frame
      f[2] |= 2;
      f.push_back(0x55);
    }
    frames.push_back(f);
  }
  // An ID3v2 tag holding a false header, frames 0-4, junk, frames 5-7 and
  // half of another frame.
  Bytes id3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
  Bytes tagBody(20, 0x20);
  tagBody[4] = 0xFF;
  tagBody[5] = 0xFB;
  tagBody[6] = 0x90;
  tagBody[7] = 0x64;
  id3.insert(id3.end(), tagBody.begin(), tagBody.end());
  const Bytes junk = {0, 1, 0xFF, 0xFB, 7, 8, 9};
  Bytes stream = id3;
  for (int i = 0; i < 5; ++i) stream.insert(stream.end(), frames[i].begin(), frames[i].end());
  stream.insert(stream.end(), junk.begin(), junk.end());
  for (int i = 5; i < 8; ++i) stream.insert(stream.end(), frames[i].begin(), frames[i].end());
  const Bytes cut(frames[0].begin(), frames[0].begin() + 200);
  stream.insert(stream.end(), cut.begin(), cut.end());

  for (size_t piece : {size_t{1}, size_t{3}, size_t{417}, size_t{1000}, stream.size()}) {
    std::vector<Bytes> got;
    TMpegAudioSplitter s([&](const uint8_t* f, const TMpegAudioHeader& fh) { got.emplace_back(f, f + fh.FrameSize); });
    for (size_t at = 0; at < stream.size(); at += piece) s.Feed(&stream[at], std::min(piece, stream.size() - at));
    s.End();
    EXPECT_EQ(got, frames) << "pieces of " << piece;
    EXPECT_EQ(s.DroppedBytes(), id3.size() + junk.size() + cut.size()) << "pieces of " << piece;
    EXPECT_EQ(s.Frames(), 8u);
  }
}

}  // namespace
}  // namespace vantrel
