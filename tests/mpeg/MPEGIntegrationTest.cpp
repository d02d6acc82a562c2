// vantrel-cli join --copy on MPEG-1 files made with ffmpeg at test time.
//
// The tests read the outputs with a small MPEG-1 system stream walker of
// their own (pack headers, system headers and packets found from their start
// codes and lengths) and compare them with what the join is meant to write,
// worked out here from the inputs:
//   - system stream inputs are carried unit by unit, in file order: every
//     pack header and packet, the system headers of the first input only,
//     no end codes, nothing of the bytes between units;
//   - any other input (an MPEG video elementary stream) is carried whole;
//   - --without-sound keeps only the payloads of video stream 0xE0;
//   - --correct-timestamps rewrites pack headers with shifted clock
//     references and packets with shifted PTSs and the shortest header, so
//     that every file continues where the previous one ended.
// The command probes its inputs first: an input without sound (an elementary
// stream) leaves the sound out of the whole join, and an input with nothing
// to read is refused before anything is written. ffprobe then reads the
// outputs back.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kPack = 0xBA;
constexpr uint8_t kSystemHeader = 0xBB;
constexpr uint8_t kEnd = 0xB9;
constexpr uint8_t kPrivate2 = 0xBF;
constexpr uint8_t kVideo = 0xE0;
constexpr uint8_t kAudio = 0xC0;
constexpr int64_t kStampMask = (int64_t{1} << 33) - 1;

// ------------------------------------------------------------ time stamps

// The 5-byte form: 4-bit prefix, then bits 32..30, 29..15 and 14..0 of the
// stamp, each group followed by a marker bit set to 1.
int64_t GetStamp(const uint8_t* p) {
  return (int64_t{p[0]} >> 1 & 7) << 30 | int64_t{p[1]} << 22 | (int64_t{p[2]} >> 1) << 15 | int64_t{p[3]} << 7 |
         int64_t{p[4]} >> 1;
}

void PutStamp(uint8_t* p, int64_t value, uint8_t prefix) {
  const int64_t v = value & kStampMask;
  p[0] = static_cast<uint8_t>(prefix << 4 | (v >> 30 & 7) << 1 | 1);
  p[1] = static_cast<uint8_t>(v >> 22 & 0xFF);
  p[2] = static_cast<uint8_t>((v >> 15 & 0x7F) << 1 | 1);
  p[3] = static_cast<uint8_t>(v >> 7 & 0xFF);
  p[4] = static_cast<uint8_t>((v & 0x7F) << 1 | 1);
}

// ------------------------------------------------------------ the walker

struct Unit {
  uint8_t code = 0;    // 0xBA, 0xBB or the packet's stream id
  size_t start = 0;    // position of 00 00 01
  size_t size = 0;     // as declared: 12 for a pack header, 6 + length else
  size_t present = 0;  // bytes of it in the file (fewer when cut short)
  // Pack header.
  int64_t scr = 0;
  // Packet: whether its header fields (stuffing, buffer size, time stamps)
  // lie within the packet; private stream 2 has none.
  bool fields = false;
  size_t stuffing = 0;
  bool hasStd = false;
  bool hasPts = false;
  bool hasDts = false;
  int64_t pts = 0;
  int64_t dts = 0;
  size_t payloadStart = 0;
  size_t payloadSize = 0;     // as declared
  size_t payloadPresent = 0;  // in the file

  bool IsPacket() const { return code != kPack && code != kSystemHeader; }
};

struct Walk {
  std::vector<Unit> units;
  size_t uncovered = 0;  // bytes outside every unit (junk, end codes, a cut header)
  bool headerCut = false;
};

bool StartsWithPack(const Bytes& b) { return b.size() >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == kPack; }

// Position of the next 00 00 01 followed by a code of 0xBA or more; start
// codes with lower codes (end codes, codes met in junk) are skipped.
size_t NextUnitStart(const Bytes& b, size_t from) {
  for (size_t i = from; i + 3 < b.size(); ++i)
    if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && b[i + 3] >= kPack) return i;
  return std::string::npos;
}

// Reads the fields at the front of a packet. False when the file ends
// inside them.
bool ParsePacketFields(const Bytes& b, Unit& u) {
  const size_t end = u.start + u.size;
  const size_t fileEnd = b.size();
  size_t p = u.start + 6;
  u.fields = false;
  if (u.code == kPrivate2) return true;
  while (p < end && p < fileEnd && b[p] == 0xFF) {
    ++p;
    ++u.stuffing;
  }
  if (p >= end) return true;
  if (p >= fileEnd) return false;
  if ((b[p] & 0xC0) == 0x40) {
    u.hasStd = true;
    p += 2;
    if (p >= end) return true;
    if (p >= fileEnd) return false;
  }
  size_t n = 1;
  if ((b[p] >> 4) == 2) n = 5;
  if ((b[p] >> 4) == 3) n = 10;
  if (p + n > end) return true;
  if (p + n > fileEnd) return false;
  if (n >= 5) {
    u.hasPts = true;
    u.pts = GetStamp(&b[p]);
  }
  if (n == 10) {
    u.hasDts = true;
    u.dts = GetStamp(&b[p + 5]);
  }
  u.fields = true;
  u.payloadStart = p + n;
  u.payloadSize = end - u.payloadStart;
  u.payloadPresent = std::min(end, fileEnd) - u.payloadStart;
  return true;
}

Walk WalkUnits(const Bytes& b) {
  Walk w;
  size_t covered = 0;
  size_t pos = 0;
  for (;;) {
    size_t s = NextUnitStart(b, pos);
    if (s == std::string::npos) break;
    Unit u;
    u.code = b[s + 3];
    u.start = s;
    if (u.code == kPack) {
      if (s + 12 > b.size()) {
        w.headerCut = true;
        break;
      }
      u.size = 12;
      u.scr = GetStamp(&b[s + 4]);
    } else {
      if (s + 6 > b.size()) {
        w.headerCut = true;
        break;
      }
      u.size = 6 + (size_t{b[s + 4]} << 8 | b[s + 5]);
      if (u.IsPacket() && !ParsePacketFields(b, u)) {
        w.headerCut = true;
        break;
      }
    }
    u.present = std::min(u.size, b.size() - s);
    covered += u.present;
    w.units.push_back(u);
    pos = s + u.size;
    if (pos >= b.size()) break;
  }
  w.uncovered = b.size() - covered;
  return w;
}

