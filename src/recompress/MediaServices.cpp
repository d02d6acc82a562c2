// The render engine: two workers over the timeline, one muxer.
#include "recompress/MediaServices.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/Exceptions.h"
#include "recompress/AudioPath.h"
#include "recompress/Muxer.h"

namespace vantrel {
namespace {

std::vector<TTimelineSource> InTimelineOrder(std::vector<TTimelineSource> sources) {
  std::sort(sources.begin(), sources.end(),
            [](const TTimelineSource& a, const TTimelineSource& b) { return a.TStart < b.TStart; });
  return sources;
}

}  // namespace

struct TRenderEngine::Impl {
  TTimeline tl;
  std::string outFile;
  std::string container;
  std::shared_ptr<TCompressorFilter> vcomp, acomp;

  TMuxer muxer;
  AVRational fps{25, 1};
  int64_t totalFrames = 0;
  int64_t totalSamples = 0;
  int sampleRate = kOutputSampleRate;
  std::vector<TMuxer::TChapter> chapters;
  bool finished = false;

  std::thread vthread, athread;
  std::atomic<bool> stop{false};
  std::atomic<int64_t> framesDone{0};
  std::atomic<int64_t> samplesDone{0};

  std::mutex stateMutex;
  std::condition_variable stateCv;
  int running = 0;
  std::string error;

  void SetError(const std::string& e) {
    {
      std::lock_guard<std::mutex> lock(stateMutex);
      if (error.empty()) error = e;
      stop = true;
    }
    muxer.Wake();  // the sound may wait for a picture that will not come
  }

  void WorkerDone() {
    std::lock_guard<std::mutex> lock(stateMutex);
    --running;
    stateCv.notify_all();
  }

  void Open() {
    if (!(tl.OutputFPS > 0) || !std::isfinite(tl.OutputFPS)) throw Exception("The frame rate must be above 0");
    if (tl.Width <= 0 || tl.Height <= 0 || tl.Width > kMaxFrameSide || tl.Height > kMaxFrameSide)
      throw Exception("The frame size " + std::to_string(tl.Width) + "x" + std::to_string(tl.Height) +
                      " is not possible");
    fps = ExactFrameRate(tl.OutputFPS);
    sampleRate = tl.SampleRate > 0 ? tl.SampleRate : kOutputSampleRate;
    const double duration = tl.Duration();
    totalFrames = std::llround(duration * av_q2d(fps));
    totalSamples = std::llround(duration * sampleRate);
    muxer.FastStart = tl.FastStart;
    muxer.Open(outFile, container, tl.Width, tl.Height, fps, vcomp, acomp, sampleRate, tl.Channels);
    if (tl.Chapters) {
      // One per input, where its picture is on the timeline.
      for (const TTimelineSource& s : InTimelineOrder(tl.VideoTrack)) {
        std::string title = s.MediaName.substr(s.MediaName.rfind('/') + 1);
        const size_t dot = title.rfind('.');
        if (dot != std::string::npos && dot > 0) title.erase(dot);
        chapters.push_back({title, s.TStart, s.TStop});
      }
    }
  }

  void VideoWorker() {
    try {
      TVideoPath video(muxer, tl.Width, tl.Height, fps, stop, framesDone);
      const double rate = av_q2d(fps);
      int64_t n = 0;
      for (const TTimelineSource& s : InTimelineOrder(tl.VideoTrack)) {
        int64_t n0 = std::max(n, static_cast<int64_t>(std::llround(s.TStart * rate)));
        int64_t n1 = std::min(totalFrames, static_cast<int64_t>(std::llround(s.TStop * rate)));
        for (; n < n0; ++n) video.EmitBlack(n);
        if (n1 > n0) video.RenderSource(s, n0, n1);
        n = std::max(n, n1);
      }
      for (; n < totalFrames; ++n) video.EmitBlack(n);
      video.Finish();
    } catch (const TRenderStopped&) {
      // Stopped: what the encoder holds (H.264's look-ahead, up to a second
      // or two) still goes into the file, so that it holds every frame
      // rendered. After a failure there is nothing to save.
      bool failed;
      {
        std::lock_guard<std::mutex> lock(stateMutex);
        failed = !error.empty();
      }
      if (!failed) {
        try {
          muxer.EncodeVideo(nullptr);
        } catch (const std::exception& e) {
          SetError(e.what());
        }
      }
    } catch (const std::exception& e) {
      SetError(e.what());
    }
    WorkerDone();
  }

