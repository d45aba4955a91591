/* A host as Microsoft's tools build it: vesk_10.h included, vesk_10.lib linked, the DLL
 * loaded by Windows at start. It prints the listing examples/use.c prints, so the two can
 * be compared line for line, and calls the seven functions that listing does not need to
 * check each against the others. Written without a C runtime (none is needed, and a
 * Windows SDK need not be there): the few KERNEL32 functions it uses are declared here.
 *
 * Usage: vesk_msvc_host.exe HIVE
 * Exits 0 when the hive was walked and every check agreed, 1 otherwise, 2 without HIVE. */
#include <vesk_10.h>

typedef void* Win32Handle;
__declspec(dllimport) Win32Handle __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(Win32Handle file, const void* bytes,
                                              unsigned long count, unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) char* __stdcall GetCommandLineA(void);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int status);

#define STANDARD_OUTPUT ((unsigned long)-11)
#define STANDARD_ERROR ((unsigned long)-12)

static int keys, values, problems;
/* Big enough for every value of the test hives; larger data is not fetched. */
static unsigned char data[65536];

static void put(unsigned long stream, const char* text) {
  unsigned long length = 0, written;
  while (text[length] != '\0') ++length;
  WriteFile(GetStdHandle(stream), text, length, &written, 0);
}

static void put_int(long number) {
  char digits[16];
  char* at = digits + sizeof digits;
  unsigned long magnitude = number < 0 ? 0UL - (unsigned long)number : (unsigned long)number;
  *--at = '\0';
  do {
    *--at = (char)('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (number < 0) *--at = '-';
  put(STANDARD_OUTPUT, at);
}

static void indent(int depth) {
  while (depth-- > 0) put(STANDARD_OUTPUT, " ");
}

static void problem(const char* what, const char* name) {
  put(STANDARD_ERROR, "PROBLEM ");
  put(STANDARD_ERROR, what);
  put(STANDARD_ERROR, ": ");
  put(STANDARD_ERROR, name);
  put(STANDARD_ERROR, "\n");
  ++problems;
}

/* The data calls agree with each other: data over 4 bytes is copied whole and begins
 * with what GetValueDword reads; shorter data is the record's own data_offset field. */
static void read_data(HiveHandle* hive, ValueRecord* value, int type, vesk_i32 length) {
  vesk_u32 dword = GetValueDword(hive, value);
  if (GetValueType(hive, value) != type) problem("GetValueType differs from GetValue", "");
  if (type == 1 || type == 2) GetValueString(hive, value);
  if (length > 4 && length <= (vesk_i32)sizeof data) {
    if (GetValueData(hive, value, data) != 1) problem("GetValueData refused", "");
    else if ((data[0] | data[1] << 8 | data[2] << 16 | (vesk_u32)data[3] << 24) != dword)
      problem("GetValueData differs from GetValueDword", "");
  } else if (length <= 4 && dword != value->data_offset) {
    problem("GetValueDword differs from the record's data_offset", "");
  }
}

static void list_key(HiveHandle* hive, KeyRecord* key, int depth) {
  ValueListRecord value_list;
  KeyListRecord key_list;
  int i, n;
  ++keys;
  indent(2 * depth);
  put(STANDARD_OUTPUT, GetRegKeyName(hive, key));
  put(STANDARD_OUTPUT, "\n");
  n = GetValueList(hive, key, &value_list);
  if (n != CountValues(key)) problem("CountValues differs from GetValueList", "");
  for (i = 0; i < n; ++i) {
    ValueRecord value;
    int type = GetValue(hive, &value_list, i, &value);
    vesk_i32 length = GetValueDataLength(hive, &value);
    indent(2 * depth + 2);
    put(STANDARD_OUTPUT, "= ");
    put(STANDARD_OUTPUT, GetValueName(hive, &value));
    put(STANDARD_OUTPUT, " (type ");
    put_int(type);
    put(STANDARD_OUTPUT, ", ");
    put_int(length);
    put(STANDARD_OUTPUT, " bytes)\n");
    read_data(hive, &value, type, length);
    ++values;
  }
  n = GetSubKeyList(hive, key, &key_list);
  if (n != 0 && (n != CountKeyList(&key_list) || n != CountSubKeys(key)))
    problem("CountKeyList or CountSubKeys differs from GetSubKeyList", "");
  for (i = 0; i < n; ++i) {
    KeyRecord subkey;
    GetSubKey(hive, &key_list, i, &subkey);
    list_key(hive, &subkey, depth + 1);
  }
}

/* The command line's second word, quotes removed; there is no argv without a runtime. */
static char* first_argument(char* line) {
  char* start;
  char* end;
  int quoted = 0;
  while (*line != '\0' && (quoted || (*line != ' ' && *line != '\t'))) {
    if (*line == '"') quoted = !quoted;
    ++line;
  }
  while (*line == ' ' || *line == '\t') ++line;
  start = line;
  if (*start == '"') {
    end = ++start;
    while (*end != '\0' && *end != '"') ++end;
  } else {
    end = start;
    while (*end != '\0' && *end != ' ' && *end != '\t') ++end;
  }
  *end = '\0';
  return start;
}

static unsigned int walk(void) {
  char* path = first_argument(GetCommandLineA());
  HiveHandle* hive;
  KeyRecord root;
  if (*path == '\0') {
    put(STANDARD_ERROR, "usage: vesk_msvc_host.exe HIVE\n");
    return 2;
  }
  hive = OpenRegistryFile(path);
  if (hive == 0 || !SearchRootKey(hive, &root)) {
    problem("not a readable hive", path);
    CloseRegistryFile(hive);
    return 1;
  }
  list_key(hive, &root, 0);
  put_int(keys);
  put(STANDARD_OUTPUT, " keys, ");
  put_int(values);
  put(STANDARD_OUTPUT, " values\n");
  CloseRegistryFile(hive);
  return problems == 0 ? 0 : 1;
}

/* The entry point the linker is given: no runtime start-up runs before it. */
void vesk_host_start(void) { ExitProcess(walk()); }