Bytes Slice(const Bytes& b, size_t start, size_t count) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(start), b.begin() + static_cast<std::ptrdiff_t>(start + count));
}

void Append(Bytes& to, const Bytes& from, size_t start, size_t count) {
  to.insert(to.end(), from.begin() + static_cast<std::ptrdiff_t>(start),
            from.begin() + static_cast<std::ptrdiff_t>(start + count));
}

std::string Describe(const Unit& u) {
  char s[160];
  std::snprintf(s, sizeof s, "unit 0x%02X at %zu, %zu bytes (%zu present)", u.code, u.start, u.size, u.present);
  return s;
}

// ------------------------------------------------------------ the expected join

struct JoinMode {
  bool withoutSound = false;
  bool correct = false;
  int64_t frameTicks = 0;  // 90 kHz ticks of one frame at the first file's rate
};

struct Expected {
  Bytes bytes;
  std::vector<size_t> fileStart;  // where each input begins in the output
};

// Where a system stream starts, as the joiner finds it: the first SCR and
// the lowest PTS of the opening second of its clock (or 8 MiB).
struct Start {
  bool hasScr = false, hasPts = false, hasVideo = false;
  int64_t scr = 0, pts = 0, videoDecode = 0;
};
Start FileStart(const Bytes& in) {
  Start s;
  for (const Unit& u : WalkUnits(in).units) {
    if (u.start >= (size_t{8} << 20)) break;
    if (u.code == kPack) {
      if (!s.hasScr) {
        s.hasScr = true;
        s.scr = u.scr;
      } else if (u.scr - s.scr > 90000) {
        break;
      }
    } else if (u.IsPacket() && u.fields && u.hasPts) {
      s.pts = s.hasPts ? std::min(s.pts, u.pts) : u.pts;
      s.hasPts = true;
      if (u.code >= 0xE0 && u.code <= 0xEF) {
        const int64_t d = u.hasDts ? u.dts : u.pts;
        s.videoDecode = s.hasVideo ? std::min(s.videoDecode, d) : d;
        s.hasVideo = true;
      }
    }
  }
  return s;
}

uint32_t MuxRateOf(const Bytes& b, size_t at) {
  return ((static_cast<uint32_t>(b[at + 9] & 0x7F) << 16) | (static_cast<uint32_t>(b[at + 10]) << 8) | b[at + 11]) >> 1;
}

Expected ExpectedJoin(const std::vector<Bytes>& inputs, const JoinMode& mode) {
  Expected r;
  // Corrected: one offset per file for every stamp; the file's lowest PTS
  // one frame after the highest written; across a join no SCR before the
  // last pack written has been sent at its mux rate.
  bool haveStamps = false, haveScr = false;
  int64_t lastScr = 0, since = 0;
  uint32_t lastMux = 0;
  // Per stream: highest and last two PTSs, payload bytes since the last and between the two.
  struct Track {
    bool has = false;
    int64_t max = 0, maxDecode = 0, last = 0, previous = 0, since = 0, between = 0;
  };
  std::map<uint8_t, Track> tracks;
  auto writtenEnd = [&] {
    int64_t end = std::numeric_limits<int64_t>::min();
    for (const auto& [id, t] : tracks) {
      int64_t e = t.max + mode.frameTicks;
      if (id >= 0xC0 && id < 0xE0 && t.between > 0 && t.last > t.previous)
        e = t.last + t.since * (t.last - t.previous) / t.between;
      end = std::max(end, e);
    }
    return end;
  };
  for (size_t k = 0; k < inputs.size(); ++k) {
    const Bytes& in = inputs[k];
    r.fileStart.push_back(r.bytes.size());
    if (!StartsWithPack(in)) {
      r.bytes.insert(r.bytes.end(), in.begin(), in.end());
      continue;
    }
    int64_t offset = 0;
    auto sent = [&] {  // when the last pack written has been sent
      const int64_t perSecond = int64_t{lastMux} * 50;
      return lastScr + (perSecond > 0 ? (since * 90000 + perSecond - 1) / perSecond : 0);
    };
    const bool joined = mode.correct && (haveStamps || haveScr);
    if (joined) {
      const Start st = FileStart(in);
      if (haveStamps && st.hasPts) {
        offset = writtenEnd() - st.pts;
        bool any = false;
        int64_t decoded = 0;
        for (const auto& [id, t] : tracks)
          if (id >= 0xE0 && id <= 0xEF) {
            decoded = any ? std::max(decoded, t.maxDecode) : t.maxDecode;
            any = true;
          }
        if (any && st.hasVideo) offset = std::max(offset, decoded + mode.frameTicks - st.videoDecode);
      }
      else if (haveScr && st.hasScr)
        offset = sent() - st.scr;
    }
    for (const Unit& u : WalkUnits(in).units) {
      // A unit cut short by the end of its file is not written.
      if (u.present < u.size) break;
      if (mode.withoutSound) {
        if (u.code == kVideo && u.fields) Append(r.bytes, in, u.payloadStart, u.payloadPresent);
        continue;
      }
      if (u.code == kSystemHeader && k > 0) continue;
      const size_t at = r.bytes.size();
      Append(r.bytes, in, u.start, u.present);
      if (!mode.correct) continue;
      if (u.code == kPack) {
        lastScr = joined && haveScr ? std::max(u.scr + offset, sent()) : u.scr + offset;
        PutStamp(&r.bytes[at + 4], lastScr, 0x2);
        lastMux = MuxRateOf(in, u.start);
        since = static_cast<int64_t>(u.size);
        haveScr = true;
        continue;
      }
      since += static_cast<int64_t>(u.size);
      if (!u.IsPacket() || !u.fields) continue;
      Track& t = tracks[u.code];
      if (!u.hasPts) {
        if (t.has) t.since += static_cast<int64_t>(u.payloadSize);
        continue;
      }
      const size_t ptsAt = at + (u.payloadStart - u.start) - (u.hasDts ? 10 : 5);
      PutStamp(&r.bytes[ptsAt], u.pts + offset, u.hasDts ? 0x3 : 0x2);
      if (u.hasDts) PutStamp(&r.bytes[ptsAt + 5], u.dts + offset, 0x1);
      if (t.has) {
        t.previous = t.last;
        t.between = t.since;
      }
      const int64_t decode = (u.hasDts ? u.dts : u.pts) + offset;
      t.max = t.has ? std::max(t.max, u.pts + offset) : u.pts + offset;
      t.maxDecode = t.has ? std::max(t.maxDecode, decode) : decode;
      t.last = u.pts + offset;
      t.since = static_cast<int64_t>(u.payloadSize);
      t.has = true;
      haveStamps = true;
    }
  }
  return r;
}

