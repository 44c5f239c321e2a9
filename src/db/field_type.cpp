#include "db/field_type.h"

QString FieldTypeName(TFieldType type)
{
    switch (type) {
    case ftUnknown:
        return QStringLiteral("ftUnknown");
    case ftString:
        return QStringLiteral("ftString");
    case ftSmallint:
        return QStringLiteral("ftSmallint");
    case ftInteger:
        return QStringLiteral("ftInteger");
    case ftWord:
        return QStringLiteral("ftWord");
    case ftBoolean:
        return QStringLiteral("ftBoolean");
    case ftFloat:
        return QStringLiteral("ftFloat");
    case ftCurrency:
        return QStringLiteral("ftCurrency");
    case ftBCD:
        return QStringLiteral("ftBCD");
    case ftDate:
        return QStringLiteral("ftDate");
    case ftTime:
        return QStringLiteral("ftTime");
    case ftDateTime:
        return QStringLiteral("ftDateTime");
    case ftBytes:
        return QStringLiteral("ftBytes");
    case ftVarBytes:
        return QStringLiteral("ftVarBytes");
    case ftAutoInc:
        return QStringLiteral("ftAutoInc");
    case ftBlob:
        return QStringLiteral("ftBlob");
    case ftMemo:
        return QStringLiteral("ftMemo");
    case ftGraphic:
        return QStringLiteral("ftGraphic");
    case ftFixedChar:
        return QStringLiteral("ftFixedChar");
    case ftWideString:
        return QStringLiteral("ftWideString");
    case ftLargeint:
        return QStringLiteral("ftLargeint");
    case ftGuid:
        return QStringLiteral("ftGuid");
    case ftTimeStamp:
        return QStringLiteral("ftTimeStamp");
    case ftFMTBcd:
        return QStringLiteral("ftFMTBcd");
    case ftFixedWideChar:
        return QStringLiteral("ftFixedWideChar");
    case ftWideMemo:
        return QStringLiteral("ftWideMemo");
    case ftByte:
        return QStringLiteral("ftByte");
    case ftShortint:
        return QStringLiteral("ftShortint");
    case ftLongWord:
        return QStringLiteral("ftLongWord");
    case ftExtended:
        return QStringLiteral("ftExtended");
    case ftSingle:
        return QStringLiteral("ftSingle");
    }
    return QStringLiteral("ftUnknown");
}

bool IsTextType(TFieldType type)
{
    switch (type) {
    case ftString:
    case ftMemo:
    case ftFixedChar:
    case ftWideString:
    case ftFixedWideChar:
    case ftWideMemo:
        return true;
    default:
        return false;
    }
}

bool IsIntegerType(TFieldType type)
{
    switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
    case ftByte:
    case ftShortint:
    case ftLongWord:
        return true;
    default:
        return false;
    }
}

bool IsDateTimeType(TFieldType type)
{
    return type == ftDate || type == ftTime || type == ftDateTime || type == ftTimeStamp;
}

bool IsExactNumericType(TFieldType type)
{
    return type == ftCurrency || type == ftBCD || type == ftFMTBcd;
}

bool IsBinaryType(TFieldType type)
{
    return type == ftBytes || type == ftVarBytes || type == ftBlob || type == ftGraphic;
}
