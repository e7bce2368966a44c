// The variable operations: "=", "data", "sizeof", "clear", "delay", "time"
// and "trace".
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "strbase.h"
#include "env.h"
#include "errcodes.h"
#include "executor.h"
#include "handlers.h"
#include "variables.h"

namespace qv {

// The calendar clock that "delay" and "time" read; tests put a fake here.
std::time_t (*wall_clock)(std::time_t*) = std::time;

namespace {

constexpr auto DELAY_STEP = std::chrono::milliseconds(20);

inline u32 nparams(u32 count) { return count & 0xFF; }

inline const ArrHead* head_of(const VarEntry* v) { return at<ArrHead>(v->value); }
inline VarEntry* element(const ArrHead* h, u32 i) { return S(h->data + i * h->elemSize); }

void two_digits(char* out, int v) {
  out[0] = static_cast<char>('0' + v / 10 % 10);
  out[1] = static_cast<char>('0' + v % 10);
}

}  // namespace

// The value has the variable's type already (the compiler converts it), so
// this is the type's own copy; an enclosing operation gets the value too.
u32 l_assign(Ref result, const u8* params, u32) {
  VarEntry* var = P(params, 0);
  VarEntry* val = P(params, 1);
  if (assign_in_slot(var, val, result)) return 1;
  if ((var->flags | val->flags) & (V_EMPTY | V_ARRAY))
    return fail((var->flags | val->flags) & V_EMPTY ? E_NOT_INIT : E_BAD_TYPE);
  AssignFn assign = typent[var->type].assign;
  if (!assign) return fail(E_BAD_TYPE);
  if (!assign(var, val, 2)) return 0;
  return result ? assign(S(result), var, 2) : 1;
}

// Values fill elements from the first; elements filled before a failure
// stay filled.
u32 l_dataini(Ref, const u8* params, u32 count) {
  VarEntry* arr = P(params, 0);
  if (arr->flags & V_EMPTY) return fail(E_NOT_INIT);
  if (!(arr->flags & V_ARRAY)) return fail(E_BAD_PARAM);
  AssignFn assign = typent[arr->type].assign;
  if (!assign) return fail(E_BAD_TYPE);
  const ArrHead* h = head_of(arr);
  const u32 elems = arr_count(h);
  const u32 n = nparams(count);
  for (u32 j = 1; j < n; ++j) {
    if (j > elems) return fail(E_SUBSCRIPT);
    if (!assign(element(h, j - 1), P(params, j), 2)) return 0;
  }
  return 1;
}

u32 l_sizeof(Ref result, const u8* params, u32) {
  VarEntry* arr = P(params, 0);
  const u32 f = arr->flags;
  if ((f & V_EMPTY) || !(f & (V_ARRAY | V_STRUCT))) return fail(f & V_EMPTY ? E_NOT_INIT : E_NOT_ARRAY);
  if (result) S(result)->value = arr_count(head_of(arr));
  return 1;
}

// A slot that holds nothing yet is left alone: its clr would follow a value
// that does not exist, and an init here would make its declaration fail.
u32 l_del(Ref, const u8* params, u32 count) {
  const u32 n = nparams(count);
  for (u32 i = 0; i < n; ++i) {
    VarEntry* v = P(params, i);
    if (v->flags & V_EMPTY) continue;
    if (v->flags & (V_ARRAY | V_STRUCT)) {
      const ArrHead* h = head_of(v);
      for (u32 k = 0, m = arr_count(h); k < m; ++k) {
        VarEntry* e = element(h, k);
        if (typent[e->type].flags & T_CLEAR) call_slot_handler(typent[e->type].clr, e);
      }
    } else if (typent[v->type].flags & T_CLEAR) {
      call_slot_handler(typent[v->type].clr, v);
    }
  }
  return 1;
}

// Sleeps in short steps rather than spinning on the clock.
u32 l_delay(Ref, const u8* params, u32) {
  const i32 seconds = as_int(P(params, 0)->value);
  if (seconds <= 0) return 1;
  // What the program printed shows before it waits.
  std::fflush(stdout);
  const std::time_t first = wall_clock(nullptr);
  while (std::difftime(wall_clock(nullptr), first) < seconds)
    std::this_thread::sleep_for(DELAY_STEP);
  return 1;
}

u32 l_time(Ref result, const u8*, u32) {
  if (!result) return 1;
  VarEntry* r = S(result);
  if (r->flags & V_EMPTY) return fail(E_NOT_INIT);
  const std::time_t now = wall_clock(nullptr);
  std::tm lt{};
  localtime_r(&now, &lt);
  char text[8] = {0, 0, ':', 0, 0, ':', 0, 0};
  two_digits(text, lt.tm_hour);
  two_digits(text + 3, lt.tm_min);
  two_digits(text + 6, lt.tm_sec);
  StrDesc* d = str_desc(r);
  st_set(d, text, sizeof text);
  d->cursor = d->end;
  return 1;
}

u32 l_trace(Ref, const u8* params, u32 count) {
  const u32 n = nparams(count);
  _tracing_on = n >= 1 && P(params, 0)->value != 0;
  _tracing_int = n >= 2 && P(params, 1)->value != 0;
  _trace_stop = n >= 3 && P(params, 2)->value != 0;
  return 1;
}

}  // namespace qv