// Compares two system streams unit by unit (for a readable first
// difference), then byte for byte.
::testing::AssertionResult SameStream(const Bytes& actual, const Bytes& expected) {
  const Walk a = WalkUnits(actual);
  const Walk e = WalkUnits(expected);
  const size_t n = std::min(a.units.size(), e.units.size());
  for (size_t i = 0; i < n; ++i) {
    const Unit& ua = a.units[i];
    const Unit& ue = e.units[i];
    if (ua.code != ue.code || ua.present != ue.present ||
        !std::equal(actual.begin() + static_cast<std::ptrdiff_t>(ua.start),
                    actual.begin() + static_cast<std::ptrdiff_t>(ua.start + ua.present),
                    expected.begin() + static_cast<std::ptrdiff_t>(ue.start)))
      return ::testing::AssertionFailure()
             << "unit " << i << " differs: output has " << Describe(ua) << ", expected " << Describe(ue);
  }
  if (a.units.size() != e.units.size())
    return ::testing::AssertionFailure() << "output has " << a.units.size() << " units, expected " << e.units.size();
  if (actual != expected)
    return ::testing::AssertionFailure() << "same units but different bytes: output " << actual.size() << " bytes ("
                                         << a.uncovered << " outside units), expected " << expected.size() << " ("
                                         << e.uncovered << " outside units)";
  return ::testing::AssertionSuccess();
}

// ------------------------------------------------------------ input files

struct Recipe {
  std::string source = "testsrc";  // lavfi video source
  std::string rate = "25";
  double seconds = 2;
  int tone = 440;  // sine frequency; 0 for a video elementary stream
  std::string size = "176x144";
};

std::string Name(const Recipe& r) {
  std::string rate = r.rate;
  std::replace(rate.begin(), rate.end(), '/', '_');
  char s[200];
  std::snprintf(s, sizeof s, "%s-%s-%s-%.1f-%d%s", r.source.c_str(), r.size.c_str(), rate.c_str(), r.seconds, r.tone,
                r.tone ? ".mpg" : ".m1v");
  return s;
}

// Inputs are made once per run of the test program and shared.
const TempDir& InputDir() {
  static TempDir dir;
  return dir;
}

std::string MakeInput(const Recipe& r) {
  static std::map<std::string, std::string> made;
  const std::string name = Name(r);
  auto it = made.find(name);
  if (it != made.end()) return it->second;
  const std::string path = InputDir().File(name);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f", r.seconds);
  std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i " + r.source + "=size=" + r.size + ":rate=" + r.rate +
                    ":duration=" + seconds;
  if (r.tone)
    cmd += " -f lavfi -i sine=frequency=" + std::to_string(r.tone) + ":sample_rate=44100:duration=" + seconds +
           " -c:v mpeg1video -q:v 4 -c:a mp2 -b:a 64k -ac 1 -f mpeg";
  else
    cmd += " -c:v mpeg1video -q:v 4 -f mpeg1video";
  cmd += " '" + path + "'";
  CommandResult res = Shell(cmd);
  EXPECT_EQ(res.exitCode, 0) << cmd << "\n" << res.err;
  const Bytes head = ReadFileBytes(path);
  if (r.tone) {
    // An MPEG-1 system stream: a pack header whose clock reference opens
    // with 0010.
    EXPECT_TRUE(StartsWithPack(head) && head.size() >= 12 && (head[4] >> 4) == 2) << path;
  } else {
    EXPECT_TRUE(head.size() >= 4 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0xB3) << path;
  }
  made[name] = path;
  return path;
}

const Recipe kSysA{"testsrc", "25", 2.0, 440};
const Recipe kSysB{"testsrc2", "25", 1.6, 660};
const Recipe kSysC{"smptebars", "25", 1.2, 880};
const Recipe kEsD{"rgbtestsrc", "25", 1.0, 0};

// Packets ffprobe reads, by codec_type.
std::map<std::string, int> PacketCounts(const std::string& file) {
  CommandResult r = Run({"ffprobe", "-v", "error", "-count_packets", "-show_entries",
                         "stream=codec_type,nb_read_packets", "-of", "csv=p=0", file});
  std::map<std::string, int> counts;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    counts[line.substr(0, comma)] += std::stoi(line.substr(comma + 1));
  }
  return counts;
}

struct VideoInfo {
  std::string codec;
  int frames = 0;
  int streams = 0;
};

VideoInfo ReadVideo(const std::string& file) {
  VideoInfo v;
  CommandResult r = Run({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                         "stream=codec_type,codec_name,nb_read_frames", "-of", "csv=p=0", file});
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    ++v.streams;
    std::istringstream fields(line);
    std::string codec, type, frames;
    std::getline(fields, codec, ',');
    std::getline(fields, type, ',');
    std::getline(fields, frames, ',');
    if (type == "video" && v.codec.empty()) {
      v.codec = codec;
      v.frames = frames.empty() ? 0 : std::stoi(frames);
    }
  }
  return v;
}

// Test cases print as their names.
template <typename Case>
requires requires(const Case& c) { c.name + ""; }
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// ------------------------------------------------------------ fixture

