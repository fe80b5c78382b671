#pragma once
// The one conversion error of the system: a text that should be a number is not one, or
// numbers that should form a date or a time do not. It ends the operation that met it and
// is caught where that operation ends.

#include <stdexcept>
#include <string>

class EConvertError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
