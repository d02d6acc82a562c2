// Flash-and-beep inputs and the sync measurer.
#include "support/SyncMeasure.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>

#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

// Flashes and beeps at 0.6 s and 1.6 s of every 3 s, and one per second
// after that: "mod(t, 1) in [0.6, 0.64)" from 0.6 s on.
const char* kWhen = "gte(T,0.6)*lt(mod(T,1),0.64)*gte(mod(T,1),0.6)";

std::string At(const std::string& var) {
  std::string s = kWhen;
  for (size_t p; (p = s.find('T')) != std::string::npos;) s.replace(p, 1, var);
  return s;
}

std::vector<double> Numbers(const std::string& text) {
  std::vector<double> v;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    v.push_back(line.find("N/A") != std::string::npos ? std::numeric_limits<double>::quiet_NaN()
                                                       : std::strtod(line.c_str(), nullptr));
  }
  return v;
}

}  // namespace

std::string FlashBeep::VideoInput() const {
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "-f lavfi -i \"color=c=black:s=%dx%d:r=25:d=%g,format=yuv420p,"
                "drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='%s'\"",
                width, height, seconds, At("t").c_str());
  return buf;
}

std::string FlashBeep::AudioInput() const {
  // The sound's own clock starts audioDelay into the clip.
  char shifted[32];
  std::snprintf(shifted, sizeof shifted, "(t+%g)", audioDelay);
  const std::string e = "0.5*sin(2*PI*1000*t)*" + At(shifted);
  char buf[512];
  std::snprintf(buf, sizeof buf, "%s-f lavfi -i \"aevalsrc=exprs='%s|%s':c=stereo:s=%d:d=%g\"",
                audioDelay > 0 ? ("-itsoffset " + std::to_string(audioDelay) + " ").c_str() : "", e.c_str(),
                e.c_str(), sampleRate, audioSeconds - audioDelay);
  return buf;
}

SyncReading MeasureSync(const std::string& file) {
  SyncReading r;
  // Video: every decoded frame's time and its mean brightness, frames as
  // decoded (no frame-rate conversion).
  CommandResult times = Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                             "frame=best_effort_timestamp_time", "-of", "csv=p=0", file});
  CommandResult pixels = Run({"ffmpeg", "-v", "error", "-i", file, "-map", "0:v:0", "-fps_mode", "passthrough", "-vf",
                              "scale=16:16,format=gray", "-f", "rawvideo", "-"});
  std::vector<double> t = Numbers(times.out);
  const size_t frames = pixels.out.size() / 256;
  if (times.exitCode != 0 || pixels.exitCode != 0 || frames == 0 || frames != t.size()) {
    r.problem = "video frames: " + std::to_string(t.size()) + " times, " + std::to_string(frames) + " pictures " +
                times.err + pixels.err;
    return r;
  }
  bool inFlash = false;
  double last = 0;
  for (size_t i = 0; i < frames; ++i) {
    // Time stamps missing (MPEG program streams): one frame after the last.
    if (std::isnan(t[i])) t[i] = i > 0 ? t[i - 1] + 0.04 : 0;
    long sum = 0;
    for (size_t k = 0; k < 256; ++k) sum += static_cast<unsigned char>(pixels.out[i * 256 + k]);
    const bool white = sum / 256 > 128;
    if (white && !inFlash) r.flashes.push_back(t[i]);
    inFlash = white;
    last = t[i];
  }
  (void)last;
  // Sound: mono 8 kHz, on its time stamps from 0, every gap or overlap of
  // more than 5 ms filled or cut, as a player that follows them places it.
  CommandResult pcm = Run({"ffmpeg", "-v", "error", "-copyts", "-i", file, "-map", "0:a:0", "-af",
                           "aresample=8000:async=1:min_hard_comp=0.005:first_pts=0", "-ac", "1", "-f", "s16le",
                           "-"});
  if (pcm.exitCode != 0) {
    r.problem = "sound: " + pcm.err;
    return r;
  }
  const size_t n = pcm.out.size() / 2;
  std::vector<int16_t> s(n);
  std::memcpy(s.data(), pcm.out.data(), n * 2);
  int peak = 0;
  for (int16_t x : s) peak = std::max(peak, std::abs(static_cast<int>(x)));
  const int threshold = std::max(1000, peak / 4);
  size_t quiet = 800;  // 100 ms below the threshold before an onset
  for (size_t i = 0; i < n; ++i) {
    if (std::abs(static_cast<int>(s[i])) > threshold) {
      if (quiet >= 800) r.beeps.push_back(static_cast<double>(i) / 8000);
      quiet = 0;
    } else {
      ++quiet;
    }
  }
  // With -copyts the video's times are the container's too: both on one clock.
  return r;
}

std::vector<double> SyncOffsets(const std::string& file, std::string* problem) {
  SyncReading r = MeasureSync(file);
  if (problem) *problem = r.problem;
  std::vector<double> offsets;
  if (!r.problem.empty()) return offsets;
  for (double f : r.flashes) {
    double best = std::numeric_limits<double>::quiet_NaN();
    for (double b : r.beeps)
      if (std::abs(b - f) < 0.5 && (std::isnan(best) || std::abs(b - f) < std::abs(best))) best = b - f;
    offsets.push_back(best);
  }
  return offsets;
}

}  // namespace vantrel::test
