// The open-file registry: a doubly linked list of entries, newest first, and the
// current file on which seek and read act. Entries come from the platform's heap.
#include "frame/files.h"

#include "byte_order.h"
#include "frame/platform.h"

namespace vesk::frame {
namespace {

using format::load_le16;
using format::load_le32;

struct Entry {
  Entry* next;
  Entry* previous;
  FileRef ref;
  platform::File file;
};

Entry* g_head = nullptr;
Entry* g_current = nullptr;  // null: no current file
FileRef g_last_ref = 0;

Entry* find(FileRef ref) {
  if (ref == 0) return nullptr;
  for (Entry* e = g_head; e != nullptr; e = e->next) {
    if (e->ref == ref) return e;
  }
  return nullptr;
}

// References count up and skip 0 and any still in use, so a stale reference held by
// a closed handle never names a newer file until four billion opens have passed.
FileRef next_ref() {
  do {
    ++g_last_ref;
  } while (g_last_ref == 0 || find(g_last_ref) != nullptr);
  return g_last_ref;
}

void unlink(Entry* e) {
  if (e->previous == nullptr) {
    g_head = e->next;
  } else {
    e->previous->next = e->next;
  }
  if (e->next != nullptr) e->next->previous = e->previous;
}

}  // namespace

FileRef open_file(const char* path) {
  g_current = nullptr;
  if (path == nullptr) return 0;
  platform::File file;
  if (!platform::open_read_only(path, file)) return 0;
  auto* e = static_cast<Entry*>(platform::alloc_zeroed(sizeof(Entry)));
  if (e == nullptr) {
    platform::close(file);
    return 0;
  }
  e->file = file;
  e->ref = next_ref();
  e->next = g_head;
  if (g_head != nullptr) g_head->previous = e;
  g_head = e;
  g_current = e;
  return e->ref;
}

void select_file(FileRef ref) {
  if (Entry* e = find(ref)) g_current = e;
}

void seek(std::uint32_t offset) {
  if (g_current != nullptr) platform::seek(g_current->file, static_cast<std::int32_t>(offset));
}

std::int32_t read_bytes(void* dst, std::int32_t count) {
  if (g_current == nullptr || dst == nullptr || count <= 0) return 0;
  return platform::read(g_current->file, dst, count);
}

std::uint32_t read_u32() {
  unsigned char b[4] = {0, 0, 0, 0};
  read_bytes(b, 4);
  return load_le32(b);
}

std::int32_t read_i16() {
  unsigned char b[2] = {0, 0};
  read_bytes(b, 2);
  return static_cast<std::int16_t>(load_le16(b));
}

std::int32_t file_size() {
  if (g_current == nullptr) return -1;
  return platform::file_size(g_current->file);
}

void close_file(FileRef ref) {
  Entry* e = find(ref);
  if (e == nullptr) return;
  platform::close(e->file);
  unlink(e);
  // Forget it as the current file too: its handle number may be reused by the
  // system for an unrelated file, which must never be read through a stale entry.
  if (g_current == e) g_current = nullptr;
  platform::release(e);
}

void close_all_files() {
  while (g_head != nullptr) close_file(g_head->ref);
}

std::int32_t open_file_count() {
  std::int32_t n = 0;
  for (Entry* e = g_head; e != nullptr; e = e->next) ++n;
  return n;
}

}  // namespace vesk::frame
