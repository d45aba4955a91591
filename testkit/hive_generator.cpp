// Grows a SOFTWARE-like key tree from a seed, then lays it out through HiveBuilder in
// depth-first order, each key's subkeys in Windows' "lf" order. Randomness is a
// splitmix64 stream with its own range mapping, so no library's distributions enter.
#include "hive_generator.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "random.h"

namespace vesk::test {
namespace {

// What a key is; it decides how its subkeys and values are named.
enum class Kind : std::uint8_t {
  kGeneric, kVendor, kProduct, kClasses, kExtension, kClsid, kClsidEntry, kUninstall,
  kUninstallEntry, kAppPaths, kSharedDlls,
};

// 8-bit names are Latin-1 bytes, as Windows stores a name whose characters all fit.
const char* const kVendors[] = {
    "Contoso", "Fabrikam", "Northwind Traders", "Adventure Works", "Litware", "Proseware",
    "Tailspin Toys", "Wide World Importers", "M\xFCller Software GmbH", "Fj\xE4llr\xE4ven Tools",
    "Ni\xF1o Labs", "\xC5ngstr\xF6m Data", "\xB5Torrent", "Soci\xE9t\xE9 Logicielle"};
const char* const kProducts[] = {
    "Widget Studio", "Report Builder", "Sync Agent", "Photo Viewer", "Backup Service",
    "Office Tools", "Updater", "Media Player", "Code Editor", "Print Manager", "B\xFCroplaner",
    "Kalender", "Cr\xE8me Editor", "Gest\xE3o", "Data Bridge"};
const char* const kKeyWords[] = {
    "Settings", "Options", "Recent", "Cache", "Preferences", "Plugins", "Extensions",
    "Profiles", "Default", "Main", "Window", "Toolbar", "History", "Licenses", "Components",
    "Capabilities", "FileAssociations", "Shell", "Open", "Command", "DefaultIcon", "TypeLib",
    "Security", "Network", "Proxy", "Languages", "Colors", "Layout", "Accounts", "Devices",
    "Drivers", "Services", "Parameters", "Performance", "Logging", "Diagnostics", "Updates",
    "Explorer", "Interface", "Keyboard", "Mouse", "Sound", "Display", "Printers", "Themes",
    "Startup", "Tasks", "Einstellungen", "Pr\xE9" "f\xE9rences", "Gr\xF6\xDF" "en",
    "Men\xFC", "\xC9tat", "Configura\xE7\xE3o"};
const char* const kValueNames[] = {
    "Version", "Path", "Enabled", "Flags", "LastUsed", "Language", "WindowPlacement",
    "MRUList", "Count", "Timeout", "ServerName", "Port", "UserName", "Theme", "Zoom",
    "AutoStart", "Description", "Size", "Data", "Options", "Mode", "State", "InstallPath",
    "LogLevel", "CacheSize", "Width", "Height", "Gr\xF6\xDF" "e", "Caf\xE9", "Ann\xE9" "e",
    "Men\xFC", "\xC9tat", "Stra\xDF" "e", "Schl\xFCssel"};
const char* const kExtensions[] = {"txt", "log", "ini", "csv", "xml", "json", "dat", "cfg",
                                   "bak", "tmp", "md", "pdf", "png", "jpg", "zip", "wdg"};
const char* const kTextWords[] = {
    "Document", "Viewer", "Service", "Helper", "Agent", "Update", "Sync", "Cloud", "Local",
    "Remote", "Standard", "Professional", "Caf\xC3\xA9", "M\xC3\xBC" "ller", "R\xC3\xA9sum\xC3\xA9",
    "na\xC3\xAFve", "\xC3\x9C" "bersicht"};
// Text outside the 8-bit range, as string data holds it (UTF-8 here, UTF-16 in the hive).
const char* const kWideTexts[] = {"Prix : 5 \xE2\x82\xAC",
                                  "\xCE\x94\xCE\xBF\xCE\xBA\xCE\xB9\xCE\xBC\xCE\xAE",
                                  "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
                                  "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",
                                  "Smile \xF0\x9F\x98\x80"};

constexpr std::uint8_t kDeepest = 12;  // random keys go no deeper; real SOFTWARE trees neither

std::string latin1_to_utf8(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Windows' upper case of a Latin-1 character, as a UTF-16 unit.
std::uint16_t windows_upper(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<std::uint16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<std::uint16_t>(c - 0x20);
  if (c == 0xFF) return 0x0178;
  if (c == 0xB5) return 0x039C;
  return c;
}

std::string folded(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    const std::uint16_t u = windows_upper(c);
    out += static_cast<char>(u >> 8);
    out += static_cast<char>(u & 0xFF);
  }
  return out;
}

std::string guid(Random& r) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "{";
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) out += '-';
    out += kHex[r.below(16)];
  }
  return out + "}";
}

