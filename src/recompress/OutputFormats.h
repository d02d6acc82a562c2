// The files a recompressing join writes, chosen by the output's extension:
// AVI with the compressors of the user's choice (the join options dialog's
// lists), and the containers people share today with encoders that suit
// them: MP4 and QuickTime, Matroska, WebM.
#pragma once

#include <string>
#include <vector>

namespace vantrel {

struct TRecompressFormat {
  std::string Muxer;                    // libavformat's name: "avi", "mp4", "mov", "matroska", "webm"
  std::string Shown;                    // "AVI", "MP4", "QuickTime", "Matroska", "WebM"
  std::vector<std::string> Extensions;  // the first is the one proposed
  // The encoders it holds, the default first where present; empty for AVI,
  // whose compressors are the catalogue's.
  std::vector<std::string> VideoEncoders, AudioEncoders;
  int SampleRate = 48000;
  bool Chapters = false;  // one per input, named after the file
  bool Avi() const { return Muxer == "avi"; }
};

// Every format, AVI first.
const std::vector<TRecompressFormat>& RecompressFormats();
// The format an output's name asks for by its extension (any case); AVI
// for a name without one; null for an extension it does not write.
const TRecompressFormat* RecompressFormatOfFileName(const std::string& outputFileName);
// By muxer name or extension ("mp4", ".mkv", "matroska"); null when none.
const TRecompressFormat* RecompressFormatNamed(const std::string& name);
// ".avi, .mp4, .m4v, .mov, .mkv and .webm": what the recompressing join writes.
std::string RecompressExtensionsText();

// The format's encoders of a kind that this machine has, default first.
std::vector<std::string> AvailableEncoders(const TRecompressFormat& format, bool audio);
// The encoder a join into the format uses when none is named; empty when
// the machine has none of the format's (or for AVI).
std::string DefaultEncoder(const TRecompressFormat& format, bool audio);

}  // namespace vantrel
