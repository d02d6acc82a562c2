#include "remux/RemuxTimes.h"

#include <algorithm>

namespace vantrel {

namespace {

// How far the look at an input's head reads for its streams' first time
// stamps before it gives up on a stream that has none.
constexpr size_t kHeadPackets = 1000;
constexpr int64_t kHeadBytes = 64 << 20;

int MappedStream(const AVPacket* pkt, const std::vector<int>& map) {
  const int si = pkt->stream_index;
  return si >= 0 && si < static_cast<int>(map.size()) ? map[static_cast<size_t>(si)] : -1;
}

// Matroska stores presentation times only: the demuxer leaves the decoding
// times of a stream's first packets unset until its parser has seen enough.
// Counted back from the first one known by the packets' durations, as a
// decoder would have taken them, so that a later input's first frames do
// not collide with the end of the one before.
void BackfillDts(std::deque<av::PacketPtr>& head) {
  for (size_t f = 0; f < head.size(); ++f) {
    AVPacket* known = head[f].get();
    if (known->dts == AV_NOPTS_VALUE) continue;
    bool earlierUnset = false;
    for (size_t k = 0; k < f && !earlierUnset; ++k)
      earlierUnset = head[k]->stream_index == known->stream_index && head[k]->dts == AV_NOPTS_VALUE;
    if (!earlierUnset) continue;
    int64_t d = known->dts;
    int64_t step = known->duration > 0 ? known->duration : 1;
    for (size_t k = f; k-- > 0;) {
      AVPacket* p = head[k].get();
      if (p->stream_index != known->stream_index) continue;
      if (p->dts != AV_NOPTS_VALUE) break;
      if (p->duration > 0) step = p->duration;
      d -= step;
      p->dts = p->pts != AV_NOPTS_VALUE ? std::min(d, p->pts) : d;
      d = p->dts;
    }
  }
}

}  // namespace

THeadTimes ReadHead(AVFormatContext* in, const TReadPacket& read, const std::vector<int>& map, size_t outputs,
                    const std::string& fileName, std::deque<av::PacketPtr>& head) {
  THeadTimes h;
  h.FirstPts.assign(outputs, AV_NOPTS_VALUE);
  h.FirstDts.assign(outputs, AV_NOPTS_VALUE);
  h.FirstDataPts.assign(outputs, AV_NOPTS_VALUE);
  const size_t mapped = static_cast<size_t>(std::count_if(map.begin(), map.end(), [](int m) { return m >= 0; }));
  size_t found = 0;
  int64_t bytes = 0;
  while (found < mapped && head.size() < kHeadPackets && bytes < kHeadBytes) {
    av::PacketPtr pkt = av::NewPacket();
    const int rc = read(pkt.get());
    if (rc == AVERROR_EOF) {
      h.Eof = true;
      break;
    }
    if (rc < 0) av::Fail("Unable to read " + fileName, rc);
    bytes += pkt->size;
    const int s = MappedStream(pkt.get(), map);
    if (s >= 0 && !(pkt->flags & AV_PKT_FLAG_DISCARD) && pkt->dts != AV_NOPTS_VALUE && h.FirstDts[s] == AV_NOPTS_VALUE) {
      h.FirstDts[s] = 0;  // seen; set below
      ++found;
    }
    head.push_back(std::move(pkt));
  }
  BackfillDts(head);
  auto earliest = [](int64_t& first, int64_t us) { first = first == AV_NOPTS_VALUE ? us : std::min(first, us); };
  for (const av::PacketPtr& pkt : head) {
    const int s = MappedStream(pkt.get(), map);
    if (s < 0) continue;
    const AVRational tb = in->streams[pkt->stream_index]->time_base;
    const int64_t pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (pts == AV_NOPTS_VALUE) continue;
    const int64_t us = av_rescale_q(pts, tb, kMicro);
    earliest(h.FirstDataPts[s], us);
    if (!(pkt->flags & AV_PKT_FLAG_DISCARD)) earliest(h.FirstPts[s], us);
  }
  std::vector<bool> dtsSeen(outputs, false);
  for (const av::PacketPtr& pkt : head) {
    const int s = MappedStream(pkt.get(), map);
    if (s < 0 || (pkt->flags & AV_PKT_FLAG_DISCARD) || pkt->dts == AV_NOPTS_VALUE || dtsSeen[s]) continue;
    dtsSeen[s] = true;
    h.FirstDts[s] = av_rescale_q(pkt->dts, in->streams[pkt->stream_index]->time_base, kMicro);
  }
  for (size_t s = 0; s < outputs; ++s)
    if (!dtsSeen[s]) h.FirstDts[s] = AV_NOPTS_VALUE;
  int64_t start = INT64_MAX;
  for (int64_t p : h.FirstPts)
    if (p != AV_NOPTS_VALUE) start = std::min(start, p);
  h.Start = start == INT64_MAX ? 0 : start;
  return h;
}

int64_t NextOffset(int64_t endUs, const THeadTimes& head, const std::vector<int64_t>& nextDtsUs) {
  int64_t offset = endUs - head.Start;
  for (size_t s = 0; s < nextDtsUs.size() && s < head.FirstDts.size(); ++s)
    if (head.FirstDts[s] != AV_NOPTS_VALUE && nextDtsUs[s] != AV_NOPTS_VALUE)
      offset = std::max(offset, nextDtsUs[s] - head.FirstDts[s]);
  return offset;
}

std::optional<int64_t> ContinuingOffset(const THeadTimes& head, const std::vector<int64_t>& streamEndUs) {
  // Time stamps are rounded to their time bases: a millisecond covers
  // Matroska's and every finer one.
  constexpr int64_t kAgreeUs = 1000;
  int64_t lo = INT64_MAX, hi = INT64_MIN;
  size_t streams = 0;
  for (size_t s = 0; s < streamEndUs.size() && s < head.FirstDataPts.size(); ++s) {
    if (streamEndUs[s] == INT64_MIN || head.FirstDataPts[s] == AV_NOPTS_VALUE) continue;
    const int64_t offset = streamEndUs[s] - head.FirstDataPts[s];
    lo = std::min(lo, offset);
    hi = std::max(hi, offset);
    ++streams;
  }
  // One stream alone continues anything; it takes two to tell a piece of
  // one recording from a file that merely follows.
  if (streams < 2 || hi - lo > kAgreeUs) return std::nullopt;
  return hi;
}

int64_t StatedDuration(const AVFormatContext* in) {
  const bool stated = in->duration != AV_NOPTS_VALUE && in->duration > 0 &&
                      in->duration_estimation_method == AVFMT_DURATION_FROM_STREAM;
  return stated ? in->duration : 0;
}

int64_t Slack(int64_t duration) { return std::max<int64_t>(AV_TIME_BASE, duration / 50); }

// Whether the packet whose bytes reach the end of the file is whole: it is
// when the file gave all its header promised with it. (In a file cut short
// it is cut too: a demuxer hands over what there is.)
bool LastPacketWhole(const AVFormatContext* in, const AVPacket* last) {
  const int64_t pts = last->pts != AV_NOPTS_VALUE ? last->pts : last->dts;
  const AVStream* st = last->stream_index < static_cast<int>(in->nb_streams) ? in->streams[last->stream_index] : nullptr;
  const int64_t stated = StatedDuration(in);
  const int64_t lastEnd = st && pts != AV_NOPTS_VALUE
                              ? av_rescale_q(pts + std::max<int64_t>(last->duration, 0), st->time_base, kMicro)
                              : INT64_MAX;
  const int64_t fileStart = in->start_time != AV_NOPTS_VALUE ? in->start_time : 0;
  return stated == 0 || lastEnd >= fileStart + stated - Slack(stated);
}


}  // namespace vantrel
