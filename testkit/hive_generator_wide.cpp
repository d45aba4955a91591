// The generator's wide preset, the benchmark's hive: ten keys under the root, each over one
// wide "lf" list, then a few levels of narrower ones, with values of every type and some
// large data, in the registry's order. Its own names and mix, apart from the SOFTWARE-like
// recipe in hive_generator.cpp, so that benchmark figures stay comparable over time.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "hive_generator.h"
#include "random.h"
#include "vesk/hive.hpp"

namespace vesk::test {
namespace {

enum class Style { kGuid, kProgId, kWord, kExtension, kService };

const std::vector<std::string> kSyllables = {
    "win",  "log",  "on",    "ker",   "be", "ros",  "net", "work", "dev",   "ice", "tcp",  "ip",
    "sys",  "tem",  "pol",   "icy",   "au", "dio",  "vid", "eo",   "print", "er",  "disk", "class",
    "font", "link", "cache", "shell", "ex", "plor", "run", "time", "zone",  "map", "ping"};

const std::vector<std::string> kVendors = {
    "Adobe",  "Acme",   "Contoso", "Fabrikam", "Intel",    "Litware", "Microsoft", "Mozilla",
    "Nvidia", "Oracle", "Realtek", "Tailspin", "VideoLAN", "WingTip", "Xerox",     "Zune"};

// Subkey names that recur under many keys of a real hive.
const std::vector<std::string> kCommonKeys = {
    "0000",      "0001",          "Capabilities",  "Control",    "DefaultIcon", "Elevation",
    "Enum",      "Instance",      "Interface",     "Linkage",    "Parameters",  "Performance",
    "ProgID",    "Properties",    "Security",      "Settings",   "shell",       "shellex",
    "Software",  "TypeLib",       "Version",       "_Defaults",  "InprocServer32",
    "LocalServer32", "Implemented Categories",     "VersionIndependentProgID"};

const std::vector<std::string> kValueNames = {
    "DisplayName",  "ImagePath",       "Start",          "Type",    "ErrorControl",
    "Description",  "ObjectName",      "ThreadingModel", "Version", "InstallDate",
    "Publisher",    "UninstallString", "Path",           "Flags",   "Attributes",
    "Capabilities", "DependOnService", "Group",          "Tag",     "FriendlyName",
    "AppID",        "LocalizedString", "Owner",          "Data"};

std::string word(Random& r) {
  std::string w;
  const std::uint32_t parts = 2 + r.below(3);
  for (std::uint32_t i = 0; i < parts; ++i) w += r.pick(kSyllables);
  w[0] = static_cast<char>(w[0] - 'a' + 'A');
  if (r.percent(20)) w += std::to_string(r.below(100));
  return w;
}

std::string hex(std::uint64_t v, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = kDigits[v & 15];
  return s;
}

std::string name_in(Style style, Random& r) {
  switch (style) {
    case Style::kGuid:
      return "{" + hex(r.next(), 8) + "-" + hex(r.next(), 4) + "-" + hex(r.next(), 4) + "-" +
             hex(r.next(), 4) + "-" + hex(r.next(), 12) + "}";
    case Style::kProgId:
      return r.pick(kVendors) + "." + word(r) + "." + std::to_string(1 + r.below(20));
    case Style::kWord:
      return word(r);
    case Style::kExtension: {
      std::string ext = ".";
      for (std::uint32_t i = 0, n = 2 + r.below(4); i < n; ++i) {
        ext += static_cast<char>('a' + r.below(26));
      }
      return ext;
    }
    case Style::kService:
      return (r.percent(30) ? "_" : "") + word(r) + (r.percent(30) ? "Svc" : "");
  }
  return word(r);
}

// `count` distinct names (ignoring case), sorted as an "lf" list wants them.
std::vector<std::string> sorted_names(std::vector<std::string> names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return compare_names(a, b) < 0;
  });
  names.erase(std::unique(names.begin(), names.end(),
                          [](const std::string& a, const std::string& b) {
                            return compare_names(a, b) == 0;
                          }),
              names.end());
  return names;
}

std::vector<std::string> fresh_names(Style style, std::size_t count, Random& r) {
  std::vector<std::string> names;
  while (names.size() < count) {
    for (std::size_t i = names.size(); i < count; ++i) names.push_back(name_in(style, r));
    names = sorted_names(names);
  }
  return names;
}

std::vector<std::string> common_names(std::size_t count, Random& r) {
  std::vector<std::string> names = kCommonKeys;
  for (std::size_t i = names.size(); i > 1; --i) std::swap(names[i - 1], names[r.below(i)]);
  names.resize(std::min(count, names.size()));
  return sorted_names(names);
}

std::string text(Random& r) {
  switch (r.below(4)) {
    case 0:
      return "%SystemRoot%\\System32\\" + word(r) + ".dll";
    case 1:
      return "C:\\Program Files\\" + r.pick(kVendors) + "\\" + word(r) + "\\" + word(r) + ".exe";
    case 2:
      return word(r) + " " + word(r) + (r.percent(30) ? " \xC3\xA9t\xC3\xA9" : "");
    default:
      return std::to_string(r.below(10));  // two bytes and a zero unit: stored inline
  }
}

Bytes random_bytes(std::size_t n, Random& r) {
  Bytes b(n);
  for (auto& byte : b) byte = static_cast<std::uint8_t>(r.next());
  return b;
}

