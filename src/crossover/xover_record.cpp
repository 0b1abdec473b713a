#include "crossover/xover_record.h"

#include <QFile>
#include <limits>
#include <cmath>

#include "base/binary_io.h"
#include "core/helpers.h"
#include "mainwindow/filter_file.h"
#include "platform/dialogs.h"

namespace zentor {

namespace {

template <class Io, class R>
void VisitRecord(Io& io, R& r) {
  io.Long(r.Ways);
  io.Long(r.HPType);
  io.Long(r.LPType);
  io.Long(r.HPOrder);
  io.Long(r.LPOrder);
  io.Single(r.HPCorner);
  io.Single(r.LPCorner);
  io.Long(r.HPOn);
  io.Long(r.LPOn);
  io.Long(r.HP2Type);
  io.Long(r.LP2Type);
  io.Long(r.HP2Order);
  io.Long(r.LP2Order);
  io.Single(r.HP2Corner);
  io.Single(r.LP2Corner);
  io.Long(r.HP2On);
  io.Long(r.LP2On);
  io.Single(r.Shelf1Level);
  io.Long(r.Shelf1On);
  io.Long(r.Shelf1Freq);
  io.Single(r.Shelf2Level);
  io.Long(r.Shelf2On);
  io.Long(r.Shelf2Freq);
  io.Single(r.GainDb);
  io.Single(r.DelayMs);
  io.Integer(r.InvertFlag);
  io.Longs(r.EQPathCodes);
  io.Long(r.EQPathLength);
  io.Long(r.EQFilterCount);
  io.Long(r.EQFileOn);
  io.Long(r.EQEmulationCode);
  io.Doubles(r.EQFreq);
  io.Doubles(r.EQQ1);
  io.Doubles(r.EQQ2);
  io.Bytes(r.Spare);
}

bool OrderValid(int32_t o) { return o >= 0 && o <= 8; }

bool RecordValid(const XoverSetRecord& r) {
  if (r.EQPathLength < 0 || r.EQPathLength > kXoverMaxPath) return false;
  if (r.EQFilterCount < 0 || r.EQFilterCount > kXoverEQFilters) return false;
  if (!OrderValid(r.HPOrder) || !OrderValid(r.LPOrder) || !OrderValid(r.HP2Order) || !OrderValid(r.LP2Order))
    return false;
  for (float v : {r.HPCorner, r.LPCorner, r.HP2Corner, r.LP2Corner, r.Shelf1Level, r.Shelf2Level, r.GainDb,
                  r.DelayMs})
    if (!std::isfinite(v)) return false;
  for (const auto* a : {&r.EQFreq, &r.EQQ1, &r.EQQ2})
    for (double v : *a)
      if (!std::isfinite(v)) return false;
  return true;
}

}  // namespace

void AppendXoverRecord(std::vector<uint8_t>& out, const XoverSetRecord& r) {
  BinaryWriter w;
  VisitRecord(w, r);
  out.insert(out.end(), w.data().begin(), w.data().end());
}

std::vector<uint8_t> BuildXoverFile(const XoverSetArray& sets) {
  std::vector<uint8_t> out;
  out.reserve(kXoverFileBytes);
  for (const XoverSetRecord& r : sets) AppendXoverRecord(out, r);
  return out;
}

bool ParseXoverFile(std::span<const uint8_t> bytes, XoverSetArray& sets) {
  if (bytes.size() < kXoverFileBytes) return false;
  BinaryReader rd(bytes.first(kXoverFileBytes));
  XoverSetArray staged;
  for (XoverSetRecord& r : staged) {
    VisitRecord(rd, r);
    if (!rd.ok() || !RecordValid(r)) return false;
  }
  sets = staged;
  return true;
}

bool ReadXoverFile(const std::string& path, XoverSetArray& sets) {
  // A longer file is read as far as the three records reach.
  std::string why = FileReadProblem(path, std::numeric_limits<int64_t>::max());
  QFile f(QString::fromStdString(path));
  if (why.empty() && !f.open(QIODevice::ReadOnly)) why = "cannot be opened";
  if (why.empty()) {
    const QByteArray head = f.read(static_cast<qint64>(kXoverFileBytes));
    if (head.size() < static_cast<qsizetype>(kXoverFileBytes)) why = "cut short at byte " + std::to_string(head.size());
    else if (!ParseXoverFile(std::span(reinterpret_cast<const uint8_t*>(head.data()), static_cast<size_t>(head.size())), sets))
      why = "not a Zentor crossover file";
  }
  if (!why.empty()) MsgBox("EQ File Error 4332: " + path + ": " + why);
  return why.empty();
}

bool WriteXoverFile(const std::string& path, const XoverSetArray& sets) {
  const std::vector<uint8_t> bytes = BuildXoverFile(sets);
  const bool ok = WriteWholeFileAtomic(path, bytes);
  if (!ok) MsgBox("EQ File Error 4337");
  return ok;
}

void ClearXoverSets(XoverSetArray& sets) {
  for (XoverSetRecord& r : sets) {
    const int32_t ways = r.Ways;
    const int16_t invert = r.InvertFlag;
    const auto codes = r.EQPathCodes;
    const auto spare = r.Spare;
    const int32_t used = std::clamp(r.EQFilterCount, 0, kXoverEQFilters);
    auto freq = r.EQFreq, q1 = r.EQQ1, q2 = r.EQQ2;
    for (int32_t k = 0; k < used; ++k) freq[size_t(k)] = q1[size_t(k)] = q2[size_t(k)] = 0;
    r = XoverSetRecord{};
    r.Ways = ways;
    r.InvertFlag = invert;
    r.EQPathCodes = codes;
    r.Spare = spare;
    r.EQFreq = freq;
    r.EQQ1 = q1;
    r.EQQ2 = q2;
  }
}

std::string XoverTypeCaption(int32_t code) {
  switch (code) {
    case 0: return "No Filter";
    case 10: return "Constant Sum";
    case 11: return "Butterworth";
    case 12: return "Bessel";
    case 13: return "Linkwitz-Riley";
    default: return {};
  }
}

std::string XoverEQPath(const XoverSetRecord& r) {
  std::string s;
  CharCodesToString(s, r.EQPathCodes, std::clamp(r.EQPathLength, 0, kXoverMaxPath));
  return s;
}

bool LoadXoverEQFile(const std::string& path, std::span<FilterRecord, kXoverEQFilters> filters) {
  std::vector<uint8_t> bytes;
  FilterSetImage image;
  const bool ok = ReadWholeFile(path, bytes, static_cast<int64_t>(kEQFileHeaderBytes + kFilterRecordBytes * 75)) &&
                  ParseEQFile(bytes, image) && image.Filters.size() <= size_t(kXoverEQFilters);
  if (!ok) {
    MsgBox("EQ File Error 4337");
    return false;
  }
  for (FilterRecord& f : filters) f = FilterRecord{};
  for (size_t k = 0; k < image.Filters.size(); ++k) filters[k] = image.Filters[k];
  filters[0].Count = static_cast<int32_t>(image.Filters.size());
  return true;
}

bool TakeXoverEQFilters(XoverSetRecord& set, const std::string& path,
                        std::span<const FilterRecord, kXoverEQFilters> filters) {
  const std::string latin = Utf8ToLatin1(path);
  if (latin.size() > size_t(kXoverMaxPath)) return false;
  const int32_t n = std::clamp(filters[0].Count, 0, kXoverEQFilters);
  int32_t len = 0;
  StringToCharCodes(path, set.EQPathCodes, len);
  set.EQPathLength = len;
  set.EQEmulationCode = filters[0].EQEmulationCode;
  set.EQFilterCount = n;
  for (int32_t k = 0; k < n; ++k) {
    set.EQFreq[size_t(k)] = filters[size_t(k)].Freq1;
    set.EQQ1[size_t(k)] = filters[size_t(k)].Q1;
    set.EQQ2[size_t(k)] = filters[size_t(k)].Q2;
  }
  return true;
}

}  // namespace zentor
