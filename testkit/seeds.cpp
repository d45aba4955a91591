// The recipe of fuzz/corpus/. Every seed is deterministic: the builder's timestamps and
// layout are fixed, so the same code always makes the same bytes.
#include "seeds.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "layout.h"
#include "sample_hive.h"

namespace vesk::fuzz {
namespace {

using namespace vesk::format;
using namespace vesk::test;

Bytes root_only() {
  HiveBuilder b;
  b.add_root("ROOT");
  return b.bytes();
}

Bytes every_type() {
  HiveBuilder b;
  const KeyRef root = b.add_root("Types");
  b.add_value(root, "", kTypeString, utf16z("default"), 0);
  b.add_value(root, "Text", kTypeString, utf16z("C:\\Windows"));
  b.add_value(root, "Open", kTypeString, utf16("no terminator"));
  b.add_value(root, "Expand", kTypeExpandString, utf16z("%SystemRoot%\\x"));
  b.add_value(root, "Blob", kTypeBinary, {0, 1, 2, 3, 4, 5, 6, 7, 8});
  b.add_value(root, "Small", kTypeBinary, {9, 8, 7});
  b.add_value(root, "Dword", kTypeDword, le32(0xDEADBEEF));
  b.add_value(root, "BigEnd", kTypeDwordBigEndian, {0, 0, 1, 0});
  b.add_value(root, "Link", kTypeLink, utf16("\\Registry\\Machine"));
  b.add_value(root, "Multi", kTypeMultiString, utf16z(std::string_view("a\0bc\0", 5)));
  b.add_value(root, "Res", kTypeResourceList, Bytes(24, 0x11));
  b.add_value(root, "Full", kTypeFullResourceDescriptor, Bytes(6, 0x22));
  b.add_value(root, "Req", kTypeResourceRequirementsList, Bytes(5, 0x33));
  b.add_value(root, "Qword", kTypeQword, {1, 2, 3, 4, 5, 6, 7, 8});
  b.add_value(root, "None", kTypeNone, {});
  b.add_value(root, "Odd", 0x12345678, {1});
  const Bytes wide_name = utf16("Wide");
  b.add_value(root, std::string(wide_name.begin(), wide_name.end()), kTypeString,
              utf16z("\xC3\x84pfel"), 0);
  b.add_value(root, "\xC4pfel", kTypeString, utf16z("\xE2\x82\xAC 5"));
  return b.bytes();
}

Bytes deep() {
  HiveBuilder b;
  KeyRef key = b.add_root("Deep");
  for (int level = 0; level < 24; ++level) {
    key = b.add_key("Level" + std::to_string(level), key);
    b.add_value(key, "n", kTypeDword, le32(static_cast<std::uint32_t>(level)));
  }
  return b.bytes();
}

Bytes wide() {
  HiveBuilder b;
  const KeyRef root = b.add_root("Wide");
  for (int i = 0; i < 40; ++i) {
    const KeyRef key = b.add_key("Key" + std::to_string(i), root);
    b.add_value(key, "v", kTypeString, utf16z("value " + std::to_string(i)));
  }
  return b.bytes();
}

Bytes big_data() {
  HiveBuilder b;
  const KeyRef root = b.add_root("Big");
  b.add_value(root, "Long", kTypeString, utf16z(std::string(3000, 'x')));
  return b.bytes();
}

// An "lh" list: the library counts no subkeys but reads its elements all the same.
Bytes other_list() {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const KeyRef x = b.add_key("Xyzzy", root);
  Bytes lh = {'l', 'h', 1, 0};
  const Bytes cell = le32(x.cell);
  const Bytes hash = le32(0x0BADCAFE);
  lh.insert(lh.end(), cell.begin(), cell.end());
  lh.insert(lh.end(), hash.begin(), hash.end());
  b.set_subkey_list(root, b.add_cell(lh).cell, 1);
  return b.bytes();
}

// The root search stepping from bin to bin by offset fields that lead back.
Bytes bins(std::uint32_t first_step, std::uint32_t second_step) {
  HiveBuilder b;
  b.add_cell({'s', 'k', 0, 0});
  b.start_bin();
  b.add_root("Second");
  b.poke_u32(kFirstBinAt + kBinOffsetAt, first_step);
  b.poke_u32(b.bins().at(1) + kBinOffsetAt, second_step);
  return b.bytes();
}

std::string hex(std::uint32_t v) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", v);
  return text;
}

void put_le(Bytes& bytes, std::uint32_t at, std::uint32_t v, int width) {
  for (int i = 0; i < width; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<Seed> seed_hives() {
  Bytes base_block_only = root_only();
  base_block_only.resize(kFirstBinAt);
  std::vector<Seed> seeds = {{"valid-root-only", root_only()},
                             {"valid-every-type", every_type()},
                             {"valid-deep", deep()},
                             {"valid-wide", wide()},
                             {"valid-big-data", big_data()},
                             {"valid-other-list", other_list()},
                             {"base-block-only", base_block_only},
                             {"bins-wrap-back", bins(4096, 0xFFFFF000u)},
                             {"bins-step-ffffffff", bins(0xFFFFFFFFu, 0xFFFFFFFFu)}};

  const SampleHive s = make_sample_hive();
  seeds.push_back({"valid-sample", s.bytes});
  auto with = [&s, &seeds](const std::string& name, std::uint32_t at, std::uint32_t v,
                           int width) {
    Bytes bytes = s.bytes;
    put_le(bytes, at, v, width);
    seeds.push_back({name, bytes});
  };
  for (const OffsetField& field : offset_fields(s)) {
    for (std::uint32_t v : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u}) {
      with(std::string("offset-") + field.name + "-" + hex(v), field.at, v, 4);
    }
  }
  for (std::uint32_t count : {0x7FFFu, 0xFFFFu}) {
    with("lf-count-" + hex(count), s.root_list.contents + kLfCountAt, count, 2);
    with("value-count-" + hex(count), s.root.contents + kNkValueCountAt, count, 4);
  }
  for (std::uint32_t length : {0u, 0x7FFFu, 0x8000u, 0xFFFFu}) {
    with("key-name-" + hex(length), s.root.contents + kNkNameLengthAt, length, 2);
    with("value-name-" + hex(length), s.text.contents + kVkNameLengthAt, length, 2);
  }
  for (std::uint32_t size : {0x7FFFFFFFu, 0xFFFFFFFFu}) {
    with("data-size-" + hex(size), s.text.contents + kVkDataSizeAt, size, 4);
  }
  with("self-list", s.root_list.contents + kLfElementsAt, s.root.cell, 4);
  for (auto [name, at] : {std::pair{"cut-in-root-name", s.root.contents + kNkNameAt + 2},
                          std::pair{"cut-in-root-list", s.root_list.contents + 8},
                          std::pair{"cut-in-root-values", s.root_values.contents + 2}}) {
    seeds.push_back({name, Bytes(s.bytes.begin(), s.bytes.begin() + at)});
  }
  return seeds;
}

}  // namespace vesk::fuzz
