// The open-file registry and the current file: the only way the hive code reads.
// Every read is a seek to an absolute offset followed by a read from the current file;
// bytes that are not there read as zero in the 16- and 32-bit reads. No buffering.
#pragma once

#include <cstdint>

namespace vesk::frame {

// Nonzero for an open file. A small identifier rather than an address, so that it fits
// the 32-bit field of a HiveHandle on 64-bit platforms too.
using FileRef = std::uint32_t;

// Opens the file read-only and makes it the current file. Returns 0 when refused,
// and then there is no current file.
FileRef open_file(const char* path);

// Makes the file current; a reference that names no open file leaves the current file.
void select_file(FileRef ref);

// Positions the current file; an offset of 0x80000000 or more is refused by the
// system and the position stays. Nothing happens without a current file.
void seek(std::uint32_t offset);

// Reads up to `count` bytes; bytes of `dst` past the number read are left as they were.
// 0 without a current file or for a count of zero or less.
std::int32_t read_bytes(void* dst, std::int32_t count);

// Little-endian reads into a zeroed word: missing bytes count as zero.
std::uint32_t read_u32();
std::int32_t read_i16();  // sign-extended

// Length of the current file (low 32 bits), or -1 without one.
std::int32_t file_size();

// Closes and forgets the file; an unknown reference is ignored.
void close_file(FileRef ref);
void close_all_files();

// Number of files open now (for tests and leak checks).
std::int32_t open_file_count();

}  // namespace vesk::frame
