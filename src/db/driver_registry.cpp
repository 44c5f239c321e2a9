#include "db/builtin_drivers.h"
#include "db/driver.h"

#include <map>
#include <mutex>

namespace {

std::map<QString, TDriverFactory>& Registry()
{
    static std::map<QString, TDriverFactory> registry;
    return registry;
}

} // namespace

QString TConnectParams::Option(const QString& name, const QString& fallback) const
{
    for (auto it = SpecificOptions.cbegin(); it != SpecificOptions.cend(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return fallback;
}

void RegisterDriver(const QString& providerName, TDriverFactory factory)
{
    Registry()[providerName.toLower()] = std::move(factory);
}

std::unique_ptr<TDriver> CreateDriver(const QString& providerName)
{
    // Registered on first use rather than by static initialisers, which a linker drops from a static
    // library when nothing else refers to their object file.
    static std::once_flag builtIn;
    std::call_once(builtIn, RegisterBuiltInDrivers);
    auto it = Registry().find(providerName.toLower());
    if (it == Registry().end() || !it->second)
        return nullptr;
    return it->second();
}
