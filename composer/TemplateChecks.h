#pragma once
// The checks the template window runs on OK, as functions of the snapshot of its controls:
// the phone number and password first, then the fields of the shown box in a fixed order,
// the first failure giving the message shown. A field whose edit is disabled (its selector
// unticked) is never checked.

#include "composer/FormSnapshot.h"

#include <QString>

#include <string>
#include <vector>

// A field's text as a decimal number: decimal digits only. Anything else (empty, blanks, a
// sign, hexadecimal, a value beyond 32 bits) reads as -1, since the builders send the text
// as typed.
int ReadDecimal(const QString& text);

// A disabled edit passes; an enabled one when its text is not empty.
bool CheckFilled(const TFormSnapshot& snapshot, const std::string& name);
// A disabled edit passes; otherwise the number passes from min to max, and 0 where zero is
// allowed; a text that is no number fails.
bool CheckRange(const TFormSnapshot& snapshot, const std::string& name, int min, bool zeroAllowed, int max);

struct TFieldCheck {
  std::string Field;
  bool Range = false;  // else: filled
  int Min = 0;
  bool ZeroAllowed = false;
  int Max = 0;
  QString Message;
};

// The field checks of a command type, in order, after the number and password; empty for
// the types that check only those and for the queries.
const std::vector<TFieldCheck>& FieldChecks(int commandType);

// The message of the first failure of the number and password, empty when both are given.
// Both are checked whether or not their edits are enabled (a group shows its name in both).
QString CheckNumberAndPassword(const TFormSnapshot& snapshot);

// The message of the first failing check of a command type, empty when every check passes.
// The parameter queries (13 to 22) check nothing at all.
QString ValidateCommand(int commandType, const TFormSnapshot& snapshot);

// A dotted IPv4 address: four groups of one to three digits separated by any one character
// each, the first three below 256 and the last below 255.
bool CheckIp(const std::string& text);
