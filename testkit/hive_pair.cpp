// The hive is read into a plain tree, copied, edited, and both trees are laid out by
// HiveBuilder with each key's subkeys in Windows' order. The builder stamps each key
// with its own number as last-write time; both hives get one time instead, so that only
// the edit meant to change a time changes one.
#include "hive_pair.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <vector>

#include "hive_generator.h"
#include "layout.h"
#include "random.h"
#include "temp_hive.h"
#include "vesk/hive.hpp"

namespace vesk::test {
namespace {

struct Val {
  std::string name;
  std::uint32_t type = 0;
  Bytes data;
  bool utf16 = false;  // the name is stored as UTF-16, which the library does not read
};

struct Node {
  std::string name;
  std::vector<Val> values;
  std::vector<Node> kids;
  bool utf16 = false;
  bool gone = false;  // removed by an edit; kept in place so the others' indices hold
  std::uint64_t written = 0x01D5000000000000ull;
};

Node read_tree(const Key& key) {
  Node n{key.name(), {}, {}};
  for (const Value& v : key.values()) {
    if (!v.has_name() && v.record().name_length != 0) continue;
    n.values.push_back({v.has_name() ? v.name() : "", v.type(), v.bytes().value_or(Bytes{})});
  }
  for (const auto& item : key.subkeys()) {
    if (!item.name_is_8bit()) continue;
    n.kids.push_back(read_tree(item));
  }
  return n;
}

std::int64_t count_keys(const Node& n) {
  std::int64_t k = 0;
  for (const Node& c : n.kids) k += 1 + count_keys(c);
  return k;
}

std::int64_t count_values(const Node& n) {
  std::int64_t v = static_cast<std::int64_t>(n.values.size());
  for (const Node& c : n.kids) v += count_values(c);
  return v;
}

void build(const Node& n, HiveBuilder& b, const KeyRef* parent) {
  const Bytes wide = utf16(n.name);
  const std::string stored = n.utf16 ? std::string(wide.begin(), wide.end()) : n.name;
  const KeyRef key =
      parent == nullptr ? b.add_root(stored) : b.add_key(stored, *parent, n.utf16 ? 0 : 0x20);
  // The last-write time follows the flags.
  constexpr std::uint32_t kWrittenAt = format::kNkFlagsAt + 2;
  b.poke_u32(key.contents + kWrittenAt, static_cast<std::uint32_t>(n.written));
  b.poke_u32(key.contents + kWrittenAt + 4, static_cast<std::uint32_t>(n.written >> 32));
  for (const Val& v : n.values) {
    const Bytes name = utf16(v.name);
    b.add_value(key, v.utf16 ? std::string(name.begin(), name.end()) : v.name, v.type, v.data,
                v.utf16 ? 0 : 1);
  }
  std::vector<const Node*> kids;
  for (const Node& c : n.kids) {
    if (!c.gone) kids.push_back(&c);
  }
  std::sort(kids.begin(), kids.end(),
            [](const Node* a, const Node* c) { return windows_name_less(a->name, c->name); });
  for (const Node* c : kids) build(*c, b, &key);
}

Bytes laid_out(const Node& root) {
  HiveBuilder b;
  build(root, b, nullptr);
  return b.bytes();
}

// A key of the tree by its path of child indices, with its printed path.
struct Spot {
  std::vector<std::size_t> steps;
  std::string path;
};

void spots(const Node& n, Spot here, std::vector<Spot>& out) {
  out.push_back(here);
  for (std::size_t i = 0; i < n.kids.size(); ++i) {
    Spot s{here.steps, here.path + '\\' + n.kids[i].name};
    s.steps.push_back(i);
    spots(n.kids[i], s, out);
  }
}

Node& at(Node& root, const std::vector<std::size_t>& steps) {
  Node* n = &root;
  for (const std::size_t i : steps) n = &n->kids[i];
  return *n;
}

// Printable ASCII without quotes: a name text output shows as it is stored.
bool plain(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return c >= 0x20 && c < 0x7F && c != '"'; });
}

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool lettered(const std::string& name) {
  return std::any_of(name.begin(), name.end(), is_letter);
}

// The name with each ASCII letter in the other case.
std::string other_case(std::string name) {
  for (char& c : name) {
    if (is_letter(c)) c = static_cast<char>(c ^ 0x20);
  }
  return name;
}

bool related(const Spot& a, const Spot& b) {
  const std::size_t n = std::min(a.steps.size(), b.steps.size());
  return std::equal(a.steps.begin(), a.steps.begin() + static_cast<std::ptrdiff_t>(n),
                    b.steps.begin());
}

std::string subtree_line(char mark, const std::string& path, const Node& n) {
  return std::string(1, mark) + " [" + path +
         "] key and all in it: " + std::to_string(count_keys(n)) + " subkeys, " +
         std::to_string(count_values(n)) + " values";
}

std::string value_line(char mark, const std::string& path, const std::string& name) {
  return std::string(1, mark) + " [" + path + "] " + (name.empty() ? "@" : '"' + name + '"');
}

}  // namespace

