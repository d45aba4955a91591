// The timeline format, pinned by a whole listing: the header, keys newest first (zero
// and out-of-range times last), equal times in walk order, paths with the prefix, CSV
// quoting, and a KEYPATH's subtree only.
#include <gtest/gtest.h>

#include "dump_run.h"
#include "thread_locale.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;

TEST(TimelineWriterTest, NewestFirstAsCsv) {
  ThreadLocale utf8("C.UTF-8");
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const KeyRef a = b.add_key("A, \"quoted\"", root);
  const KeyRef old = b.add_key("Old", a);
  const KeyRef same = b.add_key("Same", a);
  const KeyRef none = b.add_key("None", root);
  const KeyRef far = b.add_key("Far", root);
  b.add_value(a, "v", kTypeDword, le32(1));
  set_last_written(b, root, 131205014401234567);
  set_last_written(b, a, 131205014401234568);
  set_last_written(b, old, 116444736000000000);
  set_last_written(b, same, 131205014401234567);
  set_last_written(b, none, 0);
  set_last_written(b, far, 0xFFFFFFFFFFFFFFFF);
  const Bytes hive = b.bytes();
  Options options;
  options.format = Format::kTimeline;
  options.prefix = "HKCU";
  options.has_prefix = true;
  Dumped d = dump_bytes(hive, options);
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.err, "");
  EXPECT_EQ(d.out,
            "last_written,path,subkeys,values,not_read\n"
            "2016-10-09T15:44:00.1234568Z,\"HKCU\\A, \"\"quoted\"\"\",2,1,\n"
            "2016-10-09T15:44:00.1234567Z,HKCU,3,0,\n"
            "2016-10-09T15:44:00.1234567Z,\"HKCU\\A, \"\"quoted\"\"\\Same\",0,0,\n"
            "1970-01-01T00:00:00.0000000Z,\"HKCU\\A, \"\"quoted\"\"\\Old\",0,0,\n"
            "out of range 0xffffffffffffffff,HKCU\\Far,0,0,\n"
            "zero,HKCU\\None,0,0,\n");
  options.key_path = "a, \"QUOTED\"\\";
  options.prefix = "x,y";
  d = dump_bytes(hive, options);
  EXPECT_EQ(d.out,
            "last_written,path,subkeys,values,not_read\n"
            "2016-10-09T15:44:00.1234568Z,\"x,y\\A, \"\"quoted\"\"\",2,1,\n"
            "2016-10-09T15:44:00.1234567Z,\"x,y\\A, \"\"quoted\"\"\\Same\",0,0,\n"
            "1970-01-01T00:00:00.0000000Z,\"x,y\\A, \"\"quoted\"\"\\Old\",0,0,\n");
}

}  // namespace
}  // namespace vesk::dump::test
