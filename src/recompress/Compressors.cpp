// Compressor enumeration and options on libavcodec.
#include "recompress/Compressors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include "recompress/EncoderSetup.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace vantrel {
namespace {

// Encoders that wrap a hardware device; they fail without it.
bool IsHardwareWrapper(const AVCodec* c) {
  if (c->capabilities & AV_CODEC_CAP_HARDWARE) return true;
  static const char* const kSuffixes[] = {"_vaapi", "_nvenc", "_qsv", "_v4l2m2m", "_omx", "_amf",
                                          "_vulkan", "_mf", "_videotoolbox", "_mediacodec", "_cuvid", "_rkmpp"};
  std::string name = c->name;
  for (const char* s : kSuffixes)
    if (name.size() > std::strlen(s) && name.compare(name.size() - std::strlen(s), std::string::npos, s) == 0)
      return true;
  return false;
}

// Stderr goes nowhere for the object's life (the libraries' own messages).
class TQuietStderr {
 public:
  TQuietStderr() : saved_(::dup(STDERR_FILENO)) {
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
    if (null >= 0) ::close(null);
  }
  ~TQuietStderr() {
    if (saved_ >= 0) {
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
    }
  }
  TQuietStderr(const TQuietStderr&) = delete;
  TQuietStderr& operator=(const TQuietStderr&) = delete;

 private:
  int saved_;
};

struct Entry {
  std::string name;
  std::string encoder;
};

const std::vector<Entry>& Catalogue(bool audio) {
  static std::once_flag once;
  static std::vector<Entry> video, sound;
  std::call_once(once, [] {
    // An encoder that does not open says why on the log, some libraries on
    // stderr itself; the list only leaves it out.
    av_log_set_level(AV_LOG_QUIET);
    TQuietStderr quiet;
    const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
    void* it = nullptr;
    while (const AVCodec* c = av_codec_iterate(&it)) {
      if (!av_codec_is_encoder(c)) continue;
      if (c->type != AVMEDIA_TYPE_VIDEO && c->type != AVMEDIA_TYPE_AUDIO) continue;
      if (c->capabilities & AV_CODEC_CAP_EXPERIMENTAL) continue;
      if (IsHardwareWrapper(c)) continue;
      if (!avi || avformat_query_codec(avi, c->id, FF_COMPLIANCE_NORMAL) != 1) continue;
      // Without a pixel or sample format list the pipeline cannot feed it.
      if (c->type == AVMEDIA_TYPE_VIDEO && !c->pix_fmts) continue;
      if (c->type == AVMEDIA_TYPE_AUDIO && !c->sample_fmts) continue;
      // Only what starts as a join starts it (DV, H.261 and H.263 want
      // fixed frame sizes, G.722 or GSM other sound): test-opened once.
      if (!EncoderOpens(c)) continue;
      Entry e{std::string(c->long_name ? c->long_name : c->name) + " (" + c->name + ")", c->name};
      (c->type == AVMEDIA_TYPE_AUDIO ? sound : video).push_back(e);
    }
    auto byName = [](const Entry& a, const Entry& b) { return a.name < b.name; };
    std::sort(video.begin(), video.end(), byName);
    std::sort(sound.begin(), sound.end(), byName);
  });
  return audio ? sound : video;
}

class TMemoryOptionStore final : public ICompressorOptionStore {
 public:
  std::map<std::string, std::string> Get(const std::string& encoder) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = values_.find(encoder);
    return it == values_.end() ? std::map<std::string, std::string>() : it->second;
  }
  void Set(const std::string& encoder, const std::map<std::string, std::string>& values) override {
    std::lock_guard<std::mutex> lock(mutex_);
    values_[encoder] = values;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::map<std::string, std::string>> values_;
};

std::shared_ptr<ICompressorOptionStore>& StoreSlot() {
  static std::shared_ptr<ICompressorOptionStore> store = std::make_shared<TMemoryOptionStore>();
  return store;
}

}  // namespace

void EnumCompressors(bool audio, std::vector<std::string>* names, std::vector<TMoniker>* monikers) {
  for (const Entry& e : Catalogue(audio)) {
    if (names) names->push_back(e.name);
    if (monikers) monikers->push_back(e.encoder);
  }
}

