#pragma once
// Table rows for the command builders: a target set and the controls of the template window in
// short texts, the expected lines of every series, and a runner that compares them byte for
// byte in code page 1251.

#include "composer/CommandBuilders.h"

#include <QString>

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

// Control texts: "+name" ticks, "-name" disables, "name=text" sets the text (UTF-8 in the
// source), "name#n" chooses item n. Applied in order on top of an enabled password edit that
// holds "12345678".
TFormSnapshot MakeSnapshot(const std::vector<const char*>& controls);

struct TComposed {
  bool Result = false;
  // "series:line" for every line of lists 1 to 5 in order, the line in code page 1251.
  std::vector<std::string> Lines;
  std::map<std::string, QString> WriteBack;
};

// Runs the builder of `type` through ComposeCommand on lists that already hold a stale line
// each, so that a builder that does not clear them shows it.
TComposed Compose(int type, const std::vector<int>& targets, const std::vector<const char*>& controls);

struct TBuildRow {
  const char* Name;
  std::vector<int> Targets;
  std::vector<const char*> Controls;
  std::vector<const char*> Lines;  // "series:line", UTF-8 in the source
  bool Result = true;
};

// Compose every row with `type` and compare its lines and result.
void ExpectRows(int type, std::initializer_list<TBuildRow> rows);

// The stale line each list holds before a builder runs.
inline constexpr const char* kStaleLine = "stale";
