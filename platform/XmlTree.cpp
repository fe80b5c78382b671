#include "platform/XmlTree.h"

#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <filesystem>
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

bool IsBlank(const QString& text) {
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

TXmlReadResult ParseXml(const QByteArray& text, TXmlDocument& document) {
  document.Nodes.clear();
  QXmlStreamReader reader(text);
  // Names and xmlns attributes are kept as they are written, prefixes included.
  reader.setNamespaceProcessing(false);
  std::vector<TXmlNode*> open;  // the elements not yet closed, innermost last
  auto append = [&](std::unique_ptr<TXmlNode> node) -> TXmlNode& {
    auto& list = open.empty() ? document.Nodes : open.back()->Children;
    list.push_back(std::move(node));
    return *list.back();
  };
  using TType = TXmlNode::TType;
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::StartElement: {
        if (static_cast<int>(open.size()) >= kMaxXmlDepth) {
          reader.raiseError(QStringLiteral("Слишком глубокая вложенность элементов"));
          break;
        }
        auto element = std::make_unique<TXmlNode>(TType::Element, reader.qualifiedName().toString());
        for (const auto& attribute : reader.attributes()) {
          element->Attributes.emplace_back(attribute.qualifiedName().toString(), attribute.value().toString());
        }
        open.push_back(&append(std::move(element)));
        break;
      }
      case QXmlStreamReader::EndElement:
        DropLayoutText(*open.back());
        open.pop_back();
        break;
      case QXmlStreamReader::Characters:
        if (open.empty()) break;  // whitespace around the root
        append(std::make_unique<TXmlNode>(reader.isCDATA() ? TType::CData : TType::Text, QString(),
                                          reader.text().toString()));
        break;
      case QXmlStreamReader::Comment:
        append(std::make_unique<TXmlNode>(TType::Comment, QString(), reader.text().toString()));
        break;
      case QXmlStreamReader::ProcessingInstruction:
        append(std::make_unique<TXmlNode>(TType::ProcessingInstruction, reader.processingInstructionTarget().toString(),
                                          reader.processingInstructionData().toString()));
        break;
      default:
        // The declaration, a document type and unresolved entity references carry nothing the
        // program reads; they are not kept.
        break;
    }
  }
  if (reader.hasError()) return {false, ReadError(reader)};
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
