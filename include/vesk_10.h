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

/* Microsoft's compilers before Visual Studio 2010 have no <stdint.h>; their sized
 * integer types are the same widths. The names stay the header's own, so a host's
 * own substitute for <stdint.h> never clashes with them. */
#if defined(_MSC_VER) && _MSC_VER < 1600
typedef unsigned __int8 vesk_u8;
typedef unsigned __int16 vesk_u16;
typedef __int16 vesk_i16;
typedef unsigned __int32 vesk_u32;
typedef __int32 vesk_i32;
#else
#include <stdint.h>
typedef uint8_t vesk_u8;
typedef uint16_t vesk_u16;
typedef int16_t vesk_i16;
typedef uint32_t vesk_u32;
typedef int32_t vesk_i32;
#endif

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
#elif defined(__GNUC__)
#define VESK_API __attribute__((visibility("default")))
#else
#define VESK_API
#endif

/* Nothing is thrown across the interface; C++ hosts may rely on it. Before C++11 that
 * is said with throw(). Microsoft's compilers report C++98 in __cplusplus whatever
 * they support, and have noexcept from Visual Studio 2015 on; clang reports the
 * standard it compiles, in their mode too. */
#if !defined(__cplusplus)
#define VESK_NOEXCEPT
#elif __cplusplus >= 201103L || (defined(_MSC_VER) && _MSC_VER >= 1900 && !defined(__clang__))
#define VESK_NOEXCEPT noexcept
#else
#define VESK_NOEXCEPT throw()
#endif

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)

/* The first 512 bytes of a hive file, kept whole in the handle. */
typedef struct BaseBlock {
  vesk_u32 signature;          /* "regf" */
  vesk_u32 primary_sequence;
  vesk_u32 secondary_sequence;
  vesk_u32 last_written_low;
  vesk_u32 last_written_high;
  vesk_u32 major_version;
  vesk_u32 minor_version;
  vesk_u32 file_type;
  vesk_u32 file_format;
  vesk_u32 root_cell;          /* copied, never used: the root key is searched for */
  vesk_u32 hive_bins_size;
  vesk_u32 clustering_factor;
  vesk_u8 file_name[64];
  vesk_u8 reserved[396];
  vesk_u32 checksum;           /* copied, never verified */
} BaseBlock;

/* Owned by the library from OpenRegistryFile until CloseRegistryFile. */
typedef struct HiveHandle {
  vesk_u32 file;               /* nonzero reference to the open file */
  vesk_i32 file_size;          /* low 32 bits of the length when opened */
  BaseBlock base_block;
} HiveHandle;

/* A key: file offset of its "nk" cell contents, then the first 76 bytes of the node. */
typedef struct KeyRecord {
  vesk_u32 offset;
  vesk_u16 signature;          /* "nk" */
  vesk_u16 flags;              /* the root key has exactly 0x2C */
  vesk_u32 last_written_low;
  vesk_u32 last_written_high;
  vesk_u32 access_bits;
  vesk_u32 parent;
  vesk_i32 subkey_count;
  vesk_i32 volatile_subkey_count;
  vesk_u32 subkey_list;        /* cell offset */
  vesk_u32 volatile_subkey_list;
  vesk_i32 value_count;
  vesk_u32 value_list;         /* cell offset, 0xFFFFFFFF when there is none */
  vesk_u32 security;
  vesk_u32 class_name;
  vesk_u32 max_subkey_name_length;
  vesk_u32 max_subkey_class_length;
  vesk_u32 max_value_name_length;
  vesk_u32 max_value_data_size;
  vesk_u32 work_variable;
  vesk_u16 name_length;        /* bytes */
  vesk_u16 class_name_length;  /* bytes */
} KeyRecord;

/* A subkey list: file offset of its contents, then its signature and element count. */
typedef struct KeyListRecord {
  vesk_u32 offset;
  vesk_u16 signature;          /* only "lf" lists are walked */
  vesk_i16 count;
} KeyListRecord;

/* A value list: file offset of its first element and the number of values. */
typedef struct ValueListRecord {
  vesk_u32 offset;
  vesk_i32 count;
} ValueListRecord;

/* A value: file offset of its "vk" cell contents, then the first 18 bytes of the node. */
typedef struct ValueRecord {
  vesk_u32 offset;
  vesk_u16 signature;          /* "vk" */
  vesk_u16 name_length;        /* bytes */
  vesk_u32 data_size;          /* bit 31 set: the data is inline in data_offset */
  vesk_u32 data_offset;        /* cell offset of the data, or up to 4 inline bytes */
  vesk_u32 data_type;
  vesk_u16 flags;              /* bit 0 set: the name is stored as 8-bit text */
} ValueRecord;