class MpegJoin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HaveTool("ffmpeg")) << "ffmpeg is needed to make the test files";
    ASSERT_TRUE(HaveTool("ffprobe")) << "ffprobe is needed to read the outputs back";
  }

  std::string Out(const std::string& name = "out.mpg") const { return dir_.File(name); }

  std::string Write(const std::string& name, const Bytes& bytes) const {
    const std::string path = dir_.File(name);
    WriteFileBytes(path, bytes);
    return path;
  }

  // vantrel-cli join --copy -q -y [flags] -o out inputs..., stopped if it
  // runs for more than a minute.
  static CommandResult Join(const std::vector<std::string>& flags, const std::string& out,
                            const std::vector<std::string>& inputs) {
    std::vector<std::string> argv{"timeout", "60", CliPath(), "join", "--copy", "-q", "-y"};
    argv.insert(argv.end(), flags.begin(), flags.end());
    // Copied verbatim unless a test asks for the correction (on by default).
    if (std::find(flags.begin(), flags.end(), "--correct-timestamps") == flags.end())
      argv.push_back("--no-correct-timestamps");
    argv.push_back("-o");
    argv.push_back(out);
    argv.insert(argv.end(), inputs.begin(), inputs.end());
    return vantrel::test::Run(argv);
  }

  static std::vector<Bytes> ReadAll(const std::vector<std::string>& files) {
    std::vector<Bytes> r;
    for (const std::string& f : files) r.push_back(ReadFileBytes(f));
    return r;
  }

  TempDir dir_;
};

// Units of the output that come from input k, given where the inputs begin.
std::vector<Unit> UnitsOfFile(const Walk& w, const std::vector<size_t>& fileStart, size_t k, size_t outSize) {
  const size_t from = fileStart[k];
  const size_t to = k + 1 < fileStart.size() ? fileStart[k + 1] : outSize;
  std::vector<Unit> r;
  for (const Unit& u : w.units)
    if (u.start >= from && u.start < to) r.push_back(u);
  return r;
}

// ------------------------------------------------------------ decorations