// Every draw is its own statement: the order of operands of + is not fixed, and the
// same seed must give the same hive whatever the compiler.
std::string version(Random& r) {
  std::string out = std::to_string(r.between(1, 16));
  out += "." + std::to_string(r.between(0, 9));
  out += "." + std::to_string(r.between(0, 9999));
  out += "." + std::to_string(r.between(0, 99));
  return out;
}

Bytes random_bytes(Random& r, std::int32_t n) {
  Bytes out(static_cast<std::size_t>(n));
  for (auto& b : out) b = static_cast<std::uint8_t>(r.below(256));
  return out;
}

Bytes le64(std::uint64_t v) {
  Bytes out = le32(static_cast<std::uint32_t>(v));
  const Bytes high = le32(static_cast<std::uint32_t>(v >> 32));
  out.insert(out.end(), high.begin(), high.end());
  return out;
}

struct PlannedValue {
  std::string name;  // Latin-1 as stored; empty for the default value
  std::uint32_t type;
  Bytes data;
  bool is_default = false;
};

struct Node {
  std::string name;
  std::int32_t parent = -1;
  Kind kind = Kind::kGeneric;
  std::uint8_t depth = 0;
  std::vector<std::int32_t> children;
};

class Generator {
 public:
  explicit Generator(const HiveRecipe& recipe) : recipe_(recipe), tree_random_(recipe.seed) {}

  GeneratedHive run() {
    grow_skeleton();
    while (static_cast<std::int32_t>(nodes_.size()) < recipe_.keys) grow_one();
    for (Node& n : nodes_) {
      std::sort(n.children.begin(), n.children.end(), [this](std::int32_t a, std::int32_t b) {
        return windows_name_less(nodes_[a].name, nodes_[b].name);
      });
    }
    return lay_out();
  }

 private:
  std::int32_t add(std::int32_t parent, std::string name, Kind kind) {
    Node n;
    n.name = std::move(name);
    n.parent = parent;
    n.kind = kind;
    if (parent >= 0) {
      n.depth = static_cast<std::uint8_t>(nodes_[parent].depth + 1);
      nodes_[parent].children.push_back(static_cast<std::int32_t>(nodes_.size()));
      taken_.insert(std::to_string(parent) + "/" + folded(n.name));
    }
    nodes_.push_back(std::move(n));
    return static_cast<std::int32_t>(nodes_.size()) - 1;
  }

  std::int32_t child_named(std::int32_t parent, std::string_view name) const {
    for (std::int32_t c : nodes_[parent].children) {
      if (nodes_[c].name == name) return c;
    }
    return -1;
  }