#pragma pack(pop)

#if defined(__cplusplus) && __cplusplus >= 201103L
#define VESK_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define VESK_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#else
/* Older compilers: a false condition gives an array of negative size. Every true one
 * declares the same array again, which C and C++ allow. */
#define VESK_STATIC_ASSERT(cond, msg) extern char vesk_record_sizes_hold[(cond) ? 1 : -1]
#endif

VESK_STATIC_ASSERT(sizeof(BaseBlock) == 512, "BaseBlock is the first 512 bytes of the file");
VESK_STATIC_ASSERT(sizeof(HiveHandle) == 520, "HiveHandle is a fixed image");
VESK_STATIC_ASSERT(sizeof(KeyRecord) == 80, "KeyRecord is a fixed image");
VESK_STATIC_ASSERT(sizeof(KeyListRecord) == 8, "KeyListRecord is a fixed image");
VESK_STATIC_ASSERT(sizeof(ValueListRecord) == 8, "ValueListRecord is a fixed image");
VESK_STATIC_ASSERT(sizeof(ValueRecord) == 22, "ValueRecord is a fixed image");

/* Every function below returns, whatever the file holds. A text result points into
 * the library's 64000-byte result area, holds at most 63999 bytes before its NUL,
 * and stays intact until the next text-returning call; file bytes a read could not
 * reach come back as spaces. Offsets and counts in the records are the file's own:
 * nothing past the base block is checked, so a damaged hive gives garbage records,
 * never a crash.
 *
 * Read errors. Every result stays as described whatever the disk does: what a read
 * could not bring counts as missing (zeros, spaces, a shorter text), as past the end of
 * the file. A host that wants to tell a failing disk from a short or damaged file clears
 * the system's error before a call and looks after it: errno on POSIX, GetLastError()
 * on Windows. The library changes it only where the system refuses something the call
 * asked for: a read (EIO and the like), the open in OpenRegistryFile, or memory; it
 * keeps the last such refusal until the call returns and never sets it to zero. Reads
 * that stop at the end of the file, interrupted reads taken again, a seek the file's
 * damage makes impossible, characters the code page lacks and a failing close leave it
 * as the host left it. A read that comes back short is asked once for the rest, so a
 * refusal partway through a read is reported rather than taken for the end of the file.
 * A null from OpenRegistryFile with the error unchanged means the file opened but is not
 * a regular file or not a hive the library reads.
 *
 * Threads. One call at a time: the library keeps no lock (vesk/hive.hpp takes one). On
 * POSIX a thread must not be cancelled inside a call: the opens, reads and closes are
 * cancellation points, and a cancellation acted on there ends the process, as nothing
 * here throws. */

/* Hive handle. */

/* Opens a version 1.3 hive at `path` (8-bit text in the system's code page): returns a
 * new handle, owned by the library until CloseRegistryFile. Returns 0 for a null path,
 * a file that cannot be opened or shared for reading, one shorter than 4096 bytes, or a
 * base block that is not a 1.3 hive's (signature, sequence numbers, version, type,
 * format, clustering); a refused open keeps no file open and no memory. The checksum
 * and the root cell offset of the base block are not checked. */
VESK_API HiveHandle* VESK_CALL OpenRegistryFile(const char* path) VESK_NOEXCEPT;

/* Closes the handle's file and releases the handle; returns 0. A null handle is
 * accepted and does nothing. The handle must not be used afterwards; other handles
 * are not affected. */
VESK_API vesk_i32 VESK_CALL CloseRegistryFile(HiveHandle* hive) VESK_NOEXCEPT;

/* Keys. */

/* Fills `key` with the root key and returns 1 when the first cell of the first bin is
 * a key node with flags 0x2C. Returns 0 otherwise (no bin at 4096, another cell first,
 * other flags), leaving `key` untouched. */
VESK_API vesk_i32 VESK_CALL SearchRootKey(HiveHandle* hive, KeyRecord* key) VESK_NOEXCEPT;

/* Return the record's subkey count and value count as stored (signed), reading no
 * file and changing nothing. */
VESK_API vesk_i32 VESK_CALL CountSubKeys(const KeyRecord* key) VESK_NOEXCEPT;
VESK_API vesk_i32 VESK_CALL CountValues(const KeyRecord* key) VESK_NOEXCEPT;

/* Returns the key's name: its name-length bytes as stored, up to the first zero byte
 * (so a UTF-16 name gives its first character). A length of 0x8000 or more gives an
 * empty text; bytes past the end of the file come back as spaces. `key` is unchanged. */
