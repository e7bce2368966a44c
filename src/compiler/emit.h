// Code emission and name tables: the writers of call records, the
// allocation of variables, constants and temporaries, the name lookups,
// and compilerror, the one exit of every compile error.
#pragma once

#include "../runtime/env.h"
#include "../runtime/functable.h"
#include "../runtime/qv.h"

namespace qv {

// A compile error on its way back to compile().
struct CompileError {
  u32 code;
};

// Discards everything compiled so far and throws CompileError.
[[noreturn]] void compilerror(u32 code);

// Error 47 when `bytes` more do not fit below the code page's write limit.
void check_codepage(u32 bytes);
// Writes a record's source-position word.
void add_debugptr(Ref position);

// The rest of an operation record, after its source position. A word whose
// dynamic mark is set holds the address of an element record's result word:
// that word receives the address of this parameter word, which stays 0.
void add_operation(const FuncEntry& f, u32 count, Ref result, const u32* words, u32 stmt,
                   const u8* marks, bool infix);
// A conversion record; returns the address of its source word (written 0
// when `src` is 0, an element whose address comes at run time).
Ref add_convcall(u32 conv, Ref dest, Ref src);
// An element record; returns the address of its result word, which the
// caller points at the parameter word that is to receive the element.
Ref add_dynelem(Ref position, u32 index, Ref array);
// One initialisation record for `n` slots of one type (only ever one
// temporary); its extra count carries the type + 1, or 0 while the type is
// not decided. Returns the record's address.
Ref add_initop(const Ref* slots, u32 n);
// The temporaries initialisation record; returns the address of its count
// byte (the extra count follows it).
Ref add_alltmpinits();
// The deletion record for the entries of `table` from `mark` to its top
// (newest first) and, with the optimisation on, the block's temporaries.
// Returns the address of its handler word, or 0 when nothing is deleted.
Ref add_delvars(TableHead& table, Ref mark);

// The highest top of rettable so far in this compilation.
extern Ref ret_high;
// A new temporary of `type` (TY_NONE: not decided yet). With the
// optimisation off its initialisation record is emitted at once and its
// address stored in *initrec when given.
VarEntry* add_retvar(u32 type, Ref* initrec = nullptr);
// A new named variable; names above 17 characters are error 9.
VarEntry* add_tabvar(const char* name, u32 type);
// A new constant slot, initialised by its type.
VarEntry* add_constant(u32 type);
// A new block constant whose body starts at `position`; until the block is
// compiled its value word holds that text position.
VarEntry* add_blconst(Ref position);

// Lookups of the current lexeme.
const FuncEntry* is_operation();
u32 is_ifrtype();  // TypeId, or TY_NONE
VarEntry* is_variable();
const LitEntry* is_constant();
// Index of the first entry of an 18-byte name table equal to `name`
// between its base and its top, or 65535.
u32 _is_name(const char* name, const TableHead& table);

constexpr u32 NO_NAME = 65535;

}  // namespace qv
