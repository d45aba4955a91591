// The clean view where the system offers no anonymous in-memory file: a dirty hive is
// refused as before, with the reason, rather than copied to a disk.
#include "clean_view.h"

#include <cstdio>

#include "byte_order.h"
#include "layout.h"

namespace vesk::dump {

using namespace vesk::format;

CleanView::CleanView(const std::string& path) : path_(path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return;
  unsigned char block[kBaseCopiedBytes];
  const bool hive = std::fread(block, 1, sizeof block, f) == sizeof block &&
                    load_le32(block + kBaseSignatureAt) == kSigRegf;
  std::fclose(f);
  primary_ = hive ? load_le32(block + kBasePrimarySequenceAt) : 0;
  secondary_ = hive ? load_le32(block + kBaseSecondarySequenceAt) : 0;
  dirty_ = primary_ != secondary_;
  if (dirty_) problem_ = "--ignore-dirty needs an in-memory file, which this system lacks";
}

CleanView::~CleanView() = default;

}  // namespace vesk::dump
