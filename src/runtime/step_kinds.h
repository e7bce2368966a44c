// The kinds of decoded steps, one line each with what the executor does for
// it. The list serves both the enum (decoded.h) and the executor's dispatch
// table (executor.cpp), so the two cannot drift apart.
//
// Most records are CALL steps: their handler is called as the record says.
// The others are the commonest operations, done inline, and the operations
// that run blocks, which the executor enters in its own loop instead of
// nesting a native call.
#pragma once

#define QV_STEP_KINDS(X)                                                        \
  X(CALL)          /* call the handler; it may set a level or a stop        */ \
  X(IDLE_INIT)     /* an initialisation of no temporaries: nothing to do    */ \
  X(INIT_TEMPS)    /* initialise a group of number and truth temporaries    */ \
  X(DEL_TEMPS)     /* delete such a group (a block's clean-up)              */ \
  X(DEL_VARS)      /* delete temporaries and named variables (mvardel)      */ \
  X(RENEW_VARS)    /* DEL_VARS of the group and the variables that the      */ \
                   /* first steps initialise and declare: left as those     */ \
                   /* steps leave them (DecodedBlock::declared)             */ \
  X(RENEW_TEMPS)   /* DEL_TEMPS of the group the first step initialises:    */ \
                   /* left as that step leaves it (DecodedBlock::renews)    */ \
  X(INIT_STRS)     /* the first step of a block that renews a group holding */ \
                   /* str temporaries too (DecodedBlock::strings): the      */ \
                   /* handler, unless the group is primed (then past it and */ \
                   /* the declarations renewed with it)                     */ \
  X(RENEW_STRS)    /* that group's deletion: each text left empty in its    */ \
                   /* own storage (renew_temporaries)                       */ \
  X(DECLARE)       /* declare one number or truth variable: it holds 0      */ \
  X(PLUS)          /* result = a + b + ...                                  */ \
  X(MUL)           /* result = a * b * ...                                  */ \
  X(PLUS2)         /* no step's kind: the code of a PLUS of two operands    */ \
                   /* with a result, which needs no test of either          */ \
  X(MUL2)          /* the same for a MUL                                    */ \
  X(MINUS2)        /* the same for a MINUS with a result                    */ \
  X(DIV2)          /* the same for a DIV                                    */ \
  X(PLUS_SET)      /* no step's kind: PLUS2, MUL2, MINUS2, DIV2 or MOD2     */ \
  X(MUL_SET)       /* whose result the next step, an ASSIGN without a       */ \
  X(MINUS_SET)     /* result, copies into a variable: that ASSIGN runs on   */ \
  X(DIV_SET)       /* from here, the value at hand                          */ \
  X(MOD_SET)                                                                   \
  X(MOD_EQ_TO)     /* no step's kind: a MOD2 whose result the next step, a  */ \
  X(MOD_NE_TO)     /* comparison by "==" or "!=" (EQ_TO, NE_TO, EQ_IF,      */ \
  X(MOD_EQ_IF)     /* NE_IF), compares with its second operand: that step   */ \
  X(MOD_NE_IF)     /* runs on from here, the remainder at hand              */ \
  X(MINUS)         /* result = a - b                                        */ \
  X(DIV)           /* result = a / b                                        */ \
  X(DIV_POW2)      /* DIV by a constant 2^k (holds k): a shift for integers */ \
  X(MOD)           /* result = a % b                                        */ \
  X(MOD2)          /* no step's kind: the code of a MOD with a result       */ \
  X(PLUS_ASSIGN)   /* a += b                                                */ \
  X(MINUS_ASSIGN)  /* a -= b                                                */ \
  X(PLUS_ONLY)     /* no step's kind: the code of a PLUS_ASSIGN with no     */ \
                   /* result, which needs no test for one                   */ \
  X(MINUS_ONLY)    /* the same for a MINUS_ASSIGN                           */ \
  X(CONVERT)       /* a conversion between numbers and truth values         */ \
  X(AND2)          /* no step's kind: the code of a CALL of "&&" with two   */ \
  X(OR2)           /* operands and a result, or of "||", done inline        */ \
  X(CHOOSE)        /* the same for "?" with a result                        */ \
  X(BITOR2)        /* the same for "|", "&", "^", "<<" and ">>" with two    */ \
  X(BITAND2)       /* operands: an int or uint result computed here, any    */ \
  X(BITXOR2)       /* other through the handler                             */ \
  X(SHL2)          /*                                                       */ \
  X(SHR2)          /*                                                       */ \
  X(ELEMENT)       /* point a later record at an array element              */ \
  X(ELEMENT_A1)    /* no step's kind: the code of an ELEMENT whose word is  */ \
  X(ELEMENT_B1)    /* operand a (first) or b (second) of the step 1, 2 or 3 */ \
  X(ELEMENT_A2)    /* ahead: its copy goes to a place that the code holds,  */ \
  X(ELEMENT_B2)    /* not one read from the step, so that the processor     */ \
  X(ELEMENT_A3)    /* knows where it goes before the step that reads it     */ \
  X(ELEMENT_B3)    /* looks (see Step::twin)                                */ \
  X(ASSIGN)        /* a = b                                                 */ \
  X(ASSIGN_ONLY)   /* no step's kind: the code of an ASSIGN with no result  */ \
  X(INC)           /* a ++                                                  */ \
  X(DEC)           /* a --                                                  */ \
  X(INC_ONLY)      /* no step's kind: the code of an INC with no result     */ \
  X(DEC_ONLY)      /* the same for a DEC                                    */ \
  X(COMPARE)       /* result = a <op> b, numbers inline                     */ \
  X(COMPARE_IF)    /* COMPARE whose result the next step, an IF, tests:     */ \
                   /* that IF runs on from here, with no dispatch between   */ \
  X(COMPARE_BREAKIF) /* the same for a BREAKIF after the COMPARE            */ \
  X(LT_TO)         /* no step's kind: the code of a COMPARE of "<" with a   */ \
  X(LE_TO)         /* result, the verdict computed by the operator itself   */ \
  X(GT_TO)         /* rather than through an order and the set it holds for */ \
  X(GE_TO)         /* (the C++ operators treat a NaN as the sets do); a     */ \
  X(EQ_TO)         /* type that is not a number goes to the handler         */ \
  X(NE_TO)                                                                     \
  X(LT_IF)         /* the same for a COMPARE_IF of each                     */ \
  X(LE_IF)                                                                     \
  X(GT_IF)                                                                     \
  X(GE_IF)                                                                     \
  X(EQ_IF)                                                                     \
  X(NE_IF)                                                                     \
  X(LT_BREAKIF)    /* and for a COMPARE_BREAKIF of each                     */ \
  X(LE_BREAKIF)                                                                \
  X(GT_BREAKIF)                                                                \
  X(GE_BREAKIF)                                                                \
  X(EQ_BREAKIF)                                                                \
  X(NE_BREAKIF)                                                                \
  X(BREAKIF)       /* "breakif": a level of 1 when the value is not 0       */ \
  X(CONTIF)        /* "continueif": the same for "continue"                 */ \
  X(BREAK)         /* "break": a level of 1                                 */ \
  X(CONT)          /* "continue": the same for "continue"                   */ \
  X(PARAM)         /* "par#": an argument of the innermost call             */ \
  X(PARAM_TO)      /* no step's kind: the code of a PARAM with a result     */ \
  X(PARAM_K)       /* the same, its index a constant (Step::holds)          */ \
  X(PARAM_SET)     /* no step's kind: a PARAM_K whose result the next step, */ \
                   /* an ASSIGN without a result, copies into a variable    */ \
                   /* (`x = (par# 0)`): that ASSIGN runs on from here       */ \
  X(PARAM_K2)      /* no step's kind: a PARAM_K whose next step is one too  */ \
                   /* (`(call f (par# 1) (par# 0))`): both run from here    */ \
  X(RETURN)        /* "return": level -1, value to the call's result        */ \
  X(RETURN_LEAF)   /* no step's kind: the code of a RETURN in the steps of  */ \
                   /* a block run in place, which leaves that block first   */ \
  X(RETURN_NEST)   /* the same in the steps that end in NEST_END: leaves    */ \
                   /* the block and the "if" that entered it first          */ \
  X(RETURN_CALL)   /* the same in the steps that end in CALL_END: leaves    */ \
                   /* the block and ends the call at once                   */ \
  X(EXEC)          /* run the blocks of the parameters in turn              */ \
  X(IF)            /* run the block of the condition's branch               */ \
  X(IF_LEAF)       /* no step's kind: the code that an IF takes once it has */ \
                   /* run a block in place (DecodedBlock::leaf_start) or    */ \
                   /* through its nest_start                                */ \
  X(IF_TAIL)       /* the same for an IF that its block ends after, in the  */ \
                   /* steps that end in NEST_END (Step::holds 1): it ends   */ \
                   /* the block before it runs a quiet one (quiet_blocks.h) */ \
  X(EXEC_LEAF)     /* the same for an EXEC of one block                     */ \
  X(CALL_BLOCK)    /* push a frame and run the block                        */ \
  X(LOOP)          /* run the block round after round                       */ \
  X(FOR)           /* run the block for each value of the index             */ \
  X(SWITCH)        /* run the selected block; a level ends there (after     */ \
                   /* LOOP and FOR: the end of a block run in place tests   */ \
                   /* the three kinds at once)                              */ \
  X(SWITCH_LEAF)   /* no step's kind: the code of a SWITCH that has run a   */ \
                   /* block in place, which looks for no cache              */ \
  X(BAD)           /* a record that cannot run: the program file is damaged */ \
  X(END)           /* after the last step: the block is done                */ \
  X(LEAF_END)      /* END of a block run in place (DecodedBlock::leaf_start): */ \
                   /* back to the step that ran it                          */ \
  X(LEAF_RENEW)    /* its group's renewal (holds 1 for RENEW_STRS), then    */ \
                   /* LEAF_END                                              */ \
  X(LEAF_KEEP)     /* the same for a group that the block keeps: primed     */ \
  X(ROUND_END)     /* END of a loop's body run in place: the next round     */ \
                   /* (DecodedBlock::round_start), or back to the loop      */ \
  X(ROUND_RENEW)   /* its group's renewal, then ROUND_END                   */ \
  X(BODY_END)      /* END of a loop's body that runs blocks, entered for    */ \
                   /* its rounds (DecodedBlock::body_start): the next round */ \
                   /* or the loop's step                                    */ \
  X(BODY_RENEW)    /* its group's renewal (holds 1 for texts), then BODY_END */ \
  X(BODY_KEEP)     /* the same for a group that the block keeps, which is   */ \
                   /* only primed (DecodedBlock::keeps)                     */ \
  X(NEST_END)      /* END of a block that runs blocks, entered by an "if"   */ \
                   /* (DecodedBlock::nest_start): back to the "if"          */ \
  X(NEST_RENEW)    /* its group's renewal (holds 1 for texts), then NEST_END */ \
  X(NEST_KEEP)     /* the same for a group that the block keeps, which is   */ \
                   /* only primed (DecodedBlock::keeps)                     */ \
  X(CALL_END)      /* END of a block that a "call" entered (DecodedBlock::  */ \
                   /* call_start): the call is done                         */ \
  X(CALL_RENEW)    /* its group's renewal (holds 1 for texts), then CALL_END */ \
  X(CALL_KEEP)     /* the same for a group that the block keeps, which is   */ \
                   /* only primed (DecodedBlock::keeps)                     */
