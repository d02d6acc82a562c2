// The containers and codecs Vantrel knows, in one place: per container how
// a file of it is recognised, the muxer that writes it, the extensions that
// name it, whether it holds chapters, whether a stream copy writes it and a
// smart join copies it, and what a recompressing join puts in it; per codec
// its name in words and the encoder that makes it again. The probe, the
// plan, the dialog and the command line read it; nothing else lists
// containers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

enum class TContainerId : uint8_t {
  Unknown,
  Avi,
  Mpeg1,  // MPEG-1 system streams and MPEG video elementary streams
  MP4,
  QuickTime,
  ThreeGP,
  Matroska,
  WebM,
  MpegTs,
  MpegPs,
  Flv,
  // Read, never written.
  Ogg,
  Dv,
  Asf,
  RawH264,
  RawHevc,
  Wave,
  Mp3,
  Ivf,
  Nut,
  RealMedia,
  MpegVideo,  // an MPEG video elementary stream other than MPEG-1's
};

struct TContainer {
  TContainerId Id = TContainerId::Unknown;
  // As the file list shows it ("MP4", "QuickTime", "Matroska").
  const char* Name = "";
  // In the messages of a join without recompression ("MOV" for QuickTime).
  const char* Shown = "";
  // How the probe tells it: FFmpeg's demuxer name, and for demuxers of
  // several containers the MP4 major brand's start or the EBML DocType
  // (empty: any).
  const char* Demuxer = "";
  const char* Brand = "";
  const char* DocType = "";
  // The muxer a stream copy writes it with; empty: no stream copy writes
  // it (AVI and MPEG-1 have joiners of their own).
  const char* CopyMuxer = "";
  // The muxer a recompressing join writes it with; empty: not written by
  // recompression.
  const char* RecompressMuxer = "";
  // The extensions that name it, lower case with the dot; the first is
  // proposed. The first Named are its own; the rest are other names users
  // give such files (.mts for a transport stream), which a copy writes but
  // a recompressing join does not take.
  std::vector<std::string> Extensions;
  size_t Named = 1;
  bool Chapters = false;   // a chapter per input
  bool SmartCopy = false;  // a smart join copies files of it
  // What a recompressing join puts in it: the encoders it takes, the
  // default first (empty for AVI, whose compressors are the catalogue's),
  // and the sound's sample rate.
  std::vector<std::string> VideoEncoders, AudioEncoders;
  int SampleRate = 48000;

  bool Copies() const { return *CopyMuxer != '\0'; }
  bool Recompresses() const { return *RecompressMuxer != '\0'; }
  bool IsAvi() const { return Id == TContainerId::Avi; }
};

// Every container, AVI first.
const std::vector<TContainer>& Containers();
const TContainer& ContainerOf(TContainerId id);
// The container a probed file is, from FFmpeg's demuxer name, the MP4
// major brand and the Matroska DocType; null when none listed.
const TContainer* ContainerOfDemuxer(const std::string& demuxer, const std::string& brand, const std::string& docType);
// The container an output's name asks for by its extension (any case);
// null for a name without one or an extension none has.
const TContainer* ContainerOfFileName(const std::string& fileName);
// What a recompressing join writes for an output's name: AVI for a name
// without an extension; null for an extension it does not write.
const TContainer* RecompressContainerOfFileName(const std::string& fileName);
// By muxer name, extension (with or without the dot) or name, any case
// ("mp4", ".mkv", "matroska"); null when none.
const TContainer* ContainerNamed(const std::string& name);
// ".avi, .mp4, .m4v, .mov, .mkv and .webm": what recompression writes.
std::string RecompressExtensionsText();
// "MP4, MOV, Matroska, WebM, MPEG-TS, MPEG-PS or FLV": what a stream copy
// of containers takes, joined by the word given.
std::string CopyContainersText(const char* lastJoin = "or");

struct TCodec {
  const char* Name = "";   // FFmpeg's codec name: "h264", "aac"
  const char* Shown = "";  // "H.264", "AAC"
  bool Audio = false;
  // The encoders that make it again for a smart join, the first present
  // on the machine is used; empty: a smart join does not encode it.
  std::vector<std::string> Encoders;
};
const TCodec* CodecNamed(const std::string& name);

// The output formats the join options dialog offers, AVI (with the
// compressor lists) first; those whose pair of encoders the machine lacks
// are left out there.
struct TRecompressChoice {
  const char* Label;
  TContainerId Container;
  const char* Video;  // empty: the compressor lists
  const char* Audio;
};
const std::vector<TRecompressChoice>& RecompressChoices();

}  // namespace vantrel
