#include "transfer/rtf_to_text.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct TRtfCase {
    const char* Name;
    const char16_t* Rtf;
    const char16_t* Text;
};

const TRtfCase kRtfCases[] = {
    {"tables and generator are left out",
     u"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red0\\green0\\blue0;}"
     u"{\\stylesheet{\\s0 Normal;}}{\\info{\\author Meier}}{\\*\\generator Riched20 10.0;}"
     u"\\viewkind4\\pard\\f0\\fs20 Hallo Welt\\par\r\n}",
     u"Hallo Welt"},
    {"paragraph, line and tab", u"{\\rtf1 a\\par b\\line c\\tab d}", u"a\r\nb\r\nc\td"},
    {"only the last paragraph mark is dropped", u"{\\rtf1 a\\par\\par}", u"a\r\n"},
    {"line ends of the file are no text", u"{\\rtf1 a\r\nb\nc}", u"abc"},
    {"hex bytes in the default code page", u"{\\rtf1\\ansi Gr\\'fc\\'dfe \\'80}", u"Grüße €"},
    {"hex bytes in the document's code page", u"{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}", u"При"},
    {"unicode with one fallback character", u"{\\rtf1 \\u8364?x}", u"€x"},
    {"unicode fallback as hex byte", u"{\\rtf1 \\u228\\'e4h}", u"äh"},
    {"two fallback characters", u"{\\rtf1\\uc2 \\u8364??x}", u"€x"},
    {"no fallback", u"{\\rtf1\\uc0 \\u8364 x}", u"€x"},
    {"fallback count ends with its group", u"{\\rtf1 {\\uc2\\u8364??}\\u8364?}", u"€€"},
    {"negative unicode values and surrogate pairs", u"{\\rtf1 \\u-3913?\\u-10179?\\u-8704?}",
     u"\uF0B7\U0001F600"},
    {"escaped braces and backslash", u"{\\rtf1 \\{x\\} \\\\}", u"{x} \\"},
    {"ignorable destination", u"{\\rtf1 a{\\*\\unknownword b{c}}d}", u"ad"},
    {"picture with hex data", u"{\\rtf1 x{\\pict\\pngblip 89504e470d0a}y}", u"xy"},
    {"binary data is skipped by length", u"{\\rtf1 a{\\pict\\bin4 }}{\\}b}", u"ab"},
    {"field instruction hidden, result shown",
     u"{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt Link}}}", u"Link"},
    {"special characters", u"{\\rtf1 \\lquote a\\rquote  \\emdash\\~b}", u"\u2018a\u2019 \u2014\u00A0b"},
    {"unclosed document", u"{\\rtf1 abc", u"abc"},
    {"text after the document is not read", u"{\\rtf1 abc}def", u"abc"},
    {"truncated hex escape", u"{\\rtf1 ab\\'e", u"ab"},
    {"unicode without number is no character", u"{\\rtf1 a\\u b}", u"ab"},
};

} // namespace

TEST(RtfToText, ConvertsDocumentsToPlainText)
{
    for (const TRtfCase& c : kRtfCases) {
        EXPECT_EQ(RichTextToPlainText(QString::fromUtf16(c.Rtf)), QString::fromUtf16(c.Text)) << c.Name;
    }
}

TEST(RtfToText, RecognisesRichTextByItsStart)
{
    EXPECT_TRUE(IsRichText(QStringLiteral("{\\rtf1 x}")));
    EXPECT_TRUE(IsRichText(QStringLiteral("{\\RTF1 x}")));
    EXPECT_FALSE(IsRichText(QStringLiteral(" {\\rtf1 x}")));
    EXPECT_FALSE(IsRichText(QStringLiteral("{\\rt")));
    EXPECT_FALSE(IsRichText(QString()));
}

// Damaged documents (cut off, bytes flipped) must come back as some text, never crash or hang.
TEST(RtfToText, SurvivesDamagedDocuments)
{
    const QString seed = QStringLiteral(
        "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}{\\*\\x y}\\uc1\\u8364?\\'e4{\\pict\\bin3 abc}"
        "\\par{\\field{\\*\\fldinst X}{\\fldrslt Y}}\\tab\\u-10179?\\u-8704?}");
    const QString alphabet = QStringLiteral("{}\\'*0123456789abcdefu-? \r\n");
    std::mt19937 random(4711);
    for (int round = 0; round < 3000; ++round) {
        QString text = seed.left(static_cast<qsizetype>(random() % (seed.size() + 1)));
        int edits = static_cast<int>(random() % 6);
        for (int i = 0; i < edits && !text.isEmpty(); ++i)
            text[random() % text.size()] = alphabet[random() % alphabet.size()];
        QString plain = RichTextToPlainText(text);
        EXPECT_LE(plain.size(), text.size() * 2) << text.toStdString();
    }
}
