// A whole hive walked through the exports only, the way a host walks it, must give
// back exactly the tree that was built: every key, value name, type and byte.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "api_test.h"

namespace vesk::test {
namespace {

struct Value {
  std::string name;
  std::uint32_t type;
  Bytes data;
  bool operator==(const Value& o) const {
    return name == o.name && type == o.type && data == o.data;
  }
};

struct Node {
  std::string name;
  std::vector<Value> values;
  std::vector<Node> children;
  bool operator==(const Node& o) const {
    return name == o.name && values == o.values && children == o.children;
  }
};

void build(HiveBuilder& b, const Node& node, const KeyRef& key) {
  for (const Value& v : node.values) {
    b.add_value(key, v.name == "{default}" ? "" : v.name, v.type, v.data,
                v.name == "{default}" ? 0 : 1);
  }
  for (const Node& child : node.children) build(b, child, b.add_key(child.name, key));
}

class WalkTest : public ApiTest {
 protected:
  Node walk(HiveHandle* h, KeyRecord& key, int depth) {
    Node node;
    node.name = vesk().GetRegKeyName(h, &key);
    ValueListRecord values;
    const std::int32_t n = vesk().GetValueList(h, &key, &values);
    EXPECT_EQ(n, vesk().CountValues(&key));
    for (std::int32_t i = 0; i < n; ++i) {
      ValueRecord rec;
      Value v;
      v.type = static_cast<std::uint32_t>(vesk().GetValue(h, &values, i, &rec));
      EXPECT_EQ(static_cast<std::int32_t>(v.type), vesk().GetValueType(h, &rec));
      v.name = vesk().GetValueName(h, &rec);
      const std::int32_t length = vesk().GetValueDataLength(h, &rec);
      if (length > 4) {
        v.data.resize(static_cast<std::size_t>(length));
        EXPECT_EQ(vesk().GetValueData(h, &rec, v.data.data()), 1);
      } else {
        const Bytes field = le32(vesk().GetValueDword(h, &rec));
        v.data.assign(field.begin(), field.begin() + length);
      }
      node.values.push_back(v);
    }
    KeyListRecord list;
    const std::int32_t subkeys = vesk().GetSubKeyList(h, &key, &list);
    EXPECT_EQ(subkeys, vesk().CountSubKeys(&key));
    EXPECT_LT(depth, 16);
    for (std::int32_t i = 0; i < subkeys && depth < 16; ++i) {
      KeyRecord sub;
      const std::string hint = vesk().GetSubKey(h, &list, i, &sub);
      Node child = walk(h, sub, depth + 1);
      EXPECT_EQ(hint, child.name.substr(0, 4));
      node.children.push_back(child);
    }
    return node;
  }
};

TEST_F(WalkTest, FindsExactlyWhatWasBuilt) {
  const Bytes big(20000, 0x7E);
  Node tree{"ROOT",
            {{"{default}", kTypeString, utf16z("root default")}},
            {{"Software",
              {{"Zero", kTypeNone, {}},
               {"Text", kTypeString, utf16z("hello")},
               {"Expand", kTypeExpandString, utf16z("%SystemRoot%\\x")},
               {"Blob", kTypeBinary, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
               {"Small", kTypeBinary, {9, 8, 7}},
               {"Number", kTypeDword, le32(0xDEADBEEF)},
               {"BigEnd", kTypeDwordBigEndian, {0, 0, 1, 0}},
               {"Link", kTypeLink, utf16("\\Registry\\Machine")},
               {"Multi", kTypeMultiString, utf16z(std::string("a\0bc\0", 5))},
               {"Res", kTypeResourceList, Bytes(40, 0x11)},
               {"Full", kTypeFullResourceDescriptor, Bytes(6, 0x22)},
               {"Req", kTypeResourceRequirementsList, Bytes(5, 0x33)},
               {"Q", kTypeQword, {1, 2, 3, 4, 5, 6, 7, 8}},
               {"Big", kTypeBinary, big},
               {"Odd", 0x12345678, {1}},
               {"\xC4pfel", kTypeString, utf16z("\xC3\x84pfel")}},
              {{"Microsoft",
                {},
                {{"Windows", {{"Ver", kTypeString, utf16z("10.0")}}, {{"CurrentVersion", {}, {}}}}}},
               {"Empty", {}, {}}}},
             {"System", {{"", kTypeDword, le32(1)}}, {}}}};
  HiveBuilder b;
  build(b, tree, b.add_root(tree.name));
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord root = root_of(h);
  EXPECT_EQ(walk(h, root, 0), tree);
}

TEST_F(WalkTest, WideAndDeepTreesAcrossManyBins) {
  Node tree{"ROOT", {}, {}};
  for (int i = 0; i < 300; ++i) {
    Node child{"Key" + std::to_string(i), {{"n", kTypeDword, le32(static_cast<std::uint32_t>(i))}}, {}};
    tree.children.push_back(child);
  }
  Node* deep = &tree.children.front();
  for (int d = 0; d < 12; ++d) {
    deep->children.push_back(Node{"Level" + std::to_string(d), {}, {}});
    deep = &deep->children.back();
  }
  HiveBuilder b;
  build(b, tree, b.add_root(tree.name));
  const Bytes file = b.bytes();
  EXPECT_GT(b.bins().size(), 10u);
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord root = root_of(h);
  EXPECT_EQ(walk(h, root, 0), tree);
}

}  // namespace
}  // namespace vesk::test
