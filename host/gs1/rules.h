// The rules between fields: repeats, and the dictionary's "req=" and "ex=".
#pragma once

#include <vector>

#include "host/gs1/syntax.h"

namespace gs1 {

// The problems of the fields taken together, in the order of the fields;
// marks a field that repeats an earlier one with the same value.
std::vector<Problem> CheckRules(std::vector<FieldReport>& fields);

}  // namespace gs1
