#include "transfer/rtf_to_text.h"

#include <QByteArray>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace {

constexpr int kDefaultCodePage = 1252;
constexpr int kMaxWordLength = 32;
constexpr int kMaxParamDigits = 10;

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; undefined bytes map to the C1 control, as
// the system's conversion does.
constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString DecodeWindows1252(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char byte : bytes) {
        auto b = static_cast<unsigned char>(byte);
        text += (b >= 0x80 && b <= 0x9F) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

// Destinations whose content is not part of the document's text.
bool IsSkippedDestination(const QString& word)
{
    static const std::array<const char*, 30> kNames{"fonttbl",
                                                    "colortbl",
                                                    "stylesheet",
                                                    "info",
                                                    "pict",
                                                    "header",
                                                    "headerl",
                                                    "headerr",
                                                    "headerf",
                                                    "footer",
                                                    "footerl",
                                                    "footerr",
                                                    "footerf",
                                                    "footnote",
                                                    "annotation",
                                                    "object",
                                                    "fldinst",
                                                    "themedata",
                                                    "datastore",
                                                    "listtable",
                                                    "listoverridetable",
                                                    "rsidtbl",
                                                    "generator",
                                                    "xmlnstbl",
                                                    "filetbl",
                                                    "revtbl",
                                                    "latentstyles",
                                                    "colorschememapping",
                                                    "private",
                                                    "nonshppict"};
    return std::any_of(kNames.begin(), kNames.end(),
                       [&](const char* name) { return word == QLatin1String(name); });
}

struct TGroupState {
    bool Skip = false;   // inside a destination that is not text
    int UnicodeSkip = 1; // \ucN: fallback characters after each \uN
};

class TRtfReader {
public:
    explicit TRtfReader(const QString& input) : FIn(input) {}

    QString Run()
    {
        while (FPos < FIn.size() && !FDone) {
            QChar ch = FIn[FPos++];
            if (ch == u'{')
                OpenGroup();
            else if (ch == u'}')
                CloseGroup();
            else if (ch == u'\\')
                ReadControl();
            else if (ch != u'\r' && ch != u'\n')
                Text(QString(ch));
        }
        FlushBytes();
        // The document's last paragraph mark ends the text; it is not a line of its own.
        if (FOut.endsWith(QStringLiteral("\r\n")))
            FOut.chop(2);
        return FOut;
    }

private:
    void OpenGroup()
    {
        FlushBytes();
        FStack.push_back(FState);
        FSkipChars = 0;
    }

    void CloseGroup()
    {
        FlushBytes();
        FSkipChars = 0;
        if (FStack.empty()) {
            FDone = true; // the document's outermost group is closed
            return;
        }
        FState = FStack.back();
        FStack.pop_back();
        if (FStack.empty())
            FDone = true;
    }

    // Fallback characters after \uN: a character, a \'hh or a control word each count as one.
    bool ConsumeFallback()
    {
        if (FSkipChars <= 0)
            return false;
        --FSkipChars;
        return true;
    }

    void Text(const QString& text)
    {
        if (ConsumeFallback() || FState.Skip)
            return;
        FlushBytes();
        FOut += text;
    }

    void Byte(char byte)
    {
        if (ConsumeFallback() || FState.Skip)
            return;
        FBytes += byte;
    }

    void FlushBytes()
    {
        if (FBytes.isEmpty())
            return;
        FOut += Decode(FBytes);
        FBytes.clear();
    }

    QString Decode(const QByteArray& bytes)
    {
        if (FCodePage == kDefaultCodePage || FCodePage <= 0)
            return DecodeWindows1252(bytes);
        if (FCodePage == 65001)
            return QString::fromUtf8(bytes);
        if (!FDecoder || FDecoderCodePage != FCodePage) {
            QByteArray name = FCodePage == 10000 ? QByteArray("macintosh")
                              : (FCodePage >= 1250 && FCodePage <= 1258) || FCodePage == 874
                                  ? "windows-" + QByteArray::number(FCodePage)
                                  : "cp" + QByteArray::number(FCodePage);
            FDecoder = std::make_unique<QStringDecoder>(name.constData());
            FDecoderCodePage = FCodePage;
        }
        if (!FDecoder->isValid())
            return DecodeWindows1252(bytes);
        QString text = (*FDecoder)(bytes);
        FDecoder->resetState();
        return text;
    }

    int HexDigit(qsizetype pos) const
    {
        if (pos >= FIn.size())
            return -1;
        char16_t c = FIn[pos].unicode();
        if (c >= u'0' && c <= u'9')
            return c - u'0';
        if (c >= u'a' && c <= u'f')
            return c - u'a' + 10;
        if (c >= u'A' && c <= u'F')
            return c - u'A' + 10;
        return -1;
    }

    void ReadControl()
    {
        if (FPos >= FIn.size())
            return;
        QChar ch = FIn[FPos];
        if (ch.isLetter() && ch.unicode() < 0x80) {
            ReadControlWord();
            return;
        }
        ++FPos;
        switch (ch.unicode()) {
        case u'\\':
        case u'{':
        case u'}':
            Text(QString(ch));
            break;
        case u'\'': {
            int high = HexDigit(FPos);
            int low = HexDigit(FPos + 1);
            if (high < 0 || low < 0) {
                FPos += high < 0 ? 0 : 1; // a broken escape is dropped with its digit
                break;
            }
            FPos += 2;
            Byte(static_cast<char>(high * 16 + low));
            break;
        }
        case u'~':
            Text(QString(QChar(0x00A0)));
            break;
        case u'_':
            Text(QString(QChar(0x2011)));
            break;
        case u'*':
            FState.Skip = true;
            break;
        case u'\r':
        case u'\n':
            Text(QStringLiteral("\r\n"));
            break;
        default: // \- optional hyphen, \| \: and unknown symbols carry no text
            ConsumeFallback();
            break;
        }
    }

    void ReadControlWord()
    {
        qsizetype start = FPos;
        while (FPos < FIn.size() && FPos - start < kMaxWordLength && FIn[FPos].unicode() < 0x80 &&
               FIn[FPos].isLetter())
            ++FPos;
        QString word = FIn.mid(start, FPos - start);

        bool negative = false;
        bool hasParam = false;
        long long param = 0;
        if (FPos < FIn.size() && FIn[FPos] == u'-' && FPos + 1 < FIn.size() && FIn[FPos + 1].isDigit()) {
            negative = true;
            ++FPos;
        }
        int digits = 0;
        while (FPos < FIn.size() && FIn[FPos] >= u'0' && FIn[FPos] <= u'9') {
            if (digits < kMaxParamDigits)
                param = param * 10 + (FIn[FPos].unicode() - u'0');
            ++digits;
            ++FPos;
            hasParam = true;
        }
        if (negative)
            param = -param;
        if (FPos < FIn.size() && FIn[FPos] == u' ')
            ++FPos;

        Word(word, hasParam, param);
    }

    void Word(const QString& word, bool hasParam, long long param)
    {
        if (word == QLatin1String("bin")) {
            // Raw binary data of the given length follows; it is never text.
            qsizetype length = hasParam && param > 0 ? static_cast<qsizetype>(param) : 0;
            FPos += std::min(length, FIn.size() - FPos);
            return;
        }
        if (word == QLatin1String("u") && hasParam) {
            bool inFallback = ConsumeFallback();
            if (!inFallback && !FState.Skip) {
                FlushBytes();
                FOut += QChar(static_cast<char16_t>(param < 0 ? param + 65536 : param));
            }
            if (!inFallback)
                FSkipChars = FState.UnicodeSkip;
            return;
        }
        if (ConsumeFallback())
            return;
        if (word == QLatin1String("uc")) {
            FState.UnicodeSkip = static_cast<int>(std::clamp(param, 0LL, 1000LL));
        } else if (word == QLatin1String("ansicpg")) {
            FCodePage = static_cast<int>(std::clamp(param, 0LL, 100000LL));
        } else if (word == QLatin1String("mac")) {
            FCodePage = 10000;
        } else if (word == QLatin1String("pc")) {
            FCodePage = 437;
        } else if (word == QLatin1String("pca")) {
            FCodePage = 850;
        } else if (IsSkippedDestination(word)) {
            FlushBytes();
            FState.Skip = true;
        } else {
            QString text = WordText(word);
            if (!text.isEmpty())
                Text(text);
        }
    }

    static QString WordText(const QString& word)
    {
        struct TWordText {
            const char* Word;
            const char16_t* Text;
        };
        static const std::array<TWordText, 17> kWords{{
            {"par", u"\r\n"},
            {"line", u"\r\n"},
            {"sect", u"\r\n"},
            {"page", u"\r\n"},
            {"row", u"\r\n"},
            {"tab", u"\t"},
            {"cell", u"\t"},
            {"emdash", u"\u2014"},
            {"endash", u"\u2013"},
            {"emspace", u"\u2003"},
            {"enspace", u"\u2002"},
            {"qmspace", u"\u2005"},
            {"bullet", u"\u2022"},
            {"lquote", u"\u2018"},
            {"rquote", u"\u2019"},
            {"ldblquote", u"\u201C"},
            {"rdblquote", u"\u201D"},
        }};
        for (const TWordText& entry : kWords) {
            if (word == QLatin1String(entry.Word))
                return QString::fromUtf16(entry.Text);
        }
        return {};
    }

    const QString& FIn;
    qsizetype FPos = 0;
    QString FOut;
    QByteArray FBytes; // \'hh bytes waiting to be decoded together (double-byte code pages)
    int FCodePage = kDefaultCodePage;
    std::unique_ptr<QStringDecoder> FDecoder;
    int FDecoderCodePage = 0;
    std::vector<TGroupState> FStack;
    TGroupState FState;
    int FSkipChars = 0;
    bool FDone = false;
};

} // namespace

bool IsRichText(const QString& text)
{
    return text.startsWith(QLatin1String("{\\rtf"), Qt::CaseInsensitive);
}

QString RichTextToPlainText(const QString& rtf)
{
    return TRtfReader(rtf).Run();
}
