#include "composer/CommandWriter.h"

#include "common/Text.h"

#include <cstdio>

TCommandWriter::TCommandWriter(TBuildContext& context)
    : Context(context), Password(GetPasswordField(context.Snapshot)) {
  Context.Lists.Clear();
}

std::string TCommandWriter::Text(const std::string& name) const {
  return Cp1251FromQString(Context.Snapshot[name].Text);
}

void TCommandWriter::Add(int series, std::string line) { Context.Lists[series].push_back(std::move(line)); }

std::string TCommandWriter::Keyword(std::string_view keyword) const {
  std::string line(keyword);
  line += ' ';
  line += Password;
  return line;
}

std::string TCommandWriter::Keyword(std::string_view keyword, std::string_view arguments) const {
  std::string line = Keyword(keyword);
  line += ' ';
  line += arguments;
  return line;
}

void TCommandWriter::Assign(std::string_view key, std::string_view value) {
  std::string line = Password;
  line += ' ';
  line += key;
  line += '=';
  line += value;
  line += ';';
  Add(5, std::move(line));
}

void TCommandWriter::Query(std::string_view key) {
  std::string line = Password;
  line += " G";
  line += key;
  line += ';';
  Add(5, std::move(line));
}

std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  quoted += text;
  quoted += '"';
  return quoted;
}

std::string IndexText(int index) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%i", index);
  return buffer;
}

std::string Name(std::string_view head, int digit, std::string_view tail) {
  std::string name(head);
  name += std::to_string(digit);
  name += tail;
  return name;
}
