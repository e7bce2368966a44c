// The operation listing ("-o"): generated from funcent and the parameter
// descriptors alone.
#include "listing.h"

#include <cstdio>

#include "../runtime/env.h"
#include "../runtime/functable.h"

namespace qv {

namespace {

const char* type_word(u32 type) { return type < TY_COUNT ? typname[type] : " different"; }
const char* var_word(const ParDesc& d) { return (d.flags & P_VARONLY) ? " only" : ", constant, operation"; }
const char* arr_word(const ParDesc& d) { return (d.flags & P_ARRAY) ? " available" : " not available"; }

void line(u32 i, const char* mark, const char* type, const char* var, const char* arr) {
  std::printf("param %u%s, type %s, available variable%s, array%s\n", i, mark, type, var, arr);
}

// A line that shows descriptor i as it is.
void described(const FuncEntry& f, u32 i, const char* mark = "") {
  const ParDesc& d = f.params[i];
  line(i, mark, type_word(d.type), var_word(d), arr_word(d));
}

void header(const FuncEntry& f) {
  const char* result = f.resultType < TY_COUNT ? typname[f.resultType]
                       : (f.flags & F_RESULT)   ? " type different"
                                                : " nothing";
  u32 to = f.maxParams;
  if (to == 0) to = ((f.flags & F_VARPARS) && (f.flags & F_SAMETYPE)) ? 32 : f.minParams;
  std::printf("\n%s returns %s%s, infix form %savailable, %sparams number from %u to %u\n", f.name,
              result, (f.flags & F_DYNAMIC) ? " dynamic" : "", (f.flags & F_INFIX) ? "" : "not ",
              (f.flags & F_IGNORABLE) ? "returned value can be ignored, " : "", f.minParams, to);
}

void params(const FuncEntry& f) {
  const bool varpars = f.flags & F_VARPARS, same = f.flags & F_SAMETYPE;
  const u32 min = f.minParams, max = f.maxParams;
  if (varpars && !same && max == 0) return;
  if (varpars) {
    // Listed parameters up to the minimum, then the rest as one line
    // (same-typed) or each described on its own.
    u32 lines = max ? max : min + 1;
    for (u32 i = 0; i < lines; ++i) {
      if (same && i >= min) {
        line(i, "..N", "as previous", " as previous", " as previous");
        break;
      }
      described(f, i);
    }
    return;
  }
  if (same) {
    for (u32 i = 0; i < min; ++i) {
      const ParDesc& d = f.params[i];
      const char* mark = (max && i + 1 >= min) ? "..N" : "";
      line(i, mark, i == 0 ? " different" : "same as first", var_word(d), arr_word(d));
    }
    return;
  }
  if (max == 0) {
    for (u32 i = 0; i < min; ++i) described(f, i);
    return;
  }
  for (u32 i = 0; i < max; ++i) {
    if (i >= min) {
      line(i, "..N", " different", " different", " not available");
      break;
    }
    described(f, i);
  }
}

}  // namespace

void list_funcs() {
  std::puts("Operations list");
  for (u32 r = 1; r < FUNC_COUNT; ++r) {
    header(funcent[r]);
    params(funcent[r]);
  }
}

}  // namespace qv
