// Ownership of series by reactive objects.
#include "core/ownership.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/context.h"
#include "core/symbol.h"
#include "memory/case_map.h"
#include "memory/collector.h"
#include "memory/cycle_stack.h"
#include "memory/hashtable.h"

using namespace kaz;

namespace {

cell block_cell(node_t n) { return cell{type::block, 0, n, 0}; }
void append(node_t block, const cell& c) { *memory::append_cell(block) = c; }

// An object! with the given field values (words get symbol ids 1, 2, ...) and an on-set node.
cell make_object(const std::vector<cell>& fields, node_t on_set) {
  node_t ctx = memory::alloc_cells(2);
  node_t words = memory::alloc_cells(4), values = memory::alloc_cells(4);
  for (uint32_t i = 0; i < fields.size(); ++i) {
    append(words, cell{type::word, ctx, i + 1, i});
    append(values, fields[i]);
  }
  node_t symbols = hashtable::create(4, words, hashtable::symbols);  // indexes the words
  series_buffer* s = memory::buffer_of(ctx);
  s->cells_rw()[0] = cell{type::context | (context::kind_object << context_flag::kind_shift), symbols,
                       values, 0};
  s->cells_rw()[1] = cell{type::unset, 0, 0, 0};
  s->tail = s->offset + 32;
  return cell{type::object, ctx, 0, on_set};
}

bool is_owned(node_t n) { return memory::buffer_of(n)->flags & series_flag::owned; }

struct call {
  node_t owner_ctx;
  uint32_t word;
  node_t target;
  uint32_t action;
};
std::vector<call> calls;
void record_call(cell* owner, cell* word, cell* target, cell* action, cell*, int32_t, int32_t) {
  calls.push_back({owner->data1, word->data2, target->data2, action->data2});
}

}  // namespace

TEST(Ownership, GivingOwnershipWalksEachSeriesOnce) {
  cycle_stack::reset();
  node_t outer = memory::alloc_cells(4), inner = memory::alloc_cells(4);
  node_t text = memory::alloc_bytes(8);
  append(outer, block_cell(outer));  // the block holds itself
  append(outer, block_cell(inner));
  append(inner, cell{type::string, 0, text, 0});
  append(inner, block_cell(outer));
  cell field = block_cell(outer);
  cell owner = make_object({field}, memory::alloc_cells(1));
  cell word{type::word, owner.data1, 1, 0};
  uint32_t before = hashtable::live_count(ownership::table());
  ownership::set_owner(&field, &owner, &word);
  EXPECT_EQ(cycle_stack::depth(), 0u);
  EXPECT_TRUE(is_owned(outer) && is_owned(inner) && is_owned(text));
  EXPECT_EQ(hashtable::live_count(ownership::table()), before + 3);
  EXPECT_TRUE(context::header_cell(owner.data1)->header & context_flag::owned);
  cell* o = ownership::find_owner(text);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->data1, owner.data1);
  EXPECT_EQ(o[1].data2, 1u);  // through field 1

  // A second owner keeps the first entries, and takes only what is new.
  node_t fresh = memory::alloc_bytes(8);
  append(inner, cell{type::binary, 0, fresh, 0});
  cell other = make_object({}, memory::alloc_cells(1));
  cell other_word{type::word, other.data1, 7, 0};
  ownership::set_owner(&field, &other, &other_word);
  EXPECT_EQ(ownership::find_owner(text)->data1, owner.data1);
  EXPECT_EQ(ownership::find_owner(fresh)->data1, other.data1);

  // Unbinding gives everything back.
  ownership::unbind(&field);
  EXPECT_FALSE(is_owned(outer) || is_owned(inner) || is_owned(text) || is_owned(fresh));
  EXPECT_EQ(ownership::find_owner(text), nullptr);
  EXPECT_EQ(hashtable::live_count(ownership::table()), before);
}

TEST(Ownership, ObjectsAreWalkedFieldByField) {
  node_t a = memory::alloc_bytes(8), b = memory::alloc_cells(2);
  cell child = make_object({cell{type::string, 0, a, 0}}, 0);
  cell owner = make_object({block_cell(b), child}, memory::alloc_cells(1));
  *memory::append_cell(b) = owner;  // the owner inside its own field: left alone
  cell word{type::word, owner.data1, 9, 0};
  ownership::set_owner(&owner, &owner, &word);
  EXPECT_TRUE(is_owned(b));
  EXPECT_EQ(ownership::find_owner(b)[1].data2, 1u);  // the word of field 1
  EXPECT_TRUE(is_owned(a));
  EXPECT_EQ(ownership::find_owner(a)->data1, owner.data1);
  EXPECT_EQ(ownership::find_owner(a)[1].data1, child.data1);  // the word of the child's field
  ownership::unbind(&child);
  EXPECT_FALSE(is_owned(a));
}

