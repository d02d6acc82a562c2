// Hostile inputs: files made to mislead the readers. Each case runs in a
// child process with bounded address space and a watchdog. It must end with
// a clear message or a clean stop, no single allocation may pass 64 MiB, and
// whatever a join writes must read back whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <sstream>

#include "avi/AVIJoin.h"
#include "avi/AVIRead.h"
#include "avi/AviTestFiles.h"
#include "base/Exceptions.h"
#include "probe/FileInfo.h"
#include "job/SaveProjectCls.h"
#include "HardeningSupport.h"
#include "mpeg/MPEG1SysRead.h"
#include "mpeg/MPEGJoiner.h"
#include "mpeg/MpegBytes.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::Bytes;
using test::TempDir;

constexpr size_t kAllocationCap = 64 * test::kMiB;
constexpr int64_t kGiB = int64_t{1} << 30;
constexpr int kFrames = 10;

void Put32(Bytes& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
void Put64(Bytes& b, size_t at, uint64_t v) { std::memcpy(b.data() + at, &v, 8); }

size_t Find(const Bytes& b, const char* code, size_t from = 0) {
  size_t p = test::FindFourCC(b, code, from);
  if (p == std::string::npos) throw std::runtime_error(std::string("no ") + code + " in the base file");
  return p;
}

// ------------------------------------------------------------------ AVI

test::SynthAvi Base(TAVIIndexMode mode) {
  test::SynthAvi s;
  s.frames = kFrames;
  s.mode = mode;
  return s;
}

// A file with video and sound as Base() writes them, and count - 2 more
// sound streams without chunks: built by hand, since our writer stops at
// 100 streams.
Bytes ManyStreams(int count) {
  const test::SynthAvi s = Base(TAVIIndexMode::imLegacy);
  auto video = test::ExpectedChunks(s, 'v');
  auto audio = test::ExpectedChunks(s, 'a');
  AVISTREAMHEADER vh = test::VideoHeader(), ah = test::AudioHeader();
  Bytes vhb(reinterpret_cast<uint8_t*>(&vh), reinterpret_cast<uint8_t*>(&vh) + sizeof vh);
  Bytes ahb(reinterpret_cast<uint8_t*>(&ah), reinterpret_cast<uint8_t*>(&ah) + sizeof ah);
  test::RiffBuilder b;
  b.Begin("RIFF", "AVI ").Begin("LIST", "hdrl");
  Bytes avih(56, 0);
  Put32(avih, 24, static_cast<uint32_t>(count));
  b.Chunk("avih", avih);
  b.Begin("LIST", "strl").Chunk("strh", vhb).Chunk("strf", test::VideoFormat()).End();
  for (int i = 1; i < count; ++i) b.Begin("LIST", "strl").Chunk("strh", ahb).Chunk("strf", test::AudioFormat()).End();
  b.End();
  b.Begin("LIST", "movi");
  std::vector<std::pair<const char*, size_t>> chunks;
  for (int i = 0; i < kFrames; ++i) {
    chunks.push_back({"00dc", b.Pos()});
    b.Chunk("00dc", video[static_cast<size_t>(i)]);
    chunks.push_back({"01wb", b.Pos()});
    b.Chunk("01wb", audio[static_cast<size_t>(i)]);
  }
  b.End();
  Bytes idx;
  for (size_t i = 0; i < chunks.size(); ++i) {
    const Bytes& d = i % 2 == 0 ? video[i / 2] : audio[i / 2];
    idx = test::Cat({idx, test::Text(chunks[i].first), test::LE32(AVIIF_KEYFRAME),
                     test::LE32(static_cast<uint32_t>(chunks[i].second)), test::LE32(static_cast<uint32_t>(d.size()))});
  }
  b.Chunk("idx1", idx);
  return b.Finish();
}

// Offsets into a file of Base(): the n-th stream header's and format's data.
size_t StreamHeader(const Bytes& b, int n) {
  size_t p = Find(b, "strh");
  for (int i = 0; i < n; ++i) p = Find(b, "strh", p + 4);
  return p + 8;
}
size_t LegacyEntry(const Bytes& b, size_t i) { return Find(b, "idx1") + 8 + 16 * i; }

struct AviCase {
  const char* name;
  TAVIIndexMode mode;
  // Makes the file from the base's bytes; returns the size to extend it to
  // without writing (a sparse tail), 0 to leave it as it is.
  std::function<int64_t(Bytes&)> make;
  const char* openMessage;  // the full open's message; "" opens
  const char* joinMessage;  // the join's message; "" joins
  int videoKept;            // leading frames of the base in the output; -1 all
  int audioKept;
  // Of those, a video chunk whose entry lies past the end: an empty chunk
  // keeps its place. A sound chunk of that kind is left out.
  int videoEmptied = -1;
  int audioLeftOut = -1;
};

void PrintTo(const AviCase& c, std::ostream* os) { *os << c.name; }

std::string Outcome(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

// Probe, full open with a walk over every chunk, and a join, as the command
// line does them; the report has one field per step.
std::string ProbeOpenAndJoin(const std::string& file, const std::string& output) {
  std::ostringstream report;
  TVideoFileInfo info;
  report << "probe=" << NativeProbe(file, info);
  std::string open = Outcome([&] {
    TAVIFileReader r;
    r.Open(file, false);
    std::vector<uint8_t> chunk;
    int s;
    uint32_t entry;
    for (r.NextChunk(s, entry); s >= 0; r.NextChunk(s, entry)) {
      TIndexEntry e;
      r.Streams(s).GetIndexEntry(entry, e);
      if (e.Offset >= 0 && e.Offset <= r.FileSize() && e.Size <= r.FileSize() - e.Offset) {
        chunk.resize(e.Size);
        if (!r.Streams(s).ReadChunk(entry, chunk.data())) throw Exception("a chunk within the file is not read");
      }
    }
  });
  std::string join = Outcome([&] {
    TAVIJoiner j;
    j.Files = {file};
    j.OutputFileName = output;
    j.ExactCopy = true;  // the base's chunks, none padded or cut
    j.Run();
  });
  report << "\nopen=" << open << "\njoin=" << join;
  return report.str();
}

class HostileAvi : public ::testing::TestWithParam<AviCase> {};

TEST_P(HostileAvi, ClearMessageOrCleanStopInBoundedMemory) {
  const AviCase& c = GetParam();
  TempDir dir;
  const std::string base = dir.File("base.avi");
  const test::SynthAvi s = Base(c.mode);
  test::WriteSynthAvi(base, s);
  Bytes bytes = test::ReadFileBytes(base);
  const int64_t extendTo = c.make(bytes);
  const std::string file = dir.File("hostile.avi");
  if (extendTo > 0)
    test::MakeSparseFile(file, bytes, extendTo);
  else
    test::WriteFileBytes(file, bytes);
  const std::string output = dir.File("out.avi");

  test::ChildResult r = test::RunInChild([&] { return ProbeOpenAndJoin(file, output); });
  ASSERT_TRUE(r.exited && r.exitCode == 0) << r.Describe();
  EXPECT_LE(r.largestAllocation, kAllocationCap) << r.Describe();
  EXPECT_NE(r.report.find(std::string("\nopen=") + c.openMessage + "\n"), std::string::npos) << r.Describe();
  // The join names the file its message is about.
  const std::string joined = r.report.substr(r.report.find("\njoin=") + 6);
  const std::string said = *c.joinMessage == 0 || std::strstr(c.joinMessage, "hostile.avi") ? c.joinMessage
                                                                                            : file + ": " + c.joinMessage;
  EXPECT_EQ(joined, said) << r.Describe();

  // A join that got as far as writing leaves a file holding the base's
  // leading chunks, nothing else.
  if (access(output.c_str(), F_OK) != 0) {
    EXPECT_NE(std::string(c.joinMessage), "") << "a successful join left no output";
    return;
  }
  auto video = test::ReadStreamChunks(output, 'v');
  auto audio = test::ReadStreamChunks(output, 'a');
  auto wantVideo = test::ExpectedChunks(s, 'v');
  auto wantAudio = test::ExpectedChunks(s, 'a');
  if (c.videoKept >= 0) wantVideo.resize(static_cast<size_t>(c.videoKept));
  if (c.audioKept >= 0) wantAudio.resize(static_cast<size_t>(c.audioKept));
  if (c.videoEmptied >= 0) wantVideo[static_cast<size_t>(c.videoEmptied)].clear();
  if (c.audioLeftOut >= 0) wantAudio.erase(wantAudio.begin() + c.audioLeftOut);
  EXPECT_EQ(video.size(), wantVideo.size());
  EXPECT_EQ(audio.size(), wantAudio.size());
  EXPECT_TRUE(video == wantVideo && audio == wantAudio) << "the output holds other chunks";
}

const AviCase kAviCases[] = {
    {"RiffSizePastTheEnd", TAVIIndexMode::imLegacy, [](Bytes& b) { Put32(b, 4, 0xFFFFFFF0); return 0; }, "", "", -1, -1},
    {"HeaderListPastTheEnd", TAVIIndexMode::imLegacy, [](Bytes& b) { Put32(b, 16, 0xFFFFFFF0); return 0; },
     "The data is not found", "The data is not found", 0, 0},
    // Read as a file cut short: its chunks are found in the data.
    {"MoviListPastTheEnd", TAVIIndexMode::imLegacy, [](Bytes& b) { Put32(b, Find(b, "movi") - 4, 0xFFFFFFF0); return 0; },
     "", "", -1, -1},
    {"MoviListOfSizeZero", TAVIIndexMode::imLegacy, [](Bytes& b) { Put32(b, Find(b, "movi") - 4, 0); return 0; },
     "The index is not found", "The index is not found", 0, 0},
    {"MoviListOfSizeZeroWithOpenDMLIndexes", TAVIIndexMode::imBoth,
     [](Bytes& b) { Put32(b, Find(b, "movi") - 4, 0); return 0; }, "", "", -1, -1},
    {"ChunkSizePastTheEnd", TAVIIndexMode::imLegacy,
     [](Bytes& b) { Put32(b, LegacyEntry(b, 2 * 3) + 12, 0x7FFFFFF0); return 0; }, "", "", -1, -1, 3},
    {"ChunkOffsetPastTheEnd", TAVIIndexMode::imLegacy,
     [](Bytes& b) { Put32(b, LegacyEntry(b, 2 * 4 + 1) + 8, 0xFFFFFF00); return 0; }, "", "", -1, -1, -1, 4},
    {"LegacyIndexPastTheEnd", TAVIIndexMode::imLegacy, [](Bytes& b) { Put32(b, Find(b, "idx1") + 4, 0xFFFFFFF0); return 0; },
     "", "", -1, -1},
    {"StreamFormatPastTheEnd", TAVIIndexMode::imLegacy,
     [](Bytes& b) { Put32(b, Find(b, "strf") + 4, 0xFFFFFFF0); return 0; }, "", "", -1, -1},
    {"StreamFormatPastTheEndOfASparseGigabyte", TAVIIndexMode::imLegacy,
     [](Bytes& b) {
       Put32(b, Find(b, "strf") + 4, 0xFFFFFFF0);
       return kGiB;
     },
     "The stream format is too large", "The stream format is too large", 0, 0},
    {"VideoFormatShorterThanItsFields", TAVIIndexMode::imLegacy,
     [](Bytes& b) { Put32(b, Find(b, "strf") + 4, 8); return 0; }, "", "Invalid video format", 0, 0},
    {"SoundFormatShorterThanItsFields", TAVIIndexMode::imLegacy,
     [](Bytes& b) { Put32(b, Find(b, "strf", Find(b, "strf") + 4) + 4, 4); return 0; }, "", "", -1, -1},
    {"SoundFormatEmpty", TAVIIndexMode::imLegacy,
     [](Bytes& b) { Put32(b, Find(b, "strf", Find(b, "strf") + 4) + 4, 0); return 0; }, "", "", -1, -1},
    {"FrameWidthOfTheMostNegativeValue", TAVIIndexMode::imLegacy,
     [](Bytes& b) {
       Put32(b, Find(b, "strf") + 8 + 4, 0x80000000u);
       Put32(b, Find(b, "strf") + 8 + 8, 0x80000000u);
       return 0;
     },
     "", "", -1, -1},
    {"VideoScaleZero", TAVIIndexMode::imLegacy, [](Bytes& b) { Put32(b, StreamHeader(b, 0) + 20, 0); return 0; }, "", "",
     -1, -1},
    {"VideoRateZero", TAVIIndexMode::imLegacy, [](Bytes& b) { Put32(b, StreamHeader(b, 0) + 24, 0); return 0; }, "", "",
     -1, -1},
    {"SoundScaleAndRateZero", TAVIIndexMode::imLegacy,
     [](Bytes& b) {
       Put32(b, StreamHeader(b, 1) + 20, 0);
       Put32(b, StreamHeader(b, 1) + 24, 0);
       return 0;
     },
     "", "", -1, -1},
    {"SuperIndexPointingAtItself", TAVIIndexMode::imBoth,
     [](Bytes& b) { Put64(b, Find(b, "indx") + 8 + 24, Find(b, "indx")); return 0; },
     "Unsupported type of chunk index: 0", "Unsupported type of chunk index: 0", 0, 0},
    // No entries from the OpenDML index: the stream's chunks come from idx1.
    {"SuperIndexPastTheEnd", TAVIIndexMode::imBoth,
     [](Bytes& b) { Put64(b, Find(b, "indx") + 8 + 24, uint64_t{1} << 40); return 0; }, "", "", -1, -1},
    {"SuperIndexEntriesInUseHuge", TAVIIndexMode::imBoth,
     [](Bytes& b) { Put32(b, Find(b, "indx") + 8 + 4, 0xFFFFFFFF); return 0; }, "", "", -1, -1},
    {"StandardIndexEntriesInUseHuge", TAVIIndexMode::imBoth,
     [](Bytes& b) { Put32(b, Find(b, "ix00") + 8 + 4, 0xFFFFFFFF); return 0; }, "", "", -1, -1},
    // The sound's standard index is the last one: its claimed entries run
    // through the filler before idx1 (read as an entry past the end of the
    // file), then through a gigabyte of zeros.
    {"StandardIndexOverASparseGigabyte", TAVIIndexMode::imBoth,
     [](Bytes& b) {
       Put32(b, Find(b, "ix01") + 4, 0xFFFFFFF0);
       Put32(b, Find(b, "ix01") + 8 + 4, 0xFFFFFFFF);
       return kGiB;
     },
     "", "", -1, -1},
    {"StandardIndexOfRepeatedEntries", TAVIIndexMode::imBoth,
     [](Bytes& b) {
       size_t first = Find(b, "ix00") + 8 + 24;
       for (size_t i = 1; i < kFrames; ++i) std::memcpy(b.data() + first + 8 * i, b.data() + first, 8);
       return 0;
     },
     "", "", 1, -1},
    {"SuperIndexOverASparseGigabyte", TAVIIndexMode::imBoth,
     [](Bytes& b) {
       Put32(b, Find(b, "indx") + 4, 0xFFFFFFF0);
       Put32(b, Find(b, "indx") + 8 + 4, 0xFFFFFFFF);
       return kGiB;
     },
     "", "", -1, -1},
    // The super index lists 2,000 standard indexes 8 bytes apart, each of
    // which parses (the data is made to) and lists the 48K entries after
    // it, in a file whose 384 KB of data lie before a sparse quarter
    // gigabyte: read as the index it claims to be, it lists far more chunks
    // than fit into memory. Overlapping indexes are read once.
    {"SuperIndexOfOverlappingStandardIndexes", TAVIIndexMode::imBoth,
     [](Bytes& b) {
       const size_t region = b.size();
       for (uint32_t j = 0; j < 384 * 1024 / 8; ++j) {
         b.resize(b.size() + 8);
         Put32(b, b.size() - 8, 0x01000000u + 8 * j);  // dwOffset; as a header's, bIndexType 1
         Put32(b, b.size() - 4, 0x7FFFFFF0u);           // dwSize, dwSize, nEntriesInUse
       }
       const size_t indx = Find(b, "indx");
       Put32(b, indx + 8 + 4, 2000);  // nEntriesInUse
       for (uint64_t k = 0; k < 2000; ++k) Put64(b, indx + 8 + 24 + 16 * k, region + 8 * k);
       return kGiB / 4;
     },
     "", "File 1 (hostile.avi): nothing of it could be read", 0, -1},
    {"StreamCountAbove99", TAVIIndexMode::imLegacy, [](Bytes& b) { b = ManyStreams(120); return 0; }, "", "", -1, -1},
    {"StreamCountOf256", TAVIIndexMode::imLegacy, [](Bytes& b) { b = ManyStreams(256); return 0; }, "", "", -1, -1},
    {"StreamCountAbove255", TAVIIndexMode::imLegacy, [](Bytes& b) { b = ManyStreams(300); return 0; },
     "The file has too many streams", "The file has too many streams", 0, 0},
    {"DeclaredStreamCountHuge", TAVIIndexMode::imLegacy,
     [](Bytes& b) { Put32(b, Find(b, "avih") + 8 + 24, 0xFFFFFFFF); return 0; }, "", "", -1, -1},
};

INSTANTIATE_TEST_SUITE_P(Files, HostileAvi, ::testing::ValuesIn(kAviCases),
                         [](const auto& p) { return std::string(p.param.name); });

// ----------------------------------------------------------------- MPEG

using test::Join;
using test::Pack;
using test::Packet;
using test::Payload;
using test::PtsHeader;

// Pack, system header, a video and a sound packet: the units a join copies.
Bytes MpegUnits() {
  return Join({Pack(0), test::SystemHeader(), Packet(0xE0, PtsHeader(9000), Payload(100, 1)),
               Packet(0xC0, PtsHeader(9000), Payload(50, 2)), Pack(3600),
               Packet(0xE0, PtsHeader(12600), Payload(120, 3))});
}

struct MpegCase {
  const char* name;
  // The file and, when the join is to succeed, what it must write.
  std::function<Bytes()> file;
  std::function<Bytes()> joined;
  int64_t sparseTo = 0;  // the file's size after a sparse extension; 0: none
};

void PrintTo(const MpegCase& c, std::ostream* os) { *os << c.name; }

Bytes Repeat(const Bytes& unit, size_t times) {
  Bytes b;
  b.reserve(unit.size() * times);
  for (size_t i = 0; i < times; ++i) b.insert(b.end(), unit.begin(), unit.end());
  return b;
}

const Bytes kPrefix = {0, 0, 1};
const Bytes kZeroLengthPacket = {0, 0, 1, 0xE0, 0, 0};
const Bytes kHugeSystemHeader = {0, 0, 1, 0xBB, 0xFF, 0xFF, 0x80, 0x01};
const Bytes kHugePacket = {0, 0, 1, 0xC0, 0xFF, 0xFF, 0x0F, 1, 2, 3};

const MpegCase kMpegCases[] = {
    {"ZeroLengthPacket", [] { return Join({MpegUnits(), kZeroLengthPacket, MpegUnits(), test::kEndCodeBytes}); },
     [] { return Join({MpegUnits(), kZeroLengthPacket, MpegUnits()}); }},
    // A unit whose length runs past the end of the file is not written.
    {"SystemHeaderLengthPastTheEnd", [] { return Join({MpegUnits(), kHugeSystemHeader}); },
     [] { return MpegUnits(); }},
    {"PacketLengthPastTheEnd", [] { return Join({MpegUnits(), kHugePacket}); }, [] { return MpegUnits(); }},
    {"PacketOfStuffingOnly", [] { return Join({MpegUnits(), Packet(0xE0, Bytes(40, 0xFF), {}), MpegUnits()}); },
     [] { return Join({MpegUnits(), Packet(0xE0, Bytes(40, 0xFF), {}), MpegUnits()}); }},
    {"EndlessZeroBytes", [] { return MpegUnits(); }, [] { return MpegUnits(); }, 64 << 20},
    {"OnlyStartCodePrefixes", [] { return Repeat(kPrefix, 1 << 20); }, [] { return Repeat(kPrefix, 1 << 20); }},
    {"PackThenOnlyStartCodePrefixes", [] { return Join({Pack(0), Repeat(kPrefix, 1 << 20)}); },
     [] { return Pack(0); }},
};

class HostileMpeg : public ::testing::TestWithParam<MpegCase> {};

TEST_P(HostileMpeg, ClearMessageOrCleanStopInBoundedMemory) {
  const MpegCase& c = GetParam();
  TempDir dir;
  const std::string file = dir.File("hostile.mpg");
  const Bytes content = c.file();
  if (c.sparseTo > 0)
    test::MakeSparseFile(file, content, c.sparseTo);
  else
    test::WriteFileBytes(file, content);
  const int64_t inputSize = c.sparseTo > 0 ? c.sparseTo : static_cast<int64_t>(content.size());

  auto join = [&](const std::string& out, bool correct, bool withoutSound) {
    return Outcome([&] {
      TMPEGJoiner j;
      j.Files = {file};
      j.OutputFileName = out;
      j.FrameRate = 25;
      j.CorrectTimeStamps = correct;
      j.WithoutSound = withoutSound;
      j.Run();
    });
  };
  test::ChildResult r = test::RunInChild([&] {
    std::ostringstream report;
    TVideoFileInfo info;
    report << "probe=" << NativeProbe(file, info);
    report << "\nwalk=" << Outcome([&] {
      TMPEG1SystemReader reader;
      reader.Open(file);
      std::vector<uint8_t> unit(0xFFFF + 6);
      while (reader.Next()) reader.ReadUnitBytes(unit.data());
    });
    report << "\njoin=" << join(dir.File("plain.mpg"), false, false);
    report << "\ncorrected=" << join(dir.File("corrected.mpg"), true, false);
    report << "\nsilent=" << join(dir.File("silent.mpg"), false, true);
    return report.str();
  });
  ASSERT_TRUE(r.exited && r.exitCode == 0) << r.Describe();
  EXPECT_LE(r.largestAllocation, kAllocationCap) << r.Describe();
  EXPECT_NE(r.report.find("\nwalk=\njoin=\ncorrected=\nsilent="), std::string::npos) << r.Describe();
  EXPECT_EQ(test::ReadFileBytes(dir.File("plain.mpg")), c.joined());
  // Rewritten headers are never longer than the ones read, and only what is
  // there is copied.
  for (const char* name : {"corrected.mpg", "silent.mpg"}) {
    auto written = test::ReadFileBytes(dir.File(name));
    EXPECT_LE(static_cast<int64_t>(written.size()), inputSize) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileMpeg, ::testing::ValuesIn(kMpegCases),
                         [](const auto& p) { return std::string(p.param.name); });

// -------------------------------------------------------------- Projects

struct ProjectCase {
  const char* name;
  std::function<void(const std::string& path)> make;
  // The loaded paths' sizes; empty with loads == false: refused as corrupted.
  bool loads;
  std::vector<size_t> pathSizes;
};

void PrintTo(const ProjectCase& c, std::ostream* os) { *os << c.name; }

const std::string kHead = "object TProjectSettings\r\n  Files.Strings = (\r\n    '";

void WriteText(const std::string& path, const std::string& text) {
  test::WriteFileBytes(path, Bytes(text.begin(), text.end()));
}

const ProjectCase kProjectCases[] = {
    {"HundredMegabytes",
     [](const std::string& p) { test::MakeSparseFile(p, Bytes(kHead.begin(), kHead.end()), 100 << 20); }, false, {}},
    {"LineOfTenMegabytes",
     [](const std::string& p) { WriteText(p, kHead + std::string(10 << 20, 'v') + "')\r\nend\r\n"); }, true,
     {10 << 20}},
    {"UnterminatedLineOfTenMegabytes",
     [](const std::string& p) { WriteText(p, kHead + std::string(10 << 20, 'v')); }, false, {}},
    {"TenMegabytesOfNulBytes", [](const std::string& p) { test::MakeSparseFile(p, {}, 10 << 20); }, false, {}},
    {"NulBytesBetweenTheWords",
     [](const std::string& p) {
       static const char kText[] = "object\0TProjectSettings\0Files.Strings\0=\0('a')\0end\0";
       WriteText(p, std::string(kText, sizeof kText - 1));
     },
     true, {1}},
    // A NUL would cut the name short when the file is opened: refused.
    {"NulBytesInAPath",
     [](const std::string& p) { WriteText(p, kHead + std::string("a\0b", 3) + "' + #0)\r\nend\r\n"); }, false, {}},
    {"CodesOfTenMegabytes",
     [](const std::string& p) {
       std::string codes;
       for (int i = 0; i < (2 << 20); ++i) codes += "#8364";
       WriteText(p, "object TProjectSettings\r\n  Files.Strings = (" + codes + ")\r\nend\r\n");
     },
     true, {3 * (2 << 20)}},
    {"MillionPaths",
     [](const std::string& p) {
       std::string t = "object TProjectSettings\r\n  Files.Strings = (";
       for (int i = 0; i < 1000000; ++i) t += "'x'\r\n";
       WriteText(p, t + ")\r\nend\r\n");
     },
     true, std::vector<size_t>(1000000, 1)},
};

class HostileProject : public ::testing::TestWithParam<ProjectCase> {};

TEST_P(HostileProject, LoadsOrIsRefusedInBoundedMemory) {
  const ProjectCase& c = GetParam();
  TempDir dir;
  const std::string file = dir.File("hostile.qmf");
  c.make(file);
  test::ChildResult r = test::RunInChild([&] {
    TProjectSettings p;
    std::string message = Outcome([&] { p.LoadFromFile(file); });
    std::ostringstream report;
    report << message;
    for (const std::string& f : p.Files) report << ' ' << f.size();
    return report.str();
  });
  ASSERT_TRUE(r.exited && r.exitCode == 0) << r.Describe();
  EXPECT_LE(r.largestAllocation, kAllocationCap) << r.Describe();
  std::ostringstream want;
  if (!c.loads) want << kProjectCorrupted;
  for (size_t n : c.pathSizes) want << ' ' << n;
  EXPECT_EQ(r.report, want.str()) << r.Describe();
}

INSTANTIATE_TEST_SUITE_P(Files, HostileProject, ::testing::ValuesIn(kProjectCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel
