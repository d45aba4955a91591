/* vesk_10.h: read Windows NT registry hive files straight from disk.
 *
 * The 17 exported functions and the five records they exchange with the host.
 * Records are packed little-endian images: each holds the absolute file offset
 * of an on-disk cell followed by a byte-for-byte copy of the front of that cell.
 * Text results point into a library-owned area and stay intact only until the
 * next call of a text-returning function; copy what you keep.
 */
#ifndef VESK_10_H
#define VESK_10_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VESK_CALL __stdcall
#else
#define VESK_CALL
#endif

#if defined(_WIN32)
#if defined(VESK_BUILDING_LIBRARY)
#define VESK_API
#else
#define VESK_API __declspec(dllimport)
#endif
#else
#define VESK_API __attribute__((visibility("default")))
#endif

/* Nothing is thrown across the interface; C++ hosts may rely on it. */
#ifdef __cplusplus
#define VESK_NOEXCEPT noexcept
#else
#define VESK_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)

/* The first 512 bytes of a hive file, kept whole in the handle. */
typedef struct BaseBlock {
  uint32_t signature;          /* "regf" */
  uint32_t primary_sequence;
  uint32_t secondary_sequence;
  uint32_t last_written_low;
  uint32_t last_written_high;
  uint32_t major_version;
  uint32_t minor_version;
  uint32_t file_type;
  uint32_t file_format;
  uint32_t root_cell;          /* copied, never used: the root key is searched for */
  uint32_t hive_bins_size;
  uint32_t clustering_factor;
  uint8_t file_name[64];
  uint8_t reserved[396];
  uint32_t checksum;           /* copied, never verified */
} BaseBlock;

/* Owned by the library from OpenRegistryFile until CloseRegistryFile. */
typedef struct HiveHandle {
  uint32_t file;               /* nonzero reference to the open file */
  int32_t file_size;           /* low 32 bits of the length when opened */
  BaseBlock base_block;
} HiveHandle;

/* A key: file offset of its "nk" cell contents, then the first 76 bytes of the node. */
typedef struct KeyRecord {
  uint32_t offset;
  uint16_t signature;          /* "nk" */
  uint16_t flags;              /* the root key has exactly 0x2C */
  uint32_t last_written_low;
  uint32_t last_written_high;
  uint32_t access_bits;
  uint32_t parent;
  int32_t subkey_count;
  int32_t volatile_subkey_count;
  uint32_t subkey_list;        /* cell offset */
  uint32_t volatile_subkey_list;
  int32_t value_count;
  uint32_t value_list;         /* cell offset, 0xFFFFFFFF when there is none */
  uint32_t security;
  uint32_t class_name;
  uint32_t max_subkey_name_length;
  uint32_t max_subkey_class_length;
  uint32_t max_value_name_length;
  uint32_t max_value_data_size;
  uint32_t work_variable;
  uint16_t name_length;        /* bytes */
  uint16_t class_name_length;  /* bytes */
} KeyRecord;

/* A subkey list: file offset of its contents, then its signature and element count. */
typedef struct KeyListRecord {
  uint32_t offset;
  uint16_t signature;          /* only "lf" lists are walked */
  int16_t count;
} KeyListRecord;

/* A value list: file offset of its first element and the number of values. */
typedef struct ValueListRecord {
  uint32_t offset;
  int32_t count;
} ValueListRecord;

/* A value: file offset of its "vk" cell contents, then the first 18 bytes of the node. */
typedef struct ValueRecord {
  uint32_t offset;
  uint16_t signature;          /* "vk" */
  uint16_t name_length;        /* bytes */
  uint32_t data_size;          /* bit 31 set: the data is inline in data_offset */
  uint32_t data_offset;        /* cell offset of the data, or up to 4 inline bytes */
  uint32_t data_type;
  uint16_t flags;              /* bit 0 set: the name is stored as 8-bit text */
} ValueRecord;

#pragma pack(pop)

#if defined(__cplusplus) && __cplusplus >= 201103L
#define VESK_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define VESK_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#else
#define VESK_STATIC_ASSERT(cond, msg) struct vesk_size_checked_by_c11_and_cxx
#endif

