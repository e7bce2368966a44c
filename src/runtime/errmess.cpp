// The error catalogue shared by the compiler, the handlers and the program
// file loader. The texts are the system's own, misspellings included; each
// line's index is its code, named in errcodes.h.
#include "errmess.h"

#include <iterator>

namespace qv {

// Without a bound of its own, so that a missing or extra line fails below.
const char* const errmess[] = {
    "",
    "Not enougth memory or error unknown",
    "No parameters in call of this block",
    "Block parameters stack overflow",
    "No parameter with given number",
    "String or constant doesn't match expected type",
    "Bad new variable type",
    "With same name and another type variable exists",
    "Variable table full",
    "String too long",
    "Operation name expected",
    "Name not found in desired table",
    "Unexpected end of program",
    "Wrong parameters number",
    "Must be variable",
    "Wrong type of constant",
    "Variable not found",
    "Wrong variable type",
    "Unterminated or too long string const",
    "Bad constant",
    "Extra parameter in operation call",
    "Too many parameters",
    "Must be type",
    "Abcent begin { brace",
    "Abcent end } brace",
    "String should be continued",
    "Needed name of operation to call",
    "Unknown operation",
    "Type convertion not defined",
    "Returned value should be used",
    "Function returns nothing",
    "Shold be ) in operation call",
    "Not an allowed type for operation",
    "Cannot define type, please use type name before operation",
    "Internal error - empty parameters stack",
    "Division by zero",
    "Sizes of two arrays in operation not the same",
    "Block already assigned, delete variable before doing this",
    "STOP operation executed",
    "Unavailable value given to operation",
    "Only array element available",
    "Array not available",
    "Duplicate array and variable name",
    "Index brace ] expected",
    "With another size array already exists",
    "Array subscript out off range",
    "Constant unavailable",
    "Code page overflow",
    "misplaced [",
    "misplaced ]",
    "misplaced ; or end of stream",
    "misplaced )",
    "Unavailable parameter",
    "Too deeply nested calls",
    "Same name operation exists",
    "Same name type exists",
    "Same name constant exists",
    "Same name variable already exists",
    "Too many constants",
    "Too many variables",
    "Variable or array not initialized",
    "Cannot convert data types",
    "Operation should be used in prefix form",
    "Block unavailable",
    "Bad program label",
    "Bad record in program file",
    "Code check sume failure",
    "Code too large",
    "Data check sume failure",
    "Too many datas",
    "Variable is not an array",
    "INTERNAL ERROR - Bad initialization",
    "Unexpected end of block, deleting non initialized variables",
    "\"for\" cycle index out of range",
    "there was no call to \"initfft <size>\"",
    "FFT initialization missmatch",
    "Zero size array not available",
    "Function must return value",
    // Ends that come from outside the program, after the catalogue above.
    "Window closed, run stopped",
    "Display connection lost",
};
static_assert(std::size(errmess) == E_COUNT, "one message for each code of errcodes.h");

const char* error_text(u32 code) {
  return code < ERRMESS_COUNT ? errmess[code] : errmess[1];
}

}  // namespace qv
