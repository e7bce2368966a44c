// Variables, temporaries and conversions: what compiled code calls around
// operations, and the routine that delivers a value into a slot.
#pragma once

#include "errcodes.h"
#include "executor.h"
#include "handlers.h"
#include "qv.h"

namespace qv {

// Delivers src's value into dest, converting when the types differ.
u32 convert_or_assign(VarEntry* src, VarEntry* dest);

// Whether delivering src's value into dest is a copy of the value word: a
// number or truth value into a slot of its own type, both holding values.
[[gnu::always_inline]] inline bool copies_plainly(const VarEntry* src, const VarEntry* dest) {
  return src->type == dest->type && in_slot(src->type) &&
         !((src->flags | dest->flags) & (V_EMPTY | V_ARRAY));
}

// convert_or_assign with the commonest case inline (copies_plainly).
[[gnu::always_inline]] inline u32 deliver(VarEntry* src, VarEntry* dest) {
  if (copies_plainly(src, dest)) {
    dest->value = src->value;
    return 1;
  }
  return convert_or_assign(src, dest);
}

// The general cases of the two records that bracket a block's
// temporaries, from temporary `from` on: tracing, or a temporary (or, for
// the deletion, a named variable) whose init or del has work to do.
u32 init_temporaries(Ref first, u32 count, u32 from);
u32 delete_slots(Ref first, const u8* params, u32 count, u32 from);
// The named variables of such a deletion, from variable `from` on.
u32 delete_named(const u8* params, u32 count, u32 from);
// A group of number, truth and str temporaries, [first, first + k), left
// as its deletion and a new initialisation would leave it, in one pass:
// each slot must hold a value; numbers become 0 and texts empty, each in
// its own storage. 0 with if_c_error set when a slot is empty or a
// deletion or initialisation fails.
u32 renew_temporaries(Ref first, u32 k);
// The str values of such a group given back, the slots left empty.
void release_strings(Ref first, u32 k);

// The failures of the inline steps below, kept out of line so that the
// steps stay small where the executor inlines them. Each sets if_c_error.
[[gnu::cold]] u32 fail_del_empty();                          // a del of an empty slot
[[gnu::cold]] VarEntry* fail_element(const VarEntry* arr);  // no such element: null

// The init and del of a slot of an in-slot type: only its value word and
// flags change. An init leaves a slot that holds a value alone; a del of an
// empty one is error 72 (false, nothing changed), and so is a renew (a del
// and an init in one). The one place for these steps: the types' own init
// and del handlers (inslot_type.cpp) use them.
inline void init_in_slot(VarEntry* v) {
  const u32 f = v->flags;
  if (f & V_EMPTY) {
    v->value = 0;
    v->flags = f & ~(V_ARRAY | V_EMPTY);
  }
}
inline bool del_in_slot(VarEntry* v) {
  const u32 f = v->flags;
  if (f & V_EMPTY) return false;
  v->flags = (f & ~V_ARRAY) | V_EMPTY;
  return true;
}
inline bool renew_in_slot(VarEntry* v) {
  const u32 f = v->flags;
  if (f & V_EMPTY) return false;
  v->value = 0;
  v->flags = f & ~V_ARRAY;
  return true;
}

// A declaration's init of a number or truth variable, as the type's init
// handler does it: the slot takes the type, and must be empty to take the
// value 0.
inline u32 declare_in_slot(VarEntry* v, u32 type) {
  v->type = type;
  if (!(v->flags & V_EMPTY)) return fail(E_BAD_INIT);
  init_in_slot(v);
  return 1;
}

// A declaration of one number or truth variable with no initial value
// ("int i;"), which the decoder found in a record of mvarinit: done here.
// A word that names no plain variable, as only a damaged program file
// could give, is left to mvarinit, which refuses it.
[[gnu::always_inline]] inline u32 declare_one(u32 type, const u8* params, u32 count) {
  const Ref w = par_ref(params, 0);
  if (w == END_MARK || (S(w)->flags & (V_TEMP | V_CONST))) [[unlikely]]
    return mvarinit(type, params, count);
  return declare_in_slot(S(w), type);
}

// What _alltmpinits and mvardel do, inline for the executor, which runs
// them at most block entries and exits. Temporaries of in-slot types (most
// of them) take the steps above, the others their type's handlers.
[[gnu::always_inline]] inline u32 init_temps(Ref first, u32 count) {
  if (_tracing_on) [[unlikely]] return init_temporaries(first, count, 0);
  if (!first) return 1;
  VarEntry* const begin = S(first);
  VarEntry* const end = begin + ((count >> 8) & 0xFF);
  for (VarEntry* v = begin; v != end; ++v) {
    if (!(v->flags & V_EMPTY)) continue;
    if (!in_slot(v->type)) return init_temporaries(first, count, static_cast<u32>(v - begin));
    init_in_slot(v);
  }
  return 1;
}

[[gnu::always_inline]] inline u32 del_temps(Ref first, const u8* params, u32 count) {
  if (_tracing_on) [[unlikely]] return delete_slots(first, params, count, 0);
  if (first) {
    VarEntry* const begin = S(first);
    VarEntry* const end = begin + ((count >> 8) & 0xFF);
    for (VarEntry* v = begin; v != end; ++v) {
      if (!in_slot(v->type))
        return delete_slots(first, params, count, static_cast<u32>(v - begin));
      if (!del_in_slot(v)) return fail_del_empty();
    }
  }
  // Named variables: numbers and truth values (most of them) here, the
  // others, from the first one, by their type's handlers.
  for (u32 i = 0, n = count & 0xFF; i < n; ++i) {
    VarEntry* v = P(params, i);
    if ((v->flags & V_ARRAY) || !in_slot(v->type)) return delete_named(params, count, i);
    if (!del_in_slot(v)) return fail_del_empty();
  }
  return 1;
}

// "=" of a number or truth value into a variable of its type, neither of
// them empty nor an array: the value word is the value, and a present
// result slot receives it too. false (nothing done) for every other case,
// which "="'s handler decides.
[[gnu::always_inline]] inline bool assign_in_slot(VarEntry* var, const VarEntry* val) {
  if (((var->flags | val->flags) & (V_EMPTY | V_ARRAY)) || !in_slot(var->type)) return false;
  var->value = val->value;
  return true;
}
[[gnu::always_inline]] inline bool assign_in_slot(VarEntry* var, const VarEntry* val, Ref result) {
  if (!assign_in_slot(var, val)) return false;
  if (result) S(result)->value = var->value;
  return true;
}

// Whether the array slot `arr` has no element i for an index value: it
// holds no array, or i is past its end. The index is unsigned, so a
// negative int index is out of range. Every array that a slot holds is an
// array of slots (createfields makes them all), so the bound is tested
// with the size that addresses the element, a constant: no division, and
// not even a load of the header's element size.
inline bool no_element(const VarEntry* arr, u32 i) {
  if ((arr->flags & (V_EMPTY | V_ARRAY)) != V_ARRAY) return true;
  const auto* h = at<ArrHead>(arr->value);
  return (u64{i} + 1) * sizeof(VarEntry) > u64{h->used - h->data};
}
// The place of that element, once no_element has said that it is there.
inline Ref element_place(const VarEntry* arr, u32 i) {
  return at<ArrHead>(arr->value)->data + i * static_cast<u32>(sizeof(VarEntry));
}

// Element i of `arr`, or null with the error set.
inline VarEntry* indexed(VarEntry* arr, u32 i) {
  if (no_element(arr, i)) [[unlikely]] return fail_element(arr);
  return S(element_place(arr, i));
}

// What _arrdynelem does: `result` designates a parameter word of a later
// record, which receives the slot of element params[1] of array params[0].
// (The place goes there as it is computed: no round trip through a
// pointer, and no test of it.)
inline u32 element_into(Ref result, const u8* params) {
  const VarEntry* arr = P(params, 0);
  const u32 i = P(params, 1)->value;
  if (no_element(arr, i)) [[unlikely]] {
    fail_element(arr);
    return 0;
  }
  wr32(mem + result, element_place(arr, i));
  return 1;
}

// Builds an array of n elements in the empty slot. per_element 0: every
// element has types[0]; otherwise element i has types[2*i].
u32 createfields(VarEntry* slot, u32 n, u32 per_element, const u32* types);

// Releases an array variable: its elements' values, storage and header.
// Deletes elements last to first; 0 with if_c_error when a del fails.
u32 release_array(VarEntry* slot);

}  // namespace qv