VESK_STATIC_ASSERT(sizeof(BaseBlock) == 512, "BaseBlock is the first 512 bytes of the file");
VESK_STATIC_ASSERT(sizeof(HiveHandle) == 520, "HiveHandle is a fixed image");
VESK_STATIC_ASSERT(sizeof(KeyRecord) == 80, "KeyRecord is a fixed image");
VESK_STATIC_ASSERT(sizeof(KeyListRecord) == 8, "KeyListRecord is a fixed image");
VESK_STATIC_ASSERT(sizeof(ValueListRecord) == 8, "ValueListRecord is a fixed image");
VESK_STATIC_ASSERT(sizeof(ValueRecord) == 22, "ValueRecord is a fixed image");

/* Hive handle. OpenRegistryFile returns 0 when the file cannot be opened or is not
 * a version 1.3 hive; CloseRegistryFile accepts 0 and always returns 0. */
VESK_API HiveHandle* VESK_CALL OpenRegistryFile(const char* path) VESK_NOEXCEPT;
VESK_API int32_t VESK_CALL CloseRegistryFile(HiveHandle* hive) VESK_NOEXCEPT;

/* Keys. SearchRootKey returns 1 and fills the record, or 0 and leaves it untouched. */
VESK_API int32_t VESK_CALL SearchRootKey(HiveHandle* hive, KeyRecord* key) VESK_NOEXCEPT;
VESK_API int32_t VESK_CALL CountSubKeys(const KeyRecord* key) VESK_NOEXCEPT;
VESK_API int32_t VESK_CALL CountValues(const KeyRecord* key) VESK_NOEXCEPT;
VESK_API const char* VESK_CALL GetRegKeyName(HiveHandle* hive, const KeyRecord* key) VESK_NOEXCEPT;

/* Subkey lists. GetSubKeyList returns the number of subkeys of an "lf" list, else 0;
 * GetSubKey returns the subkey's four-byte name hint, or "" when out of range. */
VESK_API int32_t VESK_CALL GetSubKeyList(HiveHandle* hive, const KeyRecord* key,
                                         KeyListRecord* list) VESK_NOEXCEPT;
VESK_API int32_t VESK_CALL CountKeyList(const KeyListRecord* list) VESK_NOEXCEPT;
VESK_API const char* VESK_CALL GetSubKey(HiveHandle* hive, const KeyListRecord* list,
                                         int32_t index, KeyRecord* subkey) VESK_NOEXCEPT;

/* Values. GetValue returns the data type, or 0 (indistinguishable from type 0)
 * when the index is out of range. A name whose 8-bit flag is clear is "{default}". */
VESK_API int32_t VESK_CALL GetValueList(HiveHandle* hive, const KeyRecord* key,
                                        ValueListRecord* list) VESK_NOEXCEPT;
VESK_API int32_t VESK_CALL GetValue(HiveHandle* hive, const ValueListRecord* list,
                                    int32_t index, ValueRecord* value) VESK_NOEXCEPT;
VESK_API const char* VESK_CALL GetValueName(HiveHandle* hive, const ValueRecord* value) VESK_NOEXCEPT;
VESK_API int32_t VESK_CALL GetValueType(HiveHandle* hive, const ValueRecord* value) VESK_NOEXCEPT;

/* Value data. GetValueDataLength and GetValueString clear bit 31 of the record's
 * data size in place. GetValueData fills a buffer of at least the data size and
 * returns 1, or 0 for data of 4 bytes or fewer (read those with GetValueDword). */
VESK_API int32_t VESK_CALL GetValueDataLength(HiveHandle* hive, ValueRecord* value) VESK_NOEXCEPT;
VESK_API const char* VESK_CALL GetValueString(HiveHandle* hive, ValueRecord* value) VESK_NOEXCEPT;
VESK_API int32_t VESK_CALL GetValueData(HiveHandle* hive, const ValueRecord* value,
                                        void* buffer) VESK_NOEXCEPT;
VESK_API uint32_t VESK_CALL GetValueDword(HiveHandle* hive, const ValueRecord* value) VESK_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* VESK_10_H */