// Rewrites a system stream: before(i, out) may add bytes in front of unit i
// (of the original), and tail is added at the end.
Bytes Rebuild(const Bytes& in, const std::function<void(size_t, Bytes&)>& before, const Bytes& tail) {
  Bytes out;
  const Walk w = WalkUnits(in);
  for (size_t i = 0; i < w.units.size(); ++i) {
    before(i, out);
    Append(out, in, w.units[i].start, w.units[i].present);
  }
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

const Bytes kEndCode = {0, 0, 1, kEnd};
// Bytes of no unit: a start code with a low code, an end code, zero runs
// leading into the next start code.
const Bytes kJunk = {0xAA, 0x00, 0x00, 0x01, 0x00, 0x47, 0x00, 0x00, 0x01, kEnd, 0x13, 0x00, 0x00};
// A private stream 2 packet whose payload opens like a packet header with a
// PTS: it must never be read as one.
const Bytes kPrivatePacket = {0,    0,    1,   kPrivate2, 0,   12,   0x21, 0x00, 0x01,
                              0x00, 0x01, 'V', 'A',       'N', 0xFF, 0x0F, 0x31, 0x07};

enum class Decoration { None, EndCode, Junk, Private2 };

Bytes Decorate(const Bytes& in, Decoration d) {
  switch (d) {
    case Decoration::None: return in;
    case Decoration::EndCode:
      return Rebuild(
          in, [](size_t, Bytes&) {}, kEndCode);
    case Decoration::Junk: {
      const size_t units = WalkUnits(in).units.size();
      return Rebuild(
          in,
          [units](size_t i, Bytes& out) {
            if (i == 2 || i == units / 2 || i == units / 2 + 1) out.insert(out.end(), kJunk.begin(), kJunk.end());
          },
          Cat({kEndCode, kJunk}));
    }
    case Decoration::Private2: {
      const size_t units = WalkUnits(in).units.size();
      return Rebuild(
          in,
          [units](size_t i, Bytes& out) {
            if (i == 3 || i == units - 1) out.insert(out.end(), kPrivatePacket.begin(), kPrivatePacket.end());
          },
          kEndCode);
    }
  }
  return in;
}

const char* DecorationName(Decoration d) {
  switch (d) {
    case Decoration::None: return "Plain";
    case Decoration::EndCode: return "EndCodes";
    case Decoration::Junk: return "JunkBetweenUnits";
    case Decoration::Private2: return "PrivateStream2";
  }
  return "?";
}

// ============================================================ 1. system streams

struct CopyCase {
  std::string name;
  std::vector<Recipe> inputs;
  Decoration decoration;
};

class MpegCopyJoin : public MpegJoin, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(MpegCopyJoin, CarriesEveryUnitOfEveryInputInOrder) {
  const CopyCase& c = GetParam();
  std::vector<std::string> files;
  std::map<std::string, int> inputPackets;
  for (size_t i = 0; i < c.inputs.size(); ++i) {
    const std::string made = MakeInput(c.inputs[i]);
    for (const auto& [type, n] : PacketCounts(made)) inputPackets[type] += n;
    files.push_back(Write("in" + std::to_string(i) + ".mpg", Decorate(ReadFileBytes(made), c.decoration)));
  }
  ASSERT_GT(inputPackets["video"], 0);
  ASSERT_GT(inputPackets["audio"], 0);

  CommandResult r = Join({}, Out(), files);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Bytes out = ReadFileBytes(Out());
  const std::vector<Bytes> in = ReadAll(files);

  // The units of the inputs, in order, later system headers left out.
  std::vector<Bytes> units;
  size_t systemHeaders = 0;
  for (size_t k = 0; k < in.size(); ++k)
    for (const Unit& u : WalkUnits(in[k]).units) {
      if (u.code == kSystemHeader && k > 0) continue;
      if (u.code == kSystemHeader) ++systemHeaders;
      units.push_back(Slice(in[k], u.start, u.present));
    }
  ASSERT_GT(systemHeaders, 0u);
  const Walk w = WalkUnits(out);
  EXPECT_EQ(w.uncovered, 0u) << "bytes outside units (end codes, junk) in the output";
  ASSERT_EQ(w.units.size(), units.size());
  for (size_t i = 0; i < units.size(); ++i)
    ASSERT_EQ(Slice(out, w.units[i].start, w.units[i].present), units[i])
        << "unit " << i << ": " << Describe(w.units[i]);
  EXPECT_TRUE(SameStream(out, ExpectedJoin(in, {}).bytes));
  if (c.decoration == Decoration::Private2) {
    EXPECT_EQ(std::count_if(w.units.begin(), w.units.end(), [](const Unit& u) { return u.code == kPrivate2; }),
              static_cast<std::ptrdiff_t>(2 * in.size()));
  }

  const std::map<std::string, int> outPackets = PacketCounts(Out());
  EXPECT_EQ(outPackets.count("video") ? outPackets.at("video") : 0, inputPackets["video"]);
  EXPECT_EQ(outPackets.count("audio") ? outPackets.at("audio") : 0, inputPackets["audio"]);
}

std::vector<CopyCase> CopyCases() {
  std::vector<CopyCase> r;
  r.push_back({"TwoPlain", {kSysA, kSysB}, Decoration::None});
  for (Decoration d : {Decoration::None, Decoration::EndCode, Decoration::Junk, Decoration::Private2})
    r.push_back({std::string("Three") + DecorationName(d), {kSysA, kSysB, kSysC}, d});
  r.push_back({"SameFileTwice", {kSysA, kSysA}, Decoration::EndCode});
  return r;
}

INSTANTIATE_TEST_SUITE_P(Mpeg, MpegCopyJoin, ::testing::ValuesIn(CopyCases()),
                         [](const ::testing::TestParamInfo<CopyCase>& i) { return i.param.name; });

// ============================================================ 2. elementary streams

struct MixedCase {
  std::string name;
  std::vector<Recipe> inputs;
};

class MpegMixedJoin : public MpegJoin, public ::testing::WithParamInterface<MixedCase> {};

TEST_P(MpegMixedJoin, ElementaryStreamsAreCarriedWhole) {
  const MixedCase& c = GetParam();
  std::vector<std::string> files;
  int frames = 0;
  for (const Recipe& rc : c.inputs) {
    files.push_back(MakeInput(rc));
    frames += ReadVideo(files.back()).frames;
  }
  ASSERT_GT(frames, 0);
  CommandResult r = Join({}, Out(), files);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Bytes out = ReadFileBytes(Out());
  const std::vector<Bytes> in = ReadAll(files);
  // An input without sound (an elementary stream has none) leaves the sound
  // out of the whole join: the system streams give their video payloads.
  const bool silent = std::any_of(c.inputs.begin(), c.inputs.end(), [](const Recipe& rc) { return rc.tone == 0; });
  const Expected e = ExpectedJoin(in, {silent, false, 0});
  ASSERT_EQ(out.size(), e.bytes.size());
  for (size_t k = 0; k < in.size(); ++k) {
    if (StartsWithPack(in[k])) continue;
    // The elementary stream sits whole at its place.
    ASSERT_TRUE(std::equal(in[k].begin(), in[k].end(), out.begin() + static_cast<std::ptrdiff_t>(e.fileStart[k])))
        << "input " << k << " is not whole at output offset " << e.fileStart[k];
  }
  if (!StartsWithPack(in.back())) {
    EXPECT_TRUE(std::equal(in.back().rbegin(), in.back().rend(), out.rbegin()))
        << "the output does not end with " << files.back();
  }
  EXPECT_TRUE(out == e.bytes) << "the output is not the inputs' video, in order";

  const VideoInfo v = ReadVideo(Out());
  EXPECT_EQ(v.codec, "mpeg1video");
  EXPECT_EQ(v.streams, 1);
  EXPECT_EQ(v.frames, frames);
}

INSTANTIATE_TEST_SUITE_P(Mpeg, MpegMixedJoin,
                         ::testing::Values(MixedCase{"SystemThenElementary", {kSysA, kEsD}},
                                           MixedCase{"SystemElementarySystem", {kSysA, kEsD, kSysB}},
                                           MixedCase{"ElementaryThenSystem", {kEsD, kSysB}},
                                           MixedCase{"ElementaryTwice", {kEsD, kEsD}}),
                         [](const ::testing::TestParamInfo<MixedCase>& i) { return i.param.name; });

// ============================================================ 3. without sound

struct SilentCase {
  std::string name;
  std::vector<Recipe> inputs;
  bool correct;
};

class MpegJoinWithoutSound : public MpegJoin, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(MpegJoinWithoutSound, WritesTheVideoElementaryStream) {
  const SilentCase& c = GetParam();
  std::vector<std::string> files;
  int frames = 0;
  for (const Recipe& rc : c.inputs) {
    files.push_back(MakeInput(rc));
    VideoInfo v = ReadVideo(files.back());
    ASSERT_GT(v.frames, 0) << files.back();
    frames += v.frames;
  }
  std::vector<std::string> flags{"--without-sound"};
  if (c.correct) flags.push_back("--correct-timestamps");
  CommandResult r = Join(flags, Out("out.m1v"), files);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Bytes out = ReadFileBytes(Out("out.m1v"));
  const Bytes expected = ExpectedJoin(ReadAll(files), {true, false, 0}).bytes;
  ASSERT_EQ(out.size(), expected.size());
  EXPECT_TRUE(out == expected) << "the output is not the video payloads of the inputs";
  ASSERT_GE(out.size(), 4u);
  EXPECT_EQ(Slice(out, 0, 4), (Bytes{0, 0, 1, 0xB3})) << "no sequence header at the start";

  VideoInfo v = ReadVideo(Out("out.m1v"));
  EXPECT_EQ(v.codec, "mpeg1video");
  EXPECT_EQ(v.streams, 1);
  EXPECT_EQ(v.frames, frames);
}

INSTANTIATE_TEST_SUITE_P(Mpeg, MpegJoinWithoutSound,
                         ::testing::Values(SilentCase{"ThreeSystemStreams", {kSysA, kSysB, kSysC}, false},
                                           SilentCase{"SameFileTwice", {kSysC, kSysC}, false},
                                           SilentCase{"WithCorrectTimestamps", {kSysA, kSysB}, true}),
                         [](const ::testing::TestParamInfo<SilentCase>& i) { return i.param.name; });

// ============================================================ 4. time stamps

struct TimeCase {
  std::string name;
  std::vector<Recipe> inputs;
  int rateNum, rateDen;  // the first input's frame rate
  Decoration decoration = Decoration::None;
};

class MpegCorrectTimestamps : public MpegJoin, public ::testing::WithParamInterface<TimeCase> {};

TEST_P(MpegCorrectTimestamps, EveryFileContinuesThePreviousOne) {
  const TimeCase& c = GetParam();
  const int64_t ticks = std::llround(90000.0 * c.rateDen / c.rateNum);
  std::vector<std::string> files;
  std::map<std::string, int> inputPackets;
  for (size_t i = 0; i < c.inputs.size(); ++i) {
    const std::string made = MakeInput(c.inputs[i]);
    for (const auto& [type, n] : PacketCounts(made)) inputPackets[type] += n;
    files.push_back(Write("in" + std::to_string(i) + ".mpg", Decorate(ReadFileBytes(made), c.decoration)));
  }
  CommandResult r = Join({"--correct-timestamps"}, Out(), files);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Bytes out = ReadFileBytes(Out());
  const std::vector<Bytes> in = ReadAll(files);
  const Expected e = ExpectedJoin(in, {false, true, ticks});
  EXPECT_TRUE(SameStream(out, e.bytes));

  const Walk w = WalkUnits(out);
  EXPECT_EQ(w.uncovered, 0u);
  EXPECT_FALSE(w.headerCut);

  // Clock references never fall back, and no time stamp precedes its
  // decoding time.
  std::optional<int64_t> lastScr;
  for (const Unit& u : w.units) {
    if (u.code == kPack) {
      if (lastScr) {
        EXPECT_GE(u.scr, *lastScr) << Describe(u);
      }
      lastScr = u.scr;
    }
    if (u.hasDts) {
      EXPECT_LE(u.dts, u.pts) << Describe(u);
    }
  }
  // Within a file clock references, PTSs and DTSs all move by one amount;
  // the first file keeps its own.
  std::vector<int64_t> shifts;
  for (size_t k = 0; k < in.size(); ++k) {
    std::vector<Unit> src;
    for (const Unit& u : WalkUnits(in[k]).units)
      if (!(u.code == kSystemHeader && k > 0)) src.push_back(u);
    const std::vector<Unit> dst = UnitsOfFile(w, e.fileStart, k, out.size());
    ASSERT_EQ(src.size(), dst.size()) << "input " << k;
    std::optional<int64_t> shift;
    for (size_t i = 0; i < src.size(); ++i) {
      std::vector<int64_t> moved;
      if (src[i].IsPacket() && src[i].fields && src[i].hasPts) moved.push_back(dst[i].pts - src[i].pts);
      if (src[i].IsPacket() && src[i].fields && src[i].hasDts) moved.push_back(dst[i].dts - src[i].dts);
      for (int64_t m : moved) {
        if (!shift) shift = m;
        EXPECT_EQ(m, *shift) << "input " << k << ", " << Describe(dst[i]);
      }
    }
    shifts.push_back(shift.value_or(0));
    // Clock references move by the same amount, or later where the clock
    // would have gone back at the join (the file's preload).
    for (size_t i = 0; i < src.size(); ++i)
      if (src[i].code == kPack && shift) {
        EXPECT_GE(dst[i].scr - src[i].scr, *shift) << "input " << k << ", " << Describe(dst[i]);
        if (k == 0) {
          EXPECT_EQ(dst[i].scr, src[i].scr) << Describe(dst[i]);
        }
      }
  }
  EXPECT_EQ(shifts.front(), 0);
  // At every join each stream's time stamps rise, and the file's first
  // presented unit follows the highest stamp before it by a frame, or the
  // end of the sound that runs on past it.
  for (size_t k = 1; k < in.size(); ++k) {
    SCOPED_TRACE("join before input " + std::to_string(k));
    const std::vector<Unit> before = UnitsOfFile(w, e.fileStart, k - 1, out.size());
    const std::vector<Unit> after = UnitsOfFile(w, e.fileStart, k, out.size());
    std::map<uint8_t, int64_t> highest;
    int64_t top = 0, lowest = std::numeric_limits<int64_t>::max();
    for (const Unit& u : before)
      if (u.IsPacket() && u.fields && u.hasPts) {
        highest[u.code] = highest.count(u.code) ? std::max(highest[u.code], u.pts) : u.pts;
        top = std::max(top, u.pts);
      }
    for (const Unit& u : after)
      if (u.IsPacket() && u.fields && u.hasPts) {
        lowest = std::min(lowest, u.pts);
        if (highest.count(u.code)) {
          EXPECT_GT(u.pts, highest[u.code]) << Describe(u);
        }
      }
    EXPECT_GE(lowest, top + ticks);
    EXPECT_LE(lowest, top + ticks + 18000) << "more than 200 ms between the files";
  }
  EXPECT_EQ(vantrel::test::Run({"ffmpeg", "-v", "error", "-i", Out(), "-f", "null", "-"}).err, "");

  const std::map<std::string, int> outPackets = PacketCounts(Out());
  EXPECT_EQ(outPackets.count("video") ? outPackets.at("video") : 0, inputPackets["video"]);
  EXPECT_EQ(outPackets.count("audio") ? outPackets.at("audio") : 0, inputPackets["audio"]);
}

Recipe At(Recipe r, const std::string& rate) {
  r.rate = rate;
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Mpeg, MpegCorrectTimestamps,
    ::testing::Values(TimeCase{"Three25fps", {kSysA, kSysB, kSysC}, 25, 1},
                      TimeCase{"Two24fps", {At(kSysA, "24"), At(kSysB, "24")}, 24, 1},
                      TimeCase{"Two29_97fps", {At(kSysA, "30000/1001"), At(kSysC, "30000/1001")}, 30000, 1001},
                      TimeCase{"SameFileTwice50fps", {At(kSysB, "50"), At(kSysB, "50")}, 50, 1},
                      TimeCase{"ThreeWithPrivateStream2", {kSysA, kSysB, kSysC}, 25, 1, Decoration::Private2},
                      TimeCase{"ThreeWithJunk", {kSysA, kSysB, kSysC}, 25, 1, Decoration::Junk}),
    [](const ::testing::TestParamInfo<TimeCase>& i) { return i.param.name; });

// Without --correct-timestamps every unit keeps its stamps, so the clock
// references fall back where the second file begins.
TEST_F(MpegJoin, WithoutCorrectionTheClockFallsBackAtTheJoin) {
  const std::vector<std::string> files{MakeInput(kSysA), MakeInput(kSysB)};
  CommandResult r = Join({}, Out(), files);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Bytes out = ReadFileBytes(Out());
  const std::vector<Bytes> in = ReadAll(files);
  const Expected e = ExpectedJoin(in, {});
  ASSERT_TRUE(SameStream(out, e.bytes));
  const Walk w = WalkUnits(out);
  const std::vector<Unit> first = UnitsOfFile(w, e.fileStart, 0, out.size());
  const std::vector<Unit> second = UnitsOfFile(w, e.fileStart, 1, out.size());
  auto lastPack = std::find_if(first.rbegin(), first.rend(), [](const Unit& u) { return u.code == kPack; });
  auto firstPack = std::find_if(second.begin(), second.end(), [](const Unit& u) { return u.code == kPack; });
  ASSERT_NE(lastPack, first.rend());
  ASSERT_NE(firstPack, second.end());
  EXPECT_LT(firstPack->scr, lastPack->scr);
  EXPECT_EQ(firstPack->scr, WalkUnits(in[1]).units.front().scr);
  // Packets keep their headers: ffmpeg writes PTS and DTS on video packets.
  EXPECT_TRUE(std::any_of(w.units.begin(), w.units.end(), [](const Unit& u) { return u.hasDts; }));
}

// ============================================================ 5. bad input

enum class CutAt { MiddleOfVideoPayload, MiddleOfAudioPayload, FirstPayloadByte };

struct CutCase {
  std::string name;
  CutAt at;
  bool followed;  // another input after the cut one
  bool correct;
};

class MpegTruncatedInput : public MpegJoin, public ::testing::WithParamInterface<CutCase> {};

TEST_P(MpegTruncatedInput, DropsTheCutUnitWhole) {
  const CutCase& c = GetParam();
  const Bytes whole = ReadFileBytes(MakeInput(kSysB));
  const Walk ww = WalkUnits(whole);
  // A packet of the wanted stream in the second half of the file.
  const uint8_t stream = c.at == CutAt::MiddleOfAudioPayload ? kAudio : kVideo;
  std::optional<Unit> victim;
  for (size_t i = ww.units.size() / 2; i < ww.units.size() && !victim; ++i)
    if (ww.units[i].code == stream && ww.units[i].fields && ww.units[i].payloadSize > 100) victim = ww.units[i];
  ASSERT_TRUE(victim) << "no packet to cut";
  const size_t cut = victim->payloadStart + (c.at == CutAt::FirstPayloadByte ? 1 : victim->payloadSize / 2);

  // The join of the cut file is the join of the file as if it ended before
  // the cut packet: written short, the packet's length would swallow the
  // next input's first bytes.
  std::vector<std::string> flags;
  if (c.correct) flags.push_back("--correct-timestamps");
  // The cut one is named, and the join ends with status 3.
  auto joinWith = [&](const std::string& name, const Bytes& middle, const std::string& out, int status) {
    std::vector<std::string> files{MakeInput(kSysA), Write(name, middle)};
    if (c.followed) files.push_back(MakeInput(kSysC));
    CommandResult r = Join(flags, out, files);
    EXPECT_EQ(r.exitCode, status) << r.err;
    EXPECT_EQ(r.err.find("- File 2 (" + name + ") is damaged: it could be read for 00:0") != std::string::npos,
              status == 3)
        << r.err;
    return ReadFileBytes(out);
  };
  const Bytes out = joinWith("cut.mpg", Slice(whole, 0, cut), Out(), 3);
  const Bytes expected = joinWith("ends-before.mpg", Slice(whole, 0, victim->start), dir_.File("expected.mpg"), 0);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out, expected);
  const Walk w = WalkUnits(out);
  EXPECT_EQ(w.uncovered, 0u);
  EXPECT_FALSE(w.headerCut);
}

