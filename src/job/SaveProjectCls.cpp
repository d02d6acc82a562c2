// Project file writer and reader.
#include "job/SaveProjectCls.h"

#include <cctype>
#include <cstdint>

#include "base/Exceptions.h"
#include "base/OutputSwap.h"
#include "base/PosixFile.h"

namespace vantrel {
namespace {

constexpr const char* kEol = "\r\n";
constexpr size_t kLineShare = 64;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// A string value: quoted runs and #codes, a new line every 64 characters
// (never inside a UTF-8 sequence), joined by " +".
std::string StringValue(const std::string& s) {
  if (s.empty()) return "''";
  std::string out;
  if (s.size() > kLineShare) out += std::string(kEol) + "      ";
  size_t i = 0;
  while (i < s.size()) {
    // This line's share: 64 characters, cut back to a character boundary.
    size_t end = std::min(s.size(), i + kLineShare);
    while (end < s.size() && end > i + 1 && IsContinuation(static_cast<unsigned char>(s[end]))) --end;
    bool quoted = false;
    for (size_t k = i; k < end; ++k) {
      unsigned char c = static_cast<unsigned char>(s[k]);
      if (c >= 32 && c != '\'') {
        if (!quoted) out += '\'';
        quoted = true;
        out += static_cast<char>(c);
      } else {
        if (quoted) out += '\'';
        quoted = false;
        out += "#" + std::to_string(c);
      }
    }
    if (quoted) out += '\'';
    i = end;
    if (i < s.size()) out += std::string(" +") + kEol + "      ";
  }
  return out;
}

[[noreturn]] void Corrupted() { throw Exception(kProjectCorrupted); }

enum class Tok { End, Ident, String, Integer, Symbol };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // identifier, decoded string, digits or the symbol
};

class Lexer {
 public:
  explicit Lexer(const std::string& t) : t_(t) {}

  Token Next() {
    while (p_ < t_.size() && static_cast<unsigned char>(t_[p_]) <= 32) ++p_;
    Token tok;
    if (p_ >= t_.size()) return tok;
    unsigned char c = static_cast<unsigned char>(t_[p_]);
    if (std::isalpha(c) || c == '_') {
      size_t b = p_;
      while (p_ < t_.size() && (std::isalnum(static_cast<unsigned char>(t_[p_])) || t_[p_] == '_' || t_[p_] == '.'))
        ++p_;
      tok.kind = Tok::Ident;
      tok.text = t_.substr(b, p_ - b);
    } else if (c == '\'' || c == '#') {
      tok.kind = Tok::String;
      tok.text = ReadString();
    } else if (std::isdigit(c) || ((c == '-' || c == '+') && p_ + 1 < t_.size() &&
                                   std::isdigit(static_cast<unsigned char>(t_[p_ + 1])))) {
      size_t b = p_++;
      while (p_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[p_]))) ++p_;
      tok.kind = Tok::Integer;
      tok.text = t_.substr(b, p_ - b);
    } else {
      tok.kind = Tok::Symbol;
      tok.text = std::string(1, static_cast<char>(c));
      ++p_;
    }
    return tok;
  }

 private:
  // Quoted parts and #codes without spaces between them.
  std::string ReadString() {
    std::string s;
    while (p_ < t_.size()) {
      char c = t_[p_];
      if (c == '\'') {
        ++p_;
        for (;;) {
          if (p_ >= t_.size() || t_[p_] == '\r' || t_[p_] == '\n') Corrupted();  // unterminated
          if (t_[p_] == '\'') {
            if (p_ + 1 < t_.size() && t_[p_ + 1] == '\'') {
              s += '\'';
              p_ += 2;
              continue;
            }
            ++p_;
            break;
          }
          s += t_[p_++];
        }
      } else if (c == '#') {
        ++p_;
        size_t b = p_;
        while (p_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[p_])) && p_ - b < 8) ++p_;
        if (p_ == b) Corrupted();
        unsigned long code = std::stoul(t_.substr(b, p_ - b));
        if (code > 0x10FFFF) Corrupted();
        if (code <= 0xFF) {
          s += static_cast<char>(code);
        } else {  // a wide character: its UTF-8 form
          if (code < 0x800) {
            s += static_cast<char>(0xC0 | (code >> 6));
          } else {
            if (code < 0x10000) {
              s += static_cast<char>(0xE0 | (code >> 12));
            } else {
              s += static_cast<char>(0xF0 | (code >> 18));
              s += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            }
            s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
          }
          s += static_cast<char>(0x80 | (code & 0x3F));
        }
      } else {
        break;
      }
    }
    return s;
  }

  const std::string& t_;
  size_t p_ = 0;
};

