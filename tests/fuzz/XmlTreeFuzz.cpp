// Arbitrary bytes as a places or position file: reading never crashes and keeps within the
// tree's bounds, and whatever was read is written as a file that reads back to the same text.
#include "platform/XmlTree.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Nodes and attributes below `node`, itself included.
long Count(const TXmlNode& node, int depth) {
  if (depth > kMaxXmlDepth + 1) std::abort();  // a text in the deepest element
  long count = 1 + static_cast<long>(node.Attributes.size());
  if (node.Attributes.size() > static_cast<size_t>(kMaxXmlAttributes)) std::abort();
  for (const auto& child : node.Children) count += Count(*child, depth + 1);
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  TXmlDocument document;
  const TXmlReadResult read = ParseXml(text, document);
  if (read.Ok != read.Error.isEmpty()) std::abort();
  long nodes = 0;
  for (const auto& node : document.Nodes) nodes += Count(*node, 1);
  if (nodes > kMaxXmlNodes) std::abort();
  if (!document.Root()) return 0;

  const QByteArray written = WriteXml(document);
  TXmlDocument again;
  if (!ParseXml(written, again).Ok) std::abort();
  if (WriteXml(again) != written) std::abort();
  return 0;
}
