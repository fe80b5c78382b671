#include "platform/XmlTree.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

TXmlNode::TXmlNode(TType type, QString name, QString value)
    : Type(type), Name(std::move(name)), Value(std::move(value)) {}

TXmlNode::~TXmlNode() = default;

std::vector<TXmlNode*> TXmlNode::ChildElements() const {
  std::vector<TXmlNode*> elements;
  for (const auto& child : Children) {
    if (child->IsElement()) elements.push_back(child.get());
  }
  return elements;
}

TXmlNode* TXmlNode::FirstChildElement(const QString& name) const {
  for (const auto& child : Children) {
    if (child->IsElement(name)) return child.get();
  }
  return nullptr;
}

TXmlNode& TXmlNode::AppendElement(const QString& name) {
  Children.push_back(std::make_unique<TXmlNode>(TType::Element, name));
  return *Children.back();
}

TXmlNode& TXmlNode::AppendTextElement(const QString& name, const QString& text) {
  TXmlNode& element = AppendElement(name);
  element.SetText(text);
  return element;
}

void TXmlNode::AppendCData(const QString& text) {
  Children.push_back(std::make_unique<TXmlNode>(TType::CData, QString(), text));
}

QString TXmlNode::TextContent() const {
  if (Type == TType::Text || Type == TType::CData) return Value;
  QString text;
  if (Type != TType::Element) return text;
  for (const auto& child : Children) text += child->TextContent();
  return text;
}

void TXmlNode::SetText(const QString& text) {
  Children.clear();
  if (!text.isEmpty()) Children.push_back(std::make_unique<TXmlNode>(TType::Text, QString(), text));
}

QString TXmlNode::Attribute(const QString& name) const {
  for (const auto& [key, value] : Attributes) {
    if (key == name) return value;
  }
  return {};
}

void TXmlNode::SetAttribute(const QString& name, const QString& value) {
  for (auto& [key, old] : Attributes) {
    if (key == name) {
      old = value;
      return;
    }
  }
  Attributes.emplace_back(name, value);
}

TXmlNode* TXmlDocument::Root() const {
  for (const auto& node : Nodes) {
    if (node->IsElement()) return node.get();
  }
  return nullptr;
}

TXmlNode& TXmlDocument::SetRoot(const QString& name) {
  Nodes.clear();
  Nodes.push_back(std::make_unique<TXmlNode>(TXmlNode::TType::Element, name));
  return *Nodes.back();
}

namespace {

bool IsBlank(QStringView text) {
  return std::all_of(text.begin(), text.end(),
                     [](QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; });
}

// Text between child elements is layout, not content: it goes when the element has children.
void DropLayoutText(TXmlNode& element) {
  auto& children = element.Children;
  bool hasElements = std::any_of(children.begin(), children.end(), [](const auto& c) { return c->IsElement(); });
  if (!hasElements) return;
  children.erase(std::remove_if(children.begin(), children.end(),
                                [](const auto& c) { return c->Type == TXmlNode::TType::Text && IsBlank(c->Value); }),
                 children.end());
}

QString ReadError(const QXmlStreamReader& reader) {
  return QStringLiteral("%1 (строка %2)").arg(reader.errorString()).arg(reader.lineNumber());
}

bool IsXmlChar(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

void WriteNode(QXmlStreamWriter& writer, const TXmlNode& node) {
  switch (node.Type) {
    case TXmlNode::TType::Text:
      writer.writeCharacters(XmlSafeText(node.Value));
      return;
    case TXmlNode::TType::CData:
      writer.writeCDATA(XmlSafeText(node.Value));
      return;
    case TXmlNode::TType::Comment:
      writer.writeComment(XmlSafeText(node.Value));
      return;
    case TXmlNode::TType::ProcessingInstruction:
      writer.writeProcessingInstruction(node.Name, XmlSafeText(node.Value));
      return;
    case TXmlNode::TType::Element:
      break;
  }
  if (node.Children.empty()) {
    writer.writeEmptyElement(node.Name);
  } else {
    writer.writeStartElement(node.Name);
  }
  for (const auto& [name, value] : node.Attributes) writer.writeAttribute(name, XmlSafeText(value));
  if (node.Children.empty()) return;
  for (const auto& child : node.Children) WriteNode(writer, *child);
  writer.writeEndElement();
}

}  // namespace

QString XmlSafeText(const QString& text) {
  QString safe;
  safe.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      safe += c;
      safe += text[++i];
      continue;
    }
    if (c.isSurrogate()) continue;  // a lone half of a pair
    if (IsXmlChar(c.unicode())) safe += c;
  }
  return safe;
}

