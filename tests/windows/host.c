/* A Windows host as an older program would be written: it declares the 17 functions
 * itself (no vesk header), loads vesk_10.dll with LoadLibraryA, finds every export by
 * name and by ordinal, then walks a hive and reads every value with every data call.
 * Records are plain byte arrays of the published sizes, read at published offsets.
 *
 * Usage: host.exe path\to\vesk_10.dll path\to\hive
 * Prints one line per export, one per key and value, and a closing summary; exits 0
 * only when every export was found and every call agreed with the others. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef unsigned char HiveHandle;                 /* 520 bytes, owned by the library */
typedef struct { unsigned char b[80]; } KeyRecord;
typedef struct { unsigned char b[8]; } KeyListRecord;
typedef struct { unsigned char b[8]; } ValueListRecord;
typedef struct { unsigned char b[22]; } ValueRecord;

typedef int(__stdcall *CloseRegistryFileFn)(HiveHandle *);
typedef int(__stdcall *CountKeyListFn)(KeyListRecord *);
typedef int(__stdcall *CountSubKeysFn)(KeyRecord *);
typedef int(__stdcall *CountValuesFn)(KeyRecord *);
typedef const char *(__stdcall *GetRegKeyNameFn)(HiveHandle *, KeyRecord *);
typedef const char *(__stdcall *GetSubKeyFn)(HiveHandle *, KeyListRecord *, int, KeyRecord *);
typedef int(__stdcall *GetSubKeyListFn)(HiveHandle *, KeyRecord *, KeyListRecord *);
typedef int(__stdcall *GetValueFn)(HiveHandle *, ValueListRecord *, int, ValueRecord *);
typedef int(__stdcall *GetValueDataFn)(HiveHandle *, ValueRecord *, void *);
typedef int(__stdcall *GetValueDataLengthFn)(HiveHandle *, ValueRecord *);
typedef unsigned(__stdcall *GetValueDwordFn)(HiveHandle *, ValueRecord *);
typedef int(__stdcall *GetValueListFn)(HiveHandle *, KeyRecord *, ValueListRecord *);
typedef const char *(__stdcall *GetValueNameFn)(HiveHandle *, ValueRecord *);
typedef const char *(__stdcall *GetValueStringFn)(HiveHandle *, ValueRecord *);
typedef int(__stdcall *GetValueTypeFn)(HiveHandle *, ValueRecord *);
typedef HiveHandle *(__stdcall *OpenRegistryFileFn)(const char *);
typedef int(__stdcall *SearchRootKeyFn)(HiveHandle *, KeyRecord *);

/* In ordinal order: ordinal i + 1 is kNames[i]. */
static const char *const kNames[17] = {
    "CloseRegistryFile", "CountKeyList",  "CountSubKeys",       "CountValues",
    "GetRegKeyName",     "GetSubKey",     "GetSubKeyList",      "GetValue",
    "GetValueData",      "GetValueDataLength", "GetValueDword", "GetValueList",
    "GetValueName",      "GetValueString", "GetValueType",      "OpenRegistryFile",
    "SearchRootKey"};
static CloseRegistryFileFn pCloseRegistryFile;
static CountKeyListFn pCountKeyList;
static CountSubKeysFn pCountSubKeys;
static CountValuesFn pCountValues;
static GetRegKeyNameFn pGetRegKeyName;
static GetSubKeyFn pGetSubKey;
static GetSubKeyListFn pGetSubKeyList;
static GetValueFn pGetValue;
static GetValueDataFn pGetValueData;
static GetValueDataLengthFn pGetValueDataLength;
static GetValueDwordFn pGetValueDword;
static GetValueListFn pGetValueList;
static GetValueNameFn pGetValueName;
static GetValueStringFn pGetValueString;
static GetValueTypeFn pGetValueType;
static OpenRegistryFileFn pOpenRegistryFile;
static SearchRootKeyFn pSearchRootKey;

static unsigned le32(const unsigned char *p) {
  return p[0] | (unsigned)p[1] << 8 | (unsigned)p[2] << 16 | (unsigned)p[3] << 24;
}

static int g_keys, g_values, g_problems;
static long g_data_bytes;

static void problem(const char *path, const char *what) {
  printf("PROBLEM %s: %s\n", path, what);
  ++g_problems;
}

static void read_value(HiveHandle *hive, ValueListRecord *list, int index, const char *path) {
  ValueRecord value;
  char name[256];
  int type, length, got;
  unsigned dword, inline_field;
  unsigned char *data = NULL;

  type = pGetValue(hive, list, index, &value);
  ++g_values;
  snprintf(name, sizeof name, "%s", pGetValueName(hive, &value));
  if (pGetValueType(hive, &value) != type) problem(path, "GetValueType differs from GetValue");
  inline_field = le32(value.b + 12);
  length = pGetValueDataLength(hive, &value);
  if (le32(value.b + 8) != (unsigned)length) problem(path, "data size not cleared in place");
  dword = pGetValueDword(hive, &value);
  if (length > 4) {
    data = (unsigned char *)malloc((size_t)length);
    got = data != NULL ? pGetValueData(hive, &value, data) : 0;
    if (got != 1) problem(path, "GetValueData did not read");
    if (got == 1 && dword != le32(data)) problem(path, "GetValueDword is not the first 4 bytes");
  } else {
    if (pGetValueData(hive, &value, &got) != 0) problem(path, "GetValueData read inline data");
    if (dword != inline_field) problem(path, "GetValueDword is not the inline field");
  }
  g_data_bytes += length;
  printf("  value %s\\%s type %d length %d dword 0x%08x", path, name, type, length, dword);
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    printf(" text \"%s\"", pGetValueString(hive, &value));
  } else {
    pGetValueString(hive, &value);
  }
  printf("\n");
  free(data);
}

