// The table list file and the field helpers it is read with. Input: a separator line, then the
// bytes of the list file.

#include "fuzz_support.h"

#include "config/helpers.h"
#include "transfer/table_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QList<QByteArray> parts = SplitInput(data, size, '\n', 2);
    const QString separator = QString::fromUtf8(parts[0]).left(4);
    static const QString fileName = ScratchFile("-tables.txt");
    WriteScratch(fileName, parts[1]);

    const QStringList lines = LoadTableList(fileName);
    for (const QString& line : lines) {
        for (const QString& format : {QStringLiteral("FIREBIRD"), QStringLiteral("POSTGRES")}) {
            const TTableSettings settings = ParseTableLine(line, format);
            FUZZ_CHECK(settings.TableName == TableNameOfLine(line));
            FUZZ_CHECK(!settings.KeyColumns.isEmpty());
            (void)KeyCondition(settings.KeyColumns);
            (void)IsOnColumnList(settings.SkipList, settings.TableName);
        }

        // With a one-character separator the fields are exactly the pieces between separators.
        const int count = CountFields(line, separator);
        FUZZ_CHECK(count >= 0);
        if (separator.size() == 1) {
            const QStringList pieces = line.isEmpty() ? QStringList() : line.split(separator);
            FUZZ_CHECK(count == pieces.size());
            for (int i = 1; i <= count; ++i)
                FUZZ_CHECK(GetField(line, separator, i) == pieces[i - 1]);
        } else {
            for (int i = 0; i <= count + 1 && i < 64; ++i)
                (void)GetField(line, separator, i);
        }
        FUZZ_CHECK(GetField(line, separator, count + 1).isEmpty() || separator.isEmpty());
    }
    return 0;
}
