// Small procedures every window shares: calibration text parsing, file-name
// splitting, range look-ups over parallel arrays and character-code conversions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/dialogs.h"

namespace zentor {

// The text's value as Single, or 0 after "Error: Input value is non numeric".
float ParseSingleOrWarn(const std::string& text);

// Splits a calibration line into up to three blank-separated fields; returns the
// number of the last field holding a character (1..3), or -1.
int SplitCalibrationLine(const std::string& line, std::string& f1, std::string& f2, std::string& f3);

// Number with "," or "." as decimal mark and optional exponent; 0 when not a number.
float ParseLocaleNumber(const std::string& text);

// File names. "/" and "\" both separate folders; stem and extension are taken
// from the file-name component only.
std::string GetFileNameFromPath(const std::string& path);
std::string GetFileExtension(const std::string& name);
// The path without the file name's last extension ("/a.b/x.y.cfa" -> "/a.b/x.y").
std::string GetFileNameStem(const std::string& name);
// The name a save writes for the name chosen: an extension of a file the program
// reads or writes is replaced by the kind's own ("seat1.cfa" -> "seat1.EQ", "my.room.EQ"
// and "config.yaml" stay), any other dot is part of the name ("seat1.v2" ->
// "seat1.v2.cfa"); only "/" parts folders. Nullopt when no name is left before the
// extension (".EQ", "", "folder/") or the name ends in a blank or a dot ("t.EQ ").
std::optional<std::string> SaveFileName(const std::string& chosen, const std::string& extension);
bool EndsInBlankOrDot(const std::string& chosen);
std::string NoFileNameText(const std::string& chosen);
// SaveFileName, saying NoFileNameText when there is none.
std::optional<std::string> SaveFileNameOrSay(const std::string& chosen, const std::string& extension);
// SaveFileNameOrSay, then "NAME Already Exists, Overwrite ?" (Yes/No) before an
// existing file is replaced: the dialog confirmed only the name typed.
std::optional<std::string> SaveFileNameAsked(const std::string& chosen, const std::string& extension);
// One file under both names (device and inode), or, when neither is there yet,
// the same place once folders and links are resolved.
bool SameFile(const std::string& a, const std::string& b);
bool FileExists(const std::string& path);
// True when nothing is at `path` or the answer to `question` (Yes/No buttons as
// given, an exclamation mark) is Yes.
bool MayReplaceFile(const std::string& path, const std::string& question, MsgButtons buttons,
                    const std::string& title);
const std::string& CopyString(std::string& dest, const std::string& src);

// Look-ups over x(0..n-1), y(0..n-1), bounds inclusive; n is clamped to the arrays.
float GetFirstValueInRange(float lo, float hi, std::span<const float> x, std::span<const float> y, int32_t n);
float GetMaxValueInRange(float lo, float hi, std::span<const float> x, std::span<const float> y, int32_t n,
                         float start);
float GetMinValueInRange(float lo, float hi, std::span<const float> x, std::span<const float> y, int32_t n,
                         float start);

// Code arrays are 1-based: codes[1..len] (codes[0] unused). A NUL at a position
// above 2 ends the text there. Writes only within the array.
void StringToCharCodes(const std::string& s, std::span<int32_t> codes, int32_t& len);
void CharCodesToString(std::string& s, std::span<const int32_t> codes, int32_t n);

void ShowGraphShownMessage(int32_t kind);

}  // namespace zentor
