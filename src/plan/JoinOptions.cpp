// Join options logic.
#include "plan/JoinOptions.h"

#include "base/Exceptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vantrel {

int AddFrameRate(std::vector<std::string>& list, double rate, char decimalSeparator) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", rate);
  std::string text = buf;
  for (char& ch : text)
    if (ch == '.') ch = decimalSeparator;
  auto it = std::find(list.begin(), list.end(), text);
  if (it != list.end()) return static_cast<int>(it - list.begin());
  list.push_back(text);
  return static_cast<int>(list.size()) - 1;
}

TFrameRateItems FillFrameRates(const std::vector<const TVideoFileInfo*>& files, char decimalSeparator) {
  TFrameRateItems r;
  for (size_t i = 0; i < files.size(); ++i) {
    AddFrameRate(r.Items, files[i]->FrameRate, decimalSeparator);
    if (i == 0) r.FirstFileType = files[i]->MediaType;
  }
  for (double rate : {24.0, 25.0, 29.97}) AddFrameRate(r.Items, rate, decimalSeparator);
  std::sort(r.Items.begin(), r.Items.end());
  r.Selected = 0;
  return r;
}

TJoinDefaults ComputeDefaults(const std::vector<const TVideoFileInfo*>& files, std::vector<std::string>& rateItems,
                              char decimalSeparator) {
  int minWidth = 100000, minHeight = 100000, spread = 0;
  double minRate = 1000.0;
  // The picture as it is shown.
  auto width = [](const TVideoFileInfo* f) { return f->DisplayWidth ? f->DisplayWidth : f->Width; };
  auto height = [](const TVideoFileInfo* f) { return f->DisplayHeight ? f->DisplayHeight : f->Height; };
  for (const TVideoFileInfo* f : files) {
    minWidth = std::min(minWidth, static_cast<int>(width(f)));
    minHeight = std::min(minHeight, static_cast<int>(height(f)));
    minRate = std::min(minRate, f->FrameRate);
  }
  // The spread against the smallest size of all the files, so that the
  // list's order does not decide whether most of a larger picture is cut
  // away without resizing.
  for (const TVideoFileInfo* f : files)
    spread = std::max({spread, width(f) - minWidth, height(f) - minHeight});
  TJoinDefaults d;
  d.FrameWidth = minWidth / 8 * 8;
  d.FrameHeight = minHeight / 8 * 8;
  d.FrameRateIndex = AddFrameRate(rateItems, minRate, decimalSeparator);
  d.ResizeMethod = spread >= 8 ? rmCrop : rmNoResize;
  d.Spread = spread;
  return d;
}

TRecompressSettings MajorityFormat(const std::vector<const TVideoFileInfo*>& files) {
  struct Group {
    int w, h;
    double rate, seconds;
  };
  std::vector<Group> groups;
  for (const TVideoFileInfo* f : files) {
    const int w = (f->DisplayWidth ? f->DisplayWidth : f->Width) & ~1;
    const int h = (f->DisplayHeight ? f->DisplayHeight : f->Height) & ~1;
    if (w <= 0 || h <= 0) continue;
    // A file whose length is not known still counts a little.
    const double seconds = f->Duration > 0 ? f->Duration : 1e-3;
    auto same = [&](const Group& g) { return g.w == w && g.h == h && std::abs(g.rate - f->FrameRate) < 0.01; };
    auto it = std::find_if(groups.begin(), groups.end(), same);
    if (it == groups.end()) groups.push_back({w, h, f->FrameRate, seconds});
    else it->seconds += seconds;
  }
  TRecompressSettings r;
  r.ResizeMethod = rmLetterbox;
  const Group* best = nullptr;
  for (const Group& g : groups)
    if (!best || g.seconds > best->seconds) best = &g;
  if (best) {
    r.FrameWidth = best->w;
    r.FrameHeight = best->h;
    if (best->rate > 0) r.FrameRate = best->rate;
  }
  return r;
}

TJoinCheckState JoinWithoutRecompressionState(bool can, bool withoutSound, bool noAudio) {
  // A set that can be joined only by losing its sound opens unchecked.
  return {can && !(withoutSound && !noAudio), can};
}

