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

namespace {

// What a context reading one of our files holds: the file and where the
// demuxer is in it.
struct TFileSource {
  TFile File;
  int64_t Position = 0;
  int64_t Size = -1;

  static int Read(void* opaque, uint8_t* buf, int size) {
    auto* s = static_cast<TFileSource*>(opaque);
    if (size <= 0) return 0;
    size_t n = 0;
    try {
      n = s->File.ReadAt(buf, static_cast<size_t>(size), s->Position);
    } catch (const EOSError& e) {
      return AVERROR(e.Code() > 0 ? e.Code() : EIO);
    }
    if (n == 0) return AVERROR_EOF;
    s->Position += static_cast<int64_t>(n);
    return static_cast<int>(n);
  }

  static int64_t Seek(void* opaque, int64_t offset, int whence) {
    auto* s = static_cast<TFileSource*>(opaque);
    // The size as it is now: a file that grows or shrinks is read as it is.
    if (whence & AVSEEK_SIZE) {
      try {
        return s->File.Size();
      } catch (const EOSError& e) {
        return AVERROR(e.Code() > 0 ? e.Code() : EIO);
      }
    }
    whence &= ~AVSEEK_FORCE;
    int64_t to = offset;
    if (whence == SEEK_CUR) to = s->Position + offset;
    else if (whence == SEEK_END) {
      try {
        to = s->File.Size() + offset;
      } catch (const EOSError& e) {
        return AVERROR(e.Code() > 0 ? e.Code() : EIO);
      }
    } else if (whence != SEEK_SET) {
      return AVERROR(EINVAL);
    }
    if (to < 0) return AVERROR(EINVAL);
    s->Position = to;
    return to;
  }
};

constexpr int kIoBuffer = 64 * 1024;

}  // namespace

void FreeFileReader(AVIOContext* io) {
  delete static_cast<TFileSource*>(io->opaque);
  av_freep(&io->buffer);
  avio_context_free(&io);
}

void InputDeleter::operator()(AVFormatContext* c) const {
  AVIOContext* ours = c && (c->flags & AVFMT_FLAG_CUSTOM_IO) ? c->pb : nullptr;
  avformat_close_input(&c);
  if (ours) FreeFileReader(ours);
}

AVFormatContext* NewFileInput(TFile file) {
  auto source = std::make_unique<TFileSource>();
  source->File = std::move(file);
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBuffer));
  if (!buffer) throw Exception("Out of memory");
  AVIOContext* io = avio_alloc_context(buffer, kIoBuffer, 0, source.get(), &TFileSource::Read, nullptr,
                                       &TFileSource::Seek);
  if (!io) {
    av_free(buffer);
    throw Exception("Out of memory");
  }
  AVFormatContext* c = avformat_alloc_context();
  if (!c) {
    av_freep(&io->buffer);
    avio_context_free(&io);
    throw Exception("Out of memory");
  }
  source.release();  // the context's reader owns it now
  c->pb = io;
  c->flags |= AVFMT_FLAG_CUSTOM_IO;
  return c;
}

InputPtr OpenInput(const std::string& fileName) {
  TFile file;
  try {
    file = TFile::OpenRead(fileName);
  } catch (const EOSError& e) {
    Fail("Unable to open " + fileName, AVERROR(e.Code()));
  }
  return OpenInput(std::move(file), fileName);
}

InputPtr OpenInput(TFile file, const std::string& fileName) {
  AVFormatContext* raw = NewFileInput(std::move(file));
  // On failure avformat_open_input frees the context, not our reader.
  AVIOContext* io = raw->pb;
  int rc = avformat_open_input(&raw, fileName.c_str(), nullptr, nullptr);
  if (rc < 0) {
    FreeFileReader(io);
    Fail("Unable to open " + fileName, rc);
  }
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