HivePair make_hive_pair(const Bytes& hive, std::uint64_t seed) {
  Node old_tree;
  {
    const TempHive file(hive);
    const Hive h(file.path());
    const std::optional<Key> root = h.root();
    if (!root) throw std::runtime_error("make_hive_pair: the library reads no root");
    old_tree = read_tree(*root);
  }
  Node new_tree = old_tree;
  HivePair pair;
  Random random(seed);

  // Every edit takes a key unrelated (neither above nor below) to those taken before,
  // never the root, so no edit hides another.
  std::vector<Spot> all;
  spots(old_tree, {{}, old_tree.name}, all);
  std::vector<Spot> taken;
  // A hive too small for all the edits gets keys of its own, in both trees, to edit.
  int fillers = 0;
  auto take = [&](const std::function<bool(const Node&)>& fits) -> Spot {
    for (int tries = 0; tries < 200; ++tries) {
      const Spot& s = random.pick(all);
      if (s.steps.empty() || !plain(s.path) || !fits(at(old_tree, s.steps))) continue;
      if (std::any_of(taken.begin(), taken.end(), [&](const Spot& t) { return related(s, t); })) {
        continue;
      }
      taken.push_back(s);
      return s;
    }
    const Node filler{"Filler " + std::to_string(++fillers),
                      {{"v", kTypeString, utf16z("x")}},
                      {{"Inner", {{"w", kTypeDword, {7, 0, 0, 0}}}, {}}}};
    old_tree.kids.push_back(filler);
    new_tree.kids.push_back(filler);
    taken.push_back({{old_tree.kids.size() - 1}, old_tree.name + '\\' + filler.name});
    return taken.back();
  };
  auto any = [](const Node&) { return true; };
  auto with_values = [](const Node& n) { return !n.values.empty() && plain(n.values[0].name); };

  // A key removed, and one renamed: removed here, added under its new name once the
  // fillers are in (they go where the first filler's index says).
  std::vector<std::pair<std::vector<std::size_t>, Node>> later;
  for (const bool renamed : {false, true}) {
    const Spot s = take(any);
    Node& parent = at(new_tree, {s.steps.begin(), s.steps.end() - 1});
    Node gone = parent.kids[s.steps.back()];
    parent.kids[s.steps.back()].gone = true;
    pair.changes.insert(subtree_line('-', s.path, gone));
    if (renamed) {
      gone.name += "-renamed";
      pair.changes.insert(subtree_line('+', s.path + "-renamed", gone));
      later.emplace_back(std::vector<std::size_t>(s.steps.begin(), s.steps.end() - 1),
                         std::move(gone));
    }
  }
  // A key added, with a value and a subkey holding one.
  {
    const Spot s = take(any);
    Node added{"Added by the edit", {{"Size", kTypeDword, {4, 0, 0, 0}}}, {}};
    added.kids.push_back({"Below", {{"", kTypeString, utf16z("text")}}, {}});
    pair.changes.insert(subtree_line('+', s.path + '\\' + added.name, added));
    at(new_tree, s.steps).kids.push_back(std::move(added));
  }
  // Values: one added, one removed, one changed in data, one in type alone.
  {
    const Spot s = take(any);
    at(new_tree, s.steps).values.push_back({"Added value", kTypeBinary, {1, 2, 3}});
    pair.changes.insert(value_line('+', s.path, "Added value"));
  }
  for (int kind = 0; kind < 3; ++kind) {
    const Spot s = take(with_values);
    std::vector<Val>& values = at(new_tree, s.steps).values;
    std::size_t i = random.below(static_cast<std::uint32_t>(values.size()));
    while (i > 0 && !plain(values[i].name)) --i;
    const char mark = kind == 0 ? '-' : '~';
    pair.changes.insert(value_line(mark, s.path, values[i].name));
    if (kind == 0) {
      values.erase(values.begin() + static_cast<std::ptrdiff_t>(i));
    } else if (kind == 1) {
      values[i].data.push_back(0x5A);
    } else {
      values[i].type = values[i].type == kTypeBinary ? kTypeNone : kTypeBinary;
    }
  }
  // A key's name and a value's changed in case alone: removed and added again, as
  // regedit keeps the stored case of a name it writes to.
  {
    const Spot s = take([](const Node& n) { return lettered(n.name); });
    Node& key = at(new_tree, s.steps);
    pair.changes.insert(subtree_line('-', s.path, key));
    key.name = other_case(key.name);
    const std::string path = s.path.substr(0, s.path.size() - key.name.size()) + key.name;
    pair.changes.insert(subtree_line('+', path, key));
  }
  {
    const auto fits = [](const Val& v) { return plain(v.name) && lettered(v.name); };
    const Spot s = take([&](const Node& n) {
      return std::any_of(n.values.begin(), n.values.end(), fits);
    });
    std::vector<Val>& values = at(new_tree, s.steps).values;
    Val& v = *std::find_if(values.begin(), values.end(), fits);
    pair.changes.insert(value_line('-', s.path, v.name));
    v.name = other_case(v.name);
    pair.changes.insert(value_line('+', s.path, v.name));
  }
  // A key whose last-write time alone changed.
  {
    const Spot s = take(any);
    at(new_tree, s.steps).written += 10000000;
    pair.changes.insert("t [" + s.path + "]");
  }
  // What the library cannot read: a value named in UTF-16 in OLD, a key in NEW (read
  // only up to its first zero byte, so its path shows "W").
  {
    const Spot s = take(any);
    at(old_tree, s.steps).values.push_back({"Wide", kTypeDword, {1, 0, 0, 0}, true});
    pair.changes.insert("? [" + s.path + "]");
  }
  {
    const Spot s = take(any);
    Node wide{"Wide", {}, {}, true};
    at(new_tree, s.steps).kids.push_back(std::move(wide));
    pair.changes.insert("? [" + s.path + "\\W]");
  }
  for (auto& [parent, node] : later) at(new_tree, parent).kids.push_back(std::move(node));
  pair.old_hive = laid_out(old_tree);
  pair.new_hive = laid_out(new_tree);
  return pair;
}

}  // namespace vesk::test
