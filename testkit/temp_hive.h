// A hive image written to a temporary file for the library to open, removed again when
// the object goes out of scope.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk::test {

class TempHive {
 public:
  explicit TempHive(const std::vector<std::uint8_t>& bytes);
  ~TempHive();
  TempHive(const TempHive&) = delete;
  TempHive& operator=(const TempHive&) = delete;

  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

// A folder for temporary files: $TMPDIR, else the system's.
std::string temp_folder();

}  // namespace vesk::test
