// The type table, the named constants, the conversion table and the system
// functions. Row order is binding: program files refer to rows by index.
#include "env.h"
#include "handlers.h"

namespace qv {

namespace {
constexpr u32 T_ALL = T_CLEAR | T_ASSIGN | T_MERGE | T_SPARE_08 | T_SPARE_10 | T_INSLOT;
}  // namespace

const TypeEntry typent[TY_COUNT] = {
    // init, clr, assign, comp, del, ft, tf, mksv, mkld, litFirst, litCount, flags
    // str
    {H_l_st_init, H_l_st_clr, l_st_assign, l_st_comp, H_l_st_del, l_st_ft, l_st_tf,
     l_str_mksv, l_str_mkld, 0, 0, T_ALL & ~T_INSLOT},
    // block
    {H_bl_init, H_bl_clr, bl_assign, nullptr, H_bl_del, nullptr, nullptr, bl_makesv,
     bl_makeld, 0, 0, T_CLEAR | T_ASSIGN},
    // bool
    {H_l_log_init, H_l_log_init, l_inslot_assign, l_log_comp, H_l_log_del, l_literalstr,
     nullptr, l_inslot_mksv, l_inslot_mkld, 0, 2, T_ALL & ~T_SPARE_10},
    // int
    {H_l_int_init, H_l_int_init, l_inslot_assign, l_int_comp, H_l_int_del, l_int_ft, l_int_tf,
     l_inslot_mksv, l_inslot_mkld, 0, 0, T_ALL},
    // uint
    {H_l_int_init, H_l_int_init, l_inslot_assign, l_uint_comp, H_l_int_del, l_int_ft, l_int_tf,
     l_inslot_mksv, l_inslot_mkld, 0, 0, T_ALL},
    // float
    {H_l_float_init, H_l_float_init, l_inslot_assign, l_float_comp, H_l_float_del,
     l_float_ft, l_float_tf, l_inslot_mksv, l_inslot_mkld, 0, 0, T_ALL},
};

const char* const typname[TY_COUNT] = {"str", "block", "bool", "int", "uint", "float"};

const LitEntry litent[LIT_COUNT] = {
    {0, TY_BOOL},  {1, TY_BOOL},
    {0, TY_INT},   {1, TY_INT},   {2, TY_INT},   {3, TY_INT},  {4, TY_INT},  {5, TY_INT},
    {6, TY_INT},   {7, TY_INT},   {8, TY_INT},   {9, TY_INT},  {10, TY_INT}, {11, TY_INT},
    {12, TY_INT},  {13, TY_INT},  {14, TY_INT},  {15, TY_INT},
    {0x40490FDB, TY_FLOAT},  // PI
    {0x3FC90FDB, TY_FLOAT},  // PI/2
    {0x3EA2F983, TY_FLOAT},  // +1/PI
    {0x3FB504F3, TY_FLOAT},  // SQRT2
    {0x3F3504F3, TY_FLOAT},  // +1/SQRT2
    {0x3FB8AA3B, TY_FLOAT},  // LOG2E
    {0x3EDE5BD9, TY_FLOAT},  // LOG10E
    {0x3F317218, TY_FLOAT},  // LOG2
    {0x40135D8E, TY_FLOAT},  // LOG10
    {0x402DF854, TY_FLOAT},  // E
};

const char* const litname[LIT_COUNT] = {
    "FALSE", "TRUE", "BLACK", "BLUE", "GREEN", "CYAN", "RED", "MAGENTA", "BROWN", "GRAY",
    "L_BLACK", "L_BLUE", "L_GREEN", "L_CYAN", "L_RED", "L_MAGENTA", "YELLOW", "WHITE",
    "PI", "PI/2", "+1/PI", "SQRT2", "+1/SQRT2", "LOG2E", "LOG10E", "LOG2", "LOG10", "E",
};

// Row: source type, column: destination type, both in typent order.
const u8 convtab[TY_COUNT][TY_COUNT] = {
    /* str   */ {0, 0, 0, C_c_str_var, C_c_str_var, C_c_str_var},
    /* block */ {0, 0, 0, 0, 0, 0},
    /* bool  */ {C_c_var_str, 0, 0, C_l_logint, C_l_logint, C_l_logfloat},
    /* int   */ {C_c_var_str, 0, C_l_intlog, 0, C_l_int_conv, C_l_intfloat},
    /* uint  */ {C_c_var_str, 0, C_l_intlog, C_l_int_conv, 0, C_l_uintfloat},
    /* float */ {C_c_var_str, 0, C_l_floatlog, C_l_floatint, C_l_floatuint, 0},
};

const u32 sysfuncs[SYSFUNC_COUNT] = {H_convcall, H_mvardel, H__arrindexing, H__alltmpinits, H__arrdynelem};

}  // namespace qv
