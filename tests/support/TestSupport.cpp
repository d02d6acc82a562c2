// Helpers for Vantrel's tests.
#include "support/TestSupport.h"

#include "job/Encoders.h"
#include "probe/FileInfo.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace vantrel::test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/vantrel-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

CommandResult Run(const std::vector<std::string>& argv) {
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(outPipe[1]);
  close(errPipe[1]);
  CommandResult r;
  if (rc != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    r.exitCode = 127;
    r.err = "cannot start " + argv[0];
    return r;
  }
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  char buf[65536];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

CommandResult Shell(const std::string& commandLine) { return Run({"/bin/sh", "-c", commandLine}); }

bool HaveTool(const std::string& name) { return Shell("command -v " + name + " >/dev/null 2>&1").exitCode == 0; }

std::string CliPath() { return VANTREL_CLI_PATH; }

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

uint32_t GetLE32(const std::vector<uint8_t>& b, size_t pos) {
  if (pos + 4 > b.size()) throw std::out_of_range("GetLE32 past the end");
  uint32_t v;
  std::memcpy(&v, b.data() + pos, 4);
  return v;
}

uint16_t GetLE16(const std::vector<uint8_t>& b, size_t pos) {
  if (pos + 2 > b.size()) throw std::out_of_range("GetLE16 past the end");
  uint16_t v;
  std::memcpy(&v, b.data() + pos, 2);
  return v;
}

size_t FindFourCC(const std::vector<uint8_t>& b, const char* code, size_t from) {
  for (size_t i = from; i + 4 <= b.size(); ++i)
    if (std::memcmp(b.data() + i, code, 4) == 0) return i;
  return std::string::npos;
}

size_t CountFourCC(const std::vector<uint8_t>& b, const char* code) {
  size_t n = 0;
  for (size_t i = FindFourCC(b, code); i != std::string::npos; i = FindFourCC(b, code, i + 4)) ++n;
  return n;
}

std::vector<uint8_t> LE32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
std::vector<uint8_t> LE16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
std::vector<uint8_t> Text(const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> r;
  for (const auto& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

RiffBuilder& RiffBuilder::Begin(const char* kind, const char* type) {
  open_.push_back(bytes_.size());
  Raw(Text(kind)).U32(0).Raw(Text(type));
  return *this;
}

RiffBuilder& RiffBuilder::End() {
  size_t p = open_.back();
  open_.pop_back();
  uint32_t size = static_cast<uint32_t>(bytes_.size() - p - 8);
  std::memcpy(bytes_.data() + p + 4, &size, 4);
  return *this;
}

RiffBuilder& RiffBuilder::Chunk(const char* id, const std::vector<uint8_t>& data) {
  Raw(Text(id)).U32(static_cast<uint32_t>(data.size())).Raw(data);
  if (data.size() & 1) bytes_.push_back(0);
  return *this;
}

RiffBuilder& RiffBuilder::Raw(const std::vector<uint8_t>& data) {
  bytes_.insert(bytes_.end(), data.begin(), data.end());
  return *this;
}

RiffBuilder& RiffBuilder::U32(uint32_t v) { return Raw(LE32(v)); }

std::vector<uint8_t> RiffBuilder::Finish() {
  while (!open_.empty()) End();
  return bytes_;
}

std::vector<uint8_t> StreamHeader(const char* type, const char* handler, uint32_t scale, uint32_t rate,
                                  uint32_t sampleSize, uint32_t length) {
  return Cat({Text(type), Text(handler), LE32(0), LE16(0), LE16(0), LE32(0), LE32(scale), LE32(rate), LE32(0),
              LE32(length), LE32(0), LE32(0xFFFFFFFF), LE32(sampleSize), LE16(0), LE16(0), LE16(0), LE16(0)});
}

std::vector<uint8_t> BitmapInfo(int32_t width, int32_t height, const char* compression) {
  return Cat({LE32(40), LE32(static_cast<uint32_t>(width)), LE32(static_cast<uint32_t>(height)), LE16(1), LE16(24),
              Text(compression), LE32(0), LE32(0), LE32(0), LE32(0), LE32(0)});
}

std::vector<uint8_t> WaveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits) {
  return Cat({LE16(tag), LE16(channels), LE32(rate), LE32(rate * blockAlign), LE16(blockAlign), LE16(bits), LE16(0)});
}

bool Recorder::Cancelled() {
  ++log_.cancelledCalls;
  if (!cancelled_ && log_.cancelWhen && log_.cancelWhen(log_)) cancelled_ = true;
  return cancelled_;
}

TVideoFileInfo ProbedClip(const ClipSpec& c) {
  TVideoFileInfo i;
  i.FileName = "/clips/" + c.name;
  i.MediaType = c.mediaType;
  const TContainer* container = nullptr;
  for (const TContainer& k : Containers())
    if (c.container == k.Name) container = &k;
  i.Container = container ? container->Id : TContainerId::Unknown;
  i.ContainerName = c.container;
  i.Duration = c.seconds;
  i.Width = static_cast<uint16_t>(c.width);
  i.Height = static_cast<uint16_t>(c.height);
  i.FrameRate = static_cast<double>(c.rateNum) / c.rateDen;
  const bool inBand = i.Container == TContainerId::MpegTs || i.Container == TContainerId::MpegPs;
  TStreamFormat v;
  v.Kind = TStreamKind::Video;
  v.Codec = c.codec;
  v.ProfileId = c.profile.empty() ? kNoProfile : 100;
  v.ProfileName = c.profile;
  v.Width = c.width;
  v.Height = c.height;
  v.PixelFormat = c.pixels;
  v.FieldOrder = TFieldOrder::Progressive;
  v.RateNum = c.rateNum;
  v.RateDen = c.rateDen;
  v.TimeBaseNum = 1;
  v.TimeBaseDen = 12800;
  v.Sets = c.sets;
  v.InBand = inBand;
  AskContainers(v);
  i.Streams.push_back(v);
  if (c.audio) {
    i.HasAudio = true;
    i.SampleRate = c.sampleRate;
    i.Channels = 2;
    TStreamFormat a;
    a.Kind = TStreamKind::Audio;
    a.Codec = c.audioCodec;
    a.SampleRate = c.sampleRate;
    a.Channels = 2;
    a.Layout = "stereo";
    a.SampleFormat = "fltp";
    a.InBand = inBand;
    AskContainers(a);
    i.Streams.push_back(a);
  }
  if (!c.subtitle.empty()) {
    TStreamFormat s;
    s.Kind = TStreamKind::Subtitle;
    s.Codec = c.subtitle;
    AskContainers(s);
    i.Streams.push_back(s);
  }
  return i;
}

TJoinPlan Plan(const TJoinRequest& request) { return MakeJoinPlan(request, MachineEncoders()); }

TJoinOutcome Join(const TJoinRequest& request, IProgress* progress) {
  TNoProgress none;
  return RunJoin(request, Plan(request), AllEngines(), progress ? *progress : none);
}

std::vector<std::string> ProbePackets(const std::string& file) {
  CommandResult r = Run({"ffprobe", "-v", "error", "-show_entries", "packet=stream_index,size,flags", "-of",
                         "csv=p=0", file});
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

std::vector<std::string> PacketHashes(const std::string& file, char type) {
  std::string map = type == 'v' ? "0:v:0" : "0:a:0";
  CommandResult r = Run({"ffmpeg", "-v", "error", "-i", file, "-map", map, "-c", "copy", "-f", "framemd5", "-"});
  std::vector<std::string> hashes;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    size_t comma = line.rfind(',');
    if (comma == std::string::npos) continue;
    size_t start = line.find_first_not_of(' ', comma + 1);
    hashes.push_back(line.substr(start));
  }
  return hashes;
}

int64_t BytesBeingWritten(const std::string& output) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path out(output);
  const auto size = fs::file_size(out, ec);
  if (!ec) return static_cast<int64_t>(size);
  const std::string prefix = "." + out.filename().string() + "-";
  for (const auto& e : fs::directory_iterator(out.parent_path(), ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    const auto hidden = fs::file_size(e.path(), ec);
    if (!ec) return static_cast<int64_t>(hidden);
  }
  return -1;
}

}  // namespace vantrel::test
