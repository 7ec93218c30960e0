#pragma once

// The result type of a function command: 'l', 'f' or 's' for a number whose keyword-list line
// names a function or operator (a name ending in "["; its first letter is the result), 0 for
// a statement or a number the list does not know.
char FunctionResultKind(int number);
