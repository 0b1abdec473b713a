#include "cli/json.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

#include "base/binary_io.h"

namespace zentor::cli {

namespace {

template <typename T>
std::string Shortest(T x) {
  if (x == 0) return "0";
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

// Text that is not UTF-8 (a Latin-1 file name or note) is read as Latin-1, so
// that the output is always JSON.
void Quote(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : AsUtf8(s)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          static const char* hex = "0123456789abcdef";
          out += "\\u00";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

}  // namespace

std::string NumberText(double x) { return Shortest(x); }
std::string NumberText(float x) { return Shortest(x); }

Json& Json::Set(const std::string& key, Json value) {
  if (!std::holds_alternative<Object>(v_)) v_ = Object{};
  auto& o = std::get<Object>(v_);
  for (auto& [k, v] : o) {
    if (k == key) {
      v = std::move(value);
      return v;
    }
  }
  o.emplace_back(key, std::move(value));
  return o.back().second;
}

Json& Json::Push(Json value) {
  if (!std::holds_alternative<Array>(v_)) v_ = Array{};
  auto& a = std::get<Array>(v_);
  a.push_back(std::move(value));
  return a.back();
}

std::string Json::Dump() const {
  std::string out;
  DumpTo(out, "");
  return out;
}

void Json::DumpTo(std::string& out, const std::string& path) const {
  if (std::holds_alternative<std::monostate>(v_)) {
    out += "null";
  } else if (const bool* b = std::get_if<bool>(&v_)) {
    out += *b ? "true" : "false";
  } else if (const double* d = std::get_if<double>(&v_)) {
    if (!std::isfinite(*d)) throw std::domain_error(path);
    out += Shortest(*d + 0.0);
  } else if (const SingleNumber* f = std::get_if<SingleNumber>(&v_)) {
    if (!std::isfinite(f->x)) throw std::domain_error(path);
    out += Shortest(f->x + 0.0f);
  } else if (const std::string* s = std::get_if<std::string>(&v_)) {
    Quote(out, *s);
  } else if (const Array* a = std::get_if<Array>(&v_)) {
    out += '[';
    for (size_t i = 0; i < a->size(); ++i) {
      if (i > 0) out += ", ";
      (*a)[i].DumpTo(out, path + "[" + std::to_string(i) + "]");
    }
    out += ']';
  } else {
    const Object& o = std::get<Object>(v_);
    out += '{';
    for (size_t i = 0; i < o.size(); ++i) {
      if (i > 0) out += ", ";
      Quote(out, o[i].first);
      out += ": ";
      o[i].second.DumpTo(out, path.empty() ? o[i].first : path + "." + o[i].first);
    }
    out += '}';
  }
}

std::string Json::Inline() const {
  if (const std::string* s = std::get_if<std::string>(&v_)) return PrintableText(*s);
  if (const Array* a = std::get_if<Array>(&v_)) {
    std::string out;
    for (const Json& e : *a) out += (out.empty() ? "" : ", ") + e.Inline();
    return out;
  }
  if (const Object* o = std::get_if<Object>(&v_)) {
    std::string out;
    for (const auto& [k, e] : *o) out += (out.empty() ? "" : "  ") + k + ": " + e.Inline();
    return out;
  }
  if (const double* d = std::get_if<double>(&v_); d && !std::isfinite(*d)) return "nan";
  if (const SingleNumber* f = std::get_if<SingleNumber>(&v_); f && !std::isfinite(f->x)) return "nan";
  return Dump();
}

std::string Json::Outline() const {
  const Object* o = std::get_if<Object>(&v_);
  if (o == nullptr) return Inline() + "\n";
  std::string out;
  for (const auto& [k, e] : *o) {
    const Array* a = std::get_if<Array>(&e.v_);
    if (a != nullptr && !a->empty() && std::holds_alternative<Object>(a->front().v_)) {
      out += k + ":\n";
      for (const Json& item : *a) out += "  " + item.Inline() + "\n";
    } else {
      out += k + ": " + e.Inline() + "\n";
    }
  }
  return out;
}

}  // namespace zentor::cli