namespace {

// ---- What the reader is given ----------------------------------------------------------------

// The encoding that the declaration names, or "" when it names none.
QString DeclaredEncoding(const QByteArray& text) {
  static const QRegularExpression declaration(
      QStringLiteral(R"(^\s*<\?xml\s[^>]*?\bencoding\s*=\s*["']([A-Za-z][A-Za-z0-9._:-]*)["'])"));
  const QRegularExpressionMatch match = declaration.match(QString::fromLatin1(text.left(256)));
  return match.hasMatch() ? match.captured(1) : QString();
}

bool IsUtf8Name(const QString& name) {
  return name.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0 ||
         name.compare(QLatin1String("UTF8"), Qt::CaseInsensitive) == 0;
}

// The offset of the first byte that does not begin a well-formed UTF-8 sequence (an overlong
// form, a surrogate, a code point above U+10FFFF, a sequence cut short), or -1.
qsizetype FirstInvalidUtf8(const QByteArray& text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.constData());
  const qsizetype size = text.size();
  qsizetype i = 0;
  while (i < size) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    int length = 0;
    unsigned char low = 0x80;  // the range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return i;
    }
    if (size - i < length || bytes[i + 1] < low || bytes[i + 1] > high) return i;
    for (int k = 2; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return i;
    }
    i += length;
  }
  return -1;
}

// The text decoded up to the first byte the decoder cannot take; `damaged` tells whether it
// stopped there. The decoder marks what it cannot take with U+FFFD: the first one in the piece
// where it failed is taken for the damage.
QString DecodeUpToDamage(QStringDecoder& decoder, const QByteArray& text, bool& damaged) {
  constexpr qsizetype kPiece = 4096;
  QString decoded;
  damaged = false;
  for (qsizetype at = 0; at < text.size(); at += kPiece) {
    const qsizetype before = decoded.size();
    decoded += decoder(QByteArrayView(text.constData() + at, std::min(kPiece, text.size() - at)));
    if (decoder.hasError()) {
      const qsizetype bad = decoded.indexOf(QChar::ReplacementCharacter, before);
      decoded.truncate(bad < 0 ? before : bad);
      damaged = true;
      break;
    }
  }
  return decoded;
}

char16_t Unit(char c) { return static_cast<unsigned char>(c); }
char16_t Unit(QChar c) { return c.unicode(); }