INSTANTIATE_TEST_SUITE_P(Mpeg, MpegTruncatedInput,
                         ::testing::Values(CutCase{"LastInVideoPayload", CutAt::MiddleOfVideoPayload, false, false},
                                           CutCase{"LastInAudioPayload", CutAt::MiddleOfAudioPayload, false, false},
                                           CutCase{"LastAfterFirstPayloadByte", CutAt::FirstPayloadByte, false, false},
                                           CutCase{"FollowedInVideoPayload", CutAt::MiddleOfVideoPayload, true, false},
                                           CutCase{"FollowedInAudioPayload", CutAt::MiddleOfAudioPayload, true, false},
                                           CutCase{"LastCorrected", CutAt::MiddleOfVideoPayload, false, true},
                                           CutCase{"FollowedCorrected", CutAt::MiddleOfAudioPayload, true, true}),
                         [](const ::testing::TestParamInfo<CutCase>& i) { return i.param.name; });

Bytes Repeat(const Bytes& pattern, size_t times) {
  Bytes r;
  for (size_t i = 0; i < times; ++i) r.insert(r.end(), pattern.begin(), pattern.end());
  return r;
}

constexpr size_t kOddSize = 512 * 1024;

const Bytes kZeros(kOddSize, 0);
const Bytes kPrefixes = Repeat({0, 0, 1}, kOddSize / 3);
const Bytes kEmptyPackets = Repeat({0, 0, 1, kVideo, 0, 0}, kOddSize / 6);
const Bytes kPackCodes = Repeat({0, 0, 1, kPack}, kOddSize / 4);

