#include "core/helpers.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <sys/stat.h>

#include "base/binary_io.h"
#include "base/text_number.h"
#include "platform/dialogs.h"

namespace zentor {

float ParseSingleOrWarn(const std::string& text) {
  if (IsNumeric(text)) return static_cast<float>(Val(text));
  MsgBox("Error: Input value is non numeric");
  return 0.0f;
}

int SplitCalibrationLine(const std::string& line, std::string& f1, std::string& f2, std::string& f3) {
  f1 = f2 = f3 = ' ';
  if (line.size() < 2) return -1;
  int result = -1;
  size_t pos = 0;
  std::string* fields[3] = {&f1, &f2, &f3};
  for (int k = 0; k < 3; ++k) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
    if (pos > start) {
      *fields[k] = line.substr(start, pos - start);
      result = k + 1;
    }
  }
  return result;
}

float ParseLocaleNumber(const std::string& text) {
  std::string t = text;
  std::replace(t.begin(), t.end(), ',', '.');
  if (!IsNumeric(t)) return 0.0f;
  return static_cast<float>(Val(t));
}

std::string GetFileNameFromPath(const std::string& path) {
  size_t p = path.find_last_of("/\\");
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string GetFileExtension(const std::string& name) {
  std::string file = GetFileNameFromPath(name);
  size_t p = file.rfind('.');
  return p == std::string::npos ? file : file.substr(p + 1);
}

namespace {
size_t FileNameStart(const std::string& path) {
  const size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? 0 : sep + 1;
}

// The files the program reads or writes: a name ending in one of these has its
// kind's extension put in its place, any other dot belongs to the name.
bool IsKnownExtension(const std::string& ext) {
  static constexpr const char* kKnown[] = {"cfa", "eq",  "xvr", "cal", "mic", "qel", "txt", "csv", "frd", "yml",
                                           "yaml", "wav", "pcm", "raw", "jpg", "jpeg", "png", "svg", "pdf"};
  std::string lower = ext;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return std::find(std::begin(kKnown), std::end(kKnown), lower) != std::end(kKnown);
}
}  // namespace

std::string GetFileNameStem(const std::string& name) {
  const size_t fileStart = FileNameStart(name);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot < fileStart ? name : name.substr(0, dot);
}

namespace {

// The file-name part of a name to save: only "/" parts folders here, "a\\.EQ" is a name.
size_t SaveNameStart(const std::string& path) {
  const size_t sep = path.rfind('/');
  return sep == std::string::npos ? 0 : sep + 1;
}

std::string LowerText(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Another spelling of the kind's own extension, kept as typed ("config.yaml").
bool SameKind(const std::string& ext, const std::string& extension) {
  const std::string a = LowerText(ext), b = LowerText(extension);
  return (a == "yaml" && b == "yml") || (a == "jpeg" && b == "jpg");
}

}  // namespace

// Most likely mistyped, and many disks (FAT, exFAT, network shares) drop those
// characters, so the file would not carry the name given.
bool EndsInBlankOrDot(const std::string& chosen) {
  const std::string name = chosen.substr(SaveNameStart(chosen));
  return !name.empty() && name != "." && name != ".." && (name.back() == ' ' || name.back() == '.');
}

std::optional<std::string> SaveFileName(const std::string& chosen, const std::string& extension) {
  if (EndsInBlankOrDot(chosen)) return std::nullopt;
  const size_t fileStart = SaveNameStart(chosen);
  const size_t dot = chosen.rfind('.');
  const std::string ext = dot == std::string::npos || dot < fileStart ? std::string() : chosen.substr(dot + 1);
  const bool known = dot != std::string::npos && dot >= fileStart && IsKnownExtension(ext);
  const std::string stem = known ? chosen.substr(0, dot) : chosen;
  const std::string name = stem.substr(fileStart);
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  if (known && SameKind(ext, extension)) return chosen;
  return stem + "." + extension;
}

std::string NoFileNameText(const std::string& chosen) {
  if (EndsInBlankOrDot(chosen)) return "User Error: A file name may not end in a blank or a dot, as \"" + chosen + "\" does";
  return "User Error: A file name is needed, not \"" + chosen + "\"";
}

std::optional<std::string> SaveFileNameOrSay(const std::string& chosen, const std::string& extension) {
  std::optional<std::string> name = SaveFileName(chosen, extension);
  if (!name) MsgBox(NoFileNameText(chosen));
  return name;
}

std::optional<std::string> SaveFileNameAsked(const std::string& chosen, const std::string& extension) {
  std::optional<std::string> name = SaveFileNameOrSay(chosen, extension);
  if (name && !MayReplaceFile(*name, *name + " Already Exists, Overwrite ?", MsgButtons::YesNo, "Mirabelt Zentor"))
    return std::nullopt;
  return name;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  const bool hasA = !a.empty() && ::stat(a.c_str(), &sa) == 0, hasB = !b.empty() && ::stat(b.c_str(), &sb) == 0;
  if (hasA || hasB) return hasA && hasB && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  // Neither there yet: the same name once folders and links are resolved.
  std::error_code ea, eb;
  const auto ca = std::filesystem::weakly_canonical(a, ea), cb = std::filesystem::weakly_canonical(b, eb);
  return !ea && !eb && ca == cb;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::exists(path, ec);
}

bool MayReplaceFile(const std::string& path, const std::string& question, MsgButtons buttons,
                    const std::string& title) {
  return !FileExists(path) ||
         Dialogs().AskToReplace(path, question, buttons, MsgIcon::Exclamation, title) == MsgAnswer::Yes;
}

const std::string& CopyString(std::string& dest, const std::string& src) {
  dest = src;
  return dest;
}

namespace {
int32_t ClampCount(std::span<const float> x, std::span<const float> y, int32_t n) {
  int64_t m = std::min<int64_t>({static_cast<int64_t>(n), static_cast<int64_t>(x.size()),
                                 static_cast<int64_t>(y.size())});
  return static_cast<int32_t>(std::max<int64_t>(0, m));
}
}  // namespace

float GetFirstValueInRange(float lo, float hi, std::span<const float> x, std::span<const float> y, int32_t n) {
  n = ClampCount(x, y, n);
  for (int32_t i = 0; i < n; ++i)
    if (lo <= x[i] && x[i] <= hi) return y[i];
  return 0.0f;
}

float GetMaxValueInRange(float lo, float hi, std::span<const float> x, std::span<const float> y, int32_t n,
                         float start) {
  n = ClampCount(x, y, n);
  for (int32_t i = 0; i < n; ++i)
    if (lo <= x[i] && x[i] <= hi && y[i] > start) start = y[i];
  return start;
}

float GetMinValueInRange(float lo, float hi, std::span<const float> x, std::span<const float> y, int32_t n,
                         float start) {
  n = ClampCount(x, y, n);
  for (int32_t i = 0; i < n; ++i)
    if (lo <= x[i] && x[i] <= hi && y[i] < start) start = y[i];
  return start;
}

void StringToCharCodes(const std::string& utf8, std::span<int32_t> codes, int32_t& len) {
  const std::string s = Utf8ToLatin1(utf8);
  len = 0;
  const int32_t room = codes.empty() ? 0 : static_cast<int32_t>(codes.size()) - 1;
  for (int32_t i = 1; i <= static_cast<int32_t>(s.size()) && i <= room; ++i) {
    int32_t c = static_cast<unsigned char>(s[static_cast<size_t>(i - 1)]);
    if (c == 0 && i > 2) break;
    codes[static_cast<size_t>(i)] = c;
    len = i;
  }
}

void CharCodesToString(std::string& s, std::span<const int32_t> codes, int32_t n) {
  std::string latin1;
  for (int32_t i = 1; i <= n && i < static_cast<int32_t>(codes.size()); ++i)
    latin1.push_back(static_cast<char>(codes[static_cast<size_t>(i)] & 0xFF));
  s = Latin1ToUtf8(latin1);
}

void ShowGraphShownMessage(int32_t kind) {
  switch (kind) {
    case 3: MsgBox("FREQRESPSHOWN "); break;
    case 6: MsgBox("FRACTOCTSHOWN "); break;
    case 7: MsgBox("PSYCHOACOUSTICSHOWN "); break;
    case 1: MsgBox("NOISESHOWN "); break;
    case 0: MsgBox("GraphShown = 0"); break;
    default: MsgBox("GraphShown = " + FormatDouble(kind)); break;
  }
}

}  // namespace zentor