// A light look at the markup, before the reader sees it: the offset of the first start tag with
// more than `limit` attributes, or of a document type with more than `limit` quoted values
// (each may be a default attribute of every element); -1 when there is none. Comments, CDATA
// sections and processing instructions are stepped over; in a start tag every quoted value is
// one attribute. Markup that is not well-formed is left to the reader.
template <typename Char>
qsizetype FindCrowdedMarkup(const Char* text, qsizetype size, int limit) {
  auto startsAt = [&](qsizetype at, const char* word) {
    for (qsizetype k = 0; word[k] != '\0'; ++k) {
      if (at + k >= size || Unit(text[at + k]) != static_cast<unsigned char>(word[k])) return false;
    }
    return true;
  };
  // The offset just past the next `word` from `at`, or `size`.
  auto pastNext = [&](qsizetype at, const char* word) {
    const qsizetype length = static_cast<qsizetype>(std::strlen(word));
    for (; at < size; ++at) {
      if (startsAt(at, word)) return at + length;
    }
    return size;
  };
  // The offset just past the quote that closes the value opening at `at`.
  auto pastQuoted = [&](qsizetype at) {
    const char16_t quote = Unit(text[at]);
    for (++at; at < size; ++at) {
      if (Unit(text[at]) == quote) return at + 1;
    }
    return size;
  };
  qsizetype i = 0;
  while (i < size) {
    if (Unit(text[i]) != u'<') {
      ++i;
      continue;
    }
    const qsizetype tag = i;
    if (startsAt(i, "<!--")) {
      i = pastNext(i + 4, "-->");
    } else if (startsAt(i, "<![CDATA[")) {
      i = pastNext(i + 9, "]]>");
    } else if (startsAt(i, "<?")) {
      i = pastNext(i + 2, "?>");
    } else if (startsAt(i, "<!")) {
      // A document type, its internal subset in brackets.
      int quoted = 0;
      int depth = 0;
      for (i += 2; i < size;) {
        const char16_t c = Unit(text[i]);
        if (c == u'"' || c == u'\'') {
          if (++quoted > limit) return tag;
          i = pastQuoted(i);
        } else if (startsAt(i, "<!--")) {
          i = pastNext(i + 4, "-->");
        } else if (startsAt(i, "<?")) {
          i = pastNext(i + 2, "?>");
        } else {
          ++i;
          if (c == u'[') ++depth;
          if (c == u']') --depth;
          if (c == u'>' && depth <= 0) break;
        }
      }
    } else if (startsAt(i, "</")) {
      i = pastNext(i + 2, ">");
    } else {
      int attributes = 0;
      for (++i; i < size;) {
        const char16_t c = Unit(text[i]);
        if (c == u'"' || c == u'\'') {
          if (++attributes > limit) return tag;
          i = pastQuoted(i);
        } else if (c == u'>' || c == u'<') {
          break;
        } else {
          ++i;
        }
      }
    }
  }
  return -1;
}

template <typename Text>
int LineAt(const Text& text, qsizetype at) {
  return static_cast<int>(std::count(text.begin(), text.begin() + at, '\n')) + 1;
}

// What the reader is given: the text up to the first damage found before reading (a byte that
// does not decode, a crowded element), as bytes when it is UTF-8 and decoded otherwise, and why
// it was cut there.
struct TReaderInput {
  QByteArray Utf8;
  QString Decoded;
  bool IsDecoded = false;
  QString Refused;  // the text cannot be read at all
  QString Cut;      // why the text ends early; empty when whole
  qsizetype Fed = 0;

  // Gives the reader the next piece of the text; false when it has had all. Given the whole
  // text at once, the reader would hold a decoded copy of all of it while it reads.
  bool Feed(QXmlStreamReader& reader) {
    constexpr qsizetype kPiece = 1 << 20;
    const qsizetype size = IsDecoded ? Decoded.size() : Utf8.size();
    if (Fed >= size) return false;
    qsizetype length = std::min(kPiece, size - Fed);
    if (IsDecoded) {
      // The two halves of a surrogate pair go in one piece.
      if (Fed + length < size && Decoded.at(Fed + length - 1).isHighSurrogate()) ++length;
      reader.addData(Decoded.mid(Fed, length));
    } else {
      reader.addData(Utf8.mid(Fed, length));
    }
    Fed += length;
    return true;
  }
};

