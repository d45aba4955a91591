// Recursive descent over a generic JSON value, then a check of the document's shape.
#include "json_reader.h"

#include <map>
#include <memory>

namespace vesk::dump::test {
namespace {

struct Json {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = Kind::kNull;
  std::string text;  // a string's UTF-8, or a number's digits
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;
};

class Parser {
 public:
  explicit Parser(const std::string& s) : s_(s) {}

  bool document(Json& out) {
    space();
    if (!value(out, 0)) return false;
    space();
    return at_ == s_.size() || fail("text after the document");
  }
  std::string error() const { return error_ + " at byte " + std::to_string(at_); }

 private:
  bool fail(const std::string& what) {
    if (error_.empty()) error_ = what;
    return false;
  }
  void space() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t')) ++at_;
  }
  bool eat(char c) {
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool word(const char* w) {
    for (const char* p = w; *p != '\0'; ++p) {
      if (!eat(*p)) return fail(std::string("expected ") + w);
    }
    return true;
  }

  bool value(Json& out, int depth) {
    if (depth > 10000) return fail("nested too deep");
    if (at_ >= s_.size()) return fail("unexpected end");
    const char c = s_[at_];
    if (c == '{') return object(out, depth);
    if (c == '[') return array(out, depth);
    if (c == '"') {
      out.kind = Json::Kind::kString;
      return string(out.text);
    }
    if (c == 'n') return word("null");
    if (c == 't' || c == 'f') {
      out.kind = Json::Kind::kBool;
      return word(c == 't' ? "true" : "false");
    }
    out.kind = Json::Kind::kNumber;
    return number(out.text);
  }

  bool object(Json& out, int depth) {
    out.kind = Json::Kind::kObject;
    ++at_;
    space();
    if (eat('}')) return true;
    do {
      space();
      std::string name;
      if (!string(name)) return false;
      space();
      if (!eat(':')) return fail("expected ':'");
      space();
      Json v;
      if (!value(v, depth + 1)) return false;
      out.members.emplace_back(std::move(name), std::move(v));
      space();
    } while (eat(','));
    return eat('}') || fail("expected '}'");
  }

  bool array(Json& out, int depth) {
    out.kind = Json::Kind::kArray;
    ++at_;
    space();
    if (eat(']')) return true;
    do {
      space();
      Json v;
      if (!value(v, depth + 1)) return false;
      out.items.push_back(std::move(v));
      space();
    } while (eat(','));
    return eat(']') || fail("expected ']'");
  }

  bool number(std::string& out) {
    const std::size_t start = at_;
    eat('-');
    if (eat('0')) {
    } else if (at_ < s_.size() && s_[at_] >= '1' && s_[at_] <= '9') {
      while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
    } else {
      return fail("bad value");
    }
    if (eat('.')) {
      if (!digits()) return fail("bad fraction");
    }
    if (eat('e') || eat('E')) {
      if (!eat('+')) eat('-');
      if (!digits()) return fail("bad exponent");
    }
    out = s_.substr(start, at_ - start);
    return true;
  }
  bool digits() {
    const std::size_t start = at_;
    while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
    return at_ > start;
  }

  static void put_utf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }

  bool hex4(std::uint32_t& v) {
    v = 0;
    for (int i = 0; i < 4; ++i, ++at_) {
      if (at_ >= s_.size()) return fail("short \\u escape");
      const char c = s_[at_];
      const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (d < 0) return fail("bad \\u escape");
      v = v << 4 | static_cast<std::uint32_t>(d);
    }
    return true;
  }

  // One UTF-8 character at at_, checked for shortest form and range.
  bool utf8_char(std::string& out) {
    const auto b = static_cast<unsigned char>(s_[at_]);
    int n = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
    if (n == 0 || at_ + n > s_.size()) return fail("invalid UTF-8");
    std::uint32_t c = b & (0x7F >> n);
    for (int i = 1; i < n; ++i) {
      const auto k = static_cast<unsigned char>(s_[at_ + i]);
      if ((k & 0xC0) != 0x80) return fail("invalid UTF-8");
      c = c << 6 | (k & 0x3F);
    }
    if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF)) {
      return fail("invalid UTF-8");
    }
    out.append(s_, at_, static_cast<std::size_t>(n));
    at_ += static_cast<std::size_t>(n);
    return true;
  }

  bool string(std::string& out) {
    if (!eat('"')) return fail("expected a string");
    while (true) {
      if (at_ >= s_.size()) return fail("unterminated string");
      const auto c = static_cast<unsigned char>(s_[at_]);
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c < 0x20) return fail("raw control character in a string");
      if (c >= 0x80) {
        if (!utf8_char(out)) return false;
        continue;
      }
      ++at_;
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (at_ >= s_.size()) return fail("unterminated escape");
      const char e = s_[at_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          std::uint32_t v;
          if (!hex4(v)) return false;
          if (v >= 0xD800 && v <= 0xDBFF) {
            std::uint32_t low;
            if (!eat('\\') || !eat('u') || !hex4(low) || low < 0xDC00 || low > 0xDFFF) {
              return fail("unpaired surrogate escape");
            }
            v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
          } else if (v >= 0xDC00 && v <= 0xDFFF) {
            return fail("unpaired surrogate escape");
          }
          put_utf8(out, v);
          break;
        }
        default: return fail("bad escape");
      }
    }
  }

  const std::string& s_;
  std::size_t at_ = 0;
  std::string error_;
};