  void grow_skeleton() {
    struct Row {
      const char* path;
      Kind kind;
    };
    static const Row kSkeleton[] = {
        {"Classes", Kind::kClasses},
        {"Classes\\.txt", Kind::kExtension},
        {"Classes\\.txt\\ShellNew", Kind::kGeneric},
        {"Classes\\CLSID", Kind::kClsid},
        {"Classes\\txtfile", Kind::kGeneric},
        {"Classes\\txtfile\\shell", Kind::kGeneric},
        {"Classes\\txtfile\\shell\\open", Kind::kGeneric},
        {"Classes\\txtfile\\shell\\open\\command", Kind::kGeneric},
        {"Clients", Kind::kGeneric},
        {"Contoso", Kind::kVendor},
        {"Contoso\\Widget Studio", Kind::kProduct},
        {"Contoso\\Widget Studio\\7.2", Kind::kGeneric},
        {"Microsoft", Kind::kVendor},
        {"Microsoft\\Windows", Kind::kGeneric},
        {"Microsoft\\Windows\\CurrentVersion", Kind::kGeneric},
        {"Microsoft\\Windows\\CurrentVersion\\App Paths", Kind::kAppPaths},
        {"Microsoft\\Windows\\CurrentVersion\\Explorer", Kind::kGeneric},
        {"Microsoft\\Windows\\CurrentVersion\\Run", Kind::kGeneric},
        {"Microsoft\\Windows\\CurrentVersion\\SharedDLLs", Kind::kSharedDlls},
        {"Microsoft\\Windows\\CurrentVersion\\Uninstall", Kind::kUninstall},
        {"Microsoft\\Windows NT", Kind::kGeneric},
        {"Microsoft\\Windows NT\\CurrentVersion", Kind::kGeneric},
        {"Microsoft\\Windows NT\\CurrentVersion\\Fonts", Kind::kGeneric},
        {"M\xFCller Software GmbH", Kind::kVendor},
        {"M\xFCller Software GmbH\\B\xFCroplaner", Kind::kProduct},
        {"Policies", Kind::kGeneric},
        {"Policies\\Microsoft", Kind::kGeneric},
        {"RegisteredApplications", Kind::kGeneric},
        {"Wow6432Node", Kind::kGeneric},
        {"Wow6432Node\\Microsoft", Kind::kVendor},
        {"\xB5Torrent", Kind::kVendor},
    };
    Random r(recipe_.seed ^ 0x5EED);
    add(-1, "CMI-CreateHive" + guid(r), Kind::kGeneric);
    for (const Row& row : kSkeleton) {
      std::string_view path = row.path;
      std::int32_t parent = 0;
      std::size_t cut;
      while ((cut = path.find('\\')) != std::string_view::npos) {
        parent = child_named(parent, path.substr(0, cut));
        path = path.substr(cut + 1);
      }
      const std::int32_t id = add(parent, std::string(path), row.kind);
      fixed_paths_.emplace_back(id, row.path);
      if (row.kind == Kind::kClasses || row.kind == Kind::kClsid ||
          row.kind == Kind::kUninstall || row.kind == Kind::kAppPaths) {
        hubs_.push_back(id);
      }
    }
  }

  bool has_room(std::int32_t parent) const {
    const Node& n = nodes_[parent];
    return static_cast<std::int32_t>(n.children.size()) < recipe_.max_subkeys &&
           n.depth < kDeepest;
  }

  void grow_one() {
    Random& r = tree_random_;
    const auto count = static_cast<std::uint32_t>(nodes_.size());
    std::int32_t parent = static_cast<std::int32_t>(count) - 1;  // always has room to spare
    for (int attempt = 0; attempt < 8; ++attempt) {
      const std::int32_t candidate =
          r.per_mille(300) ? hubs_[r.below(static_cast<std::uint32_t>(hubs_.size()))]
                           : static_cast<std::int32_t>(r.below(count));
      if (has_room(candidate)) {
        parent = candidate;
        break;
      }
    }
    Kind kind = Kind::kGeneric;
    std::string name;
    for (int attempt = 0; attempt < 8; ++attempt) {
      name = child_name(r, nodes_[parent].kind, kind);
      if (taken_.count(std::to_string(parent) + "/" + folded(name)) == 0) break;
      name.clear();
    }
    if (name.empty()) name = "Key" + std::to_string(count);  // unique: no other name is this
    add(parent, std::move(name), kind);
  }