std::shared_ptr<TCompressorFilter> MakeCompressorFilter(const std::string& encoderName) {
  if (encoderName.empty() || !avcodec_find_encoder_by_name(encoderName.c_str())) return nullptr;
  auto f = std::make_shared<TCompressorFilter>();
  f->EncoderName = encoderName;
  return f;
}

bool EncoderFitsMuxer(const std::string& encoderName, const std::string& muxer) {
  const AVCodec* c = avcodec_find_encoder_by_name(encoderName.c_str());
  const AVOutputFormat* format = av_guess_format(muxer.c_str(), nullptr, nullptr);
  return c && format && avformat_query_codec(format, c->id, FF_COMPLIANCE_NORMAL) == 1;
}

std::shared_ptr<TCompressorFilter> GetCompressorFilter(const std::vector<TMoniker>& monikers, int index) {
  if (index < 0 || index >= static_cast<int>(monikers.size())) return nullptr;
  auto f = MakeCompressorFilter(monikers[static_cast<size_t>(index)]);
  if (f) f->Options = CompressorOptionStore().Get(f->EncoderName);
  return f;
}

std::vector<TEncoderOption> DescribeEncoderOptions(const std::string& encoderName) {
  std::vector<TEncoderOption> out;
  const AVCodec* c = avcodec_find_encoder_by_name(encoderName.c_str());
  if (!c) return out;
  // Encoders without a tunable rate (PCM, raw and lossless-only formats)
  // have nothing to offer.
  const AVCodecDescriptor* desc = avcodec_descriptor_get(c->id);
  if (c->id == AV_CODEC_ID_RAWVIDEO || (c->id >= AV_CODEC_ID_FIRST_AUDIO && c->id < AV_CODEC_ID_ADPCM_IMA_QT) ||
      (desc && (desc->props & AV_CODEC_PROP_LOSSLESS) && !(desc->props & AV_CODEC_PROP_LOSSY)))
    return out;
  const bool video = c->type == AVMEDIA_TYPE_VIDEO;
  TEncoderOption rate;
  rate.Key = "b";
  rate.Label = "Bit rate (bits per second)";
  rate.Min = video ? 16000 : 8000;
  rate.Max = video ? 100000000 : 640000;
  rate.Default = video ? "1000000" : "128000";
  out.push_back(rate);
  const AVClass* priv = c->priv_class;
  const AVOption* crf = priv ? av_opt_find2(&priv, "crf", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ, nullptr) : nullptr;
  if (crf) {
    TEncoderOption o;
    o.Key = "crf";
    o.Label = "Constant rate factor (lower is better)";
    o.Type = TEncoderOption::Real;
    o.Min = std::max(0.0, crf->min);
    o.Max = std::min(63.0, crf->max);
    o.Default = "23";
    out.push_back(o);
  } else if (video) {
    TEncoderOption o;
    o.Key = "quality";
    o.Label = "Fixed quality (1 best .. 31 worst; 0: 3, or the bit rate when one is set)";
    o.Min = 0;
    o.Max = 31;
    o.Default = "0";
    out.push_back(o);
  }
  if (video) {
    TEncoderOption g;
    g.Key = "g";
    g.Label = "Key-frame interval (frames)";
    g.Min = 1;
    g.Max = 600;
    g.Default = "250";
    out.push_back(g);
  }
  const AVOption* preset = priv ? av_opt_find2(&priv, "preset", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ, nullptr) : nullptr;
  if (preset && preset->type == AV_OPT_TYPE_STRING && std::strstr(c->name, "264")) {
    TEncoderOption p;
    p.Key = "preset";
    p.Label = "Preset";
    p.Type = TEncoderOption::Choice;
    p.Choices = {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow", "slower", "veryslow"};
    p.Default = "medium";
    out.push_back(p);
  }
  return out;
}

void SetCompressorOptionStore(std::shared_ptr<ICompressorOptionStore> store) {
  StoreSlot() = store ? std::move(store) : std::make_shared<TMemoryOptionStore>();
}

ICompressorOptionStore& CompressorOptionStore() { return *StoreSlot(); }

}  // namespace vantrel
