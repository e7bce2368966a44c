// Copies of blocks for the inner runs of a recursion (see block_copies.h).
#include "block_copies.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "arena.h"
#include "env.h"
#include "handlers.h"
#include "variables.h"

namespace qv {

u32 copy_budget = DEFAULT_COPY_BUDGET;

namespace {

u32 copy_bytes_used = 0;
// The blocks that have copies now.
std::vector<const DecodedBlock*> homes;
// The copies of the blocks written inside a tree, by their places: a
// copy's steps enter them through their constants.
std::unordered_map<Ref, const DecodedBlock*> placed;

// Room for a copy of `size` bytes within the budget, which counts too the
// `held` bytes that the copy's runs keep between them (its texts' storage):
// 0 when there is none.
Ref take_room(u32 size, u32 held = 0) {
  const u64 want = static_cast<u64>(size) + held;
  if (want > copy_budget || copy_budget - want < copy_bytes_used) return 0;
  const Ref at = arena_alloc(size);
  if (at) copy_bytes_used += static_cast<u32>(want);
  return at;
}

// The storage that the texts of a group of `n` slots from `first` take: a
// renewed group keeps each one's descriptor and standard buffer.
u32 text_bytes(Ref first, u32 n) {
  u32 texts = 0;
  for (const VarEntry *v = S(first), *e = v + n; v != e; ++v) texts += v->type == TY_STR;
  return texts * static_cast<u32>(sizeof(StrDesc) + STR_BUFSIZE);
}

// A copy's slot: the block's, with its type, empty, as the block's was
// before its first run.
void empty_like(VarEntry* v, const VarEntry& from) {
  *v = from;
  v->value = 0;
  v->flags = (v->flags & ~V_ARRAY) | V_EMPTY;
}

// Copy c of block b, for the depth after those of b's copies: c's runs are
// counted in b's (see block_runs.h).
const DecodedBlock* adopt(DecodedBlock& c, const DecodedBlock& b, Ref at, u32 size) {
  c.home = &b;
  c.origin = &b;
  c.at = b.at;  // entered as the block, through its place
  c.copy_at = at;
  c.copy_bytes = size;
  c.copies.clear();
  c.copying = DecodedBlock::COPYING_NO;
  c.runs = 0;
  c.primed = false;
  // A copy's runs count as inner ones (see block_runs.h): its own
  // variables are renewed at each end all the same.
  c.renews_at = c.declared.empty() ? DecodedBlock::NEVER : 2;
  c.run_base = 0;
  if (b.copies.empty()) homes.push_back(&b);
  b.copies.push_back(&c);
  return &c;
}

// The bytes of a block of the code page: its clean-up word, its records
// and the end marker after them; 0 when they are not whole.
u32 block_bytes(const DecodedBlock& b) {
  const u8* const blk = mem + b.at;
  const u8* end = blk + 4;
  if (b.nsteps) {
    const Step& last = b.steps[b.nsteps - 1];
    if (last.kind == Step::BAD) return 0;
    end = last.rec() + rec_size(last.rec());
  }
  if (mem + codepage.end - end < 4 || rd32(end) != END_MARK) return 0;
  if (b.cleanup && (b.cleanup - 4 < b.at || b.cleanup - b.at >= static_cast<u32>(end - blk)))
    return 0;
  return static_cast<u32>(end - blk) + 4;
}

// ---- A block whose own slots are just its group ----

// A copy's records: the block's, with each result and parameter word that
// names a slot of the group [from, from + bytes) naming the same slot of
// the group at `to`.
void move_group_words(u8* rec, const u8* end, Ref from, u32 bytes, Ref to) {
  const auto move = [=](u8* word) {
    const u32 off = rd32(word) - from;
    if (off < bytes && off % sizeof(VarEntry) == 0) wr32(word, to + off);
  };
  for (; rec < end; rec += rec_size(rec)) {
    move(rec + REC_RESULT);
    for (u32 i = 0; i < rec[REC_COUNT]; ++i) move(rec + REC_PARAMS + 4 * i);
  }
}

// A copy of a block whose own slots are just its group (group_alone): a
// copy's texts are its own, as its numbers are, and its runs keep their
// storage from one to the next, as the runs of the block do (see
// end_strings).
const DecodedBlock* group_copy(const DecodedBlock& b) {
  const u8* const blk = mem + b.at;
  const u32 code = block_bytes(b);
  if (!code) return nullptr;
  const DecodedBlock::Span g = b.own_spans[0];
  const u32 size = code + g.bytes;
  const Ref at = take_room(size, b.strings ? text_bytes(g.first, b.steps[0].temps) : 0);
  if (!at) return nullptr;
  // The copy's group first, where slots are aligned; then its records.
  const Ref group = at;
  u8* const copy = mem + at + g.bytes;
  std::memcpy(copy, blk, code);
  for (u32 off = 0; off < g.bytes; off += sizeof(VarEntry))
    empty_like(S(group + off), *S(g.first + off));
  const Ref copy_ref = at + g.bytes;
  if (b.cleanup) wr32(copy, b.cleanup - b.at + copy_ref);
  move_group_words(copy + 4, copy + code - 4, g.first, g.bytes, group);
  // The decoded copy: the block's steps, on the copied records.
  DecodedBlock& c = new_decoded(&b);
  const auto moved = [&](Step& s) {
    if (s.params) s.params = copy + (s.params - blk);
    if (const u32 off = s.result - g.first; off < g.bytes && off % sizeof(VarEntry) == 0)
      s.result = group + off;
    take_operands(s);
  };
  for (Step& s : c.step_store) moved(s);
  moved(c.cleanup_step);
  c.steps = c.step_store.data();
  c.start = c.steps + (b.start - b.steps);
  c.single = b.single ? c.steps + (b.single - b.steps) : nullptr;
  if (b.cleanup) c.cleanup = b.cleanup - b.at + copy_ref;
  for (Ref& r : c.own_slots) r = r - g.first + group;
  c.own_spans = {{group, g.bytes}};
  // An "if" or a "call" that enters the block enters the copy of an inner
  // run through the copy's own steps for it.
  place_entry_steps(c);
  c.copy_slots = g.bytes;
  return adopt(c, b, at, size);
}

// ---- A block with variables of its own, and the blocks inside it ----

// What a copy of a block's tree is made of. The blocks inside are those
// that its steps (and theirs) run through constants; they are copied
// whole, with their slots.
struct Tree {
  std::vector<const DecodedBlock*> blocks;  // the block first
  std::vector<u32> bytes;                   // each one's, as block_bytes
  std::vector<Ref> slots;   // the runs' own slots of them all, in order
  std::vector<Ref> consts;  // the constant of blocks[i + 1]
  u32 size = 0;             // of a copy: slots, constants, then records
};
std::unordered_map<const DecodedBlock*, Tree> trees;

// A tree's blocks past this many are not worth copying.
constexpr size_t MAX_TREE_BLOCKS = 64;

// The place of the block that a constant holds; 0 for any other word.
Ref block_const(Ref w) {
  if (!table_slot(cnstable, w)) return 0;
  const VarEntry* v = S(w);
  if (v->type != TY_BLOCK || (v->flags & V_EMPTY) || v->value == END_BLOCK) return 0;
  return v->value;
}

// A declaration of number or truth variables, with or without first
// values (no array), or of one str variable without one.
bool slot_declaration(const Step& s) {
  if (s.kind == Step::DECLARE || text_declaration(s)) return true;
  if (rd32(s.rec() + REC_HANDLER) != H_mvarinit || !in_slot(s.result)) return false;
  for (u32 p = 0; p < s.nparams(); ++p)
    if (par_ref(s.params, p) == END_MARK) return false;
  return true;
}

// Handlers beyond those that compute values (value_handler) that a copied
// tree may hold: the output of texts, which only reads its operands;
// "case", "?" and "time", which write their result alone, and "seed",
// which writes nothing; the operations that make a new text of their
// operands ("concat", "substr", "upr", "lowr", "ascii") or cut one out
// ("word", which moves its source's cursor too), writing their result's
// text, and "insubs", which overwrites a text in place; and the
// operations on the active call's arguments. "npars", "ispar" and "isparvar" write their result
// alone, and "par@" writes a variable of the caller's, converted to that
// variable's type as an assignment converts. In a recursion that variable
// may be the calling run's own, which a copy names in the frame that its
// call pushed, as the frame of a run that sets values aside is redirected
// to them.
bool copyable_handler(u32 h) {
  switch (h) {
    case H_l_puts: case H_l_stdout:
    case H_l_case: case H_l_ifassign: case H_l_time: case H_l_seed:
    case H_l_stcat: case H_l_substr: case H_l_stupr: case H_l_stlowr:
    case H_l_getword: case H_l_ascii: case H_l_insubs:
    case H_l_paramchange: case H_l_parsgiven: case H_l_ispargiven: case H_l_isparvar:
      return true;
    default:
      return false;
  }
}

// The steps a copied tree may hold: those whose slots are all named by
// their words, that keep numbers numbers and texts texts, and that hand no
// slot or block to anything that could outlive the run. Arrays and the
// handlers not listed here set the outer run's values aside, as before.
bool copyable_step(const Step& s) {
  switch (s.kind) {
    case Step::BAD: case Step::END:
      return false;
    case Step::CALL: {
      const u32 h = rd32(s.rec() + REC_HANDLER);
      return slot_declaration(s) || value_handler(h) || copyable_handler(h) ||
             number_conversion(s) || text_conversion(s) || group_step(s);
    }
    default:
      return true;
  }
}

// The blocks of b's tree and their steps; the constants of the blocks
// inside and the variables that the tree declares are noted.
bool gather(Tree& t, std::vector<Ref>& declared) {
  for (size_t i = 0; i < t.blocks.size(); ++i) {
    const DecodedBlock& x = *t.blocks[i];
    const u32 bytes = block_bytes(x);
    if (!bytes) return false;
    t.bytes.push_back(bytes);
    for (u32 k = 0; k < x.nsteps; ++k) {
      const Step& s = x.steps[k];
      if (!copyable_step(s) || block_const(s.result)) return false;
      for (u32 p = 0; p < s.nparams(); ++p) {
        const Ref w = par_ref(s.params, p);
        if (slot_declaration(s) && table_slot(vartable, w)) declared.push_back(w);
        const Ref inner = block_const(w);
        if (!inner) continue;
        // A block that could be kept, or run from elsewhere, would name
        // the copy's slots after its run.
        if (!runs_block_at(s.kind, p)) return false;
        if (std::find(t.consts.begin(), t.consts.end(), w) != t.consts.end()) continue;
        const DecodedBlock* d = decoded_block(inner);
        if (d->at != inner || t.blocks.size() >= MAX_TREE_BLOCKS ||
            std::find(t.blocks.begin(), t.blocks.end(), d) != t.blocks.end())
          return false;
        t.consts.push_back(w);
        t.blocks.push_back(d);
      }
    }
  }
  return true;
}

// The own slots of the tree's blocks: each a number or str variable that
// the tree declares, or one of its block's group of temporaries.
bool own_slots_of(Tree& t, std::vector<Ref>& declared) {
  std::sort(declared.begin(), declared.end());
  for (const DecodedBlock* x : t.blocks) {
    const Step& first = x->steps[0];
    const bool grouped = x->nsteps && inits_group(first);
    for (const Ref r : x->own_slots) {
      const bool named = table_slot(vartable, r) &&
                         std::binary_search(declared.begin(), declared.end(), r);
      const bool temp = grouped && r >= first.result &&
                        r < first.result + first.temps * sizeof(VarEntry);
      if (!named && !temp) return false;
      t.slots.push_back(r);
    }
  }
  std::sort(t.slots.begin(), t.slots.end());
  t.slots.erase(std::unique(t.slots.begin(), t.slots.end()), t.slots.end());
  return true;
}

// Whether the word at `at` is the result word of an initialisation or a
// deletion of no temporaries, which touches no slot: the compiler writes
// there where the block's group would start, the next block's group (a
// block such as `{ call f }`, or a clean-up that deletes only variables,
// names the first slot of the group of a block written after it).
bool empty_group_word(Ref at) {
  if (at - codepage.base < REC_RESULT) return false;
  const u8* rec = mem + at - REC_RESULT;
  const u32 h = rd32(rec + REC_HANDLER);
  return (h == H__alltmpinits || h == H_mvardel) && rec[REC_EXTRA] == 0;
}

// The code page outside the tree names none of the tree's slots and
// constants: otherwise another block (which sees the variables of every
// block) could look at a slot the copies stand in for. Every byte is
// looked at, as records need not be aligned.
bool named_only_inside(const Tree& t) {
  std::vector<Ref> names = t.slots;
  names.insert(names.end(), t.consts.begin(), t.consts.end());
  std::sort(names.begin(), names.end());
  const Ref lo = names.front(), hi = names.back();
  for (Ref at = codepage.base; at + 4 <= codepage.end; ++at) {
    const Ref w = rd32(mem + at);
    if (w < lo || w > hi || !std::binary_search(names.begin(), names.end(), w) ||
        empty_group_word(at))
      continue;
    bool inside = false;
    for (size_t i = 0; i < t.blocks.size() && !inside; ++i)
      inside = at - t.blocks[i]->at < t.bytes[i] && t.bytes[i] - (at - t.blocks[i]->at) >= 4;
    if (!inside) return false;
  }
  return true;
}

bool own_words_inside(const Tree& t) {
  for (const DecodedBlock* x : t.blocks)
    for (const Ref w : x->own_words) {
      bool inside = false;
      for (size_t i = 0; i < t.blocks.size() && !inside; ++i)
        inside = w - t.blocks[i]->at < t.bytes[i];
      if (!inside) return false;
    }
  return true;
}

// Whether the tree of b, a block of the code page, is closed: its own
// slots are number variables that it declares and groups of number
// temporaries, and nothing outside it names them or the blocks inside.
// `t` then holds its blocks and slots.
bool closed_tree(const DecodedBlock& b, Tree& t) {
  if (b.nsteps == 0 || b.at - codepage.base >= codepage.end - codepage.base) return false;
  t.blocks = {&b};
  std::vector<Ref> declared;
  return gather(t, declared) && own_slots_of(t, declared) && !t.slots.empty() &&
         own_words_inside(t) && named_only_inside(t);
}

// Whether b's tree can be copied, and how: `t` then holds the plan.
bool plan_tree(const DecodedBlock& b, Tree& t) {
  if (!b.owns || !closed_tree(b, t)) return false;
  t.size = static_cast<u32>((t.slots.size() + t.consts.size()) * sizeof(VarEntry));
  for (const u32 n : t.bytes) t.size += n;
  return true;
}

const DecodedBlock* tree_copy(const DecodedBlock& b, const Tree& t) {
  u32 held = 0;
  for (const Ref r : t.slots) held += text_bytes(r, 1);
  const Ref at = take_room(t.size, held);
  if (!at) return nullptr;
  // The slots first, where they are aligned; then the constants; then
  // each block's bytes.
  const Ref consts = at + static_cast<u32>(t.slots.size() * sizeof(VarEntry));
  Ref to = consts + static_cast<u32>(t.consts.size() * sizeof(VarEntry));
  std::vector<Ref> place(t.blocks.size());
  for (size_t i = 0; i < t.blocks.size(); ++i) {
    place[i] = to;
    std::memcpy(mem + to, mem + t.blocks[i]->at, t.bytes[i]);
    to += t.bytes[i];
  }
  for (size_t i = 0; i < t.slots.size(); ++i)
    empty_like(S(at + static_cast<u32>(i * sizeof(VarEntry))), *S(t.slots[i]));
  for (size_t j = 0; j < t.consts.size(); ++j) {
    VarEntry* c = S(consts + static_cast<u32>(j * sizeof(VarEntry)));
    *c = *S(t.consts[j]);
    c->value = place[j + 1];
  }
  // What a word of the tree names in the copy.
  const auto moved = [&](Ref w) -> Ref {
    const auto s = std::lower_bound(t.slots.begin(), t.slots.end(), w);
    if (s != t.slots.end() && *s == w)
      return at + static_cast<u32>((s - t.slots.begin()) * sizeof(VarEntry));
    for (size_t j = 0; j < t.consts.size(); ++j)
      if (t.consts[j] == w) return consts + static_cast<u32>(j * sizeof(VarEntry));
    for (size_t i = 0; i < t.blocks.size(); ++i)
      if (w - t.blocks[i]->at < t.bytes[i]) return place[i] + (w - t.blocks[i]->at);
    return w;
  };
  const auto move = [&](u8* word) { wr32(word, moved(rd32(word))); };
  for (size_t i = 0; i < t.blocks.size(); ++i) {
    const DecodedBlock& x = *t.blocks[i];
    u8* const blk = mem + place[i];
    if (x.cleanup) move(blk);
    for (u32 k = 0; k < x.nsteps; ++k) {
      u8* const rec = blk + (x.steps[k].rec() - (mem + x.at));
      move(rec + REC_RESULT);
      for (u32 p = 0; p < rec[REC_COUNT]; ++p) move(rec + REC_PARAMS + 4 * p);
    }
  }
  // The decoded copies. Their own slots are where the blocks' were moved
  // to (the decoder finds only slots of the tables).
  DecodedBlock* top = nullptr;
  for (size_t i = 0; i < t.blocks.size(); ++i) {
    const DecodedBlock& x = *t.blocks[i];
    DecodedBlock& c = new_decoded(nullptr);
    decode_records(c, place[i], at, at + t.size);
    std::vector<Ref> own;
    for (const Ref r : x.own_slots) own.push_back(moved(r));
    own_these(c, std::move(own));
    c.origin = &x;
    c.quiet = x.quiet && (c.leaf_start || c.nest_start);  // (a tree's copy is alike)
    c.copying = DecodedBlock::COPYING_NO;
    if (i == 0)
      top = &c;
    else
      placed[c.at] = &c;
  }
  top->copy_slots = static_cast<u32>(t.slots.size() * sizeof(VarEntry));
  return adopt(*top, b, at, t.size);
}

}  // namespace

const DecodedBlock* block_copy(const DecodedBlock& b) {
  if (b.copying == DecodedBlock::COPYING_NO) return nullptr;
  if (group_alone(b)) {
    b.copying = DecodedBlock::COPYING_YES;
    return group_copy(b);
  }
  auto plan = trees.find(&b);
  if (plan == trees.end()) {
    Tree t;
    if (!plan_tree(b, t)) {
      b.copying = DecodedBlock::COPYING_NO;
      return nullptr;
    }
    b.copying = DecodedBlock::COPYING_YES;
    plan = trees.emplace(&b, std::move(t)).first;
  }
  return tree_copy(b, plan->second);
}

bool tree_is_closed(const DecodedBlock& b) {
  Tree t;
  return closed_tree(b, t);
}

const DecodedBlock* copy_placed_at(Ref blk) {
  const auto c = placed.find(blk);
  return c == placed.end() ? nullptr : c->second;
}

void release_copies() {
  for (const DecodedBlock* b : homes) {
    for (const DecodedBlock* c : b->copies) {
      // The texts that a copy's slots hold: kept from its last run, or
      // left by a run that an error ended.
      release_strings(c->copy_at, c->copy_slots / sizeof(VarEntry));
      arena_free(c->copy_at, c->copy_bytes);
    }
    b->copies.clear();
  }
  homes.clear();
  placed.clear();
  // The plans name decoded blocks, which may be forgotten next; a block
  // whose tree can be copied makes its plan again. (Whether it can holds
  // as long as the code page.)
  trees.clear();
  copy_bytes_used = 0;
}

}  // namespace qv
