// The committed sample: hive-gen remakes examples/sample.hiv byte for byte from the
// recipe in examples/README.md, and vesk-dump turns it into exactly the committed
// sample.reg, sample.json and sample.tree.txt.
#include <gtest/gtest.h>

#include <cstdlib>

#include "dump_run.h"
#include "hive_generator.h"
#include "temp_hive.h"
#include "thread_locale.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;

const std::string kExamples = VESK_EXAMPLES_DIR;

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

HiveRecipe sample_recipe() {
  HiveRecipe recipe;  // examples/README.md: hive-gen --seed 1 --keys 48 examples/sample.hiv
  recipe.seed = 1;
  recipe.keys = 48;
  return recipe;
}

TEST(SampleTest, TheGeneratorMakesTheCommittedHive) {
  EXPECT_TRUE(generate_hive(sample_recipe()).bytes == bytes_of(read_file(kExamples + "/sample.hiv")));
}

TEST(SampleTest, TheRecipeInTheReadmeMakesIt) {
  const std::string out = temp_folder() + "/vesk-sample-" + std::to_string(std::rand()) + ".hiv";
  const std::string command =
      std::string(VESK_HIVE_GEN_PATH) + " --seed 1 --keys 48 " + out + " > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(read_file(out) == read_file(kExamples + "/sample.hiv"));
  std::remove(out.c_str());
  EXPECT_NE(read_file(kExamples + "/README.md").find("hive-gen --seed 1 --keys 48 examples/sample.hiv"),
            std::string::npos);
}

TEST(SampleTest, OutputsMatchTheCommittedOnes) {
  ThreadLocale utf8("C.UTF-8");
  struct Row {
    Format format;
    const char* file;
  };
  for (const Row& row : {Row{Format::kReg, "sample.reg"}, Row{Format::kJson, "sample.json"},
                         Row{Format::kTree, "sample.tree.txt"}}) {
    SCOPED_TRACE(row.file);
    Options options;
    options.format = row.format;
    const Dumped d = dump_path(kExamples + "/sample.hiv", options);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.err, "");
    EXPECT_EQ(d.raw, read_file(kExamples + "/" + row.file));
  }
}

}  // namespace
}  // namespace vesk::dump::test
