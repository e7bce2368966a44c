// Environment tables: the dynamic tables that a compiled program lives in,
// the static tables that describe the language, and their set-up.
#pragma once

#include "qv.h"

namespace qv {

// ---- table heads --------------------------------------------------------------
struct TableHead {
  Ref base;
  Ref first;  // per-table mark; for the code page the write cursor
  Ref next;   // top; for the code page the write limit
  Ref end;
  u32 entrySize;
  u32 count() const { return (next - base) / entrySize; }
};

extern TableHead vartable;  // VarEntry, named variables
extern TableHead varname;   // 18-byte names, in step with vartable
extern TableHead cnstable;  // VarEntry, literal and block constants
extern TableHead rettable;  // VarEntry, temporaries
extern TableHead codepage;  // call records (entrySize 4)
extern TableHead callstack; // 32-bit words, block parameter stack

constexpr u32 NAME_SIZE = 18;  // 17 characters and a NUL
constexpr u32 NAME_CHARS = 17;

// The lexeme buffer (the lexer's, allocated with the tables).
extern Ref lexema;  // Ref to a StrDesc

// ---- compile state ----------------------------------------------------------------
// The source position of the last lexeme read: where a compile error is
// reported, and, at run time, the position of the record that failed.
extern Ref last_lexema;
// 1: a block's temporaries are initialised together at its entry and
// deleted together at its exit; 0 ("-noptmp"): around each operation. A
// compiled-program file records the mode it was compiled in.
extern u32 optimtmpvarinit;

// ---- type table -----------------------------------------------------------------
using AssignFn = u32 (*)(VarEntry* dest, VarEntry* src, u32 n);
using CompFn = i32 (*)(VarEntry* a, VarEntry* b, u32 n);
using TextFn = u32 (*)(StrDesc* text, VarEntry* slot);  // ft and tf
using SaveFn = u32 (*)(Exchange* x, VarEntry* slot);    // mksv and mkld

// Type flags. T_CLEAR: "clear" resets slots of the type; T_ASSIGN: a value
// may be copied into a slot of the same type, and a declaration may give an
// initial value; T_MERGE: equal literal constants share one slot; T_INSLOT:
// the value word is the value (and its saved form). The two spare bits are
// set on the types that always had them and tested nowhere.
enum : u32 {
  T_CLEAR = 0x01, T_ASSIGN = 0x02, T_MERGE = 0x04, T_SPARE_08 = 0x08, T_SPARE_10 = 0x10,
  T_INSLOT = 0x20,
};

struct TypeEntry {
  u32 init;  // handler ids (registry indices): these three are OpHandlers
  u32 clr;
  AssignFn assign;
  CompFn comp;
  u32 del;
  TextFn ft;
  TextFn tf;
  SaveFn mksv;
  SaveFn mkld;
  u32 litFirst;
  u32 litCount;
  u32 flags;
};

extern const TypeEntry typent[TY_COUNT];
extern const char* const typname[TY_COUNT];

struct LitEntry {
  u32 value;
  u32 type;
};
constexpr u32 LIT_COUNT = 28;
extern const LitEntry litent[LIT_COUNT];
extern const char* const litname[LIT_COUNT];

// The conversion table (`__convtab` in the design; a name with two leading
// underscores is reserved in C++). convtab[source][destination]: conversion
// id (convfns index), 0 = none.
extern const u8 convtab[TY_COUNT][TY_COUNT];

// The system functions that compiled code calls besides funcent's handlers.
// Entries 0-2 are the classic ones; 3 and 4 are the two record handlers
// that program files must also be able to name.
constexpr u32 SYSFUNC_COUNT = 5;
extern const u32 sysfuncs[SYSFUNC_COUNT];

// ---- set-up and tear-down -------------------------------------------------------------
u32 cenv_init(u32 nvars, u32 nconsts, u32 ntemps, u32 nstack, u32 ncode);
void vtab_init(const TableHead& head);
void lx_reset();
void erase_consts();
void erase_allvars();
// Releases every value and empties every dynamic table, keeping their
// storage: a second program can then be compiled or loaded in the same
// process (tests and fuzzing; the driver runs one program per process).
void cenv_reset();

// Calls a slot handler (init, clr, del) of a type on one slot.
u32 call_slot_handler(u32 handler, VarEntry* slot);
inline u32 type_init(VarEntry* s) { return call_slot_handler(typent[s->type].init, s); }
inline u32 type_del(VarEntry* s) { return call_slot_handler(typent[s->type].del, s); }

}  // namespace qv
