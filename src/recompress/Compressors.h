// The compressors a recompressing join can use: libavcodec's encoders that
// the AVI muxer accepts and that work on this machine, their main options,
// and a per-encoder store of chosen option values.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

// A compressor's persistent reference is its encoder name.
using TMoniker = std::string;

// Appends the compressors of one kind, as "<long name> (<encoder name>)",
// sorted by that name. Either list may be null.
void EnumCompressors(bool audio, std::vector<std::string>* names, std::vector<TMoniker>* monikers);

// A compressor instance: the encoder and the option values it was made with.
struct TCompressorFilter {
  std::string EncoderName;
  std::map<std::string, std::string> Options;
};

// A new instance for the entry at index, with the stored option values of
// its encoder; null for -1, an out-of-range index or an empty entry.
std::shared_ptr<TCompressorFilter> GetCompressorFilter(const std::vector<TMoniker>& monikers, int index);
// A new instance by encoder name, without options (a join gives its own),
// or null when there is no such encoder.
std::shared_ptr<TCompressorFilter> MakeCompressorFilter(const std::string& encoderName);

// True when this machine has the encoder and the muxer (libavformat's name)
// takes what it makes.
bool EncoderFitsMuxer(const std::string& encoderName, const std::string& muxer);

// One of an encoder's main options, for a settings dialog.
struct TEncoderOption {
  enum Kind { Integer, Real, Choice };
  std::string Key;    // the value's name in the store ("b", "g", "quality", "crf", "preset")
  std::string Label;  // shown to the user
  Kind Type = Integer;
  double Min = 0;
  double Max = 0;
  std::string Default;
  std::vector<std::string> Choices;  // for Choice
};
// The main options of an encoder (bit rate, quality or constant-rate
// factor, key-frame interval, preset), those it has; empty when none.
std::vector<TEncoderOption> DescribeEncoderOptions(const std::string& encoderName);

// Chosen option values per encoder. Every later instance of an encoder takes
// them, the join's included. The default store lives in memory; the desktop
// application installs one kept in its settings.
class ICompressorOptionStore {
 public:
  virtual ~ICompressorOptionStore() = default;
  virtual std::map<std::string, std::string> Get(const std::string& encoderName) = 0;
  virtual void Set(const std::string& encoderName, const std::map<std::string, std::string>& values) = 0;
};
void SetCompressorOptionStore(std::shared_ptr<ICompressorOptionStore> store);
ICompressorOptionStore& CompressorOptionStore();

}  // namespace vantrel