  static std::string child_name(Random& r, Kind parent, Kind& kind) {
    switch (parent) {
      case Kind::kClasses:
        if (r.per_mille(500)) {
          kind = Kind::kExtension;
          std::string ext = ".";
          for (int i = r.between(2, 4); i > 0; --i) ext += static_cast<char>('a' + r.below(26));
          return ext;
        }
        kind = Kind::kGeneric;
        {
          std::string progid = std::string(r.pick(kVendors)).substr(0, 8);
          progid += std::string(".") + r.pick(kKeyWords);
          progid += "." + std::to_string(r.between(1, 9));
          return progid;
        }
      case Kind::kClsid:
        kind = Kind::kClsidEntry;
        return guid(r);
      case Kind::kUninstall:
        kind = Kind::kUninstallEntry;
        if (r.per_mille(500)) return guid(r);
        {
          std::string product = r.pick(kProducts);
          return product + " " + std::to_string(r.between(1, 12));
        }
      case Kind::kAppPaths: {
        std::string exe = r.pick(kProducts);
        exe.erase(std::remove(exe.begin(), exe.end(), ' '), exe.end());
        exe += std::to_string(r.below(100));
        return exe + ".exe";
      }
      case Kind::kVendor:
        kind = Kind::kProduct;
        return r.pick(kProducts);
      case Kind::kProduct:
        if (r.per_mille(400)) {
          std::string number = std::to_string(r.between(1, 12));
          return number + "." + std::to_string(r.below(10));
        }
        return r.pick(kKeyWords);
      default:
        if (r.per_mille(60)) {
          kind = Kind::kVendor;
          return r.pick(kVendors);
        }
        if (r.per_mille(300)) {
          std::string word = r.pick(kKeyWords);
          return word + std::to_string(r.below(1000));
        }
        return r.pick(kKeyWords);
    }
  }

  // Text for string data, in UTF-8.
  static std::string text(Random& r) {
    std::string out;
    switch (r.below(9)) {
      case 0:
        out = "C:\\Program Files\\" + latin1_to_utf8(r.pick(kVendors));
        out += "\\" + latin1_to_utf8(r.pick(kProducts));
        out += std::string("\\") + r.pick(kTextWords) + ".exe";
        return out;
      case 1: return version(r);
      case 2: return guid(r);
      case 3:
        out = std::string("https://www.contoso.com/") + r.pick(kExtensions);
        return out + "/" + std::to_string(r.below(100000));
      case 4: return std::to_string(r.below(100000));
      case 5: return r.per_mille(300) ? std::string(r.pick(kWideTexts)) : r.pick(kTextWords);
      case 6:
        out = "\"C:\\Program Files\\" + latin1_to_utf8(r.pick(kVendors));
        return out + "\\app.exe\" /background";
      default:
        out = r.pick(kTextWords);
        for (int i = r.between(1, 6); i > 0; --i) out += std::string(" ") + r.pick(kTextWords);
        return out;
    }
  }

  Bytes data_of(Random& r, std::uint32_t type) const {
    switch (type) {
      case kTypeString:
        if (r.per_mille(30)) return {};
        if (r.per_mille(30)) return utf16z("");
        if (r.per_mille(15)) return utf16(text(r));  // written without its terminator
        return utf16z(text(r));
      case kTypeExpandString: {
        std::string path = r.per_mille(500) ? "%SystemRoot%\\system32\\"
                                            : "%ProgramFiles%\\Common Files\\";
        return utf16z(path + r.pick(kTextWords) + ".dll");
      }
      case kTypeMultiString: {
        Bytes out;
        for (int i = r.between(0, 4); i > 0; --i) {
          const Bytes s = utf16z(text(r));
          out.insert(out.end(), s.begin(), s.end());
        }
        out.push_back(0);
        out.push_back(0);
        return out;
      }
      case kTypeDword:
        if (r.per_mille(10)) return {};
        return le32(r.per_mille(600) ? r.below(2) : static_cast<std::uint32_t>(r.next()));
      case kTypeDwordBigEndian: return random_bytes(r, 4);
      case kTypeQword: return le64(0x01D0000000000000ull + (r.next() >> 12));
      case kTypeLink:
        return utf16(std::string("\\Registry\\Machine\\Software\\Classes\\") + r.pick(kKeyWords));
      case kTypeNone: return r.per_mille(600) ? Bytes{} : random_bytes(r, r.between(1, 12));
      case kTypeResourceList:
      case kTypeFullResourceDescriptor:
      case kTypeResourceRequirementsList: return random_bytes(r, r.between(16, 200));
      case kTypeBinary: {
        if (r.per_mille(30)) return {};
        if (r.per_mille(10)) return random_bytes(r, r.between(1, recipe_.max_data_bytes));
        return random_bytes(r, r.per_mille(750) ? r.between(1, 32) : r.between(33, 256));
      }
      default: return random_bytes(r, r.between(0, 16));
    }
  }

