#pragma once
// Secrets compiled into both programs. Stored values and existing databases depend on them:
// never change one of them.

#include <QString>

/// Pass phrase of the password protection (27 ASCII letters and digits).
QString BuiltInPassPhrase();
/// The database key: password of ".accdb" files and key of encrypted SQLite files.
QString GetDatabaseKey();
/// Password of Access files without the ".accdb" extension.
QString GetMdbPassword();
/// Password of ".accdb" files (the database key).
QString GetAccdbPassword();
/// User name for every Access file.
QString AccessUserName();