  void AudioWorker() {
    try {
      TAudioPath audio(muxer, totalSamples, stop, samplesDone);
      int64_t pos = 0;
      for (const TTimelineSource& s : InTimelineOrder(tl.AudioTrack)) {
        int64_t s0 = std::max(pos, static_cast<int64_t>(std::llround(s.TStart * sampleRate)));
        int64_t s1 = std::min(totalSamples, static_cast<int64_t>(std::llround(s.TStop * sampleRate)));
        // Spans without sound (an input without audio) hold silence, so
        // every later input keeps its place.
        if (s0 > pos) audio.Silence(s0 - pos);
        pos = s0;
        if (s1 > s0) {
          int64_t got = audio.RenderSource(s, s1 - s0);
          if (got < s1 - s0) audio.Silence(s1 - s0 - got);
          pos = s1;
        }
      }
      if (totalSamples > pos) audio.Silence(totalSamples - pos);
      audio.Finish();
    } catch (const TRenderStopped&) {
    } catch (const std::exception& e) {
      SetError(e.what());
    }
    WorkerDone();
  }
};

TRenderEngine::TRenderEngine(TTimeline timeline, std::string outputFile, std::shared_ptr<TCompressorFilter> video,
                             std::shared_ptr<TCompressorFilter> audio, std::string container)
    : impl_(std::make_unique<Impl>()) {
  impl_->container = std::move(container);
  impl_->tl = std::move(timeline);
  impl_->outFile = std::move(outputFile);
  impl_->vcomp = std::move(video);
  impl_->acomp = std::move(audio);
}

TRenderEngine::~TRenderEngine() {
  try {
    Stop();
    Finish();
  } catch (...) {
    // Destruction after a failure that was already reported.
  }
}

void TRenderEngine::Run() {
  impl_->Open();
  impl_->running = 2;
  impl_->vthread = std::thread([this] { impl_->VideoWorker(); });
  impl_->athread = std::thread([this] { impl_->AudioWorker(); });
}

bool TRenderEngine::WaitForCompletion(int ms) {
  std::unique_lock<std::mutex> lock(impl_->stateMutex);
  return impl_->stateCv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return impl_->running == 0; });
}

double TRenderEngine::CurrentPosition() const {
  double v = static_cast<double>(impl_->framesDone.load()) / av_q2d(impl_->fps);
  double a = static_cast<double>(impl_->samplesDone.load()) / impl_->sampleRate;
  return std::min(v, a);
}

void TRenderEngine::Stop() {
  impl_->stop = true;
  impl_->muxer.Wake();
  if (impl_->vthread.joinable()) impl_->vthread.join();
  if (impl_->athread.joinable()) impl_->athread.join();
}

bool TRenderEngine::OutputIncomplete() const { return impl_->muxer.WriteFailed(); }

bool TRenderEngine::Started() const { return impl_->muxer.HeaderWritten(); }

std::vector<uint8_t> TRenderEngine::VideoSets() const {
  const AVCodecContext* v = impl_->muxer.VideoEncoder();
  if (!v || !v->extradata || v->extradata_size <= 0) return {};
  return {v->extradata, v->extradata + v->extradata_size};
}

void TRenderEngine::Finish() {
  if (impl_->vthread.joinable()) impl_->vthread.join();
  if (impl_->athread.joinable()) impl_->athread.join();
  if (impl_->finished) return;
  impl_->finished = true;
  // A stopped render's chapters end where its picture does.
  const double end = static_cast<double>(impl_->framesDone.load()) / av_q2d(impl_->fps);
  std::vector<TMuxer::TChapter> chapters;
  for (TMuxer::TChapter c : impl_->chapters) {
    if (c.Start >= end) break;
    c.End = std::min(c.End, end);
    chapters.push_back(c);
  }
  impl_->muxer.SetChapters(std::move(chapters));
  std::string error = impl_->error;
  std::string closing = impl_->muxer.Finish();
  if (error.empty()) error = closing;
  if (!error.empty()) throw Exception(error);
}

}  // namespace vantrel