TReaderInput PrepareInput(const QByteArray& text) {
  TReaderInput input;
  std::optional<QStringConverter::Encoding> encoding = QStringConverter::encodingForData(text, u'<');
  QString declared;
  if (!encoding) {
    declared = DeclaredEncoding(text);
    if (declared.isEmpty() || IsUtf8Name(declared)) encoding = QStringConverter::Utf8;
  }
  qsizetype cut = -1;
  int line = 0;
  if (encoding == QStringConverter::Utf8) {
    input.Utf8 = text;
    cut = FirstInvalidUtf8(text);
    if (cut >= 0) {
      line = LineAt(text, cut);
      input.Utf8.truncate(cut);
    }
  } else {
    const QByteArray name = declared.toLatin1();
    QStringDecoder decoder = encoding ? QStringDecoder(*encoding) : QStringDecoder(name.constData());
    if (!decoder.isValid()) {
      input.Refused = QStringLiteral("Кодировка %1 не поддерживается").arg(declared);
      return input;
    }
    bool damaged = false;
    input.IsDecoded = true;
    input.Decoded = DecodeUpToDamage(decoder, text, damaged);
    if (damaged) {
      cut = input.Decoded.size();
      line = LineAt(input.Decoded, cut);
    }
  }
  if (cut >= 0) input.Cut = QStringLiteral("Неверно закодированный текст (строка %1)").arg(line);

  const qsizetype crowded = input.IsDecoded
                                ? FindCrowdedMarkup(input.Decoded.constData(), input.Decoded.size(), kMaxXmlAttributes)
                                : FindCrowdedMarkup(input.Utf8.constData(), input.Utf8.size(), kMaxXmlAttributes);
  if (crowded >= 0) {
    line = input.IsDecoded ? LineAt(input.Decoded, crowded) : LineAt(input.Utf8, crowded);
    input.Cut = QStringLiteral("Больше %1 атрибутов у одного элемента (строка %2)").arg(kMaxXmlAttributes).arg(line);
    if (input.IsDecoded)
      input.Decoded.truncate(crowded);
    else
      input.Utf8.truncate(crowded);
  }
  return input;
}

// Whether an instruction's target is a plain name (an ASCII letter or "_", then letters, digits,
// "_", "." and "-"), which the reader takes back in the form the writer gives it. The reader
// lets other targets pass in a file that it refuses in that form.
bool IsPlainTarget(QStringView target) {
  auto letter = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_'; };
  if (target.isEmpty() || !letter(target.front().unicode())) return false;
  return std::all_of(target.begin(), target.end(), [&](QChar c) {
    return letter(c.unicode()) || (c >= u'0' && c <= u'9') || c == u'.' || c == u'-';
  });
}

// Element and attribute names repeat throughout a file: the first few kinds are held once and
// shared by every node that bears them.
class TNamePool {
public:
  QString Name(QStringView name) {
    for (const QString& known : Names) {
      if (known == name) return known;
    }
    QString fresh = name.toString();
    if (Names.size() < kPoolSize) Names.push_back(fresh);
    return fresh;
  }

private:
  static constexpr size_t kPoolSize = 64;
  std::vector<QString> Names;
};

}  // namespace

