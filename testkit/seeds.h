// The fuzzers' seed corpus, made by the hive builder: valid hives of several shapes, and
// a file for each kind of hostile input the crafted-file tests cover. fuzz/corpus/ holds
// exactly these files: fuzz/make_corpus.cpp writes them and a test of the ordinary suite
// checks that the committed ones are still what this recipe makes.
#pragma once

#include <string>
#include <vector>

#include "hive_builder.h"

namespace vesk::fuzz {

struct Seed {
  std::string name;  // the file's name in fuzz/corpus/
  test::Bytes bytes;
};

std::vector<Seed> seed_hives();

}  // namespace vesk::fuzz
