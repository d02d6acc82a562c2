// Error texts and object makers on FFmpeg.
#include "ffmpeg/AvOwners.h"

#include "base/Exceptions.h"

namespace vantrel::av {

std::string ErrorText(int code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buf, sizeof buf);
  return buf;
}

void Fail(const std::string& what, int code) { throw Exception(what + ": " + ErrorText(code)); }

FramePtr NewFrame() {
  FramePtr f(av_frame_alloc());
  if (!f) throw Exception("Out of memory");
  return f;
}

PacketPtr NewPacket() {
  PacketPtr p(av_packet_alloc());
  if (!p) throw Exception("Out of memory");
  return p;
}

InputPtr OpenInput(const std::string& fileName) {
  AVFormatContext* raw = nullptr;
  int rc = avformat_open_input(&raw, FileUrl(fileName).c_str(), nullptr, nullptr);
  if (rc < 0) Fail("Unable to open " + fileName, rc);
  InputPtr fmt(raw);
  rc = avformat_find_stream_info(raw, nullptr);
  if (rc < 0) Fail("Unable to read " + fileName, rc);
  return fmt;
}

}  // namespace vantrel::av
