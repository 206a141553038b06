// ObjectTable: fixed-size records handed out by number (a slot array that grows) or as
// dynamic objects (an intrusive list, the handle being the object's address). An object is
// present only while its first pointer-sized field is non-zero.
#pragma once

#include "platform/base/platform_types.h"

constexpr intptr_t OBJTABLE_DYNAMIC = -1;

// Header of every node of an intrusive list; the payload follows it.
struct ListNode {
  ListNode* next;  // older, toward the tail
  ListNode* prev;  // newer, toward the head
};

typedef void (*ObjTableRelease)(intptr_t number);

struct ObjectTable {
  int32_t object_size;
  int32_t grow_step;
  int32_t slot_count;
  void** slots;
  ListNode* dynamic_head;
  ObjTableRelease release_callback;
  int32_t enum_slot;
  ListNode* enum_node;
};

// object_size must be at least the size of a pointer. Null if MainHeap cannot hold it.
ObjectTable* objtable_new(int32_t object_size, int32_t grow_step, ObjTableRelease release_callback);
// The object of number (new and zero-filled, or the existing one after the release
// callback ran), or a new dynamic object for OBJTABLE_DYNAMIC. Null when memory runs out.
void* objtable_alloc(ObjectTable* table, intptr_t number);
void* objtable_get(ObjectTable* table, intptr_t handle);
void objtable_free(ObjectTable* table, intptr_t handle);
void objtable_first(ObjectTable* table);
// Next present object: numbered ones ascending, then dynamic ones oldest first.
void* objtable_next(ObjectTable* table, intptr_t* out);

// head is the address of the list's head pointer; node_size counts the header and payload.
void* list_add(ListNode** head, int32_t node_size);
void list_remove(ListNode** head, void* payload);
// start is normally (ListNode*)&head: the walk then covers the whole list.
void* list_find(ListNode* start, void* payload);
