#include "ffmpeg/MuxQuirks.h"

#include <string>

namespace vantrel::av {

int64_t MatroskaCodecDelay(const AVFormatContext* oc, const AVStream* st) {
  const std::string muxer = oc->oformat->name;
  if (muxer != "matroska" && muxer != "webm") return 0;
  if (avformat_version() >= AV_VERSION_INT(59, 31, 0)) return 0;
  const AVCodecParameters* p = st->codecpar;
  // The element is written for Opus only, from the padding counted at
  // 48 kHz as Opus counts it.
  if (p->codec_type != AVMEDIA_TYPE_AUDIO || p->codec_id != AV_CODEC_ID_OPUS || p->initial_padding <= 0) return 0;
  return av_rescale_q(p->initial_padding, AVRational{1, 48000}, st->time_base);
}

bool TransportStreamCutInsideAPacket(const AVFormatContext* in, int64_t fileSize) {
  if (!in->iformat || std::string(in->iformat->name) != "mpegts" || fileSize <= 0) return false;
  return fileSize % 188 != 0 && fileSize % 192 != 0 && fileSize % 204 != 0;
}

}  // namespace vantrel::av
