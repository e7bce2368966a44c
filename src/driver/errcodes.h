// Names of the error catalogue's codes (see errmess.cpp for the messages).
#pragma once

#include "qv.h"

namespace qv {

enum ErrCode : u32 {
  E_NO_MEMORY = 1,     // "Not enougth memory or error unknown"
  E_NO_PARAMS = 2,     // "No parameters in call of this block"
  E_PARSTACK = 3,      // "Block parameters stack overflow"
  E_NO_PARAM = 4,      // "No parameter with given number"
  E_NOT_VAR = 14,      // "Must be variable"
  E_NO_RETURN = 30,    // "Function returns nothing"
  E_BAD_TYPE = 32,     // "Not an allowed type for operation"
  E_STOP = 38,         // "STOP operation executed"
  E_NESTING = 53,      // "Too deeply nested calls"
  E_NOT_INIT = 60,     // "Unavailable parameter"
  E_BAD_LOAD = 65,     // "Bad record in program file"
  E_BAD_INIT = 71,     // "INTERNAL ERROR - Bad initialization"
  E_BAD_DEL = 72,      // "Unexpected end of block, deleting non initialized variables"
  E_FOR_RANGE = 73,    // "\"for\" cycle index out of range"
};

}  // namespace qv
