// The operation table: the vocabulary of QV. Row order is binding (program
// files and the listing refer to rows by index).
#pragma once

#include "qv.h"

namespace qv {

enum : u8 {
  F_TYPED = 0x01, F_RESULT = 0x02, F_INFIX = 0x04, F_VARPARS = 0x08,
  F_SAMETYPE = 0x10, F_DYNAMIC = 0x40, F_IGNORABLE = 0x80,
};
enum : u8 { P_VARONLY = 0x01, P_ARRAY = 0x04 };

struct ParDesc {
  u32 type;  // TypeId, TY_NONE = any
  u8 flags;
};

struct FuncEntry {
  const char* name;
  u32 handler;     // HandlerId
  u32 resultType;  // TypeId or TY_NONE
  u8 minParams;
  u8 maxParams;
  const ParDesc* params;
  u8 flags;
};

constexpr u32 FUNC_COUNT = 127;
// Mutable only in row 0's resultType, which a declaration sets.
extern FuncEntry funcent[FUNC_COUNT];

// Whether the operation delivers its value into its result slot converted
// to the slot's type, whatever that is: "call" (the block's "return" or
// "setret"), "?" (the operand chosen) and "par#" (the argument). Where the
// place gives a type, the compiler gives their result that type directly:
// passing the value through the type of the deciding operand first (a
// "call"'s first argument, which has nothing to do with the value) would
// only lose what that type cannot hold. Program files hold either.
bool delivers_converted(const FuncEntry& f);

// Well-known rows: the declaration, whose result type the compiler sets per
// declaration.
enum : u32 { OP_DECLARE = 0 };

}  // namespace qv
