// The numbered object table and its intrusive list, all in MainHeap.
#include "runtime/objtable.h"

#include <cstring>

#include "platform/heap/heap.h"
#include "runtime/heaps.h"

namespace {

ListNode* header_of(void* payload) { return static_cast<ListNode*>(payload) - 1; }

void* payload_of(ListNode* node) { return node + 1; }

bool is_slot(const ObjectTable* table, intptr_t handle) {
  return handle >= 0 && handle < table->slot_count;
}

// Presence is the first field; here that field is pointer-sized (a sound's buffer), so the
// whole word is looked at rather than its low half.
bool present(const void* object) {
  intptr_t first;
  std::memcpy(&first, object, sizeof first);
  return first != 0;
}

}  // namespace

ObjectTable* objtable_new(int32_t object_size, int32_t grow_step, ObjTableRelease release_callback) {
  if (object_size < static_cast<int32_t>(sizeof(intptr_t)) || grow_step <= 0) return nullptr;
  ObjectTable* table =
      static_cast<ObjectTable*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(ObjectTable)));
  if (table == nullptr) return nullptr;
  table->object_size = object_size;
  table->release_callback = release_callback;
  table->grow_step = grow_step;
  table->slot_count = grow_step;
  table->dynamic_head = nullptr;
  table->slots = static_cast<void**>(
      HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(void*) * static_cast<size_t>(grow_step)));
  if (table->slots == nullptr) {
    HeapFree(MainHeap, 0, table);
    return nullptr;
  }
  return table;
}

void* objtable_alloc(ObjectTable* table, intptr_t number) {
  if (number == OBJTABLE_DYNAMIC) {
    return list_add(&table->dynamic_head,
                    static_cast<int32_t>(sizeof(ListNode)) + table->object_size);
  }
  if (number < 0 || number > INT32_MAX - table->grow_step) return nullptr;
  if (number >= table->slot_count) {
    int32_t count = static_cast<int32_t>(number) + table->grow_step;
    void** slots = static_cast<void**>(HeapReAlloc(MainHeap, HEAP_ZERO_MEMORY, table->slots,
                                                   sizeof(void*) * static_cast<size_t>(count)));
    // The old array stays in place when it cannot grow; the number gets no object.
    if (slots == nullptr) return nullptr;
    table->slots = slots;
    table->slot_count = count;
  }
  if (table->slots[number] != nullptr) {
    if (table->release_callback) table->release_callback(number);
    return table->slots[number];
  }
  void* object = HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, static_cast<size_t>(table->object_size));
  if (object == nullptr) return nullptr;
  table->slots[number] = object;
  return object;
}

void* objtable_get(ObjectTable* table, intptr_t handle) {
  void* object;
  if (is_slot(table, handle)) {
    object = table->slots[handle];
    if (object == nullptr) return nullptr;
  } else {
    object = reinterpret_cast<void*>(handle);
  }
  return present(object) ? object : nullptr;
}

void objtable_free(ObjectTable* table, intptr_t handle) {
  if (is_slot(table, handle)) {
    if (table->slots[handle] != nullptr) {
      std::memset(table->slots[handle], 0, static_cast<size_t>(table->object_size));
    }
    return;
  }
  list_remove(&table->dynamic_head, reinterpret_cast<void*>(handle));
}

void objtable_first(ObjectTable* table) {
  table->enum_slot = 0;
  ListNode* node = table->dynamic_head;
  while (node != nullptr && node->next != nullptr) node = node->next;
  table->enum_node = node;
}

void* objtable_next(ObjectTable* table, intptr_t* out) {
  while (table->enum_slot >= 0 && table->enum_slot < table->slot_count) {
    int32_t s = table->enum_slot++;
    void* object = table->slots[s];
    if (object != nullptr && present(object)) {
      *out = s;
      return object;
    }
  }
  if (table->enum_node != nullptr) {
    ListNode* node = table->enum_node;
    void* payload = payload_of(node);
    *out = reinterpret_cast<intptr_t>(payload);
    table->enum_node = node->prev;
    return payload;
  }
  return nullptr;
}

void* list_add(ListNode** head, int32_t node_size) {
  if (node_size < static_cast<int32_t>(sizeof(ListNode))) return nullptr;
  ListNode* node =
      static_cast<ListNode*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, static_cast<size_t>(node_size)));
  if (node == nullptr) return nullptr;
  if (*head != nullptr) {
    (*head)->prev = node;
    node->next = *head;
  }
  *head = node;
  return payload_of(node);
}

void list_remove(ListNode** head, void* payload) {
  ListNode* node = header_of(payload);
  if (node == *head) {
    *head = node->next;
    if (node->next != nullptr) node->next->prev = nullptr;
  } else {
    node->prev->next = node->next;
    if (node->next != nullptr) node->next->prev = node->prev;
  }
  HeapFree(MainHeap, 0, node);
}

void* list_find(ListNode* start, void* payload) {
  // Compared as addresses: payload may be any value a caller passes as a handle.
  for (ListNode* node = start; node != nullptr; node = node->next) {
    if (reinterpret_cast<uintptr_t>(node) + sizeof(ListNode) == reinterpret_cast<uintptr_t>(payload)) {
      return payload;
    }
  }
  return nullptr;
}
