#include "remux/RemuxVerify.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/Exceptions.h"
#include "ffmpeg/AvOwners.h"

namespace vantrel {

namespace {

// Containers round their times (Matroska to milliseconds) and a player's
// length is where the latest stream ends.
constexpr double kDurationTolerance = 0.1;

[[noreturn]] void Mismatch(const std::string& fileName, const std::string& what) {
  throw Exception("The joined file " + fileName + " does not read back as written: " + what);
}

void CompareCounts(const std::string& fileName, const std::vector<int64_t>& read, const TRemuxWritten& w) {
  if (read.size() < w.Packets.size())
    Mismatch(fileName, std::to_string(read.size()) + " streams, " + std::to_string(w.Packets.size()) + " were written");
  for (size_t s = 0; s < w.Packets.size(); ++s)
    if (read[s] != w.Packets[s])
      Mismatch(fileName, "stream " + std::to_string(s + 1) + " has " + std::to_string(read[s]) + " packets, " +
                             std::to_string(w.Packets[s]) + " were written");
}

void CompareDuration(const std::string& fileName, double read, double written) {
  if (std::fabs(read - written) <= kDurationTolerance) return;
  char buf[96];
  std::snprintf(buf, sizeof buf, "it lasts %.3f s, %.3f s were written", read, written);
  Mismatch(fileName, buf);
}

}  // namespace

bool VerifyRemuxOutput(const std::string& fileName, const TRemuxWritten& w, bool full) {
  AVFormatContext* raw = nullptr;
  int rc = avformat_open_input(&raw, av::FileUrl(fileName).c_str(), nullptr, nullptr);
  if (rc < 0) av::Fail("Unable to read back " + fileName, rc);
  av::InputPtr in(raw);
  const std::string demuxer = in->iformat->name;
  // The QuickTime demuxer reads the whole sample table on opening: the
  // counts and the length cost no more than the index.
  if (!full && demuxer.rfind("mov,", 0) == 0) {
    std::vector<int64_t> counts;
    for (unsigned s = 0; s < in->nb_streams; ++s) counts.push_back(avformat_index_get_entries_count(in->streams[s]));
    CompareCounts(fileName, counts, w);
    if (in->duration != AV_NOPTS_VALUE) CompareDuration(fileName, static_cast<double>(in->duration) / AV_TIME_BASE, w.Duration);
    return true;
  }
  if (!full) return false;
  std::vector<int64_t> counts(in->nb_streams, 0);
  int64_t first = INT64_MAX, end = INT64_MIN;
  av::PacketPtr pkt = av::NewPacket();
  while ((rc = av_read_frame(in.get(), pkt.get())) >= 0) {
    const int s = pkt->stream_index;
    if (s >= 0 && static_cast<unsigned>(s) < in->nb_streams) {
      if (static_cast<size_t>(s) >= counts.size()) counts.resize(static_cast<size_t>(s) + 1, 0);
      ++counts[static_cast<size_t>(s)];
      const int64_t pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
      if (pts != AV_NOPTS_VALUE && !(pkt->flags & AV_PKT_FLAG_DISCARD)) {
        const AVRational tb = in->streams[s]->time_base;
        first = std::min(first, av_rescale_q(pts, tb, AV_TIME_BASE_Q));
        end = std::max(end, av_rescale_q(pts + std::max<int64_t>(pkt->duration, 0), tb, AV_TIME_BASE_Q));
      }
    }
    av_packet_unref(pkt.get());
  }
  if (rc != AVERROR_EOF) av::Fail("Unable to read back " + fileName, rc);
  CompareCounts(fileName, counts, w);
  if (end > first) CompareDuration(fileName, static_cast<double>(end - first) / AV_TIME_BASE, w.Duration);
  return true;
}

}  // namespace vantrel
