// Walks a hive through vesk/hive.hpp as a host would and prints what it reads, one line
// per key, value and skipped run, for the differential test to set beside vesk-dump's
// JSON and the Python module's walk:
//   K depth name       name in hex, "-" when the library does not read it whole
//   V name type data   data in hex, "-" when it cannot be read
//   S items first last at unread
//   R reason           the hive was refused
// Usage: walk_hpp [--ignore-dirty] FILE
#include <cstdio>
#include <string>

#include "vesk/hive.hpp"

namespace {

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out.empty() ? "=" : out;
}

}  // namespace

int main(int argc, char** argv) {
  const bool dirty = argc == 3 && std::string(argv[1]) == "--ignore-dirty";
  if (argc != (dirty ? 3 : 2)) {
    std::fprintf(stderr, "usage: walk_hpp [--ignore-dirty] FILE\n");
    return 2;
  }
  try {
    const vesk::Hive hive =
        vesk::Hive::open(argv[argc - 1], dirty ? vesk::Dirty::read : vesk::Dirty::refuse);
    if (!hive.warning().empty()) std::fprintf(stderr, "%s\n", hive.warning().c_str());
    vesk::walk(
        *hive.root(),
        [](const std::string& path, const vesk::Key& key, const vesk::Values& values) {
          int depth = 0;
          for (const char c : path) depth += c == '\\';
          if (!path.empty()) ++depth;
          const std::string name = key.name();
          const bool whole = key.name_is_8bit() && name.size() == key.record().name_length;
          std::printf("K %d %s\n", depth, whole ? hex(name).c_str() : "-");
          for (const vesk::Value& v : values) {
            const std::string vname = v.has_name() ? v.name() : std::string();
            const bool readable = v.has_name() ? vname.size() == v.record().name_length
                                               : v.record().name_length == 0;
            const auto data = v.bytes();
            std::printf("V %s %u %s\n", readable ? hex(vname).c_str() : "-", v.type(),
                        data ? hex(std::string(data->begin(), data->end())).c_str() : "-");
          }
        },
        [](const std::string&, const vesk::Damage& d) {
          if (d.kind != vesk::Damage::Kind::skipped) return;
          std::printf("S %s %d %d %u %d\n",
                      d.items == vesk::checks::Items::subkeys ? "subkeys" : "values", d.first,
                      d.last, d.at, d.unread);
        });
  } catch (const vesk::OpenError& e) {
    std::printf("R %s\n", e.code().message().c_str());
  }
  return 0;
}
