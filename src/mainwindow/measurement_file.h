// The measurement set file (.cfa): everything needed to bring a result set back
// as it was saved (samples, headers, the two stored graph frames, the display
// state, the calibration in force and the user's notes), its record codecs, and
// the save, open and add commands built on them.
//
// Readers parse the whole file into a staging copy and validate every count,
// length and scale before anything in memory changes; writers build the file in
// memory and replace the old one only once the new one is complete.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/binary_io.h"
#include "core/records.h"
#include "display/graph_frame.h"
#include "display/view_state.h"

namespace zentor {

constexpr int32_t kMaxNotesLength = 15000;
constexpr int32_t kMaxMicCalNotesLength = 400;

// The notes stored with a set: one character code per Integer, 1-based.
struct UserNotesBlockRecord {
  int32_t NotesLength = 0;  // 0 to 15000
  std::array<int16_t, kMaxNotesLength + 1> NotesCodes{};
  std::array<int16_t, kMaxMicCalNotesLength + 1> MicCalNotesCodes{};
  int32_t MicCalNotesLength = 0;  // above 400 only in a damaged file; read back as 399
};

extern UserNotesBlockRecord UserNotesBlock;
// The folder the open dialogs start in (measurement sets and Qel files).
extern std::string InitialOpenFolder;

// On-file sizes of the fixed records.
constexpr size_t kGraphFrameFixedBytes = 1724;  // plus the three title lengths
constexpr size_t kDisplayConfigBytes = 36;
constexpr size_t kImpulseDisplayConfigBytes = 78;
constexpr size_t kMicCalTableFixedBytes = 8014;  // plus the name length
constexpr size_t kUserNotesBlockBytes = 30812;
constexpr size_t kLongestFileString = 2 + 32767;  // length word and characters
// The largest legal file: 32 full results, every string at its longest.
constexpr int64_t kLargestMeasurementFileBytes =
    4 + 8 + 2 * (kGraphFrameFixedBytes + 3 * (kLongestFileString - 2)) + kDisplayConfigBytes +
    kImpulseDisplayConfigBytes + kMaxResults * (kMeasurementHeaderFileBytes + size_t{4} * kMaxSamples) +
    kMicCalTableFixedBytes + (kLongestFileString - 2) + kUserNotesBlockBytes;

// Record codecs, member by member. Readers only decode (and fail on a short
// stream); the value checks belong to the file readers.
void WriteMeasurementHeader(BinaryWriter& w, const MeasurementHeader& h);
bool ReadMeasurementHeader(BinaryReader& r, MeasurementHeader& h);
void WriteGraphFrame(BinaryWriter& w, const GraphFrame& f);
bool ReadGraphFrame(BinaryReader& r, GraphFrame& f);
void WriteDisplayConfig(BinaryWriter& w, const DisplayConfigRecord& d);
bool ReadDisplayConfig(BinaryReader& r, DisplayConfigRecord& d);
void WriteImpulseDisplayConfig(BinaryWriter& w, const ImpulseDisplayConfigRecord& d);
bool ReadImpulseDisplayConfig(BinaryReader& r, ImpulseDisplayConfigRecord& d);
void WriteMicCalTable(BinaryWriter& w, const MicCalTable& t);
bool ReadMicCalTable(BinaryReader& r, MicCalTable& t);
void WriteUserNotesBlock(BinaryWriter& w, const UserNotesBlockRecord& b);
bool ReadUserNotesBlock(BinaryReader& r, UserNotesBlockRecord& b);

// A whole .cfa file, parsed and validated but not yet applied. The samples stay
// in the file image (as stored, multiplied by each result's LevelMultiplier).
struct MeasurementSetImage {
  int32_t SamplesPerResult = 0;  // S
  std::array<int16_t, 4> ButtonValues{};
  GraphFrame TimeFrame, FreqFrame;
  DisplayConfigRecord Display{};
  ImpulseDisplayConfigRecord ImpulseDisplay{};
  std::vector<MeasurementHeader> Headers;  // header 0 always; N in all
  std::span<const uint8_t> Samples;        // 4 x S x N bytes
  MicCalTable Cal;
  UserNotesBlockRecord Notes;

  int32_t Count() const { return Headers.empty() ? 0 : Headers[0].NumInSet; }
  // Sample j of result i as stored on file.
  float StoredSample(int32_t i, int32_t j) const;
};

// Parses file bytes; with headerOnly the parse ends after header 0 (the add
// command refuses on it before reading on). False when anything is short or out
// of bounds; image is then in an unspecified state and must not be applied. `why`
// (when given) receives the reason: cut short, a count out of range, not a set.
bool ParseMeasurementFile(std::span<const uint8_t> bytes, MeasurementSetImage& image, bool headerOnly = false,
                          std::string* why = nullptr);
// Reads and parses a file (bytes keep the samples the image points into); false
// with "PATH: reason" in why.
bool ReadMeasurementSetFile(const std::string& path, std::vector<uint8_t>& bytes, MeasurementSetImage& image,
                            std::string& why, bool headerOnly = false);
// The bytes WriteMeasurementFile puts on disk for the current set, with the four
// view-button values given.
std::vector<uint8_t> BuildMeasurementFile(const std::array<int16_t, 4>& buttonValues);

// Writes the whole set to the path (through a temporary file renamed over it);
// "Error 8567" and false when the file cannot be written. Sets the period
// exponents of every held result to those of result 0 first.
bool WriteMeasurementFile(const std::string& path);
// Replaces the set, frames, display state, calibration and notes from the path;
// on any fault "Error 4927: Error opening file", false, and nothing changed.
bool LoadMeasurementFile(const std::string& path);
// Puts a parsed file in place of the set, frames, display state, calibration and
// notes, without touching any window.
void ApplyMeasurementSet(const MeasurementSetImage& m);
// The save command; true only when the file was written.
bool SaveMeasurementFile();
void OpenMeasurementFile();
void AddMeasurementFile();

// The windows that show the loaded set outside the main graph (crossover,
// large room, waterfall) register how to close themselves; a closer returns false
// when its window refused to close. Unset closers stand for windows not open.
struct ExtDisplayLinks {
  std::function<bool()> UnloadXoverForm;
  std::function<bool()> UnloadDataIntegrityForm;
  std::function<bool()> UnloadThreeDForm;
};
extern ExtDisplayLinks ExtDisplayHooks;

// Rebuilds the applied-filter list box from AppliedFilters; the equaliser design
// sets it. Unset, the list box is emptied and the layout redone.
struct FileCommandLinks {
  std::function<void()> UpdateAppliedFiltersList;
};
extern FileCommandLinks FileCommandHooks;

// Text <-> notes codes: characters outside single-byte text become "?".
std::string CodesToText(std::span<const int16_t> codes, int32_t length);
int32_t TextToCodes(const std::string& utf8, std::span<int16_t> codes, int32_t maxLength);

}  // namespace zentor
