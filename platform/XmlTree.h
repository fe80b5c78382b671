#pragma once
// A small XML tree for the files the program edits and reads (the position file, the places
// file): elements with their attributes in document order, text, CDATA sections, comments and
// processing instructions. Files are read with QXmlStreamReader and written with
// QXmlStreamWriter through QSaveFile, so a save that fails leaves the old file whole, the
// attributes are written in the order they were set, and a CDATA text holding "]]>" is split
// into sections that read back as the same text.
//
// Whitespace between elements is not kept: a text node made only of whitespace is dropped
// from an element that has child elements, and the writer indents. Characters that XML 1.0
// forbids (control characters other than tab, line feed and carriage return, lone
// surrogates, U+FFFE and U+FFFF) are dropped when writing, so every saved file reads back.

#include <QByteArray>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

class TXmlNode {
public:
  enum class TType { Element, Text, CData, Comment, ProcessingInstruction };

  explicit TXmlNode(TType type, QString name = {}, QString value = {});
  ~TXmlNode();
  TXmlNode(const TXmlNode&) = delete;
  TXmlNode& operator=(const TXmlNode&) = delete;

  TType Type;
  QString Name;   // element name (with its prefix, if any) or processing-instruction target
  QString Value;  // text, CDATA, comment or processing-instruction data
  std::vector<std::pair<QString, QString>> Attributes;  // in document order
  std::vector<std::unique_ptr<TXmlNode>> Children;

  bool IsElement() const { return Type == TType::Element; }
  bool IsElement(const QString& name) const { return Type == TType::Element && Name == name; }

  // The child elements in document order.
  std::vector<TXmlNode*> ChildElements() const;
  // The first child element with this name, or null.
  TXmlNode* FirstChildElement(const QString& name) const;
  // Appends a new element as the last child and returns it.
  TXmlNode& AppendElement(const QString& name);
  // Appends a new element holding one text node.
  TXmlNode& AppendTextElement(const QString& name, const QString& text);
  void AppendCData(const QString& text);

  // The text of every text and CDATA node below this one, in document order.
  QString TextContent() const;
  // Replaces all children with one text node (none for an empty text).
  void SetText(const QString& text);

  // The attribute's value, or an empty text when absent.
  QString Attribute(const QString& name) const;
  // Changes an attribute in place, or appends it after the others.
  void SetAttribute(const QString& name, const QString& value);
};

class TXmlDocument {
public:
  // The top-level nodes: comments and processing instructions around one root element.
  std::vector<std::unique_ptr<TXmlNode>> Nodes;

  // The root element, or null.
  TXmlNode* Root() const;
  // Replaces the document with a new root element and returns it.
  TXmlNode& SetRoot(const QString& name);
};

// Deepest nesting of elements that is read; a deeper file is refused as damaged, so that no
// file can exhaust the stack of the code that walks the tree.
inline constexpr int kMaxXmlDepth = 256;
// Largest file that is read whole.
inline constexpr qint64 kMaxXmlFileBytes = 64 * 1024 * 1024;
// Most attributes on one element (the reader compares each with all before it, so a long list
// costs its square); the same bound holds the quoted values of a document type, which can give
// every element default attributes. A crowded element or document type is read as damage.
inline constexpr int kMaxXmlAttributes = 256;
// Most nodes (elements, texts, CDATA sections, comments, instructions) and attributes of one
// document: what the tree of any file within kMaxXmlFileBytes may take. Beyond it the read
// ends as at damage.
inline constexpr int kMaxXmlNodes = 1000000;

struct TXmlReadResult {
  bool Ok = false;
  QString Error;  // why the text was refused (with its line), empty when Ok
};

// Reads the text into `document`. On an error the document keeps what was read before it
// (elements still open at that point included) and the result says why. The text is UTF-8
// unless a byte-order mark or the declaration names another encoding; a byte that does not
// decode is damage like any other, and what came before it is kept.
TXmlReadResult ParseXml(const QByteArray& text, TXmlDocument& document);
// Reads the file: a file that cannot be opened, is too large or is not well-formed XML gives
// an error; what was read before a damage stays in `document`.
TXmlReadResult LoadXmlFile(const QString& path, TXmlDocument& document);

// The document as UTF-8 text with the declaration <?xml version="1.0" encoding="UTF-8"?>.
QByteArray WriteXml(const TXmlDocument& document);
// Replaces the file at `path` in one step; on failure the old file stays as it was and
// `error` says why.
bool SaveXmlFile(const QString& path, const TXmlDocument& document, QString& error);

// The text without the characters XML 1.0 forbids.
QString XmlSafeText(const QString& text);