static void walk(HiveHandle *hive, KeyRecord *key, const char *parent, int depth) {
  char path[1024];
  ValueListRecord values;
  KeyListRecord list;
  int i, n;

  ++g_keys;
  snprintf(path, sizeof path, "%s\\%s", parent, pGetRegKeyName(hive, key));
  printf("key %s\n", path);
  if (depth > 64) {
    problem(path, "deeper than 64 keys");
    return;
  }
  n = pGetValueList(hive, key, &values);
  if (n != pCountValues(key) && n != 0) problem(path, "value list count differs from the key");
  for (i = 0; i < n; ++i) read_value(hive, &values, i, path);

  n = pGetSubKeyList(hive, key, &list);
  if (n != pCountSubKeys(key)) problem(path, "subkey list count differs from the key");
  if (n != pCountKeyList(&list)) problem(path, "CountKeyList differs from GetSubKeyList");
  for (i = 0; i < n; ++i) {
    KeyRecord sub;
    char hint[8];
    snprintf(hint, sizeof hint, "%s", pGetSubKey(hive, &list, i, &sub));
    if (strncmp(hint, pGetRegKeyName(hive, &sub), strlen(hint)) != 0) {
      problem(path, "name hint is not the front of the subkey's name");
    }
    walk(hive, &sub, path, depth + 1);
  }
}

int main(int argc, char **argv) {
  HMODULE module;
  FARPROC export[17];
  HiveHandle *hive;
  KeyRecord root;
  int i, found = 0;

  if (argc != 3) {
    fprintf(stderr, "usage: %s vesk_10.dll hive\n", argv[0]);
    return 2;
  }
  module = LoadLibraryA(argv[1]);
  if (module == NULL) {
    printf("LoadLibraryA(%s) failed: error %lu\n", argv[1], GetLastError());
    return 1;
  }
  for (i = 0; i < 17; ++i) {
    FARPROC by_name = GetProcAddress(module, kNames[i]);
    FARPROC by_ordinal = GetProcAddress(module, MAKEINTRESOURCEA(i + 1));
    int same = by_name != NULL && by_name == by_ordinal;
    printf("export %2d %-20s %s\n", i + 1, kNames[i],
           same ? "found by name and by ordinal" : "MISMATCH");
    export[i] = by_name;
    found += same;
  }
  if (found != 17) {
    printf("%d of 17 exports found by name and ordinal alike\n", found);
    return 1;
  }
  pCloseRegistryFile = (CloseRegistryFileFn)(void (*)(void))export[0];
  pCountKeyList = (CountKeyListFn)(void (*)(void))export[1];
  pCountSubKeys = (CountSubKeysFn)(void (*)(void))export[2];
  pCountValues = (CountValuesFn)(void (*)(void))export[3];
  pGetRegKeyName = (GetRegKeyNameFn)(void (*)(void))export[4];
  pGetSubKey = (GetSubKeyFn)(void (*)(void))export[5];
  pGetSubKeyList = (GetSubKeyListFn)(void (*)(void))export[6];
  pGetValue = (GetValueFn)(void (*)(void))export[7];
  pGetValueData = (GetValueDataFn)(void (*)(void))export[8];
  pGetValueDataLength = (GetValueDataLengthFn)(void (*)(void))export[9];
  pGetValueDword = (GetValueDwordFn)(void (*)(void))export[10];
  pGetValueList = (GetValueListFn)(void (*)(void))export[11];
  pGetValueName = (GetValueNameFn)(void (*)(void))export[12];
  pGetValueString = (GetValueStringFn)(void (*)(void))export[13];
  pGetValueType = (GetValueTypeFn)(void (*)(void))export[14];
  pOpenRegistryFile = (OpenRegistryFileFn)(void (*)(void))export[15];
  pSearchRootKey = (SearchRootKeyFn)(void (*)(void))export[16];

  hive = pOpenRegistryFile(argv[2]);
  if (hive == NULL) {
    printf("OpenRegistryFile(%s) returned 0\n", argv[2]);
    return 1;
  }
  if (pSearchRootKey(hive, &root) != 1) {
    printf("SearchRootKey found no root\n");
    pCloseRegistryFile(hive);
    return 1;
  }
  walk(hive, &root, "", 0);
  pCloseRegistryFile(hive);
  FreeLibrary(module);

  printf("17 exports by name and ordinal; %d keys, %d values, %ld data bytes; %d problems\n",
         g_keys, g_values, g_data_bytes, g_problems);
  return g_problems == 0 ? 0 : 1;
}
