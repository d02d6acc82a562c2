// Texts about files.
#include "base/Names.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace vantrel {

namespace {

std::string TwoDigits(long long v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

}  // namespace

std::string FormatDuration(double seconds) {
  double r = std::nearbyint(seconds);  // halves to even
  long long s = std::isfinite(r) && r > 0 ? static_cast<long long>(r) : 0;
  long long h = s / 3600, m = (s / 60) % 60, c = s % 60;
  if (h == 0) return TwoDigits(m) + ":" + TwoDigits(c);
  return TwoDigits(h) + ":" + TwoDigits(m) + ":" + TwoDigits(c);
}

std::string FormatCutTime(double seconds) {
  const long long ms = std::isfinite(seconds) && seconds > 0 ? std::llround(seconds * 1000) : 0;
  const long long s = ms / 1000, h = s / 3600, m = (s / 60) % 60;
  std::string frac = std::to_string(ms % 1000);
  frac = std::string(3 - frac.size(), '0') + frac;
  const std::string tail = TwoDigits(m) + ":" + TwoDigits(s % 60) + "." + frac;
  return h == 0 ? tail : std::to_string(h) + ":" + tail;
}

bool ParseTimeText(const std::string& text, double& seconds) {
  // Up to three fields split by ':', the last with an optional fraction.
  std::vector<std::string> fields;
  size_t from = 0;
  for (;;) {
    const size_t colon = text.find(':', from);
    fields.push_back(text.substr(from, colon == std::string::npos ? std::string::npos : colon - from));
    if (colon == std::string::npos) break;
    from = colon + 1;
  }
  if (fields.size() > 3) return false;
  double total = 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    const std::string& f = fields[i];
    const bool last = i + 1 == fields.size();
    if (f.empty() || f.size() > 20) return false;
    size_t digits = 0, dots = 0;
    for (char c : f) {
      if (c >= '0' && c <= '9') ++digits;
      else if (c == '.' && last) ++dots;
      else return false;
    }
    if (digits == 0 || dots > 1 || f.front() == '.') return false;
    const double v = std::strtod(f.c_str(), nullptr);
    // Minutes and seconds after a larger field stay below 60.
    if (i > 0 && v >= 60) return false;
    total = total * 60 + v;
  }
  if (!std::isfinite(total)) return false;
  seconds = total;
  return true;
}

std::string FourCCToString(uint32_t code) {
  if (code == 0) return "";
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((code >> (8 * i)) & 0xFF);
  return s;
}

std::string FormatFrameRate(double rate, char decimalSeparator) {
  if (rate == std::trunc(rate)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", rate);
    return buf;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", rate);
  std::string s = buf;
  for (char& ch : s)
    if (ch == '.') ch = decimalSeparator;
  return s;
}

std::string FileNamePart(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderPart(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string ArticleFor(const std::string& name) {
  // Initialisms read letter by letter take "an" before a vowel sound (an
  // MP4, an AVI, an FLV); MOV and the names read as words take "a".
  if (name.empty() || name == "MOV") return "a ";
  const bool initialism = name.size() > 1 && (std::isupper(static_cast<unsigned char>(name[1])) ||
                                               std::isdigit(static_cast<unsigned char>(name[1])));
  const char c = name[0];
  if (initialism) return std::string("AEFHILMNORSX").find(c) != std::string::npos ? "an " : "a ";
  return std::string("AEIOU").find(c) != std::string::npos ? "an " : "a ";
}

std::string LowerExtension(const std::string& fileName) {
  const size_t slash = fileName.rfind('/');
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = fileName.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string FileLabel(size_t index, const std::string& path) {
  return "File " + std::to_string(index + 1) + " (" + path.substr(path.rfind('/') + 1) + "): ";
}

namespace {

std::string MinutesSeconds(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  char text[32];
  if (s >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else std::snprintf(text, sizeof text, "%02ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

std::string DamagedNote(size_t index, const std::string& path, double readSeconds, double promisedSeconds) {
  const std::string said = "File " + std::to_string(index + 1) + " (" + path.substr(path.rfind('/') + 1) + ") is damaged: ";
  // Within a minute, or where whole seconds would read the same ("00:01 of
  // 00:01"), to the millisecond.
  const bool fine = std::max(readSeconds, promisedSeconds) < 60 ||
                    MinutesSeconds(readSeconds) == MinutesSeconds(promisedSeconds);
  auto shown = [fine](double seconds) {
    if (!fine) return MinutesSeconds(seconds);
    seconds = std::max(0.0, seconds);
    char text[48];
    std::snprintf(text, sizeof text, "%02ld:%06.3f", static_cast<long>(seconds) / 60, std::fmod(seconds, 60.0));
    return std::string(text);
  };
  if (promisedSeconds > 0) return said + "only " + shown(readSeconds) + " of " + shown(promisedSeconds) + " could be read";
  return said + "it could be read for " + shown(readSeconds) + " only";
}

}  // namespace vantrel