const Json* member(const Json& object, const std::string& name) {
  for (const auto& [n, v] : object.members) {
    if (n == name) return &v;
  }
  return nullptr;
}

bool has_exactly(const Json& object, std::initializer_list<const char*> names) {
  if (object.kind != Json::Kind::kObject || object.members.size() != names.size()) return false;
  std::size_t i = 0;
  for (const char* n : names) {
    if (object.members[i++].first != n) return false;
  }
  return true;
}

bool to_key(const Json& j, DumpedKey& out, std::string& error) {
  if (!has_exactly(j, {"name", "values", "subkeys"})) {
    error = "a key is not {\"name\", \"values\", \"subkeys\"} in that order";
    return false;
  }
  const Json& name = *member(j, "name");
  const Json& values = *member(j, "values");
  const Json& subkeys = *member(j, "subkeys");
  if (name.kind != Json::Kind::kString || values.kind != Json::Kind::kArray ||
      subkeys.kind != Json::Kind::kArray) {
    error = "a key's members have the wrong kinds";
    return false;
  }
  out.name = name.text;
  for (const Json& v : values.items) {
    if (!has_exactly(v, {"name", "type", "data"})) {
      error = "a value is not {\"name\", \"type\", \"data\"} in that order";
      return false;
    }
    const Json& type = *member(v, "type");
    const Json& data = *member(v, "data");
    DumpedValue value;
    value.name = member(v, "name")->text;
    if (member(v, "name")->kind != Json::Kind::kString || type.kind != Json::Kind::kNumber ||
        type.text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoull(type.text) > 0xFFFFFFFFull) {
      error = "a value's name or type is malformed";
      return false;
    }
    value.type = static_cast<std::uint32_t>(std::stoull(type.text));
    if (data.kind == Json::Kind::kString) {
      if (data.text.size() % 2 != 0 || data.text.find_first_not_of("0123456789abcdef") != std::string::npos) {
        error = "a value's data is not lowercase hex";
        return false;
      }
      value.data = data.text;
    } else if (data.kind != Json::Kind::kNull) {
      error = "a value's data is neither hex nor null";
      return false;
    }
    out.values.push_back(std::move(value));
  }
  for (const Json& k : subkeys.items) {
    out.subkeys.emplace_back();
    if (!to_key(k, out.subkeys.back(), error)) return false;
  }
  return true;
}

}  // namespace

std::optional<DumpedKey> read_dump_json(const std::string& text, std::string& error) {
  Parser parser(text);
  Json doc;
  if (!parser.document(doc)) {
    error = parser.error();
    return std::nullopt;
  }
  DumpedKey key;
  if (!to_key(doc, key, error)) return std::nullopt;
  return key;
}

std::string first_difference(const DumpedKey& a, const DumpedKey& b) {
  if (a.name != b.name) return a.name + ": named " + b.name + " on the other side";
  const std::string here = a.name;
  if (a.values.size() != b.values.size()) {
    return here + ": " + std::to_string(a.values.size()) + " values against " +
           std::to_string(b.values.size());
  }
  for (std::size_t i = 0; i < a.values.size(); ++i) {
    const DumpedValue& x = a.values[i];
    const DumpedValue& y = b.values[i];
    if (!(x == y)) {
      return here + ": value " + std::to_string(i) + " \"" + x.name + "\" type " +
             std::to_string(x.type) + " data " + x.data.value_or("null") + " against \"" +
             y.name + "\" type " + std::to_string(y.type) + " data " + y.data.value_or("null");
    }
  }
  if (a.subkeys.size() != b.subkeys.size()) {
    return here + ": " + std::to_string(a.subkeys.size()) + " subkeys against " +
           std::to_string(b.subkeys.size());
  }
  for (std::size_t i = 0; i < a.subkeys.size(); ++i) {
    const std::string d = first_difference(a.subkeys[i], b.subkeys[i]);
    if (!d.empty()) return here + "\\" + d;
  }
  return "";
}

}  // namespace vesk::dump::test
