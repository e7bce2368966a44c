// The life of value slots around compiled code: declarations, grouped
// initialisation and deletion of temporaries, conversion records, array
// creation and release, and dynamic element access.
#include "variables.h"

#include <cstdio>

#include "array.h"
#include "env.h"
#include "errcodes.h"
#include "executor.h"
#include "handlers.h"
#include "strbase.h"

namespace qv {

namespace {

constexpr u32 ELEM_SIZE = sizeof(VarEntry);

inline u32 nparams(u32 count) { return count & 0xFF; }
inline u32 nextra(u32 count) { return (count >> 8) & 0xFF; }
inline VarEntry* element(const ArrHead* h, u32 i) { return S(h->data + i * ELEM_SIZE); }

inline u32 del_checked(VarEntry* v) {
  if (in_slot(v->type)) return del_in_slot(v) ? 1 : fail(E_DEL_NOT_INIT);
  return v->type < TY_COUNT ? type_del(v) : fail(E_DEL_NOT_INIT);
}
// del_checked, the slot then left empty.
inline u32 del_to_empty(VarEntry* v) {
  if (!del_checked(v)) return 0;
  v->flags = (v->flags & ~V_ARRAY) | V_EMPTY;
  return 1;
}
// The type's init of an empty slot, which then holds a value.
inline u32 init_checked(VarEntry* v) {
  if (v->type >= TY_COUNT) return fail(E_BAD_INIT);
  if (!type_init(v)) return 0;
  v->flags &= ~(V_ARRAY | V_EMPTY);
  return 1;
}

// Releases elements [0, n) last to first, then the storage and the header.
void drop_elements(Ref head, u32 n) {
  const auto* h = at<ArrHead>(head);
  while (n-- > 0) {
    VarEntry* e = element(h, n);
    if (!(e->flags & V_EMPTY)) del_checked(e);
  }
  ar_free(head);
}

}  // namespace

u32 fail_del_empty() { return fail(E_DEL_NOT_INIT); }

VarEntry* fail_element(const VarEntry* arr) {
  if (arr->flags & V_EMPTY)
    fail(E_NOT_INIT);
  else if (!(arr->flags & V_ARRAY))
    fail(E_NOT_ARRAY);
  else
    fail(E_SUBSCRIPT);  // the array is there, the index is not in it
  return nullptr;
}

u32 createfields(VarEntry* slot, u32 n, u32 per_element, const u32* types) {
  if (!(slot->flags & V_EMPTY)) return fail(E_BAD_INIT);
  if (n == 0) return fail(E_ZERO_ARRAY);
  if (n > MAX_ARRAY) return fail(E_BAD_VALUE);
#ifdef QV_FUZZ
  // Fuzzing bounds a run by its steps; an array's elements count as steps
  // too, or a loop that declares a large array of texts would run for
  // minutes within its steps.
  if (run_step_limit && (fuzz_steps_run += n) > run_step_limit) return fail(E_NO_MEMORY);
#endif
  const Ref head = ar_crea(ELEM_SIZE, n);
  if (!head) return fail(E_NO_MEMORY);
  auto* h = at<ArrHead>(head);
  h->used = h->limit;
  const u32 elemflag = per_element ? V_FIELD : V_ELEM;
  for (u32 i = 0; i < n; ++i) {
    VarEntry* e = element(h, i);
    e->type = types[per_element ? 2 * i : 0];
    e->flags = V_EMPTY;
    if (in_slot(e->type)) {
      init_in_slot(e);  // what the type's init does, without calling it
    } else if (e->type >= TY_COUNT || !type_init(e)) {
      const u32 code = e->type >= TY_COUNT ? E_BAD_INIT : if_c_error;
      drop_elements(head, i);
      return fail(code ? code : E_NO_MEMORY);
    }
    // V_CODE stays: a block element holds a block, and "code" asks for it.
    e->flags = (e->flags & ~(V_STRUCT | V_ARRAY | V_TEMP | V_CONST | V_EMPTY)) | elemflag;
  }
  slot->flags = (slot->flags & ~V_EMPTY) | (per_element ? V_STRUCT : V_ARRAY);
  slot->value = head;
  slot->type = types[0];
  return 1;
}

u32 release_array(VarEntry* slot) {
  const auto* h = at<ArrHead>(slot->value);
  u32 failed = 0;
  // Every element is released even when one del fails, so that the storage
  // never outlives the slot; the first failure is reported.
  for (u32 i = arr_count(h); i-- > 0;) {
    if (!del_checked(element(h, i)) && !failed) failed = if_c_error ? if_c_error : E_NO_MEMORY;
  }
  ar_free(slot->value);
  slot->value = 0;
  slot->flags = (slot->flags & ~V_ARRAY) | V_EMPTY;
  return failed ? fail(failed) : 1;
}

u32 mvarinit(Ref result, const u8* params, u32 count) {
  const u32 type = result;
  if (type >= TY_COUNT) return fail(E_BAD_INIT);
  const TypeEntry& t = typent[type];
  // Declarations in a block run at every run of it: a number or truth
  // variable is initialised in place, as its type's init handler would.
  const bool number = in_slot(type);
  const u32 n = nparams(count);
  VarEntry* declared = nullptr;  // the variable an initial value belongs to
  for (u32 i = 0; i < n;) {
    const Ref w = par_ref(params, i);
    if (w == END_MARK) {
      if (n - i < 3) return fail(E_BAD_INIT);
      const u32 elems = P(params, i + 1)->value;
      if (elems == 0) return fail(E_BAD_VALUE);
      if (!createfields(P(params, i + 2), elems, 0, &type)) return 0;
      declared = nullptr;
      i += 3;
      continue;
    }
    VarEntry* v = S(w);
    if (!(v->flags & (V_TEMP | V_CONST))) {
      if (number) {
        if (!declare_in_slot(v, type)) return 0;
      } else {
        v->type = type;
        if (!call_slot_handler(t.init, v)) return 0;
        v->flags &= ~(V_ARRAY | V_EMPTY);
        v->type = type;
      }
      declared = v;
    } else {
      if (!declared) return fail(E_BAD_INIT);
      if (!t.assign(declared, v, 2)) return 0;
      declared = nullptr;
    }
    ++i;
  }
  return 1;
}

[[gnu::noinline]] u32 init_temporaries(Ref first, u32 count, u32 from) {
  if (_tracing_on) std::fputs("---initializing temporary variables group\n", stdout);
  const u32 k = first ? nextra(count) : 0;
  for (u32 i = from; i < k; ++i) {
    VarEntry* v = S(first + i * ELEM_SIZE);
    if (!(v->flags & V_EMPTY)) continue;
    if (in_slot(v->type)) {
      init_in_slot(v);
      continue;
    }
    if (!init_checked(v)) return 0;
  }
  return 1;
}

u32 _alltmpinits(Ref result, const u8*, u32 count) { return init_temps(result, count); }

u32 renew_temporaries(Ref first, u32 k) {
  for (VarEntry *v = S(first), *e = v + k; v != e; ++v) {
    if (v->flags & V_EMPTY) return fail(E_DEL_NOT_INIT);
    if (in_slot(v->type)) {
      renew_in_slot(v);  // it holds a value: this cannot fail
      continue;
    }
    if (v->type == TY_STR && !(v->flags & V_ARRAY) && st_storage_renew(v->value)) continue;
    // Storage of another size: deleted and initialised, as the records would.
    if (!del_to_empty(v) || !init_checked(v)) return 0;
  }
  return 1;
}

void release_strings(Ref first, u32 k) {
  for (VarEntry *v = S(first), *e = v + k; v != e; ++v)
    if (v->type == TY_STR && !(v->flags & (V_EMPTY | V_ARRAY))) type_del(v);  // leaves it empty
}

[[gnu::noinline]] u32 delete_slots(Ref result, const u8* params, u32 count, u32 from) {
  const u32 k = result ? nextra(count) : 0;
  for (u32 i = from; i < k; ++i) {
    if (_tracing_on) std::fputs("--deleting temporary variable\n", stdout);
    if (!del_to_empty(S(result + i * ELEM_SIZE))) return 0;
  }
  return delete_named(params, count, 0);
}

u32 delete_named(const u8* params, u32 count, u32 from) {
  const u32 n = nparams(count);
  for (u32 i = from; i < n; ++i) {
    if (_tracing_on) std::fputs("--deleting named variable\n", stdout);
    VarEntry* v = P(params, i);
    if (v->flags & V_ARRAY) {
      if (v->flags & V_EMPTY) return fail(E_DEL_NOT_INIT);
      if (!release_array(v)) return 0;
    } else if (!del_checked(v)) {
      return 0;
    }
    v->flags = (v->flags & ~V_ARRAY) | V_EMPTY;
  }
  return 1;
}

u32 mvardel(Ref result, const u8* params, u32 count) { return del_temps(result, params, count); }

// Parameter word 0 is a conversion id, not a slot. An empty str source or
// destination is refused by the str conversions themselves.
u32 convcall(Ref result, const u8* params, u32) {
  const u32 id = par_ref(params, 0);
  if (id - 1u >= C_COUNT - 1u || !result) return fail(E_CANNOT_CONVERT);
  return convfns[id](P(params, 1), S(result));
}

u32 _arrdynelem(Ref result, const u8* params, u32) { return element_into(result, params); }

u32 _arrindexing(Ref result, const u8* params, u32) {
  VarEntry* e = indexed(P(params, 0), P(params, 1)->value);
  if (!e) return 0;
  if (!result) return 1;
  VarEntry* d = S(result);
  if (d->type != e->type) return convert_or_assign(e, d);
  AssignFn assign = typent[d->type].assign;
  if (!assign) return fail(E_BAD_TYPE);
  return assign(d, e, 0);
}

u32 convert_or_assign(VarEntry* src, VarEntry* dest) {
  if ((src->flags | dest->flags) & (V_EMPTY | V_ARRAY))
    return fail((src->flags | dest->flags) & V_EMPTY ? E_NOT_INIT : E_BAD_TYPE);
  if (src->type >= TY_COUNT || dest->type >= TY_COUNT) return fail(E_CANNOT_CONVERT);
  if (src->type == dest->type) {
    const TypeEntry& t = typent[src->type];
    if (!(t.flags & T_ASSIGN)) return fail(E_BAD_TYPE);
    return t.assign(dest, src, 1);
  }
  const u8 conv = convtab[src->type][dest->type];
  if (!conv) return fail(E_CANNOT_CONVERT);
  return convfns[conv](src, dest);
}

}  // namespace qv