// A later input with long stretches that hold no unit: after its units, or
// between its first pack header and the rest. The join must get through
// them, with what the rules give for them, and join the next input after.
struct StretchCase {
  std::string name;
  const Bytes* stretch;
  bool inside;  // after the first pack header rather than at the end
  bool correct;
};

class MpegStretchInput : public MpegJoin, public ::testing::WithParamInterface<StretchCase> {};

TEST_P(MpegStretchInput, IsJoinedInBoundedTime) {
  const StretchCase& c = GetParam();
  const Bytes b = ReadFileBytes(MakeInput(kSysB));
  ASSERT_GT(b.size(), 12u);
  const Bytes odd = c.inside ? Cat({Slice(b, 0, 12), *c.stretch, Slice(b, 12, b.size() - 12)}) : Cat({b, *c.stretch});
  const std::vector<std::string> files{MakeInput(kSysA), Write("odd.mpg", odd), MakeInput(kSysC)};
  std::vector<std::string> flags;
  if (c.correct) flags.push_back("--correct-timestamps");
  CommandResult r = Join(flags, Out(), files);
  ASSERT_EQ(r.exitCode, 0) << (r.exitCode == 124 ? "stopped after a minute\n" : "") << r.err;
  const Bytes out = ReadFileBytes(Out());
  const std::vector<Bytes> in = ReadAll(files);
  EXPECT_TRUE(SameStream(out, ExpectedJoin(in, {false, c.correct, 3600}).bytes));
  const Walk wl = WalkUnits(in.back());
  ASSERT_FALSE(wl.units.empty());
  const Unit& lastUnit = wl.units.back();
  ASSERT_GE(out.size(), lastUnit.present);
  EXPECT_EQ(Slice(out, out.size() - lastUnit.present, lastUnit.present),
            Slice(in.back(), lastUnit.start, lastUnit.present))
      << "the last input does not end the output";
  if (c.stretch != &kPackCodes) {
    EXPECT_EQ(WalkUnits(out).uncovered, 0u) << "bytes of the stretch in the output";
  }
}

