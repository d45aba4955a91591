/* Lists every key of a hive with its values, then the totals: vesk_10 from C. */
#include <stdio.h>
#include <vesk_10.h>

static int keys, values;

static void list_key(HiveHandle* hive, KeyRecord* key, int depth) {
  ValueListRecord value_list;
  KeyListRecord key_list;
  int i, n;
  ++keys;
  /* Text results live until the next call that returns text: print them at once. */
  printf("%*s%s\n", 2 * depth, "", GetRegKeyName(hive, key));
  n = GetValueList(hive, key, &value_list);
  for (i = 0; i < n; ++i) {
    ValueRecord value;
    int type = GetValue(hive, &value_list, i, &value);
    int length = GetValueDataLength(hive, &value);
    printf("%*s= %s (type %d, %d bytes)\n", 2 * depth + 2, "", GetValueName(hive, &value),
           type, length);
    ++values;
  }
  n = GetSubKeyList(hive, key, &key_list);
  for (i = 0; i < n; ++i) {
    KeyRecord subkey;
    GetSubKey(hive, &key_list, i, &subkey);
    list_key(hive, &subkey, depth + 1);
  }
}

int main(int argc, char** argv) {
  HiveHandle* hive;
  KeyRecord root;
  if (argc != 2) {
    fprintf(stderr, "usage: %s HIVE\n", argv[0]);
    return 2;
  }
  hive = OpenRegistryFile(argv[1]);
  if (hive == NULL || !SearchRootKey(hive, &root)) {
    fprintf(stderr, "%s: not a readable hive\n", argv[1]);
    CloseRegistryFile(hive);
    return 1;
  }
  list_key(hive, &root, 0);
  printf("%d keys, %d values\n", keys, values);
  CloseRegistryFile(hive);
  return 0;
}
