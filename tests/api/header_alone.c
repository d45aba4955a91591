/* The public header alone, compiled as C: no C++ and nothing else included first. */
#include "vesk_10.h"

int vesk_header_alone(void) {
  KeyRecord key;
  key.offset = 0;
  HiveHandle* (VESK_CALL *open)(const char*) = OpenRegistryFile;
  return (int)sizeof(key) + (int)sizeof(HiveHandle) + (open == 0);
}