INSTANTIATE_TEST_SUITE_P(Mpeg, MpegStretchInput,
                         ::testing::Values(StretchCase{"TrailingZeros", &kZeros, false, false},
                                           StretchCase{"TrailingZerosCorrected", &kZeros, false, true},
                                           StretchCase{"TrailingPrefixes", &kPrefixes, false, false},
                                           StretchCase{"TrailingEmptyPackets", &kEmptyPackets, false, false},
                                           StretchCase{"TrailingEmptyPacketsCorrected", &kEmptyPackets, false, true},
                                           StretchCase{"TrailingPackCodes", &kPackCodes, false, false},
                                           StretchCase{"ZerosInside", &kZeros, true, false},
                                           StretchCase{"PrefixesInside", &kPrefixes, true, false},
                                           StretchCase{"PrefixesInsideCorrected", &kPrefixes, true, true}),
                         [](const ::testing::TestParamInfo<StretchCase>& i) { return i.param.name; });

// A later input with nothing to read at all is refused when the inputs are
// probed: the command fails promptly, names the file and writes nothing.
struct UnreadableCase {
  std::string name;
  Bytes bytes;
};

class MpegUnreadableInput : public MpegJoin, public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(MpegUnreadableInput, IsRefusedCleanly) {
  const std::string odd = Write("odd.mpg", GetParam().bytes);
  const std::vector<std::string> files{MakeInput(kSysA), odd, MakeInput(kSysB)};
  for (const std::vector<std::string>& flags : {std::vector<std::string>{}, {"--correct-timestamps"}}) {
    SCOPED_TRACE(flags.empty() ? "plain" : flags[0]);
    CommandResult r = Join(flags, Out(), files);
    EXPECT_EQ(r.exitCode, 1) << (r.exitCode == 124 ? "stopped after a minute\n" : "") << r.err;
    EXPECT_NE(r.err.find("Unable to add file " + odd), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(Out())) << "an output was written";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Mpeg, MpegUnreadableInput,
    ::testing::Values(UnreadableCase{"Empty", {}}, UnreadableCase{"Zeros", kZeros},
                      UnreadableCase{"StartCodePrefixes", kPrefixes}, UnreadableCase{"PackCodeOnly", {0, 0, 1, kPack}},
                      UnreadableCase{"PackHeaderThenZeros",
                                     Cat({Bytes{0, 0, 1, kPack, 0x21, 0, 1, 0, 1, 0x80, 0x1B, 0x91}, kZeros})}),
    [](const ::testing::TestParamInfo<UnreadableCase>& i) { return i.param.name; });

// ============================================================ the end report

// The report counts what a viewer gets, pictures and sound frames, not the
// packets that carry them (a picture spans several; a packet holds parts
// of several sound frames), with frames cut across packets and files.
struct CountCase {
  std::string name;
  std::string tool;
  std::string make;  // shell line making %o
};

class MpegReport : public ::testing::TestWithParam<CountCase> {};

TEST_P(MpegReport, CountsPicturesAndSoundFrames) {
  const CountCase& c = GetParam();
  if (!HaveTool("ffmpeg") || !HaveTool(c.tool)) GTEST_SKIP() << c.tool << " is not installed";
  TempDir dir;
  const std::string in = dir.File("in.mpg"), out = dir.File("out.mpg");
  std::string make = c.make;
  for (size_t p; (p = make.find("%o")) != std::string::npos;) make.replace(p, 2, "'" + in + "'");
  for (size_t p; (p = make.find("%s")) != std::string::npos;) make.replace(p, 2, "'" + dir.File("scratch") + "'");
  ASSERT_EQ(Shell(make).exitCode, 0) << make;
  const CommandResult r = test::Run({CliPath(), "join", "--copy", "-o", out, in, in, in});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  CommandResult frames = test::Run({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                              "stream=codec_type,nb_read_frames", "-of", "csv=p=0", out});
  std::map<std::string, std::string> n;
  std::istringstream rows(frames.out);
  for (std::string row; std::getline(rows, row);)
    if (row.find(',') != std::string::npos) n[row.substr(0, row.find(','))] = row.substr(row.find(',') + 1);
  ASSERT_FALSE(n["video"].empty());
  ASSERT_FALSE(n["audio"].empty());
  EXPECT_NE(r.err.find("Joined 3 files: " + n["video"] + " video and " + n["audio"] + " audio packets"),
            std::string::npos)
      << r.err;
}

const std::string kTestVideo = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=176x144:rate=25:duration=2 ";

INSTANTIATE_TEST_SUITE_P(
    Mpeg, MpegReport,
    ::testing::Values(
        CountCase{"FfmpegLayerII", "ffmpeg",
                  kTestVideo + "-f lavfi -i sine=sample_rate=44100:duration=2 -c:v mpeg1video -bf 2 -c:a mp2 "
                               "-b:a 224k -f mpeg %o"},
        CountCase{"FfmpegLayerIIIPadded", "ffmpeg",
                  kTestVideo + "-f lavfi -i sine=sample_rate=44100:duration=2 -c:v mpeg1video -c:a libmp3lame "
                               "-b:a 128k -f mpeg %o"},
        CountCase{"Mjpegtools", "mplex",
                  kTestVideo + "-pix_fmt yuv420p -f yuv4mpegpipe %s.y4m && ffmpeg -nostdin -v error -y -f lavfi -i "
                               "sine=sample_rate=48000:duration=2 %s.wav && mpeg2enc -v 0 -f 0 -R 2 -o %s.m1v < "
                               "%s.y4m && mp2enc -v 0 -b 192 -r 48000 -o %s.mp2 < %s.wav && mplex -v 0 -f 0 -o %o "
                               "%s.m1v %s.mp2"}),
    [](const ::testing::TestParamInfo<CountCase>& i) { return i.param.name; });

}  // namespace
}  // namespace vantrel::test