  static std::uint32_t random_type(Random& r) {
    const std::uint32_t roll = r.below(1000);
    struct Share {
      std::uint32_t below;
      std::uint32_t type;
    };
    static const Share kShares[] = {
        {400, kTypeString}, {620, kTypeDword}, {720, kTypeBinary}, {790, kTypeExpandString},
        {850, kTypeMultiString}, {900, kTypeQword}, {920, kTypeNone},
        {935, kTypeDwordBigEndian}, {950, kTypeLink}, {965, kTypeResourceList},
        {980, kTypeFullResourceDescriptor}, {995, kTypeResourceRequirementsList}};
    for (const Share& s : kShares) {
      if (roll < s.below) return s.type;
    }
    return 0x00100000u + r.below(16);  // a type no Windows header names
  }

  std::vector<PlannedValue> random_values(std::int32_t id) const {
    Random r(recipe_.seed * 0x100000001B3ull + static_cast<std::uint64_t>(id));
    std::vector<PlannedValue> out;
    std::unordered_set<std::string> names;
    const Node& node = nodes_[id];
    if (r.per_mille(150) || node.kind == Kind::kClsidEntry || node.kind == Kind::kExtension) {
      PlannedValue v;
      v.is_default = true;
      v.type = kTypeString;
      v.data = r.per_mille(100) ? Bytes{} : utf16z(text(r));
      out.push_back(std::move(v));
      names.insert("");
    }
    if (node.kind == Kind::kUninstallEntry) {
      std::string location = std::string("C:\\Program Files\\") + latin1_to_utf8(r.pick(kVendors));
      out.push_back({"DisplayName", kTypeString, utf16z(latin1_to_utf8(r.pick(kProducts)))});
      out.push_back({"DisplayVersion", kTypeString, utf16z(version(r))});
      out.push_back({"Publisher", kTypeString, utf16z(latin1_to_utf8(r.pick(kVendors)))});
      out.push_back({"InstallLocation", kTypeString, utf16z(location)});
      out.push_back({"UninstallString", kTypeString, utf16z("\"" + location + "\\uninstall.exe\"")});
      out.push_back({"EstimatedSize", kTypeDword, le32(r.below(500000))});
      out.push_back({"NoModify", kTypeDword, le32(1)});
      return out;
    }
    const std::int32_t count = r.between(0, 2 * recipe_.values_per_key);
    for (std::int32_t i = 0; i < count; ++i) {
      PlannedValue v;
      v.type = random_type(r);
      if (node.kind == Kind::kSharedDlls || r.per_mille(20)) {
        v.name = std::string("C:\\Program Files\\") + r.pick(kVendors);
        v.name += std::string("\\") + r.pick(kKeyWords);
        v.name += std::to_string(r.below(100)) + ".dll";
        v.type = kTypeDword;
      } else if (r.per_mille(10)) {
        v.name = std::string("Say \"") + r.pick(kValueNames) + "\"";
      } else {
        v.name = r.pick(kValueNames);
        if (r.per_mille(300)) v.name += std::to_string(r.below(100));
      }
      if (!names.insert(folded(v.name)).second) continue;
      v.data = data_of(r, v.type);
      out.push_back(std::move(v));
    }
    return out;
  }

