#include "db/db_error.h"

EDatabaseError::EDatabaseError(const QString& message, const QString& sqlState, int nativeCode,
                               bool connectionBroken)
    : std::runtime_error(message.toStdString()),
      FMessage(message),
      FSqlState(sqlState),
      FNativeCode(nativeCode),
      FConnectionBroken(connectionBroken)
{
}
