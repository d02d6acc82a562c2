#include "remux/RemuxJoin.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>

#include <libavutil/intreadwrite.h>

#include "base/Exceptions.h"
#include "base/JoinLoop.h"
#include "base/PosixFile.h"
#include "ffmpeg/AvOwners.h"
#include "ffmpeg/MuxQuirks.h"
#include "ffmpeg/StreamSignature.h"
#include "remux/RemuxCut.h"
#include "remux/RemuxTimes.h"
#include "remux/RemuxVerify.h"

namespace vantrel {

namespace {

std::string Title(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

int64_t SizeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

// An output stream and what has gone into it.
struct TOut {
  AVStream* St = nullptr;
  AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
  int64_t LastDts = AV_NOPTS_VALUE;  // output time base
  int64_t Packets = 0;
  int64_t EndUs = INT64_MIN;  // latest pts + duration of the current input
  // Added to every time stamp written: the codec delay a Matroska muxer
  // that does not shift by it itself (libavformat before 59.31) leaves to
  // the caller, output time base.
  int64_t Delay = 0;
};

class TRemuxRun {
 public:
  TRemuxRun(const TRemuxJoiner& j, IProgress& progress) : j_(j), progress_(progress) {}
  void Execute();
  void Abandon() { out_.reset(); }
  TRemuxReport& Report() { return report_; }

 private:
  void SetUpOutput(AVFormatContext* first);
  void JoinInput(size_t i, AVFormatContext* in, const TStreamFormats& formats);
  struct TPlacing {
    int64_t OffsetUs = 0;  // added to every time of the input
    bool Continues = false;  // a piece of the previous file's recording
  };
  TPlacing Place(size_t i, const THeadTimes& h) const;
  // Copies what follows the input's head through step; returns whether the
  // file ended cut short. going turns false when step stops the copy.
  // (stepped: how many packets step has taken so far).
  // eof: the head reached the end already.
  bool CopyPackets(size_t i, AVFormatContext* in, const TReadPacket& read, bool eof,
                   const std::function<bool(AVPacket*)>& step, bool& going, const int64_t& stepped);
  std::vector<int> MapStreams(size_t i, AVFormatContext* in, const TStreamFormats& formats) const;
  bool Write(AVPacket* pkt, AVFormatContext* in, const std::vector<int>& map, const std::vector<int64_t>& offsets,
             bool continues);
  // Says so when input i gave less than its header promised (read: the
  // seconds of it written) or ended in a read error.
  void CheckWhole(size_t i, const AVFormatContext* in, double read, bool cut);
  void Finish();

  const TRemuxJoiner& j_;
  IProgress& progress_;
  av::OutputPtr out_;
  TStreamFormats firstFormats_;
  std::vector<TOut> outs_;
  // Per kind, the n-th stream of that kind in the first file -> output
  // stream or -1.
  std::vector<std::pair<TStreamKind, int>> byKind_;
  std::vector<std::pair<double, double>> chapterTimes_;  // seconds, as joined
  int64_t endUs_ = 0;  // where the next input starts
  int64_t firstUs_ = AV_NOPTS_VALUE;
  int64_t totalBytes_ = 0, doneBytes_ = 0;
  TJoinLoop* loop_ = nullptr;  // while the inputs are copied
  size_t current_ = 0;  // the input being copied
  const TRemuxJoiner::TRewrite* rewrite_ = nullptr;  // its rewrite
  std::vector<uint8_t> rewritten_;
  TRemuxReport report_;
};

void TRemuxRun::SetUpOutput(AVFormatContext* first) {
  AVFormatContext* raw = nullptr;
  int rc = avformat_alloc_output_context2(&raw, nullptr, j_.Muxer.c_str(), j_.OutputFileName.c_str());
  if (rc < 0 || !raw) av::Fail("Unable to create " + j_.OutputFileName, rc < 0 ? rc : AVERROR(ENOMEM));
  out_.reset(raw);
  AVFormatContext* oc = out_.get();

  size_t n = 0;
  for (unsigned s = 0; s < first->nb_streams; ++s) {
    const AVStream* ist = first->streams[s];
    if (!av::CopiedStream(ist)) {
      if (ist->disposition & AV_DISPOSITION_ATTACHED_PIC) report_.Notes.push_back("the cover picture was left out");
      else if (ist->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT) report_.Notes.push_back("an attachment was left out");
      continue;
    }
    const AVCodecParameters* p = ist->codecpar;
    const TStreamKind kind = av::CopiedStreamKind(ist);
    // What the plan keeps: the video, the sound unless left out, and the
    // subtitle and data streams every file has alike and the output holds
    // (without a plan, those the output's muxer takes).
    bool keep = true;
    if (kind == TStreamKind::Audio)
      keep = !j_.WithoutSound && (n >= j_.Keep.size() || j_.Keep[n]);
    else if (kind != TStreamKind::Video)
      keep = n < j_.Keep.size() ? j_.Keep[n] : avformat_query_codec(oc->oformat, p->codec_id, FF_COMPLIANCE_NORMAL) == 1;
    ++n;
    if (!keep) {
      byKind_.emplace_back(kind, -1);
      continue;
    }
    AVStream* ost = avformat_new_stream(oc, nullptr);
    if (!ost) throw Exception("Out of memory");
    rc = avcodec_parameters_copy(ost->codecpar, p);
    if (rc < 0) av::Fail("Unable to create " + j_.OutputFileName, rc);
    if (p->codec_type == AVMEDIA_TYPE_VIDEO && !j_.VideoExtradata.empty())
      av::ReplaceExtradata(ost->codecpar, j_.VideoExtradata);
    // Keep the input's tag (hvc1 rather than hev1, say) where the output
    // knows it for this codec; else let the muxer choose.
    unsigned tag = 0;
    const uint32_t in = p->codec_tag;
    if (oc->oformat->codec_tag && av_codec_get_id(oc->oformat->codec_tag, in) != p->codec_id &&
        av_codec_get_tag2(oc->oformat->codec_tag, p->codec_id, &tag))
      ost->codecpar->codec_tag = 0;
    ost->time_base = ist->time_base;
    ost->avg_frame_rate = ist->avg_frame_rate;
    ost->r_frame_rate = ist->r_frame_rate;
    ost->sample_aspect_ratio = ist->sample_aspect_ratio;
    ost->disposition = ist->disposition;
    av_dict_copy(&ost->metadata, ist->metadata, 0);
    // The display matrix of a phone's portrait clip, and the like.
    for (int k = 0; k < ist->nb_side_data; ++k) {
      const AVPacketSideData& sd = ist->side_data[k];
      uint8_t* dst = av_stream_new_side_data(ost, sd.type, sd.size);
      if (!dst) throw Exception("Out of memory");
      std::memcpy(dst, sd.data, sd.size);
    }
    byKind_.emplace_back(kind, static_cast<int>(outs_.size()));
    TOut o;
    o.St = ost;
    o.Type = p->codec_type;
    outs_.push_back(o);
  }
  if (outs_.empty()) throw Exception("The first file has no stream to copy");
  av_dict_copy(&oc->metadata, first->metadata, 0);

  rc = av::OpenOutput(&oc->pb, j_.OutputFileName);
  if (rc < 0) av::Fail("Unable to create " + j_.OutputFileName, rc);
  rc = avformat_write_header(oc, nullptr);
  if (rc < 0) av::Fail("Unable to write " + j_.OutputFileName, rc);
  // The header sets the time bases the muxer keeps.
  for (TOut& o : outs_) o.Delay = av::MatroskaCodecDelay(oc, o.St);
}

void TRemuxRun::Execute() {
  for (const std::string& f : j_.Files) totalBytes_ += SizeOf(f);
  TJoinLoop loop(progress_, j_.Files);
  loop_ = &loop;
  // Streams first: a join stopped before its first packet still ends whole.
  av::InputPtr first = av::OpenInput(j_.Files.front());
  firstFormats_ = av::StreamFormats(first.get());
  SetUpOutput(first.get());
  loop.ForEachInput([&](size_t i) {
    av::InputPtr in = i == 0 ? std::move(first) : av::OpenInput(j_.Files[i]);
    const TStreamFormats formats = i == 0 ? firstFormats_ : av::StreamFormats(in.get());
    // The plan was made on what the files held when they were probed; one
    // replaced since by another of other streams is refused, not joined.
    if (i > 0) {
      const TStreamsDiff d = CompareStreams(firstFormats_, formats, j_.Tolerated);
      if (d.Video) throw Exception(FileLabel(i, j_.Files[i]) + d.Video.Words);
      if (!j_.WithoutSound && d.Audio) throw Exception(FileLabel(i, j_.Files[i]) + d.Audio.Words);
    }
    JoinInput(i, in.get(), formats);
    doneBytes_ += SizeOf(j_.Files[i]);
  });
  loop_ = nullptr;
  Finish();
}

std::vector<int> TRemuxRun::MapStreams(size_t i, AVFormatContext* in, const TStreamFormats& formats) const {
  // Input streams -> output streams, pairing the n-th stream of a kind with
  // the first file's n-th of that kind.
  std::vector<int> map(in->nb_streams, -1);
  const TStreamsDiff others = i == 0 ? TStreamsDiff{} : CompareStreams(firstFormats_, formats);
  for (unsigned s = 0; s < in->nb_streams; ++s) {
    if (!av::CopiedStream(in->streams[s])) continue;
    const TStreamKind kind = av::CopiedStreamKind(in->streams[s]);
    size_t nth = 0;
    for (unsigned t = 0; t < s; ++t)
      if (av::CopiedStream(in->streams[t]) && av::CopiedStreamKind(in->streams[t]) == kind) ++nth;
    for (size_t k = 0, seen = 0; k < byKind_.size(); ++k) {
      if (byKind_[k].first != kind) continue;
      if (seen++ != nth) continue;
      const bool unlike = std::find(others.OthersDiffering.begin(), others.OthersDiffering.end(), k) !=
                          others.OthersDiffering.end();
      if (!unlike) map[s] = byKind_[k].second;
      break;
    }
  }
  return map;
}

// Where input i goes on the output's time line. The first file keeps its
// own times, moved to start at 0 when all of it starts later (a stream cut
// from a longer one, a camera's later chapter): one offset for all its
// streams, so nothing in it moves against anything else. Every later one
// starts where the previous one ended, and later still where a stream's
// decoding times would otherwise go back.
TRemuxRun::TPlacing TRemuxRun::Place(size_t i, const THeadTimes& h) const {
  if (i == 0) return {h.Start > 0 ? -h.Start : 0, false};
  std::vector<int64_t> next(outs_.size(), AV_NOPTS_VALUE), ends(outs_.size(), INT64_MIN);
  for (size_t s = 0; s < outs_.size(); ++s) {
    if (outs_[s].LastDts != AV_NOPTS_VALUE)
      next[s] = av_rescale_q_rnd(outs_[s].LastDts + 1, outs_[s].St->time_base, kMicro, AV_ROUND_UP);
    ends[s] = outs_[s].EndUs;
  }
  // A piece of one recording continues every stream where it ended; any
  // other file starts where the previous one ended.
  const std::optional<int64_t> piece = ContinuingOffset(h, ends);
  return {NextOffset(piece ? *piece + h.Start : endUs_, h, next), piece.has_value()};
}

bool TRemuxRun::CopyPackets(size_t i, AVFormatContext* in, const TReadPacket& read, bool eof,
                            const std::function<bool(AVPacket*)>& step, bool& going, const int64_t& stepped) {
  av::PacketPtr pkt = av::NewPacket();
  bool cut = false;  // the file ended in a read error
  // The packet whose bytes reach the end of the file waits until the file
  // is known to be whole.
  av::PacketPtr last;
  const int64_t fileSize = in->pb ? avio_size(in->pb) : -1;
  // A transport stream cut inside a packet: the demuxer hands over each
  // stream's unfinished PES packet at the end as if it were whole. A packet
  // waits until a later one of its stream shows it was not the last; those
  // still waiting at the end are the cut ones, and are left out.
  const bool tsCut = av::TransportStreamCutInsideAPacket(in, fileSize);
  std::deque<std::pair<av::PacketPtr, bool>> waiting;  // with whether it is known whole
  while (going && !eof) {
    const int rc = read(pkt.get());
    if (rc == AVERROR_EOF) break;
    if (rc < 0) {
      // A file cut short or damaged: what could be read is kept, and said.
      if (stepped == 0 && !last) av::Fail("Unable to read " + j_.Files[i], rc);
      cut = true;
      break;
    }
    if (tsCut) {
      for (auto w = waiting.rbegin(); w != waiting.rend(); ++w)
        if (w->first->stream_index == pkt->stream_index) {
          w->second = true;
          break;
        }
      waiting.emplace_back(av::NewPacket(), false);
      av_packet_move_ref(waiting.back().first.get(), pkt.get());
      // A stream that stops early (a subtitle) does not hold the rest up.
      while (going && !waiting.empty() && (waiting.front().second || waiting.size() > 512)) {
        going = step(waiting.front().first.get());
        waiting.pop_front();
      }
      continue;
    }
    if (last) {
      going = step(last.get());
      last.reset();
      if (!going) break;
    }
    if (fileSize > 0 && pkt->pos >= 0 && pkt->pos + pkt->size >= fileSize) {
      last = av::NewPacket();
      av_packet_move_ref(last.get(), pkt.get());
      continue;
    }
    going = step(pkt.get());
    av_packet_unref(pkt.get());
  }
  // The partial packets a cut transport stream ends with are not kept.
  if (tsCut && going) {
    for (auto& w : waiting)
      if (w.second && going) going = step(w.first.get());
    cut = true;
  }
  if (last && going && !cut) {
    if (LastPacketWhole(in, last.get()))
      going = step(last.get());
    else
      cut = true;
  } else if (last) {
    cut = true;  // the file ended in a read error after it: it is cut
  }
  return cut;
}

void TRemuxRun::JoinInput(size_t i, AVFormatContext* in, const TStreamFormats& formats) {
  const std::vector<int> map = MapStreams(i, in, formats);
  current_ = i;
  rewrite_ = i < j_.VideoRewrite.size() && j_.VideoRewrite[i] ? &j_.VideoRewrite[i] : nullptr;
  std::deque<av::PacketPtr> head;
  std::optional<TKeyFrameCut> cut;
  if (i < j_.Cuts.size() && (j_.Cuts[i].first > 0 || j_.Cuts[i].second >= 0))
    cut.emplace(in, j_.Cuts[i].first, j_.Cuts[i].second);
  const TReadPacket read = [&cut, in](AVPacket* pkt) { return cut ? cut->Read(pkt) : av_read_frame(in, pkt); };
  const THeadTimes h = ReadHead(in, read, map, outs_.size(), j_.Files[i], head);
  const int64_t start = h.Start;
  const TPlacing placed = Place(i, h);
  std::vector<int64_t> offsets(in->nb_streams, 0);
  for (unsigned s = 0; s < in->nb_streams; ++s)
    offsets[s] = av_rescale_q(placed.OffsetUs, kMicro, in->streams[s]->time_base);
  for (TOut& o : outs_) o.EndUs = INT64_MIN;
  const double chapterStart = i == 0 ? 0.0 : static_cast<double>(start + placed.OffsetUs) / AV_TIME_BASE;

  int64_t count = 0;
  const std::function<bool(AVPacket*)> step = [&](AVPacket* pkt) {
    const bool more = Write(pkt, in, map, offsets, placed.Continues);
    if (++count % 64 == 0) {
      // A damaged index may send the demuxer past the end of the file.
      const int64_t pos = in->pb ? std::clamp<int64_t>(avio_tell(in->pb), 0, SizeOf(j_.Files[i])) : 0;
      if (totalBytes_ > 0)
        progress_.SetProgress(std::min(100.0, 100.0 * static_cast<double>(doneBytes_ + pos) / totalBytes_));
    }
    return more && !loop_->Cancelled();
  };
  bool going = true;
  while (going && !head.empty()) {
    going = step(head.front().get());
    head.pop_front();
  }
  const bool shortened = CopyPackets(i, in, read, h.Eof, step, going, count);
  int64_t end = INT64_MIN;
  for (const TOut& o : outs_) end = std::max(end, o.EndUs);
  if (end == INT64_MIN) {
    if (!loop_->Cancelled()) throw Exception(FileLabel(i, j_.Files[i]) + "nothing of it could be read");
    return;
  }
  endUs_ = end;
  chapterTimes_.emplace_back(chapterStart, static_cast<double>(end) / AV_TIME_BASE);
  if (cut) {
    // Cut on purpose: where the cuts fell is said; a read error still is.
    for (const std::string& note : {cut->StartNote(), cut->EndNote()})
      if (!note.empty()) report_.Notes.push_back(FileLabel(i, j_.Files[i]) + note);
    if (going && shortened) CheckWhole(i, in, static_cast<double>(end - (start + placed.OffsetUs)) / AV_TIME_BASE, true);
  } else if (going) {
    CheckWhole(i, in, static_cast<double>(end - (start + placed.OffsetUs)) / AV_TIME_BASE, shortened);
  }
}

void TRemuxRun::CheckWhole(size_t i, const AVFormatContext* in, double read, bool cut) {
  const int64_t stated = StatedDuration(in);
  const double promised = static_cast<double>(stated) / AV_TIME_BASE;
  const bool incomplete = stated > 0 && read < promised - static_cast<double>(Slack(stated)) / AV_TIME_BASE;
  if (!incomplete && !cut) return;
  report_.Notes.push_back(DamagedNote(i, j_.Files[i], read, stated > 0 ? promised : 0));
  report_.Damaged = true;
}

bool TRemuxRun::Write(AVPacket* pkt, AVFormatContext* in, const std::vector<int>& map,
                      const std::vector<int64_t>& offsets, bool continues) {
  const int si = pkt->stream_index;
  if (si < 0 || si >= static_cast<int>(map.size()) || map[si] < 0) return true;
  if (!chapterTimes_.empty() && (pkt->flags & AV_PKT_FLAG_DISCARD)) {
    // Packets an edit list hides at the start of a later file: its encoder
    // delay, which overlaps the end of the file before it; but in the next
    // piece of one recording they are the sound that follows on, and what
    // would be skipped of them no longer is.
    if (!continues) return true;
  }
  size_t size = 0;
  uint8_t* skip = av_packet_get_side_data(pkt, AV_PKT_DATA_SKIP_SAMPLES, &size);
  if (continues && skip && size >= 4) AV_WL32(skip, 0);  // samples to skip at the start
  // Samples dropped at the end (Matroska's DiscardPadding): the sound ends
  // before the packet does, and the next file follows on from there.
  const int64_t padding = skip && size >= 8 ? AV_RL32(skip + 4) : 0;
  TOut& o = outs_[static_cast<size_t>(map[si])];
  if (rewrite_ && o.Type == AVMEDIA_TYPE_VIDEO) {
    rewritten_.clear();
    if (!(*rewrite_)(pkt->data, static_cast<size_t>(pkt->size), rewritten_))
      throw Exception("Unable to give the video of " + j_.Files[static_cast<size_t>(current_)] + " ids of its own");
    av::PacketPtr turned = av::NewPacket();
    if (av_new_packet(turned.get(), static_cast<int>(rewritten_.size())) < 0) throw Exception("Out of memory");
    std::copy(rewritten_.begin(), rewritten_.end(), turned->data);
    av_packet_copy_props(turned.get(), pkt);
    av_packet_unref(pkt);
    av_packet_move_ref(pkt, turned.get());
  }
  if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += offsets[si];
  if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += offsets[si];
  av_packet_rescale_ts(pkt, in->streams[si]->time_base, o.St->time_base);
  // Past the head a demuxer may still leave a decoding time unset: the
  // next one after the last, as the muxer would guess it.
  if (pkt->dts == AV_NOPTS_VALUE && o.LastDts != AV_NOPTS_VALUE) {
    pkt->dts = o.LastDts + 1;
    if (pkt->pts != AV_NOPTS_VALUE) pkt->dts = std::max(pkt->dts, std::min(pkt->pts, o.LastDts + std::max<int64_t>(pkt->duration, 1)));
  }
  // The last resort for a file whose own decoding times go back.
  if (pkt->dts != AV_NOPTS_VALUE && o.LastDts != AV_NOPTS_VALUE && pkt->dts <= o.LastDts) {
    pkt->dts = o.LastDts + 1;
    if (pkt->pts != AV_NOPTS_VALUE && pkt->pts < pkt->dts) pkt->pts = pkt->dts;
  }
  if (pkt->dts != AV_NOPTS_VALUE) o.LastDts = pkt->dts;
  const int64_t pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
  if (pts != AV_NOPTS_VALUE) {
    const AVRational tb = o.St->time_base;
    const int rate = o.St->codecpar->sample_rate;
    const int64_t end = av_rescale_q(pts + std::max<int64_t>(pkt->duration, 0), tb, kMicro) -
                        (rate > 0 ? av_rescale(padding, 1000000, rate) : 0);
    o.EndUs = std::max(o.EndUs, end);
    const int64_t us = av_rescale_q(pts, tb, kMicro);
    firstUs_ = firstUs_ == AV_NOPTS_VALUE ? us : std::min(firstUs_, us);
  }
  ++o.Packets;
  if (o.Delay != 0) {
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += o.Delay;
    if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += o.Delay;
  }
  pkt->stream_index = o.St->index;
  pkt->pos = -1;
  const int rc = av_interleaved_write_frame(out_.get(), pkt);
  if (rc < 0) av::Fail("Unable to write " + j_.OutputFileName, rc);
  return true;
}

void TRemuxRun::Finish() {
  AVFormatContext* oc = out_.get();
  // Chapters go in with the trailer, when the times are known: Matroska
  // and the QuickTime muxer both write them there (QuickTime as a chapter
  // text track and, in MP4, as a "chpl" list too).
  if (j_.Chapters) {
    for (size_t i = 0; i < chapterTimes_.size(); ++i) {
      AVChapter* c = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
      if (!c || av_dynarray_add_nofree(&oc->chapters, reinterpret_cast<int*>(&oc->nb_chapters), c) < 0) {
        av_free(c);
        throw Exception("Out of memory");
      }
      c->id = static_cast<int64_t>(i) + 1;
      c->time_base = {1, 1000};
      c->start = static_cast<int64_t>(chapterTimes_[i].first * 1000 + 0.5);
      c->end = static_cast<int64_t>(chapterTimes_[i].second * 1000 + 0.5);
      const std::string& named = i < j_.Titles.size() ? j_.Titles[i] : j_.Files[i];
      av_dict_set(&c->metadata, "title", Title(named).c_str(), 0);
    }
  }
  int rc = av_write_trailer(oc);
  if (rc < 0) av::Fail("Unable to write " + j_.OutputFileName, rc);
  rc = avio_closep(&oc->pb);
  if (rc < 0) av::Fail("Unable to write " + j_.OutputFileName, rc);

  TRemuxWritten written;
  for (const TOut& o : outs_) {
    written.Packets.push_back(o.Packets);
    if (o.Type == AVMEDIA_TYPE_VIDEO) report_.VideoPackets += o.Packets;
    else if (o.Type == AVMEDIA_TYPE_AUDIO) report_.AudioPackets += o.Packets;
    else report_.OtherPackets += o.Packets;
  }
  const int64_t first = firstUs_ == AV_NOPTS_VALUE ? 0 : firstUs_;
  report_.Duration = static_cast<double>(std::max<int64_t>(endUs_ - std::min<int64_t>(first, endUs_), 0)) / AV_TIME_BASE;
  written.Duration = report_.Duration;
  out_.reset();
  // An output that lacks what its inputs promised is never called checked;
  // one stopped before its first packet has nothing to check.
  if (report_.VideoPackets + report_.AudioPackets + report_.OtherPackets > 0)
    report_.Verified = VerifyRemuxOutput(j_.OutputFileName, written, j_.VerifyFully) && !report_.Damaged;
}

}  // namespace

TRemuxReport TRemuxJoiner::Run(IProgress& progress) {
  if (Files.empty()) throw Exception("There are no files to join");
  if (Muxer.empty()) throw Exception("The container to write is not known");
  TRemuxRun run(*this, progress);
  // A container's index is written at its end: whatever failed, the file
  // cannot be finished.
  TJoinLoop::Guarded(
      OutputFileName, [&] { run.Execute(); }, [&] { run.Abandon(); }, [] { return true; });
  return run.Report();
}

}  // namespace vantrel
