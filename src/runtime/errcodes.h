// The codes of the error catalogue (errmess.cpp), by name. A code is the
// index of its message there, and the numbers are part of what users see
// ("Error 43 (line 2): ..."), so a code never changes its number.
#pragma once

#include "qv.h"

namespace qv {

enum ErrCode : u32 {
  E_NONE = 0,                  // (no error)
  E_NO_MEMORY = 1,             // Not enougth memory or error unknown
  E_NO_PARAMS = 2,             // No parameters in call of this block
  E_PARSTACK = 3,              // Block parameters stack overflow
  E_NO_PARAM = 4,              // No parameter with given number
  E_TYPE_MISMATCH = 5,         // String or constant doesn't match expected type
  E_BAD_NEW_TYPE = 6,          // Bad new variable type
  E_OTHER_TYPE_VAR = 7,        // With same name and another type variable exists
  E_VARTABLE_FULL = 8,         // Variable table full
  E_STR_TOO_LONG = 9,          // String too long
  E_OP_NAME_EXPECTED = 10,     // Operation name expected
  E_NAME_NOT_FOUND = 11,       // Name not found in desired table
  E_UNEXPECTED_END = 12,       // Unexpected end of program
  E_PARAM_COUNT = 13,          // Wrong parameters number
  E_MUST_BE_VAR = 14,          // Must be variable
  E_CONST_TYPE = 15,           // Wrong type of constant
  E_VAR_NOT_FOUND = 16,        // Variable not found
  E_VAR_TYPE = 17,             // Wrong variable type
  E_UNTERMINATED_STR = 18,     // Unterminated or too long string const
  E_BAD_CONST = 19,            // Bad constant
  E_EXTRA_PARAM = 20,          // Extra parameter in operation call
  E_TOO_MANY_PARAMS = 21,      // Too many parameters
  E_MUST_BE_TYPE = 22,         // Must be type
  E_NO_OPEN_BRACE = 23,        // Abcent begin { brace
  E_NO_CLOSE_BRACE = 24,       // Abcent end } brace
  E_STR_CONTINUED = 25,        // String should be continued
  E_CALL_NAME_EXPECTED = 26,   // Needed name of operation to call
  E_UNKNOWN_OP = 27,           // Unknown operation
  E_NO_CONVERSION = 28,        // Type convertion not defined
  E_RESULT_UNUSED = 29,        // Returned value should be used
  E_NO_RESULT = 30,            // Function returns nothing
  E_CLOSE_PAREN = 31,          // Shold be ) in operation call
  E_BAD_TYPE = 32,             // Not an allowed type for operation
  E_TYPE_UNKNOWN = 33,         // Cannot define type, please use type name before operation
  E_EMPTY_PARSTACK = 34,       // Internal error - empty parameters stack
  E_DIV_ZERO = 35,             // Division by zero
  E_ARRAY_SIZES = 36,          // Sizes of two arrays in operation not the same
  E_BLOCK_ASSIGNED = 37,       // Block already assigned, delete variable before doing this
  E_STOP = 38,                 // STOP operation executed
  E_BAD_VALUE = 39,            // Unavailable value given to operation
  E_ELEM_ONLY = 40,            // Only array element available
  E_NO_ARRAY = 41,             // Array not available
  E_ARRAY_VAR_NAME = 42,       // Duplicate array and variable name
  E_INDEX_BRACE = 43,          // Index brace ] expected
  E_ARRAY_RESIZE = 44,         // With another size array already exists
  E_SUBSCRIPT = 45,            // Array subscript out off range
  E_NO_CONST = 46,             // Constant unavailable
  E_CODE_PAGE = 47,            // Code page overflow
  E_MISPLACED_LBRACKET = 48,   // misplaced [
  E_MISPLACED_RBRACKET = 49,   // misplaced ]
  E_MISPLACED_END = 50,        // misplaced ; or end of stream
  E_MISPLACED_RPAREN = 51,     // misplaced )
  E_BAD_PARAM = 52,            // Unavailable parameter
  E_NESTING = 53,              // Too deeply nested calls
  E_SAME_OP = 54,              // Same name operation exists
  E_SAME_TYPE = 55,            // Same name type exists
  E_SAME_CONST = 56,           // Same name constant exists
  E_SAME_VAR = 57,             // Same name variable already exists
  E_TOO_MANY_CONSTS = 58,      // Too many constants
  E_TOO_MANY_VARS = 59,        // Too many variables
  E_NOT_INIT = 60,             // Variable or array not initialized
  E_CANNOT_CONVERT = 61,       // Cannot convert data types
  E_PREFIX_ONLY = 62,          // Operation should be used in prefix form
  E_NO_BLOCK = 63,             // Block unavailable
  E_PROG_LABEL = 64,           // Bad program label
  E_PROG_RECORD = 65,          // Bad record in program file
  E_CODE_CHECKSUM = 66,        // Code check sume failure
  E_CODE_TOO_LARGE = 67,       // Code too large
  E_DATA_CHECKSUM = 68,        // Data check sume failure
  E_TOO_MANY_DATA = 69,        // Too many datas
  E_NOT_ARRAY = 70,            // Variable is not an array
  E_BAD_INIT = 71,             // INTERNAL ERROR - Bad initialization
  E_DEL_NOT_INIT = 72,         // Unexpected end of block, deleting non initialized variables
  E_FOR_RANGE = 73,            // "for" cycle index out of range
  E_NO_INITFFT = 74,           // there was no call to "initfft <size>"
  E_FFT_MISMATCH = 75,         // FFT initialization missmatch
  E_ZERO_ARRAY = 76,           // Zero size array not available
  E_MUST_RETURN = 77,          // Function must return value
  // Ends that come from outside the program.
  E_WINDOW_CLOSED = 78,        // Window closed, run stopped
  E_DISPLAY_LOST = 79,         // Display connection lost
  E_COUNT                      // (the number of codes)
};

}  // namespace qv
