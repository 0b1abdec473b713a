// A small JSON value for the command line's --json output: objects keep their
// keys in the order they were set, numbers are written with a full stop in every
// locale, and a value that is not a finite number is refused rather than written.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace zentor::cli {

class Json {
 public:
  using Array = std::vector<Json>;
  using Object = std::vector<std::pair<std::string, Json>>;

  Json() = default;  // null
  Json(std::nullptr_t) {}
  Json(bool b) : v_(b) {}
  Json(int32_t n) : v_(static_cast<double>(n)) {}
  Json(int64_t n) : v_(static_cast<double>(n)) {}
  // A Single keeps its own shortest form ("46.07", not 46.0699996948).
  Json(float x) : v_(SingleNumber{x}) {}
  Json(double x) : v_(x) {}
  Json(const char* s) : v_(std::string(s)) {}
  Json(std::string s) : v_(std::move(s)) {}
  Json(Array a) : v_(std::move(a)) {}
  template <typename T>
  Json(const std::optional<T>& o) {
    if (o) *this = Json(*o);
  }

  static Json MakeObject() { Json j; j.v_ = Object{}; return j; }
  static Json MakeArray() { Json j; j.v_ = Array{}; return j; }

  // Objects: sets or replaces a key. Arrays: appends.
  Json& Set(const std::string& key, Json value);
  Json& Push(Json value);

  // The text of the value; throws std::domain_error naming the key of a
  // number that is not finite.
  std::string Dump() const;
  // The same for a reader: one "key: value" line per key, a list of objects one
  // indented line per entry, strings unquoted, no value refused.
  std::string Outline() const;

 private:
  struct SingleNumber { float x; };
  void DumpTo(std::string& out, const std::string& path) const;
  std::string Inline() const;
  std::variant<std::monostate, bool, double, SingleNumber, std::string, Array, Object> v_;
};

// A number as text with a full stop and no exponent for ordinary magnitudes.
std::string NumberText(double x);
std::string NumberText(float x);

}  // namespace zentor::cli
