// The rich-text converter on any text.

#include "fuzz_support.h"

#include "transfer/rtf_to_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString rtf =
        FuzzText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    (void)IsRichText(rtf);
    const QString text = RichTextToPlainText(rtf);
    // Every character of the text stems from at least one character of the document, except the
    // two of a line mark and the bytes of a multi-byte code page, which are fewer than their escapes.
    FUZZ_CHECK(text.size() <= 2 * rtf.size());
    return 0;
}
