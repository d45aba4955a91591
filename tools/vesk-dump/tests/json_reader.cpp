// The test reader over nlohmann-json: the library does the grammar (and rejects invalid
// UTF-8); this file checks the shape vesk-dump promises and builds the key tree.
#include "json_reader.h"

#include <algorithm>
#include <initializer_list>

#include <nlohmann/json.hpp>

namespace vesk::dump::test {
namespace {

using Json = nlohmann::ordered_json;

// The members are `names` in that order, each followed by any of `optional` (which other
// members may be is not this reader's to decide; their kinds are checked where read).
bool has_in_order(const Json& object, std::initializer_list<const char*> names,
                  std::initializer_list<const char*> optional) {
  if (!object.is_object()) return false;
  auto member = object.begin();
  for (const char* n : names) {
    if (member == object.end() || member.key() != n) return false;
    ++member;
    while (member != object.end() &&
           std::find(optional.begin(), optional.end(), member.key()) != optional.end()) {
      ++member;
    }
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
  if (!has_in_order(j, {"name", "values", "subkeys"},
                    {"last_written", "subkeys_not_read", "subkeys_not_read_reason", "unreadable"})) {
    error = "a key is not {\"name\", \"values\", \"subkeys\"} in that order";
    return false;
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
  for (const Json& v : values) {
    if (!has_in_order(v, {"name", "type", "data"}, {"text", "strings", "number", "unreadable"})) {
      error = "a value is not {\"name\", \"type\", \"data\"} in that order";
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
