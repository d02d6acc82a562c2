// This machine's encoders, from the media framework.
#include "job/Encoders.h"

#include <algorithm>

#include "recompress/EncoderSetup.h"

namespace vantrel {

namespace {

class TMachineEncoders final : public IEncoderCatalog {
 public:
  const TCompressorList& AviCompressors(bool audio) const override {
    // Listed once: the catalogue test-opens every encoder.
    static const TCompressorList video = List(false), sound = List(true);
    return audio ? sound : video;
  }
  std::vector<std::string> Available(TContainerId container, bool audio) const override {
    const TContainer& c = ContainerOf(container);
    std::vector<std::string> out;
    for (const std::string& e : audio ? c.AudioEncoders : c.VideoEncoders)
      if (EncoderFitsMuxer(e, c.RecompressMuxer)) out.push_back(e);
    return out;
  }
  bool Has(const std::string& encoder) const override { return MakeCompressorFilter(encoder) != nullptr; }
  std::string FrameSizeProblem(const std::string& encoder, int width, int height) const override {
    return vantrel::FrameSizeProblem(encoder, width, height);
  }

 private:
  static TCompressorList List(bool audio) {
    TCompressorList list;
    EnumCompressors(audio, &list.Names, &list.Encoders);
    return list;
  }
};

}  // namespace

const IEncoderCatalog& MachineEncoders() {
  static const TMachineEncoders encoders;
  return encoders;
}

std::vector<TEncoderOption> EncoderSettings(const std::string& encoder) { return DescribeEncoderOptions(encoder); }

std::map<std::string, std::string> StoredEncoderOptions(const std::string& encoder) {
  return CompressorOptionStore().Get(encoder);
}

void StoreEncoderOptions(const std::string& encoder, const std::map<std::string, std::string>& values) {
  CompressorOptionStore().Set(encoder, values);
}

void KeepEncoderOptionsIn(std::shared_ptr<ICompressorOptionStore> store) { SetCompressorOptionStore(std::move(store)); }

}  // namespace vantrel