VESK_API const char* VESK_CALL GetRegKeyName(HiveHandle* hive, const KeyRecord* key) VESK_NOEXCEPT;

/* Subkey lists. */

/* Fills `list` with the key's subkey list (its offset, then the signature and count
 * read there) and returns the count when the signature is "lf". Returns 0 for any other
 * list, for a key without subkeys, and where the file ends first; the record is filled
 * all the same, as far as the file reaches. `key` is unchanged. */
VESK_API vesk_i32 VESK_CALL GetSubKeyList(HiveHandle* hive, const KeyRecord* key,
                                         KeyListRecord* list) VESK_NOEXCEPT;

/* Returns the record's element count, sign-extended from 16 bits, whatever its
 * signature; reads no file and changes nothing. */
VESK_API vesk_i32 VESK_CALL CountKeyList(const KeyListRecord* list) VESK_NOEXCEPT;

/* Fills `subkey` with element `index` (from 0) of the list and returns that element's
 * name hint: its four bytes up to the first zero byte. For an index below 0 or not
 * below CountKeyList, returns "" and leaves `subkey` untouched without reading the file.
 * The element is read as an "lf" element whatever the list's signature. */
VESK_API const char* VESK_CALL GetSubKey(HiveHandle* hive, const KeyListRecord* list,
                                         vesk_i32 index, KeyRecord* subkey) VESK_NOEXCEPT;

/* Values. */

/* Fills `list` with the key's value list and returns its count (signed). Returns 0 and
 * leaves `list` untouched when the key has no values or no value list (0xFFFFFFFF).
 * Reads no file; `hive` is not used. */
VESK_API vesk_i32 VESK_CALL GetValueList(HiveHandle* hive, const KeyRecord* key,
                                        ValueListRecord* list) VESK_NOEXCEPT;

/* Fills `value` with element `index` (from 0) of the list and returns its data type.
 * Returns 0 and leaves `value` untouched for an index below 0 or not below the count;
 * a data type of 0 looks the same, so a host that must tell them apart checks the
 * index itself. No signature is checked: the cell reached is taken as a value node. */
VESK_API vesk_i32 VESK_CALL GetValue(HiveHandle* hive, const ValueListRecord* list,
                                    vesk_i32 index, ValueRecord* value) VESK_NOEXCEPT;

/* Returns the value's name: "{default}" when flag bit 0 is clear (the file is not
 * read), else its name-length bytes up to the first zero byte. A length of 0x8000 or
 * more gives an empty text; bytes past the end of the file come back as spaces. */
VESK_API const char* VESK_CALL GetValueName(HiveHandle* hive, const ValueRecord* value) VESK_NOEXCEPT;

/* Returns the record's data type, as GetValue did; reads no file and changes nothing. */
VESK_API vesk_i32 VESK_CALL GetValueType(HiveHandle* hive, const ValueRecord* value) VESK_NOEXCEPT;

/* Value data. The data type is never consulted; data of 4 bytes or fewer lives in the
 * record's data_offset field. */

/* Returns the data size in bytes. Clears bit 31 (the inline mark) of the record's
 * data_size in place, the only change it makes; reads no file. */
VESK_API vesk_i32 VESK_CALL GetValueDataLength(HiveHandle* hive, ValueRecord* value) VESK_NOEXCEPT;

/* Returns the data read as UTF-16LE and converted to the system's 8-bit code page, up
 * to the first zero code unit; data without one is followed by spaces up to its size
 * in bytes. Reads at most 256000 bytes of data. Clears bit 31 of the record's
 * data_size in place, as GetValueDataLength does. Returns an empty text when no room
 * for the data can be had. */
VESK_API const char* VESK_CALL GetValueString(HiveHandle* hive, ValueRecord* value) VESK_NOEXCEPT;

/* Copies the data into `buffer`, which holds at least the data size, and returns 1.
 * Returns 0 and writes nothing for data of 4 bytes or fewer, and while bit 31 of the
 * size is still set (read those with GetValueDword). Writes no more than the file holds
 * from the data on; the rest of the buffer keeps what it held. `value` is unchanged. */
VESK_API vesk_i32 VESK_CALL GetValueData(HiveHandle* hive, const ValueRecord* value,
                                        void* buffer) VESK_NOEXCEPT;

/* Returns the record's data_offset field as it stands for data of 4 bytes or fewer
 * (and while bit 31 of the size is set), else the first 4 bytes of the data, 0 where
 * the file ends first. `value` is unchanged. */
VESK_API vesk_u32 VESK_CALL GetValueDword(HiveHandle* hive, const ValueRecord* value) VESK_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* VESK_10_H */
