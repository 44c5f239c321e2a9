#include "db/format_settings.h"

#include <QLocale>

namespace {

TFormatSettings FromSystemLocale()
{
    QLocale locale = QLocale::system();
    TFormatSettings settings;
    QString decimal = locale.decimalPoint();
    if (decimal.size() == 1)
        settings.DecimalSeparator = decimal.at(0);
    QString time = locale.timeFormat(QLocale::ShortFormat);
    for (QChar ch : time) {
        if (!ch.isLetter() && !ch.isSpace()) {
            settings.TimeSeparator = ch;
            break;
        }
    }
    return settings;
}

}  // namespace

TFormatSettings& FormatSettings()
{
    static TFormatSettings settings = FromSystemLocale();
    return settings;
}

void SetFormatSettings(const TFormatSettings& settings)
{
    FormatSettings() = settings;
}
