// The sections of a compiled-program file and the field operations of its
// writer and its reader. progfile.h has the whole-file entry points; this
// header is for them and for tests that look at single sections.
//
// A section: program label (16), section label (12), length (4), body,
// checksum of the body (4). Whole numbers are little-endian u32; the
// checksum adds 32-bit fields as they are and every byte sign-extended.
//
// Code section body (the records of the code page without addresses):
//   mode byte                       the temporaries optimisation it was compiled with
//   variables: count, then per entry type byte, flags byte
//   temporaries: count, then per entry type byte, flags byte
//   blocks, one after another from the code page's base:
//     clean-up: offset of the clean-up record's handler field, or 0
//     records: position kind byte (POS_*), operation reference,
//              count byte, extra byte, result word, parameter words
//     POS_END
// A result or parameter word is a slot reference (SLOT_* tag, index for
// the tables), except: the declaration's result (a type index), a dynamic
// element record's result (a code offset) and a conversion record's first
// parameter (source and destination type bytes of its convtab cell).
#pragma once

#include <cstdio>

#include "../runtime/qv.h"

namespace qv {

extern const char proglabel[16];  // "TEST QV PROGRAM"
extern const char codelabel[12];  // "_CODE_PAGE_"
extern const char datalabel[12];  // "_DATA_PAGE_"

// Operation references.
enum : u8 { OPREF_SYSFUNC = 0, OPREF_FUNCENT = 1, OPREF_TYPESLOT = 2 };
// Slot references of the code section.
enum : u8 { SLOT_NONE = 0, SLOT_VAR = 1, SLOT_CONST = 2, SLOT_TEMP = 3, SLOT_MARKER = 4 };
// Source-position kinds of a record; POS_END stands for a block's end marker.
enum : u8 { POS_NONE = 0, POS_TMPINIT = 1, POS_DELETE = 2, POS_END = 0xFF };

// Error exits of the two modules (savonerror, lodonerror) and the reader's
// second return point (the restore cursor reached the code page's limit).
struct SaveError {};
struct LoadError {};
struct EndCode {};

namespace writer {

extern u32 chsume;

[[noreturn]] void savonerror();
void write_cpmarker(FILE* f);
void write_cplength(FILE* f);
void write_cnmarker(FILE* f);
void write_cnlength(FILE* f);
void write_chsume(FILE* f);
void save_byteval(FILE* f, u8 byte);
void save_intval(FILE* f, u32 value);
void save_cnbuffer(FILE* f, const u8* bytes, u32 length);
void save_values(FILE* f, u8 tag, u32 index);
void save_tvalues(FILE* f, u8 tag, u8 slot, u32 index);
void save_opcode(FILE* f, u32 handler);
void save_constants(FILE* f);
void save_codepage(FILE* f);

}  // namespace writer

namespace reader {

extern u32 chsume;
// Off only in tests and fuzzing, to reach the checks behind the checksums
// with files that a single changed byte would otherwise never get past.
extern bool check_sums;

// Keeps if_c_error, erases the loaded constants, throws LoadError.
[[noreturn]] void lodonerror();
void read_marker(FILE* f, const char* label);
u32 read_length(FILE* f);
u32 read_chsume(FILE* f);
i32 load_byteval(FILE* f);
u32 load_intval(FILE* f);
u32 load_cnbuffer(FILE* f, u8* bytes, u32 length);
void rst_pointer(u32 word);
void rst_byteval(u8 byte);
void rst_endblock();
// Stores the handler and also returns it (the decoder needs to know which
// words of the record follow).
u32 load_opcode(FILE* f);
void load_constants(FILE* f);
void load_codepage(FILE* f);
// Checks what the code section refers to against what was loaded: slots,
// types, block offsets. Fails through lodonerror with code 65.
void check_program();
// Forgets the code map of an earlier load (block starts, slot counts).
void reset();

}  // namespace reader

}  // namespace qv