bool Is(const Token& t, const char* keyword) {
  if (t.kind != Tok::Ident) return false;
  std::string a = t.text;
  std::string b = keyword;
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool IsSymbol(const Token& t, char c) { return t.kind == Tok::Symbol && t.text.size() == 1 && t.text[0] == c; }

class Parser {
 public:
  explicit Parser(const std::string& text) : lex_(text) { Advance(); }

  std::vector<std::string> Object() {
    if (!Is(cur_, "object") && !Is(cur_, "inherited") && !Is(cur_, "inline")) Corrupted();
    Advance();
    if (cur_.kind != Tok::Ident) Corrupted();
    Advance();
    if (IsSymbol(cur_, ':')) {  // name ':' class
      Advance();
      if (cur_.kind != Tok::Ident) Corrupted();
      Advance();
    }
    if (IsSymbol(cur_, '[')) {  // position
      Advance();
      if (cur_.kind != Tok::Integer) Corrupted();
      Advance();
      if (!IsSymbol(cur_, ']')) Corrupted();
      Advance();
    }
    std::vector<std::string> files;
    while (!Is(cur_, "end")) {
      if (cur_.kind != Tok::Ident || Is(cur_, "object") || Is(cur_, "inherited") || Is(cur_, "inline")) Corrupted();
      Token name = cur_;
      Advance();
      if (!IsSymbol(cur_, '=')) Corrupted();
      Advance();
      if (Is(name, "Files.Strings")) {
        files = StringList();
      } else if (Is(name, "Name")) {
        StringValue();
      } else if (Is(name, "Tag")) {
        if (cur_.kind != Tok::Integer) Corrupted();
        Advance();
      } else {
        Corrupted();
      }
    }
    Advance();
    if (cur_.kind != Tok::End) Corrupted();
    return files;
  }

 private:
  void Advance() { cur_ = lex_.Next(); }

  std::string StringValue() {
    if (cur_.kind != Tok::String) Corrupted();
    std::string s = cur_.text;
    Advance();
    while (IsSymbol(cur_, '+')) {
      Advance();
      if (cur_.kind != Tok::String) Corrupted();
      s += cur_.text;
      Advance();
    }
    return s;
  }

  std::vector<std::string> StringList() {
    if (!IsSymbol(cur_, '(')) Corrupted();
    Advance();
    std::vector<std::string> list;
    while (!IsSymbol(cur_, ')')) list.push_back(StringValue());
    Advance();
    return list;
  }

  Lexer lex_;
  Token cur_;
};

}  // namespace

std::string WriteProjectText(const std::vector<std::string>& files) {
  std::string t = std::string("object TProjectSettings") + kEol;
  if (!files.empty()) {
    t += "  Files.Strings = (";
    for (const std::string& f : files) t += std::string(kEol) + "    " + StringValue(f);
    t += std::string(")") + kEol;
  }
  return t + "end" + kEol;
}

std::vector<std::string> ReadProjectText(const std::string& text) {
  Parser p(text);
  std::vector<std::string> files = p.Object();
  // No path holds a NUL: opening such a name would open another file.
  for (const std::string& f : files)
    if (f.find('\0') != std::string::npos) Corrupted();
  return files;
}

void TProjectSettings::LoadFromFile(const std::string& fileName) {
  TFile f;
  int64_t size = 0;
  try {
    f = TFile::OpenRead(fileName);
    size = f.Size();
  } catch (const EOSError&) {
    throw Exception("Cannot open file " + fileName);
  }
  if (size < 0 || static_cast<uint64_t>(size) > kMaxProjectFileSize) Corrupted();
  std::string text(static_cast<size_t>(size), '\0');
  size_t got = size ? f.ReadAt(text.data(), text.size(), 0) : 0;
  text.resize(got);
  Files = ReadProjectText(text);
}

void TProjectSettings::SaveToFile(const std::string& fileName) const {
  // Only a project is replaced by a project: a video named by mistake (the
  // first of "project save *.avi") stays what it is.
  for (const std::string& f : Files)
    if (f == fileName || SameFile(f, fileName)) throw Exception("The project file is one of its files: " + fileName);
  if (FileExists(fileName)) {
    const std::string head = "object TProjectSettings";
    std::string start(head.size(), '\0');
    size_t got = 0;
    try {
      got = TFile::OpenRead(fileName).ReadAt(start.data(), start.size(), 0);
    } catch (const EOSError&) {
      // Unreadable: the write below says so.
    }
    start.resize(got);
    if (got > 0 && start != head.substr(0, got))
      throw Exception(fileName + " is not a project file; it was left as it is");
  }
  CheckRegularOutput(fileName);
  // Written beside it and then given its name: a full disk leaves the old
  // project whole.
  TOutputSwap swap(fileName);
  const std::string text = WriteProjectText(Files);
  try {
    TFile f = TFile::Create(swap.Path());
    f.WriteAt(text.data(), text.size(), 0);
    f.Close();
    swap.Commit(true);
  } catch (const EOSError&) {
    throw Exception("Cannot create file " + fileName);
  }
}

}  // namespace vantrel