std::string JoinNotes(bool can, bool withoutSound, bool noAudio, const std::string& firstFileType,
                      const std::string& copyDifference, bool copyFamily) {
  const std::string detail = copyDifference.empty() ? "" : "\n- " + copyDifference;
  if (!can) {
    if (copyFamily) return kHintIdenticalFormat + detail;
    return firstFileType == kMediaAVI || firstFileType == kMediaMPEG1 ? kHintIdenticalFormat + detail
                                                                       : std::string(kHintOnlyAviMpeg);
  }
  if (withoutSound && !noAudio) return kNoteWithoutSound + detail;
  return "";
}

namespace {

std::string AsciiLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Index of the last name containing key, or -1.
int LastContaining(const std::vector<std::string>& names, const char* key) {
  int found = -1;
  for (size_t i = 0; i < names.size(); ++i)
    if (AsciiLower(names[i]).find(key) != std::string::npos) found = static_cast<int>(i);
  return found;
}

}  // namespace

// Among the names containing key, the one of the preferred encoder (its
// name in parentheses at the end), else the last.
int Choose(const std::vector<std::string>& names, const char* key, const char* preferred) {
  const std::string mark = std::string("(") + preferred + ")";
  for (size_t i = 0; i < names.size(); ++i)
    if (AsciiLower(names[i]).find(key) != std::string::npos && names[i].size() >= mark.size() &&
        names[i].compare(names[i].size() - mark.size(), mark.size(), mark) == 0)
      return static_cast<int>(i);
  return LastContaining(names, key);
}

int ChooseVideoCompressor(const std::vector<std::string>& names, int current, bool* noneFound) {
  if (noneFound) *noneFound = false;
  // Of the Xvid compressors, the Xvid library's own.
  for (const char* key : {"divx", "xvid"}) {
    int i = Choose(names, key, "libxvid");
    if (i >= 0) return i;
  }
  if (noneFound) *noneFound = true;
  return current;
}

int ChooseAudioCompressor(const std::vector<std::string>& names, int current) {
  // Of the MP3 compressors, LAME: the last by name would be libshine, which
  // sounds worse at the same bit rate.
  for (const char* key : {"mp3", "mpeg", "pcm"}) {
    int i = Choose(names, key, "libmp3lame");
    if (i >= 0) return i;
  }
  return current;
}

bool SizeWarningVisible(int width, int height) { return width % 8 != 0 || height % 8 != 0; }

std::string OverwriteQuestion(const std::string& name) {
  return "The \"" + name + "\" file already exists. \r\nDo you want to overwrite it?";
}

double StrToFloat(const std::string& text, char decimalSeparator) {
  std::string s = text;
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  s = a == std::string::npos ? "" : s.substr(a, b - a + 1);
  bool ok = !s.empty();
  for (char& c : s) {
    if (c == decimalSeparator)
      c = '.';
    else if (c == '.')
      ok = false;  // a point where the separator is another character
  }
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  double v = 0;
  if (ok) {
    // from_chars does not depend on the process's locale.
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    ok = ec == std::errc() && end == s.data() + s.size() && std::isfinite(v);
  }
  if (!ok) throw EConvertError("'" + text + "' is not a valid floating point value");
  return v;
}

namespace {

// The dialog's list, in its order.
constexpr TResizeMethod kResizeOfItem[] = {rmLetterbox, rmCrop, rmStretch, rmNoResize};

}  // namespace

TResizeMethod ResizeMethodOfItem(int itemIndex, TResizeMethod otherwise) {
  if (itemIndex < 0 || itemIndex >= static_cast<int>(std::size(kResizeOfItem))) return otherwise;
  return kResizeOfItem[itemIndex];
}

int ItemOfResizeMethod(TResizeMethod method) {
  for (int i = 0; i < static_cast<int>(std::size(kResizeOfItem)); ++i)
    if (kResizeOfItem[i] == method) return i;
  return 0;
}

}  // namespace vantrel
