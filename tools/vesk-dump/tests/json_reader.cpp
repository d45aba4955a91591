// The test reader over nlohmann-json: the library does the grammar (and rejects invalid
// UTF-8); this file checks the shape vesk-dump promises and builds the key tree.
#include "json_reader.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include <nlohmann/json.hpp>

namespace vesk::dump::test {
namespace {

using Json = nlohmann::ordered_json;

// The members of `object` are `required` in that order, each optional one, if present,
// right after the member named before it in `optional` ({after, name} pairs).
bool has_shape(const Json& object, std::initializer_list<const char*> required,
               std::initializer_list<std::pair<const char*, const char*>> optional = {}) {
  if (!object.is_object()) return false;
  auto member = object.begin();
  std::string previous;
  auto take_optional = [&]() {
    for (bool again = true; again && member != object.end();) {
      again = false;
      for (const auto& [after, name] : optional) {
        if (member != object.end() && previous == after && member.key() == name) {
          previous = name;
          ++member;
          again = true;
        }
      }
    }
  };
  for (const char* n : required) {
    if (member == object.end() || member.key() != n) return false;
    previous = n;
    ++member;
    take_optional();
  }
  return member == object.end();
}

// A name, or null together with a string "unreadable"; false for anything else.
bool read_name(const Json& j, std::string& name, std::optional<std::string>& unreadable) {
  const bool has_reason = j.contains("unreadable");
  if (has_reason && !j["unreadable"].is_string()) return false;
  if (j["name"].is_null() && has_reason) {
    unreadable = j["unreadable"].get<std::string>();
    return true;
  }
  if (!j["name"].is_string() || has_reason) return false;
  name = j["name"].get<std::string>();
  return true;
}

bool to_key(const Json& j, DumpedKey& out, std::string& error) {
  if (!has_shape(j, {"name", "values", "subkeys"},
                 {{"name", "last_written"}, {"last_written", "last_written_filetime"},
                  {"subkeys", "subkeys_not_read"}, {"subkeys_not_read", "subkeys_not_read_reason"},
                  {"subkeys_not_read_reason", "unreadable"}, {"subkeys", "unreadable"},
                  {"subkeys", "values_not_read"}, {"subkeys_not_read_reason", "values_not_read"},
                  {"values_not_read", "values_not_read_reason"},
                  {"values_not_read_reason", "unreadable"}})) {
    error = "a key is not {\"name\", \"values\", \"subkeys\"} in that order";
    return false;
  }
  if (j.contains("last_written")) {
    const Json& t = j["last_written"];
    if (t.is_string()) {
      out.last_written = t.get<std::string>();
    } else if (!t.is_null()) {
      error = "a key's last_written is neither text nor null";
      return false;
    }
  }
  if (j.contains("last_written_filetime")) {
    if (!j["last_written_filetime"].is_string() || !j["last_written"].is_null()) {
      error = "a key's last_written_filetime is not text beside a null time";
      return false;
    }
    out.last_written_filetime = j["last_written_filetime"].get<std::string>();
  }
  const Json& values = j["values"];
  const Json& subkeys = j["subkeys"];
  if (!read_name(j, out.name, out.unreadable) || !values.is_array() || !subkeys.is_array()) {
    error = "a key's members have the wrong kinds";
    return false;
  }
  if (j.contains("subkeys_not_read") || j.contains("subkeys_not_read_reason")) {
    const Json& count = j.value("subkeys_not_read", Json());
    const Json& reason = j.value("subkeys_not_read_reason", Json());
    if (!count.is_number_unsigned() || count.get<std::int64_t>() <= 0 || !reason.is_string()) {
      error = "a key's subkeys_not_read is not a count with its reason";
      return false;
    }
    out.subkeys_not_read = count.get<std::int64_t>();
    out.subkeys_not_read_reason = reason.get<std::string>();
  }
  if (j.contains("values_not_read")) {
    const Json& count = j["values_not_read"];
    if (!count.is_number_unsigned() || count.get<std::int64_t>() <= 0 ||
        !j.value("values_not_read_reason", Json()).is_string()) {
      error = "a key's values_not_read is not a count with its reason";
      return false;
    }
  }
  for (const Json& v : values) {
    if (!has_shape(v, {"name", "type", "data"},
                   {{"data", "text"}, {"data", "strings"}, {"data", "number"},
                    {"data", "unreadable"}, {"text", "unreadable"}, {"strings", "unreadable"},
                    {"number", "unreadable"}})) {
      error = "a value is not {\"name\", \"type\", \"data\"} in that order";
      return false;
    }
    const bool decoded_ok = (!v.contains("text") || v["text"].is_string()) &&
                            (!v.contains("number") || v["number"].is_number_unsigned()) &&
                            (!v.contains("strings") || v["strings"].is_array());
    if (!decoded_ok) {
      error = "a value's decoded data has the wrong kind";
      return false;
    }
    const Json& type = v["type"];
    const Json& data = v["data"];
    DumpedValue value;
    if (!read_name(v, value.name, value.unreadable) || !type.is_number_unsigned() ||
        type.get<std::uint64_t>() > 0xFFFFFFFFull) {
      error = "a value's name or type is malformed";
      return false;
    }
    value.type = static_cast<std::uint32_t>(type.get<std::uint64_t>());
    if (data.is_string()) {
      const std::string hex = data.get<std::string>();
      if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdef") != std::string::npos) {
        error = "a value's data is not lowercase hex";
        return false;
      }
      value.data = hex;
    } else if (!data.is_null()) {
      error = "a value's data is neither hex nor null";
      return false;
    }
    out.values.push_back(std::move(value));
  }
  for (const Json& k : subkeys) {
    out.subkeys.emplace_back();
    if (!to_key(k, out.subkeys.back(), error)) return false;
  }
  return true;
}

}  // namespace

std::optional<DumpedKey> read_dump_json(const std::string& text, std::string& error) {
  Json doc;
  try {
    doc = Json::parse(text);
  } catch (const Json::parse_error& e) {
    error = e.what();
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
