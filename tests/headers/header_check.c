/* vesk_10.h for the compile matrix, as C and as C++ of every standard it supports: each
 * export is taken as a pointer of the type and calling convention the exports table
 * gives it, so a declaration that lost VESK_CALL on 32-bit Windows or changed a type
 * fails to compile. C++11 and later also see that nothing is thrown. */
#include "vesk_10.h"

#if defined(_WIN32) && !defined(_WIN64)
#define STDCALL __stdcall
#else
#define STDCALL
#endif

HiveHandle* (STDCALL* open_file)(const char*) = OpenRegistryFile;
vesk_i32 (STDCALL* close_file)(HiveHandle*) = CloseRegistryFile;
vesk_i32 (STDCALL* search_root)(HiveHandle*, KeyRecord*) = SearchRootKey;
vesk_i32 (STDCALL* count_subkeys)(const KeyRecord*) = CountSubKeys;
vesk_i32 (STDCALL* count_values)(const KeyRecord*) = CountValues;
const char* (STDCALL* key_name)(HiveHandle*, const KeyRecord*) = GetRegKeyName;
vesk_i32 (STDCALL* subkey_list)(HiveHandle*, const KeyRecord*, KeyListRecord*) = GetSubKeyList;
vesk_i32 (STDCALL* count_list)(const KeyListRecord*) = CountKeyList;
const char* (STDCALL* subkey)(HiveHandle*, const KeyListRecord*, vesk_i32, KeyRecord*) = GetSubKey;
vesk_i32 (STDCALL* value_list)(HiveHandle*, const KeyRecord*, ValueListRecord*) = GetValueList;
vesk_i32 (STDCALL* value)(HiveHandle*, const ValueListRecord*, vesk_i32, ValueRecord*) = GetValue;
const char* (STDCALL* value_name)(HiveHandle*, const ValueRecord*) = GetValueName;
vesk_i32 (STDCALL* value_type)(HiveHandle*, const ValueRecord*) = GetValueType;
vesk_i32 (STDCALL* data_length)(HiveHandle*, ValueRecord*) = GetValueDataLength;
const char* (STDCALL* value_string)(HiveHandle*, ValueRecord*) = GetValueString;
vesk_i32 (STDCALL* value_data)(HiveHandle*, const ValueRecord*, void*) = GetValueData;
vesk_u32 (STDCALL* value_dword)(HiveHandle*, const ValueRecord*) = GetValueDword;

#if defined(__cplusplus) && __cplusplus >= 201103L
static_assert(noexcept(OpenRegistryFile(nullptr)) && noexcept(GetValueDword(nullptr, nullptr)),
              "the exports are declared noexcept");
#endif