TEST(Ownership, ChecksCallTheOwnerOnlyWhenThereIsOne) {
  ownership::set_deep_change_handler(record_call);
  calls.clear();
  node_t blk = memory::alloc_cells(2), plain = memory::alloc_cells(2), quiet = memory::alloc_cells(2);
  cell v = block_cell(blk), p = block_cell(plain), q = block_cell(quiet);
  cell action{type::word, 0, 42, 0};
  EXPECT_FALSE(ownership::check(&p, &action, nullptr, 0, 0));
  cell owner = make_object({v}, memory::alloc_cells(1));
  cell word{type::word, owner.data1, 1, 0};
  ownership::set_owner(&v, &owner, &word);
  EXPECT_TRUE(ownership::check(&v, &action, nullptr, 0, 1));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].owner_ctx, owner.data1);
  EXPECT_EQ(calls[0].target, blk);
  EXPECT_EQ(calls[0].action, 42u);
  // An owner without handlers (no on-set node) is not called.
  cell silent = make_object({q}, 0);
  ownership::set_owner(&q, &silent, &word);
  EXPECT_FALSE(ownership::check(&q, &action, nullptr, 0, 0));
  EXPECT_EQ(calls.size(), 1u);
  // Unbinding a block never owned leaves what it holds alone.
  node_t holder = memory::alloc_cells(2);
  append(holder, v);
  cell h = block_cell(holder);
  ownership::unbind(&h);
  EXPECT_TRUE(is_owned(blk));
  // Changing the case of an owned string tells its owner.
  node_t txt = memory::alloc_bytes(8);
  memory::buffer_of(txt)->data_rw()[0] = 'a';
  memory::buffer_of(txt)->tail = 1;
  cell str{type::string, 0, txt, 0};
  ownership::set_owner(&str, &owner, &word);
  unicode::change_case_value(&str, nullptr, true);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].target, txt);
  EXPECT_EQ(calls[1].action, symbol::make("uppercase"));
  ownership::unbind(&str);
  ownership::unbind(&v);
  ownership::unbind(&q);
  ownership::set_deep_change_handler(nullptr);
}

TEST(Ownership, EntriesOfLiveSeriesSurviveCollections) {
  bool was = collector::active();
  collector::set_active(true);
  node_t blk = memory::alloc_cells(2);
  cell v = block_cell(blk);
  cell owner = make_object({v}, memory::alloc_cells(1));
  cell word{type::word, owner.data1, 1, 0};
  ownership::set_owner(&v, &owner, &word);
  collector::collect();
  collector::collect();
  cell* o = ownership::find_owner(blk);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->data1, owner.data1);
  ownership::unbind(&v);
  collector::set_active(was);
}

namespace {

// Made out of line, with the stack scrubbed after, so that no node id of the word's context
// stays on the native stack, which the collector scans conservatively.
[[gnu::noinline]] void give_through_a_passing_word(cell* v) {
  static cell owner;
  owner = make_object({*v}, memory::alloc_cells(1));
  collector::add_root_cells(&owner);
  cell elsewhere = make_object({}, 0);
  cell word{type::word, elsewhere.data1, 1, 0};
  ownership::set_owner(v, &owner, &word);
}
[[gnu::noinline]] void scrub_stack() {
  volatile uint32_t junk[4096];
  for (uint32_t i = 0; i < 4096; ++i) junk[i] = 0;
  (void)junk[0];
}

}  // namespace

TEST(Ownership, EntriesOutlivingWhatTheyNameAreLeftClean) {
  bool was = collector::active();
  collector::set_active(true);
  static node_t blk;
  blk = memory::alloc_cells(2);
  collector::add_root_node(&blk);
  cell v = block_cell(blk);

  // The field word's context dies: the entry keeps an unbound word, not a stale node id.
  give_through_a_passing_word(&v);
  scrub_stack();
  collector::collect();
  const cell* o = ownership::find_owner(blk);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o[1].data1, 0u);

  // The collector drops the entry of a dead owner and leaves the series' flag: the series is
  // then owned by nobody, and the next owner takes it.
  hashtable::remove_pointer(ownership::table(), blk);
  EXPECT_TRUE(is_owned(blk));
  cell next = make_object({v}, memory::alloc_cells(1));
  cell word{type::word, next.data1, 1, 0};
  ownership::set_owner(&v, &next, &word);
  o = ownership::find_owner(blk);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->data1, next.data1);
  ownership::unbind(&v);
  collector::remove_root_node(&blk);
  collector::set_active(was);
}