// One value of a type drawn from a mix like a real hive's: mostly text and numbers,
// some binary, every other type now and then, and now and then kilobytes of data.
void add_random_value(HiveBuilder& b, const KeyRef& key, const std::string& name, Random& r) {
  const std::uint32_t roll = r.below(100);
  if (roll < 35) {
    b.add_value(key, name, kTypeString, utf16z(text(r)));
  } else if (roll < 45) {
    b.add_value(key, name, kTypeExpandString, utf16z("%ProgramFiles%\\" + word(r)));
  } else if (roll < 65) {
    b.add_value(key, name, kTypeDword, le32(r.below(1u << 20)));
  } else if (roll < 70) {
    b.add_value(key, name, kTypeQword, random_bytes(8, r));
  } else if (roll < 85) {
    const std::size_t n = r.percent(5) ? 4096 + r.below(12000) : 1 + r.below(160);
    b.add_value(key, name, kTypeBinary, random_bytes(n, r));
  } else if (roll < 92) {
    Bytes multi;
    for (std::uint32_t i = 0, n = 1 + r.below(4); i < n; ++i) {
      const Bytes one = utf16z(word(r));
      multi.insert(multi.end(), one.begin(), one.end());
    }
    multi.push_back(0);
    multi.push_back(0);
    b.add_value(key, name, kTypeMultiString, multi);
  } else {
    static const std::uint32_t kRare[] = {
        kTypeNone,         kTypeDwordBigEndian,         kTypeLink,
        kTypeResourceList, kTypeFullResourceDescriptor, kTypeResourceRequirementsList};
    const std::uint32_t type = kRare[r.below(6)];
    b.add_value(key, name, type, type == kTypeNone ? Bytes{} : random_bytes(r.below(64), r));
  }
}

// Values of `key`; a key on the lookup path gets at least two. Returns a value name.
std::string add_values(HiveBuilder& b, const KeyRef& key, bool on_path, Random& r) {
  std::uint32_t count = r.below(7);
  if (on_path && count < 2) count = 2;
  if (r.percent(10)) b.add_value(key, "", kTypeString, utf16z(text(r)), 0);
  std::vector<std::string> names = kValueNames;
  for (std::size_t i = names.size(); i > 1; --i) std::swap(names[i - 1], names[r.below(i)]);
  for (std::uint32_t i = 0; i < count; ++i) add_random_value(b, key, names[i], r);
  return count == 0 ? std::string() : names[count - 1];
}

struct Path {
  std::string keys;
  std::string value;
};

// How wide each level below a wide list is: 6 keys, then 3, then none to 2.
void add_subtree(HiveBuilder& b, const KeyRef& key, int level, bool on_path, Path& path,
                 Random& r) {
  const std::string value = add_values(b, key, on_path && level == 4, r);
  if (on_path && level == 4) path.value = value;
  const std::size_t width = level == 2 ? 6 : level == 3 ? 3 : level == 4 ? r.below(3) : 0;
  const std::vector<std::string> names =
      level == 2 ? common_names(width, r) : fresh_names(Style::kWord, width, r);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool next_on_path = on_path && level < 4 && i == names.size() / 2;
    if (next_on_path) path.keys += "\\" + names[i];
    add_subtree(b, b.add_key(names[i], key), level + 1, next_on_path, path, r);
  }
}

struct TopKey {
  const char* name;
  Style style;
};

const TopKey kTopKeys[] = {{"Classes", Style::kExtension}, {"Clients", Style::kProgId},
                           {"CLSID", Style::kGuid},        {"Components", Style::kGuid},
                           {"Interface", Style::kGuid},    {"Microsoft", Style::kWord},
                           {"Policies", Style::kWord},     {"Services", Style::kService},
                           {"TypeLib", Style::kGuid},      {"Vendors", Style::kProgId}};

// The whole hive with `wide` keys under each top key; the path runs through CLSID.
Bytes build(std::size_t wide, Path& path) {
  Random r(0x7665736B);  // "vesk"
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  add_values(b, root, false, r);
  std::vector<std::string> top;
  for (const TopKey& t : kTopKeys) top.push_back(t.name);
  top = sorted_names(top);
  for (const std::string& name : top) {
    const TopKey& t = *std::find_if(std::begin(kTopKeys), std::end(kTopKeys),
                                    [&name](const TopKey& k) { return name == k.name; });
    const KeyRef key = b.add_key(name, root);
    add_values(b, key, false, r);
    const std::vector<std::string> names = fresh_names(t.style, wide, r);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const bool on_path = name == "CLSID" && i == names.size() * 2 / 3;
      if (on_path) path.keys = name + "\\" + names[i];
      add_subtree(b, b.add_key(names[i], key), 2, on_path, path, r);
    }
  }
  return b.bytes();
}

}  // namespace


WideHive generate_wide_hive(double megabytes) {
  // The size grows in proportion to the width of the wide lists; one small sample
  // tells the bytes a wide-list entry costs.
  const double target = megabytes * 1024 * 1024;
  Path path;
  const std::size_t sample = 8;
  const double per_entry = static_cast<double>(build(sample, path).size()) / sample;
  const auto wide = static_cast<std::size_t>(std::max(1.0, target / per_entry));
  WideHive hive;
  hive.bytes = build(wide, path);
  hive.lookup_key = path.keys;
  hive.lookup_value = path.value;
  return hive;
}

}  // namespace vesk::test
