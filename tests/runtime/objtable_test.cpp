// Numbered and dynamic objects, enumeration and the intrusive list.
#include <gtest/gtest.h>

#include <vector>

#include "platform/heap/heap.h"
#include "runtime/heaps.h"
#include "runtime/objtable.h"

namespace {

struct Record {
  intptr_t first;  // presence
  int32_t value;
};

std::vector<intptr_t> released;
void record_release(intptr_t number) { released.push_back(number); }

class ObjTable : public ::testing::Test {
 protected:
  void SetUp() override {
    MainHeap = HeapCreate(0, 4096, 0);
    released.clear();
    table = objtable_new(sizeof(Record), 64, record_release);
    ASSERT_NE(table, nullptr);
  }
  void TearDown() override {
    HeapDestroy(MainHeap);
    MainHeap = 0;
  }
  Record* alloc(intptr_t number) { return static_cast<Record*>(objtable_alloc(table, number)); }
  std::vector<intptr_t> enumerate() {
    std::vector<intptr_t> seen;
    intptr_t out = 0;
    objtable_first(table);
    while (objtable_next(table, &out) != nullptr) seen.push_back(out);
    return seen;
  }
  ObjectTable* table = nullptr;
};

TEST_F(ObjTable, NumberedObjectIsPresentOnlyOnceItsFirstFieldIsSet) {
  EXPECT_EQ(objtable_get(table, 0), nullptr);
  Record* r = alloc(0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->first, 0);
  EXPECT_EQ(r->value, 0);
  EXPECT_EQ(objtable_get(table, 0), nullptr);
  r->first = 1;
  EXPECT_EQ(objtable_get(table, 0), r);
}

TEST_F(ObjTable, PresenceLooksAtTheWholePointerSizedField) {
  Record* r = alloc(3);
  r->first = static_cast<intptr_t>(1) << 40;  // low 32 bits zero
  EXPECT_EQ(objtable_get(table, 3), r);
}

TEST_F(ObjTable, ReallocatingANumberCallsTheReleaseCallbackAndReusesTheMemory) {
  Record* r = alloc(5);
  r->first = 1;
  r->value = 42;
  EXPECT_TRUE(released.empty());
  Record* again = alloc(5);
  EXPECT_EQ(again, r);
  EXPECT_EQ(released, std::vector<intptr_t>{5});
  EXPECT_EQ(again->value, 42);  // the callback clears, not the table

  objtable_free(table, 5);
  EXPECT_EQ(objtable_get(table, 5), nullptr);
  EXPECT_EQ(r->value, 0);
  EXPECT_EQ(alloc(5), r);
  EXPECT_EQ(released.size(), 2u);
}

TEST_F(ObjTable, SlotArrayGrowsToTheNumberPlusTheStep) {
  Record* r = alloc(100);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(table->slot_count, 164);
  r->first = 1;
  EXPECT_EQ(objtable_get(table, 100), r);
}

TEST_F(ObjTable, SlotArrayThatCannotGrowKeepsTheOldOne) {
  Record* r = alloc(1);
  r->first = 1;
  void** slots = table->slots;
  heap_fail_request(1);
  EXPECT_EQ(alloc(500), nullptr);
  EXPECT_EQ(table->slots, slots);
  EXPECT_EQ(table->slot_count, 64);
  EXPECT_EQ(objtable_get(table, 1), r);
}

TEST_F(ObjTable, FailedObjectAllocationLeavesTheSlotEmpty) {
  heap_fail_request(1);
  EXPECT_EQ(alloc(2), nullptr);
  EXPECT_EQ(table->slots[2], nullptr);
  heap_fail_request(1);
  EXPECT_EQ(alloc(OBJTABLE_DYNAMIC), nullptr);
  EXPECT_EQ(table->dynamic_head, nullptr);
}

TEST_F(ObjTable, NegativeNumbersOtherThanDynamicAreRefused) {
  EXPECT_EQ(alloc(-2), nullptr);
  EXPECT_EQ(heap_stats(MainHeap).live_blocks, 2u);  // table and slots
}

TEST_F(ObjTable, EnumerationGivesNumberedAscendingThenDynamicOldestFirst) {
  Record* a = alloc(OBJTABLE_DYNAMIC);
  Record* b = alloc(OBJTABLE_DYNAMIC);
  ASSERT_NE(a, b);
  for (intptr_t n : {7, 2, 9}) alloc(n)->first = 1;
  alloc(4);  // absent: never filled
  a->first = 1;
  b->first = 1;
  EXPECT_EQ(objtable_get(table, reinterpret_cast<intptr_t>(a)), a);

  std::vector<intptr_t> expected = {2, 7, 9, reinterpret_cast<intptr_t>(a),
                                    reinterpret_cast<intptr_t>(b)};
  EXPECT_EQ(enumerate(), expected);
}

TEST_F(ObjTable, FreeingEachObjectAsItIsReturnedFreesThemAll) {
  for (int i = 0; i < 3; i++) alloc(OBJTABLE_DYNAMIC)->first = 1;
  alloc(0)->first = 1;
  alloc(63)->first = 1;
  HeapStats before = heap_stats(MainHeap);

  intptr_t out = 0;
  int returned = 0;
  objtable_first(table);
  while (objtable_next(table, &out) != nullptr) {
    objtable_free(table, out);
    returned++;
  }
  EXPECT_EQ(returned, 5);
  EXPECT_TRUE(enumerate().empty());
  EXPECT_EQ(table->dynamic_head, nullptr);
  EXPECT_EQ(heap_stats(MainHeap).live_blocks, before.live_blocks - 3);
}

TEST_F(ObjTable, NextWithoutFirstWalksSlotsOnlyAndLeavesOutAloneAtTheEnd) {
  alloc(OBJTABLE_DYNAMIC)->first = 1;
  alloc(1)->first = 1;
  intptr_t out = -7;
  EXPECT_NE(objtable_next(table, &out), nullptr);
  EXPECT_EQ(out, 1);
  out = -7;
  EXPECT_EQ(objtable_next(table, &out), nullptr);
  EXPECT_EQ(out, -7);
}

class List : public ::testing::Test {
 protected:
  void SetUp() override { MainHeap = HeapCreate(0, 4096, 0); }
  void TearDown() override {
    HeapDestroy(MainHeap);
    MainHeap = 0;
  }
  ListNode* start() { return reinterpret_cast<ListNode*>(&head); }
  // Walks both ways and checks the links agree; returns payloads newest first.
  std::vector<void*> walk() {
    std::vector<void*> forward;
    ListNode* last = nullptr;
    for (ListNode* n = head; n != nullptr; n = n->next) {
      EXPECT_EQ(n->prev, last);
      forward.push_back(n + 1);
      last = n;
    }
    std::vector<void*> backward;
    for (ListNode* n = last; n != nullptr; n = n->prev) backward.insert(backward.begin(), n + 1);
    EXPECT_EQ(forward, backward);
    return forward;
  }
  ListNode* head = nullptr;
};

TEST_F(List, AddPutsNewNodesAtTheHeadZeroFilled) {
  void* a = list_add(&head, sizeof(ListNode) + sizeof(void*));
  void* b = list_add(&head, sizeof(ListNode) + sizeof(void*));
  EXPECT_EQ(*static_cast<void**>(b), nullptr);
  EXPECT_EQ(walk(), (std::vector<void*>{b, a}));
  EXPECT_EQ(list_find(start(), a), a);
  EXPECT_EQ(list_find(start(), b), b);
}

struct RemoveCase {
  const char* name;
  int index;  // 0 head (newest), 1 middle, 2 tail
};

class ListRemove : public List, public ::testing::WithParamInterface<RemoveCase> {};

TEST_P(ListRemove, LeavesLinksThatAgreeBothWays) {
  std::vector<void*> nodes;
  for (int i = 0; i < 3; i++) nodes.insert(nodes.begin(), list_add(&head, sizeof(ListNode) + 8));
  void* victim = nodes[GetParam().index];
  list_remove(&head, victim);
  nodes.erase(nodes.begin() + GetParam().index);
  EXPECT_EQ(walk(), nodes);
  EXPECT_EQ(list_find(start(), victim), nullptr);
  EXPECT_EQ(heap_stats(MainHeap).live_blocks, 2u);
}

INSTANTIATE_TEST_SUITE_P(Positions, ListRemove,
                         ::testing::Values(RemoveCase{"head", 0}, RemoveCase{"middle", 1},
                                           RemoveCase{"tail", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(List, FindRejectsPayloadsOfOtherListsAndArbitraryHandles) {
  ListNode* other = nullptr;
  void* foreign = list_add(&other, sizeof(ListNode) + 8);
  list_add(&head, sizeof(ListNode) + 8);
  EXPECT_EQ(list_find(start(), foreign), nullptr);
  EXPECT_EQ(list_find(start(), reinterpret_cast<void*>(5)), nullptr);
}

}  // namespace