  // The skeleton's own values: the SOFTWARE-like ones, and one key that shows every type.
  static std::vector<PlannedValue> fixed_values(std::string_view path) {
    auto sz = [](const char* name, std::string_view text) {
      return PlannedValue{name, kTypeString, utf16z(text)};
    };
    auto dflt = [](std::string_view text) {
      return PlannedValue{"", kTypeString, utf16z(text), true};
    };
    if (path == "Classes\\.txt") {
      return {dflt("txtfile"), sz("Content Type", "text/plain"), sz("PerceivedType", "text")};
    }
    if (path == "Classes\\.txt\\ShellNew") return {PlannedValue{"NullFile", kTypeString, {}}};
    if (path == "Classes\\txtfile") {
      return {dflt("Text Document"), PlannedValue{"EditFlags", kTypeDword, le32(0x00210000)}};
    }
    if (path == "Classes\\txtfile\\shell\\open\\command") {
      return {PlannedValue{"", kTypeExpandString, utf16z("%SystemRoot%\\system32\\NOTEPAD.EXE %1"), true}};
    }
    if (path == "Microsoft\\Windows\\CurrentVersion") {
      return {sz("ProgramFilesDir", "C:\\Program Files"),
              sz("CommonFilesDir", "C:\\Program Files\\Common Files"),
              PlannedValue{"ProgramFilesPath", kTypeExpandString, utf16z("%ProgramFiles%")},
              PlannedValue{"DevicePath", kTypeExpandString, utf16z("%SystemRoot%\\inf")},
              sz("SM_GamesName", "Games")};
    }
    if (path == "Microsoft\\Windows\\CurrentVersion\\Run") {
      return {sz("Contoso Sync", "\"C:\\Program Files\\Contoso\\Sync Agent\\sync.exe\" /background"),
              sz("M\xFCllerUpdater", "C:\\Program Files\\M\xC3\xBCller Software GmbH\\update.exe")};
    }
    if (path == "Microsoft\\Windows\\CurrentVersion\\Explorer") {
      Bytes state = {0x24, 0x00, 0x00, 0x00, 0x3C, 0x28, 0x00, 0x00};
      state.resize(36, 0);
      state[28] = 0x01;
      state[32] = 0x13;
      return {PlannedValue{"ShellState", kTypeBinary, state},
              PlannedValue{"GlobalAssocChangedCounter", kTypeDword, le32(42)}};
    }
    if (path == "Microsoft\\Windows NT\\CurrentVersion") {
      return {sz("ProductName", "Windows 10 Pro"), sz("CurrentBuild", "19045"),
              PlannedValue{"CurrentMajorVersionNumber", kTypeDword, le32(10)},
              PlannedValue{"InstallDate", kTypeDword, le32(0x5F3A1B2C)},
              PlannedValue{"InstallTime", kTypeQword, le64(0x01D6713A9C3E4F00ull)},
              sz("SystemRoot", "C:\\WINDOWS"),
              sz("RegisteredOwner", "Ren\xC3\xA9" "e Fran\xC3\xA7" "ois")};
    }
    if (path == "Microsoft\\Windows NT\\CurrentVersion\\Fonts") {
      return {sz("Arial (TrueType)", "arial.ttf"), sz("Segoe UI (TrueType)", "segoeui.ttf")};
    }
    if (path == "Microsoft\\Windows\\CurrentVersion\\SharedDLLs") {
      return {PlannedValue{"C:\\Program Files\\Common Files\\Contoso\\widget.dll", kTypeDword, le32(1)},
              PlannedValue{"C:\\WINDOWS\\system32\\msvcr120.dll", kTypeDword, le32(3)}};
    }
    if (path == "RegisteredApplications") {
      return {sz("Widget Studio", "Software\\Contoso\\Widget Studio\\Capabilities")};
    }
    if (path == "Contoso\\Widget Studio\\7.2") {
      Bytes big;
      for (int i = 0; i < 100; ++i) big.push_back(static_cast<std::uint8_t>(i * 7));
      Bytes multi = utf16z("first");
      const Bytes second = utf16z("second \\ \"quoted\"");
      multi.insert(multi.end(), second.begin(), second.end());
      multi.push_back(0);
      multi.push_back(0);
      return {dflt("Widget Studio 7.2"),
              PlannedValue{"Empty", kTypeNone, {}},
              sz("InstallPath", "C:\\Program Files\\Contoso\\Widget Studio"),
              sz("Quote \"and\" backslash \\", "say \"hi\" to C:\\temp\\"),
              PlannedValue{"Unterminated", kTypeString, utf16("no end")},
              sz("Wide", "Prix : 5 \xE2\x82\xAC"),
              PlannedValue{"LogDir", kTypeExpandString, utf16z("%LOCALAPPDATA%\\Contoso\\Logs")},
              PlannedValue{"Signature", kTypeBinary, big},
              PlannedValue{"Build", kTypeDword, le32(0x00001F4A)},
              PlannedValue{"Magic", kTypeDwordBigEndian, {0xCA, 0xFE, 0xBA, 0xBE}},
              PlannedValue{"Target", kTypeLink, utf16("\\Registry\\Machine\\Software\\Contoso")},
              PlannedValue{"Recent", kTypeMultiString, multi},
              PlannedValue{"Resources", kTypeResourceList, {1, 0, 0, 0, 5, 0, 0, 0}},
              PlannedValue{"Descriptor", kTypeFullResourceDescriptor, {5, 0, 0, 0, 1, 0, 1, 0}},
              PlannedValue{"Requirements", kTypeResourceRequirementsList, {0x48, 0, 0, 0, 5, 0}},
              PlannedValue{"LastRun", kTypeQword, le64(0x01D9A5E6D1A2B3C4ull)},
              PlannedValue{"Short", kTypeDword, {0x07, 0x00}},
              PlannedValue{"Gr\xF6\xDF" "e", kTypeDword, le32(1024)},
              PlannedValue{"Custom", 0x00100004u, {0xDE, 0xAD}}};
    }
    return {};
  }