TXmlReadResult ParseXml(const QByteArray& text, TXmlDocument& document) {
  document.Nodes.clear();
  TReaderInput input = PrepareInput(text);
  if (!input.Refused.isEmpty()) return {false, input.Refused};
  QXmlStreamReader reader;
  // Names and xmlns attributes are kept as they are written, prefixes included.
  reader.setNamespaceProcessing(false);
  std::vector<TXmlNode*> open;  // the elements not yet closed, innermost last
  // Whether each open element has a child element yet: layout text after one is never kept.
  std::vector<bool> openHasElements;
  TNamePool names;
  int budget = kMaxXmlNodes;
  auto spend = [&](qsizetype count) {
    if (count > budget) {
      reader.raiseError(QStringLiteral("Больше %1 элементов и атрибутов в файле").arg(kMaxXmlNodes));
      return false;
    }
    budget -= static_cast<int>(count);
    return true;
  };
  auto append = [&](std::unique_ptr<TXmlNode> node) -> TXmlNode& {
    auto& list = open.empty() ? document.Nodes : open.back()->Children;
    list.push_back(std::move(node));
    return *list.back();
  };
  using TType = TXmlNode::TType;
  for (;;) {
    const QXmlStreamReader::TokenType token = reader.readNext();
    if (token == QXmlStreamReader::Invalid) {
      if (reader.error() == QXmlStreamReader::PrematureEndOfDocumentError && input.Feed(reader)) continue;
      break;
    }
    if (token == QXmlStreamReader::EndDocument) break;
    switch (token) {
      case QXmlStreamReader::StartElement: {
        if (static_cast<int>(open.size()) >= kMaxXmlDepth) {
          reader.raiseError(QStringLiteral("Слишком глубокая вложенность элементов"));
          break;
        }
        const QXmlStreamAttributes attributes = reader.attributes();
        if (!spend(1 + attributes.size())) break;
        auto element = std::make_unique<TXmlNode>(TType::Element, names.Name(reader.qualifiedName()));
        element->Attributes.reserve(static_cast<size_t>(attributes.size()));
        for (const auto& attribute : attributes) {
          element->Attributes.emplace_back(names.Name(attribute.qualifiedName()), attribute.value().toString());
        }
        if (!openHasElements.empty()) openHasElements.back() = true;
        open.push_back(&append(std::move(element)));
        openHasElements.push_back(false);
        break;
      }
      case QXmlStreamReader::EndElement:
        DropLayoutText(*open.back());
        open.pop_back();
        openHasElements.pop_back();
        break;
      case QXmlStreamReader::Characters: {
        if (open.empty()) break;  // whitespace around the root
        const bool cdata = reader.isCDATA();
        if (!cdata && openHasElements.back() && IsBlank(reader.text())) break;  // layout
        if (!spend(1)) break;
        append(std::make_unique<TXmlNode>(cdata ? TType::CData : TType::Text, QString(), reader.text().toString()));
        break;
      }
      case QXmlStreamReader::Comment:
        if (!spend(1)) break;
        append(std::make_unique<TXmlNode>(TType::Comment, QString(), reader.text().toString()));
        break;
      case QXmlStreamReader::ProcessingInstruction:
        if (!spend(1)) break;
        // An instruction that might not read back once written carries nothing the program reads.
        if (!IsPlainTarget(reader.processingInstructionTarget())) break;
        append(std::make_unique<TXmlNode>(TType::ProcessingInstruction, reader.processingInstructionTarget().toString(),
                                          reader.processingInstructionData().toString()));
        break;
      default:
        // The declaration, a document type and unresolved entity references carry nothing the
        // program reads; they are not kept.
        break;
    }
  }
  // Elements that damage left open lose their layout text as closed ones do.
  for (TXmlNode* element : open) DropLayoutText(*element);
  // The text was cut at a damage found before reading: the reader's own complaint about the
  // text ending there is that damage.
  if (reader.hasError() && !(reader.error() == QXmlStreamReader::PrematureEndOfDocumentError && !input.Cut.isEmpty()))
    return {false, ReadError(reader)};
  if (!input.Cut.isEmpty()) return {false, input.Cut};
  if (!document.Root()) return {false, QStringLiteral("Нет корневого элемента")};
  return {true, {}};
}

TXmlReadResult LoadXmlFile(const QString& path, TXmlDocument& document) {
  document.Nodes.clear();
  // Opening a named pipe or a device would wait for a writer that may never come.
  const std::filesystem::path native(QFile::encodeName(path).toStdString());
  std::error_code status;
  if (std::filesystem::exists(native, status) && !std::filesystem::is_regular_file(native, status)) {
    return {false, QStringLiteral("Это не обычный файл")};
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {false, file.errorString()};
  if (file.size() > kMaxXmlFileBytes) return {false, QStringLiteral("Файл слишком велик")};
  QByteArray text = file.read(kMaxXmlFileBytes + 1);
  if (file.error() != QFileDevice::NoError) return {false, file.errorString()};
  if (text.size() > kMaxXmlFileBytes) return {false, QStringLiteral("Файл слишком велик")};
  return ParseXml(text, document);
}

QByteArray WriteXml(const TXmlDocument& document) {
  QByteArray text;
  QXmlStreamWriter writer(&text);
  writer.setAutoFormatting(true);
  writer.setAutoFormattingIndent(2);
  writer.writeStartDocument();
  for (const auto& node : document.Nodes) WriteNode(writer, *node);
  writer.writeEndDocument();
  return text;
}

bool SaveXmlFile(const QString& path, const TXmlDocument& document, QString& error) {
  QSaveFile file(path);
  // Unbuffered, so that a write cut short (a full disk, a size limit) shows in the count that
  // write returns; a buffered write would count the bytes as written and commit a cut file.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
    error = file.errorString();
    return false;
  }
  QByteArray text = WriteXml(document);
  if (file.write(text) != text.size()) {
    error = file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("Не все данные записаны");
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    error = file.errorString();
    return false;
  }
  return true;
}
