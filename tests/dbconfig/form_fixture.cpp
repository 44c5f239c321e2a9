#include "form_fixture.h"

#include <QComboBox>
#include <QFile>

QString FormTest::WriteFile(const QString& name, const QStringList& lines)
{
    const QString fileName = Path(name);
    QFile file(fileName);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write((lines.join("\r\n") + "\r\n").toLatin1());
    return fileName;
}

QStringList FormTest::SectionLines(const QString& fileName, const QString& section) const
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList result;
    bool inSection = false;
    for (const QString& rawLine : QString::fromLatin1(file.readAll()).split('\n')) {
        const QString line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inSection = line.compare('[' + section + ']', Qt::CaseInsensitive) == 0;
            continue;
        }
        if (inSection && !line.isEmpty())
            result << line;
    }
    return result;
}

void SelectFormat(TForm1& form, const QString& format)
{
    form.cbxDBFormat->setCurrentIndex(form.cbxDBFormat->findText(format));
}