  std::vector<PlannedValue> values_of(std::int32_t id) const {
    for (const auto& [fixed, path] : fixed_paths_) {
      if (fixed == id) return fixed_values(path);
    }
    if (id == 0) return {};
    return random_values(id);
  }

  GeneratedHive lay_out() {
    HiveBuilder b;
    GeneratedHive out;
    std::vector<KeyRef> refs(nodes_.size());
    std::vector<std::int32_t> stack = {0};
    while (!stack.empty()) {
      const std::int32_t id = stack.back();
      stack.pop_back();
      const Node& n = nodes_[id];
      refs[id] = id == 0 ? b.add_root(n.name) : b.add_key(n.name, refs[n.parent]);
      for (const PlannedValue& v : values_of(id)) {
        b.add_value(refs[id], v.name, v.type, v.data, v.is_default ? 0 : 1);
        ++out.values;
      }
      for (auto c = n.children.rbegin(); c != n.children.rend(); ++c) stack.push_back(*c);
    }
    out.keys = static_cast<std::int32_t>(nodes_.size());
    out.bytes = b.bytes();
    return out;
  }

  HiveRecipe recipe_;
  Random tree_random_;
  std::vector<Node> nodes_;
  std::vector<std::int32_t> hubs_;
  std::vector<std::pair<std::int32_t, std::string>> fixed_paths_;
  std::unordered_set<std::string> taken_;  // "parent/folded name" of every key
};

}  // namespace

bool windows_name_less(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint16_t x = windows_upper(static_cast<unsigned char>(a[i]));
    const std::uint16_t y = windows_upper(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

GeneratedHive generate_hive(const HiveRecipe& recipe) { return Generator(recipe).run(); }

std::int32_t keys_for_bytes(const HiveRecipe& recipe, std::uint64_t bytes) {
  // Bytes per key drift down slowly as the large lists fill to max_subkeys; a power law
  // through two probes follows that drift within a few percent up to hundreds of MB.
  auto per_key = [&recipe](std::int32_t keys) {
    HiveRecipe probe = recipe;
    probe.keys = keys;
    return static_cast<double>(generate_hive(probe).bytes.size()) / keys;
  };
  constexpr std::int32_t kSmall = 4000;
  constexpr std::int32_t kLarge = 32000;
  const double small = per_key(kSmall);
  const double large = per_key(kLarge);
  const double exponent = std::log(large / small) / std::log(double{kLarge} / kSmall);
  double keys = static_cast<double>(bytes) / large;
  for (int i = 0; i < 8; ++i) {
    keys = static_cast<double>(bytes) / (large * std::pow(keys / kLarge, exponent));
  }
  return keys < 1 ? 1 : keys > 2e9 ? 2000000000 : static_cast<std::int32_t>(keys);
}

}  // namespace vesk::test
