#include "config/credentials.h"

QString BuiltInPassPhrase()
{
    return QStringLiteral("K7mQ2xV9pL4tR8wZ3nB6cY1dF5h");
}

QString GetDatabaseKey()
{
    return QStringLiteral("HqzWbRt5oLy!");
}

QString GetMdbPassword()
{
    return QStringLiteral("pqrwdz");
}

QString GetAccdbPassword()
{
    return GetDatabaseKey();
}

QString AccessUserName()
{
    return QStringLiteral("Administrator");
}
