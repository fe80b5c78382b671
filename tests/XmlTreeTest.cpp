// The XML tree: what a file holds survives a read and a write (attribute order, CDATA with
// "]]>", comments, prefixed names), what XML forbids never reaches a file, damaged text keeps
// what preceded the damage, and a failed save leaves the old file.

#include "platform/XmlTree.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <QString>

#include <sys/stat.h>

namespace {

// ` a0="" a1="" ...`, `count` of them.
QByteArray Attributes(int count) {
  QByteArray text;
  for (int i = 0; i < count; ++i) text += " a" + QByteArray::number(i) + "=\"\"";
  return text;
}

QByteArray RoundTrip(const QByteArray& text) {
  TXmlDocument document;
  TXmlReadResult read = ParseXml(text, document);
  EXPECT_TRUE(read.Ok) << read.Error.toStdString();
  return WriteXml(document);
}

TEST(XmlTreeTest, ReadAndWrittenTextKeepsWhatTheFileHeld) {
  struct Case {
    const char* name;
    QByteArray in;
    QByteArray out;  // the written document after the declaration line
  };
  const Case cases[] = {
      {"attributes in file order", "<a><hotSpot x=\"19\" y=\"16\" xunits=\"pixels\" yunits=\"pixels\"/></a>",
       "<a>\n  <hotSpot x=\"19\" y=\"16\" xunits=\"pixels\" yunits=\"pixels\"/>\n</a>\n"},
      {"CDATA holding the end mark", "<d><![CDATA[a]]]]><![CDATA[>b]]></d>", "<d><![CDATA[a]]]]><![CDATA[>b]]></d>\n"},
      {"text escaped", "<n>a &amp; b &lt;c&gt;</n>", "<n>a &amp; b &lt;c&gt;</n>\n"},
      {"layout between elements replaced, blank leaf text kept", "<a>\n   <b> </b>\n\t<c/>\n</a>",
       "<a>\n  <b> </b>\n  <c/>\n</a>\n"},
      {"comments and prefixed names with their namespaces",
       "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"urn:gx\"><!-- note --><gx:Tour/></kml>",
       "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"urn:gx\">\n  <!-- note -->\n  <gx:Tour/>\n</kml>\n"},
      {"Cyrillic text", "<name>Гараж №1</name>", "<name>Гараж №1</name>\n"},
      {"declared code page", "<?xml version=\"1.0\" encoding=\"windows-1251\"?><name>\xc3\xe0\xf0\xe0\xe6</name>",
       "<name>Гараж</name>\n"},
      {"UTF-16 after its mark", QByteArray("\xff\xfe<\0n\0>\0\x16\x04<\0/\0n\0>\0", 18), "<n>Ж</n>\n"},
      {"attributes up to the bound", "<r><a" + Attributes(kMaxXmlAttributes) + "/></r>",
       "<r>\n  <a" + Attributes(kMaxXmlAttributes) + "/>\n</r>\n"},
  };
  for (const Case& c : cases) {
    QByteArray written = RoundTrip(c.in);
    EXPECT_TRUE(written.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n")) << c.name;
    EXPECT_EQ(written.mid(written.indexOf('\n') + 1).toStdString(), c.out.toStdString()) << c.name;
    // What was written reads back to the same text.
    EXPECT_EQ(RoundTrip(written).toStdString(), written.toStdString()) << c.name;
  }
}

TEST(XmlTreeTest, ForbiddenCharactersNeverReachTheFile) {
  const QString formFeed = QStringLiteral(
      "a\fb\x01"
      "c\tc");
  TXmlDocument document;
  TXmlNode& root = document.SetRoot(QStringLiteral("kml"));
  root.AppendTextElement(QStringLiteral("t"), formFeed);
  root.AppendElement(QStringLiteral("d")).AppendCData(formFeed + QStringLiteral("]]>") + QChar(0xFFFE) + QChar(0xD800));
  root.AppendElement(QStringLiteral("e")).SetAttribute(QStringLiteral("v"), formFeed);

  TXmlDocument back;
  TXmlReadResult read = ParseXml(WriteXml(document), back);
  ASSERT_TRUE(read.Ok) << read.Error.toStdString();
  const TXmlNode* kml = back.Root();
  EXPECT_EQ(kml->FirstChildElement(QStringLiteral("t"))->TextContent(), QStringLiteral("abc\tc"));
  EXPECT_EQ(kml->FirstChildElement(QStringLiteral("d"))->TextContent(), QStringLiteral("abc\tc]]>"));
  EXPECT_EQ(kml->FirstChildElement(QStringLiteral("e"))->Attribute(QStringLiteral("v")), QStringLiteral("abc\tc"));
  // A character outside the basic plane is no forbidden one.
  EXPECT_EQ(XmlSafeText(QString::fromUtf8("x\xF0\x9F\x9A\x97y")), QString::fromUtf8("x\xF0\x9F\x9A\x97y"));
}

TEST(XmlTreeTest, DamagedTextKeepsWhatPrecededTheDamage) {
  struct Case {
    const char* name;
    QByteArray text;
    const char* keptRoot;  // nullptr: nothing kept
    int keptChildren;
  };
  const QByteArray deep = QByteArray("<a>").repeated(kMaxXmlDepth + 1);
  const QByteArray crowded = "<kml><a/><b" + Attributes(kMaxXmlAttributes + 1) + "/><c/></kml>";
  const QByteArray crowdedType =
      "<!DOCTYPE kml [<!ATTLIST b" + QByteArray(" x CDATA \"1\"").repeated(kMaxXmlAttributes + 1) + ">]><kml><b/></kml>";
  const QByteArray huge = "<kml>" + QByteArray("<a/>").repeated(kMaxXmlNodes) + "</kml>";
  const Case cases[] = {
      {"cut in the middle", "<kml><Document><name>x</name><Folder><name>1</na", "kml", 1},
      {"unclosed root", "<kml><a/><b/>", "kml", 2},
      {"not XML", "this is no XML at all", nullptr, 0},
      {"empty", "", nullptr, 0},
      {"mismatched end tag", "<kml><a></b></kml>", "kml", 1},
      {"nested deeper than read", deep, "a", 1},
      {"byte that is no UTF-8", "<kml><a/><b>x\xff</b><c/></kml>", "kml", 2},
      {"UTF-8 form of a surrogate", "<kml><a/><b>\xed\xa0\x80</b></kml>", "kml", 2},
      {"byte outside the declared encoding",
       "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><kml><a/><b>x\xff</b><c/></kml>", "kml", 2},
      {"encoding that is not known", "<?xml version=\"1.0\" encoding=\"x-none\"?><kml/>", nullptr, 0},
      {"element with too many attributes", crowded, "kml", 1},
      {"document type giving too many default attributes", crowdedType, nullptr, 0},
      {"more elements than read", huge, "kml", kMaxXmlNodes - 1},
  };
  for (const Case& c : cases) {
    TXmlDocument document;
    TXmlReadResult read = ParseXml(c.text, document);
    EXPECT_FALSE(read.Ok) << c.name;
    EXPECT_FALSE(read.Error.isEmpty()) << c.name;
    if (!c.keptRoot) {
      EXPECT_EQ(document.Root(), nullptr) << c.name;
      continue;
    }
    ASSERT_NE(document.Root(), nullptr) << c.name;
    EXPECT_EQ(document.Root()->Name, QString::fromLatin1(c.keptRoot)) << c.name;
    EXPECT_EQ(static_cast<int>(document.Root()->ChildElements().size()), c.keptChildren) << c.name;
  }
}

TEST(XmlTreeTest, ElementEditsActOnTheFirstChildAndAppendLast) {
  TXmlDocument document;
  ASSERT_TRUE(ParseXml("<f><name>1</name><name>2</name><p a=\"1\">x<![CDATA[y]]><q>z</q></p></f>", document).Ok);
  TXmlNode& folder = *document.Root();
  EXPECT_EQ(folder.FirstChildElement(QStringLiteral("name"))->TextContent(), QStringLiteral("1"));
  EXPECT_EQ(folder.FirstChildElement(QStringLiteral("none")), nullptr);
  TXmlNode& p = *folder.FirstChildElement(QStringLiteral("p"));
  EXPECT_EQ(p.TextContent(), QStringLiteral("xyz"));
  p.SetAttribute(QStringLiteral("b"), QStringLiteral("2"));
  p.SetAttribute(QStringLiteral("a"), QStringLiteral("3"));
  p.SetText(QStringLiteral("new"));
  folder.AppendTextElement(QStringLiteral("open"), QStringLiteral("1"));
  EXPECT_EQ(WriteXml(document).toStdString(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<f>\n  <name>1</name>\n  <name>2</name>\n"
            "  <p a=\"3\" b=\"2\">new</p>\n  <open>1</open>\n</f>\n");
}

TEST(XmlTreeTest, FilesAreReplacedWholeOrNotAtAll) {
  TTempFolder temp("orvex-xml");
  ASSERT_TRUE(temp.IsCreated());
  const QString path = QString::fromStdString(temp.Path() + "/a.kml");
  TXmlDocument document;
  TXmlNode& root = document.SetRoot(QStringLiteral("kml"));
  root.AppendTextElement(QStringLiteral("name"), QString(3000, u'x'));

  QString error;
  ASSERT_TRUE(SaveXmlFile(path, document, error)) << error.toStdString();
  TXmlDocument loaded;
  EXPECT_TRUE(LoadXmlFile(path, loaded).Ok);
  EXPECT_EQ(loaded.Root()->TextContent(), QString(3000, u'x'));

  // A full disk: the old file stays byte for byte.
  const std::string before = ReadWholeFile(path.toStdString());
  root.AppendTextElement(QStringLiteral("more"), QString(3000, u'y'));
  bool saved = true;
  WithFileSizeLimit(2048, [&] { saved = SaveXmlFile(path, document, error); });
  EXPECT_FALSE(saved);
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(ReadWholeFile(path.toStdString()), before);

  // A named pipe, or a folder, is refused at once instead of waiting for a writer.
  const std::string pipe = temp.Path() + "/pipe.kml";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  for (const std::string& odd : {pipe, temp.Path()}) {
    TXmlReadResult read = LoadXmlFile(QString::fromStdString(odd), loaded);
    EXPECT_FALSE(read.Ok) << odd;
    EXPECT_EQ(loaded.Root(), nullptr) << odd;
  }

  // A folder that is not there: an error, no file.
  const QString nowhere = QString::fromStdString(temp.Path() + "/gone/a.kml");
  EXPECT_FALSE(SaveXmlFile(nowhere, document, error));
  EXPECT_FALSE(LoadXmlFile(nowhere, loaded).Ok);
  EXPECT_EQ(loaded.Root(), nullptr);
}

}  // namespace
