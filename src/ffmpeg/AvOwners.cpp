// Error texts and object makers on FFmpeg.
#include "ffmpeg/AvOwners.h"

#include <cstring>

#include <sys/stat.h>

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

int OpenOutput(AVIOContext** pb, const std::string& fileName) {
  // An empty file (the hidden one a join writes first) is not truncated:
  // on ext4 that would flush everything written to it at its close.
  struct stat st;
  Dictionary options;
  if (::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
    av_dict_set(options.Address(), "truncate", "0", 0);
  return avio_open2(pb, FileUrl(fileName).c_str(), AVIO_FLAG_WRITE, nullptr, options.Address());
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

void ReplaceExtradata(AVCodecParameters* p, const std::vector<uint8_t>& bytes) {
  av_freep(&p->extradata);
  p->extradata_size = 0;
  p->extradata = static_cast<uint8_t*>(av_mallocz(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!p->extradata) throw Exception("Out of memory");
  if (!bytes.empty()) std::memcpy(p->extradata, bytes.data(), bytes.size());
  p->extradata_size = static_cast<int>(bytes.size());
}

}  // namespace vantrel::av
